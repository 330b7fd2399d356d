// The compaction of a database file; the layout it writes is described in
// compact.h.
#include "engine/compact.h"

#include "engine/class.h"
#include "engine/database.h"
#include "engine/hashtab.h"

#include <bit>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr uint64_t sizeStep = dbBitmapSegmentSize;             // 524,288 bytes: what one bitmap page covers
constexpr uint64_t smallestSize = dbDefaultInitDatabaseSize;   // a new file's size
constexpr uint64_t quantaPerBitmapPage = dbPageSize * 8;

constexpr uint64_t alignUp(uint64_t x, uint64_t unit)
{
    return (x + unit - 1) / unit * unit;
}

bool isFree(offs_t entry)
{
    return (entry & dbFreeHandleMarker) != 0;
}

bool isBitmapId(oid_t oid)
{
    return oid >= dbBitmapId && oid < dbFirstUserId;
}

// The index capacity of a compacted file: the file's, doubled as the
// engine doubles it until a quarter of it, at the least, is free.
uint32_t compactedCapacity(const dbHeaderRoot& root)
{
    uint64_t n = root.indexSize;
    // (both indexes fitting in the largest file)
    while (n < uint64_t(root.indexUsed) + root.indexUsed / 4 && 2 * (2 * n) * sizeof(offs_t) <= dbFile::maxSize) {
        n *= 2;
    }
    return uint32_t(n);
}

// The size of a compacted file whose indexes hold n entries each and whose
// objects take `data` bytes: its header, indexes, bitmap pages and objects,
// and a quarter of that again free.
uint64_t compactedSizeFor(uint32_t n, uint64_t data)
{
    const uint64_t fixed = dbPageSize + 8 * uint64_t(n);
    uint64_t size = smallestSize;
    for (;;) {
        const uint64_t held = fixed + size / sizeStep * dbPageSize + data;
        const uint64_t wanted = held + held / 4;
        if (wanted <= size) {
            return size;
        }
        size = alignUp(wanted, sizeStep);
    }
}

// The open that checks the copy, as the program's start opens a database:
// its reports are kept for the reason the copy is refused.
class CopyCheck : public dbDatabase {
public:
    CopyCheck() : dbDatabase(dbReadOnly) {}
    void handleError(int errorClass, const char* msg, int arg) override
    {
        if (first.empty()) {
            first = errorText(errorClass, msg, arg);
        }
        dbDatabase::handleError(errorClass, msg, arg);
    }
    std::string first;
};

}  // namespace

std::string dbCompactionCopyName(const std::string& fileName)
{
    return fileName + ".compact";
}

// One compaction. The file found is held through a dbDatabase that is never
// opened as a database: its file, its view of the header and its check of
// the committed layout are used, nothing else.
class dbCompaction {
public:
    dbCompaction(const char* name, dbCompactionRule compactionRule)
        : fileName(name), copyName(dbCompactionCopyName(name)), rule(compactionRule) {}
    dbCompactionResult run();

private:
    bool refuse(dbCompactionResult::Outcome outcome, const std::string& why, int error = 0);
    bool refuseCopy(const std::string& why, int error = 0);
    bool openFile();
    bool measure();
    bool worthIt();
    bool writeCopy();
    void planHealedTables();
    bool countItems(const dbHashTable& table, std::vector<bool>& met, size_t& items) const;
    oid_t storedSlot(const dbHashTable& table, uint32_t bucket) const;
    void layOut(uint64_t size);
    void relinkHealedTables(byte* to, const offs_t* index) const;
    bool checkCopy();
    bool putInPlace();
    const offs_t* committedIndex() const
    {
        return reinterpret_cast<const offs_t*>(found.baseAddr + root.index);
    }
    size_t objectSize(offs_t entry) const { return found.getObjectSize(entry); }

    dbDatabase found;  // the file found
    dbFile copy;
    std::string fileName, copyName;
    dbCompactionRule rule;
    dbCompactionResult result;
    dbHeaderRoot root{};  // the file's committed root
    // A hash table that the copy moves into the size this release gives it
    // (see hashtab.h), on page ids after the last one in use: its stored
    // form and the copy's size and first page id.
    struct HealedTable {
        oid_t id;
        dbHashTable stored;
        uint32_t size;
        oid_t page;
    };
    std::vector<HealedTable> healed;
    std::vector<oid_t> releasedPages;  // the healed tables' old page ids, free in the copy
    dbHeaderRoot copied{};  // the copy's root: the ids in use and free-id chain after the healing
};

dbCompactionResult dbCompactFile(const char* fileName, dbCompactionRule rule)
{
    return dbCompaction(fileName, rule).run();
}

dbCompactionResult dbCompaction::run()
{
    for (const dbTableDescriptor* t = dbTableDescriptor::chain; t != nullptr; t = t->next) {
        if (!t->fixedDatabase && t->db != nullptr && t->db != DETACHED_TABLE) {
            refuse(dbCompactionResult::dbFileInUse, "A database of this process is open");
            return result;
        }
    }
    if (openFile() && measure() && worthIt() && writeCopy() && checkCopy()) {
        putInPlace();
    }
    return result;
}

bool dbCompaction::refuse(dbCompactionResult::Outcome outcome, const std::string& why, int error)
{
    result.outcome = outcome;
    result.reason = error != 0 ? why + ": " + dbFile::errorText(error) : why;
    result.error = error;
    return false;
}

// A copy that cannot be finished is removed; the file stays as it was.
bool dbCompaction::refuseCopy(const std::string& why, int error)
{
    copy.close();
    dbFile::remove(copyName.c_str());
    return refuse(dbCompactionResult::dbNotCompacted, why, error);
}

bool dbCompaction::openFile()
{
    int rc = found.file.open(fileName.c_str(), false, dbFile::existingOnly);
    if (rc == ENOENT) {
        return refuse(dbCompactionResult::dbNothingToGain, "There is no file");
    }
    if (rc != 0) {
        return refuse(dbCompactionResult::dbNotCompacted, "Failed to open database file", rc);
    }
    // Held until the end: no other process opens the file meanwhile, and one
    // that waits for it finds the compacted file in its place.
    rc = found.file.lockAsUser();
    if (rc < 0) {
        return refuse(dbCompactionResult::dbNotCompacted, "Failed to lock database file", -rc);
    }
    if (rc == 0) {
        return refuse(dbCompactionResult::dbFileInUse, "Another process has the database open");
    }
    if (!found.file.replaceableByName()) {
        return refuse(dbCompactionResult::dbNotCompacted, "The file is reached through a link or is another user's");
    }
    found.file.reached(dbPointFileLocked);
    // Only a compaction holding this lock makes a copy: one found now was
    // left by a compaction that stopped.
    dbFile::remove(copyName.c_str());
    found.baseAddr = found.file.getBase();
    found.header = reinterpret_cast<dbHeader*>(found.baseAddr);
    return true;
}

// Reads the header and the committed root's bitmap pages only.
bool dbCompaction::measure()
{
    const uint64_t size = found.file.getSize();
    result.fileSize = size;
    if (size == 0) {
        return refuse(dbCompactionResult::dbNothingToGain, "The file is empty");
    }
    const dbHeader& h = *found.header;
    auto inFile = [&](uint64_t pos, uint64_t length) {
        return pos >= dbPageSize && pos % dbAllocationQuantum == 0 && length <= size && pos <= size - length;
    };
    if (size < dbPageSize || size % dbPageSize != 0 || h.initialized != 1 || h.curr > 1
        || (!h.dirty && h.size != size) || h.majorVersion != dbDatabaseMajorVersion
        || h.minorVersion != dbDatabaseMinorVersion) {
        return refuse(dbCompactionResult::dbNotCompacted, "The file is no database of this release");
    }
    root = h.root[h.curr];
    if (root.indexUsed < dbFirstUserId || root.indexUsed > root.indexSize
        || !inFile(root.index, 4 * uint64_t(root.indexSize))) {
        return refuse(dbCompactionResult::dbNotCompacted, "Database file was corrupted: invalid file layout");
    }
    const offs_t* index = committedIndex();
    const uint64_t quanta = size / dbAllocationQuantum;
    uint64_t used = 0, pages = 0;
    for (oid_t oid = dbBitmapId; isBitmapId(oid) && !isFree(index[oid]); oid++, pages++) {
        const offs_t entry = index[oid];
        if ((entry & dbInternalObjectMarker) != dbPageObjectMarker || !inFile(entry - dbPageObjectMarker, dbPageSize)) {
            return refuse(dbCompactionResult::dbNotCompacted, "Database file was corrupted: invalid file layout");
        }
        const byte* page = found.baseAddr + entry - dbPageObjectMarker;
        const uint64_t first = pages * quantaPerBitmapPage;
        const uint64_t covered = first < quanta ? std::min(quantaPerBitmapPage, quanta - first) : 0;
        for (uint64_t k = 0; k < covered / 8; k += sizeof(uint64_t)) {
            uint64_t word;
            std::memcpy(&word, page + k, sizeof word);
            used += uint64_t(std::popcount(word));
        }
    }
    result.inUse = used * dbAllocationQuantum;
    const uint64_t layout = dbPageSize + 4 * (uint64_t(root.indexSize) + root.shadowIndexSize) + pages * dbPageSize;
    result.compactedSize = compactedSizeFor(compactedCapacity(root), result.inUse > layout ? result.inUse - layout : 0);
    return true;
}

bool dbCompaction::worthIt()
{
    if (rule == dbMeasureOnly) {
        return refuse(dbCompactionResult::dbNothingToGain, "Measured only");
    }
    if (rule == dbCompactWhenWorthIt
        && (2 * result.inUse > result.fileSize || 3 * result.compactedSize > 2 * result.fileSize)) {
        return refuse(dbCompactionResult::dbNothingToGain, "Too little of the file is free");
    }
    // Everything the copy reads: every object inside the file and marked in
    // use, no two overlapping, the free-id chain and the table descriptors.
    if (!found.checkLayout()) {
        return refuse(dbCompactionResult::dbNotCompacted, "Database file was corrupted: invalid file layout");
    }
    return true;
}

bool dbCompaction::writeCopy()
{
    planHealedTables();
    const offs_t* index = committedIndex();
    uint64_t data = 0;
    for (oid_t oid = dbMetaTableId; oid < root.indexUsed; oid++) {
        if (!isBitmapId(oid) && !isFree(index[oid])) {
            data += alignUp(objectSize(index[oid]), dbAllocationQuantum);
        }
    }
    data += uint64_t(copied.indexUsed - root.indexUsed) * dbPageSize;
    data -= uint64_t(releasedPages.size()) * dbPageSize;
    const uint64_t size = compactedSizeFor(compactedCapacity(copied), data);
    result.compactedSize = size;
    if (size > dbFile::maxSize) {
        return refuse(dbCompactionResult::dbNotCompacted, "Failed to write the compacted copy", EFBIG);
    }
    int rc = copy.open(copyName.c_str(), false, dbFile::createNew);
    if (rc != 0) {
        return refuse(dbCompactionResult::dbNotCompacted, "Failed to write the compacted copy", rc);
    }
    found.file.reached(dbPointCopyMade);
    rc = copy.takeAccessOf(found.file);
    if (rc != 0) {
        return refuseCopy("Failed to give the compacted copy the file's group, permissions and attributes", rc);
    }
    rc = copy.setSize(size);
    if (rc != 0) {
        return refuseCopy("Failed to write the compacted copy", rc);
    }
    layOut(size);
    found.file.reached(dbPointCopyWritten);
    rc = copy.flushWhole();
    if (rc == 0) {
        rc = copy.close();
    }
    if (rc != 0) {
        return refuseCopy("Failed to write the compacted copy", rc);
    }
    found.file.reached(dbPointCopyClosed);
    return true;
}

// Finds the hash tables this release would move to a larger size (see
// hashtab.h) and gives each its new page ids after the last id in use. A
// table that is not whole and sound as the copy reads it (a page or item
// that is no such object, an item met twice or in another bucket than its
// code's) is copied as it is, so that the check of the copy finds what the
// start's check would have found.
void dbCompaction::planHealedTables()
{
    copied = root;
    const offs_t* index = committedIndex();
    std::vector<bool> met(root.indexUsed, false);
    for (oid_t oid = dbFirstUserId; oid < root.indexUsed; oid++) {
        const offs_t entry = index[oid];
        if (isFree(entry) || (entry & dbInternalObjectMarker) != dbHashTable::tableMarker) {
            continue;
        }
        dbHashTable stored;
        std::memcpy(&stored, found.baseAddr + (entry - dbHashTable::tableMarker), sizeof stored);
        size_t items = 0;
        if (!countItems(stored, met, items) || !dbHashTable::wantsGrowth(stored.size, items)) {
            continue;
        }
        const uint32_t size = dbHashTable::bucketsFor(std::max<size_t>(items, stored.size));
        dbHeaderRoot grown = copied;
        grown.indexUsed += (size + 1) / dbHandlesPerPage;
        if (grown.indexUsed < copied.indexUsed || compactedCapacity(grown) < grown.indexUsed) {
            continue;  // no room for its new page ids in the largest index: copied as it is
        }
        healed.push_back({oid, stored, size, copied.indexUsed});
        copied.indexUsed = grown.indexUsed;
        for (oid_t page = stored.page; page < stored.page + (stored.size + 1) / dbHandlesPerPage; page++) {
            releasedPages.push_back(page);
        }
    }
    for (const oid_t page : releasedPages) {
        copied.freeList = page;  // each links to the one before, the last to the file's chain
    }
}

bool dbCompaction::countItems(const dbHashTable& table, std::vector<bool>& met, size_t& items) const
{
    const offs_t* index = committedIndex();
    const uint64_t slots = uint64_t(table.size) + 1;
    const uint64_t pages = slots / dbHandlesPerPage;
    if (slots % dbHandlesPerPage != 0 || (slots & (slots - 1)) != 0 || table.page < dbFirstUserId
        || table.page + pages > root.indexUsed) {
        return false;
    }
    for (oid_t page = table.page; page < table.page + pages; page++) {
        if (isFree(index[page]) || (index[page] & dbInternalObjectMarker) != dbPageObjectMarker) {
            return false;
        }
    }
    for (uint32_t b = 0; b < table.size; b++) {
        for (oid_t item = storedSlot(table, b); item != 0;) {
            if (item >= root.indexUsed || met[item] || isFree(index[item])
                || (index[item] & dbInternalObjectMarker) != dbHashTable::itemMarker) {
                return false;
            }
            met[item] = true;
            dbHashTableItem read;
            std::memcpy(&read, found.baseAddr + (index[item] - dbHashTable::itemMarker), sizeof read);
            if (read.hash % table.size != b) {
                return false;
            }
            items += 1;
            item = read.next;
        }
    }
    return true;
}

oid_t dbCompaction::storedSlot(const dbHashTable& table, uint32_t bucket) const
{
    const offs_t page = committedIndex()[table.page + bucket / dbHandlesPerPage];
    oid_t item;
    std::memcpy(&item, found.baseAddr + (page - dbPageObjectMarker) + bucket % dbHandlesPerPage * sizeof(oid_t),
                sizeof item);
    return item;
}

// Moves the items of each healed table into its new pages in the copy,
// chain by chain as the file holds them; their links are written in the
// copy's items, and the copy's table object takes the new size and pages.
void dbCompaction::relinkHealedTables(byte* to, const offs_t* index) const
{
    for (const HealedTable& t : healed) {
        auto slotOf = [&](oid_t firstPage, uint32_t bucket) {
            return reinterpret_cast<oid_t*>(to + (index[firstPage + bucket / dbHandlesPerPage] - dbPageObjectMarker))
                   + bucket % dbHandlesPerPage;
        };
        auto walk = [&](auto&& visit) {
            for (uint32_t b = 0; b < t.stored.size; b++) {
                for (oid_t item = storedSlot(t.stored, b); item != 0;) {
                    dbHashTableItem read;
                    std::memcpy(&read, to + (index[item] - dbHashTable::itemMarker), sizeof read);
                    visit(b, item, read);
                    item = read.next;
                }
            }
        };
        const uint32_t filled = dbHashTable::relink(
            t.size, walk, [&](uint32_t bucket) { return *slotOf(t.page, bucket); },
            [&](uint32_t bucket, oid_t item) { *slotOf(t.page, bucket) = item; },
            [&](oid_t item, oid_t next) {
                std::memcpy(to + (index[item] - dbHashTable::itemMarker) + offsetof(dbHashTableItem, next), &next,
                            sizeof next);
            });
        const dbHashTable table{t.size, filled, t.page};
        std::memcpy(to + (index[t.id] - dbHashTable::tableMarker), &table, sizeof table);
    }
}

void dbCompaction::layOut(uint64_t size)
{
    byte* to = copy.getBase();
    const byte* from = found.baseAddr;
    const offs_t* committed = committedIndex();
    const uint32_t n = compactedCapacity(copied);
    const uint64_t bitmapPos = dbPageSize + 8 * uint64_t(n);
    const uint64_t bitmapPages = size / sizeStep;
    offs_t* index = reinterpret_cast<offs_t*>(to + dbPageSize);

    uint64_t pos = bitmapPos + bitmapPages * dbPageSize;
    for (size_t k = 0; k < releasedPages.size(); k++) {
        index[releasedPages[k]] = dbFreeHandleMarker + (k == 0 ? root.freeList : releasedPages[k - 1]);
    }
    for (bool wholePages : {true, false}) {
        for (oid_t oid = dbMetaTableId; oid < root.indexUsed; oid++) {
            const offs_t entry = committed[oid];
            if (isBitmapId(oid) || isFree(entry)) {
                index[oid] = entry;  // a free id keeps its link in the chain
                continue;
            }
            if (isFree(index[oid])) {
                continue;  // an old page of a healed table
            }
            const size_t length = objectSize(entry);
            if ((length % dbPageSize == 0) != wholePages) {
                continue;
            }
            const offs_t marker = entry & dbInternalObjectMarker;
            std::memcpy(to + pos, from + (entry - marker), length);
            index[oid] = offs_t(pos) + marker;
            pos += alignUp(length, dbAllocationQuantum);
        }
        for (oid_t oid = root.indexUsed; wholePages && oid < copied.indexUsed; oid++) {
            index[oid] = offs_t(pos) + dbPageObjectMarker;  // a healed table's new page, zero
            pos += dbPageSize;
        }
    }
    dbAssert(pos <= size);
    relinkHealedTables(to, index);
    index[0] = dbFreeHandleMarker;
    for (uint64_t k = 0; k < dbBitmapPages; k++) {
        index[dbBitmapId + k] =
            k < bitmapPages ? offs_t(bitmapPos + k * dbPageSize + dbPageObjectMarker) : dbFreeHandleMarker;
    }
    std::memcpy(index + n, index, n * sizeof(offs_t));

    // Everything before pos is in use: header, indexes, bitmap and objects.
    byte* bitmap = to + bitmapPos;
    const uint64_t usedQuanta = pos / dbAllocationQuantum;
    std::memset(bitmap, 0xFF, usedQuanta / 8);
    if (usedQuanta % 8 != 0) {
        bitmap[usedQuanta / 8] = byte((1u << (usedQuanta % 8)) - 1);
    }

    std::memcpy(to + sizeof(dbHeader), from + sizeof(dbHeader), dbPageSize - sizeof(dbHeader));
    dbHeader h = *found.header;  // the version words
    h.size = uint32_t(size);
    h.curr = 0;
    h.dirty = 0;
    h.initialized = 1;
    h.root[0] = {offs_t(dbPageSize), offs_t(dbPageSize + 4 * uint64_t(n)), n, n, copied.indexUsed, copied.freeList};
    h.root[1] = {offs_t(dbPageSize + 4 * uint64_t(n)), offs_t(dbPageSize), n, n, copied.indexUsed, copied.freeList};
    std::memcpy(to, &h, sizeof h);
}

bool dbCompaction::checkCopy()
{
    CopyCheck check;
    const bool sound = check.open("compaction", copyName.c_str()) && check.checkIndexes() && !check.damageFound();
    check.close();
    if (!sound) {
        return refuseCopy("The compacted copy failed its check" + (check.first.empty() ? "" : ": " + check.first));
    }
    found.file.reached(dbPointCopyChecked);
    return true;
}

bool dbCompaction::putInPlace()
{
    bool renamed = false;
    const int rc = dbFile::replace(copyName.c_str(), fileName.c_str(), renamed);
    if (!renamed) {
        return refuseCopy("Failed to put the compacted copy in place", rc);
    }
    // A folder that could not be synced leaves the rename to the system: the
    // name leads to one whole file or the other.
    result.outcome = dbCompactionResult::dbCompacted;
    result.error = rc;
    found.file.reached(dbPointCopyInPlace);
    return true;
}
