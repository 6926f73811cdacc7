// The load configuration of every binary that lld links for mingw-w64: mingw-w64 10's C runtime
// has none (MSVC's C runtime brings one), and without it the loader has no Control Flow Guard
// table to read. lld fills __guard_fids_table, __guard_flags and their kin when it links with
// -guard:cf (and sets them to 0 without it), and finds the directory by the name
// _load_config_used. The layout is the PE32+ IMAGE_LOAD_CONFIG_DIRECTORY64 up to
// GuardEHContinuationCount (0x118 bytes), as Windows 10 reads it.

// The loader replaces the check and dispatch pointers with its own checks when it applies Control
// Flow Guard; until then (or on a Windows without it) they call straight through. The dispatch
// routine takes the target in %rax: it is not a function of its own, so it needs no entry in the
// table of valid call targets.
        .text
        .p2align 4
companions_guard_check_nop:
        ret
        .p2align 4
companions_guard_dispatch_nop:
        jmp *%rax

// Read-only: only the loader writes them, as it does for MSVC's merged .00cfg section.
        .section .rdata,"dr"
        .p2align 3
        .globl __guard_check_icall_fptr
__guard_check_icall_fptr:
        .quad companions_guard_check_nop
        .globl __guard_dispatch_icall_fptr
__guard_dispatch_icall_fptr:
        .quad companions_guard_dispatch_nop

        .p2align 3
        .globl _load_config_used
_load_config_used:
        .long 0x118                     // Size
        .long 0                         // TimeDateStamp
        .short 0, 0                     // MajorVersion, MinorVersion
        .long 0, 0, 0                   // GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout
        .quad 0, 0                      // DeCommitFreeBlockThreshold, DeCommitTotalFreeThreshold
        .quad 0, 0, 0, 0                // LockPrefixTable, MaximumAllocationSize, VirtualMemoryThreshold, ProcessAffinityMask
        .long 0                         // ProcessHeapFlags
        .short 0, 0                     // CSDVersion, DependentLoadFlags
        .quad 0                         // EditList
        .quad 0                         // SecurityCookie: this C runtime keeps no /GS cookie
        .quad 0, 0                      // SEHandlerTable, SEHandlerCount: x86 only
        .quad __guard_check_icall_fptr  // GuardCFCheckFunctionPointer
        .quad __guard_dispatch_icall_fptr  // GuardCFDispatchFunctionPointer
        .quad __guard_fids_table        // GuardCFFunctionTable
        .quad __guard_fids_count        // GuardCFFunctionCount
        .long __guard_flags             // GuardFlags
        .short 0, 0                     // CodeIntegrity: Flags, Catalog
        .long 0, 0                      // CodeIntegrity: CatalogOffset, Reserved
        .quad __guard_iat_table         // GuardAddressTakenIatEntryTable
        .quad __guard_iat_count         // GuardAddressTakenIatEntryCount
        .quad __guard_longjmp_table     // GuardLongJumpTargetTable
        .quad __guard_longjmp_count     // GuardLongJumpTargetCount
        .quad 0, 0                      // DynamicValueRelocTable, CHPEMetadataPointer
        .quad 0, 0                      // GuardRFFailureRoutine, GuardRFFailureRoutineFunctionPointer
        .long 0                         // DynamicValueRelocTableOffset
        .short 0, 0                     // DynamicValueRelocTableSection, Reserved2
        .quad 0                         // GuardRFVerifyStackPointerFunctionPointer
        .long 0, 0                      // HotPatchTableOffset, Reserved3
        .quad 0, 0                      // EnclaveConfigurationPointer, VolatileMetadataPointer
        .quad __guard_eh_cont_table     // GuardEHContinuationTable
        .quad __guard_eh_cont_count     // GuardEHContinuationCount
