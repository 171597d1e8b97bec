# The fast fail of the platform's __fastfail intrinsic, which mingw-w64's headers lack: int 0x29
# with the failure code in ECX ends the process at once with STATUS_STACK_BUFFER_OVERRUN, without
# running any exception handler or filter (Windows 8 on).
    .text
    .globl PelicorFastFail
    .def PelicorFastFail; .scl 2; .type 32; .endef
    .p2align 4
PelicorFastFail:
    int $0x29
    ud2
