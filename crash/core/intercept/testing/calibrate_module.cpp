// A runtime package of the tests (a DLL named *.bpl) that carries a calibration resource:
// testing/calibrate_module.rc one made for a package, testing/calibrate_wrong.rc one made
// for an executable, which a package's calibration must ignore.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, void*)
{
    return TRUE;
}
