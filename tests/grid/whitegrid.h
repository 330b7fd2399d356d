// Shared by the grid tests that look at pixels: a list grid laid out with
// equal cells on a white background, a grab of its cells, and pixel counts.
#pragma once

#include "grid/listgrid.h"

#include <QImage>

#include <algorithm>

// cols x rows cells of colWidth x rowHeight pixels, white, without bands, shown.
inline void layOutWhiteGrid(grid::RIvuZuvuzoZuvu& g, int cols, int rows, int colWidth, int rowHeight)
{
    g.resize(cols * colWidth + 50, rows * rowHeight + 60);
    g.SetColCountEx(cols);
    g.SetRowCountEx(rows);
    g.SetDefaultColWidth(colWidth);
    g.SetDefRowHeightEx(rowHeight);
    g.SetColor(platform::clWhite);
    g.Bands->Active = false;
    g.show();
}

// The grid's cells as painted now.
inline QImage grabCells(grid::RIvuZuvuzoZuvu& g)
{
    g.viewport()->repaint();
    return g.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

template <typename Pred>
int countPixels(const QImage& image, const platform::Rect& r, Pred pred)
{
    int n = 0;
    for (int y = std::max(0, r.Top); y < r.Bottom && y < image.height(); ++y)
        for (int x = std::max(0, r.Left); x < r.Right && x < image.width(); ++x)
            n += pred(image.pixel(x, y));
    return n;
}

inline bool isRedPixel(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }
inline bool isDarkPixel(QRgb p) { return qGray(p) < 100; }
