// The program's surface on the database engine, and the one engine header the
// application includes: the database class with its remembered directory,
// typed cursors over the record classes, insert<T>, and zarvoBuffer, the
// store that keeps the characters of a record's texts alive while the
// record is written.
//
// Callers keep to these rules:
//  - Texts of a fetched record point into the database file and stay valid
//    while the thread's transaction lasts: copy what you keep past a commit
//    or rollback.
//  - Texts of a record being written point into a zarvoBuffer (or other
//    storage) that lives until the insert or update has been made.
//  - Every change ends with commit() (or rollback() before a message that
//    cancels it) in the handler that made it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/casemap.h"
#include "engine/class.h"
#include "engine/compact.h"
#include "engine/cursor.h"
#include "engine/database.h"
#include "engine/datetime.h"
#include "engine/query.h"

typedef std::int8_t int1;
typedef std::int16_t int2;
typedef std::int32_t int4;
typedef std::int64_t int8;
typedef float real4;
typedef double real8;

// The program's database object.
class zarvoDatabase : public dbDatabase {
  public:
    zarvoDatabase(std::uint8_t accessType = dbAllAccess, std::uint32_t initSize = dbDefaultInitDatabaseSize,
                  std::uint32_t extensionQuantum = dbDefaultExtensionQuantum,
                  std::uint32_t initIndexSize = dbDefaultInitIndexSize, std::uint32_t nThreads = 1);
    ~zarvoDatabase() override;

    // Opens the database `name`; fileName null: "<name>.zrv" in the current
    // directory. The first call remembers the current directory (absolute,
    // no trailing "/"); later calls keep it.
    bool open(const char* name, const char* fileName = nullptr,
              unsigned waitLockTimeoutMsec = dbWaitLockTimeoutInfinite, unsigned commitDelaySec = 0);

    // Gives the free space of the database file back, when most of it is
    // free and no process has it open (see dbCompactFile); the file is named
    // as open names it. Call it before open, with this database closed. A
    // file left as it was for a failure is told on the standard error stream.
    dbCompactionResult compact(const char* name, const char* fileName = nullptr);

    // The directory remembered by the first open ("" before it, and for "/").
    const std::string& getDirectory() const { return directory; }
    const std::string& getName() const { return name; }
    // The file the last open named (as given, or "<name>.zrv").
    const std::string& getFileName() const { return file; }
    // Number of opens of this database by every process.
    std::uint32_t getNumberOfUsers();
    // Object-index entry of an id; dbFreeHandleMarker for an id the index
    // does not hold.
    offs_t getPos(oid_t oid) const;

    // Where the program hears of damage (classes 4 and 11) met after open:
    // the error's text, once it has been printed. Null: printed only. What
    // open itself meets is left to the caller of open.
    using DamageReporter = void (*)(const std::string& text);
    void setDamageReporter(DamageReporter reporter) { damageReporter = reporter; }
    void handleError(int errorClass, const char* msg = nullptr, int arg = 0) override;

  private:
    // The file of database `name` (fileName when given).
    static std::string fileOf(const char* name, const char* fileName);
    DamageReporter damageReporter = nullptr;
    bool opening = false;
    std::string directory;
    bool directoryRecorded = false;
    std::string name;
    std::string file;
};

// A cursor that also counts the position (0-based) of its current row in the
// result, for moving to the n-th row.
class zarvoAnyCursor : public dbAnyCursor {
  public:
    using dbAnyCursor::dbAnyCursor;

    bool first() { return gotoFirst(); }
    bool next() { return gotoNext(); }
    bool prev() { return gotoPrev(); }
    // Moves to row n of the result (fetching it when prefetch is on). False
    // when n is past the end.
    bool setPosition(std::uint32_t n);
    std::uint32_t getPosition() const { return counter; }

    bool gotoFirst() override;
    bool gotoNext() override;
    bool gotoPrev() override;

  protected:
    std::uint32_t counter = 0;
};

// The typed operations shared by dbCursor<T> and zarvoCursor<T>: the cursor
// holds a record object of class T into which it fetches the current row.
template <class T, class Base>
class dbTypedCursor : public Base {
  public:
    explicit dbTypedCursor(dbCursorType type = dbCursorViewOnly)
        : Base(T::dbDescriptor, type, reinterpret_cast<byte*>(&record)) {}

    // Selects every record of T in stored order and moves to (and fetches)
    // the first. Returns the number of records.
    std::size_t select()
    {
        this->reset();
        if (this->db == nullptr || !this->db->select(this)) {
            return 0;
        }
        if (!this->gotoFirst()) {
            // No first row to stand on (none, or a damaged one, which has
            // been reported): nothing is selected.
            this->clear();
            return 0;
        }
        if (!this->prefetch) {
            this->fetch();
        }
        return this->getNumberOfRecords();
    }

    // Selects the records of T that satisfy the query, in its order, and
    // moves to (and fetches) the first. Returns the number of records; 0
    // also when the query failed (it did not compile, or a run-time error
    // ended it: reported to the database's error handler), which
    // selectFailed() then tells.
    std::size_t select(dbQuery& query)
    {
        this->reset();
        queryFailed = this->db == nullptr || !this->db->select(this, query);
        if (this->gotoFirst() && !this->prefetch) {
            this->fetch();
        }
        return this->getNumberOfRecords();
    }
    // Whether the last select(query) failed.
    bool selectFailed() const { return queryFailed; }

    T* next() { return this->gotoNext() ? fetched() : nullptr; }
    T* prev() { return this->gotoPrev() ? fetched() : nullptr; }
    // Makes the cursor hold exactly the record ref and fetches it; null when
    // ref names no record.
    T* at(const dbReference<T>& ref) { return dbAnyCursor::at(ref.getOid()) ? fetched() : nullptr; }

    dbReference<T> currentId() const
    {
        dbAssert(this->currId != 0);
        return dbReference<T>(this->currId);
    }
    T* get()
    {
        dbAssert(this->currId != 0);
        return &record;
    }
    T* operator->() { return get(); }
    T& operator*() { return *get(); }

    // Writes the record object back over the current record. False when the
    // transaction failed.
    bool update()
    {
        dbAssert(this->type == dbCursorForUpdate && this->currId != 0);
        this->updating = true;
        bool ok = this->db->update(this->currId, this->table, &record);
        this->updating = false;
        return ok;
    }

  protected:
    T* fetched()
    {
        if (!this->prefetch) {
            this->fetch();
        }
        return &record;
    }

    T record;
    bool queryFailed = false;
};

template <class T>
class dbCursor : public dbTypedCursor<T, dbAnyCursor> {
  public:
    using dbTypedCursor<T, dbAnyCursor>::dbTypedCursor;
};

template <class T>
class zarvoCursor : public dbTypedCursor<T, zarvoAnyCursor> {
  public:
    using dbTypedCursor<T, zarvoAnyCursor>::dbTypedCursor;

    // Steps from the first row until the current id is ref: the fetched
    // record, or null (the cursor then stands on the last row).
    T* seek(const dbReference<T>& ref)
    {
        bool wasPrefetching = this->prefetch;
        this->prefetch = false;
        bool found = this->first();
        while (found && this->currId != ref.getOid()) {
            found = zarvoAnyCursor::next();
        }
        this->prefetch = wasPrefetching;
        if (!found) {
            return nullptr;
        }
        this->fetch();
        return &this->record;
    }
};

// Inserts a record of class T. Returns the new record's reference, null when
// the transaction failed or no open database knows the table. The caller
// commits.
template <class T>
dbReference<T> insert(const T& record)
{
    dbTableDescriptor* table = &T::dbDescriptor;
    dbReference<T> ref;
    if (table->db == DETACHED_TABLE || table->db == nullptr || !table->db->insertRecord(table, &ref, &record)) {
        return dbReference<T>();
    }
    return ref;
}

// One chunk of a zarvoBuffer.
struct ZrvBlock {
    char* data;
    std::size_t size;  // bytes
    ZrvBlock* next;
};

// A store of zero-terminated texts in chunks (the first of 512 bytes). A
// copy lives until clear() or the buffer's end; clear() keeps the chunks
// for reuse.
class zarvoBuffer {
  public:
    static constexpr std::size_t firstChunkSize = 512;

    zarvoBuffer();
    ~zarvoBuffer();
    zarvoBuffer(const zarvoBuffer&) = delete;
    zarvoBuffer& operator=(const zarvoBuffer&) = delete;

    // A copy of text; null and "" give one shared empty text.
    const char* put(const char* text);
    const char* put(const std::string& text) { return put(text.c_str()); }
    void clear();

    const ZrvBlock* chunks() const { return first; }

  private:
    std::size_t offset = 0;  // in the current chunk
    ZrvBlock* first;
    ZrvBlock* current;
};
