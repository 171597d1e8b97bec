#include "reactivation/deactivation_tool.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/message_wait.h"
#include "platform/module_path.h"
#include "platform/scoped_resources.h"

namespace pelicor {

bool RunDeactivationTool(const std::wstring& parameters) {
    const std::wstring folder = FolderOf(OwnModulePath());
    // Appended even to a drive root's "C:\": the shell reads the doubled separator all the same.
    const std::wstring tool = folder + L"\\Velmora.exe";

    SHELLEXECUTEINFOW execute{};
    execute.cbSize = sizeof(execute);
    execute.fMask = SEE_MASK_NOCLOSEPROCESS;
    execute.lpVerb = L"open";
    execute.lpFile = tool.c_str();
    execute.lpParameters = parameters.c_str();
    execute.lpDirectory = folder.c_str();
    execute.nShow = SW_SHOW;
    if (!ShellExecuteExW(&execute)) {
        return false;
    }
    const UniqueHandle process(execute.hProcess);
    if (process) {
        // An in-process service asked before ran on this thread and may have left windows on it.
        (void)WaitForProcessDispatchingMessages(process.Get());
    }
    return true;
}

}  // namespace pelicor
