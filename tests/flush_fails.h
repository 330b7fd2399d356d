// Observers of the database files' flushes for tests, each installed for as
// long as it lives: while a FlushFails lives, every flush of a database file
// fails with EIO, so no commit reaches the disk; a FlushCounter counts the
// flushes that went through.
#pragma once

#include "engine/file.h"

#include <cerrno>

class InstalledFlushObserver : public dbFileObserver {
public:
    InstalledFlushObserver() { dbFile::setObserver(this); }
    ~InstalledFlushObserver() override { dbFile::setObserver(nullptr); }
    InstalledFlushObserver(const InstalledFlushObserver&) = delete;
    InstalledFlushObserver& operator=(const InstalledFlushObserver&) = delete;
};

class FlushFails : public InstalledFlushObserver {
public:
    int beforeFlush(const dbFile&) override { return EIO; }
};

class FlushCounter : public InstalledFlushObserver {
public:
    void afterFlush(const dbFile&) override { flushes += 1; }
    int flushes = 0;
};
