// A real fault inside a running launcher, handed to the stand-in crash-dump tool.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

class CrashTest : public WaitingTargetTest {
protected:
    // Starts `launcher` on a target that waits, and once the target runs, makes the launcher
    // fault on a thread started at an invalid address. Returns the launcher's exit code.
    DWORD CrashLauncher(const std::wstring& launcher) {
        ResetEvent(m_targetStarted.Handle());  // a test may crash more than one launcher
        const ChildProcess child = StartProcess(launcher, Quoted(launcher) + L" " + Quoted(Target()));
        EXPECT_NE(child.Handle(), nullptr);
        EXPECT_TRUE(WaitForEventWhileRunning(m_targetStarted, child, 60000));
        const auto invalidAddress = reinterpret_cast<LPTHREAD_START_ROUTINE>(static_cast<UINT_PTR>(0x10));
        HANDLE thread =
            CreateRemoteThread(child.Handle(), nullptr, 0, invalidAddress, nullptr, 0, &m_faultingThread);
        EXPECT_NE(thread, nullptr);
        if (thread != nullptr) CloseHandle(thread);
        m_launcherId = child.Id();
        return WaitForExit(child, 60000);
    }

    static std::wstring ExpectedDumpFolder() {
        char localAppData[MAX_PATH] = {};
        SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, localAppData);
        const std::string folder = std::string(localAppData) + "\\Norvex\\Pelicor\\CrashDumps";
        return std::wstring(folder.begin(), folder.end());
    }

    DWORD m_faultingThread = 0;
    DWORD m_launcherId = 0;
};

std::wstring LowerHex(DWORD value) {
    wchar_t text[16];
    swprintf(text, 16, L"%x", value);
    return text;
}

TEST_F(CrashTest, FaultIsHandedToTheDumpToolWhichReleasesTheLauncherOnceSignalled) {
    NamedEvent holdTool;
    ScopedEnv hold(L"PELICOR_DUMP_HOLD_EVENT", holdTool.Name());
    const std::wstring launcher = Install(false, true);

    EXPECT_EQ(CrashLauncher(launcher), kAccessViolation);

    auto record = ReadRecord(DumpRecordPath());
    const std::wstring line = record[L"commandLine"];
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_EQ(count, 12) << line;
    const std::vector<std::wstring> args(argv, argv + count);
    LocalFree(argv);
    EXPECT_EQ(args[0], L".");
    EXPECT_EQ(args[1] + L" " + args[2], L"-p 0x" + LowerHex(m_launcherId));
    EXPECT_EQ(args[3] + L" " + args[4], L"-c 0x" + LowerHex(m_faultingThread));
    ASSERT_EQ(args[5].size(), 18u) << args[5];
    EXPECT_EQ(args[5].substr(0, 2), L"0x");
    EXPECT_EQ(args[5].find_first_not_of(L"0123456789ABCDEF", 2), std::wstring::npos) << args[5];
    EXPECT_EQ(args[6], L"-e");
    EXPECT_EQ(args[7].substr(0, 2), L"0x");
    EXPECT_EQ(args[7].find_first_not_of(L"0123456789abcdef", 2), std::wstring::npos) << args[7];
    EXPECT_EQ(args[8] + L" " + args[9], L"-D kestrov");
    EXPECT_EQ(args[10], L"-d");
    EXPECT_EQ(args[11], ExpectedDumpFolder());
    EXPECT_EQ(line.substr(line.size() - 2), L"\" ") << "ends in one blank after the folder";
    EXPECT_EQ(record[L"signalled"], L"1");

    // A readable minidump of the launcher.
    const std::string dump = ReadBytes(record[L"dump"]);
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    DeleteFileW(record[L"dump"].c_str());

    // The launcher has ended while the tool still runs: it stopped waiting at the signal.
    const DWORD toolId = std::wcstoul(record[L"pid"].c_str(), nullptr, 10);
    HANDLE tool = OpenProcess(SYNCHRONIZE, FALSE, toolId);
    ASSERT_NE(tool, nullptr);
    EXPECT_EQ(WaitForSingleObject(tool, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    holdTool.Set();
    EXPECT_EQ(WaitForSingleObject(tool, 60000), WAIT_OBJECT_0);
    CloseHandle(tool);
}

// True when a process created with BELOW_NORMAL_PRIORITY_CLASS runs with it (Wine 8 ignores the
// class given to CreateProcess).
bool HonoursCreationPriority() {
    const std::wstring program = BinDir() + L"\\record_target.exe";
    std::wstring line = Quoted(program);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | BELOW_NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info)) {
        return false;
    }
    const DWORD priority = GetPriorityClass(info.hProcess);
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 60000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return priority == BELOW_NORMAL_PRIORITY_CLASS;
}

TEST_F(CrashTest, TheDumpToolRunsBelowNormalPriority) {
    if (!HonoursCreationPriority()) {
        GTEST_SKIP() << "this platform ignores the priority class given to CreateProcess (a probe started "
                        "below normal runs at normal); CrashFilter.StartsTheDumpTool... checks the flag "
                        "through the filter's seam";
    }
    EXPECT_EQ(CrashLauncher(Install(false, true)), kAccessViolation);
    EXPECT_EQ(ReadRecord(DumpRecordPath())[L"priority"], std::to_wstring(BELOW_NORMAL_PRIORITY_CLASS));
}

TEST_F(CrashTest, WithoutTheDumpToolTheFaultEndsTheLauncherAtOnce) {
    const std::wstring launcher = Install(false, false);
    EXPECT_EQ(CrashLauncher(launcher), kAccessViolation);
    EXPECT_TRUE(ReadRecord(DumpRecordPath()).empty());
}

TEST_F(CrashTest, FoldersTheAnsiCodePageCannotSpellReachTheToolByTheirShortNames) {
    if (GetACP() == CP_UTF8) {
        GTEST_SKIP() << "the ANSI code page is UTF-8, which spells every name";
    }
    // Polish, Greek and Cyrillic letters together: no single-byte or East Asian code page holds all.
    const std::wstring unspellable = L"\u0141\u00f3d\u017a \u03a9 \u0416";
    TempDir profile(L"Profile " + unspellable);
    const std::wstring localAppData = profile.File(L"AppData " + unspellable);
    ASSERT_TRUE(CreateDirectoryW(localAppData.c_str(), nullptr));
    const std::wstring shortLocalAppData = UsableShortPath(localAppData);
    if (shortLocalAppData.empty()) {
        GTEST_SKIP() << kNoShortNames;
    }
    const ScopedLocalAppData redirected(localAppData);
    TempDir suite(L"Pelicor " + unspellable);
    const std::wstring launcher = suite.File(L"PelicorLaunch64.exe");
    ASSERT_TRUE(CopyFileW(Launcher().c_str(), launcher.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((BinDir() + L"\\tool\\norvexdumpa.exe").c_str(),
                          suite.File(L"norvexdumpa.exe").c_str(), FALSE));

    EXPECT_EQ(CrashLauncher(launcher), kAccessViolation);

    auto record = ReadRecord(DumpRecordPath());
    ASSERT_FALSE(record.empty()) << "the dump tool beside the launcher was not started";
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(record[L"commandLine"].c_str(), &count);
    ASSERT_EQ(count, 12) << record[L"commandLine"];
    const std::wstring dumpFolder = argv[11];
    LocalFree(argv);
    EXPECT_EQ(dumpFolder, shortLocalAppData + L"\\Norvex\\Pelicor\\CrashDumps");
    // The dump lies in the real folder, under its long name.
    const std::wstring dump = localAppData + L"\\Norvex\\Pelicor\\CrashDumps\\PelicorLaunch64-" +
                              std::to_wstring(m_launcherId) + L".dmp";
    EXPECT_EQ(ReadBytes(dump).substr(0, 4), "MDMP") << record[L"dump"];
}

TEST_F(CrashTest, DumpFoldersTheCodePageSpellsGoUnderTheirLongNameWhileOneTooLongInstallsNothing) {
    // A profile folder the ANSI code page spells goes to the tool as it is (in the ANSI code page,
    // which the tool's narrow start converts back with); one whose dump folder would not fit the
    // filter's 260-character field leaves the launcher without a filter, never with a cut folder.
    const std::wstring dumpSubfolder = L"\\Norvex\\Pelicor\\CrashDumps";
    struct Case {
        const char* name;
        std::size_t dumpFolderLength;  // 0: whatever the folder below gives
        bool toolStarts;
    };
    for (const Case& c : {Case{"Caf\xc3\xa9 profile", 0, true}, Case{"259 characters", 259, true},
                          Case{"260 characters", 260, false}}) {
        DeleteFileW(DumpRecordPath().c_str());
        TempDir profile(L"Profile Caf\u00e9");
        std::wstring localAppData = profile.File(L"AppData");
        if (c.dumpFolderLength != 0) {
            // Pad with one folder so that the dump folder has exactly the length asked for.
            const std::size_t padding = c.dumpFolderLength - dumpSubfolder.size() - localAppData.size() - 1;
            ASSERT_LT(padding, 200u);
            ASSERT_TRUE(CreateDirectoryW(localAppData.c_str(), nullptr));
            localAppData += L"\\" + std::wstring(padding, L'p');
        }
        ASSERT_TRUE(CreateDirectoryW(localAppData.c_str(), nullptr)) << c.name;
        if (c.dumpFolderLength != 0) {
            ASSERT_EQ(localAppData.size() + dumpSubfolder.size(), c.dumpFolderLength);
        }
        const ScopedLocalAppData redirected(localAppData);

        EXPECT_EQ(CrashLauncher(Install(false, true)), kAccessViolation) << c.name;

        auto record = ReadRecord(DumpRecordPath());
        EXPECT_EQ(!record.empty(), c.toolStarts) << c.name;
        if (record.empty()) continue;
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(record[L"commandLine"].c_str(), &count);
        ASSERT_EQ(count, 12) << record[L"commandLine"];
        EXPECT_EQ(std::wstring(argv[11]), localAppData + dumpSubfolder) << c.name;
        LocalFree(argv);
        DeleteFileW(record[L"dump"].c_str());
    }
}

}  // namespace
}  // namespace pelicor::testing
