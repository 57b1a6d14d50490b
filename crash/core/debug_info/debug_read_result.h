#pragma once
// What a reader of a debug-information format answers: whether it read the data, and if
// not, why it refused.

#include <cstdint>

namespace crash {

enum class TDebugStatus : uint8_t
{
    Ok,
    WrongSignature, // the data is not of this format
    WrongVersion,   // of this format, in a version this reader does not know
    WrongSize,      // the size the data gives for itself is not its size
    BadChecksum,
    Truncated, // a table or record runs past the end of the data
    Damaged,   // a count, offset or compressed stream that cannot be right
    Empty,     // readable, but describes no code
};

struct TDebugRead
{
    TDebugStatus Status = TDebugStatus::Ok;

    explicit operator bool() const noexcept { return Status == TDebugStatus::Ok; }
};

} // namespace crash
