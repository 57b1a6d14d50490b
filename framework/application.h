#pragma once
// The application object: title, main form, the message loop and the handling of every
// exception that reaches a framework boundary.

#include "framework/form.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace framework {

using TExceptionEvent = std::function<void(TObject* Sender, std::exception_ptr E)>;

class TApplication : public TComponent
{
public:
    TApplication();
    ~TApplication() override;

    void Initialize();
    const std::wstring& Title() const noexcept { return FTitle; }
    void SetTitle(const std::wstring& title) { FTitle = title; }
    // The main form owns its task-bar button (no hidden application window shows there).
    bool MainFormOnTaskBar = true;

    // Creates a form owned by the application; the first one becomes the main form. The
    // form's windows are created before its OnCreate runs.
    template <class T> T* CreateForm()
    {
        auto* form = new T(this);
        AddForm(form);
        return form;
    }
    TForm* MainForm() const noexcept { return FMainForm; }

    // Shows the main form and dispatches messages until Terminate or the main form closes.
    void Run();
    // Dispatches every message that is waiting, then returns.
    void ProcessMessages();
    // Dispatches one message; false when the queue was empty.
    bool HandleMessage();
    void Terminate();
    bool Terminated() const noexcept { return FTerminated; }

    // The default handler of every exception caught at a framework boundary: OnException
    // when assigned, otherwise ShowException.
    TExceptionEvent OnException;
    virtual void HandleException(TObject* Sender, std::exception_ptr E);
    // Shows the exception's message in a warning box.
    virtual void ShowException(std::exception_ptr E);
    // A message box owned by the main form (when it has a window); returns the button chosen.
    int MessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);

private:
    void AddForm(TForm* form);
    bool ProcessMessage(MSG& msg);

    std::wstring FTitle;
    TForm* FMainForm = nullptr;
    bool FTerminated = false;
};

// The program's application object (null before it is made and after it is gone).
TApplication* Application();

// Hands an exception caught at a framework boundary to the application object; it never
// throws, also when the handler itself fails.
void HandleException(TObject* Sender, std::exception_ptr E) noexcept;

} // namespace framework
