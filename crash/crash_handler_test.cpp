// Runs under Wine. The dump tool's start is taken through the filter's seam, because Wine ignores
// the priority class of a new process; the rest of the filter runs for real.
#include "crash/crash_handler.h"

#include <gtest/gtest.h>

#include <string>

namespace pelicor {
namespace {

struct ToolStart {
    int calls = 0;
    std::string application;
    BOOL inheritHandles = TRUE;
    DWORD flags = 0;
    DWORD startupSize = 0;
};
ToolStart g_start;

BOOL WINAPI RecordingCreateProcess(LPCSTR application, LPSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                                   BOOL inheritHandles, DWORD flags, LPVOID, LPCSTR, LPSTARTUPINFOA startup,
                                   LPPROCESS_INFORMATION) {
    ++g_start.calls;
    g_start.application = application != nullptr ? application : "(null)";
    g_start.inheritHandles = inheritHandles;
    g_start.flags = flags;
    g_start.startupSize = startup->cb;
    SetLastError(ERROR_FILE_NOT_FOUND);  // as if the tool were missing: nothing to wait for
    return FALSE;
}

TEST(CrashFilter, StartsTheDumpToolBesideTheLauncherBelowNormalPriorityInheritingNothing) {
    // Installing points the filter at the tool beside this test program; the filter is taken out
    // of this process again at once.
    ASSERT_TRUE(InstallCrashHandler());
    const LPTOP_LEVEL_EXCEPTION_FILTER installed = SetUnhandledExceptionFilter(nullptr);
    EXPECT_EQ(installed, &CrashFilter);

    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    CONTEXT context{};
    EXCEPTION_POINTERS pointers{&record, &context};
    EXPECT_EQ(HandleCrash(&pointers, CrashToolStartApi{&RecordingCreateProcess}), EXCEPTION_CONTINUE_SEARCH);

    ASSERT_EQ(g_start.calls, 1);
    char module[MAX_PATH] = {};
    const std::string self(module, GetModuleFileNameA(nullptr, module, MAX_PATH));
    EXPECT_EQ(g_start.application, self.substr(0, self.rfind('\\') + 1) + "norvexdumpa.exe");
    EXPECT_EQ(g_start.flags, static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_FALSE(g_start.inheritHandles);
    EXPECT_EQ(g_start.startupSize, sizeof(STARTUPINFOA));
}

}  // namespace
}  // namespace pelicor
