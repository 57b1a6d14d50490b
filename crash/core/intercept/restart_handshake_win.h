#pragma once
// The hand-shake between a process that restarts itself and the process it started: the
// old process leaves a named block ("VexcatchRestart" and the new process's id) holding its
// own id, the block's handle duplicated into the new process (which keeps the block alive
// after the old one ends) and the 80 bytes of the recent-exception ring. The new process
// finds the block at start-up, waits for the old one to end and takes the ring over.

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>

namespace crash {

using TExceptionRing = std::array<uint8_t, 80>;

// Leaves the block for `newProcess` (started suspended, resumed afterwards by the caller).
bool HandOverRestart(HANDLE newProcess, DWORD newProcessId, const TExceptionRing& ring);

// At start-up: when the block for this process exists, waits (at most `waitMs`) for the
// process that left it to end and returns its ring; nothing otherwise.
std::optional<TExceptionRing> TakeOverRestart(DWORD waitMs);

} // namespace crash
