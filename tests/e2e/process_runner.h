// Helpers for tests that start real processes under Wine: exact command lines, full 32-bit exit
// codes, private folders and the records the stand-in target writes.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace pelicor::testing {

// Folder of the running test executable; every built program lies there.
std::wstring BinDir();

// True under Wine (its ntdll exports wine_get_version), where some of Windows' rules are not
// enforced: checks of those are skipped there, with their reason, and strict on Windows.
bool RunningUnderWine();

// The variable's value, or empty when it is unset.
std::wstring EnvironmentValue(const std::wstring& name);

// A fresh folder that did not exist before, under %TEMP%\pelicor-tests; removed with its files
// when the object goes. ctest empties %TEMP%\pelicor-tests before and after a run (see
// CMakeLists.txt), so nothing a killed test left behind outlives the run.
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
    std::wstring directory;  // empty: the test's own current directory
    bool inheritHandles = false;
    int showWindow = -1;     // >= 0: STARTF_USESHOWWINDOW with this value
    std::wstring title;      // non-empty: the start-up information's window title
    DWORD startupFlags = 0;  // further STARTF_ flags, as the shell sets them for a shortcut
    WORD hotkey = 0;         // with STARTF_USEHOTKEY: the hotkey, passed where the shell passes it
    std::wstring reserved;   // non-empty: the start-up information's reserved text (the shell's use)
    DWORD timeoutMs = 60000;
};

// A started child process; the handle is closed with the object.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(HANDLE process, DWORD id) : m_process(process), m_id(id) {}
    ChildProcess(ChildProcess&& other) noexcept : m_process(other.m_process), m_id(other.m_id) {
        other.m_process = nullptr;
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (m_process != nullptr) CloseHandle(m_process);
    }
    HANDLE Handle() const { return m_process; }
    DWORD Id() const { return m_id; }

private:
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
};

// Codes no target of the tests returns (they pass 0xFFFFFFFF and 0xC0000005 through, for one),
// so that a hung or missing program can never pass for one that returned what a test expects.
constexpr DWORD kTimedOut = 0x7E57D1ED;
constexpr DWORD kNotStarted = 0x7E57AB5E;

// Starts `application` with exactly `commandLine`, waits and returns the full 32-bit exit code;
// kNotStarted when it could not be started, kTimedOut (and a test failure) after killing one that
// did not end in time.
DWORD RunProcess(const std::wstring& application, const std::wstring& commandLine,
                 const RunOptions& options = RunOptions());

// Starts without waiting; an empty handle, and a test failure naming the Win32 error, when the
// start failed.
ChildProcess StartProcess(const std::wstring& application, const std::wstring& commandLine,
                          const RunOptions& options = RunOptions());

// Waits for the child's end; kTimedOut, and a test failure that says so, after killing a child
// that did not end within `timeoutMs`.
DWORD WaitForExit(const ChildProcess& child, DWORD timeoutMs);

// The "key=value" lines the stand-in target wrote; empty when it wrote nothing.
std::map<std::wstring, std::wstring> ReadRecord(const std::wstring& path);

// The whole file as bytes; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);

// The whole file as the UTF-16 text the stand-ins write; empty when it cannot be read.
std::wstring ReadText(const std::wstring& path);

// Points the user's local application-data folder at `folder` for the life of the object, as a
// profile of that name would; the shell reads it from the registry in each new process. The value
// it replaces is first saved under a key of the tests' own, so that a run killed meanwhile (a time
// limit, Ctrl-C) cannot leave the prefix or the machine pointing at a folder that is gone: every
// test program puts a saved value back before it runs anything (RestoreUserSettingsLeftBehind).
class ScopedLocalAppData {
public:
    explicit ScopedLocalAppData(const std::wstring& folder);
    ScopedLocalAppData(const ScopedLocalAppData&) = delete;
    ScopedLocalAppData& operator=(const ScopedLocalAppData&) = delete;
    ~ScopedLocalAppData();
};

// Puts back what a killed run of a ScopedLocalAppData left changed; nothing when nothing was left.
void RestoreUserSettingsLeftBehind();

// A manual-reset event with a name unique to this test run, for stand-ins to open.
class NamedEvent {
public:
    NamedEvent();
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;
    ~NamedEvent();
    const std::wstring& Name() const { return m_name; }
    HANDLE Handle() const { return m_event; }
    void Set() const { SetEvent(m_event); }
    bool Wait(DWORD timeoutMs) const { return WaitForSingleObject(m_event, timeoutMs) == WAIT_OBJECT_0; }

private:
    std::wstring m_name;
    HANDLE m_event;
};

// Waits for `event`, which a stand-in started by `process` sets once it runs. Fails at once when
// `process` ends first, naming its exit code (a launcher's says why it started nothing), and after
// `timeoutMs` when neither happens.
::testing::AssertionResult WaitForEventWhileRunning(const NamedEvent& event, const ChildProcess& process,
                                                    DWORD timeoutMs);

// The short (8.3) form of an existing `path` when the volume gave it one that differs from the
// long form and that the ANSI code page spells whole; empty otherwise. Volumes can keep no short
// names (GitHub's hosted Windows runners create none since 2024), and then the system answers
// with the long form.
std::wstring UsableShortPath(const std::wstring& path);

// What a test that needs a short name says when it skips for want of one.
inline constexpr const char* kNoShortNames =
    "this volume gives the path no short name that the ANSI code page spells (short-name creation is off: "
    "fsutil 8dot3name set C: 0 turns it on for files made afterwards)";

// `text` for test messages: characters outside ASCII become '?'.
std::string Narrow(const std::wstring& text);

// Signals the event when the scope ends, however the test ends: a failed assertion never leaves a
// stand-in waiting for it.
class SetOnScopeExit {
public:
    explicit SetOnScopeExit(const NamedEvent& event) : m_event(event) {}
    SetOnScopeExit(const SetOnScopeExit&) = delete;
    SetOnScopeExit& operator=(const SetOnScopeExit&) = delete;
    ~SetOnScopeExit() { m_event.Set(); }

private:
    const NamedEvent& m_event;
};

// Wraps a path in double quotes.
inline std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

}  // namespace pelicor::testing
