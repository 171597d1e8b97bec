// The ANSI forms of the paths the crash filter hands the dump tool, which reads narrow text: a path
// in the ANSI code page where it spells every character, else its short (8.3) form.
#pragma once

#include <windows.h>

#include <string>

namespace pelicor {

// The form of `text` in `codePage`; `lossless` says whether every character survived (a lost one
// arrives as '?' or a look-alike, and names another file or none).
std::string AnsiForm(const std::wstring& text, UINT codePage, bool& lossless);

// The ANSI text of an existing file's or folder's path that still names it: the path itself when
// the code page holds every character, else its short (8.3) form. On a volume without short names
// it stays the lossy form, which is what the system's narrow calls would have given.
std::string AnsiPathOf(const std::wstring& path);

}  // namespace pelicor
