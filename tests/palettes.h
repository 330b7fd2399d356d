// The palettes a user may read the program in, and how well text reads in a
// picture of it. Light: the style's own palette. Dark: grey-black bases with
// light text, as the desktop's "darker" schemes have it, the tooltip colours
// left light. High contrast: white on black, a yellow highlight with black
// text, light links.
#pragma once

#include "platform/color.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
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
    const auto make = [](std::initializer_list<std::pair<R, const char*>> roles) {
        QPalette p = QApplication::style()->standardPalette();
        for (const auto& [role, colour] : roles)
            p.setColor(role, QColor(colour));
        return p;
    };
    return {
        {"light", QApplication::style()->standardPalette()},
        {"dark", make({{R::Window, "#424242"}, {R::WindowText, "#dddddd"}, {R::Base, "#3c3c3c"},
                       {R::AlternateBase, "#454545"}, {R::Text, "#dddddd"}, {R::Button, "#505050"},
                       {R::ButtonText, "#dddddd"}, {R::Light, "#979797"}, {R::Midlight, "#5e5e5e"},
                       {R::Mid, "#454545"}, {R::Dark, "#2f2f2f"}, {R::Shadow, "#1a1a1a"},
                       {R::Highlight, "#2a5a8a"}, {R::HighlightedText, "#ffffff"}, {R::Link, "#8fb4ff"},
                       {R::ToolTipBase, "#ffffdc"}, {R::ToolTipText, "#000000"}})},
        {"high contrast", make({{R::Window, "#000000"}, {R::WindowText, "#ffffff"}, {R::Base, "#000000"},
                                {R::AlternateBase, "#000000"}, {R::Text, "#ffffff"}, {R::Button, "#000000"},
                                {R::ButtonText, "#ffffff"}, {R::Light, "#ffffff"}, {R::Midlight, "#808080"},
                                {R::Mid, "#808080"}, {R::Dark, "#808080"}, {R::Shadow, "#ffffff"},
                                {R::Highlight, "#ffff00"}, {R::HighlightedText, "#000000"}, {R::Link, "#00ffff"},
                                {R::ToolTipBase, "#000000"}, {R::ToolTipText, "#ffffff"}})},
    };
}

// The application in a palette while it lives.
class PaletteScope {
public:
    explicit PaletteScope(const QPalette& P) : kept_(QApplication::palette()) { QApplication::setPalette(P); }
    ~PaletteScope() { QApplication::setPalette(kept_); }
    PaletteScope(const PaletteScope&) = delete;
    PaletteScope& operator=(const PaletteScope&) = delete;

private:
    QPalette kept_;
};

// How well the text in an area of a picture reads: the contrast of the
// colour most of the area has (its background) with the pixel that differs
// most from it (the core of the text's strokes). 1 for an area without text.
// The area keeps clear of frames (a cell's inside less its outer pixels).
inline double textContrast(const QImage& Picture, const QRect& Area)
{
    std::map<QRgb, int> counts;
    const QRect inside = Area.intersected(Picture.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            ++counts[Picture.pixel(x, y)];
    if (counts.empty())
        return 1;
    const QRgb background =
        std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) { return a.second < b.second; })
            ->first;
    double best = 1;
    for (const auto& [colour, n] : counts)
        best = std::max(best, platform::ContrastRatio(QColor(colour), QColor(background)));
    return best;
}
