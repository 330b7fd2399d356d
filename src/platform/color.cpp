#include "platform/color.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <utility>
#include <cmath>

namespace platform {

namespace {

QPalette screenPalette()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::palette() : QPalette();
}

// The colours of a light desktop, as paper takes them: white window, black text.
const QPalette& paperPalette()
{
    static const QPalette paper = [] {
        using R = QPalette::ColorRole;
        QPalette p(QColor(0xF0, 0xF0, 0xF0));
        for (const auto& [role, colour] : {std::pair{R::Base, 0xFFFFFF}, {R::Text, 0}, {R::WindowText, 0},
                                          {R::ButtonText, 0}, {R::Highlight, 0x0078D7}, {R::HighlightedText, 0xFFFFFF},
                                          {R::ToolTipBase, 0xFFFFE1}, {R::ToolTipText, 0}, {R::Link, 0x0000EE}})
            p.setColor(QPalette::All, role, QColor(QRgb(colour)));
        return p;
    }();
    return paper;
}

QColor systemColor(int index, const QPalette& pal)
{
    using R = QPalette::ColorRole;
    switch (index) {
    case 0: return pal.color(R::Midlight);                 // scroll bar
    case 1: return pal.color(R::Dark);                     // desktop
    case 2: case 27: return pal.color(R::Highlight);       // active caption
    case 3: case 28: case 12: return pal.color(R::Mid);    // inactive caption, workspace
    case 4: return pal.color(R::Window);                   // menu
    case 5: return pal.color(R::Base);                     // window
    case 6: case 21: return pal.color(R::Shadow);          // frame, dark 3-D shadow
    case 7: case 19: return pal.color(R::WindowText);
    case 8: return pal.color(R::Text);
    case 9: case 14: return pal.color(R::HighlightedText);
    case 10: case 11: case 15: return pal.color(R::Button);
    case 13: return pal.color(R::Highlight);
    case 16: return pal.color(R::Dark);                    // button shadow
    case 17: return pal.color(QPalette::Disabled, R::Text);
    case 18: return pal.color(R::ButtonText);
    case 20: return pal.color(R::Light);
    case 22: return pal.color(R::Midlight);
    case 23: return pal.color(R::ToolTipText);
    case 24: return pal.color(R::ToolTipBase);
    case 26: return pal.color(R::Link);
    default: return pal.color(R::Window);
    }
}

}  // namespace

QColor ToQColor(TColor c)
{
    if (c == clNone || c == clDefault) return QColor(0, 0, 0, 0);
    if (IsSystemColor(c)) return systemColor(c & 0xFF, screenPalette());
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

TColor PaperColor(TColor c)
{
    if (IsSystemColor(c)) return FromQColor(systemColor(c & 0xFF, paperPalette()));
    return c;
}

TColor PaperTextColor(TColor text, TColor background)
{
    const TColor ink = PaperColor(text);
    if (!IsSystemColor(text) || background == clNone || background == clDefault) return ink;
    const QColor back = ToQColor(PaperColor(background));
    if (ContrastRatio(ToQColor(ink), back) >= ReadableContrast) return ink;
    return BlackOrWhiteOn(back);
}

TColor FromQColor(const QColor& c)
{
    const QColor rgb = c.toRgb();
    return RGBColor(rgb.red(), rgb.green(), rgb.blue());
}

TColor ColorToRGB(TColor c)
{
    if (IsSystemColor(c)) return FromQColor(ToQColor(c));
    return c;
}

namespace {

// The relative luminance of a colour (sRGB channels linearised).
double luminance(const QColor& c)
{
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = c.toRgb();
    return 0.2126 * channel(rgb.red()) + 0.7152 * channel(rgb.green()) + 0.0722 * channel(rgb.blue());
}

// The palette's text colour for a background of a system colour.
TColor textColorOn(TColor background)
{
    switch (background) {
    case clBtnFace: case clActiveBorder: case clInactiveBorder: return clBtnText;
    case clInfoBk: return clInfoText;
    case clHighlight: return clHighlightText;
    case clMenu: return clMenuText;
    case clActiveCaption: case clGradientActiveCaption: return clCaptionText;
    case clInactiveCaption: case clGradientInactiveCaption: return clInactiveCaptionText;
    default: return clWindowText;
    }
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TColor ReadableTextColor(TColor text, TColor background)
{
    if (!IsSystemColor(text) || background == clNone || background == clDefault) return text;
    const QColor back = ToQColor(background);
    const auto reads = [&back](TColor c) { return ContrastRatio(ToQColor(c), back); };
    if (reads(text) >= ReadableContrast) return text;
    if (const TColor own = textColorOn(background); reads(own) >= ReadableContrast) return own;
    return BlackOrWhiteOn(back);
}

TColor BlackOrWhiteOn(const QColor& background)
{
    return ContrastRatio(Qt::black, background) >= ContrastRatio(Qt::white, background) ? clBlack : clWhite;
}

}  // namespace platform
