// A library whose export "Stub" is only a jump through a cell to "Target", as the stubs of a
// system library that forward to another are.

extern "C" {

__declspec(dllexport) int Target()
{
    return 1;
}

__declspec(dllexport) int (*TargetCell)() = &Target;
}

// jmp dword ptr [_TargetCell] (0xFF 0x25 and the cell's address).
__asm__(".text\n"
        ".globl _Stub\n"
        "_Stub:\n"
        "    jmp *_TargetCell\n");
