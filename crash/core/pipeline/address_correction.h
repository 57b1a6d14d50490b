#pragma once
// The correction of an exception's address: when the function that contains it is known,
// an address that is neither directly after a call nor at the start of an instruction of one
// of the function's code areas, but would be 4 bytes further on, is moved there (an address
// taken from a raise frame can lie 4 bytes short of the return address it stands for).
// Platform-free: code is read through the code analysis's memory interface.

#include "crash/core/x86/x86_function.h"

#include <cstdint>

namespace crash {

uint32_t CorrectedExceptAddress(ICodeMemory& memory, uint32_t functionStart, uint32_t address);

} // namespace crash
