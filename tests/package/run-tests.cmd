@echo off
rem Runs every test of this package on Windows x64: the unit tests, and the end-to-end tests of
rem the launcher in bin\ with the stand-ins beside it. Needs no build tree, CMake, ctest or Wine.
rem Prints each test program's results, every skip with its reason, and a closing line with the
rem counts and the programs that failed; exits 1 when a test failed or a test program did not
rem finish. Arguments go to every test program (for example --gtest_filter=LauncherTest.*).
rem Run it from an elevated prompt to register the stand-in service for the machine; otherwise it
rem is registered for the user.
setlocal EnableExtensions
set "bin=%~dp0bin"
set "logs=%~dp0logs"
rem The tests' own folders: emptied before and after, so that a killed run leaves nothing behind.
set "folders=%TEMP%\pelicor-tests"
set /a passed=0
set /a failed=0
set /a skipped=0
set "failures="
rem Taken whole: a batch label's own arguments would split --gtest_filter=X at its equals sign.
set "arguments=%*"
if not exist "%logs%" mkdir "%logs%"
if exist "%folders%" rmdir /s /q "%folders%"

for %%t in (launcher_win_test launcher_e2e_test) do call :run %%t

if exist "%folders%" rmdir /s /q "%folders%"
echo.
echo Skipped, with their reasons:
for %%t in (launcher_win_test launcher_e2e_test) do call :skips %%t
if defined failures (
    echo run-tests: %passed% passed, %failed% failed, %skipped% skipped; failed in:%failures%
    exit /b 1
)
echo run-tests: %passed% passed, %failed% failed, %skipped% skipped
exit /b 0

rem Runs one test program, shows its output and adds its counts to the totals. The counts come
rem from the program's summary file, which nothing but the program's own end writes: its output
rem can hold anything (a crashed child's bytes, a line that looks like a count).
:run
set "program=%1"
set "log=%logs%\%program%.log"
set "summary=%logs%\%program%.summary"
if exist "%summary%" del "%summary%"
echo === %program%
if not exist "%bin%\%program%.exe" (
    echo run-tests: %bin%\%program%.exe is missing
    call :failed %program% 1
    goto :eof
)
"%bin%\%program%.exe" "--pelicor_summary=%summary%" %arguments% > "%log%" 2>&1
set code=%errorlevel%
type "%log%"
echo.
if not exist "%summary%" (
    echo run-tests: %program% ended with exit code %code% before its summary
    call :failed %program% 1
    goto :eof
)
set "counts="
for /f "usebackq tokens=1,2,3" %%a in ("%summary%") do set "counts=%%a %%b %%c"
call :add %counts%
goto :eof

rem :add PASSED FAILED SKIPPED, from the summary; anything that is not three numbers counts as a
rem failed program.
:add
set /a p=%1+0 2>nul
set /a f=%2+0 2>nul
set /a s=%3+0 2>nul
if not "%p%"=="%~1" goto :unreadable
if not "%f%"=="%~2" goto :unreadable
if not "%s%"=="%~3" goto :unreadable
set /a passed+=p
set /a skipped+=s
if %f% gtr 0 (
    call :failed %program% %f%
) else if %code% neq 0 (
    echo run-tests: %program% ended with exit code %code% although no test failed
    call :failed %program% 1
)
goto :eof
:unreadable
echo run-tests: %program% left a summary that is not three counts
call :failed %program% 1
goto :eof

rem :failed PROGRAM COUNT
:failed
set /a failed+=%2
set "failures=%failures% %1"
goto :eof

:skips
if not exist "%logs%\%1.log" goto :eof
for /f "usebackq tokens=1,*" %%a in ("%logs%\%1.log") do if "%%a"=="skipped:" echo   %%b
goto :eof
