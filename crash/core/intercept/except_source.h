#pragma once
// Where a caught exception came from (the source tag of DispatchException) and what kind of
// report it asks for. The numbers are stored in hand-off records and reports: keep them.

#include <cstdint>

namespace crash {

enum TExceptSource : uint8_t
{
    esManual,
    esAntiFreezeCheck,
    esBcbAbnormalProgramTermination,
    esSysUtilsShowException,
    esApplicationShowException,
    esApplicationHandleException,
    esCGI,
    esISAPI,
    esHttpExtension,
    esIntraweb,
    esTThreadSynchronize,
    esRuntimeError,
    esInitializePackage,
    esExceptProc,
    esSystemExceptionHandler,
    esHidden,
    esThreadFrame,
    esTThreadExecute,
    esUnhandledFilter,
};

enum TExceptType : uint8_t
{
    etNormal,
    etFrozen,
    etHidden,
};

} // namespace crash
