@echo off
rem Runs every test of this package on Windows x64: the unit tests, and the end-to-end tests of
rem the launcher in bin\ with the stand-ins beside it. Needs no build tree, CMake, ctest or Wine.
rem Prints each test program's results, every skip with its reason, and a summary; exits 1 when a
rem test failed or a test program did not finish. Run it from an elevated prompt to register the
rem stand-in service for the machine; otherwise it is registered for the user.
setlocal EnableExtensions
set "bin=%~dp0bin"
set "logs=%~dp0logs"
rem The tests' own folders: emptied before and after, so that a killed run leaves nothing behind.
set "folders=%TEMP%\pelicor-tests"
set /a passed=0
set /a failed=0
set /a skipped=0
set /a broken=0
if not exist "%logs%" mkdir "%logs%"
if exist "%folders%" rmdir /s /q "%folders%"

for %%t in (launcher_win_test launcher_e2e_test) do call :run %%t

if exist "%folders%" rmdir /s /q "%folders%"
echo.
echo Skipped, with their reasons:
for %%t in (launcher_win_test launcher_e2e_test) do call :skips %%t
echo run-tests: %passed% passed, %failed% failed, %skipped% skipped
if %failed% neq 0 exit /b 1
if %broken% neq 0 exit /b 1
exit /b 0

rem Runs one test program, shows its output and adds its closing count to the totals.
:run
set "log=%logs%\%1.log"
set found=0
set count=0
echo === %1
if not exist "%bin%\%1.exe" (
    echo run-tests: %bin%\%1.exe is missing
    set /a broken+=1
    goto :eof
)
"%bin%\%1.exe" > "%log%" 2>&1
set code=%errorlevel%
type "%log%"
for /f "usebackq tokens=1,2,4,6" %%a in ("%log%") do if "%%a"=="%1:" call :add %%b %%c %%d
if %found%==0 (
    echo run-tests: %1 ended with exit code %code% before its summary
    set /a broken+=1
    goto :eof
)
if %code% neq 0 if %count%==0 (
    echo run-tests: %1 ended with exit code %code% although no test failed
    set /a broken+=1
)
goto :eof

:add
set found=1
set /a passed+=%1
set /a failed+=%2
set /a skipped+=%3
set /a count=%2
goto :eof

:skips
if not exist "%logs%\%1.log" goto :eof
for /f "usebackq tokens=1,*" %%a in ("%logs%\%1.log") do if "%%a"=="skipped:" echo   %%b
goto :eof
