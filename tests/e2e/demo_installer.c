/* The demo installer that the download serves: it records that it ran by writing its own
   path into "<its path>.ran" (written under another name and renamed, so that the file
   appears complete) and, unless LUMIGATE_DEMO_QUIET is set, says so in a message box. Built without the C runtime so that the whole program fits in about 2 KB, which the
   tests need: the download window starts only files larger than 2200 bytes, and the tests
   pad this program to exact sizes around that limit. */
#include <windows.h>

void __stdcall Start(void)
{
    WCHAR path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    WCHAR marker[MAX_PATH + 8], partial[MAX_PATH + 8];
    DWORD i;
    for (i = 0; i < length; ++i)
        marker[i] = partial[i] = path[i];
    marker[length] = partial[length] = L'.';
    marker[length + 1] = partial[length + 1] = L'r';
    marker[length + 2] = partial[length + 2] = L'a';
    marker[length + 3] = L'n';
    partial[length + 3] = L'w';
    marker[length + 4] = partial[length + 4] = 0;
    HANDLE file = CreateFileW(partial, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, path, length * sizeof(WCHAR), &written, NULL);
        CloseHandle(file);
        MoveFileExW(partial, marker, MOVEFILE_REPLACE_EXISTING);
    }
    WCHAR quiet[4];
    if (!GetEnvironmentVariableW(L"LUMIGATE_DEMO_QUIET", quiet, 4))
        MessageBoxW(NULL, L"The Orvella demo installer has started.\n\nIn the real product the full version would now be installed.",
                    L"Orvella demo installer", MB_OK | MB_ICONINFORMATION);
    ExitProcess(0);
}
