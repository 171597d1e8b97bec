// How the launcher's runtime ends a run it cannot go on with: it never throws. The launcher is
// built without C++ exceptions, so the exception runtime, the unwinder and the thread support
// they need stay out of the image; the only failures that used to throw end the run here instead.
#include <windows.h>

#include <cstddef>
#include <cstdlib>

#include "launcher/launch_sequence.h"

namespace pelicor {
namespace {

// Ends the process; safe from any thread.
[[noreturn]] void EndRunOnRuntimeFailure() noexcept {
    // Allocation failure, or a string or array asked to grow beyond what it can hold: nothing of
    // the run can be trusted any more, and no target has been started on its basis. The code is
    // the one for "no target process was obtained", as a caller would see it after any other
    // failed start.
    ExitProcess(kExitNothingStarted);
}

}  // namespace
}  // namespace pelicor

// The global allocation functions, replaced as the language allows, so that a failed allocation
// ends the run instead of throwing std::bad_alloc.
void* operator new(std::size_t size) {
    if (void* memory = std::malloc(size != 0 ? size : 1)) {
        return memory;
    }
    pelicor::EndRunOnRuntimeFailure();
}

void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

#if defined(__GLIBCXX__)
// libstdc++'s containers report misuse through these helpers, whose library versions build and
// throw exception objects. Defined here (the library declares them noreturn), they end the run
// instead, and the linker never takes the library's versions, nor the exception runtime those
// would bring. These are the ones the launcher's instantiations call.
namespace std {
void __throw_logic_error(const char*) { pelicor::EndRunOnRuntimeFailure(); }
void __throw_length_error(const char*) { pelicor::EndRunOnRuntimeFailure(); }
void __throw_out_of_range(const char*) { pelicor::EndRunOnRuntimeFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { pelicor::EndRunOnRuntimeFailure(); }
void __throw_invalid_argument(const char*) { pelicor::EndRunOnRuntimeFailure(); }
void __throw_bad_alloc() { pelicor::EndRunOnRuntimeFailure(); }
void __throw_bad_array_new_length() { pelicor::EndRunOnRuntimeFailure(); }
}  // namespace std
#endif
