#pragma once
// The crash reporter's own exception classes. BaseException carries what the report shows
// beyond a std::exception: a help context, the inner exception it was raised for, and the
// raise-time state (TRaiseStackInfo), which the first throw of the object attaches and the
// destructor frees. Objects of other types get their raise-time state through a side table
// (raise_state_win.h).

#include "crash/core/intercept/raise_stack_info.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

namespace crash {

class BaseException : public std::exception
{
public:
    explicit BaseException(std::string message, int helpContext = 0)
        : FMessage(std::move(message)), FHelpContext(helpContext)
    {
    }
    BaseException(const BaseException& other);
    BaseException& operator=(const BaseException&) = delete;
    ~BaseException() override;

    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string message) { FMessage = std::move(message); }
    int HelpContext() const noexcept { return FHelpContext; }
    const std::exception_ptr& InnerException() const noexcept { return FInner; }
    TRaiseStackInfo* StackInfo() const noexcept { return FStackInfo; }
    // Attaches the raise-time state once; a later raise of the same object keeps the first.
    bool AttachStackInfo(TRaiseStackInfo* info) noexcept;

    // Throws `outer` with the exception being handled as its inner exception (the report
    // shows both). Outside a catch block it throws `outer` alone. Inlined, so that the raise
    // address is the caller's.
    template <class T> [[noreturn, gnu::always_inline]] static inline void RaiseOuter(T outer)
    {
        outer.FInner = std::current_exception();
        outer.FAcquireInner = true;
        throw outer;
    }

private:
    std::string FMessage;
    int FHelpContext = 0;
    std::exception_ptr FInner;
    TRaiseStackInfo* FStackInfo = nullptr;
    bool FAcquireInner = false;
};

// Silently ends an operation: never reported.
class EAbort : public BaseException
{
public:
    using BaseException::BaseException;
};

// An operating-system exception as an object: a copy of the record it was made from.
class EExternal : public BaseException
{
public:
    static constexpr size_t RecordSize = 80; // the 32-bit EXCEPTION_RECORD

    EExternal(std::string message, const void* osRecord) : BaseException(std::move(message))
    {
        if (osRecord)
            std::memcpy(FRecord.data(), osRecord, RecordSize);
    }
    const void* OsRecord() const noexcept { return FRecord.data(); } // an EXCEPTION_RECORD

private:
    std::array<uint8_t, RecordSize> FRecord{};
};

class EExternalException : public EExternal
{
public:
    using EExternal::EExternal;
};

// A C++Builder runtime's abnormal program termination.
class BcbTermination : public BaseException
{
public:
    using BaseException::BaseException;
};

// Frees a raise-time block and the prepared stack it points to (the process heap owns both).
void FreeRaiseStackInfo(TRaiseStackInfo* info) noexcept;

} // namespace crash
