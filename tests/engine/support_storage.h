// Helpers shared by the storage tests: scratch folders, a database that
// records its error reports, raw file access and an independent check of a
// closed database file (bitmap against the objects the committed root reaches).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/database.h"

namespace storagetest {

// The application's construction parameters.
constexpr uint8_t appAccess = dbDatabase::dbAllAccess;
constexpr uint32_t appInitSize = 1048576;
constexpr uint32_t appQuantum = 4194304;
constexpr uint32_t appIndexSize = 65536;

// A scratch folder inside parent (/dev/shm: memory, for tests whose many
// commits would wait on a disk), removed with what it holds.
class TempDir {
public:
    explicit TempDir(const std::string& parent = "/tmp");
    ~TempDir();
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Records every report; fatal classes still end the process.
class RecordingDatabase : public dbDatabase {
public:
    RecordingDatabase(uint8_t access = appAccess, uint32_t initSize = appInitSize, uint32_t quantum = appQuantum,
                      uint32_t indexSize = appIndexSize)
        : dbDatabase(access, initSize, quantum, indexSize, 1) {}
    void handleError(int errorClass, const char* msg, int arg) override;
    std::vector<std::string> messages;
    std::vector<int> classes;
    bool reported(const std::string& text) const;
};

std::vector<uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
uint32_t word(const std::vector<uint8_t>& bytes, size_t offset);

// Empty when the file is consistent; otherwise what is wrong.
std::string checkFile(const std::vector<uint8_t>& bytes);

// Committed contents of the records the committed root reaches, by id.
std::map<oid_t, std::vector<uint8_t>> committedRecords(const std::vector<uint8_t>& bytes);

// Everything the committed root holds: each object's bytes and each free
// id's link, by id (the bitmap pages apart).
struct CommittedState {
    std::map<oid_t, std::vector<uint8_t>> objects;
    std::map<oid_t, offs_t> freeIds;
    uint32_t used = 0;
    oid_t freeList = 0;
    bool operator==(const CommittedState&) const = default;
};
CommittedState committedState(const std::vector<uint8_t>& bytes);

// A record of `size` bytes whose contents after the header follow from seed.
oid_t storeRecord(dbDatabase& db, size_t size, uint32_t seed);
std::vector<uint8_t> recordImage(size_t size, uint32_t seed);
std::vector<uint8_t> readRecord(dbDatabase& db, oid_t oid);

// A committed database of a few dozen records of mixed sizes (closed).
void createBaseline(const std::string& path);
// One transaction over the baseline, the same every time: rewrites, frees and
// adds records; `large` adds a 3 MB record (the file grows), `manyIds` adds
// enough records to double the object index.
void changeBaseline(dbDatabase& db, bool large, bool manyIds);
// The committed records after changeBaseline has been committed on a copy.
std::map<oid_t, std::vector<uint8_t>> changedState(const std::string& baselinePath, const std::string& scratchPath,
                                                   bool large, bool manyIds);

}  // namespace storagetest
