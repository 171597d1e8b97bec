// Linked only with mingw-w64's libstdc++ (see CMakeLists.txt). Its default terminate handler
// prints the uncaught exception's demangled type to stderr, which a GUI program does not have,
// and drags the whole C++ demangler (about 45 KiB) into the executable. The linker's --wrap
// routes it here instead; ending the process the same way, without the message.
#include <cstdlib>

extern "C" void __wrap__ZN9__gnu_cxx27__verbose_terminate_handlerEv() { std::abort(); }
