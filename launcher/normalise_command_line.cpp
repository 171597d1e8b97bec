#include "launcher/normalise_command_line.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <vector>

#include "text/command_line.h"
#include "platform/scoped_resources.h"
#include "platform/sized_text.h"

namespace pelicor {
namespace {

// Most command lines fit the first try; longer ones are sized from what the call reports.
constexpr DWORD kFirstExpansionSize = 520;

// Text before the first null of `buffer`.
std::wstring TextBeforeNull(const std::vector<wchar_t>& buffer) { return std::wstring(buffer.data()); }

// %NAME% references expanded; references to undefined variables stay as written. An expansion
// that fails, or that the system could only deliver cut, gives the empty string, which starts
// nothing.
std::wstring ExpandEnvironment(const wchar_t* text) {
    std::vector<wchar_t> buffer(kFirstExpansionSize, L'\0');
    // The environment cannot change between the calls (no other thread touches it), but a
    // bounded loop costs nothing and cannot spin.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD needed =
            ExpandEnvironmentStringsW(text, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (needed == 0) {
            return std::wstring();
        }
        if (needed <= buffer.size()) {
            // The system expands at most 32,767 characters and then reports the full size but
            // writes a cut text. A cut line would start the target with lost arguments; such a
            // line could not start whole anyway, so it counts as an expansion that wrote nothing.
            std::wstring expanded = TextBeforeNull(buffer);
            return expanded.size() + 1 == needed ? expanded : std::wstring();
        }
        buffer.assign(needed, L'\0');
    }
    return std::wstring();
}

// The full path of `path` against the current directory, or empty when it cannot be formed.
std::wstring FullPath(const std::wstring& path) {
    return ReadSizedText([&](wchar_t* buffer, DWORD capacity) {
        return GetFullPathNameW(path.c_str(), capacity, buffer, nullptr);
    });
}

UniqueArgv Split(const std::wstring& line) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
    return UniqueArgv(argv, count);
}

}  // namespace

NormalisedCommandLine NormaliseCommandLine(const wchar_t* commandLine) {
    NormalisedCommandLine result;
    result.targetCommandLine = ExpandEnvironment(commandLine != nullptr ? commandLine : L"");

    // The first split only finds where the first token ends, so that doubled backslashes are
    // collapsed in the program's path but never in its arguments.
    {
        const UniqueArgv first = Split(result.targetCommandLine);
        if (first.First() != nullptr) {
            std::int32_t limit = lstrlenW(first.First());
            if (!result.targetCommandLine.empty() && result.targetCommandLine[0] == L'"') {
                limit += 2;
            }
            result.targetCommandLine = CollapseDoubledBackslashes(result.targetCommandLine.c_str(), limit);
        }
    }

    const UniqueArgv second = Split(result.targetCommandLine);
    if (second.First() != nullptr) {
        result.targetPath = second.First();
        if (PathIsRelativeW(result.targetPath.c_str())) {
            result.targetPath = FullPath(result.targetPath);
        }
    }
    if (second.Count() >= 2) {
        result.targetArguments = JoinArguments(second.Get() + 1, second.Count() - 1);
    }
    return result;
}

}  // namespace pelicor
