// What the end-to-end tests share: the built programs, a private folder with the target's record
// and the service's log, and the service's registration.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/process_runner.h"

namespace pelicor::testing {

// One line of the stand-in service's log.
struct ServiceEvent {
    std::wstring event;
    std::wstring argument;
    std::wstring apartment;
    DWORD processId = 0;
};

// The top-level windows of class `className` (of any class when it is null) that threads of
// process `processId` own.
std::vector<HWND> TopLevelWindowsOf(DWORD processId, const wchar_t* className);

// Registers the in-process stand-in service, as the suite's installation would register its own.
void RegisterInprocService();
// Registers it with `inprocServer32` as the server's file: a bare file name, which the loader then
// searches for, or a full path, as installers write it.
void RegisterInprocServiceAs(const std::wstring& inprocServer32);
// Registers the stand-in as a local server in its own process instead, started with
// `settingsFile` on its command line: WriteServiceSettings fills that file.
void RegisterLocalService(const std::wstring& settingsFile);
// Writes the test's PELICOR_SERVICE_* variables into `settingsFile`, where the local server that
// RegisterLocalService registered reads them when COM starts it.
void WriteServiceSettings(const std::wstring& settingsFile);

class LauncherTest : public ::testing::Test {
protected:
    LauncherTest();

    static std::wstring Launcher() { return BinDir() + L"\\PelicorLaunch64.exe"; }
    static std::wstring Target() { return BinDir() + L"\\record_target.exe"; }
    // A DLL that records who loaded it and then refuses to load; tests plant copies of it.
    static std::wstring PlantedDll() { return BinDir() + L"\\tool\\planted.dll"; }
    std::wstring RecordPath() const { return m_dir.File(L"record.txt"); }
    std::map<std::wstring, std::wstring> Record() const { return ReadRecord(RecordPath()); }
    std::vector<ServiceEvent> ServiceLog() const;
    // The events' names in order, for checking what happened when.
    std::vector<std::wstring> ServiceEventNames() const;

    // Runs `launcher` with `tail` after its own quoted name, exactly as given.
    static DWORD Launch(const std::wstring& tail, const RunOptions& options = RunOptions(),
                        const std::wstring& launcher = Launcher());

    // Runs the launcher and, acting as the user, dismisses every message box it shows (the shell's
    // error message when it cannot start the deactivation tool). Counts them in `dismissed`.
    static DWORD LaunchDismissingMessages(const std::wstring& launcher, const std::wstring& tail,
                                          int& dismissed);

    // The target's arguments as the system split them.
    std::vector<std::wstring> TargetArgv() const;

    // Copies the launcher (as `name`; with `withTool` the deactivation tool, with `withDumpTool`
    // the crash-dump tool) into a fresh folder whose path has blanks; returns the launcher's path.
    std::wstring Install(bool withTool, bool withDumpTool = false,
                         const std::wstring& name = L"PelicorLaunch64.exe");

    TempDir m_dir{L"e2e"};
    ScopedEnv m_record{L"PELICOR_TEST_RECORD", RecordPath()};
    ScopedEnv m_serviceLog{L"PELICOR_SERVICE_LOG", m_dir.File(L"service.txt")};

private:
    TempDir m_install{L"Pelicor Suite"};
};

// The code a fault at an invalid address ends a process with, as the crash tests cause it.
inline constexpr DWORD kAccessViolation = 0xC0000005;

// A launcher test whose target, once it runs, sets m_targetStarted and waits for m_releaseTarget;
// the fixture sets that on its way out, so that no failure leaves a target waiting. The crash-dump
// tool records what it did in DumpRecordPath().
class WaitingTargetTest : public LauncherTest {
protected:
    ~WaitingTargetTest() override { m_releaseTarget.Set(); }

    std::wstring DumpRecordPath() const { return m_dir.File(L"dump.txt"); }

    NamedEvent m_targetStarted;
    NamedEvent m_releaseTarget;
    ScopedEnv m_started{L"PELICOR_TEST_STARTED_EVENT", m_targetStarted.Name()};
    ScopedEnv m_wait{L"PELICOR_TEST_WAIT_EVENT", m_releaseTarget.Name()};
    ScopedEnv m_dumpRecord{L"PELICOR_DUMP_RECORD", DumpRecordPath()};
};

}  // namespace pelicor::testing
