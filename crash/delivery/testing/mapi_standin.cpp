// A mail client for the tests, as mapi32.dll beside the test program: MAPISendMail writes every
// argument it was given to "mapi32.log" beside it (a line each, UTF-8 of the 8-bit texts as
// they came) and answers with the number in "mapi32.answer" there (0, delivered, when there is
// none).

#include <windows.h>

#include <mapi.h>

#include <fstream>
#include <string>

namespace {

std::wstring Beside(const wchar_t* name)
{
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&Beside), &self);
    wchar_t path[MAX_PATH] = L"";
    ::GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + name;
}

std::string Text(const char* text)
{
    return text ? text : "(null)";
}

} // namespace

extern "C" ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags,
                                     ULONG reserved)
{
    std::ofstream log(Beside(L"mapi32.log").c_str(), std::ios::binary | std::ios::trunc);
    log << "session " << session << "\nwindow " << uiParam << "\nflags " << flags << "\nreserved " << reserved
        << "\nsubject " << Text(message->lpszSubject) << "\nbody " << Text(message->lpszNoteText) << "\n";
    for (ULONG k = 0; k < message->nRecipCount; ++k) {
        const MapiRecipDesc& to = message->lpRecips[k];
        log << "recipient " << to.ulRecipClass << " " << Text(to.lpszName) << " | " << Text(to.lpszAddress)
            << "\n";
    }
    for (ULONG k = 0; k < message->nFileCount; ++k) {
        const MapiFileDesc& file = message->lpFiles[k];
        log << "file " << static_cast<LONG>(file.nPosition) << " " << Text(file.lpszPathName) << " | "
            << Text(file.lpszFileName) << "\n";
    }
    ULONG answer = 0;
    std::ifstream(Beside(L"mapi32.answer").c_str()) >> answer;
    return answer;
}
