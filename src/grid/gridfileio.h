// File access shared by the list grid's writers and readers (the functions
// of grid/exchange/fileio.h), and a lock that keeps the grid from painting
// while a file is read into it.
#pragma once

#include "grid/exchange/fileio.h"

namespace grid {
class RIvuZuvuzoZuvu;
}

namespace grid::fileio {

// Paints nothing until the work is done, then the whole grid once.
class UpdateLock {
public:
    explicit UpdateLock(RIvuZuvuzoZuvu& Grid);
    ~UpdateLock();
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

private:
    RIvuZuvuzoZuvu& grid_;
};

}  // namespace grid::fileio
