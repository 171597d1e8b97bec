// A real fault inside a running launcher, handed to the stand-in crash-dump tool.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

constexpr DWORD kAccessViolation = 0xC0000005;

class CrashTest : public LauncherTest {
protected:
    // Starts `launcher` on a target that waits, and once the target runs, makes the launcher
    // fault on a thread started at an invalid address. Returns the launcher's exit code.
    DWORD CrashLauncher(const std::wstring& launcher) {
        const ChildProcess child = StartProcess(launcher, Quoted(launcher) + L" " + Quoted(Target()));
        EXPECT_NE(child.Handle(), nullptr);
        EXPECT_TRUE(m_targetStarted.Wait(60000));
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

    std::wstring DumpRecordPath() const { return m_dir.File(L"dump.txt"); }

    NamedEvent m_targetStarted;
    NamedEvent m_releaseTarget;
    ScopedEnv m_started{L"PELICOR_TEST_STARTED_EVENT", m_targetStarted.Name()};
    ScopedEnv m_wait{L"PELICOR_TEST_WAIT_EVENT", m_releaseTarget.Name()};
    ScopedEnv m_dumpRecord{L"PELICOR_DUMP_RECORD", DumpRecordPath()};
    DWORD m_faultingThread = 0;
    DWORD m_launcherId = 0;

    ~CrashTest() override { m_releaseTarget.Set(); }
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

TEST_F(CrashTest, WithoutTheDumpToolTheFaultEndsTheLauncherAtOnce) {
    const std::wstring launcher = Install(false, false);
    EXPECT_EQ(CrashLauncher(launcher), kAccessViolation);
    EXPECT_TRUE(ReadRecord(DumpRecordPath()).empty());
}

}  // namespace
}  // namespace pelicor::testing
