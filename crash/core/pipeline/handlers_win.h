#pragma once
// The program's handlers: exception handlers (per phase), action handlers and hidden-
// exception handlers, each in a plain and a method form, each with its wish to run on the
// main thread. FireHandlerEvent runs them for one event of a report: on the calling thread
// first, then, when nothing handled the event and a handler wants the main thread, on the
// main thread through its message window (asked first whether it answers within 1500 ms);
// then, for the user's actions, the assistant the settings name. A handler's failure is
// swallowed: it never reaches the program.

#include "crash/core/pipeline/exception_report_interfaces.h"

#include <windows.h>

#include <optional>

namespace crash {

using TExceptEvent = void (*)(IExceptionReport* report, bool& handled);
struct TExceptEventOO
{
    void* Self = nullptr;
    void (*Method)(void* self, IExceptionReport* report, bool& handled) = nullptr;
};
using TExceptActionEvent = void (*)(TExceptAction action, IExceptionReport* report, bool& handled);
struct TExceptActionEventOO
{
    void* Self = nullptr;
    void (*Method)(void* self, TExceptAction action, IExceptionReport* report, bool& handled) = nullptr;
};

enum THandlerEvent : uint8_t
{
    heException,
    heAction,
    heHidden
};

// Registration appends; unregistering removes the first entry of that handler.
void RegisterExceptionHandler(TExceptEvent handler, TSyncType sync, TExceptPhase phase);
void RegisterExceptionHandler(TExceptEventOO handler, TSyncType sync, TExceptPhase phase);
void UnregisterExceptionHandler(TExceptEvent handler);
void UnregisterExceptionHandler(TExceptEventOO handler);
void RegisterActionHandler(TExceptActionEvent handler, TSyncType sync);
void RegisterActionHandler(TExceptActionEventOO handler, TSyncType sync);
void UnregisterActionHandler(TExceptActionEvent handler);
void UnregisterActionHandler(TExceptActionEventOO handler);
// While hidden-exception handlers are registered, exceptions that the program's own catch
// blocks handle are dispatched as hidden.
void RegisterHiddenExceptionHandler(TExceptEvent handler, TSyncType sync);
void RegisterHiddenExceptionHandler(TExceptEventOO handler, TSyncType sync);
void UnregisterHiddenExceptionHandler(TExceptEvent handler);
void UnregisterHiddenExceptionHandler(TExceptEventOO handler);

// Whether exception handlers for `phase` are registered.
bool ExceptionHandlersExist(TExceptPhase phase);

// Fires one event (for action events `action`) for `report`; `parent` is the window the
// user's action came from (for the assistants). The exception handlers of `phase` run (by
// default those of the report's phase).
void FireHandlerEvent(HWND parent, THandlerEvent event, TExceptAction action, bool& handled,
                      IExceptionReport& report, std::optional<TExceptPhase> phase = std::nullopt);

// The main thread's part: its message window answers the synchronized calls (at start-up, on
// the main thread); and its end.
void StartHandlerSynchronization();
void StopHandlerSynchronization();

} // namespace crash
