#include "framework/guard.h"

#include "base/seh_frame.h"
#include "framework/exception.h"

#include <windows.h>

namespace framework {
namespace {

struct CppCall
{
    void (*Fn)(void*);
    void* Arg;
    std::exception_ptr Error;
};

void CallCatchingCpp(void* p)
{
    auto* call = static_cast<CppCall*>(p);
    try {
        call->Fn(call->Arg);
    } catch (...) {
        call->Error = std::current_exception();
    }
}

} // namespace

std::exception_ptr CallGuarded(void (*fn)(void*), void* arg) noexcept
{
    CppCall call{fn, arg, nullptr};
    EXCEPTION_RECORD record{};
    if (base::CallUnderSehFrame(&CallCatchingCpp, &call, record))
        return call.Error;
    try {
        return std::make_exception_ptr(EExternal(record));
    } catch (...) {
        return std::current_exception();
    }
}

} // namespace framework
