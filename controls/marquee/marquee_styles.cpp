#include "controls/marquee/marquee_styles.h"

namespace marquee {
namespace {

constexpr TFillColor Rgb(int r, int g, int b)
{
    return static_cast<TFillColor>(r | g << 8 | b << 16);
}
constexpr TFillColor None = ColorNone;

// Light styles run from a pale tone at the top to a deeper one; the "glass" styles add a
// mirrored lower half; the dark styles carry light bullets; the last two are for high
// contrast.
constexpr TMarqueeStyle Styles[] = {
    {"Classic", Rgb(255, 255, 255), Rgb(255, 255, 255), None, None, Rgb(192, 192, 192), Rgb(65, 105, 225),
     None},
    {"Silver", Rgb(240, 240, 240), Rgb(215, 215, 215), None, None, Rgb(160, 160, 160), Rgb(96, 96, 96), None},
    {"Blue glass", Rgb(227, 239, 255), Rgb(196, 221, 255), Rgb(173, 209, 255), Rgb(210, 230, 255),
     Rgb(101, 147, 207), Rgb(21, 66, 139), None},
    {"Olive", Rgb(243, 246, 231), Rgb(209, 222, 173), None, None, Rgb(143, 165, 100), Rgb(85, 107, 47), None},
    {"Black", Rgb(83, 83, 83), Rgb(40, 40, 40), None, None, Rgb(20, 20, 20), Rgb(255, 200, 60), None},
    {"Aqua", Rgb(232, 250, 252), Rgb(160, 225, 235), None, None, Rgb(70, 160, 180), Rgb(0, 120, 140), None},
    {"Green", Rgb(235, 248, 235), Rgb(170, 220, 170), None, None, Rgb(80, 150, 80), Rgb(30, 110, 30), None},
    {"Orange", Rgb(255, 245, 228), Rgb(255, 205, 130), None, None, Rgb(220, 140, 40), Rgb(200, 90, 0), None},
    {"Red", Rgb(255, 236, 236), Rgb(245, 170, 170), None, None, Rgb(190, 70, 70), Rgb(170, 20, 20), None},
    {"Violet", Rgb(245, 238, 255), Rgb(205, 180, 240), None, None, Rgb(130, 90, 190), Rgb(90, 40, 150), None},
    {"Dark teal", Rgb(0, 90, 100), Rgb(0, 60, 70), None, None, Rgb(0, 40, 50), Rgb(120, 230, 230), None},
    {"Night", Rgb(30, 40, 70), Rgb(15, 20, 40), None, None, Rgb(10, 10, 25), Rgb(120, 170, 255), None},
    {"Sand", Rgb(250, 244, 225), Rgb(230, 215, 170), None, None, Rgb(180, 160, 110), Rgb(140, 110, 50), None},
    {"Rose", Rgb(255, 240, 245), Rgb(240, 190, 210), None, None, Rgb(200, 120, 150), Rgb(180, 50, 100), None},
    {"Steel glass", Rgb(236, 240, 245), Rgb(214, 222, 232), Rgb(195, 206, 220), Rgb(225, 232, 240),
     Rgb(120, 135, 155), Rgb(60, 80, 110), None},
    {"Lime", Rgb(245, 255, 225), Rgb(210, 240, 150), None, None, Rgb(140, 190, 60), Rgb(90, 150, 0), None},
    {"Graphite", Rgb(120, 120, 120), Rgb(80, 80, 80), None, None, Rgb(50, 50, 50), Rgb(230, 230, 230), None},
    {"Sky", Rgb(240, 248, 255), Rgb(200, 228, 255), None, None, Rgb(120, 170, 230), Rgb(0, 120, 215), None},
    {"Amber", Rgb(255, 250, 230), Rgb(255, 225, 140), None, None, Rgb(215, 170, 50), Rgb(160, 110, 0), None},
    {"Mint glass", Rgb(236, 252, 245), Rgb(205, 242, 225), Rgb(180, 235, 210), Rgb(220, 248, 235),
     Rgb(90, 175, 140), Rgb(20, 130, 90), None},
    {"Plum", Rgb(70, 30, 70), Rgb(40, 15, 40), None, None, Rgb(25, 5, 25), Rgb(240, 170, 240), None},
    {"Ocean", Rgb(0, 70, 140), Rgb(0, 40, 90), None, None, Rgb(0, 25, 60), Rgb(255, 255, 255), None},
    {"Paper", Rgb(255, 255, 255), Rgb(255, 255, 255), None, None, Rgb(0, 0, 0), Rgb(0, 0, 0), Rgb(0, 0, 0)},
    {"Ink", Rgb(0, 0, 0), Rgb(0, 0, 0), None, None, Rgb(255, 255, 255), Rgb(255, 255, 255),
     Rgb(255, 255, 255)},
};
static_assert(sizeof Styles / sizeof Styles[0] == 24);

} // namespace

const TMarqueeStyle* MarqueeStyle(int number)
{
    if (number < 0 || number >= static_cast<int>(sizeof Styles / sizeof Styles[0]))
        return nullptr;
    return &Styles[number];
}

} // namespace marquee
