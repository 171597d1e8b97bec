#include "tests/e2e/process_runner.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace pelicor::testing {

std::wstring BinDir() {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    return path.substr(0, path.find_last_of(L'\\'));
}

// For messages only: characters outside ASCII become '?'.
std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (const wchar_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

std::wstring UsableShortPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return std::wstring();
    const std::wstring shortPath(buffer.data(), length);
    BOOL lost = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, shortPath.c_str(),
                                         static_cast<int>(length), nullptr, 0, nullptr, &lost);
    if (shortPath == path || size <= 0 || lost) return std::wstring();
    return shortPath;
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::wstring EnvironmentValue(const std::wstring& name) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length < buffer.size() ? length : 0);
}

TempDir::TempDir(const std::wstring& leaf) {
    wchar_t base[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, base);
    const std::wstring tests = std::wstring(base) + L"pelicor-tests";
    CreateDirectoryW(tests.c_str(), nullptr);  // shared by all tests; exists after the first
    // Wine reuses small process ids within seconds, and a test killed at its time limit leaves
    // its folder behind until the run's clean-up: take only a folder that did not exist before.
    static unsigned counter = 0;
    do {
        m_root = tests + L"\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
    } while (!CreateDirectoryW(m_root.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
    m_path = m_root;
    if (!leaf.empty()) {
        m_path += L"\\" + leaf;
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
}

TempDir::~TempDir() {
    // The shell's delete wants a double-null-terminated list; it removes the whole tree.
    std::wstring top = m_root;
    top.push_back(L'\0');
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = top.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&operation);
}

namespace {

constexpr const wchar_t* kShellFoldersKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const wchar_t* kLocalAppData = L"Local AppData";
// Where the value a ScopedLocalAppData replaced waits to be put back: under its own name as it
// was found, or, when there was none, as a marker that says so.
constexpr const wchar_t* kSavedKey = L"Software\\Pelicor\\Tests\\Saved User Shell Folders";
constexpr const wchar_t* kWasAbsent = L"Local AppData was absent";

// The value `name` of `key` as stored, with its type; false when it is not there.
bool ReadValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<BYTE>& data) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    data.resize(size);
    return RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
}

}  // namespace

// Puts a saved value back and forgets it; nothing when nothing is saved.
void RestoreUserSettingsLeftBehind() {
    HKEY saved = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSavedKey, 0, KEY_READ, &saved) != ERROR_SUCCESS) return;
    HKEY folders = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, nullptr, 0, KEY_WRITE, nullptr, &folders,
                        nullptr) == ERROR_SUCCESS) {
        DWORD type = 0;
        std::vector<BYTE> data;
        if (ReadValue(saved, kLocalAppData, type, data)) {
            RegSetValueExW(folders, kLocalAppData, 0, type, data.data(), static_cast<DWORD>(data.size()));
        } else if (ReadValue(saved, kWasAbsent, type, data)) {
            RegDeleteValueW(folders, kLocalAppData);
        }
        RegCloseKey(folders);
    }
    RegCloseKey(saved);
    RegDeleteKeyW(HKEY_CURRENT_USER, kSavedKey);
}

ScopedLocalAppData::ScopedLocalAppData(const std::wstring& folder) {
    // What a killed run left goes back first, so that what is saved now is the user's own.
    RestoreUserSettingsLeftBehind();
    HKEY folders = nullptr;
    HKEY saved = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kShellFoldersKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                              nullptr, &folders, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, kSavedKey, 0, nullptr, 0, KEY_WRITE, nullptr, &saved, nullptr),
        ERROR_SUCCESS);
    DWORD type = 0;
    std::vector<BYTE> old;
    if (ReadValue(folders, kLocalAppData, type, old)) {
        EXPECT_EQ(RegSetValueExW(saved, kLocalAppData, 0, type, old.data(), static_cast<DWORD>(old.size())),
                  ERROR_SUCCESS);
    } else {
        const DWORD one = 1;
        EXPECT_EQ(
            RegSetValueExW(saved, kWasAbsent, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof(one)),
            ERROR_SUCCESS);
    }
    RegCloseKey(saved);
    EXPECT_EQ(RegSetValueExW(folders, kLocalAppData, 0, REG_EXPAND_SZ,
                             reinterpret_cast<const BYTE*>(folder.c_str()),
                             static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    RegCloseKey(folders);
}

ScopedLocalAppData::~ScopedLocalAppData() { RestoreUserSettingsLeftBehind(); }

NamedEvent::NamedEvent() {
    static unsigned counter = 0;
    m_name = L"PelicorTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    m_event = CreateEventW(nullptr, TRUE, FALSE, m_name.c_str());
}

NamedEvent::~NamedEvent() {
    if (m_event != nullptr) CloseHandle(m_event);
}

ScopedEnv::ScopedEnv(const std::wstring& name, const std::wstring& value) : m_name(name) {
    std::vector<wchar_t> buffer(32768);
    const DWORD length =
        GetEnvironmentVariableW(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    m_hadOld = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    m_old.assign(buffer.data(), length);
    SetEnvironmentVariableW(name.c_str(), value.c_str());
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(m_name.c_str(), m_hadOld ? m_old.c_str() : nullptr); }

ChildProcess StartProcess(const std::wstring& application, const std::wstring& commandLine,
                          const RunOptions& options) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = options.startupFlags;
    if (options.showWindow >= 0) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(options.showWindow);
    }
    std::wstring title = options.title;
    if (!title.empty()) startup.lpTitle = title.data();
    std::wstring reserved = options.reserved;
    if (!reserved.empty()) startup.lpReserved = reserved.data();
    if ((options.startupFlags & STARTF_USEHOTKEY) != 0) {
        startup.hStdInput = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(options.hotkey));
    }
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION info{};
    const auto start = [&] {
        return CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, options.inheritHandles, 0,
                              nullptr, options.directory.empty() ? nullptr : options.directory.c_str(),
                              &startup, &info) != FALSE;
    };
    bool started = start();
    // Wine answers ERROR_INTERNAL_ERROR when the new process died before its own start-up was done,
    // which is before the loader has run a line of the program's code; it happens rarely, and on
    // a busy machine. Such a start is made again, and said, rather than failed as the
    // program's fault. On Windows the error stands.
    for (int again = 0; !started && again < 2 && GetLastError() == ERROR_INTERNAL_ERROR && RunningUnderWine();
         ++again) {
        std::fprintf(stderr, "note: Wine could not start %s (Win32 error 1359); starting it again\n",
                     Narrow(application).c_str());
        started = start();
    }
    if (!started) {
        const DWORD error = GetLastError();
        // The harness's own start, not the launcher's behaviour: say why, once, wherever it fails.
        ADD_FAILURE() << "the test could not start " << Narrow(application) << ": Win32 error " << error;
        return ChildProcess();
    }
    CloseHandle(info.hThread);
    return ChildProcess(info.hProcess, info.dwProcessId);
}

DWORD WaitForExit(const ChildProcess& child, DWORD timeoutMs) {
    DWORD code = kTimedOut;
    if (WaitForSingleObject(child.Handle(), timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(child.Handle(), &code);
    } else {
        TerminateProcess(child.Handle(), kTimedOut);
        WaitForSingleObject(child.Handle(), INFINITE);
        ADD_FAILURE() << "process " << child.Id() << " did not end within " << timeoutMs
                      << " ms and was killed";
    }
    return code;
}

::testing::AssertionResult WaitForEventWhileRunning(const NamedEvent& event, const ChildProcess& process,
                                                    DWORD timeoutMs) {
    if (process.Handle() == nullptr) return ::testing::AssertionFailure() << "the process was not started";
    const HANDLE handles[] = {event.Handle(), process.Handle()};
    const DWORD waited = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
    // The event is looked at again: a process may set it and end before the wait looks.
    if (waited == WAIT_OBJECT_0 || event.Wait(0)) return ::testing::AssertionSuccess();
    if (waited == WAIT_OBJECT_0 + 1) {
        DWORD code = 0;
        GetExitCodeProcess(process.Handle(), &code);
        return ::testing::AssertionFailure() << "process " << process.Id() << " ended with exit code 0x"
                                             << std::hex << code << " before the event was set";
    }
    return ::testing::AssertionFailure() << "the event was not set within " << timeoutMs << " ms";
}

DWORD RunProcess(const std::wstring& application, const std::wstring& commandLine,
                 const RunOptions& options) {
    const ChildProcess child = StartProcess(application, commandLine, options);
    return child.Handle() != nullptr ? WaitForExit(child, options.timeoutMs) : kNotStarted;
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return bytes;
    }
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
        bytes.append(chunk, read);
    }
    CloseHandle(file);
    return bytes;
}

std::wstring ReadText(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

std::map<std::wstring, std::wstring> ReadRecord(const std::wstring& path) {
    const std::wstring text = ReadText(path);
    std::map<std::wstring, std::wstring> record;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        const std::wstring line = text.substr(start, end - start);
        const std::size_t equals = line.find(L'=');
        if (equals != std::wstring::npos) {
            record[line.substr(0, equals)] = line.substr(equals + 1);
        }
        start = end + 1;
    }
    return record;
}

}  // namespace pelicor::testing
