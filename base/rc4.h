#pragma once
// RC4's key stream over bytes: enciphering and deciphering are the same operation. Used to
// scramble stored passwords and the debug-information container; it is no protection
// against anyone who has the program.

#include <cstdint>
#include <span>
#include <string_view>

namespace base {

// XORs `bytes` with the key stream of `key`; an empty key leaves them as they are.
void Rc4(std::span<uint8_t> bytes, std::string_view key);

} // namespace base
