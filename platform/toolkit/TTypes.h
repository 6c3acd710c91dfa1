// Integer points, rectangles and colour values of the window toolkit.
//
// Every layer above the toolkit (maps, plots, forms) speaks in these types;
// Qt types appear only inside platform/toolkit. Colours are toolkit colour
// values 0x00BBGGRR (red in the low byte) and become Qt colours only at the
// canvas.
#pragma once

#include <cstdint>

struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint &, const TPoint &) = default;
};

// Left and Top are inside, Right and Bottom are the first pixels outside for
// drawing; the rectangle tests of the map include both edges (see Recalcs).
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect &, const TRect &) = default;
};

inline TPoint Point(int X, int Y) { return TPoint{X, Y}; }
inline TRect Rect(int Left, int Top, int Right, int Bottom) { return TRect{Left, Top, Right, Bottom}; }

// 0x00BBGGRR. Values with the top byte set name system colours (0x80000000 + index).
using TColor = uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clOlive = 0x008080;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clPurple = 0x800080;
inline constexpr TColor clTeal = 0x808000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clYellow = 0x00FFFF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clFuchsia = 0xFF00FF;
inline constexpr TColor clAqua = 0xFFFF00;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clMoneyGreen = 0xC0DCC0;
inline constexpr TColor clCream = 0xF0FBFF;
// System colours: the index of the system colour table plus 0x80000000.
inline constexpr TColor clSystemColor = 0x80000000;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clInfoBk = clSystemColor | 24;

inline constexpr TColor RGBColor(int R, int G, int B)
{
    return TColor(R & 0xFF) | (TColor(G & 0xFF) << 8) | (TColor(B & 0xFF) << 16);
}
inline constexpr int GetRValue(TColor C) { return int(C & 0xFF); }
inline constexpr int GetGValue(TColor C) { return int((C >> 8) & 0xFF); }
inline constexpr int GetBValue(TColor C) { return int((C >> 16) & 0xFF); }

// A system colour resolved to its fixed value on this platform (the classic
// desktop scheme, so drawings do not depend on the desktop theme); plain
// colour values pass through.
TColor ColorToRGB(TColor C);
