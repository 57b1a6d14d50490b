#pragma once
// The code of this process as the function analysis reads it: every read goes through the
// guarded reader (a read that would fault fails instead), and a module's code range comes
// from its PE header.

#include "base/guarded_reader.h"
#include "crash/core/x86/x86_function.h"

#include <optional>

namespace crash {

class TProcessCodeMemory : public ICodeMemory
{
public:
    // Reads through `session` when given (one snapshot of the address space for a trace).
    explicit TProcessCodeMemory(const base::TGuardedReadSession* session = nullptr) : FSession(session) {}
    bool Read(uint32_t address, uint8_t* out, size_t size) override;
    std::optional<std::pair<uint32_t, uint32_t>> CodeRange(uint32_t address) override;
    // The end (exclusive) of the module image that contains `address`.
    std::optional<uint32_t> ImageEnd(uint32_t address);

private:
    const base::TGuardedReadSession* FSession;
};

} // namespace crash
