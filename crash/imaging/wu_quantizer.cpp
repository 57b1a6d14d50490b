// Wu's optimal colour quantizer (greedy orthogonal bipartition of the colour cube by
// variance, Graphics Gems II) over 33 x 33 x 33 cells of 5 bits per channel.

#include "crash/imaging/pixel_buffer.h"

#include <array>
#include <memory>

namespace crash {
namespace {

constexpr int Side = 33;
constexpr int Cells = Side * Side * Side;

constexpr int Index(int r, int g, int b)
{
    return r * 1089 + g * 33 + b;
}

// The moments. Sums are 64-bit so that large screens cannot overflow them.
struct Moments
{
    std::vector<int64_t> Wt = std::vector<int64_t>(Cells), Mr = Wt, Mg = Wt, Mb = Wt;
    std::vector<double> M2 = std::vector<double>(Cells);
};

struct Box
{
    int R0, R1, G0, G1, B0, B1; // lower bounds exclusive, upper bounds inclusive
    int Vol;
};

enum Axis
{
    Red,
    Green,
    Blue
};

template <class T> T Volume(const Box& c, const std::vector<T>& m)
{
    return m[Index(c.R1, c.G1, c.B1)] - m[Index(c.R1, c.G1, c.B0)] - m[Index(c.R1, c.G0, c.B1)] +
           m[Index(c.R1, c.G0, c.B0)] - m[Index(c.R0, c.G1, c.B1)] + m[Index(c.R0, c.G1, c.B0)] +
           m[Index(c.R0, c.G0, c.B1)] - m[Index(c.R0, c.G0, c.B0)];
}

// The part of Volume that doesn't depend on the cut position along `dir`.
int64_t Bottom(const Box& c, Axis dir, const std::vector<int64_t>& m)
{
    switch (dir) {
    case Red:
        return -m[Index(c.R0, c.G1, c.B1)] + m[Index(c.R0, c.G1, c.B0)] + m[Index(c.R0, c.G0, c.B1)] -
               m[Index(c.R0, c.G0, c.B0)];
    case Green:
        return -m[Index(c.R1, c.G0, c.B1)] + m[Index(c.R1, c.G0, c.B0)] + m[Index(c.R0, c.G0, c.B1)] -
               m[Index(c.R0, c.G0, c.B0)];
    default:
        return -m[Index(c.R1, c.G1, c.B0)] + m[Index(c.R1, c.G0, c.B0)] + m[Index(c.R0, c.G1, c.B0)] -
               m[Index(c.R0, c.G0, c.B0)];
    }
}

// The rest of Volume with the cut at `pos`.
int64_t Top(const Box& c, Axis dir, int pos, const std::vector<int64_t>& m)
{
    switch (dir) {
    case Red:
        return m[Index(pos, c.G1, c.B1)] - m[Index(pos, c.G1, c.B0)] - m[Index(pos, c.G0, c.B1)] +
               m[Index(pos, c.G0, c.B0)];
    case Green:
        return m[Index(c.R1, pos, c.B1)] - m[Index(c.R1, pos, c.B0)] - m[Index(c.R0, pos, c.B1)] +
               m[Index(c.R0, pos, c.B0)];
    default:
        return m[Index(c.R1, c.G1, pos)] - m[Index(c.R1, c.G0, pos)] - m[Index(c.R0, c.G1, pos)] +
               m[Index(c.R0, c.G0, pos)];
    }
}

double Variance(const Box& c, const Moments& m)
{
    const double dr = static_cast<double>(Volume(c, m.Mr)), dg = static_cast<double>(Volume(c, m.Mg)),
                 db = static_cast<double>(Volume(c, m.Mb));
    const double xx = Volume(c, m.M2);
    return xx - (dr * dr + dg * dg + db * db) / static_cast<double>(Volume(c, m.Wt));
}

// The best cut of `c` along `dir` between first and last; cut stays -1 when no cut leaves
// pixels on both sides.
double Maximize(const Box& c, Axis dir, int first, int last, int& cut, int64_t wholeR, int64_t wholeG,
                int64_t wholeB, int64_t wholeW, const Moments& m)
{
    const int64_t baseR = Bottom(c, dir, m.Mr), baseG = Bottom(c, dir, m.Mg), baseB = Bottom(c, dir, m.Mb),
                  baseW = Bottom(c, dir, m.Wt);
    double best = 0.0;
    cut = -1;
    for (int i = first; i < last; ++i) {
        int64_t halfR = baseR + Top(c, dir, i, m.Mr), halfG = baseG + Top(c, dir, i, m.Mg),
                halfB = baseB + Top(c, dir, i, m.Mb), halfW = baseW + Top(c, dir, i, m.Wt);
        if (halfW == 0)
            continue;
        double temp = (static_cast<double>(halfR) * halfR + static_cast<double>(halfG) * halfG +
                       static_cast<double>(halfB) * halfB) /
                      static_cast<double>(halfW);
        halfR = wholeR - halfR;
        halfG = wholeG - halfG;
        halfB = wholeB - halfB;
        halfW = wholeW - halfW;
        if (halfW == 0)
            continue;
        temp += (static_cast<double>(halfR) * halfR + static_cast<double>(halfG) * halfG +
                 static_cast<double>(halfB) * halfB) /
                static_cast<double>(halfW);
        if (temp > best) {
            best = temp;
            cut = i;
        }
    }
    return best;
}

bool Cut(Box& set1, Box& set2, const Moments& m)
{
    const int64_t wholeR = Volume(set1, m.Mr), wholeG = Volume(set1, m.Mg), wholeB = Volume(set1, m.Mb),
                  wholeW = Volume(set1, m.Wt);
    int cutR, cutG, cutB;
    const double maxR = Maximize(set1, Red, set1.R0 + 1, set1.R1, cutR, wholeR, wholeG, wholeB, wholeW, m);
    const double maxG = Maximize(set1, Green, set1.G0 + 1, set1.G1, cutG, wholeR, wholeG, wholeB, wholeW, m);
    const double maxB = Maximize(set1, Blue, set1.B0 + 1, set1.B1, cutB, wholeR, wholeG, wholeB, wholeW, m);
    Axis dir;
    if (maxR >= maxG && maxR >= maxB) {
        dir = Red;
        if (cutR < 0)
            return false; // no cut of any axis gains anything
    } else if (maxG >= maxR && maxG >= maxB) {
        dir = Green;
    } else {
        dir = Blue;
    }
    set2.R1 = set1.R1;
    set2.G1 = set1.G1;
    set2.B1 = set1.B1;
    switch (dir) {
    case Red:
        set2.R0 = set1.R1 = cutR;
        set2.G0 = set1.G0;
        set2.B0 = set1.B0;
        break;
    case Green:
        set2.G0 = set1.G1 = cutG;
        set2.R0 = set1.R0;
        set2.B0 = set1.B0;
        break;
    default:
        set2.B0 = set1.B1 = cutB;
        set2.R0 = set1.R0;
        set2.G0 = set1.G0;
        break;
    }
    set1.Vol = (set1.R1 - set1.R0) * (set1.G1 - set1.G0) * (set1.B1 - set1.B0);
    set2.Vol = (set2.R1 - set2.R0) * (set2.G1 - set2.G0) * (set2.B1 - set2.B0);
    return true;
}

} // namespace

std::vector<TRgb> WuPalette(const TPixelBuffer& bitmap, int colors)
{
    auto m = std::make_unique<Moments>();
    for (uint32_t p : bitmap.Pixels) {
        const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
        const int cell = Index((r >> 3) + 1, (g >> 3) + 1, (b >> 3) + 1);
        ++m->Wt[cell];
        m->Mr[cell] += r;
        m->Mg[cell] += g;
        m->Mb[cell] += b;
        m->M2[cell] += static_cast<double>(r * r + g * g + b * b);
    }
    // Cumulative moments.
    for (int r = 1; r < Side; ++r) {
        std::array<int64_t, Side> area{}, areaR{}, areaG{}, areaB{};
        std::array<double, Side> area2{};
        for (int g = 1; g < Side; ++g) {
            int64_t line = 0, lineR = 0, lineG = 0, lineB = 0;
            double line2 = 0;
            for (int b = 1; b < Side; ++b) {
                const int i1 = Index(r, g, b), i2 = i1 - 1089;
                line += m->Wt[i1];
                lineR += m->Mr[i1];
                lineG += m->Mg[i1];
                lineB += m->Mb[i1];
                line2 += m->M2[i1];
                area[b] += line;
                areaR[b] += lineR;
                areaG[b] += lineG;
                areaB[b] += lineB;
                area2[b] += line2;
                m->Wt[i1] = m->Wt[i2] + area[b];
                m->Mr[i1] = m->Mr[i2] + areaR[b];
                m->Mg[i1] = m->Mg[i2] + areaG[b];
                m->Mb[i1] = m->Mb[i2] + areaB[b];
                m->M2[i1] = m->M2[i2] + area2[b];
            }
        }
    }

    std::vector<Box> cube(static_cast<size_t>(std::max(colors, 1)));
    std::vector<double> vv(cube.size());
    cube[0] = {0, 32, 0, 32, 0, 32, 32 * 32 * 32};
    int count = static_cast<int>(cube.size());
    int next = 0;
    for (int i = 1; i < static_cast<int>(cube.size()); ++i) {
        if (Cut(cube[static_cast<size_t>(next)], cube[static_cast<size_t>(i)], *m)) {
            vv[static_cast<size_t>(next)] =
                cube[static_cast<size_t>(next)].Vol > 1 ? Variance(cube[static_cast<size_t>(next)], *m) : 0.0;
            vv[static_cast<size_t>(i)] =
                cube[static_cast<size_t>(i)].Vol > 1 ? Variance(cube[static_cast<size_t>(i)], *m) : 0.0;
        } else {
            vv[static_cast<size_t>(next)] = 0.0; // this box cannot be cut: not again
            --i;
        }
        next = 0;
        double temp = vv[0];
        for (int k = 1; k <= i; ++k) {
            if (vv[static_cast<size_t>(k)] > temp) {
                temp = vv[static_cast<size_t>(k)];
                next = k;
            }
        }
        if (temp <= 0.0) {
            count = i + 1;
            break;
        }
    }

    std::vector<TRgb> palette;
    for (int k = 0; k < count; ++k) {
        const Box& c = cube[static_cast<size_t>(k)];
        const int64_t weight = Volume(c, m->Wt);
        if (weight > 0)
            palette.push_back({static_cast<uint8_t>(Volume(c, m->Mr) / weight),
                               static_cast<uint8_t>(Volume(c, m->Mg) / weight),
                               static_cast<uint8_t>(Volume(c, m->Mb) / weight)});
        else
            palette.push_back({0, 0, 0});
    }
    return palette;
}

} // namespace crash
