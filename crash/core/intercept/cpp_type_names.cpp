#include "crash/core/intercept/cpp_type_names.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>

namespace crash {

std::string ReadableTypeName(const std::type_info* type)
{
    if (!type)
        return {};
    int status = 0;
    char* readable = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    std::string name = readable ? readable : type->name();
    std::free(readable);
    return name;
}

std::vector<std::string> CppClassChain(const std::type_info* type)
{
    std::vector<const std::type_info*> queue;
    if (type)
        queue.push_back(type);
    constexpr size_t Most = 64;
    for (size_t next = 0; next < queue.size() && queue.size() < Most; ++next) {
        const auto add = [&](const std::type_info* base) {
            if (base && std::find(queue.begin(), queue.end(), base) == queue.end() && queue.size() < Most)
                queue.push_back(base);
        };
        if (const auto* single = dynamic_cast<const abi::__si_class_type_info*>(queue[next]))
            add(single->__base_type);
        else if (const auto* multiple = dynamic_cast<const abi::__vmi_class_type_info*>(queue[next]))
            for (unsigned k = 0; k < multiple->__base_count; ++k)
                add(multiple->__base_info[k].__base_type);
    }
    std::vector<std::string> names;
    names.reserve(queue.size());
    for (const std::type_info* t : queue)
        names.push_back(ReadableTypeName(t));
    return names;
}

} // namespace crash
