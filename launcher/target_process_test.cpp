// Runs under Wine. The elevation fallback can only be reached through the process-creation
// seam; everything after it (the shell start, the wait, the exit code) is real.
#include "launcher/target_process.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "launcher/library_search.h"
#include "platform/com_resources.h"
#include "reactivation/reactivation_service.h"
#include "tests/e2e/process_runner.h"

// This test program's allocations, counted while a test asks for it: the launcher ends the run on
// a failed allocation, so whatever allocates between the service's prepare and complete calls
// could leave the service's ticket unreturned.
std::atomic<bool> g_countAllocations{false};
std::atomic<int> g_allocationsCounted{0};

void* operator new(std::size_t size) {
    if (g_countAllocations.load()) ++g_allocationsCounted;
    if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace pelicor {
namespace {

using testing::BinDir;
using testing::Quoted;
using testing::ReadRecord;
using testing::ScopedEnv;
using testing::TempDir;

int g_createCalls = 0;
constexpr DWORD kElevationRequired = 740;
DWORD g_createError = kElevationRequired;

// What the shell start was asked for; the real shell then does it.
struct ShellRequest {
    std::wstring verb, file, parameters, directory;
    ULONG mask = 0;
    int show = -1;
};
std::vector<ShellRequest> g_shellRequests;

BOOL WINAPI RecordingShellExecute(SHELLEXECUTEINFOW* execute) {
    auto text = [](const wchar_t* value) { return std::wstring(value != nullptr ? value : L"(null)"); };
    g_shellRequests.push_back({text(execute->lpVerb), text(execute->lpFile), text(execute->lpParameters),
                               text(execute->lpDirectory), execute->fMask, execute->nShow});
    return ShellExecuteExW(execute);
}

BOOL WINAPI FailingCreateProcess(LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                                 LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION) {
    ++g_createCalls;
    SetLastError(g_createError);
    return FALSE;
}

// Enters `directory` for the life of the object.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::wstring& directory) {
        wchar_t old[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, old);
        m_old = old;
        SetCurrentDirectoryW(directory.c_str());
    }
    ~ScopedCurrentDirectory() { SetCurrentDirectoryW(m_old.c_str()); }

private:
    std::wstring m_old;
};

class StartTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_createCalls = 0;
        g_createError = kElevationRequired;
        g_shellRequests.clear();
    }
    TempDir m_dir{L"work dir"};
    ScopedEnv m_record{L"PELICOR_TEST_RECORD", m_dir.File(L"record.txt")};
    ScopedEnv m_exitCode{L"PELICOR_TEST_EXIT_CODE", L"42"};
    TargetStartApi m_api{&FailingCreateProcess, &RecordingShellExecute};
    NormalisedCommandLine m_target{Quoted(BinDir() + L"\\record_target.exe") + L" \"a b\" c",
                                   BinDir() + L"\\record_target.exe", L"\"a b\" c"};
};

TEST_F(StartTargetTest, ElevationRequiredStartsTargetThroughTheShellAndWaitsForIt) {
    ScopedCurrentDirectory inside(m_dir.Path());
    EXPECT_EQ(StartTarget(m_target, false, SW_SHOWMINNOACTIVE, m_api), 42u);
    EXPECT_EQ(g_createCalls, 1);
    ASSERT_EQ(g_shellRequests.size(), 1u);
    const ShellRequest& request = g_shellRequests[0];
    EXPECT_EQ(request.verb, L"open");
    EXPECT_EQ(request.file, m_target.targetPath);
    EXPECT_EQ(request.parameters, m_target.targetArguments);
    EXPECT_EQ(request.directory, m_dir.Path());
    EXPECT_EQ(request.mask, static_cast<ULONG>(SEE_MASK_NOCLOSEPROCESS))
        << "the shell's own messages stay on";
    EXPECT_EQ(request.show, SW_SHOWMINNOACTIVE);

    auto record = ReadRecord(m_dir.File(L"record.txt"));
    EXPECT_EQ(record[L"directory"], m_dir.Path());
    EXPECT_EQ(record[L"showCommand"], std::to_wstring(SW_SHOWMINNOACTIVE));
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(record[L"commandLine"].c_str(), &count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(lstrcmpiW(argv[0], m_target.targetPath.c_str()), 0) << argv[0];
    EXPECT_STREQ(argv[1], L"a b");
    EXPECT_STREQ(argv[2], L"c");
    LocalFree(argv);
}

TEST_F(StartTargetTest, OtherStartFailuresStartNothing) {
    g_createError = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(StartTarget(m_target, false, SW_SHOW, m_api), 0u);
    EXPECT_EQ(g_createCalls, 1);
    EXPECT_TRUE(g_shellRequests.empty());
    EXPECT_TRUE(ReadRecord(m_dir.File(L"record.txt")).empty());
}

TEST_F(StartTargetTest, EmptyCommandLineStartsNothing) {
    m_target.targetCommandLine.clear();
    EXPECT_EQ(StartTarget(m_target, false, SW_SHOW, m_api), 0u);
    EXPECT_EQ(g_createCalls, 0);
}

// A service in this process that counts the allocations made between its prepare and complete.
class CountingService final : public IReactivationService {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, kIidReactivationService)) {
            *object = static_cast<IReactivationService*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives as long as the test
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Reserved() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryProgram(BSTR, VARIANT_BOOL*, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PrepareLaunch(BSTR, BSTR* ticket) override {
        ++prepared;
        *ticket = SysAllocString(L"ticket");
        g_allocationsCounted = 0;
        g_countAllocations = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CompleteLaunch(BSTR) override {
        g_countAllocations = false;
        ++completed;
        return S_OK;
    }
    int prepared = 0;
    int completed = 0;
};

class CountingServiceFactory final : public IClassFactory {
public:
    explicit CountingServiceFactory(CountingService& service) : m_service(service) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
        return m_service.QueryInterface(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    CountingService& m_service;
};

TEST_F(StartTargetTest, NothingBetweenTheServicesPrepareAndCompleteAllocates) {
    const ComApartment apartment(COINIT_APARTMENTTHREADED);
    CountingService service;
    CountingServiceFactory factory(service);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kClsidReactivationService, &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    const struct {
        const char* name;
        TargetStartApi api;
        std::uint32_t exitCode;
    } cases[] = {
        {"target started", TargetStartApi(), 42u},
        {"start failed", {&FailingCreateProcess, &ShellExecuteExW}, 0u},
    };
    g_createError = ERROR_FILE_NOT_FOUND;
    for (const auto& c : cases) {
        service.prepared = service.completed = 0;
        EXPECT_EQ(StartTarget(m_target, true, SW_SHOW, c.api), c.exitCode) << c.name;
        EXPECT_EQ(service.prepared, 1) << c.name << ": the wrap used this process's service";
        EXPECT_EQ(service.completed, 1) << c.name;
        EXPECT_EQ(g_allocationsCounted.load(), 0) << c.name << ": allocated inside the wrap";
    }
    g_countAllocations = false;
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

std::wstring DllDirectory() {
    wchar_t directory[MAX_PATH + 1] = {};
    const DWORD length = GetDllDirectoryW(MAX_PATH + 1, directory);
    return std::wstring(directory, length <= MAX_PATH ? length : 0);
}

std::wstring SystemDirectory() {
    wchar_t system[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH + 1);
    return std::wstring(system, length <= MAX_PATH ? length : 0);
}

std::wstring g_dllDirectoryAtStart = L"(not started)";

BOOL WINAPI CreateProcessNotingDllDirectory(LPCWSTR application, LPWSTR commandLine,
                                            LPSECURITY_ATTRIBUTES process, LPSECURITY_ATTRIBUTES thread,
                                            BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR directory,
                                            LPSTARTUPINFOW startup, LPPROCESS_INFORMATION info) {
    g_dllDirectoryAtStart = DllDirectory();
    return CreateProcessW(application, commandLine, process, thread, inherit, flags, environment, directory,
                          startup, info);
}

TEST_F(StartTargetTest, TheHardenedSearchSkipsTheCurrentDirectoryAndTheTargetGetsTheDefaultOne) {
    // What the launcher's first static initialiser does, here for the rest of this test program.
    ASSERT_TRUE(HardenLibrarySearch());
    const std::wstring system = SystemDirectory();
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(lstrcmpiW(DllDirectory().c_str(), system.c_str()), 0)
        << "the DLL directory is the system folder";

    // Safe search mode: a program in the current directory no longer wins over the system's.
    ASSERT_TRUE(
        CopyFileW((BinDir() + L"\\record_target.exe").c_str(), m_dir.File(L"cmd.exe").c_str(), FALSE));
    {
        ScopedCurrentDirectory inside(m_dir.Path());
        wchar_t found[MAX_PATH] = {};
        ASSERT_NE(SearchPathW(nullptr, L"cmd.exe", nullptr, MAX_PATH, found, nullptr), 0u);
        EXPECT_NE(lstrcmpiW(found, m_dir.File(L"cmd.exe").c_str()), 0) << testing::Narrow(found);
    }

    // The target is created with no DLL directory (a child inherits its creator's), and the
    // hardening is back at once.
    const TargetStartApi noting{&CreateProcessNotingDllDirectory, &ShellExecuteExW};
    EXPECT_EQ(StartTarget(m_target, false, SW_SHOW, noting), 42u);
    EXPECT_EQ(g_dllDirectoryAtStart, L"") << "the target got the launcher's DLL directory";
    EXPECT_EQ(lstrcmpiW(DllDirectory().c_str(), system.c_str()), 0) << "the hardening did not come back";
}

TEST(IsVistaOrLater, HoldsOnTheSystemUnderTest) { EXPECT_TRUE(IsVistaOrLater()); }

}  // namespace
}  // namespace pelicor
