// Scheme load: the application's table descriptors are matched against the
// stored descriptors (the rows of the Metatable) when a database opens. A
// table of the same layout is attached as it is; a table stored in a
// declared earlier layout (dbFormerLayout) is converted row by row (only by
// the process that initialises the database); missing tables and indexes
// are created and indexes no longer asked for are dropped. Any other stored
// layout fails the open before anything is written.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/class.h"
#include "engine/hashtab.h"
#include "engine/ttree.h"

namespace {

const dbTable* tableRow(dbDatabase* db, oid_t id) { return reinterpret_cast<const dbTable*>(db->get(id)); }

const char* storedName(const dbTable* row) { return reinterpret_cast<const char*>(row) + row->name.offs; }

const dbField* storedFields(const dbTable* row)
{
    return reinterpret_cast<const dbField*>(reinterpret_cast<const byte*>(row) + row->fields.offs);
}

// Whether a Metatable row is sound enough to be read as a descriptor.
bool soundDescriptor(const dbTable* row)
{
    return dbTableDescriptor::storedRowSound(reinterpret_cast<const byte*>(row), false);
}

// The first stored descriptor row, along the Metatable's list, that `wanted`
// takes (called with each sound row until one is taken or an unsound one
// ends the list); 0 when none.
template <class Wanted>
oid_t findStored(dbDatabase* db, Wanted wanted)
{
    const dbTable* meta = tableRow(db, dbMetaTableId);
    oid_t id = meta != nullptr ? meta->firstRow : 0;
    for (std::uint32_t steps = 0; id != 0 && steps < db->getIndexSize(); steps++) {
        const dbTable* row = tableRow(db, id);
        if (row == nullptr || !soundDescriptor(row)) {
            return 0;
        }
        if (wanted(row)) {
            return id;
        }
        id = row->hdr.next;
    }
    return 0;
}

// The stored descriptor row of a table by name, 0 when none.
oid_t findStoredTable(dbDatabase* db, const char* name)
{
    return findStored(db, [&](const dbTable* row) { return std::strcmp(storedName(row), name) == 0; });
}

// Whether a descriptor of the static chain is one this database attaches.
bool attachable(const dbTableDescriptor* desc, const dbDatabase* db)
{
    return !desc->fixedDatabase || desc->db == db;
}

// Why the stored layout of table t cannot be used as this program describes
// it (null when it can); stored and same tell what was found. A layout that
// is not the same is a declared earlier one (knownLayouts has refused any
// other), converted only by the process that may alter the file.
const char* layoutMismatch(dbDatabase* db, dbTableDescriptor* t, bool alter, bool writable, oid_t& stored, bool& same)
{
    stored = findStoredTable(db, t->name);
    same = false;
    if (stored != 0) {
        const dbTable* row = tableRow(db, stored);
        same = t->equal(reinterpret_cast<const byte*>(row));
        if (!same && (!alter || !writable || !t->match(reinterpret_cast<const byte*>(row), row->nRows != 0))) {
            return "Incompatible class definition in application";
        }
    } else if (!writable) {
        return "New table definition can not be added to read only database";
    }
    return nullptr;
}

struct PlannedTable {
    dbTableDescriptor* table;
    oid_t stored;  // 0: a new table
    bool same;     // stored layout equals the descriptor's
};

}  // namespace

bool dbDatabase::loadScheme(bool alter)
{
    bool writable = accessType != dbReadOnly && accessType != dbConcurrentRead;
    if (!beginTransaction(writable ? dbExclusiveLock : dbSharedLock)) {
        return false;
    }
    auto fail = [this](const char* msg) {
        handleError(DatabaseOpenError, msg);
        rollback();
        return false;
    };

    // First every descriptor is matched, before anything is written, so that
    // a refused change leaves the file as it was.
    if (!knownLayouts()) {
        rollback();
        return false;
    }
    detachTables();
    std::vector<PlannedTable> plan;
    for (dbTableDescriptor* desc = dbTableDescriptor::chain; desc != nullptr; desc = desc->next) {
        if (!attachable(desc, this)) {
            continue;  // made for another database
        }
        dbTableDescriptor* t = desc->db == DETACHED_TABLE ? desc->clone() : desc;
        for (dbFieldDescriptor* fd = t->firstField; fd != nullptr; fd = fd->nextField) {
            fd->hashTable = fd->tTree = 0;
            fd->attr &= ~dbFieldDescriptor::Updated;
        }
        oid_t stored;
        bool same;
        if (const char* mismatch = layoutMismatch(this, t, alter, writable, stored, same)) {
            return fail(mismatch);
        }
        plan.push_back({t, stored, same});
    }

    try {
        std::vector<oid_t> rewritten;  // descriptors written in this transaction
        for (PlannedTable& p : plan) {
            dbTableDescriptor* t = p.table;
            if (p.stored != 0 && p.same) {
                const dbField* entry = storedFields(tableRow(this, p.stored));
                for (dbFieldDescriptor* fd = t->firstField; fd != nullptr; fd = fd->nextField, entry++) {
                    fd->hashTable = entry->hashTable;
                    fd->tTree = entry->tTree;
                }
            } else if (p.stored != 0) {
                convertTable(t, p.stored);
                rewritten.push_back(p.stored);
            } else {
                std::size_t size = t->metaRowSize();
                p.stored = allocateRow(dbMetaTableId, size);
                if (p.stored == 0) {
                    throw dbTransactionFailed{};
                }
                t->storeInDatabase(dbMustPut(this, p.stored));
                rewritten.push_back(p.stored);
            }
            t->tableId = p.stored;
            t->clearDamageMarks();
            t->db = this;
            t->nextDbTable = tables;
            tables = t;
        }
        if (writable) {
            for (PlannedTable& p : plan) {
                bool fresh = std::find(rewritten.begin(), rewritten.end(), p.stored) != rewritten.end();
                if (!alterIndexes(p.table, alter || fresh)) {
                    return fail("Failed to alter indices with active applications");
                }
            }
        }
    } catch (dbTransactionFailed&) {
        rollback();
        return false;
    }
    checkReferences();
    return commit();
}

// Whether the stored layouts suit the program's descriptors, found before
// the file is written to at all (reported when not). Reads the committed
// state; the descriptors are left as they were.
bool dbDatabase::schemeAcceptable(bool alter)
{
    if (!knownLayouts()) {
        return false;
    }
    bool writable = accessType != dbReadOnly && accessType != dbConcurrentRead;
    bool changes = false;  // a table to add or convert
    for (dbTableDescriptor* desc = dbTableDescriptor::chain; desc != nullptr; desc = desc->next) {
        if (!attachable(desc, this)) {
            continue;
        }
        std::unique_ptr<dbTableDescriptor> t(desc->clone());
        oid_t stored;
        bool same;
        if (const char* mismatch = layoutMismatch(this, t.get(), alter, writable, stored, same)) {
            refuseFile(mismatch);  // a layout this program cannot use
            return false;
        }
        changes |= !same;
    }
    // A table is added or converted only where each record is accounted for:
    // a table the Metatable's list no longer reaches would otherwise come
    // back empty beside its rows, and a conversion would follow a damaged
    // list into rows of another table.
    if (changes && !everyRecordListed()) {
        refuseFile(invalidRecordText);
        return false;
    }
    return true;
}

// Whether every stored table layout is one this program reads: its own, or
// an earlier one it converts (see dbFormerLayout). A file that also holds
// tables or fields this program does not know was written by a later
// release of the program when that is all it differs in: every table of
// this program is stored, each in this program's layout or that layout
// with fields added (see dbFileNewerRelease). Any other layout is damage,
// whatever it resembles (dbFileNotDatabase): a field moved, resized or
// renamed, one missing while others are unknown, an earlier layout in a
// later release's file. Either way the open is refused, reported, before
// anything is written: nothing is converted but a declared earlier layout,
// and a table this program does not know is never converted or dropped.
bool dbDatabase::knownLayouts()
{
    bool later = false, lacking = false, earlier = false, damaged = false;
    for (dbTableDescriptor* desc = dbTableDescriptor::chain; desc != nullptr; desc = desc->next) {
        if (!attachable(desc, this)) {
            continue;
        }
        const oid_t stored = findStoredTable(this, desc->name);
        if (stored == 0) {
            lacking = true;
            continue;
        }
        const byte* row = reinterpret_cast<const byte*>(tableRow(this, stored));
        if (desc->equal(row)) {
            continue;
        }
        const bool extended = desc->extendedIn(row);
        const bool former = !extended && dbFormerLayout::declared(desc->name, row);
        later |= extended;
        earlier |= former;
        damaged |= !extended && !former;
    }
    later |= findStored(this, [&](const dbTable* row) {
                 for (dbTableDescriptor* desc = dbTableDescriptor::chain; desc != nullptr; desc = desc->next) {
                     if (attachable(desc, this) && std::strcmp(storedName(row), desc->name) == 0) {
                         return false;
                     }
                 }
                 return true;
             }) != 0;
    if (damaged || (later && (lacking || earlier))) {
        refuseFile("Incompatible class definition in application");
        return false;
    }
    if (later) {
        openFailed = dbFileNewerRelease;
        reportOpenError("Incompatible class definition in application");
        return false;
    }
    return true;
}

// Rewrites a changed table's stored descriptor and converts its rows to the
// new layout (old offsets and types recorded by match). The table's indexes
// are dropped; alterIndexes builds them again.
void dbDatabase::convertTable(dbTableDescriptor* t, oid_t stored)
{
    const dbTable* old = tableRow(this, stored);
    std::vector<byte> oldRow(reinterpret_cast<const byte*>(old), reinterpret_cast<const byte*>(old) + old->hdr.size);
    const dbTable* copy = reinterpret_cast<const dbTable*>(oldRow.data());
    const dbField* entry = storedFields(copy);
    for (std::uint32_t i = 0; i < copy->fields.size; i++) {
        if (entry[i].hashTable != 0 && !dbHashTable::drop(this, entry[i].hashTable)) {
            throw dbTransactionFailed{};
        }
        if (entry[i].tTree != 0 && !dbTtree::drop(this, entry[i].tTree)) {
            throw dbTransactionFailed{};
        }
    }
    std::size_t size = t->metaRowSize();
    dbRecord* rec = putRow(stored, size);
    if (rec == nullptr) {
        throw dbTransactionFailed{};
    }
    byte* row = reinterpret_cast<byte*>(rec);
    std::memset(row + sizeof(dbRecord), 0, size - sizeof(dbRecord));
    t->storeInDatabase(row);
    dbTable* desc = reinterpret_cast<dbTable*>(row);
    desc->nRows = copy->nRows;
    desc->firstRow = copy->firstRow;
    desc->lastRow = copy->lastRow;

    oid_t id = copy->firstRow;
    for (std::uint32_t steps = 0; id != 0 && steps < currIndexSize; steps++) {
        const dbRecord* r = getRow(id);
        if (r == nullptr || (currIndex[id] & dbInternalObjectMarker) != 0) {
            break;
        }
        std::vector<byte> before(reinterpret_cast<const byte*>(r), reinterpret_cast<const byte*>(r) + r->size);
        std::size_t newSize = dbFieldDescriptor::sizeAfterConversion(t->columns, before.data(), t->fixedSize);
        dbRecord* w = putRow(id, newSize);
        if (w == nullptr) {
            throw dbTransactionFailed{};
        }
        byte* dst = reinterpret_cast<byte*>(w);
        std::memset(dst + sizeof(dbRecord), 0, newSize - sizeof(dbRecord));
        dbFieldDescriptor::convertRecord(t->columns, dst, before.data(), t->fixedSize);
        id = w->next;
    }
}

oid_t dbDatabase::buildIndex(dbTableDescriptor* t, dbFieldDescriptor* fd, bool hash)
{
    const dbTable* desc = tableRow(this, t->tableId);
    const std::size_t expected = 2 * claimedRows(desc);
    const oid_t index = hash ? dbHashTable::allocate(this, expected) : dbTtree::allocate(this);
    if (index == 0) {
        throw dbTransactionFailed{};
    }
    std::vector<oid_t> rows;
    rows.reserve(claimedRows(desc));
    oid_t id = desc->firstRow;
    for (std::uint32_t steps = 0; id != 0 && steps < currIndexSize; steps++) {
        const dbRecord* r = getRow(id);
        if (r == nullptr || (currIndex[id] & dbInternalObjectMarker) != 0) {
            break;
        }
        rows.push_back(id);
        tellRebuilding(rows.size());
        id = r->next;
    }
    if (!hash) {  // from the keys in order, not a row at a time
        if (!dbTtree::build(this, index, std::move(rows), fd->type, fd->dbsSize, fd->comparator, fd->dbsOffs)) {
            throw dbTransactionFailed{};
        }
        return index;
    }
    for (std::size_t i = 0; i < rows.size(); i++) {
        if (!dbHashTable::insert(this, index, rows[i], fd->type, fd->dbsSize, fd->dbsOffs, expected)) {
            throw dbTransactionFailed{};
        }
        tellRebuilding(i + 1);
    }
    return index;
}

void dbDatabase::storeIndexIds(dbTableDescriptor* t, dbFieldDescriptor* fd)
{
    dbTable* w = reinterpret_cast<dbTable*>(dbMustPut(this, t->tableId));
    dbField* entry = reinterpret_cast<dbField*>(reinterpret_cast<byte*>(w) + w->fields.offs) + fd->fieldNo;
    entry->hashTable = fd->hashTable;
    entry->tTree = fd->tTree;
}

// Creates the indexes the descriptor asks for and drops those it no longer
// asks for; false when that is not allowed (may is clear).
bool dbDatabase::alterIndexes(dbTableDescriptor* t, bool may)
{
    for (dbFieldDescriptor* fd = t->firstField; fd != nullptr; fd = fd->nextField) {
        if (fd->type == dbField::tpStructure || (fd->attr & dbFieldDescriptor::ComponentOfArray)) {
            continue;
        }
        bool wantHash = (fd->indexType & dbHashed) != 0, wantTree = (fd->indexType & dbIndexed) != 0;
        bool changed = false;
        if (wantHash != (fd->hashTable != 0)) {
            if (!may) {
                return false;
            }
            if (wantHash) {
                fd->hashTable = buildIndex(t, fd, true);
            } else {
                if (!dbHashTable::drop(this, fd->hashTable)) {
                    throw dbTransactionFailed{};
                }
                fd->hashTable = 0;
            }
            changed = true;
        }
        if (wantTree != (fd->tTree != 0)) {
            if (!may) {
                return false;
            }
            if (wantTree) {
                fd->tTree = buildIndex(t, fd, false);
            } else {
                if (!dbTtree::drop(this, fd->tTree)) {
                    throw dbTransactionFailed{};
                }
                fd->tTree = 0;
            }
            changed = true;
        }
        if (changed) {
            storeIndexIds(t, fd);
        }
    }
    return true;
}

// Resolves references to the attached descriptors and checks inverse
// references (reported, not fatal).
void dbDatabase::checkReferences()
{
    for (dbTableDescriptor* t = tables; t != nullptr; t = t->nextDbTable) {
        for (dbFieldDescriptor* fd = t->firstField; fd != nullptr; fd = fd->nextField) {
            dbFieldDescriptor* refField = fd->type == dbField::tpArray ? fd->components : fd;
            if (refField->refTable != nullptr && refField->refTable->db != this) {
                if (dbTableDescriptor* attached = findTable(refField->refTable->name)) {
                    refField->refTable = attached;
                }
            }
        }
    }
    char buf[512];
    for (dbTableDescriptor* t = tables; t != nullptr; t = t->nextDbTable) {
        for (dbFieldDescriptor* fd = t->inverseFields; fd != nullptr; fd = fd->nextInverseField) {
            dbFieldDescriptor* refField = fd->type == dbField::tpArray ? fd->components : fd;
            dbTableDescriptor* target = refField->refTable;
            dbFieldDescriptor* inv = target != nullptr ? target->find(fd->inverseRefName) : nullptr;
            if (inv == nullptr) {
                std::snprintf(buf, sizeof buf, "Failed to locate inverse reference field %s.%s for field %s.%s",
                              target != nullptr ? target->name : "", fd->inverseRefName, t->name, fd->longName);
                handleError(InconsistentInverseReference, buf);
                fd->inverseRef = nullptr;
            } else if (inv->inverseRefName == nullptr || std::strcmp(inv->inverseRefName, fd->name) != 0) {
                std::snprintf(buf, sizeof buf, "Inverse references for field %s.%s is %s.%s, but its inverse reference is %s",
                              t->name, fd->longName, target->name, inv->longName,
                              inv->inverseRefName != nullptr ? inv->inverseRefName : "(none)");
                handleError(InconsistentInverseReference, buf);
                fd->inverseRef = nullptr;
            } else {
                fd->inverseRef = inv;
            }
        }
    }
}

void dbDatabase::detachTables()
{
    dbTableDescriptor* t = tables;
    tables = nullptr;
    strayRecords = false;
    while (t != nullptr) {
        dbTableDescriptor* next = t->nextDbTable;
        t->tableId = 0;
        t->clearDamageMarks();
        t->nextDbTable = nullptr;
        if (t->cloneOf != nullptr) {
            delete t;
        } else if (!t->fixedDatabase) {
            t->db = nullptr;
        }
        t = next;
    }
}

// Writes the Metatable's description of itself (object id 1) into a new file.
bool dbDatabase::storeMetatableDescriptor()
{
    dbTableDescriptor* meta = dbMetaTableDescriptor();
    std::size_t size = meta->metaRowSize();
    offs_t pos = allocateSpace(size, 0);
    if (pos == 0) {
        return false;
    }
    byte* row = baseAddr + pos;
    std::memset(row, 0, size);
    reinterpret_cast<dbRecord*>(row)->size = std::uint32_t(size);
    meta->storeInDatabase(row);
    setEntry(dbMetaTableId, pos);
    return true;
}
