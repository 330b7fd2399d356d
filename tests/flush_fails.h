// For tests of changes that the disk refuses: while a FlushFails lives, every
// flush of a database file fails with EIO, so no commit reaches the disk.
#pragma once

#include "engine/file.h"

#include <cerrno>

class FlushFails : public dbFileObserver {
public:
    FlushFails() { dbFile::setObserver(this); }
    ~FlushFails() override { dbFile::setObserver(nullptr); }
    FlushFails(const FlushFails&) = delete;
    FlushFails& operator=(const FlushFails&) = delete;
    int beforeFlush(const dbFile&) override { return EIO; }
};
