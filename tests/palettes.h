// The palettes a user may read the program in, and how well text reads in a
// picture of it. Light: the style's own. Dark: grey-black bases with light
// text, the tooltip colours left light, as the desktop's "darker" schemes
// have it. High contrast: white on black, a yellow highlight with black text.
#pragma once

#include "platform/color.h"

#include <QApplication>
#include <QImage>
#include <QStyle>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

struct NamedPalette {
    std::string name;
    QPalette palette;
};

inline std::vector<NamedPalette> testPalettes()
{
    using R = QPalette::ColorRole;
    const R roles[] = {R::Window, R::WindowText, R::Base,      R::Text,        R::Button,      R::ButtonText,
                       R::Highlight, R::HighlightedText, R::Link, R::ToolTipBase, R::ToolTipText};
    const auto make = [&roles](std::vector<const char*> colours) {
        QPalette p = QApplication::style()->standardPalette();
        for (std::size_t i = 0; i < colours.size(); ++i)
            p.setColor(roles[i], QColor(colours[i]));
        return p;
    };
    return {{"light", QApplication::style()->standardPalette()},
            {"dark", make({"#424242", "#dddddd", "#3c3c3c", "#dddddd", "#505050", "#dddddd", "#2a5a8a", "#ffffff",
                           "#8fb4ff", "#ffffdc", "#000000"})},
            {"high contrast", make({"#000000", "#ffffff", "#000000", "#ffffff", "#000000", "#ffffff", "#ffff00",
                                    "#000000", "#00ffff", "#000000", "#ffffff"})}};
}

// The application in a palette while it lives.
struct PaletteScope {
    explicit PaletteScope(const QPalette& P) { QApplication::setPalette(P); }
    ~PaletteScope() { QApplication::setPalette(kept); }
    QPalette kept = QApplication::palette();
};

// How well the text in an area of a picture (clear of frames) reads: the
// contrast of the colour most of the area has with the pixel that differs
// most from it (the core of the strokes). 1 for an area without text.
inline double textContrast(const QImage& Picture, const QRect& Area)
{
    std::map<QRgb, int> counts;
    const QRect inside = Area.intersected(Picture.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[Picture.pixel(x, y)];
    if (counts.empty())
        return 1;
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    double best = 1;
    for (const auto& [colour, n] : counts)
        best = std::max(best, platform::ContrastRatio(QColor(colour), QColor(most->first)));
    return best;
}
