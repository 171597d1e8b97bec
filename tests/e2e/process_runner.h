// Helpers for tests that start real processes under Wine: exact command lines, full 32-bit exit
// codes, private folders and the records the stand-in target writes.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace pelicor::testing {

// Folder of the running test executable; every built program lies there.
std::wstring BinDir();

// A fresh folder under the temporary folder, removed with its files when the object goes.
class TempDir {
public:
    explicit TempDir(const std::wstring& leaf = L"");
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_root;
    std::wstring m_path;
};

// Sets an environment variable for the life of the object, then restores the old value.
class ScopedEnv {
public:
    ScopedEnv(const std::wstring& name, const std::wstring& value);
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv();

private:
    std::wstring m_name;
    std::wstring m_old;
    bool m_hadOld;
};

struct RunOptions {
    std::wstring directory;             // empty: the test's own current directory
    bool inheritHandles = false;
    int showWindow = -1;                // >= 0: STARTF_USESHOWWINDOW with this value
    DWORD timeoutMs = 60000;
};

constexpr DWORD kTimedOut = 0xFFFFFFFF;
constexpr DWORD kNotStarted = 0xFFFFFFFE;

// Starts `application` with exactly `commandLine`, waits and returns the full 32-bit exit code;
// kNotStarted when it could not be started, kTimedOut after killing one that did not end in time.
DWORD RunProcess(const std::wstring& application, const std::wstring& commandLine,
                 const RunOptions& options = RunOptions());

// The "key=value" lines the stand-in target wrote; empty when it wrote nothing.
std::map<std::wstring, std::wstring> ReadRecord(const std::wstring& path);

// The whole file as bytes; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);

// Wraps a path in double quotes.
inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace pelicor::testing
