#include "crash/core/intercept/thread_registry_win.h"

#include "base/hex.h"
#include "base/win_handle.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace crash {
namespace {

// One thread's entry (28 bytes, on the process's local heap, which every module shares).
struct TNode
{
    DWORD ThreadId;
    char* Name; // packed: a length byte and that many bytes, or null
    TNode* Next;
    char* ClassName; // packed, or null
    uint32_t CreatorAddress;
    DWORD CreatorThreadId;
    HANDLE Thread; // with the rights to wait for the thread's end, or null
};
static_assert(sizeof(TNode) == 28, "the modules of the process share the entries");

// The shared block (20 bytes).
struct TBlock
{
    HANDLE Mutex;     // the registry's first mutex (see ThreadRegistryMutex)
    HANDLE ListMutex; // guards the list
    TNode* Head;      // the newest entry first
    LONG References;  // the modules attached
    HANDLE Mapping;   // the creating module's handle of the shared memory
};
static_assert(sizeof(TBlock) == 20, "the modules of the process share the block");

// This module's attachment. Plain values, released by DetachThreadRegistry only: the
// shutdown may run after the program's global objects are gone.
HANDLE OwnMapping = nullptr; // this module's handle, unless it created the block
TBlock* Block = nullptr;     // this module's view of the block
HANDLE ListMutex = nullptr;  // the block's list mutex, kept here: the view may go first
DWORD MainThread = 0;

char* Packed(const char* text)
{
    const size_t length = std::min<size_t>(std::strlen(text), 255);
    auto* packed = static_cast<char*>(::LocalAlloc(LMEM_FIXED, length + 1));
    if (packed) {
        packed[0] = static_cast<char>(length);
        std::memcpy(packed + 1, text, length);
    }
    return packed;
}

std::string Unpacked(const char* packed)
{
    return packed ? std::string(packed + 1, static_cast<uint8_t>(packed[0])) : std::string();
}

void Replace(char*& field, const char* text)
{
    if (!text)
        return;
    if (field)
        ::LocalFree(field);
    field = Packed(text);
}

void Free(TNode* node)
{
    if (node->Name)
        ::LocalFree(node->Name);
    if (node->ClassName)
        ::LocalFree(node->ClassName);
    if (node->Thread)
        ::CloseHandle(node->Thread);
    ::LocalFree(node);
}

HANDLE WaitRights(HANDLE thread)
{
    HANDLE copy = nullptr;
    if (thread && !::DuplicateHandle(::GetCurrentProcess(), thread, ::GetCurrentProcess(), &copy,
                                     SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, 0))
        copy = nullptr;
    return copy;
}

// Holds the list mutex for a scope; Held() is false when it could not be had in time (or
// the registry is gone: its handle no longer waits).
class TListLock
{
public:
    explicit TListLock(DWORD waitMs = RegistryWaitMs)
    {
        const DWORD result = ListMutex ? ::WaitForSingleObject(ListMutex, waitMs) : WAIT_FAILED;
        FHeld = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        if (FHeld && !Block) { // detached meanwhile
            ::ReleaseMutex(ListMutex);
            FHeld = false;
        }
    }
    ~TListLock()
    {
        if (FHeld)
            ::ReleaseMutex(ListMutex);
    }
    TListLock(const TListLock&) = delete;
    TListLock& operator=(const TListLock&) = delete;
    bool Held() const { return FHeld; }

private:
    bool FHeld = false;
};

// Unlinks and frees the entries of threads that have ended.
void Purge()
{
    for (TNode** link = &Block->Head; *link;) {
        TNode* node = *link;
        if (node->Thread && ::WaitForSingleObject(node->Thread, 0) == WAIT_OBJECT_0) {
            *link = node->Next;
            Free(node);
        } else {
            link = &node->Next;
        }
    }
}

TNode** Find(DWORD threadId)
{
    TNode** link = &Block->Head;
    while (*link && (*link)->ThreadId != threadId)
        link = &(*link)->Next;
    return link;
}

} // namespace

TRegistryAttach AttachThreadRegistry()
{
    if (Block)
        return TRegistryAttach::Attached;
    const std::string name = "VexcatchThreadNameBuf" + base::HexText(::GetCurrentProcessId());
    base::KernelHandle mapping(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(TBlock), name.c_str()));
    if (!mapping)
        return TRegistryAttach::CannotOpen;
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    base::MappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(TBlock)));
    if (!view)
        return TRegistryAttach::CannotMap;
    auto* block = static_cast<TBlock*>(view.Get());
    if (created) {
        block->Mutex = ::CreateMutexW(nullptr, FALSE, nullptr);
        block->ListMutex = ::CreateMutexW(nullptr, FALSE, nullptr);
        block->Mapping = mapping.Release(); // the block's now: the last module closes it
    } else {
        OwnMapping = mapping.Release();
    }
    ::InterlockedIncrement(&block->References);
    view.Release();
    ListMutex = block->ListMutex;
    Block = block;
    if (created) {
        MainThread = FirstThreadOfProcess();
        if (!MainThread)
            MainThread = ::GetCurrentThreadId();
        const base::KernelHandle main(
            ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, MainThread));
        RegisterThreadInfo(MainThread, main.Get(), "main thread", 0, 0, nullptr);
    } else {
        const TListLock lock;
        for (const TNode* node = Block->Head; lock.Held() && node; node = node->Next)
            MainThread = node->ThreadId; // the oldest entry is the last
    }
    return TRegistryAttach::Attached;
}

void DetachThreadRegistry()
{
    if (!Block)
        return;
    bool last = false;
    {
        // Wrapped threads may still be ending: they find the registry gone.
        const TListLock lock;
        last = ::InterlockedDecrement(&Block->References) == 0;
        if (last) {
            for (TNode* node = Block->Head; node;) {
                TNode* next = node->Next;
                Free(node);
                node = next;
            }
            Block->Head = nullptr;
            ::CloseHandle(Block->Mutex);
            ::CloseHandle(Block->Mapping);
        }
        ::UnmapViewOfFile(std::exchange(Block, nullptr));
    }
    if (last)
        ::CloseHandle(ListMutex);
    ListMutex = nullptr;
    if (OwnMapping)
        ::CloseHandle(std::exchange(OwnMapping, nullptr));
    MainThread = 0;
}

void RegisterThreadInfo(DWORD threadId, HANDLE thread, const char* name, DWORD creatorThreadId,
                        uint32_t creatorAddress, const char* className)
{
    const TListLock lock;
    if (!lock.Held())
        return;
    Purge();
    TNode** link = Find(threadId);
    if (!thread && !name && !creatorThreadId && !creatorAddress && !className) {
        if (TNode* node = *link) {
            *link = node->Next;
            Free(node);
        }
        return;
    }
    TNode* node = *link;
    if (!node) {
        node = static_cast<TNode*>(::LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(TNode)));
        if (!node)
            return;
        node->ThreadId = threadId;
        node->Next = Block->Head;
        Block->Head = node;
        // Without a handle the entry could outlive its thread and name another with its id.
        if (!thread)
            node->Thread = ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, threadId);
    }
    if (HANDLE copy = WaitRights(thread)) {
        if (node->Thread)
            ::CloseHandle(node->Thread);
        node->Thread = copy;
    }
    Replace(node->Name, name);
    Replace(node->ClassName, className);
    if (creatorThreadId)
        node->CreatorThreadId = creatorThreadId;
    if (creatorAddress)
        node->CreatorAddress = creatorAddress;
}

void UnregisterThread(DWORD threadId)
{
    RegisterThreadInfo(threadId, nullptr, nullptr, 0, 0, nullptr);
}

std::optional<TThreadInfo> LookupThreadInfo(DWORD threadId, DWORD waitMs)
{
    const TListLock lock(waitMs);
    if (!lock.Held())
        return std::nullopt;
    const TNode* node = *Find(threadId);
    if (!node)
        return std::nullopt;
    return TThreadInfo{node->ThreadId, Unpacked(node->Name), Unpacked(node->ClassName), node->CreatorAddress,
                       node->CreatorThreadId};
}

DWORD FirstThreadOfProcess()
{
    // The calling thread, when it was created with the process (within 10 ms: the start-up
    // runs on the main thread): asking the system for all threads is slow (10 ms under Wine).
    FILETIME process, thread, unused1, unused2, unused3;
    if (::GetProcessTimes(::GetCurrentProcess(), &process, &unused1, &unused2, &unused3) &&
        ::GetThreadTimes(::GetCurrentThread(), &thread, &unused1, &unused2, &unused3)) {
        const auto ticks = [](const FILETIME& t) {
            return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
        };
        if (ticks(thread) <= ticks(process) + 100000)
            return ::GetCurrentThreadId();
    }
    const base::KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Thread32First(snapshot.Get(), &entry); more;
         more = ::Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == ::GetCurrentProcessId())
            return entry.th32ThreadID;
    return 0;
}

DWORD RegistryMainThreadId()
{
    return MainThread;
}

HANDLE ThreadRegistryMutex()
{
    return Block ? Block->Mutex : nullptr;
}

} // namespace crash
