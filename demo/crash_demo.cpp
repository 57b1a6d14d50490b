// The crash demo for the maker's developers: a window on the same framework and with the same
// crash reporter as lumigate.exe, with one button per crash kind and thread kind. Each button
// fails in its own function, so that the report names it with its source line:
//     access violation, C++ exception, division by zero, operating-system exception
//     on the main thread, on a framework thread, on a thread of CreateThread.

#include "base/win_handle.h"
#include "crash/crash_reporter_win.h"
#include "framework/application.h"
#include "framework/button.h"
#include "framework/form.h"
#include "framework/label.h"
#include "framework/thread.h"

#include <windows.h>

#include <stdexcept>
#include <string>

__attribute__((init_priority(101))) crash::TCrashReporter Reporter;

namespace {

using namespace framework;

volatile uintptr_t Nowhere = 0x28; // an address no module or heap is at

[[gnu::noinline]] void AccessViolation()
{
    *reinterpret_cast<volatile int*>(Nowhere) = 1;
}

[[gnu::noinline]] void CppException()
{
    throw std::runtime_error("The demo threw a C++ exception");
}

volatile int Zero = 0;

[[gnu::noinline]] void DivisionByZero()
{
    volatile int quotient = 42 / Zero;
    (void)quotient;
}

[[gnu::noinline]] void OsException()
{
    ::RaiseException(0xE0001234, 0, 0, nullptr);
}

using TFailure = void (*)();

struct TKind
{
    const wchar_t* Name;
    TFailure Fail;
};

constexpr TKind Kinds[] = {{L"access violation", &AccessViolation},
                           {L"C++ exception", &CppException},
                           {L"division by zero", &DivisionByZero},
                           {L"OS exception", &OsException}};

class TFailingThread : public TThread
{
public:
    explicit TFailingThread(TFailure fail) : TThread(true), FFail(fail) { FreeOnTerminate = true; }

protected:
    void Execute() override { FFail(); }

private:
    TFailure FFail;
};

DWORD WINAPI PlainThread(void* fail)
{
    reinterpret_cast<TFailure>(fail)();
    return 0;
}

class TDemoForm : public TForm
{
public:
    explicit TDemoForm(TComponent* owner) : TForm(owner)
    {
        SetName(L"DemoForm");
        SetCaption(L"Vexcatch crash demo");
        SetBorderStyle(bsDialog);
        SetPosition(poScreenCenter);
        SetClientSize(560, 190);
        const wchar_t* threads[] = {L"main thread", L"framework thread", L"CreateThread"};
        for (int row = 0; row < 3; ++row) {
            auto* label = new TLabel(this);
            label->SetParent(this);
            label->SetBounds(12, 24 + row * 52, 120, 20);
            label->SetCaption(threads[row]);
            for (int column = 0; column < 4; ++column) {
                auto* button = new TButton(this);
                button->SetParent(this);
                button->SetBounds(132 + column * 104, 14 + row * 52, 98, 38);
                button->SetCaption(Kinds[column].Name);
                button->SetName(std::wstring(L"Fail") + std::to_wstring(row) + std::to_wstring(column));
                const TFailure fail = Kinds[column].Fail;
                button->OnClick = [fail, row](TObject*) { Fail(fail, row); };
            }
        }
    }

private:
    static void Fail(TFailure fail, int thread)
    {
        if (thread == 0) {
            fail();
        } else if (thread == 1) {
            (new TFailingThread(fail))->Start();
        } else {
            const base::KernelHandle started(
                ::CreateThread(nullptr, 0, &PlainThread, reinterpret_cast<void*>(fail), 0, nullptr));
        }
    }
};

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    TApplication application;
    application.Initialize();
    application.SetTitle(L"Vexcatch crash demo");
    application.CreateForm<TDemoForm>();
    application.Run();
    return 0;
}
