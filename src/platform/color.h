// Colours as the stored layouts and the grid keep them: 0x00BBGGRR (red in the
// low byte), clNone = 0x1FFFFFFF, clDefault = 0x20000000, and 0x80000000 | n for
// the system colour n, resolved through the application's QPalette at drawing time.
#pragma once

#include <QColor>
#include <cstdint>

namespace platform {

using TColor = std::int32_t;

constexpr TColor RGBColor(int r, int g, int b) { return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16)); }
constexpr int RedOf(TColor c) { return c & 0xFF; }
constexpr int GreenOf(TColor c) { return (c >> 8) & 0xFF; }
constexpr int BlueOf(TColor c) { return (c >> 16) & 0xFF; }

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// Plain colours.
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF,
                 clLtGray = 0xC0C0C0, clDkGray = 0x808080, clMoneyGreen = 0xC0DCC0,
                 clSkyBlue = 0xF0CAA6, clCream = 0xF0FBFF, clMedGray = 0xA4A0A0;

// System colours: 0x80000000 | index.
constexpr TColor SystemColor(int index) { return TColor(0x80000000u | unsigned(index)); }
constexpr bool IsSystemColor(TColor c) { return (std::uint32_t(c) & 0xFF000000u) == 0x80000000u; }
constexpr TColor clScrollBar = SystemColor(0), clBackground = SystemColor(1), clActiveCaption = SystemColor(2),
                 clInactiveCaption = SystemColor(3), clMenu = SystemColor(4), clWindow = SystemColor(5),
                 clWindowFrame = SystemColor(6), clMenuText = SystemColor(7), clWindowText = SystemColor(8),
                 clCaptionText = SystemColor(9), clActiveBorder = SystemColor(10), clInactiveBorder = SystemColor(11),
                 clAppWorkSpace = SystemColor(12), clHighlight = SystemColor(13), clHighlightText = SystemColor(14),
                 clBtnFace = SystemColor(15), clBtnShadow = SystemColor(16), clGrayText = SystemColor(17),
                 clBtnText = SystemColor(18), clInactiveCaptionText = SystemColor(19), clBtnHighlight = SystemColor(20),
                 cl3DDkShadow = SystemColor(21), cl3DLight = SystemColor(22), clInfoText = SystemColor(23),
                 clInfoBk = SystemColor(24), clHotLight = SystemColor(26), clGradientActiveCaption = SystemColor(27),
                 clGradientInactiveCaption = SystemColor(28);

// The colour to paint with: system colours through the application palette,
// clNone and clDefault as a transparent QColor.
QColor ToQColor(TColor c);
// A colour as it prints: a system colour as a light desktop shows it (white
// window, black text, ...) whatever the screen's palette; others unchanged.
TColor PaperColor(TColor c);
// The printed colour of text of colour `text` on `background`: PaperColor,
// or black or white for a palette colour that would not read there.
TColor PaperTextColor(TColor text, TColor background);
// The stored form of a Qt colour (alpha is dropped).
TColor FromQColor(const QColor& c);
// A system colour resolved to its 0x00BBGGRR value; other colours unchanged.
TColor ColorToRGB(TColor c);

// How well two colours read against each other, as the accessibility
// guidelines measure it: from 1 (the same) to 21 (black on white). Text
// reads at 4.5 and above (ReadableContrast).
double ContrastRatio(const QColor& a, const QColor& b);
constexpr double ReadableContrast = 4.5;
// The colour to draw text of colour `text` with on `background`. Text in a
// palette colour (a system colour) that reads below ReadableContrast there
// gives way to the palette's own text colour for that background
// (clInfoText on clInfoBk, clBtnText on clBtnFace, clHighlightText on
// clHighlight, ...) when that reads, else to black or white, whichever reads
// better. Any other text colour was chosen by a cell or a layout and stays.
TColor ReadableTextColor(TColor text, TColor background);
// Black or white, whichever reads better on `background`.
TColor BlackOrWhiteOn(const QColor& background);

}  // namespace platform
