// Pure string work that the launcher and the reactivation client share: command-line
// normalisation and the service's path. No Win32 here, so it also builds natively
// (for sanitizers and fuzzing). All lengths and positions count wchar_t units.
#pragma once

#include <cstdint>
#include <string>

namespace pelicor {

// Returns a copy of `text` (up to its terminating null) in which every run of two or more
// backslashes that starts before `limit` is shrunk to one backslash. Each removed character
// moves the limit back by one, so with the limit just past the first token only that token's
// runs collapse. A limit of 0 or less leaves the copy unchanged.
std::wstring CollapseDoubledBackslashes(const wchar_t* text, std::int32_t limit);

// Replaces every occurrence of `pattern` in `subject`, left to right. Inserted text is never
// searched again, so a replacement that contains the pattern neither loops nor doubles.
// An empty pattern leaves the subject unchanged.
void ReplaceAll(std::wstring& subject, const std::wstring& pattern, const std::wstring& replacement);

// Re-quotes and joins `count` elements into one parameter string: double quotes and apostrophes
// get a backslash in front, an element with a blank is wrapped in double quotes, null and empty
// elements are skipped, and elements are separated by exactly one blank.
std::wstring JoinArguments(const wchar_t* const* elements, std::int32_t count);

// Where the command line handed to wWinMain begins in the process command line `line`: past the
// program's own name (every character above U+0020, and any character at all inside double
// quotes, each of which toggles being inside) and past the characters at or below U+0020 that
// follow it. Never past the terminating null; a null `line` gives null.
const wchar_t* SkipProgramName(const wchar_t* line) noexcept;

}  // namespace pelicor
