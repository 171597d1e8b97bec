# The image's load configuration, which the linker finds by the name _load_config_used, and the
# Control Flow Guard pointers it names. Linked with lld only (GNU ld writes no load configuration
# and no guard tables); MSVC's runtime brings its own. Assembly, because three fields hold the
# values of symbols that lld defines as absolute numbers (counts and flags), which C++ cannot
# write into a constant, and because the guard's dispatch default must jump to the address in RAX.
#
# Fields, as Windows' IMAGE_LOAD_CONFIG_DIRECTORY64 lays them out (Size 0x140, as current
# toolchains write it); what is not named here is 0:
#   0x4E DependentLoadFlags: LOAD_LIBRARY_SEARCH_SYSTEM32. The loader resolves the launcher's
#        static imports, and the DLLs they import in turn, from the system directory only; a
#        call in the launcher's start-up would come too late for a DLL the system DLLs load
#        while they start. Honoured from Windows 10 1607 on.
#   0x58 SecurityCookie: the stack cookie. It starts at the platform's default, which the loader
#        replaces with a random value before any code of the image runs.
#   0x70 to 0x90, 0xA0 to 0xB8, 0x108 to 0x110: the guard's check and dispatch pointers, and the
#        tables and flags lld fills in with -guard:cf.

    .section .rdata,"dr"
    .globl _load_config_used
    .p2align 3
_load_config_used:
    .long 0x140                       # 0x00 Size
    .long 0                           # 0x04 TimeDateStamp
    .short 0, 0                       # 0x08 MajorVersion, MinorVersion
    .long 0, 0, 0                     # 0x0C GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout
    .quad 0, 0, 0, 0, 0, 0            # 0x18 DeCommit..., LockPrefixTable, MaximumAllocationSize, VirtualMemoryThreshold, ProcessAffinityMask
    .long 0                           # 0x48 ProcessHeapFlags
    .short 0                          # 0x4C CSDVersion
    .short 0x0800                     # 0x4E DependentLoadFlags
    .quad 0                           # 0x50 EditList
    .quad __stack_chk_guard           # 0x58 SecurityCookie
    .quad 0, 0                        # 0x60 SEHandlerTable, SEHandlerCount
    .quad __guard_check_icall_fptr    # 0x70 GuardCFCheckFunctionPointer
    .quad __guard_dispatch_icall_fptr # 0x78 GuardCFDispatchFunctionPointer
    .quad __guard_fids_table          # 0x80 GuardCFFunctionTable
    .quad __guard_fids_count          # 0x88 GuardCFFunctionCount
    .long __guard_flags               # 0x90 GuardFlags
    .short 0, 0                       # 0x94 CodeIntegrity: Flags, Catalog
    .long 0, 0                        # 0x98             CatalogOffset, Reserved
    .quad __guard_iat_table           # 0xA0 GuardAddressTakenIatEntryTable
    .quad __guard_iat_count           # 0xA8 GuardAddressTakenIatEntryCount
    .quad __guard_longjmp_table       # 0xB0 GuardLongJumpTargetTable
    .quad __guard_longjmp_count       # 0xB8 GuardLongJumpTargetCount
    .quad 0, 0, 0, 0                  # 0xC0 DynamicValueRelocTable, CHPEMetadataPointer, GuardRFFailureRoutine, ...FunctionPointer
    .long 0                           # 0xE0 DynamicValueRelocTableOffset
    .short 0, 0                       # 0xE4 DynamicValueRelocTableSection, Reserved2
    .quad 0                           # 0xE8 GuardRFVerifyStackPointerFunctionPointer
    .long 0, 0                        # 0xF0 HotPatchTableOffset, Reserved3
    .quad 0                           # 0xF8 EnclaveConfigurationPointer
    .quad 0                           # 0x100 VolatileMetadataPointer
    .quad __guard_eh_cont_table       # 0x108 GuardEHContinuationTable
    .quad __guard_eh_cont_count       # 0x110 GuardEHContinuationCount
    .quad 0, 0, 0                     # 0x118 GuardXFG check, dispatch and table dispatch pointers
    .quad 0                           # 0x130 CastGuardOsDeterminedFailureMode
    .quad 0                           # 0x138 GuardMemcpyFunctionPointer
