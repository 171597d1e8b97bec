# The two pointers through which code compiled with Control Flow Guard makes its indirect calls,
# which mingw-w64's runtime 10 (Debian 12) does not define; later runtimes' archives do, but this
# object's definitions come first, so those are never linked. Where the image is marked for the
# guard and the system enforces it (Windows 8.1 on), the loader points them at its own checks
# before any code runs; elsewhere (Wine; older Windows) they keep these defaults, which check
# nothing and call as an unguarded call would. In the read-only section the platform's own
# runtime uses, which lld merges into .rdata: nothing may change them once the image is loaded.
#
# The defaults must never be valid targets of a guarded call (a `jmp *%rax` that the guard allows
# would let any call through): the object says that it takes part in the guard (@feat.00 bit
# 0x800) and lists no function, and the two are plain labels, not functions, so that lld adds
# neither to the image's table of valid targets.
    .set @feat.00, 0x800
    .text
    .p2align 4
PelicorGuardCheckNothing:             # check form: the target in RCX, the caller calls it next
    ret
    .p2align 4
PelicorGuardDispatchDirect:           # dispatch form: the target in RAX, its arguments in place
    jmp *%rax

    .section .00cfg,"dr"
    .p2align 3
    .globl __guard_check_icall_fptr
__guard_check_icall_fptr:
    .quad PelicorGuardCheckNothing
    .globl __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
    .quad PelicorGuardDispatchDirect
