#pragma once
// The names of C++ types as a report shows them ("int", "std::runtime_error"), and the chain
// of classes a thrown type belongs to: the type itself, then its base classes, nearest
// first, as far as the runtime's type information tells (the C++ ABI's class type
// information; a type without it, such as int, has no bases). Platform-free.

#include <string>
#include <typeinfo>
#include <vector>

namespace crash {

// The readable (demangled) name of a type; empty for none.
std::string ReadableTypeName(const std::type_info* type);

// The type's readable name, then those of its bases breadth-first (each once; at most 64).
std::vector<std::string> CppClassChain(const std::type_info* type);

} // namespace crash
