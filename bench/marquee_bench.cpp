// Benchmark of the marquee: the download window's 445 x 417 marquee repainted 1000 times
// through its window's paint path (off-screen bitmap, GDI+ fill and bullets, copy to the
// screen), one animation step between paints, against a plain panel of the same size
// painted the same way. Prints microseconds per paint, the ratio and the share of one core
// the animation takes at its 10 ms tick. Never fails on time.

#include "controls/marquee/marquee.h"
#include "framework/form.h"
#include "framework/panel.h"

#include <windows.h>

#include <cstdio>

namespace {

double Seconds()
{
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Microseconds per synchronous repaint of `control`'s window; `between` runs before each.
template <class F> double PaintMicroseconds(framework::TWinControl& control, int paints, F between)
{
    HWND wnd = control.Handle();
    const double start = Seconds();
    for (int i = 0; i < paints; ++i) {
        between();
        ::InvalidateRect(wnd, nullptr, FALSE);
        ::UpdateWindow(wnd);
    }
    return (Seconds() - start) * 1e6 / paints;
}

} // namespace

int main()
{
    constexpr int Paints = 1000;
    framework::TForm form(nullptr);
    form.SetBounds(0, 0, 460, 450);

    auto* panel = new framework::TPanel(&form);
    panel->SetParent(&form);
    panel->SetBounds(0, 0, 445, 417);
    panel->SetColor(framework::clWhite);
    panel->SetBevelOuter(framework::bvNone);
    panel->SetShowCaption(false);

    auto* m = new marquee::TMarquee(&form);
    m->SetParent(panel);
    m->SetAlign(framework::alClient);
    m->SetAnimate(false); // the benchmark steps the row itself
    m->Fill().SetColor(framework::clWhite);
    m->Fill().SetGradientType(marquee::gtSolid);
    m->Fill().SetBorderColor(framework::clWhite);
    m->Bullets().SetColor(framework::clBlack);
    form.Show();
    ::UpdateWindow(form.Handle());

    m->Hide();
    const double plain = PaintMicroseconds(*panel, Paints, [] {});
    m->Show();
    const double marquee = PaintMicroseconds(*m, Paints, [&] { m->AnimationTick(); });

    std::printf("%-26s %10s %8s\n", "paint of 445 x 417", "us/paint", "ratio");
    std::printf("%-26s %10.1f %8.2f\n", "plain panel (baseline)", plain, 1.0);
    std::printf("%-26s %10.1f %8.2f\n", "marquee", marquee, marquee / plain);
    std::printf("share of one core at one paint per 10 ms tick: %.1f %%\n", marquee / 10000 * 100);
    return 0;
}
