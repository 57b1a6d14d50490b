#pragma once
// The times of the process's ten most recent exceptions, newest first, each in whole seconds
// since 1601 (UTC), and the rule that AutoRestart and AutoClose apply to them: 0 never, 1
// always, a larger N only when all ten times are set and none is more than N seconds old
// (the program failed ten times within N seconds). The ring travels into a restarted process
// as its 80 bytes. Platform-free.

#include <array>
#include <cstddef>
#include <cstdint>

namespace crash {

class TRecentExceptions
{
public:
    static constexpr size_t Count = 10;
    using TBytes = std::array<uint8_t, 8 * Count>;

    // A new exception at `now`: the ring moves by one, `now` in front.
    void Add(uint64_t now) noexcept;
    // Whether the AutoRestart or AutoClose value `setting` says so at `now`.
    bool Says(uint32_t setting, uint64_t now) const noexcept;

    TBytes Bytes() const noexcept;
    static TRecentExceptions FromBytes(const TBytes& bytes) noexcept;
    const std::array<uint64_t, Count>& Times() const noexcept { return FTimes; }

private:
    std::array<uint64_t, Count> FTimes{};
};

} // namespace crash
