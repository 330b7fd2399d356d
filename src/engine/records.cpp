// Record operations: insert, update, remove and fetch of rows, deleting a
// table, and the back references of inverse reference fields. Every change
// works inside the calling thread's exclusive transaction and through the
// storage's copy on write, so a rollback or a crash returns to the last
// committed state.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "engine/class.h"
#include "engine/hashtab.h"
#include "engine/radixsort.h"
#include "engine/ttree.h"

struct dbDatabase::RemovalLink {
    oid_t oid;
    RemovalLink* next;
};

namespace {

// A zeroed application object of a table's class, for rewriting rows the
// caller did not pass (back references). Frees the arrays it owns.
class TempRecord {
  public:
    explicit TempRecord(dbTableDescriptor* t) : table(t), data(t->appSize + 16, 0) {}
    ~TempRecord()
    {
        if (filled) {
            dbFieldDescriptor::clearRecordFields(table->columns, get());
        }
    }
    byte* get() { return data.data(); }
    dbTableDescriptor* table;
    std::vector<byte> data;
    bool filled = false;
};

// A zeroed work buffer in the caller's frame, from the heap when large.
class SmallBuffer {
  public:
    explicit SmallBuffer(std::size_t size)
    {
        if (size > sizeof local) {
            heap.reset(new byte[size]);
        }
        std::memset(get(), 0, size);
    }
    byte* get() { return heap ? heap.get() : local; }

  private:
    alignas(8) byte local[512];
    std::unique_ptr<byte[]> heap;
};

const char* const invalidRecord = dbDatabase::invalidRecordText;
const char* const invalidIndex = dbDatabase::invalidIndexText;

thread_local std::uint64_t damageMet = 0;  // see dbDamageMetByThisThread

oid_t readOid(const byte* p)
{
    oid_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

// The record operations' helpers; a friend of dbDatabase.
struct dbRecordOps {
    // Whether row oid is a record of at least the table's fixed size whose
    // varying parts all lie inside it.
    static bool validRow(dbDatabase* db, dbTableDescriptor* table, oid_t oid)
    {
        const dbRecord* row = db->findRecord(oid);
        return row != nullptr && row->size >= table->fixedSize &&
               dbFieldDescriptor::checkRecord(table->columns, reinterpret_cast<const byte*>(row), 0, row->size);
    }

    // Runs one change of field fd's index (false: it failed). A broken index
    // takes no changes, and damage met now marks it broken.
    template <class Change>
    static void changeIndex(dbDatabase* db, dbFieldDescriptor* fd, Change&& change)
    {
        if (fd->indexBroken) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidIndex);
            throw dbTransactionFailed{};
        }
        dbIndexWatch watch(db, fd);
        if (!change()) {
            throw dbTransactionFailed{};
        }
    }

    static void addKeys(dbDatabase* db, dbTableDescriptor* table, oid_t oid, std::size_t nRows, bool onlyUpdated)
    {
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->hashTable != 0) {
                changeIndex(db, fd, [&] {
                    return dbHashTable::insert(db, fd->hashTable, oid, fd->type, fd->dbsSize, fd->dbsOffs, nRows);
                });
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->tTree != 0) {
                changeIndex(db, fd, [&] {
                    return dbTtree::insert(db, fd->tTree, oid, fd->type, fd->dbsSize, fd->comparator, fd->dbsOffs);
                });
            }
        }
    }

    static void removeKeys(dbDatabase* db, dbTableDescriptor* table, oid_t oid, bool onlyUpdated)
    {
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->hashTable != 0) {
                changeIndex(db, fd, [&] {
                    return dbHashTable::remove(db, fd->hashTable, oid, fd->type, fd->dbsSize, fd->dbsOffs);
                });
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if ((!onlyUpdated || (fd->attr & dbFieldDescriptor::Updated)) && fd->tTree != 0) {
                changeIndex(db, fd, [&] {
                    return dbTtree::remove(db, fd->tTree, oid, fd->type, fd->dbsSize, fd->comparator, fd->dbsOffs);
                });
            }
        }
    }

    // Whether row oid already holds exactly what storing the application
    // object would write: same size, same bytes after the row header. Such
    // an update changes nothing (its back references and keys included).
    static bool storedAsIs(dbDatabase* db, dbTableDescriptor* table, oid_t oid, const byte* obj)
    {
        if (!validRow(db, table, oid)) {
            return false;  // the rewrite reports it
        }
        const dbRecord* row = db->getRow(oid);
        const std::size_t size = table->recordSize(obj);
        if (row->size != size) {
            return false;
        }
        SmallBuffer packed(size);
        std::memcpy(packed.get(), row, sizeof(dbRecord));
        dbFieldDescriptor::storeRecordFields(table->columns, packed.get(), obj, table->fixedSize);
        return std::memcmp(packed.get(), row, size) == 0;
    }

    // Whether record oid is laid out exactly as the table stores its rows:
    // a valid row of its layout that its own values, stored again, give
    // byte for byte.
    static bool storedAs(dbDatabase* db, dbTableDescriptor* table, oid_t oid)
    {
        TempRecord values(table);
        return fetchTarget(db, table, oid, values) && storedAsIs(db, table, oid, values.get());
    }

    // Rewrites row oid from an application object: new area when needed
    // (a committed row always moves), indexes touched only for the indexed
    // fields whose value changed; with `inverse`, the back references of
    // the record's inverse fields follow the change.
    static void rewrite(dbDatabase* db, dbTableDescriptor* table, oid_t oid, const byte* obj, bool inverse)
    {
        // A row reached through a broken list may be no row of this table
        // (another table's, a table descriptor): nothing is written there.
        if (table->rowListBroken || !validRow(db, table, oid)) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidRecord);
            throw dbTransactionFailed{};
        }
        // Back references first: rewriting a target of the same table uses
        // the same descriptors' change marks.
        if (inverse && table->inverseFields != nullptr) {
            struct Updating {
                dbDatabase* db;
                oid_t saved;
                ~Updating() { db->updatedRecordId = saved; }
            } updating{db, db->updatedRecordId};
            db->updatedRecordId = oid;
            for (dbFieldDescriptor* fd = table->inverseFields; fd != nullptr; fd = fd->nextInverseField) {
                updateInverse(db, fd, oid, db->get(oid), obj);
            }
        }
        const byte* old = db->get(oid);
        std::size_t newSize = table->recordSize(obj);
        bool anyChanged = false;
        for (dbFieldDescriptor* fd = table->firstField; fd != nullptr; fd = fd->nextField) {
            fd->attr &= ~dbFieldDescriptor::Updated;
            if ((fd->indexType & (dbHashed | dbIndexed)) && fd->type != dbField::tpStructure &&
                !(fd->attr & dbFieldDescriptor::ComponentOfArray) && fd->type != dbField::tpArray &&
                fd->differs(old, obj)) {
                fd->attr |= dbFieldDescriptor::Updated;
                anyChanged = true;
            }
        }
        if (anyChanged) {
            removeKeys(db, table, oid, true);
        }
        const byte* before = db->get(oid);
        dbRecord* row = db->putRow(oid, newSize);
        if (row == nullptr) {
            throw dbTransactionFailed{};
        }
        byte* dst = reinterpret_cast<byte*>(row);
        if (dst == before) {
            // In place: the object's texts may point into this very row, so
            // the new contents are packed aside first.
            SmallBuffer buffer(newSize);
            std::memcpy(buffer.get(), dst, sizeof(dbRecord));
            dbFieldDescriptor::storeRecordFields(table->columns, buffer.get(), obj, table->fixedSize);
            std::memcpy(dst, buffer.get(), newSize);
        } else {
            std::memset(dst + sizeof(dbRecord), 0, newSize - sizeof(dbRecord));
            dbFieldDescriptor::storeRecordFields(table->columns, dst, obj, table->fixedSize);
        }
        if (anyChanged) {
            addKeys(db, table, oid, 0, true);
            for (dbFieldDescriptor* fd = table->firstField; fd != nullptr; fd = fd->nextField) {
                fd->attr &= ~dbFieldDescriptor::Updated;
            }
        }
        db->updateCursors(oid, false);
    }

    // The references an inverse field holds in a stored row, or in an
    // application object.
    static std::vector<oid_t> storedRefs(const dbFieldDescriptor* fd, const byte* row)
    {
        std::vector<oid_t> refs;
        const byte* p = row + fd->dbsOffs;
        if (fd->type == dbField::tpReference) {
            refs.push_back(readOid(p));
        } else {
            dbVarying v;
            std::memcpy(&v, p, sizeof v);
            for (std::uint32_t i = 0; i < v.size; i++) {
                refs.push_back(readOid(row + v.offs + i * sizeof(oid_t)));
            }
        }
        return refs;
    }

    static std::vector<oid_t> objectRefs(const dbFieldDescriptor* fd, const byte* obj)
    {
        std::vector<oid_t> refs;
        const byte* p = obj + fd->appOffs;
        if (fd->type == dbField::tpReference) {
            refs.push_back(readOid(p));
        } else {
            const dbAnyArray* arr = reinterpret_cast<const dbAnyArray*>(p);
            const byte* items = static_cast<const byte*>(arr->base());
            for (std::size_t i = 0; i < arr->length(); i++) {
                refs.push_back(readOid(items + i * sizeof(oid_t)));
            }
        }
        return refs;
    }

    static void updateInverse(dbDatabase* db, dbFieldDescriptor* fd, oid_t oid, const byte* row, const byte* obj)
    {
        std::vector<oid_t> before = storedRefs(fd, row);
        std::vector<oid_t> after = objectRefs(fd, obj);
        auto contains = [](const std::vector<oid_t>& list, oid_t id) {
            return std::find(list.begin(), list.end(), id) != list.end();
        };
        for (oid_t target : before) {
            if (target != 0 && !contains(after, target)) {
                removeInverseReference(db, fd, target, oid);
            }
        }
        for (oid_t target : after) {
            if (target != 0 && !contains(before, target)) {
                insertInverseReference(db, fd, target, oid);
            }
        }
    }

    // Reads target into a temporary object of its class; false when the
    // target is not a sound record of that class.
    static bool fetchTarget(dbDatabase* db, dbTableDescriptor* table, oid_t target, TempRecord& tmp)
    {
        if (!validRow(db, table, target)) {
            return false;
        }
        dbFieldDescriptor::fetchRecordFields(table->columns, tmp.get(), db->get(target));
        tmp.filled = true;
        return true;
    }

    static void insertInverseReference(dbDatabase* db, dbFieldDescriptor* fd, oid_t target, oid_t source)
    {
        dbFieldDescriptor* inv = fd->inverseRef;
        if (target == source || inv == nullptr) {
            return;
        }
        dbTableDescriptor* targetTable = inv->defTable;
        TempRecord tmp(targetTable);
        if (!fetchTarget(db, targetTable, target, tmp)) {
            return;
        }
        byte* p = tmp.get() + inv->appOffs;
        if (inv->type == dbField::tpReference) {
            std::memcpy(p, &source, sizeof source);
        } else {
            dbAnyArray* arr = reinterpret_cast<dbAnyArray*>(p);
            std::vector<oid_t> ids = objectRefs(inv, tmp.get());
            ids.push_back(source);
            inv->arraySetter(arr, nullptr, ids.size(), sizeof(oid_t));
            std::memcpy(arr->base(), ids.data(), ids.size() * sizeof(oid_t));
        }
        rewrite(db, targetTable, target, tmp.get(), false);
    }

    static bool beingRemoved(dbDatabase* db, oid_t oid)
    {
        for (dbDatabase::RemovalLink* l = db->removalChain; l != nullptr; l = l->next) {
            if (l->oid == oid) {
                return true;
            }
        }
        return false;
    }

    static void removeInverseReference(dbDatabase* db, dbFieldDescriptor* fd, oid_t target, oid_t source)
    {
        dbFieldDescriptor* inv = fd->inverseRef;
        if (target == source || target == db->updatedRecordId || inv == nullptr || db->get(target) == nullptr ||
            beingRemoved(db, target)) {
            return;
        }
        dbTableDescriptor* targetTable = inv->defTable;
        TempRecord tmp(targetTable);
        if (!fetchTarget(db, targetTable, target, tmp)) {
            return;
        }
        std::vector<oid_t> ids = objectRefs(inv, tmp.get());
        if ((fd->indexType & dbOwner) && (inv->type == dbField::tpReference || ids.size() < 2)) {
            removeRecord(db, targetTable, target);
            return;
        }
        byte* p = tmp.get() + inv->appOffs;
        if (inv->type == dbField::tpReference) {
            if (readOid(p) != source) {
                return;
            }
            oid_t none = 0;
            std::memcpy(p, &none, sizeof none);
        } else {
            auto it = std::find(ids.begin(), ids.end(), source);
            if (it == ids.end()) {
                return;
            }
            ids.erase(it);
            dbAnyArray* arr = reinterpret_cast<dbAnyArray*>(p);
            inv->arraySetter(arr, nullptr, ids.size(), sizeof(oid_t));
            if (!ids.empty()) {
                std::memcpy(arr->base(), ids.data(), ids.size() * sizeof(oid_t));
            }
        }
        rewrite(db, targetTable, target, tmp.get(), false);
    }

    static void removeInverseReferences(dbDatabase* db, dbTableDescriptor* table, oid_t oid)
    {
        if (table->inverseFields == nullptr || !validRow(db, table, oid)) {
            return;
        }
        dbDatabase::RemovalLink link{oid, db->removalChain};
        db->removalChain = &link;
        try {
            for (dbFieldDescriptor* fd = table->inverseFields; fd != nullptr; fd = fd->nextInverseField) {
                std::vector<oid_t> refs = storedRefs(fd, db->get(oid));
                for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
                    if (*it != 0) {
                        removeInverseReference(db, fd, *it, oid);
                    }
                }
            }
        } catch (...) {
            db->removalChain = link.next;
            throw;
        }
        db->removalChain = link.next;
    }

    [[noreturn]] static void damaged(dbDatabase* db)
    {
        damageMet += 1;
        if (dbIndexWatch* watch = dbIndexWatch::current(db)) {
            watch->met();
        }
        if (!db->txnFailed) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidIndex);
            if (db->modified) {
                db->failTransaction();
            }
        }
        throw dbTransactionFailed{};
    }

    // A change that links into the table's row list and every index of it,
    // refused when a walk found that list broken or an index is broken.
    static void mayRelink(dbDatabase* db, dbTableDescriptor* table)
    {
        if (table->rowListBroken) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidRecord);
            throw dbTransactionFailed{};
        }
        bool broken = false;
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            broken |= fd->indexBroken;
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            broken |= fd->indexBroken;
        }
        if (broken) {
            db->handleError(dbDatabase::DatabaseOpenError, invalidIndex);
            throw dbTransactionFailed{};
        }
    }

    static void removeRecord(dbDatabase* db, dbTableDescriptor* table, oid_t oid)
    {
        mayRelink(db, table);
        removeInverseReferences(db, table, oid);
        if (validRow(db, table, oid)) {
            removeKeys(db, table, oid, false);
        }
        db->freeRow(table->tableId, oid);
        if (db->transactionFailed()) {
            throw dbTransactionFailed{};
        }
        db->updateCursors(oid, true);
    }
};

// Who reached each object along the lists of the file, while the tables and
// their indexes are checked: every row is reached from exactly one table's
// list, and every stored table descriptor from the Metatable's. Each check
// of an index then takes every row of its table once (add refuses an id
// that is no row of the table or was taken before in the same check).
namespace {

class dbCheckedRows : public dbSearchSink {
  public:
    explicit dbCheckedRows(std::size_t indexSize) : marks(indexSize, 0) {}

    // Marks the Metatable's own row and the rows of its list (the stored
    // table descriptors, whose ids go to `descriptors` when given) as
    // reached; false when that list is not whole.
    bool walkDescriptors(dbDatabase* db, std::vector<oid_t>* descriptors = nullptr)
    {
        marks[dbMetaTableId] = mark(descriptorOwner);
        const auto* meta = reinterpret_cast<const dbTable*>(db->get(dbMetaTableId));
        std::size_t steps = 0;
        return meta != nullptr && stepAlong(db, meta, steps, [&](oid_t id, const dbRecord*) {
                   if (ownerOf(marks[id]) != 0) {
                       return false;
                   }
                   marks[id] = mark(descriptorOwner);
                   if (descriptors != nullptr) {
                       descriptors->push_back(id);
                   }
                   return true;
               });
    }

    // What the walk of one table's list found.
    struct Walked {
        bool whole = false;
        std::vector<std::uint16_t> sharedWith;  // tables whose whole lists reach rows of this whole list
    };

    // Takes table number `number` (from 1, below brokenOwner) along the row
    // list of its stored descriptor `tableId`; with `table`, each row must be
    // a valid row of its layout. The list is whole when every row is a
    // record, linked back to the row before it, met once along it and no
    // stored table descriptor, the list as long as the table counts and
    // ending at its last row. A whole list takes its rows, each row that
    // another whole list took too being told in sharedWith; a list that is
    // not whole takes none, leaving the rows it met to a whole list that
    // reaches them (they count as reached all the same: see
    // forEachUnreached). With `table` the keys of the table's indexes are
    // read on the way, while each row is at hand (see rowkeys.h), so that
    // the indexes' checks need not read the rows again.
    Walked walk(dbDatabase* db, oid_t tableId, std::uint16_t number, dbTableDescriptor* table)
    {
        const auto* meta = reinterpret_cast<const dbTable*>(dbMustGet(db, tableId, 0));
        Walked walked;
        std::size_t steps = 0;
        // The rows this walk took are left to the lists that reach them:
        // those of its first steps (each was checked on the way), or any.
        auto leave = [&](bool anywhere) {
            const std::uint32_t taken = mark(number), left = mark(brokenOwner | number);
            if (anywhere) {
                for (std::uint32_t& m : marks) {
                    m = (m & ~checkMask) == taken ? left : m;
                }
                return;
            }
            oid_t id = meta->firstRow;
            for (std::size_t k = 0; k < steps; k++, id = db->getRow(id)->next) {
                marks[id] = (marks[id] & ~checkMask) == taken ? left : marks[id];
            }
        };
        try {
            walked.whole = walkList(db, table, meta, number, steps, walked.sharedWith);
        } catch (...) {
            leave(true);
            throw;
        }
        if (!walked.whole) {
            leave(false);
            walked.sharedWith.clear();
        }
        return walked;
    }

    // Calls f with each id that the file holds a record under (neither free
    // nor an internal object) and that neither a whole list nor the
    // Metatable's reached, nor a list found not whole.
    template <class F>
    void forEachUnreached(dbDatabase* db, F&& f) const
    {
        const std::size_t ids = std::min<std::size_t>(marks.size(), db->getIndexSize());
        for (oid_t id = 1; id < ids; id++) {
            const offs_t entry = db->getPos(id);
            if (entry != 0 && (entry & (dbFreeHandleMarker | dbInternalObjectMarker)) == 0 &&
                ownerOf(marks[id]) == 0) {
                f(id);
            }
        }
    }

    // The tables one check can tell apart.
    static constexpr std::size_t tablesAtMost = 0x7FFF;

  private:
    // Steps along the list meta starts, as far as it leads to records, each
    // linked back to the one before and taken by visit(id, row), no further
    // than the list's count; `steps` counts the rows visit took. Whether the
    // list is whole: its end reached, after as many rows as it counts, at
    // its last row.
    template <class Visit>
    static bool stepAlong(dbDatabase* db, const dbTable* meta, std::size_t& steps, Visit&& visit)
    {
        const std::size_t count = db->claimedRows(meta);
        oid_t previous = 0;
        for (oid_t id = meta->firstRow; id != 0; steps++) {
            const dbRecord* row = steps < count ? db->findRecord(id) : nullptr;
            if (row == nullptr || row->prev != previous || !visit(id, row)) {
                return false;
            }
            previous = id;
            id = row->next;
        }
        return steps == count && std::int64_t(count) == meta->nRows && previous == meta->lastRow;
    }

    bool walkList(dbDatabase* db, dbTableDescriptor* table, const dbTable* meta, std::uint16_t number,
                  std::size_t& steps, std::vector<std::uint16_t>& sharedWith)
    {
        const std::size_t count = db->claimedRows(meta);
        std::vector<std::pair<const dbFieldDescriptor*, std::vector<dbRowHash>*>> hashed;
        std::vector<std::pair<const dbFieldDescriptor*, std::vector<dbRowKeyPrefix>*>> keyed;
        for (const dbFieldDescriptor* fd = table != nullptr ? table->hashedFields : nullptr; fd != nullptr;
             fd = fd->nextHashedField) {
            if (fd->hashTable != 0) {
                hashed.emplace_back(fd, &startList(codes[fd], count));
            }
        }
        for (const dbFieldDescriptor* fd = table != nullptr ? table->indexedFields : nullptr; fd != nullptr;
             fd = fd->nextIndexedField) {
            if (fd->tTree != 0 && fd->type == dbField::tpString) {
                keyed.emplace_back(fd, &startList(prefixes[fd], count));
            }
        }
        oid_t previous = 0;
        bool ascending = true;
        const bool whole = stepAlong(db, meta, steps, [&](oid_t id, const dbRecord* record) {
            const std::uint16_t owner = ownerOf(marks[id]);
            if (owner == number || owner == descriptorOwner ||
                (table != nullptr && !dbRecordOps::validRow(db, table, id))) {
                return false;
            }
            if (owner != 0 && (owner & brokenOwner) == 0) {
                if (std::find(sharedWith.begin(), sharedWith.end(), owner) == sharedWith.end()) {
                    sharedWith.push_back(owner);
                }
            } else {
                marks[id] = mark(number);
            }
            db->prefetchRowAhead(id, previous);
            const byte* row = reinterpret_cast<const byte*>(record);
            for (const auto& [fd, list] : hashed) {
                const dbKeyBytes key = dbRecordKey(row, fd->type, fd->dbsSize, fd->dbsOffs);
                list->push_back({id, dbHashTable::hashCode(key.data, key.size)});
            }
            for (const auto& [fd, list] : keyed) {
                list->push_back({id, dbTextPrefix::of(dbRecordKey(row, fd->type, fd->dbsSize, fd->dbsOffs))});
            }
            ascending = ascending && id > previous;
            previous = id;
            return true;
        });
        if (!ascending) {
            for (const auto& [fd, list] : hashed) {
                dbSortMostlyOrdered(*list, [](const dbRowHash& r) { return r.row; });
            }
            for (const auto& [fd, list] : keyed) {
                dbSortMostlyOrdered(*list, [](const dbRowKeyPrefix& r) { return r.row; });
            }
        }
        if (totals.size() <= number) {
            totals.resize(number + 1u, 0);
        }
        totals[number] = steps;
        return whole;
    }

  public:
    // The hash codes of the keys of hashed field fd, and the prefixes of
    // those of text T-tree field fd, of every row of its table, by ascending
    // id, as the walk read them; null when it read none.
    const std::vector<dbRowHash>* codesOf(const dbFieldDescriptor* fd) const { return listOf(codes, fd); }
    const std::vector<dbRowKeyPrefix>* prefixesOf(const dbFieldDescriptor* fd) const { return listOf(prefixes, fd); }
    // Starts the check of an index of table `number`.
    void restart(std::uint16_t number)
    {
        table = number;
        if (++check > checkMask) {  // the numbers start over: no row is taken by any check
            for (std::uint32_t& m : marks) {
                m &= ~checkMask;
            }
            check = 1;
        }
        count = 0;
    }
    bool add(oid_t id) override
    {
        if (id >= marks.size()) {
            return false;
        }
        std::uint32_t& m = marks[id];
        if (ownerOf(m) != table || (m & checkMask) == check) {
            return false;
        }
        m = (m & ~checkMask) | check;
        count += 1;
        return true;
    }
    // Whether the check took every row of its table.
    bool allTaken() const { return count == totals[table]; }

  private:
    template <class Item>
    static std::vector<Item>& startList(std::vector<Item>& list, std::size_t count)
    {
        list.clear();
        list.reserve(count);
        return list;
    }
    template <class Item>
    static const std::vector<Item>* listOf(const std::map<const dbFieldDescriptor*, std::vector<Item>>& lists,
                                           const dbFieldDescriptor* fd)
    {
        const auto it = lists.find(fd);
        return it != lists.end() ? &it->second : nullptr;
    }

    static constexpr std::uint32_t checkMask = 0xFFFF;
    // Who reached an object (the high half of its mark): 0 no one; a table's
    // number (1 to 0x7FFF) its whole list; brokenOwner with the number a
    // list of that table found not whole; descriptorOwner the Metatable.
    static constexpr std::uint16_t brokenOwner = 0x8000;
    static constexpr std::uint16_t descriptorOwner = 0xFFFF;
    static std::uint16_t ownerOf(std::uint32_t mark) { return std::uint16_t(mark >> 16); }
    static std::uint32_t mark(std::uint16_t owner) { return std::uint32_t(owner) << 16; }
    // By id, in one word so that a row's check reads one place: who reached
    // it (high half) and the last check that took it (low half).
    std::vector<std::uint32_t> marks;
    std::vector<std::size_t> totals;   // by table number: its rows
    std::map<const dbFieldDescriptor*, std::vector<dbRowHash>> codes;
    std::map<const dbFieldDescriptor*, std::vector<dbRowKeyPrefix>> prefixes;
    std::uint16_t table = 0;
    std::uint32_t check = 0;
    std::size_t count = 0;
};

// Runs one step of the check of the tables: false when it met damage. A
// failure to allocate inside it (room for what a damaged count or link
// claims) is damage of what was being checked, reported as such.
template <class Step>
bool checkStep(dbDatabase* db, const char* damage, Step&& step)
{
    try {
        return dbGuarded(db, step);
    } catch (const std::bad_alloc&) {
        db->handleError(dbDatabase::DatabaseOpenError, damage);
        return false;
    }
}

// A table attached to the database with its number in the walks.
struct NumberedTable {
    dbTableDescriptor* table;
    std::uint16_t number;
};

// Walks the Metatable's list and every attached table's list, and accounts
// for each record the file holds. A table whose list is not whole, shares
// rows with another table's whole list, or leaves out rows the file holds
// in its layout (records that no list reached, each laid out exactly as
// the table stores its rows) is reported and marked (rowListBroken);
// records that no list reached and that are laid out as no table's rows
// are reported as damage of no table (strayRecordsFound). Returns the
// tables left, each with a whole list of rows that are its own alone;
// `damaged` is set when anything was reported.
std::vector<NumberedTable> accountForRecords(dbDatabase* db, dbCheckedRows& rows, bool& damaged)
{
    bool descriptorsWhole = false;
    bool strays = !checkStep(db, invalidRecord, [&] { descriptorsWhole = rows.walkDescriptors(db); }) ||
                  !descriptorsWhole;
    std::vector<dbTableDescriptor*> numbered{nullptr};  // by number, from 1
    std::vector<char> whole{false}, concerned{false};
    for (dbTableDescriptor* table = db->tables; table != nullptr; table = table->nextDbTable) {
        const auto number = std::uint16_t(numbered.size());
        numbered.push_back(table);
        dbCheckedRows::Walked walked;
        if (!checkStep(db, invalidRecord, [&] { walked = rows.walk(db, table->tableId, number, table); })) {
            walked = {};  // its descriptor row is damaged, reported as the walk met it
        }
        whole.push_back(walked.whole);
        concerned.push_back(!walked.whole);
        for (std::uint16_t other : walked.sharedWith) {
            concerned[other] = concerned[number] = true;
        }
    }
    // A record left out is first tried as a row of the tables found damaged
    // already (a list cut short leaves out rows of its own), then as a row
    // of every other table.
    strays |= !checkStep(db, invalidRecord, [&] {
        rows.forEachUnreached(db, [&](oid_t id) {
            bool laidOut = false;
            for (char wasConcerned : {true, false}) {
                for (std::size_t n = 1; n < numbered.size() && !(laidOut && wasConcerned); n++) {
                    if (concerned[n] == wasConcerned && dbRecordOps::storedAs(db, numbered[n], id)) {
                        laidOut = true;
                        concerned[n] = true;
                    }
                }
                if (laidOut) {
                    break;
                }
            }
            strays |= !laidOut;
        });
    });
    std::vector<NumberedTable> left;
    for (std::size_t n = 1; n < numbered.size(); n++) {
        if (concerned[n]) {
            damaged = true;
            db->rowListBroken(numbered[n]);
        } else if (whole[n]) {
            left.push_back({numbered[n], std::uint16_t(n)});
        }
    }
    if (strays) {
        damaged = true;
        db->strayRecordsFound();
    }
    return left;
}

}  // namespace

struct dbDatabase::DamagedIndex {
    dbTableDescriptor* table;
    dbFieldDescriptor* field;
};

namespace {

// What the checks of one field's indexes found, sound or not.
struct FieldFindings {
    dbTableDescriptor* table = nullptr;
    dbFieldDescriptor* field = nullptr;
    std::vector<oid_t> keyChanged;  // by the hash index: rows filed under another key only
    std::vector<oid_t> keyFiled;    // by the hash index: rows filed under the key they hold (sorted)
    std::vector<oid_t> outOfOrder;  // by the T-tree: rows out of key order
};

FieldFindings& findingsOf(std::vector<FieldFindings>& all, dbTableDescriptor* table, dbFieldDescriptor* fd)
{
    auto it = std::find_if(all.begin(), all.end(), [&](const FieldFindings& f) { return f.field == fd; });
    if (it != all.end()) {
        return *it;
    }
    FieldFindings& f = all.emplace_back();
    f.table = table;
    f.field = fd;
    return f;
}

bool contains(const std::vector<oid_t>& ids, oid_t id)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// The rows whose keys disagree with what the field's indexes still show,
// whatever other damage the indexes have. A hash item keeps its key's hash,
// a T-tree item nothing of its key: a row out of the tree's order counts as
// changed unless the hash index shows it filed under the key it holds (then
// the tree's item was moved, and the tree is merely damaged: *treeMoved).
std::vector<oid_t> changedRowsOf(const FieldFindings& f, bool* treeMoved)
{
    std::vector<oid_t> changed = f.keyChanged;
    *treeMoved = false;
    for (oid_t id : f.outOfOrder) {
        if (std::binary_search(f.keyFiled.begin(), f.keyFiled.end(), id)) {
            *treeMoved = true;
        } else if (!contains(changed, id)) {
            changed.push_back(id);
        }
    }
    return changed;
}

}  // namespace

dbDatabase::dbIndexRepair dbDatabase::checkTables(std::vector<DamagedIndex>* damaged,
                                                  std::vector<dbChangedRow>* changedRows)
{
    if (!beginTransaction(dbSharedLock)) {
        return dbIndexesDamaged;
    }
    checkTimes = {};
    using Clock = std::chrono::steady_clock;
    auto secondsSince = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    auto startStep = [&] {
        tellRebuilding();
        if (beforeCheckStep) {
            beforeCheckStep();
        }
        return Clock::now();
    };
    Clock::time_point start = startStep();
    dbCheckedRows rows(currIndexSize);
    bool rowsDamaged = false;
    const std::vector<NumberedTable> whole = accountForRecords(this, rows, rowsDamaged);
    checkTimes.rows = secondsSince(start);
    bool indexesDamaged = false;
    auto markDamaged = [&](dbTableDescriptor* table, dbFieldDescriptor* fd) {
        indexesDamaged = true;
        if (damaged != nullptr && std::none_of(damaged->begin(), damaged->end(),
                                               [&](const DamagedIndex& d) { return d.field == fd; })) {
            damaged->push_back({table, fd});
        }
    };
    // Each index's own check reports what it finds; rows it left out are
    // reported here.
    auto check = [&](dbTableDescriptor* table, dbFieldDescriptor* fd, bool hash, auto&& checkIndex) {
        start = startStep();
        const bool sound = checkStep(this, invalidIndexText, [&] {
            dbIndexWatch watch(this, fd);
            if (!checkIndex()) {
                throw dbTransactionFailed{};  // reported where it was met
            }
            if (!rows.allTaken()) {
                dbDamaged(this);
            }
        });
        checkTimes.indexes.push_back({fd, hash, secondsSince(start)});
        if (!sound) {
            markDamaged(table, fd);
        }
        return sound;
    };
    std::vector<FieldFindings> findings;
    for (const auto& [table, number] : whole) {
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if (fd->hashTable != 0) {
                FieldFindings& f = findingsOf(findings, table, fd);
                check(table, fd, true, [&] {
                    rows.restart(number);
                    return dbHashTable::check(this, fd->hashTable, fd->type, fd->dbsSize, fd->dbsOffs, rows,
                                              rows.codesOf(fd), f.keyChanged, f.keyFiled);
                });
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if (fd->tTree != 0) {
                FieldFindings& f = findingsOf(findings, table, fd);
                check(table, fd, false, [&] {
                    rows.restart(number);
                    return dbTtree::check(this, fd->tTree, fd->type, fd->dbsSize, fd->comparator, fd->dbsOffs,
                                          rows, rows.prefixesOf(fd), f.outOfOrder);
                });
            }
        }
    }
    // Keys that disagree with what the indexes show: the field's indexes
    // are rebuilt all the same, and the rows are told as possibly changed.
    for (const FieldFindings& f : findings) {
        bool treeMoved = false;
        const std::vector<oid_t> changed = changedRowsOf(f, &treeMoved);
        if (changed.empty() && !treeMoved) {
            continue;
        }
        f.field->indexBroken = true;
        handleError(DatabaseOpenError, invalidIndexText);
        markDamaged(f.table, f.field);
        for (oid_t id : changed) {
            if (changedRows != nullptr &&
                std::none_of(changedRows->begin(), changedRows->end(), [&](const dbChangedRow& r) { return r.oid == id; })) {
                changedRows->push_back({f.table, id});
            }
        }
    }
    return rowsDamaged ? dbRowsDamaged : indexesDamaged ? dbIndexesDamaged : dbIndexesSound;
}

bool dbDatabase::checkIndexes()
{
    return checkTables(nullptr, nullptr) == dbIndexesSound;
}

bool dbDatabase::rebuildIndexes(const std::vector<DamagedIndex>& damaged, const std::function<void()>& beforeCommit)
{
    struct Ids {
        oid_t hash, tree;
    };
    std::vector<Ids> before;
    for (const DamagedIndex& d : damaged) {
        before.push_back({d.field->hashTable, d.field->tTree});
    }
    bool ok = beginTransaction(dbExclusiveLock) && dbGuarded(this, [&] {
        for (const DamagedIndex& d : damaged) {
            if (d.field->hashTable != 0) {
                d.field->hashTable = buildIndex(d.table, d.field, true);
            }
            if (d.field->tTree != 0) {
                d.field->tTree = buildIndex(d.table, d.field, false);
            }
            storeIndexIds(d.table, d.field);
            tellRebuilding();
        }
    });
    if (ok && beforeCommit) {
        beforeCommit();
    }
    ok = ok ? commit() : (rollback(), false);
    for (std::size_t i = 0; i < damaged.size(); i++) {
        if (!ok) {
            damaged[i].field->hashTable = before[i].hash;
            damaged[i].field->tTree = before[i].tree;
        }
        damaged[i].field->indexBroken = !ok;
    }
    return ok;
}

dbDatabase::dbIndexRepair dbDatabase::checkAndRebuildIndexes(
    std::vector<dbChangedRow>* changedRows, const std::function<void(const std::vector<dbChangedRow>&)>& tellChanged)
{
    std::vector<DamagedIndex> damaged;
    std::vector<dbChangedRow> changed;
    const dbIndexRepair found = checkTables(&damaged, &changed);
    commit();  // ends the check's read transaction
    if (changedRows != nullptr) {
        *changedRows = changed;
    }
    if (found != dbIndexesDamaged || damaged.empty()) {
        return found;
    }
    outOfSpace = false;
    auto tell = [&] {
        if (!changed.empty() && tellChanged) {
            tellChanged(changed);
        }
    };
    struct Rebuilding {
        dbDatabase* db;
        ~Rebuilding() { db->rebuilding = false; }
    } rebuildingNow{this};
    rebuilding = true;
    tellRebuilding();
    if (!rebuildIndexes(damaged, tell)) {
        return outOfSpace ? dbIndexesNoSpace : dbIndexesDamaged;
    }
    const dbIndexRepair again = checkTables(nullptr, nullptr);
    commit();
    if (again != dbIndexesSound) {
        return again;
    }
    return changed.empty() ? dbIndexesRebuilt : dbRowKeysChanged;
}

bool dbDatabase::damageFound() const
{
    if (strayRecords) {
        return true;
    }
    for (const dbTableDescriptor* table = tables; table != nullptr; table = table->nextDbTable) {
        bool broken = table->rowListBroken;
        for (const dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            broken |= fd->indexBroken;
        }
        for (const dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            broken |= fd->indexBroken;
        }
        if (broken) {
            return true;
        }
    }
    return false;
}

std::uint64_t dbDamageMetByThisThread()
{
    return damageMet;
}

void dbDamaged(dbDatabase* db)
{
    dbRecordOps::damaged(db);
}

// ---------------------------------------------------------------------------

bool dbDatabase::insertRecord(dbTableDescriptor* table, dbAnyReference* ref, const void* record)
{
    dbAssert(opened);
    if (!beginTransaction(dbExclusiveLock) || table->tableId == 0) {
        return false;
    }
    const byte* obj = static_cast<const byte*>(record);
    return changed(dbGuarded(this, [&] {
        dbRecordOps::mayRelink(this, table);
        oid_t oid = allocateRow(table->tableId, table->recordSize(obj));
        byte* row = oid != 0 ? put(oid) : nullptr;
        if (row == nullptr) {
            throw dbTransactionFailed{};
        }
        dbFieldDescriptor::storeRecordFields(table->columns, row, obj, table->fixedSize);
        if (ref != nullptr) {
            ref->oid = oid;
        }
        for (dbFieldDescriptor* fd = table->inverseFields; fd != nullptr; fd = fd->nextInverseField) {
            std::vector<oid_t> refs = dbRecordOps::objectRefs(fd, obj);
            for (auto it = refs.rbegin(); it != refs.rend(); ++it) {
                if (*it != 0) {
                    dbRecordOps::insertInverseReference(this, fd, *it, oid);
                }
            }
        }
        const std::size_t nRows = claimedRows(reinterpret_cast<const dbTable*>(dbMustGet(this, table->tableId, 0)));
        dbRecordOps::addKeys(this, table, oid, nRows, false);
    }));
}

// Every change that did not complete fails the whole transaction, whatever
// stopped it, so that commit never writes half of it.
bool dbDatabase::changed(bool ok)
{
    if (!ok) {
        abandonChange(nullptr);
    }
    return ok;
}

bool dbDatabase::update(oid_t oid, dbTableDescriptor* table, const void* record)
{
    dbAssert(opened);
    if (changeHook != nullptr) {
        changeHook(this);
    }
    if (!beginTransaction(dbExclusiveLock)) {
        return false;
    }
    const byte* obj = static_cast<const byte*>(record);
    // Values the row holds already write nothing: the transaction stays
    // unmodified and its commit costs no flush. A transaction that cannot
    // change anything goes the usual way, which reports why.
    if (!txnFailed && !commitBroken && (accessType == dbAllAccess || accessType == dbConcurrentUpdate) &&
        dbRecordOps::storedAsIs(this, table, oid, obj)) {
        return true;
    }
    return changed(dbGuarded(this, [&] { dbRecordOps::rewrite(this, table, oid, obj, true); }));
}

bool dbDatabase::remove(dbTableDescriptor* table, oid_t oid)
{
    dbAssert(opened);
    if (changeHook != nullptr) {
        changeHook(this);
    }
    return beginTransaction(dbExclusiveLock) &&
           changed(dbGuarded(this, [&] { dbRecordOps::removeRecord(this, table, oid); }));
}

bool dbDatabase::deleteTable(dbTableDescriptor* table)
{
    dbAssert(opened);
    if (changeHook != nullptr) {
        changeHook(this);
    }
    return beginTransaction(dbExclusiveLock) && changed(dbGuarded(this, [&] {
        dbRecordOps::mayRelink(this, table);
        dbTable* meta = reinterpret_cast<dbTable*>(dbMustPut(this, table->tableId));
        oid_t row = meta->firstRow;
        meta->nRows = 0;
        meta->firstRow = meta->lastRow = 0;
        for (std::uint32_t steps = 0; row != 0 && steps < currIndexSize; steps++) {
            const dbRecord* rec = getRow(row);
            if (rec == nullptr || (currIndex[row] & dbInternalObjectMarker) != 0) {
                break;
            }
            oid_t next = rec->next;
            dbRecordOps::removeInverseReferences(this, table, row);
            freeObject(row);
            if (txnFailed) {
                throw dbTransactionFailed{};
            }
            updateCursors(row, true);
            row = next;
        }
        for (dbFieldDescriptor* fd = table->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            if (fd->hashTable != 0 && !dbHashTable::purge(this, fd->hashTable)) {
                throw dbTransactionFailed{};
            }
        }
        for (dbFieldDescriptor* fd = table->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            if (fd->tTree != 0 && !dbTtree::purge(this, fd->tTree)) {
                throw dbTransactionFailed{};
            }
        }
    }));
}

bool dbDatabase::fetchRecord(dbTableDescriptor* table, oid_t oid, void* record)
{
    byte* obj = static_cast<byte*>(record);
    if (!dbRecordOps::validRow(this, table, oid)) {
        handleError(DatabaseOpenError, invalidRecord);
        dbFieldDescriptor::clearRecordFields(table->columns, obj);
        return false;
    }
    dbFieldDescriptor::fetchRecordFields(table->columns, obj, get(oid));
    return true;
}

void dbDatabase::rowListBroken(dbTableDescriptor* table)
{
    table->rowListBroken = true;
    handleError(DatabaseOpenError, invalidRecord);
}

void dbDatabase::strayRecordsFound()
{
    strayRecords = true;
    handleError(DatabaseOpenError, invalidRecord);
}

bool dbDatabase::everyRecordListed()
{
    try {
        dbCheckedRows rows(currIndexSize);
        std::vector<oid_t> descriptors;
        if (!rows.walkDescriptors(this, &descriptors) || descriptors.size() >= dbCheckedRows::tablesAtMost) {
            return false;
        }
        std::uint16_t number = 0;
        for (oid_t descriptor : descriptors) {
            const dbCheckedRows::Walked walked = rows.walk(this, descriptor, ++number, nullptr);
            if (!walked.whole || !walked.sharedWith.empty()) {
                return false;
            }
        }
        bool all = true;
        rows.forEachUnreached(this, [&](oid_t) { all = false; });
        return all;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const dbTransactionFailed&) {  // a descriptor is no record: never after checkLayout
        return false;
    }
}

dbRecord* dbDatabase::reallocateRow(oid_t oid, size_t newSize)
{
    return putRow(oid, newSize);
}

void dbDatabase::updateCursors(oid_t oid, bool removed)
{
    if (cursorHook != nullptr) {
        cursorHook(this, oid, removed);
    }
}

dbTableDescriptor* dbDatabase::findTable(const char* name)
{
    for (dbTableDescriptor* t = tables; t != nullptr; t = t->nextDbTable) {
        if (std::strcmp(t->name, name) == 0) {
            return t;
        }
    }
    return nullptr;
}
