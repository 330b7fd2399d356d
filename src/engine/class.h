// Table and field descriptors: how a record class of the application is laid
// out in the database file. A record class lists its fields once with the
// describe macros below (DB_FIELDS inside the class, DB_TABLE in one source
// file); its static dbTableDescriptor turns that list into stored offsets and
// sizes, which never depend on the C++ layout of the class, and into the
// stored descriptor (a row of the Metatable) that the scheme load matches
// against the file. Callers keep every described member public and describe
// data members before methods, and never change a table's list without
// declaring the layout it had (DB_FORMER_LAYOUT): a stored layout the
// program does not know is taken for damage.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

#include "engine/datetime.h"
#include "engine/database.h"

class dbDatabase;
class dbTableDescriptor;
class dbFieldDescriptor;
class dbAnyMethodTrampoline;

// Index flags of a field. dbOwner marks an inverse reference field that owns
// its targets (removing the source removes them).
enum dbIndexFlags { dbHashed = 1, dbIndexed = 2, dbOwner = 8 };

typedef int (*dbUDTComparator)(const void* a, const void* b, std::size_t size);
int dbDefaultComparator(const void* a, const void* b, std::size_t size);  // unsigned bytes

// ---------------------------------------------------------------------------
// Field types of record objects.

// A link to a record, held as its object id (0 = none).
class dbAnyReference {
  public:
    oid_t oid = 0;
    dbAnyReference() = default;
    explicit dbAnyReference(oid_t id) : oid(id) {}
    bool isNull() const { return oid == 0; }
    oid_t getOid() const { return oid; }
    bool operator==(const dbAnyReference& r) const { return oid == r.oid; }
};

template <class T>
class dbReference : public dbAnyReference {
  public:
    dbReference() = default;
    explicit dbReference(oid_t id) : dbAnyReference(id) {}
};

// A counted array in a record object: length, data pointer, and whether the
// array owns its data. Setting it with data points there without owning; with
// a null pointer and a length it allocates an owned, zeroed buffer. Elements
// must be trivially destructible values (bytes, numbers, references, text
// pointers, plain structures).
class dbAnyArray {
  public:
    std::size_t length() const { return nElems; }
    const void* base() const { return data; }
    void* base() { return data; }

    // The array setter of the descriptors: replaces the contents, freeing
    // owned data first.
    static void arraySetter(dbAnyArray* arr, void* data, std::size_t length, std::size_t elemSize);

  protected:
    dbAnyArray() = default;
    ~dbAnyArray() { release(); }
    void release()
    {
        if (owns) {
            ::operator delete(data);
        }
        data = nullptr;
        nElems = 0;
        owns = false;
    }
    void assign(const dbAnyArray& other, std::size_t elemSize);

    std::size_t nElems = 0;
    void* data = nullptr;
    bool owns = false;
};

template <class T>
class dbArray : public dbAnyArray {
  public:
    dbArray() = default;
    dbArray(const T* items, std::size_t n) { setData(items, n); }
    dbArray(const dbArray& other) : dbAnyArray() { assign(other, sizeof(T)); }
    dbArray& operator=(const dbArray& other)
    {
        if (this != &other) {
            assign(other, sizeof(T));
        }
        return *this;
    }
    ~dbArray() = default;

    // Owned copy of n items.
    void setData(const T* items, std::size_t n)
    {
        arraySetter(this, nullptr, n, sizeof(T));
        if (n != 0) {
            std::memcpy(data, items, n * sizeof(T));
        }
    }
    // Points at items without owning them.
    void setView(const T* items, std::size_t n) { arraySetter(this, const_cast<T*>(items), n, sizeof(T)); }
    // Owned, zeroed buffer of n items.
    void resize(std::size_t n) { arraySetter(this, nullptr, n, sizeof(T)); }

    const T* get() const { return static_cast<const T*>(data); }
    T* get() { return static_cast<T*>(data); }
    const T& operator[](std::size_t i) const { return get()[i]; }
    T& operator[](std::size_t i) { return get()[i]; }
};

// ---------------------------------------------------------------------------
// Method fields: a record method taking part in queries. invoke reads the
// structure holding the method from a stored row and calls the method,
// writing its result (of the field's method type) to *result.
class dbAnyMethodTrampoline {
  public:
    explicit dbAnyMethodTrampoline(dbFieldDescriptor* owner) : field(owner) {}
    virtual void invoke(const std::uint8_t* row, void* result) = 0;
    // The variant for a structure whose stored layout equals its C++ layout.
    virtual dbAnyMethodTrampoline* optimize() = 0;
    virtual ~dbAnyMethodTrampoline() = default;

    dbFieldDescriptor* field;  // the method's descriptor
};

// ---------------------------------------------------------------------------

class dbFieldDescriptor {
  public:
    enum FieldAttributes {
        ComponentOfArray = 1,
        HasArrayComponents = 2,  // the field or a component has a varying part
        OneToOneMapping = 4,     // stored layout equals the application layout
        Updated = 8              // value changed in the running update
    };

    dbFieldDescriptor* next = this;  // describe ring
    dbFieldDescriptor* prev = this;
    dbFieldDescriptor* nextField = nullptr;        // table's linear list
    dbFieldDescriptor* nextHashedField = nullptr;
    dbFieldDescriptor* nextIndexedField = nullptr;
    dbFieldDescriptor* nextInverseField = nullptr;
    int fieldNo = 0;
    const char* name;                 // interned
    char* longName = nullptr;         // owned; the dotted path
    dbTableDescriptor* refTable = nullptr;
    dbTableDescriptor* defTable = nullptr;
    dbFieldDescriptor* inverseRef = nullptr;
    const char* inverseRefName = nullptr;
    int type = dbField::tpStructure;     // stored type
    int appType = dbField::tpStructure;  // application type
    int indexType = 0;
    int dbsOffs = 0;  // stored offset (from the row's start, or the element's)
    int appOffs = 0;  // offset within the enclosing object, structure or element
    dbFieldDescriptor* components = nullptr;
    oid_t hashTable = 0;
    oid_t tTree = 0;
    // A search, change or check met damage in this field's indexes since
    // attached (set by the thread that met it, read by every thread).
    std::atomic<bool> indexBroken = false;
    std::size_t dbsSize;
    std::size_t appSize;
    std::size_t alignment;
    dbUDTComparator comparator = dbDefaultComparator;
    int attr = OneToOneMapping;
    int oldDbsType = 0;
    int oldDbsOffs = 0;
    int oldDbsSize = 0;
    dbAnyMethodTrampoline* method = nullptr;
    void (*arraySetter)(dbAnyArray*, void*, std::size_t, std::size_t) = nullptr;

    explicit dbFieldDescriptor(const char* name);
    dbFieldDescriptor(const char* name, std::size_t appOffs, std::size_t size, int indexType,
                      const char* inverse = nullptr, dbFieldDescriptor* components = nullptr);
    ~dbFieldDescriptor();
    dbFieldDescriptor(const dbFieldDescriptor&) = delete;
    dbFieldDescriptor& operator=(const dbFieldDescriptor&) = delete;

    // Field descriptors come from the engine's aligned allocator.
    static void* operator new(std::size_t size);
    static void operator delete(void* p);

    // First field of this ring whose name is the given text, null when none.
    dbFieldDescriptor* find(const char* name);

    // Copies a stored row into an application object (ring = the table's or
    // a structure's fields). Strings point into the row; the row must have
    // been checked by checkRecord first.
    static void fetchRecordFields(dbFieldDescriptor* ring, std::uint8_t* dst, const std::uint8_t* src);
    // Stores an application object into a row: fixed part at the stored
    // offsets, varying parts from offs on. Returns the end of the varying part.
    // at: where dst lies in the row (an array element's start), so that
    // arrays are aligned within the row.
    static std::size_t storeRecordFields(dbFieldDescriptor* ring, std::uint8_t* dst, const std::uint8_t* src,
                                         std::size_t offs, std::size_t at = 0);
    // Size of the varying parts an application object needs, laid out from
    // offs on; returns the end.
    static std::size_t calculateRecordSize(dbFieldDescriptor* ring, const std::uint8_t* src, std::size_t offs,
                                           std::size_t at = 0);
    // Whether the varying parts of a stored row lie inside its size and every
    // string ends with its NUL.
    static bool checkRecord(dbFieldDescriptor* ring, const std::uint8_t* row, std::size_t base, std::size_t size);
    // Fills an application object with empty values (for a damaged row).
    static void clearRecordFields(dbFieldDescriptor* ring, std::uint8_t* dst);
    // Converts a stored row of the old layout (old offsets and types recorded
    // by matching) into the new layout; returns the end of the varying part.
    static std::size_t convertRecord(dbFieldDescriptor* ring, std::uint8_t* dst, const std::uint8_t* src,
                                     std::size_t offs);
    static std::size_t sizeAfterConversion(dbFieldDescriptor* ring, const std::uint8_t* src, std::size_t offs);

    // Whether the field's stored value in row a differs from the value in
    // the application object (indexed fields only: scalars, strings, refs).
    bool differs(const std::uint8_t* row, const std::uint8_t* obj) const;

    bool isMethod() const { return method != nullptr; }
};

typedef dbFieldDescriptor* (*dbDescribeFunc)();

class dbTableDescriptor {
  public:
    static inline dbTableDescriptor* chain = nullptr;  // every static descriptor, in construction order
    static inline dbTableDescriptor* chainTail = nullptr;

    dbTableDescriptor* next = nullptr;         // static chain
    dbTableDescriptor* nextDbTable = nullptr;  // tables of the same database
    const char* name;                          // interned
    oid_t tableId = 0;                         // Metatable row, 0 while detached
    std::atomic<bool> rowListBroken = false;   // a walk met a break in the row list since attached
    // Forgets the row list's and the indexes' damage marks (attach, detach).
    void clearDamageMarks()
    {
        rowListBroken = false;
        for (dbFieldDescriptor* fd = hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            fd->indexBroken = false;
        }
        for (dbFieldDescriptor* fd = indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            fd->indexBroken = false;
        }
    }
    dbFieldDescriptor* columns = nullptr;      // describe ring
    dbFieldDescriptor* hashedFields = nullptr;
    dbFieldDescriptor* indexedFields = nullptr;
    dbFieldDescriptor* inverseFields = nullptr;
    dbFieldDescriptor* firstField = nullptr;
    dbFieldDescriptor** nextFieldLink = &firstField;
    dbDatabase* db;
    bool fixedDatabase;
    bool isStatic = true;
    std::size_t appSize;
    std::size_t appAlignment;
    std::size_t fixedSize = 0;
    std::size_t nFields = 0;
    std::size_t nColumns = 0;
    dbTableDescriptor* cloneOf;
    dbDescribeFunc describeComponentsFunc;

    // name, database (null: the one that opens it; DETACHED_TABLE: cloned
    // for each database), size and alignment of the class, describe function.
    dbTableDescriptor(const char* name, dbDatabase* db, std::size_t objSize, std::size_t objAlign,
                      dbDescribeFunc func, dbTableDescriptor* original = nullptr, bool chained = true);
    ~dbTableDescriptor();
    dbTableDescriptor(const dbTableDescriptor&) = delete;
    dbTableDescriptor& operator=(const dbTableDescriptor&) = delete;

    dbTableDescriptor* clone() { return new dbTableDescriptor(name, db, appSize, appAlignment, describeComponentsFunc, this); }

    dbFieldDescriptor* find(const char* fieldName) { return columns->find(fieldName); }
    dbFieldDescriptor* findLong(const char* longName);

    // Size of this descriptor's Metatable row, and the row itself written to
    // row (which has that many bytes; the 12-byte header is left alone).
    std::size_t totalNamesLength() const;
    std::size_t metaRowSize() const;
    void storeInDatabase(std::uint8_t* row) const;
    // Whether a Metatable row (checked by storedRowSound) describes exactly
    // this layout: the same fields in the same order, each with its name,
    // type, offset, size, referenced table and inverse, and the same fixed
    // size and column count.
    bool equal(const std::uint8_t* row) const;
    // Whether a Metatable row (checked by storedRowSound) is this layout
    // with fields added, as a later release of the program stores the
    // table: every field of this layout is there exactly as here, beside
    // fields this layout lacks.
    bool extendedIn(const std::uint8_t* row) const;
    // Whether a Metatable row is one the engine may have written: its texts
    // packed after the field entries as storeInDatabase packs them, its
    // size their end; fields named once each, every one a data type in the
    // size of its type, a structure's components inside it, an array's one
    // element after it, the fields of the row (and those of each
    // structure) one after another inside the fixed part, which ends with
    // the last; the column count that of the top-level fields. The row of
    // the Metatable itself (metatable set) must describe the Metatable
    // exactly. The row lies whole in the file, its size in its header;
    // nothing past that size is read.
    static bool storedRowSound(const std::uint8_t* row, bool metatable);
    // How a stored descriptor row (checked as sound) differs from this
    // layout, field by long name: fields it holds that this layout lacks,
    // fields of this layout it lacks, and fields of both whose stored type
    // cannot be read as this layout's, not even converted.
    struct Difference {
        bool unknown = false;
        bool missing = false;
        bool unreadable = false;
    };
    Difference compare(const std::uint8_t* row);
    // Records old type, offset and size of every field from a stored row
    // (tpUnknown when missing). Returns false when a conversion is not
    // allowed: a type change between other than numeric types, or a stored
    // field that is gone while the table has rows.
    bool match(const std::uint8_t* row, bool tableHasRows);

    // Size a row needs for an application object.
    std::size_t recordSize(const void* obj) const
    {
        return dbFieldDescriptor::calculateRecordSize(columns, static_cast<const std::uint8_t*>(obj), fixedSize);
    }

  private:
    std::size_t buildFieldsList(dbFieldDescriptor* ring, const char* prefix, long appBase, int indexMask,
                                int& attr, std::size_t& offs, bool inArray);
};

#define DETACHED_TABLE (reinterpret_cast<dbDatabase*>(-1))

// A layout in which an earlier release of the program stored a table. The
// scheme load converts a table stored so to its present layout (only the
// process that initialises the database does). These are the only layouts
// ever converted: a stored layout that is neither the table's present one,
// one declared so, nor a later release's (see dbFileNewerRelease) is damage,
// and the open is refused. Declared beside the table descriptors with
// DB_FORMER_LAYOUT(Table, EarlierClass), EarlierClass describing the old
// layout with DB_FIELDS as the table's class does; or as an object that
// lives while databases open.
class dbFormerLayout {
  public:
    dbFormerLayout(const char* tableName, std::size_t objSize, std::size_t objAlign, dbDescribeFunc describe);
    ~dbFormerLayout();
    dbFormerLayout(const dbFormerLayout&) = delete;
    dbFormerLayout& operator=(const dbFormerLayout&) = delete;

    // Whether a Metatable row (checked as sound) is a declared earlier
    // layout of the table of that name.
    static bool declared(const char* tableName, const std::uint8_t* row);

  private:
    dbTableDescriptor layout;
    dbFormerLayout* next;
    static inline dbFormerLayout* chain = nullptr;
};

#define DB_FORMER_LAYOUT(Table, Former)                                                                    \
    static dbFormerLayout dbFormerLayoutOf##Table##Former(#Table, sizeof(Former), alignof(Former),         \
                                                          &Former::dbDescribeComponents)

// The descriptor of the Metatable itself (object id 1), not in the chain.
dbTableDescriptor* dbMetaTableDescriptor();

// ---------------------------------------------------------------------------
// Describe helpers: one overload per field type sets types, sizes,
// alignment and components of a freshly made descriptor.

dbFieldDescriptor* dbDescribeScalar(dbFieldDescriptor* fd, int type);
dbFieldDescriptor* dbDescribeString(dbFieldDescriptor* fd);
dbFieldDescriptor* dbDescribeRef(dbFieldDescriptor* fd, dbTableDescriptor* target);
dbFieldDescriptor* dbDescribeArray(dbFieldDescriptor* fd, dbFieldDescriptor* element);
dbFieldDescriptor* dbDescribeStruct(dbFieldDescriptor* fd, dbFieldDescriptor* components);
dbFieldDescriptor* dbJoinRing(std::initializer_list<dbFieldDescriptor*> fields);

inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, bool*) { return dbDescribeScalar(fd, dbField::tpBool); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, std::int8_t*) { return dbDescribeScalar(fd, dbField::tpInt1); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, std::int16_t*) { return dbDescribeScalar(fd, dbField::tpInt2); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, std::int32_t*) { return dbDescribeScalar(fd, dbField::tpInt4); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, std::int64_t*) { return dbDescribeScalar(fd, dbField::tpInt8); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, float*) { return dbDescribeScalar(fd, dbField::tpReal4); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, double*) { return dbDescribeScalar(fd, dbField::tpReal8); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, char**) { return dbDescribeString(fd); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, const char**) { return dbDescribeString(fd); }
inline dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, oid_t*) { return dbDescribeRef(fd, nullptr); }
template <class T>
dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, dbReference<T>*)
{
    return dbDescribeRef(fd, &T::dbDescriptor);
}
template <class T>
dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, dbArray<T>*)
{
    dbFieldDescriptor* element = new dbFieldDescriptor("[]", 0, sizeof(T), 0);
    return dbDescribeArray(fd, dbDescribe(element, static_cast<T*>(nullptr)));
}
template <class T>
dbFieldDescriptor* dbDescribe(dbFieldDescriptor* fd, T*)  // a structure
{
    return dbDescribeStruct(fd, T::dbDescribeComponents());
}

// Method fields.
template <class T, class R>
class dbMethodTrampoline : public dbAnyMethodTrampoline {
  public:
    typedef R (T::*Method)() const;
    dbMethodTrampoline(dbFieldDescriptor* fd, Method m, bool fast = false)
        : dbAnyMethodTrampoline(fd), method(m), direct(fast) {}
    void invoke(const std::uint8_t* row, void* result) override
    {
        T obj{};
        dbFieldDescriptor* holder = field->components;  // the structure's first field
        if (direct) {
            std::memcpy(static_cast<void*>(&obj), row + holder->dbsOffs, sizeof(T));
        } else {
            dbFieldDescriptor::fetchRecordFields(holder, reinterpret_cast<std::uint8_t*>(&obj), row);
        }
        R value = (obj.*method)();
        std::memcpy(result, &value, sizeof(R));
    }
    dbAnyMethodTrampoline* optimize() override { return new dbMethodTrampoline(field, method, true); }

  private:
    Method method;
    bool direct;
};

int dbMethodType(bool*);
int dbMethodType(std::int8_t*);
int dbMethodType(std::int16_t*);
int dbMethodType(std::int32_t*);
int dbMethodType(std::int64_t*);
int dbMethodType(float*);
int dbMethodType(double*);

template <class T, class R>
dbFieldDescriptor* dbDescribeMethod(const char* name, R (T::*m)() const)
{
    dbFieldDescriptor* fd = new dbFieldDescriptor(name);
    fd->type = dbField::tpInt4;
    fd->appType = dbMethodType(static_cast<R*>(nullptr));
    fd->method = new dbMethodTrampoline<T, R>(fd, m);
    return fd;
}

// The describe macros. Inside a record class:
//     DB_FIELDS(Customer, DB_KEY(id, dbHashed), DB_KEY(name, dbIndexed), DB_FIELD(address1), ...)
// and in one source file, DB_TABLE(Customer). The order of the list is the
// stored order; methods (DB_METHOD) follow every data field.
#define DB_FIELDS(Class, ...)                                      \
    static dbTableDescriptor dbDescriptor;                         \
    static dbFieldDescriptor* dbDescribeComponents()               \
    {                                                              \
        using dbSelf = Class;                                      \
        return dbJoinRing({__VA_ARGS__});                          \
    }

#define DB_FIELD(x) DB_KEY(x, 0)
#define DB_KEY(x, flags)                                                                                   \
    dbDescribe(new dbFieldDescriptor(#x, offsetof(dbSelf, x), sizeof(dbSelf::x), (flags)),                 \
               static_cast<decltype(dbSelf::x)*>(nullptr))
// A reference (or array of references) with an inverse field in the target.
#define DB_RELATION(x, inverse)                                                                             \
    dbDescribe(new dbFieldDescriptor(#x, offsetof(dbSelf, x), sizeof(dbSelf::x), 0, #inverse),            \
               static_cast<decltype(dbSelf::x)*>(nullptr))
#define DB_OWNER(x, inverse)                                                                                \
    dbDescribe(new dbFieldDescriptor(#x, offsetof(dbSelf, x), sizeof(dbSelf::x), dbOwner, #inverse),      \
               static_cast<decltype(dbSelf::x)*>(nullptr))
#define DB_METHOD(m) dbDescribeMethod(#m, &dbSelf::m)

#define DB_TABLE(Class) \
    dbTableDescriptor Class::dbDescriptor(#Class, nullptr, sizeof(Class), alignof(Class), &Class::dbDescribeComponents)

// ---------------------------------------------------------------------------
// What the indexes share.

// Key bytes of a stored row: the stored bytes of a scalar field, or a
// string's characters without the NUL (data is then NUL-terminated). A pair
// that does not lie inside the row gives an empty text, a scalar outside it
// zero bytes.
struct dbKeyBytes {
    const byte* data;
    std::size_t size;
};
dbKeyBytes dbRecordKey(const byte* row, int type, std::size_t sizeofType, std::size_t offs);

// Receives the records an index search finds, in the index's order.
class dbSearchSink {
  public:
    virtual ~dbSearchSink() = default;
    // The search's extra condition; records it rejects are skipped.
    virtual bool accept(oid_t) { return true; }
    // Takes a found record; false when the limit is reached (search ends).
    virtual bool add(oid_t oid) = 0;
};

// One index search. Keys are the stored bytes of the field's type (a
// NUL-terminated text for strings); a null key is an open bound.
struct dbSearchContext {
    const void* firstKey = nullptr;
    bool firstKeyInclusive = true;
    const void* lastKey = nullptr;
    bool lastKeyInclusive = true;
    int type = 0;
    std::size_t sizeofType = 0;
    dbUDTComparator comparator = dbDefaultComparator;
    std::size_t offs = 0;  // stored offset of the key field
    dbSearchSink* sink = nullptr;
    std::size_t probes = 0;  // items (hash) or nodes (T-tree) visited
};

// The storage calls used by records and indexes fail only when the
// transaction has failed (and has been rolled back). That unwinds with
// dbTransactionFailed to the public entry point, which reports false.
struct dbTransactionFailed {};
inline byte* dbMustPut(dbDatabase* db, oid_t oid)
{
    byte* p = db->put(oid);
    if (p == nullptr) {
        throw dbTransactionFailed{};
    }
    return p;
}

// An index or row of the file that is not what it must be: reported (class
// 4), a changing transaction is undone, and the operation unwinds.
[[noreturn]] void dbDamaged(dbDatabase* db);

// An object read by id: it must exist with the given marker and lie inside
// the file (0 for a row, which must be a record as findRecord checks it).
inline const byte* dbMustGet(dbDatabase* db, oid_t oid, offs_t marker)
{
    if (marker == 0) {
        const dbRecord* row = db->findRecord(oid);
        if (row == nullptr) {
            dbDamaged(db);
        }
        return reinterpret_cast<const byte*>(row);
    }
    if (oid == 0 || oid >= db->getIndexSize()) {
        dbDamaged(db);
    }
    offs_t pos = db->getPos(oid);
    if ((pos & (dbFreeHandleMarker | dbInternalObjectMarker)) != marker ||
        std::uint64_t(pos - marker) + dbInternalObjectSize[marker] > db->getHeader()->size) {
        dbDamaged(db);
    }
    return db->get(oid);
}

// Watches one search, change or check of a field's indexes on the calling
// thread: damage this thread meets while it runs (reported through
// dbDamaged, or told with met()) marks them broken, so that searches go round
// them and changes through them are refused until the database closes. Only
// the thread's innermost watch of the database is marked: damage one thread
// meets never marks an index another thread is using.
class dbIndexWatch {
  public:
    dbIndexWatch(dbDatabase* db, dbFieldDescriptor* fd) : db(db), fd(fd), outer(innermost) { innermost = this; }
    ~dbIndexWatch()
    {
        innermost = outer;
        if (damaged) {
            fd->indexBroken = true;
        }
    }
    dbIndexWatch(const dbIndexWatch&) = delete;
    dbIndexWatch& operator=(const dbIndexWatch&) = delete;

    // Damage met through the watched index, whoever found it.
    void met() { damaged = true; }
    // The calling thread's innermost watch of db, null when none.
    static dbIndexWatch* current(const dbDatabase* db)
    {
        dbIndexWatch* w = innermost;
        while (w != nullptr && w->db != db) {
            w = w->outer;
        }
        return w;
    }

  private:
    dbDatabase* db;
    dbFieldDescriptor* fd;
    dbIndexWatch* outer;
    bool damaged = false;
    static inline thread_local dbIndexWatch* innermost = nullptr;
};

// How many times the calling thread has met damage (dbDamaged) in any
// database: a search compares it before and after to tell whether it met any.
std::uint64_t dbDamageMetByThisThread();

// Runs one change of records or indexes: false when the transaction failed.
template <class Change>
bool dbGuarded(dbDatabase* db, Change&& change)
{
    try {
        change();
        return !db->transactionFailed();
    } catch (dbTransactionFailed&) {
        return false;
    }
}
inline oid_t dbMustAllocate(dbDatabase* db, offs_t marker)
{
    oid_t oid = db->allocateObject(marker);
    if (oid == 0) {
        throw dbTransactionFailed{};
    }
    return oid;
}
