// Forced in front of every product source when building against libstdc++ (see CMakeLists.txt).
//
// libstdc++ declares its std::wstring (and other) instantiations extern, so every member comes
// out of the library's one object file, all of them at once, and with them the exception
// runtime that those members' error paths use. Switched off, the compiler instantiates only the
// members the launcher calls, in its own sections, and the linker keeps just those: about
// 110 KiB less image. The library's configuration header sets the switch unconditionally, so it
// is reset right after that header.
#pragma once

#include <cstddef>

#if defined(__GLIBCXX__)
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
#endif
