// A module for the debug-help tests: a few functions with line information and nothing
// else (no runtime, so that its DWARF is only what this file gives).

#include <windows.h>

extern "C" __declspec(dllexport) int SampleFirst(int a)
{
    return a * 3 + 1;
}

extern "C" __declspec(dllexport) int SampleSecond(int a, int b)
{
    int sum = 0;
    for (int k = a; k < b; ++k)
        sum += SampleFirst(k);
    return sum;
}

extern "C" BOOL WINAPI SampleEntry(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
