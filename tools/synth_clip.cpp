#include "synth_clip.h"

#include <cmath>
#include <cstdint>

namespace rvtool {

namespace {

uint32_t Hash(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

inline uint8_t Clip8(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

struct Rgb {
    int r, g, b;
};

inline void Put(RgbImage* img, int x, int y, Rgb c)
{
    uint8_t* p = img->Row(y) + 3 * x;
    p[0] = Clip8(c.r);
    p[1] = Clip8(c.g);
    p[2] = Clip8(c.b);
}

inline Rgb Mix(Rgb a, Rgb b, int t256)
{
    return {a.r + ((b.r - a.r) * t256 >> 8), a.g + ((b.g - a.g) * t256 >> 8), a.b + ((b.b - a.b) * t256 >> 8)};
}

// A shallow vertical gradient with a faint vignette: few code values over
// many rows, which is what makes 8-bit video band.
void Sky(RgbImage* img, Rgb top, Rgb bottom)
{
    const int w = img->width, h = img->height;
    for (int y = 0; y < h; ++y) {
        const double fy = h > 1 ? static_cast<double>(y) / (h - 1) : 0.0;
        for (int x = 0; x < w; ++x) {
            const double fx = w > 1 ? static_cast<double>(x) / (w - 1) - 0.5 : 0.0;
            const double vig = 1.0 - 0.18 * (fx * fx * 4.0) * (0.5 + fy);
            Put(img, x, y,
                {static_cast<int>((top.r + (bottom.r - top.r) * fy) * vig),
                 static_cast<int>((top.g + (bottom.g - top.g) * fy) * vig),
                 static_cast<int>((top.b + (bottom.b - top.b) * fy) * vig)});
        }
    }
}

void Disc(RgbImage* img, int cx, int cy, int radius, Rgb inner, Rgb outer)
{
    const int r2 = radius * radius;
    for (int y = cy - radius; y <= cy + radius; ++y) {
        if (y < 0 || y >= img->height) continue;
        for (int x = cx - radius; x <= cx + radius; ++x) {
            if (x < 0 || x >= img->width) continue;
            const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            if (d2 > r2) continue;
            Put(img, x, y, Mix(inner, outer, r2 ? d2 * 256 / r2 : 0));
        }
    }
}

void Box(RgbImage* img, int x0, int y0, int bw, int bh, Rgb c)
{
    for (int y = y0; y < y0 + bh; ++y) {
        if (y < 0 || y >= img->height) continue;
        for (int x = x0; x < x0 + bw; ++x)
            if (x >= 0 && x < img->width) Put(img, x, y, c);
    }
}

// Rows of made-up 5x7 glyphs with 1-pixel strokes: detail at the finest scale,
// the kind that blurs first when a method smooths too much.
void Text(RgbImage* img, int x0, int y0, int cols, int rows, int seed, Rgb ink, Rgb paper, int scroll)
{
    const int cw = 7, ch = 10;
    Box(img, x0 - 3, y0 - 3, cols * cw + 6, rows * ch + 4, paper);
    for (int row = 0; row < rows; ++row) {
        for (int col = 0; col < cols; ++col) {
            const uint32_t id = Hash(static_cast<uint32_t>(seed) * 7919u + static_cast<uint32_t>(row) * 131u +
                                     static_cast<uint32_t>(col + scroll));
            if ((id & 7) == 0) continue;  // word gap
            for (int gy = 0; gy < 7; ++gy)
                for (int gx = 0; gx < 5; ++gx) {
                    const bool on = (Hash(id + static_cast<uint32_t>(gy * 5 + gx)) & 3) == 0 || (gx == 0 && (id & 16)) || (gy == 6 && (id & 32));
                    if (!on) continue;
                    const int x = x0 + col * cw + gx, y = y0 + row * ch + gy;
                    if (x >= 0 && y >= 0 && x < img->width && y < img->height) Put(img, x, y, ink);
                }
        }
    }
}

// Mild zero-mean noise, a different pattern each frame.
void Noise(RgbImage* img, int frame)
{
    for (int y = 0; y < img->height; ++y) {
        uint8_t* p = img->Row(y);
        for (int x = 0; x < img->width; ++x) {
            const uint32_t hsh = Hash((static_cast<uint32_t>(frame) * 65521u + static_cast<uint32_t>(y)) * 8191u +
                                      static_cast<uint32_t>(x));
            // Sum of two small uniforms: a soft triangle around 0, within +-3.
            const int n = static_cast<int>(hsh & 3) + static_cast<int>((hsh >> 2) & 3) - 3;
            const int chroma = static_cast<int>((hsh >> 4) & 1);
            p[3 * x] = Clip8(p[3 * x] + n);
            p[3 * x + 1] = Clip8(p[3 * x + 1] + n - chroma);
            p[3 * x + 2] = Clip8(p[3 * x + 2] + n);
        }
    }
}

}  // namespace

SynthClip::SynthClip(int width, int height, int frames)
    : m_width(width), m_height(height), m_frames(frames), m_cut(frames > 1 ? frames / 2 : 1)
{
}

void SynthClip::Render(int index, RgbImage* out) const
{
    const int w = m_width, h = m_height;
    const int unit = (w < h ? w : h);
    const bool second = index >= m_cut;
    const int t = second ? index - m_cut : index;
    const int span = second ? (m_frames - m_cut) : m_cut;
    const double phase = span > 1 ? static_cast<double>(t) / (span - 1) : 0.0;

    if (!second) {
        // Dusk over a plain: cool, flat, banding-prone.
        Sky(out, {18, 34, 72}, {70, 96, 150});
        Box(out, 0, h * 3 / 4, w, h - h * 3 / 4, {34, 52, 40});
        const int r = unit / 7 + 1;
        Disc(out, static_cast<int>(w * (0.15 + 0.7 * phase)), h / 3, r, {250, 226, 150}, {200, 120, 60});
        Box(out, static_cast<int>(w * (0.85 - 0.6 * phase)), h * 3 / 4 - unit / 6, unit / 5, unit / 6,
            {150, 40, 40});
        Text(out, w / 16, h / 12, (w / 2) / 7, (h / 4) / 10, 1, {30, 30, 30}, {225, 225, 215}, 0);
    } else {
        // Warm interior: different palette everywhere, so the cut is unmistakable.
        Sky(out, {120, 70, 40}, {230, 180, 120});
        const int r = unit / 5 + 1;
        Disc(out, w * 2 / 3, static_cast<int>(h * (0.3 + 0.35 * phase)), r, {40, 140, 200}, {10, 40, 90});
        Box(out, static_cast<int>(w * (0.05 + 0.3 * phase)), h / 2, unit / 4, unit / 4, {60, 160, 70});
        // A scrolling ticker along the bottom.
        Text(out, 4, h - 16, (w - 8) / 7, 1, 2, {240, 240, 240}, {25, 25, 60}, t);
    }
    Noise(out, index);
}

}  // namespace rvtool
