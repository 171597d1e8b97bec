// The self-launch guard and the message receiver, seen from outside the real launcher.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

class GuardTest : public LauncherTest {
protected:
    ScopedEnv m_exitCode{L"PELICOR_TEST_EXIT_CODE", L"7"};
};

TEST_F(GuardTest, ParentWithTheLaunchersNameInAnyLetterCaseStopsTheChildWithNine) {
    for (const wchar_t* name : {L"PelicorLaunch64.exe", L"PELICORLAUNCH64.EXE"}) {
        DeleteFileW(m_dir.File(L"service.txt").c_str());
        // The copy elsewhere starts the built launcher, which must refuse to run under it.
        const std::wstring parent = Install(false, false, name);
        const ChildProcess child =
            StartProcess(parent, Quoted(parent) + L" " + Quoted(Launcher()) + L" " + Quoted(Target()));
        ASSERT_NE(child.Handle(), nullptr);
        EXPECT_EQ(WaitForExit(child, 60000), 9u) << name;
        for (const ServiceEvent& e : ServiceLog()) {
            EXPECT_EQ(e.processId, child.Id()) << "the refused launcher asked the service: " << name;
        }
        EXPECT_TRUE(Record().empty()) << name;
    }
}

TEST_F(GuardTest, DifferentlyNamedParentPasses) {
    const std::wstring parent = Install(false, false, L"OtherLauncher.exe");
    EXPECT_EQ(Launch(Quoted(Launcher()) + L" " + Quoted(Target()), RunOptions(), parent), 7u);
    EXPECT_FALSE(Record().empty());
}

std::vector<HWND> ReceiverWindowsOf(DWORD processId) {
    return TopLevelWindowsOf(processId, L"WinMessageReceiverWnd");
}

// The launcher's receiver windows once they are up. The window appears once the target is
// input-idle; nothing announces it, so look between short waits on the launcher, for at most a
// minute. Empty when the launcher ends first or no window comes.
std::vector<HWND> ReceiverWindowsOnceUp(const ChildProcess& launcher) {
    std::vector<HWND> windows;
    for (int glance = 0; glance < 600 && windows.empty(); ++glance) {
        if (WaitForSingleObject(launcher.Handle(), 100) == WAIT_OBJECT_0) break;
        windows = ReceiverWindowsOf(launcher.Id());
    }
    return windows;
}

TEST_F(LauncherTest, WhileTheTargetRunsTheLauncherOwnsOneHiddenReceiverWindowThatAnswers) {
    NamedEvent release;
    ScopedEnv wait(L"PELICOR_TEST_WAIT_EVENT", release.Name());
    ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", L"5");
    const ChildProcess launcher = StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target()));
    ASSERT_NE(launcher.Handle(), nullptr);

    const std::vector<HWND> windows = ReceiverWindowsOnceUp(launcher);
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_FALSE(IsWindowVisible(windows[0]));
    EXPECT_EQ(GetParent(windows[0]), nullptr);
    DWORD_PTR answer = 1;
    EXPECT_NE(SendMessageTimeoutW(windows[0], WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer), 0);
    EXPECT_EQ(answer, 0u) << "the default window procedure reports the empty title";
    EXPECT_EQ(ReceiverWindowsOf(launcher.Id()).size(), 1u);

    release.Set();
    EXPECT_EQ(WaitForExit(launcher, 60000), 5u);
}

TEST_F(LauncherTest, TheReceiverWaitsUntilTheTargetIsInputIdle) {
    NamedEvent started, hold, release;
    ScopedEnv startedEvent(L"PELICOR_TEST_STARTED_EVENT", started.Name());
    ScopedEnv holdEvent(L"PELICOR_TEST_HOLD_EVENT", hold.Name());
    ScopedEnv releaseEvent(L"PELICOR_TEST_WAIT_EVENT", release.Name());
    const ChildProcess launcher = StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target()));
    ASSERT_NE(launcher.Handle(), nullptr);
    // However the test ends, the target is let go, so that a failure cannot leave it waiting.
    struct LetGo {
        const NamedEvent& hold;
        const NamedEvent& release;
        ~LetGo() {
            hold.Set();
            release.Set();
        }
    } letGo{hold, release};
    ASSERT_TRUE(WaitForEventWhileRunning(started, launcher, 60000));

    // The target runs but holds off its message loop, so it is not input-idle: for as long as it
    // holds (well inside the launcher's ten-second limit), the launcher has no receiver window.
    // A receiver started without the wait has its window within milliseconds of the start.
    for (int glance = 0; glance < 20; ++glance) {
        ASSERT_EQ(WaitForSingleObject(launcher.Handle(), 100), static_cast<DWORD>(WAIT_TIMEOUT));
        ASSERT_TRUE(ReceiverWindowsOf(launcher.Id()).empty()) << "receiver up before the target was idle";
    }

    // Once the target pumps messages, the window follows.
    hold.Set();
    EXPECT_EQ(ReceiverWindowsOnceUp(launcher).size(), 1u);
    release.Set();
    EXPECT_EQ(WaitForExit(launcher, 60000), 0u);
}

TEST_F(LauncherTest, WindowsThatAServiceLeftOnTheMainThreadAnswerWhileTheTargetRuns) {
    // An in-process service leaves a hidden top-level window on the launcher's main thread while
    // it prepares the start; the main thread then waits for the target for as long as it runs.
    ScopedEnv leaveWindow(L"PELICOR_SERVICE_LEAVE_WINDOW", L"1");
    NamedEvent started, release, ping;
    ScopedEnv startedEvent(L"PELICOR_TEST_STARTED_EVENT", started.Name());
    ScopedEnv releaseEvent(L"PELICOR_TEST_WAIT_EVENT", release.Name());
    ScopedEnv pingEvent(L"PELICOR_SERVICE_PING_EVENT", ping.Name());
    ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", L"6");
    const ChildProcess launcher = StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target()));
    ASSERT_NE(launcher.Handle(), nullptr);
    const SetOnScopeExit letGo(release);
    ASSERT_TRUE(WaitForEventWhileRunning(started, launcher, 60000));
    ASSERT_EQ(TopLevelWindowsOf(launcher.Id(), L"StandInServiceWnd").size(), 1u)
        << "the service left its window";

    // Every top-level window of the launcher answers, whichever thread owns it.
    const std::vector<HWND> windows = TopLevelWindowsOf(launcher.Id(), nullptr);
    for (HWND window : windows) {
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &answer), 0)
            << "no answer within 1 s from a window of class " << testing::Narrow(className);
    }
    // A broadcast reaches the service's window while the target still runs.
    const UINT pingMessage = RegisterWindowMessageW(L"PelicorStandInPing");
    ASSERT_NE(pingMessage, 0u);
    DWORD_PTR answer = 0;
    (void)SendMessageTimeoutW(HWND_BROADCAST, pingMessage, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer);
    EXPECT_TRUE(ping.Wait(10000)) << "the broadcast did not reach the window on the launcher's main thread";
    EXPECT_EQ(WaitForSingleObject(launcher.Handle(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    release.Set();
    EXPECT_EQ(WaitForExit(launcher, 60000), 6u);
    const std::vector<std::wstring> events = ServiceEventNames();
    EXPECT_NE(std::find(events.begin(), events.end(), L"window"), events.end());
}

TEST_F(LauncherTest, NoWindowOfTheLauncherHoldsTheHotkeyOfAShortcutThatStartedIt) {
    // A shortcut's hotkey comes in the start-up information, which the target gets as it is;
    // Windows gives it to the first eligible top-level window a process creates.
    NamedEvent started, release;
    ScopedEnv startedEvent(L"PELICOR_TEST_STARTED_EVENT", started.Name());
    ScopedEnv releaseEvent(L"PELICOR_TEST_WAIT_EVENT", release.Name());
    ScopedEnv window(L"PELICOR_TEST_WINDOW", L"1");
    // In-process code may make a window before the receiver's, which would then take the hotkey.
    ScopedEnv leaveWindow(L"PELICOR_SERVICE_LEAVE_WINDOW", L"1");
    RunOptions options;
    options.startupFlags = STARTF_USEHOTKEY;
    constexpr BYTE kHotkeyControlAlt = 0x02 | 0x04;  // HOTKEYF_CONTROL | HOTKEYF_ALT (commctrl.h)
    options.hotkey = MAKEWORD('P', kHotkeyControlAlt);
    const ChildProcess launcher =
        StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target()), options);
    ASSERT_NE(launcher.Handle(), nullptr);
    const SetOnScopeExit letGo(release);
    ASSERT_TRUE(WaitForEventWhileRunning(started, launcher, 60000));
    const std::vector<HWND> receivers = ReceiverWindowsOnceUp(launcher);
    ASSERT_EQ(receivers.size(), 1u);
    const std::map<std::wstring, std::wstring> record = Record();
    const auto target = record.find(L"pid");
    ASSERT_NE(target, record.end());
    const std::vector<HWND> targetWindows =
        TopLevelWindowsOf(static_cast<DWORD>(std::stoul(target->second)), L"RecordTargetWnd");
    ASSERT_EQ(targetWindows.size(), 1u);
    DWORD_PTR targetHotkey = 0;
    ASSERT_NE(SendMessageTimeoutW(targetWindows[0], WM_GETHOTKEY, 0, 0, SMTO_NORMAL, 5000, &targetHotkey), 0);
    std::vector<DWORD_PTR> launcherHotkeys;
    for (HWND launcherWindow : TopLevelWindowsOf(launcher.Id(), nullptr)) {
        DWORD_PTR hotkey = 1;
        ASSERT_NE(SendMessageTimeoutW(launcherWindow, WM_GETHOTKEY, 0, 0, SMTO_NORMAL, 5000, &hotkey), 0);
        launcherHotkeys.push_back(hotkey);
    }
    release.Set();
    EXPECT_EQ(WaitForExit(launcher, 60000), 0u);
    if (targetHotkey == 0) {
        GTEST_SKIP()
            << "this platform gives no start-up hotkey to a program's first window (the target's has "
               "none either)";
    }
    EXPECT_EQ(targetHotkey, static_cast<DWORD_PTR>(options.hotkey))
        << "the target keeps the shortcut's hotkey";
    EXPECT_EQ(std::count(launcherHotkeys.begin(), launcherHotkeys.end(), 0u),
              static_cast<std::ptrdiff_t>(launcherHotkeys.size()))
        << "a window of the launcher holds a hotkey";
}

TEST_F(LauncherTest, TargetsThatEndAtOnceNeverHangTheReceiversStop) {
    // The target can end before the receiver thread has a message queue; the stop must still
    // reach the thread. A hang here ends in the runner's kill and a wrong exit code. The receiver's
    // own test meets the race hundreds of times in one process; these runs show it end to end
    // without starting hundreds of processes, each a chance for Wine to fail a start.
    ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", L"4");
    for (int run = 0; run < 25; ++run) {
        RunOptions options;
        options.timeoutMs = 20000;
        ASSERT_EQ(Launch(Quoted(Target()), options), 4u) << "run " << run;
    }
}

}  // namespace
}  // namespace pelicor::testing

namespace pelicor::testing {
namespace {

// Asks Wine, for programs named PelicorLaunch64.exe only and for the life of the object, to prefer
// a native imm32.dll and uxtheme.dll: Wine otherwise takes its own system DLLs whatever lies
// beside a program, and this makes its loader search the program's folder first, as Windows does
// for DLLs that are not known DLLs.
class PreferNativeDlls {
public:
    PreferNativeDlls() {
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &m_key, nullptr);
        for (const wchar_t* dll : {L"imm32", L"uxtheme"}) {
            RegSetValueExW(m_key, dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native,builtin"),
                           sizeof(L"native,builtin"));
        }
    }
    ~PreferNativeDlls() {
        RegCloseKey(m_key);
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\PelicorLaunch64.exe");
    }

private:
    static constexpr const wchar_t* kKey = L"Software\\Wine\\AppDefaults\\PelicorLaunch64.exe\\DllOverrides";
    HKEY m_key = nullptr;
};

// True when `dll` is one of the system's Known DLLs, which the loader always maps from the system
// and never searches for on disk.
bool IsKnownDll(const wchar_t* dll) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs",
                      0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    bool known = false;
    for (DWORD index = 0; !known; ++index) {
        wchar_t name[256], value[256];
        DWORD nameLength = 256, valueSize = sizeof(value) - sizeof(wchar_t), type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(value),
                          &valueSize) != ERROR_SUCCESS) {
            break;
        }
        value[valueSize / sizeof(wchar_t)] = L'\0';
        known = type == REG_SZ && lstrcmpiW(value, dll) == 0;
    }
    RegCloseKey(key);
    return known;
}

TEST_F(LauncherTest, NeverLoadsAnImportPlantedBesideIt) {
    // imm32 is loaded while the system DLLs that the launcher imports start, before any code of
    // the launcher runs: only the image's DependentLoadFlags restricts that search.
    if (IsKnownDll(L"imm32.dll")) {
        GTEST_SKIP()
            << "imm32.dll is a Known DLL here (HKLM\\...\\Session Manager\\KnownDLLs), loaded from the "
               "system however the search runs, so a planted copy proves nothing; ShippedImage checks "
               "the field";
    }
    if (RunningUnderWine()) {
        GTEST_SKIP() << "Wine ignores DependentLoadFlags and loads an import planted beside a program; "
                        "ShippedImage checks the field that Windows 10 1607 and later honour";
    }
    const std::wstring launcher = Install(false);
    ASSERT_TRUE(CopyFileW(PlantedDll().c_str(),
                          (launcher.substr(0, launcher.rfind(L'\\')) + L"\\imm32.dll").c_str(), FALSE));
    ScopedEnv record(L"PELICOR_PLANTED_RECORD", m_dir.File(L"planted.txt"));
    const PreferNativeDlls preferNative;
    ScopedEnv exitCode(L"PELICOR_TEST_EXIT_CODE", L"3");

    EXPECT_EQ(Launch(Quoted(Target()), RunOptions(), launcher), 3u);
    EXPECT_EQ(ReadBytes(m_dir.File(L"planted.txt")), "");
}

// Windows makes every DLL the launcher imports a Known DLL, never searched for on disk, so the
// launcher's own start cannot show what DependentLoadFlags stops. Two probes can: both import
// version.dll, which is no Known DLL, and a copy planted beside them announces itself and refuses
// to load; one carries the launcher's load configuration, the control none.
TEST_F(LauncherTest, TheLoadConfigurationKeepsOutAnImportPlantedBesideAProgram) {
    if (IsKnownDll(L"version.dll")) {
        GTEST_SKIP() << "version.dll is a Known DLL here (HKLM\\...\\Session Manager\\KnownDLLs), never "
                        "searched for, so a planted copy proves nothing";
    }
    TempDir folder(L"planted import");
    const std::wstring probe = folder.File(L"dll_search_probe.exe");
    const std::wstring control = folder.File(L"dll_search_probe_control.exe");
    for (const std::wstring& program : {probe, control}) {
        const std::wstring name = program.substr(program.rfind(L'\\'));
        ASSERT_TRUE(CopyFileW((BinDir() + name).c_str(), program.c_str(), FALSE));
    }
    ASSERT_TRUE(CopyFileW(PlantedDll().c_str(), folder.File(L"version.dll").c_str(), FALSE));
    const std::wstring plantedRecord = m_dir.File(L"planted.txt");
    ScopedEnv record(L"PELICOR_PLANTED_RECORD", plantedRecord);
    // A program whose import refuses to load ends before it runs; no dialog may wait for a user.
    const UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);

    const DWORD controlCode = RunProcess(control, Quoted(control));
    const bool controlLoadedThePlantedCopy = !ReadBytes(plantedRecord).empty();
    DeleteFileW(plantedRecord.c_str());
    const DWORD probeCode = controlLoadedThePlantedCopy ? RunProcess(probe, Quoted(probe)) : 0;
    SetErrorMode(errorMode);

    if (!controlLoadedThePlantedCopy) {
        GTEST_SKIP()
            << "the control, which has no DependentLoadFlags, did not load the copy planted beside it "
               "either (Wine prefers its own version.dll and ignores the field), so the field cannot "
               "be shown at work here; ShippedImage checks it (control's exit code 0x"
            << std::hex << controlCode << ")";
    }
    EXPECT_NE(controlCode, 0u);
    EXPECT_EQ(probeCode, 0u);
    EXPECT_EQ(ReadBytes(plantedRecord), "") << "the probe loaded the planted version.dll";
}

}  // namespace
}  // namespace pelicor::testing
