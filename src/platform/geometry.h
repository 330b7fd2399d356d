// Rectangles with exclusive right and bottom edges, as the drawing code of the
// grid and the page suite computes them: a Rect{10, 10, 20, 20} covers pixels
// 10..19 in both directions. QRect's right() is inclusive; convert only through
// ToQRect/FromQRect so the off-by-one lives in one place.
#pragma once

#include <QPoint>
#include <QRect>

namespace platform {

struct Rect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    constexpr bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    constexpr bool Contains(QPoint p) const { return Contains(p.x(), p.y()); }
    // Grows the rectangle by dx, dy on every side (negative values shrink it).
    constexpr void Inflate(int dx, int dy) { Left -= dx; Right += dx; Top -= dy; Bottom += dy; }
    constexpr void Offset(int dx, int dy) { Left += dx; Right += dx; Top += dy; Bottom += dy; }
    constexpr QPoint TopLeft() const { return {Left, Top}; }
    constexpr QPoint BottomRight() const { return {Right, Bottom}; }
    // The smallest rectangle holding both; an empty one does not count.
    Rect United(const Rect& o) const;
    Rect Intersected(const Rect& o) const;

    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static Rect FromQRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
    static constexpr Rect FromSize(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// A block of cells: columns Left..Right and rows Top..Bottom, both inclusive.
struct GridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;

    constexpr bool Contains(int col, int row) const { return col >= Left && col <= Right && row >= Top && row <= Bottom; }
    friend constexpr bool operator==(const GridRect&, const GridRect&) = default;
};

// Base of the objects a caller hangs on a grid cell or elsewhere (what the
// grid's Objects slots point to). The grid never frees them.
class Object {
public:
    virtual ~Object();
};

}  // namespace platform
