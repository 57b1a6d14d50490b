#pragma once
// The integrity self-check of a module's file: the checksum that the linker wrote into the
// PE header (GNU ld and strip keep it current) against the file as it lies on disk now. A file damaged
// on its way to the user (a bad download, a failing disk) fails it, and the user is told to
// install the program again.

#include <windows.h>

namespace crash {

// False only when the file could be read, carries a checksum and does not match it: an
// unstamped file (checksum 0) or one that cannot be read counts as intact, since nothing
// can be said about it.
bool FileIsIntact(const wchar_t* path);
bool ModuleFileIsIntact(HMODULE module);

} // namespace crash
