#pragma once
// The message of an operating-system exception that has no exception object of the
// runtime, in this program's runtime language (German), as the object of an OS exception carries it.

#include <cstdint>
#include <optional>
#include <string>

namespace crash {

struct TOsException
{
    uint32_t Code = 0;
    uint32_t Address = 0;
    // The first two exception parameters: for an access violation whether it wrote (non-zero)
    // and the address it accessed.
    uint32_t Parameters[2] = {};
    // The file name (without path) of the module whose committed, accessible image holds
    // the exception address; none outside any module.
    std::optional<std::u16string> Module;
};

std::u16string OsExceptionMessage(const TOsException& e);

} // namespace crash
