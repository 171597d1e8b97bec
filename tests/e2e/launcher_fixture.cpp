#include "tests/e2e/launcher_fixture.h"

#include <shellapi.h>

#include <cwchar>

#include "standins/reactivation_service/registration.h"
#include "standins/record.h"

namespace pelicor::testing {
namespace {

std::vector<std::wstring> SplitLine(const std::wstring& line, wchar_t separator) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = line.find(separator, start)) != std::wstring::npos; start = end + 1) {
        fields.push_back(line.substr(start, end - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (owner == search->processId &&
        (search->className == nullptr || lstrcmpW(className, search->className) == 0)) {
        search->found.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindowsOf(DWORD processId, const wchar_t* className) {
    WindowSearch search{processId, className, {}};
    EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void RegisterInprocService() { RegisterInprocServiceAs(BinDir() + L"\\StandInReactivationService.dll"); }

void RegisterInprocServiceAs(const std::wstring& inprocServer32) {
    ASSERT_EQ(standins::RegisterInprocServer(inprocServer32), S_OK);
}

void RegisterLocalService(const std::wstring& settingsFile) {
    const std::wstring server = BinDir() + L"\\StandInReactivationServer.exe";
    ASSERT_EQ(RunProcess(server, Quoted(server) + L" /RegServer /settings " + Quoted(settingsFile)), 0u);
}

void WriteServiceSettings(const std::wstring& settingsFile) {
    std::wstring settings;
    const wchar_t prefix[] = L"PELICOR_SERVICE_";
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
            if (std::wcsncmp(entry, prefix, std::wcslen(prefix)) == 0)
                settings += std::wstring(entry) + L"\n";
        }
        FreeEnvironmentStringsW(block);
    }
    DeleteFileW(settingsFile.c_str());
    standins::AppendToFile(settingsFile, settings);
    ASSERT_EQ(ReadText(settingsFile), settings) << "the settings file could not be written";
}

LauncherTest::LauncherTest() { RegisterInprocService(); }

std::vector<ServiceEvent> LauncherTest::ServiceLog() const {
    const std::wstring text = ReadText(m_dir.File(L"service.txt"));
    std::vector<ServiceEvent> events;
    for (const std::wstring& line : SplitLine(text, L'\n')) {
        const std::vector<std::wstring> fields = SplitLine(line, L'\t');
        if (fields.size() == 4) {
            events.push_back({fields[0], fields[1], fields[2], std::wcstoul(fields[3].c_str(), nullptr, 10)});
        }
    }
    return events;
}

std::vector<std::wstring> LauncherTest::ServiceEventNames() const {
    std::vector<std::wstring> names;
    for (const ServiceEvent& e : ServiceLog()) names.push_back(e.event);
    return names;
}

DWORD LauncherTest::Launch(const std::wstring& tail, const RunOptions& options,
                           const std::wstring& launcher) {
    return RunProcess(launcher, Quoted(launcher) + L" " + tail, options);
}

DWORD LauncherTest::LaunchDismissingMessages(const std::wstring& launcher, const std::wstring& tail,
                                             int& dismissed) {
    dismissed = 0;
    const ChildProcess child = StartProcess(launcher, Quoted(launcher) + L" " + tail);
    if (child.Handle() == nullptr) return kNotStarted;
    // No event tells when the shell's message appears; look for it between short waits on the
    // process, as a user would glance at the screen, for at most a minute.
    for (int glance = 0; glance < 600; ++glance) {
        if (WaitForSingleObject(child.Handle(), 100) == WAIT_OBJECT_0) break;
        for (HWND dialog : TopLevelWindowsOf(child.Id(), L"#32770")) {
            if (IsWindowVisible(dialog)) {
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                ++dismissed;
                break;
            }
        }
    }
    return WaitForExit(child, 0);
}

std::vector<std::wstring> LauncherTest::TargetArgv() const {
    std::vector<std::wstring> result;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(Record()[L"commandLine"].c_str(), &count);
    for (int i = 0; argv != nullptr && i < count; ++i) result.emplace_back(argv[i]);
    LocalFree(argv);
    return result;
}

std::wstring LauncherTest::Install(bool withTool, bool withDumpTool, const std::wstring& name) {
    const std::wstring launcher = m_install.File(name);
    EXPECT_TRUE(CopyFileW(Launcher().c_str(), launcher.c_str(), FALSE));
    for (const auto& [wanted, tool] :
         {std::make_pair(withTool, L"Velmora.exe"), std::make_pair(withDumpTool, L"norvexdumpa.exe")}) {
        if (wanted) {
            EXPECT_TRUE(
                CopyFileW((BinDir() + L"\\tool\\" + tool).c_str(), m_install.File(tool).c_str(), FALSE));
        }
    }
    return launcher;
}

}  // namespace pelicor::testing
