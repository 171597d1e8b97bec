// The protections the launcher's image carries, at work in real processes: the stack cookie of a
// running launcher, a failed cookie check, and Control Flow Guard where the system enforces it.
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include "tests/e2e/launcher_fixture.h"

namespace pelicor::testing {
namespace {

constexpr DWORD kStackBufferOverrun = 0xC0000409;
constexpr DWORD kCfgNotEnforced = 0x7E57CF00;
constexpr ULONGLONG kDefaultStackCookie = 0x00002B992DDFA232;

template <typename T>
bool ReadFrom(HANDLE process, ULONGLONG address, T& value) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<UINT_PTR>(address)), &value,
                             sizeof(value), &read) != FALSE &&
           read == sizeof(value);
}

// The cookie that the running `process` checks its stack against, found as the loader found it:
// through the load configuration of its image in memory, whose SecurityCookie the loader has
// relocated to the cookie's address there.
bool ReadStackCookie(HANDLE process, ULONGLONG& cookie) {
    HMODULE image = nullptr;
    DWORD needed = 0;
    if (!EnumProcessModules(process, &image, sizeof(image), &needed) || image == nullptr) {
        return false;
    }
    const auto base = static_cast<ULONGLONG>(reinterpret_cast<UINT_PTR>(image));
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (!ReadFrom(process, base, dos) ||
        !ReadFrom(process, base + static_cast<ULONGLONG>(dos.e_lfanew), nt)) {
        return false;
    }
    const DWORD config = nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG].VirtualAddress;
    constexpr ULONGLONG kSecurityCookieField = 0x58;
    ULONGLONG cookieAddress = 0;
    return config != 0 && ReadFrom(process, base + config + kSecurityCookieField, cookieAddress) &&
           cookieAddress != 0 && ReadFrom(process, cookieAddress, cookie);
}

class HardeningTest : public WaitingTargetTest {
protected:
    // The cookie of a launcher that runs, read while it waits for its target.
    ULONGLONG CookieOfARunningLauncher() {
        ResetEvent(m_targetStarted.Handle());
        m_releaseTarget.Set();
        ResetEvent(m_releaseTarget.Handle());
        const ChildProcess launcher = StartProcess(Launcher(), Quoted(Launcher()) + L" " + Quoted(Target()));
        EXPECT_NE(launcher.Handle(), nullptr);
        EXPECT_TRUE(WaitForEventWhileRunning(m_targetStarted, launcher, 60000));
        ULONGLONG cookie = 0;
        EXPECT_TRUE(ReadStackCookie(launcher.Handle(), cookie));
        m_releaseTarget.Set();
        EXPECT_EQ(WaitForExit(launcher, 60000), 0u);
        return cookie;
    }

    // The probe and the dump tool in a folder of their own, as the launcher lies beside its tool.
    std::wstring InstallProbe() {
        const std::wstring probe = m_probeDir.File(L"start_probe.exe");
        EXPECT_TRUE(CopyFileW((BinDir() + L"\\start_probe.exe").c_str(), probe.c_str(), FALSE));
        EXPECT_TRUE(CopyFileW((BinDir() + L"\\tool\\norvexdumpa.exe").c_str(),
                              m_probeDir.File(L"norvexdumpa.exe").c_str(), FALSE));
        return probe;
    }

    static DWORD RunProbe(const std::wstring& probe, const std::wstring& arguments) {
        return RunProcess(probe, Quoted(probe) + L" " + arguments);
    }

    // Whether the dump tool ran since the last call; waits for its end (it goes on writing after
    // it has released the faulting program), then removes what it wrote.
    bool DumpToolRan() {
        auto record = ReadRecord(DumpRecordPath());
        if (record.empty()) {
            return false;
        }
        if (HANDLE tool =
                OpenProcess(SYNCHRONIZE, FALSE, std::wcstoul(record[L"pid"].c_str(), nullptr, 10))) {
            EXPECT_EQ(WaitForSingleObject(tool, 60000), WAIT_OBJECT_0);
            CloseHandle(tool);
            record = ReadRecord(DumpRecordPath());
        }
        if (!record[L"dump"].empty()) DeleteFileW(record[L"dump"].c_str());
        DeleteFileW(DumpRecordPath().c_str());
        return true;
    }

    TempDir m_probeDir{L"probe"};
};

// The entry point hands wWinMain the show command the launcher was started with, which the
// launcher passes on to a target the shell starts (StartTargetTest covers that half).
TEST_F(HardeningTest, TheEntryPointHandsWWinMainTheShowCommandOfTheStartupInformation) {
    constexpr DWORD kShowCommandBase = 0x7E575000;
    const std::wstring probe = InstallProbe();
    RunOptions minimised;
    minimised.showWindow = SW_SHOWMINNOACTIVE;
    EXPECT_EQ(RunProcess(probe, Quoted(probe) + L" show", minimised), kShowCommandBase + SW_SHOWMINNOACTIVE);
    EXPECT_EQ(RunProbe(probe, L"show"), kShowCommandBase + SW_SHOWDEFAULT) << "without STARTF_USESHOWWINDOW";
}

TEST_F(HardeningTest, TheLaunchersStackCookieDiffersFromRunToRunAndFromTheDefault) {
    const ULONGLONG first = CookieOfARunningLauncher();
    const ULONGLONG second = CookieOfARunningLauncher();
    EXPECT_NE(first, 0u);
    EXPECT_NE(first, kDefaultStackCookie);
    EXPECT_NE(second, kDefaultStackCookie);
    EXPECT_NE(first, second);
}

TEST_F(HardeningTest, AnOverrunLocalBufferEndsTheProcessAtOnceAndNeverReachesTheCrashFilter) {
    const std::wstring probe = InstallProbe();
    // The same program's filter hands an ordinary fault to the dump tool, and a copy that fits
    // passes its check.
    EXPECT_EQ(RunProbe(probe, L"fault"), kAccessViolation);
    EXPECT_TRUE(DumpToolRan());
    EXPECT_EQ(RunProbe(probe, L"overrun 16"), 0u);

    EXPECT_EQ(RunProbe(probe, L"overrun 64"), kStackBufferOverrun);
    EXPECT_FALSE(DumpToolRan());
}

TEST_F(HardeningTest, AnIndirectCallOutsideTheGuardsTableEndsTheProcessWhereTheSystemEnforcesIt) {
    const std::wstring probe = InstallProbe();
    const DWORD code = RunProbe(probe, L"cfg");
    if (code == kCfgNotEnforced) {
        GTEST_SKIP()
            << "this system enforces no Control Flow Guard on the probe (GetProcessMitigationPolicy: "
               "EnableControlFlowGuard is 0; Wine implements none, Windows from 8.1 does); "
               "ShippedImage checks the guard's tables and flags";
    }
    EXPECT_EQ(code, kStackBufferOverrun);
    EXPECT_FALSE(DumpToolRan());
}

}  // namespace
}  // namespace pelicor::testing
