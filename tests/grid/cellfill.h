// Shared by the grid tests: a graphic object that counts its live instances
// (to see cell objects freed exactly once) and a grid filled with "c:r" texts.
#pragma once

#include "grid/listgrid.h"

#include <string>

struct CountedGraphic : platform::Object {
    static inline int live = 0;
    CountedGraphic() { ++live; }
    ~CountedGraphic() override { --live; }
};

// cols x rows cells, each reading "column:row".
inline void fillCells(grid::RIvuZuvuzoZuvu& g, int cols, int rows)
{
    g.SetColCountEx(cols);
    g.SetRowCountEx(rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            g.SetCells(c, r, std::to_string(c) + ":" + std::to_string(r));
}
