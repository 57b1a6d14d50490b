#include "crash/core/intercept/restart_handshake_win.h"

#include "base/hex.h"
#include "base/win_handle.h"

#include <cstring>
#include <string>

namespace crash {
namespace {

struct TRestartBlock
{
    DWORD PreviousProcess;
    uint32_t Mapping; // the block's handle, valid in the new process
    uint8_t Ring[80];
};
static_assert(sizeof(TRestartBlock) == 88, "the restarted process reads the block in this layout");

std::string BlockName(DWORD processId)
{
    return "VexcatchRestart" + base::HexText(processId);
}

} // namespace

bool HandOverRestart(HANDLE newProcess, DWORD newProcessId, const TExceptionRing& ring)
{
    const base::KernelHandle mapping(::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                          sizeof(TRestartBlock),
                                                          BlockName(newProcessId).c_str()));
    if (!mapping)
        return false;
    const base::MappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(TRestartBlock)));
    if (!view)
        return false;
    HANDLE theirs = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), mapping.Get(), newProcess, &theirs, 0, FALSE,
                           DUPLICATE_SAME_ACCESS))
        return false;
    auto* block = static_cast<TRestartBlock*>(view.Get());
    block->PreviousProcess = ::GetCurrentProcessId();
    block->Mapping = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(theirs));
    std::memcpy(block->Ring, ring.data(), ring.size());
    return true;
}

std::optional<TExceptionRing> TakeOverRestart(DWORD waitMs)
{
    const base::KernelHandle mapping(
        ::OpenFileMappingA(FILE_MAP_READ, FALSE, BlockName(::GetCurrentProcessId()).c_str()));
    if (!mapping)
        return std::nullopt;
    const base::MappedView view(::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(TRestartBlock)));
    if (!view)
        return std::nullopt;
    TRestartBlock block;
    std::memcpy(&block, view.Get(), sizeof block);
    if (const base::KernelHandle previous(::OpenProcess(SYNCHRONIZE, FALSE, block.PreviousProcess)); previous)
        ::WaitForSingleObject(previous.Get(), waitMs);
    // The handle the old process gave this one: it kept the block alive until now.
    const base::KernelHandle given(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(block.Mapping)));
    TExceptionRing ring;
    std::memcpy(ring.data(), block.Ring, ring.size());
    return ring;
}

} // namespace crash
