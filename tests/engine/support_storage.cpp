#include "engine/support_storage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>

namespace storagetest {

TempDir::TempDir(const std::string& parent)
{
    std::string pattern = parent + "/quillet-storage-XXXXXX";
    char* made = mkdtemp(pattern.data());
    if (made == nullptr) {
        std::abort();
    }
    path = made;
}

TempDir::~TempDir()
{
    // Monitors of databases whose processes were killed stay behind.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
        struct stat st;
        if (stat(entry.path().c_str(), &st) == 0) {
            std::string name = "/quillet-" + std::to_string(uint64_t(st.st_dev)) + "-" + std::to_string(uint64_t(st.st_ino));
            shm_unlink(name.c_str());
        }
    }
    std::filesystem::remove_all(path, ec);
}

void RecordingDatabase::handleError(int errorClass, const char* msg, int arg)
{
    messages.push_back(errorText(errorClass, msg, arg));
    classes.push_back(errorClass);
    dbDatabase::handleError(errorClass, msg, arg);
}

bool RecordingDatabase::reported(const std::string& text) const
{
    for (const std::string& m : messages) {
        if (m == text) {
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint32_t word(const std::vector<uint8_t>& bytes, size_t offset)
{
    uint32_t w;
    std::memcpy(&w, bytes.data() + offset, 4);
    return w;
}

namespace {

size_t objectSize(const std::vector<uint8_t>& bytes, offs_t entry)
{
    offs_t marker = entry & dbInternalObjectMarker;
    if (marker != 0) {
        return dbInternalObjectSize[marker];
    }
    return word(bytes, entry);
}

}  // namespace

std::string checkFile(const std::vector<uint8_t>& bytes)
{
    if (bytes.size() < dbPageSize) {
        return "file too small";
    }
    dbHeader h;
    std::memcpy(&h, bytes.data(), sizeof h);
    if (h.curr > 1 || h.initialized != 1 || h.size != bytes.size()) {
        return "bad header";
    }
    const dbHeaderRoot& r = h.root[h.curr];
    size_t quanta = bytes.size() / dbAllocationQuantum;
    std::vector<uint8_t> expected(quanta, 0);
    std::string problem;
    auto mark = [&](uint64_t pos, uint64_t size, const std::string& what) {
        if (pos + size > bytes.size()) {
            problem = what + " outside the file";
            return;
        }
        for (uint64_t q = pos / 16; q < (pos + size + 15) / 16; q++) {
            if (expected[q]) {
                problem = what + " overlaps another object at " + std::to_string(q * 16);
                return;
            }
            expected[q] = 1;
        }
    };
    mark(0, dbPageSize, "header");
    mark(r.index, uint64_t(r.indexSize) * 4, "committed index");
    mark(r.shadowIndex, uint64_t(r.shadowIndexSize) * 4, "working index");
    const uint8_t* idx = bytes.data() + r.index;
    auto entry = [&](oid_t oid) {
        uint32_t e;
        std::memcpy(&e, idx + 4 * size_t(oid), 4);
        return e;
    };
    for (oid_t oid = 1; oid < r.indexUsed && problem.empty(); oid++) {
        offs_t e = entry(oid);
        if (e & dbFreeHandleMarker) {
            continue;
        }
        offs_t pos = e & ~dbInternalObjectMarker;
        mark(pos, objectSize(bytes, e), "object " + std::to_string(oid));
    }
    if (!problem.empty()) {
        return problem;
    }
    for (size_t q = 0; q < quanta; q++) {
        size_t page = q / (dbPageSize * 8);
        bool actual = false;
        if (dbBitmapId + page < r.indexUsed && !(entry(oid_t(dbBitmapId + page)) & dbFreeHandleMarker)) {
            offs_t pos = entry(oid_t(dbBitmapId + page)) & ~dbInternalObjectMarker;
            size_t bit = q % (dbPageSize * 8);
            actual = (bytes[pos + bit / 8] >> (bit % 8)) & 1;
        }
        if (actual != bool(expected[q])) {
            return std::string(actual ? "leaked" : "unmarked") + " quantum at offset " + std::to_string(q * 16);
        }
    }
    return "";
}

std::map<oid_t, std::vector<uint8_t>> committedRecords(const std::vector<uint8_t>& bytes)
{
    std::map<oid_t, std::vector<uint8_t>> records;
    dbHeader h;
    std::memcpy(&h, bytes.data(), sizeof h);
    const dbHeaderRoot& r = h.root[h.curr];
    for (oid_t oid = dbFirstUserId; oid < r.indexUsed; oid++) {
        offs_t e = word(bytes, r.index + 4 * size_t(oid));
        if ((e & dbFreeHandleMarker) || (e & dbInternalObjectMarker)) {
            continue;
        }
        uint32_t size = word(bytes, e);
        records[oid] = std::vector<uint8_t>(bytes.begin() + e + sizeof(dbRecord), bytes.begin() + e + size);
    }
    return records;
}

CommittedState committedState(const std::vector<uint8_t>& bytes)
{
    CommittedState state;
    dbHeader h;
    std::memcpy(&h, bytes.data(), sizeof h);
    const dbHeaderRoot& r = h.root[h.curr];
    state.used = r.indexUsed;
    state.freeList = r.freeList;
    for (oid_t oid = dbMetaTableId; oid < r.indexUsed; oid++) {
        offs_t e = word(bytes, r.index + 4 * size_t(oid));
        if (oid >= dbBitmapId && oid < dbFirstUserId) {
            continue;
        }
        if (e & dbFreeHandleMarker) {
            state.freeIds[oid] = e;
            continue;
        }
        offs_t pos = e & ~dbInternalObjectMarker;
        state.objects[oid] = std::vector<uint8_t>(bytes.begin() + pos, bytes.begin() + pos + objectSize(bytes, e));
    }
    return state;
}

std::vector<uint8_t> recordImage(size_t size, uint32_t seed)
{
    std::vector<uint8_t> image(size - sizeof(dbRecord));
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : image) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 24);
    }
    return image;
}

oid_t storeRecord(dbDatabase& db, size_t size, uint32_t seed)
{
    oid_t oid = db.allocateRecord(size);
    if (oid == 0) {
        return 0;
    }
    std::vector<uint8_t> image = recordImage(size, seed);
    std::memcpy(db.get(oid) + sizeof(dbRecord), image.data(), image.size());
    return oid;
}

std::vector<uint8_t> readRecord(dbDatabase& db, oid_t oid)
{
    const dbRecord* rec = db.getRow(oid);
    if (rec == nullptr) {
        return {};
    }
    const byte* p = reinterpret_cast<const byte*>(rec);
    return std::vector<uint8_t>(p + sizeof(dbRecord), p + rec->size);
}

void createBaseline(const std::string& path)
{
    dbDatabase db;
    EXPECT_TRUE(db.open("baseline", path.c_str()));
    for (uint32_t i = 0; i < 40; i++) {
        EXPECT_NE(storeRecord(db, 20 + 97 * (i % 13) + (i % 3 == 0 ? 4096 : 0), i), 0u);
    }
    EXPECT_TRUE(db.commit());
    db.close();
}

void changeBaseline(dbDatabase& db, bool large, bool manyIds)
{
    for (oid_t oid = dbFirstUserId; oid < dbFirstUserId + 40; oid += 3) {
        byte* p = db.put(oid);  // rewrite in a copy
        ASSERT_NE(p, nullptr);
        std::vector<uint8_t> image = recordImage(reinterpret_cast<dbRecord*>(p)->size, oid + 1000);
        std::memcpy(p + sizeof(dbRecord), image.data(), image.size());
    }
    for (oid_t oid = dbFirstUserId + 1; oid < dbFirstUserId + 40; oid += 5) {
        db.freeObject(oid);
    }
    for (uint32_t i = 0; i < 10; i++) {
        ASSERT_NE(storeRecord(db, 50 + 300 * i, 5000 + i), 0u);
    }
    if (large) {
        ASSERT_NE(storeRecord(db, 3 * 1048576, 6000), 0u);
    }
    if (manyIds) {
        while (db.getIndexSize() <= 65536) {
            ASSERT_NE(storeRecord(db, 24, db.getIndexSize()), 0u);
        }
    }
}

std::map<oid_t, std::vector<uint8_t>> changedState(const std::string& baselinePath, const std::string& scratchPath,
                                                   bool large, bool manyIds)
{
    writeFile(scratchPath, readFile(baselinePath));
    dbDatabase db;
    EXPECT_TRUE(db.open("scratch", scratchPath.c_str()));
    changeBaseline(db, large, manyIds);
    EXPECT_TRUE(db.commit());
    db.close();
    return committedRecords(readFile(scratchPath));
}

}  // namespace storagetest
