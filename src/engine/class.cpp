// Table and field descriptors: building stored layouts from the describe
// rings, the stored descriptor row, and copying records between application
// objects and stored rows.
#include "engine/class.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "engine/symtab.h"

namespace {

std::size_t alignUp(std::size_t n, std::size_t a) { return (n + a - 1) & ~(a - 1); }

// Where an array whose elements align to `a` starts, at or after offs:
// offsets of an array element's varying parts count from the element, which
// lies `at` bytes into the row; the array is aligned within the row, so that
// its items are aligned wherever the row lies (rows start on 16 bytes).
std::size_t arrayStart(std::size_t offs, std::size_t at, std::size_t a) { return alignUp(at + offs, a) - at; }

const char emptyText[] = "";

char* concat(const char* a, const char* b)
{
    std::size_t la = std::strlen(a), lb = std::strlen(b);
    char* s = new char[la + lb + 1];
    std::memcpy(s, a, la);
    std::memcpy(s + la, b, lb + 1);
    return s;
}

bool isNumeric(int type) { return type >= dbField::tpBool && type <= dbField::tpReal8; }
bool isReal(int type) { return type == dbField::tpReal4 || type == dbField::tpReal8; }

// Size in bytes of a scalar application or stored type.
std::size_t scalarSize(int type)
{
    switch (type) {
      case dbField::tpBool:
      case dbField::tpInt1:
        return 1;
      case dbField::tpInt2:
        return 2;
      case dbField::tpInt4:
      case dbField::tpReal4:
      case dbField::tpReference:
        return 4;
      default:
        return 8;
    }
}

// A field held in place (a scalar or raw bytes), copied between the object
// and the row: the same bytes on both sides.
inline void copyInPlace(const dbFieldDescriptor& fd, byte* dst, const byte* src)
{
    if (fd.appType == dbField::tpRawBinary) {
        std::memcpy(dst, src, fd.dbsSize);
    } else {
        std::memcpy(dst, src, scalarSize(fd.appType));
    }
}

const dbVarying& varyingAt(const byte* p)
{
    return *reinterpret_cast<const dbVarying*>(p);
}

void setVarying(byte* p, std::uint32_t size, std::uint32_t offs)
{
    dbVarying v{size, offs};
    std::memcpy(p, &v, sizeof v);
}

// Alignment of a structure: the largest of its data fields'.
std::size_t structAlignment(dbFieldDescriptor* ring)
{
    std::size_t a = 1;
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            break;
        }
        a = std::max(a, fd->type == dbField::tpStructure ? structAlignment(fd->components) : fd->alignment);
    } while ((fd = fd->next) != ring);
    return a;
}

}  // namespace

int dbDefaultComparator(const void* a, const void* b, std::size_t size)
{
    return std::memcmp(a, b, size);
}

// ---------------------------------------------------------------------------
// Arrays of record objects.

void dbAnyArray::arraySetter(dbAnyArray* arr, void* data, std::size_t length, std::size_t elemSize)
{
    arr->release();
    arr->nElems = length;
    if (data != nullptr || length == 0) {
        arr->data = data;
    } else {
        arr->data = ::operator new(length * elemSize);
        std::memset(arr->data, 0, length * elemSize);
        arr->owns = true;
    }
}

void dbAnyArray::assign(const dbAnyArray& other, std::size_t elemSize)
{
    if (other.owns) {
        arraySetter(this, nullptr, other.nElems, elemSize);
        if (other.nElems != 0) {
            std::memcpy(data, other.data, other.nElems * elemSize);
        }
    } else {
        arraySetter(this, other.data, other.nElems, elemSize);
    }
}

// ---------------------------------------------------------------------------
// Field descriptors.

void* dbFieldDescriptor::operator new(std::size_t size)
{
    // size + 8 bytes from the heap; the first 8-byte boundary at least 4
    // bytes in, with the distance back stored in the word before it.
    byte* block = static_cast<byte*>(std::malloc(size + 8));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    byte* p = reinterpret_cast<byte*>(alignUp(reinterpret_cast<std::uintptr_t>(block) + 4, 8));
    std::uint32_t distance = std::uint32_t(p - block);
    std::memcpy(p - 4, &distance, 4);
    return p;
}

void dbFieldDescriptor::operator delete(void* p)
{
    if (p == nullptr) {
        return;
    }
    std::uint32_t distance;
    std::memcpy(&distance, static_cast<byte*>(p) - 4, 4);
    std::free(static_cast<byte*>(p) - distance);
}

dbFieldDescriptor::dbFieldDescriptor(const char* fieldName) : name(fieldName), dbsSize(0), appSize(0), alignment(1)
{
    dbSymbolTable::add(name, tokIdent, false);
}

dbFieldDescriptor::dbFieldDescriptor(const char* fieldName, std::size_t offs, std::size_t size, int index,
                                     const char* inverse, dbFieldDescriptor* comps)
    : name(fieldName), inverseRefName(inverse), indexType(index), appOffs(int(offs)), components(comps),
      dbsSize(size), appSize(size), alignment(size)
{
    dbSymbolTable::add(name, tokIdent, false);
    if (inverseRefName != nullptr) {
        dbSymbolTable::add(inverseRefName, tokIdent, false);
    }
}

dbFieldDescriptor::~dbFieldDescriptor()
{
    if (components != nullptr && method == nullptr &&
        (type == dbField::tpString || type == dbField::tpArray || type == dbField::tpStructure)) {
        // Components are owned by the field they describe (a method's
        // components are its structure's first field, owned elsewhere).
        dbFieldDescriptor* c = components;
        components = nullptr;
        dbFieldDescriptor* f = c;
        do {
            dbFieldDescriptor* nextOne = f->next;
            delete f;
            f = nextOne;
        } while (f != c);
    }
    delete method;
    delete[] longName;
}

dbFieldDescriptor* dbFieldDescriptor::find(const char* fieldName)
{
    dbFieldDescriptor* fd = this;
    do {
        if (std::strcmp(fd->name, fieldName) == 0) {
            return fd;
        }
    } while ((fd = fd->next) != this);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Describe helpers.

dbFieldDescriptor* dbDescribeScalar(dbFieldDescriptor* fd, int type)
{
    fd->type = fd->appType = type;
    return fd;
}

dbFieldDescriptor* dbDescribeString(dbFieldDescriptor* fd)
{
    fd->type = fd->appType = dbField::tpString;
    fd->dbsSize = sizeof(dbVarying);
    fd->alignment = 4;
    fd->components = new dbFieldDescriptor("[]", 0, 1, 0);
    fd->components->type = fd->components->appType = dbField::tpInt1;
    return fd;
}

dbFieldDescriptor* dbDescribeRef(dbFieldDescriptor* fd, dbTableDescriptor* target)
{
    fd->type = fd->appType = dbField::tpReference;
    fd->refTable = target;
    fd->dbsSize = fd->alignment = 4;
    return fd;
}

dbFieldDescriptor* dbDescribeArray(dbFieldDescriptor* fd, dbFieldDescriptor* element)
{
    fd->type = fd->appType = dbField::tpArray;
    fd->dbsSize = sizeof(dbVarying);
    fd->alignment = 4;
    fd->arraySetter = &dbAnyArray::arraySetter;
    fd->components = element;
    return fd;
}

dbFieldDescriptor* dbDescribeStruct(dbFieldDescriptor* fd, dbFieldDescriptor* comps)
{
    fd->type = fd->appType = dbField::tpStructure;
    fd->components = comps;
    fd->alignment = structAlignment(comps);
    return fd;
}

dbFieldDescriptor* dbJoinRing(std::initializer_list<dbFieldDescriptor*> fields)
{
    dbFieldDescriptor* head = nullptr;
    for (dbFieldDescriptor* fd : fields) {
        if (head == nullptr) {
            head = fd;
        } else {
            fd->prev = head->prev;
            fd->next = head;
            head->prev->next = fd;
            head->prev = fd;
        }
    }
    return head;
}

int dbMethodType(bool*) { return dbField::tpMethodBool; }
int dbMethodType(std::int8_t*) { return dbField::tpMethodInt1; }
int dbMethodType(std::int16_t*) { return dbField::tpMethodInt2; }
int dbMethodType(std::int32_t*) { return dbField::tpMethodInt4; }
int dbMethodType(std::int64_t*) { return dbField::tpMethodInt8; }
int dbMethodType(float*) { return dbField::tpMethodReal4; }
int dbMethodType(double*) { return dbField::tpMethodReal8; }

dbFieldDescriptor* dbDateTime::dbDescribeComponents()
{
    using dbSelf = dbDateTime;
    return dbJoinRing({DB_KEY(stamp, dbHashed | dbIndexed), DB_METHOD(second), DB_METHOD(minute),
                       DB_METHOD(hour), DB_METHOD(dayOfWeek), DB_METHOD(dayOfYear), DB_METHOD(day),
                       DB_METHOD(month), DB_METHOD(year)});
}

// ---------------------------------------------------------------------------
// Table descriptors.

dbTableDescriptor::dbTableDescriptor(const char* tableName, dbDatabase* database, std::size_t objSize,
                                     std::size_t objAlign, dbDescribeFunc func, dbTableDescriptor* original,
                                     bool chained)
    : name(tableName), db(database), fixedDatabase(database != nullptr && database != DETACHED_TABLE),
      appSize(objSize), appAlignment(objAlign), cloneOf(original), describeComponentsFunc(func)
{
    dbSymbolTable::add(name, tokIdent, false);
    if (original == nullptr && chained) {
        if (chainTail == nullptr) {
            chain = this;
        } else {
            chainTail->next = this;
        }
        chainTail = this;
    }
    columns = func();
    int attr = dbFieldDescriptor::OneToOneMapping;
    std::size_t offs = sizeof(dbRecord);
    buildFieldsList(columns, nullptr, long(sizeof(dbRecord)), dbHashed | dbIndexed | dbOwner, attr, offs, false);
    fixedSize = offs;
    // The described members, laid out by their application offsets and
    // sizes, must reach the end of the class (padding to its alignment).
    std::size_t described = 0;
    dbFieldDescriptor* fd = columns;
    do {
        if (fd->method == nullptr) {
            described = std::max(described, std::size_t(fd->appOffs) + fd->appSize);
        }
    } while ((fd = fd->next) != columns);
    described = alignUp(described, std::max<std::size_t>(objAlign, 1));
    if (original == nullptr && described < objSize) {
        std::fprintf(stderr, "Warning: may be not all fields of the class '%s' were described\n", name);
    }
}

dbTableDescriptor::~dbTableDescriptor()
{
    if (tableId != 0 && db != nullptr && db != DETACHED_TABLE) {
        for (dbTableDescriptor** link = &db->tables; *link != nullptr; link = &(*link)->nextDbTable) {
            if (*link == this) {
                *link = nextDbTable;
                break;
            }
        }
    }
    if (cloneOf == nullptr) {
        dbTableDescriptor** link = &chain;
        dbTableDescriptor* previous = nullptr;
        while (*link != nullptr && *link != this) {
            previous = *link;
            link = &(*link)->next;
        }
        if (*link == this) {
            *link = next;
            if (chainTail == this) {
                chainTail = previous;
            }
        }
    }
    dbFieldDescriptor* fd = columns;
    if (fd != nullptr) {
        do {
            dbFieldDescriptor* nextOne = fd->next;
            delete fd;
            fd = nextOne;
        } while (fd != columns);
    }
}

std::size_t dbTableDescriptor::buildFieldsList(dbFieldDescriptor* ring, const char* prefix, long appBase,
                                               int indexMask, int& attr, std::size_t& offs, bool inArray)
{
    std::size_t alignment = 1;
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            dbAssert(fd != ring && "Not empty record");
            for (dbFieldDescriptor* m = fd; m != ring; m = m->next) {
                dbAssert(m->method != nullptr && "Methods should be specified after variables");
                m->dbsOffs = ring->dbsOffs;
                m->components = ring;
                m->defTable = this;
                m->longName = prefix == nullptr ? concat(m->name, "") : concat(prefix, m->name);
                if (attr & dbFieldDescriptor::OneToOneMapping) {
                    dbAnyMethodTrampoline* fast = m->method->optimize();
                    delete m->method;
                    m->method = fast;
                }
            }
            break;
        }
        if (prefix == nullptr) {
            fd->longName = concat(fd->name, "");
            nColumns += 1;
        } else {
            fd->longName = concat(prefix, fd->name);
        }
        fd->defTable = this;
        fd->indexType &= indexMask;
        fd->attr = (attr & dbFieldDescriptor::ComponentOfArray) | dbFieldDescriptor::OneToOneMapping;
        if (fd->inverseRefName != nullptr) {
            dbAssert((fd->type == dbField::tpReference ||
                      (fd->type == dbField::tpArray && fd->components->type == dbField::tpReference)) &&
                     !inArray);
            fd->nextInverseField = inverseFields;
            inverseFields = fd;
        }
        *nextFieldLink = fd;
        nextFieldLink = &fd->nextField;
        fd->nextField = nullptr;
        fd->fieldNo = int(nFields++);

        switch (fd->type) {
          case dbField::tpString:
            attr = (attr & ~dbFieldDescriptor::OneToOneMapping) | dbFieldDescriptor::HasArrayComponents;
            fd->attr = (fd->attr & ~dbFieldDescriptor::OneToOneMapping) | dbFieldDescriptor::HasArrayComponents;
            break;
          case dbField::tpArray: {
            int elemAttr = dbFieldDescriptor::ComponentOfArray | dbFieldDescriptor::OneToOneMapping;
            std::size_t elemOffs = 0;
            buildFieldsList(fd->components, fd->longName, 0, 0, elemAttr, elemOffs, true);
            fd->attr |= dbFieldDescriptor::HasArrayComponents;
            dbFieldDescriptor* elem = fd->components;
            if (!(elemAttr & dbFieldDescriptor::OneToOneMapping) || elem->dbsSize != elem->appSize) {
                fd->attr &= ~dbFieldDescriptor::OneToOneMapping;
            }
            attr = (attr & ~dbFieldDescriptor::OneToOneMapping) | dbFieldDescriptor::HasArrayComponents;
            break;
          }
          case dbField::tpStructure: {
            std::size_t a = structAlignment(fd->components);
            std::size_t start = alignUp(offs, a);
            offs = start;
            int structAttr = (attr & dbFieldDescriptor::ComponentOfArray) | dbFieldDescriptor::OneToOneMapping;
            std::string nested = std::string(fd->longName) + ".";
            buildFieldsList(fd->components, nested.c_str(), long(start), fd->indexType, structAttr, offs, inArray);
            fd->alignment = a;
            fd->dbsOffs = int(start);
            fd->dbsSize = alignUp(offs - start, a);
            offs = start + fd->dbsSize;
            fd->attr = (fd->attr & ~dbFieldDescriptor::OneToOneMapping) |
                       (structAttr & (dbFieldDescriptor::OneToOneMapping | dbFieldDescriptor::HasArrayComponents));
            if (!(structAttr & dbFieldDescriptor::OneToOneMapping) || appBase + fd->appOffs != long(start)) {
                attr &= ~dbFieldDescriptor::OneToOneMapping;
            }
            attr |= structAttr & dbFieldDescriptor::HasArrayComponents;
            alignment = std::max(alignment, a);
            continue;
          }
          default:
            break;
        }
        fd->dbsOffs = int(alignUp(offs, fd->alignment));
        offs = fd->dbsOffs + fd->dbsSize;
        if (appBase + fd->appOffs != fd->dbsOffs) {
            attr &= ~dbFieldDescriptor::OneToOneMapping;
        }
        if (!inArray) {
            if (fd->indexType & dbHashed) {
                fd->nextHashedField = hashedFields;
                hashedFields = fd;
            }
            if (fd->indexType & dbIndexed) {
                fd->nextIndexedField = indexedFields;
                indexedFields = fd;
            }
        }
        alignment = std::max(alignment, fd->alignment);
    } while ((fd = fd->next) != ring);
    return alignment;
}

dbFieldDescriptor* dbTableDescriptor::findLong(const char* fieldName)
{
    for (dbFieldDescriptor* fd = firstField; fd != nullptr; fd = fd->nextField) {
        if (std::strcmp(fd->longName, fieldName) == 0) {
            return fd;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// The stored descriptor. A Metatable row is:
//   0  row header {size, next, prev}
//  12  name    {count, offset from the row's start}: the table name with NUL
//  20  fields  {count, 48}: one 44-byte dbField entry per field, in list order
//  28  fixedSize, nRows, nColumns (int4); 40 firstRow, lastRow (object ids)
//  48  the field entries; each entry's three {count, offset} pairs (long
//      name, referenced table name, inverse name) count from the entry's own
//      start. Then the strings: the table name, then for each field its long
//      name, referenced table name and inverse name ("" when none), each with
//      its NUL.

namespace {

const char* refName(const dbFieldDescriptor* fd)
{
    return fd->refTable != nullptr ? fd->refTable->name : emptyText;
}

const char* inverseName(const dbFieldDescriptor* fd)
{
    return fd->inverseRefName != nullptr ? fd->inverseRefName : emptyText;
}

// A {count, offset} string of a stored descriptor, checked to lie inside the
// row and end with its NUL (the row has been checked as a whole before).
const char* storedString(const byte* holder, const dbVarying& v) { return reinterpret_cast<const char*>(holder + v.offs); }

}  // namespace

std::size_t dbTableDescriptor::totalNamesLength() const
{
    std::size_t len = std::strlen(name) + 1;
    for (dbFieldDescriptor* fd = firstField; fd != nullptr; fd = fd->nextField) {
        len += std::strlen(fd->longName) + std::strlen(refName(fd)) + std::strlen(inverseName(fd)) + 3;
    }
    return len;
}

std::size_t dbTableDescriptor::metaRowSize() const
{
    return sizeof(dbTable) + nFields * sizeof(dbField) + totalNamesLength();
}

void dbTableDescriptor::storeInDatabase(byte* row) const
{
    dbTable* table = reinterpret_cast<dbTable*>(row);
    std::size_t offs = sizeof(dbTable) + nFields * sizeof(dbField);
    std::size_t nameLen = std::strlen(name) + 1;
    table->name.size = std::uint32_t(nameLen);
    table->name.offs = std::uint32_t(offs);
    std::memcpy(row + offs, name, nameLen);
    offs += nameLen;
    table->fields.size = std::uint32_t(nFields);
    table->fields.offs = sizeof(dbTable);
    table->fixedSize = std::int32_t(fixedSize);
    table->nColumns = std::int32_t(nColumns);
    std::size_t entryPos = sizeof(dbTable);
    for (dbFieldDescriptor* fd = firstField; fd != nullptr; fd = fd->nextField, entryPos += sizeof(dbField)) {
        dbField* entry = reinterpret_cast<dbField*>(row + entryPos);
        dbVarying* pairs[3] = {&entry->name, &entry->tableName, &entry->inverse};
        const char* texts[3] = {fd->longName, refName(fd), inverseName(fd)};
        for (int i = 0; i < 3; i++) {
            std::size_t len = std::strlen(texts[i]) + 1;
            pairs[i]->size = std::uint32_t(len);
            pairs[i]->offs = std::uint32_t(offs - entryPos);
            std::memcpy(row + offs, texts[i], len);
            offs += len;
        }
        entry->type = fd->type;
        entry->offset = fd->dbsOffs;
        entry->size = std::int32_t(fd->dbsSize);
        entry->hashTable = fd->hashTable;
        entry->tTree = fd->tTree;
    }
}

namespace {

// The length, NUL included, of a text of a stored descriptor whose pair v
// belongs to the structure at `holder`, when the text lies at `at` (where
// the packing puts the next text), inside the row, with its NUL last and no
// other; 0 otherwise.
std::uint64_t packedText(const byte* row, std::uint64_t size, std::uint64_t holder, const dbVarying& v,
                         std::uint64_t at)
{
    if (holder + v.offs != at || v.size == 0 || at + v.size > size) {
        return 0;
    }
    return std::memchr(row + at, 0, v.size) == row + at + v.size - 1 ? v.size : 0;
}

// Stored size of a field of a data type; 0 when the field gives it
// (structures, raw bytes); -1 for no data type.
int storedSizeOf(int type)
{
    switch (type) {
      case dbField::tpString:
      case dbField::tpArray:
        return int(sizeof(dbVarying));
      case dbField::tpStructure:
      case dbField::tpRawBinary:
        return 0;
      default:
        return type >= dbField::tpBool && type <= dbField::tpReference ? int(scalarSize(type)) : -1;
    }
}

// What a stored layout's fields lie in, one after another: the fixed part
// of the row, a structure, or an array (whose one element starts its own
// layout at 0).
struct Enclosure {
    std::string_view name;  // long name; empty for the row
    int type;               // tpStructure, tpArray, or -1 for the row
    std::uint64_t next;     // where its next field may start
    std::uint64_t end;      // where its fields end at the latest
    int fields = 0;
};

bool plainName(std::string_view s) { return !s.empty() && s.find_first_of(".[]") == std::string_view::npos; }

// Whether a long name is that of a field of the enclosure: a plain name in
// the row, "<structure>.<plain name>", or "<array>[]" for an array's one
// element.
bool namedIn(const Enclosure& e, std::string_view name)
{
    if (e.type < 0) {
        return plainName(name);
    }
    if (name.size() <= e.name.size() || name.substr(0, e.name.size()) != e.name) {
        return false;
    }
    std::string_view rest = name.substr(e.name.size());
    return e.type == dbField::tpArray ? e.fields == 0 && rest == "[]" : rest[0] == '.' && plainName(rest.substr(1));
}

// Whether the fields of a stored descriptor row (its texts checked) nest and
// lie as the engine lays them out, each named once.
bool storedFieldsSound(const byte* row, const dbTable& table)
{
    std::vector<Enclosure> open{{{}, -1, sizeof(dbRecord), std::uint64_t(std::max(table.fixedSize, 0))}};
    std::vector<std::string_view> names;
    std::int64_t columns = 0;
    for (std::size_t i = 0; i < table.fields.size; i++) {
        const std::size_t at = sizeof(dbTable) + i * sizeof(dbField);
        dbField e;
        std::memcpy(&e, row + at, sizeof e);
        const std::string_view name(reinterpret_cast<const char*>(row + at + e.name.offs), e.name.size - 1);
        while (!namedIn(open.back(), name)) {
            if (open.size() == 1 || open.back().fields == 0) {
                return false;
            }
            open.pop_back();
        }
        Enclosure& in = open.back();
        const int size = storedSizeOf(e.type);
        if (size < 0 || (size > 0 ? e.size != size : e.size <= 0) || e.offset < 0 ||
            (e.tableName.size != 1 && e.type != dbField::tpReference) ||
            (e.inverse.size != 1 && e.type != dbField::tpReference && e.type != dbField::tpArray)) {
            return false;
        }
        const std::uint64_t start = std::uint64_t(e.offset), end = start + std::uint64_t(e.size);
        if (in.type == dbField::tpArray ? start != 0 : (start < in.next || end > in.end)) {
            return false;
        }
        in.next = end;
        in.fields += 1;
        columns += open.size() == 1;
        if (e.type == dbField::tpStructure || e.type == dbField::tpArray) {
            open.push_back({name, e.type, start, end});
        }
        names.push_back(name);
    }
    for (; open.size() > 1; open.pop_back()) {
        if (open.back().fields == 0) {
            return false;
        }
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) == names.end() &&
           open[0].next == std::uint64_t(table.fixedSize) && table.nColumns == columns;
}

}  // namespace

bool dbTableDescriptor::storedRowSound(const byte* row, bool metatable)
{
    dbTable table;
    std::memcpy(&table.hdr, row, sizeof table.hdr);
    const std::uint64_t size = table.hdr.size;
    if (size < sizeof(dbTable)) {
        return false;
    }
    std::memcpy(&table, row, sizeof table);
    const std::uint64_t n = table.fields.size;
    if (table.fields.offs != sizeof(dbTable) || n == 0 || sizeof(dbTable) + n * sizeof(dbField) > size) {
        return false;
    }
    std::uint64_t at = sizeof(dbTable) + n * sizeof(dbField);
    std::uint64_t length = packedText(row, size, 0, table.name, at);
    if (length < 2) {
        return false;
    }
    at += length;
    for (std::uint64_t i = 0; i < n; i++) {
        const std::uint64_t entry = sizeof(dbTable) + i * sizeof(dbField);
        dbField e;
        std::memcpy(&e, row + entry, sizeof e);
        for (const dbVarying* text : {&e.name, &e.tableName, &e.inverse}) {
            length = packedText(row, size, entry, *text, at);
            if (length == 0 || (text == &e.name && length < 2)) {
                return false;
            }
            at += length;
        }
    }
    if (at != size) {
        return false;
    }
    if (metatable) {
        const dbTableDescriptor* meta = dbMetaTableDescriptor();
        return std::strcmp(reinterpret_cast<const char*>(row) + table.name.offs, meta->name) == 0 && meta->equal(row);
    }
    return storedFieldsSound(row, table);
}

namespace {

// Whether a stored field entry is the descriptor's field exactly.
bool sameField(const dbFieldDescriptor* fd, const dbField* entry)
{
    const byte* e = reinterpret_cast<const byte*>(entry);
    return std::strcmp(fd->longName, storedString(e, entry->name)) == 0 &&
           std::strcmp(refName(fd), storedString(e, entry->tableName)) == 0 &&
           std::strcmp(inverseName(fd), storedString(e, entry->inverse)) == 0 && fd->dbsOffs == entry->offset &&
           fd->type == entry->type && std::int64_t(fd->dbsSize) == entry->size;
}

}  // namespace

bool dbTableDescriptor::equal(const byte* row) const
{
    const dbTable* table = reinterpret_cast<const dbTable*>(row);
    if (std::size_t(table->nColumns) != nColumns || table->fields.size != nFields ||
        std::size_t(table->fixedSize) != fixedSize) {
        return false;
    }
    const dbField* entry = reinterpret_cast<const dbField*>(row + table->fields.offs);
    for (dbFieldDescriptor* fd = firstField; fd != nullptr; fd = fd->nextField, entry++) {
        if (!sameField(fd, entry)) {
            return false;
        }
    }
    return true;
}

namespace {

// The entry of a stored descriptor row for a field's long name, null when none.
const dbField* storedField(const byte* row, const char* longName)
{
    const dbTable* table = reinterpret_cast<const dbTable*>(row);
    const dbField* entries = reinterpret_cast<const dbField*>(row + table->fields.offs);
    for (std::size_t i = 0; i < table->fields.size; i++) {
        if (std::strcmp(longName, storedString(reinterpret_cast<const byte*>(&entries[i]), entries[i].name)) == 0) {
            return &entries[i];
        }
    }
    return nullptr;
}

// Whether a stored field reads as the descriptor's field, as it is or converted.
bool readableAs(const dbFieldDescriptor* fd, const dbField* old)
{
    if (fd->attr & dbFieldDescriptor::ComponentOfArray) {
        // Elements are copied as they are: their layout may not change.
        return old->type == fd->type && old->offset == fd->dbsOffs && std::size_t(old->size) == fd->dbsSize;
    }
    if (isNumeric(fd->type)) {
        return isNumeric(old->type);
    }
    if (fd->type == dbField::tpReference) {
        return old->type == dbField::tpReference &&
               std::strcmp(refName(fd), storedString(reinterpret_cast<const byte*>(old), old->tableName)) == 0;
    }
    // string, array (element checked above), structure, raw
    return old->type == fd->type && (fd->type != dbField::tpRawBinary || std::size_t(old->size) == fd->dbsSize);
}

}  // namespace

dbTableDescriptor::Difference dbTableDescriptor::compare(const byte* row)
{
    Difference d;
    for (dbFieldDescriptor* fd = firstField; fd != nullptr; fd = fd->nextField) {
        const dbField* old = storedField(row, fd->longName);
        d.missing |= old == nullptr;
        d.unreadable |= old != nullptr && !readableAs(fd, old);
    }
    const dbTable* table = reinterpret_cast<const dbTable*>(row);
    const dbField* entries = reinterpret_cast<const dbField*>(row + table->fields.offs);
    for (std::size_t i = 0; i < table->fields.size && !d.unknown; i++) {
        d.unknown = findLong(storedString(reinterpret_cast<const byte*>(&entries[i]), entries[i].name)) == nullptr;
    }
    return d;
}

bool dbTableDescriptor::extendedIn(const byte* row) const
{
    const dbTable* table = reinterpret_cast<const dbTable*>(row);
    if (table->fields.size <= nFields) {
        return false;
    }
    for (dbFieldDescriptor* fd = firstField; fd != nullptr; fd = fd->nextField) {
        const dbField* stored = storedField(row, fd->longName);
        if (stored == nullptr || !sameField(fd, stored)) {
            return false;
        }
    }
    return true;
}

bool dbTableDescriptor::match(const byte* row, bool tableHasRows)
{
    for (dbFieldDescriptor* fd = firstField; fd != nullptr; fd = fd->nextField) {
        const dbField* old = storedField(row, fd->longName);
        fd->oldDbsType = old != nullptr ? old->type : int(dbField::tpUnknown);
        fd->oldDbsOffs = old != nullptr ? old->offset : fd->dbsOffs;
        fd->oldDbsSize = old != nullptr ? old->size : 0;
    }
    const Difference d = compare(row);
    // a field may disappear only from an empty table
    return !d.unreadable && !(d.unknown && tableHasRows);
}

// ---------------------------------------------------------------------------
// The Metatable describes itself.

namespace {

struct dbFieldRecord {
    const char* name;
    const char* tableName;
    const char* inverse;
    std::int32_t type;
    std::int32_t offset;
    std::int32_t size;
    oid_t hashTable;
    oid_t tTree;
    DB_FIELDS(dbFieldRecord, DB_FIELD(name), DB_FIELD(tableName), DB_FIELD(inverse), DB_FIELD(type),
              DB_FIELD(offset), DB_FIELD(size), DB_FIELD(hashTable), DB_FIELD(tTree))
};

struct dbTableRecord {
    const char* name;
    dbArray<dbFieldRecord> fields;
    std::int32_t fixedSize;
    std::int32_t nRows;
    std::int32_t nColumns;
    oid_t firstRow;
    oid_t lastRow;
    DB_FIELDS(dbTableRecord, DB_FIELD(name), DB_FIELD(fields), DB_FIELD(fixedSize), DB_FIELD(nRows),
              DB_FIELD(nColumns), DB_FIELD(firstRow), DB_FIELD(lastRow))
};

}  // namespace

dbTableDescriptor* dbMetaTableDescriptor()
{
    static dbTableDescriptor meta("Metatable", nullptr, sizeof(dbTableRecord), alignof(dbTableRecord),
                                  &dbTableRecord::dbDescribeComponents, nullptr, false);
    // The file format records 5 columns for the Metatable's own row.
    meta.nColumns = 5;
    return &meta;
}

// ---------------------------------------------------------------------------
// Copying between application objects and stored rows. A row is:
//   0   header {size, next row, previous row} (u32 each)
//   12  the fixed part: every field at its stored offset, scalars in their
//       stored width, references as u32 ids, strings and arrays as
//       {count, offset} pairs (count with the NUL for strings), structures
//       inline
//   then the varying part: each string with its NUL, each array at an offset
//       aligned to its element, elements laid out like a fixed part each.
// A pair's offset counts from the start of what holds it: the row, or the
// array element it belongs to. A ring's stored offsets count from `base`
// (the row's start, or an element's start); its application offsets from
// `obj` (the object, structure or element).

void dbFieldDescriptor::fetchRecordFields(dbFieldDescriptor* ring, byte* obj, const byte* base)
{
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            break;
        }
        byte* dst = obj + fd->appOffs;
        const byte* src = base + fd->dbsOffs;
        switch (fd->appType) {
          case dbField::tpString: {
            const char* text = reinterpret_cast<const char*>(base + varyingAt(src).offs);
            std::memcpy(dst, &text, sizeof text);
            break;
          }
          case dbField::tpArray: {
            const dbVarying& v = varyingAt(src);
            dbFieldDescriptor* elem = fd->components;
            dbAnyArray* arr = reinterpret_cast<dbAnyArray*>(dst);
            if (fd->attr & OneToOneMapping) {
                fd->arraySetter(arr, const_cast<byte*>(base + v.offs), v.size, elem->appSize);
            } else {
                fd->arraySetter(arr, nullptr, v.size, elem->appSize);
                byte* items = static_cast<byte*>(arr->base());
                for (std::size_t i = 0; i < v.size; i++) {
                    fetchRecordFields(elem, items + i * elem->appSize, base + v.offs + i * elem->dbsSize);
                }
            }
            break;
          }
          case dbField::tpStructure:
            fetchRecordFields(fd->components, dst, base);
            break;
          default:
            copyInPlace(*fd, dst, src);
            break;
        }
    } while ((fd = fd->next) != ring);
}

void dbFieldDescriptor::clearRecordFields(dbFieldDescriptor* ring, byte* obj)
{
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            break;
        }
        byte* dst = obj + fd->appOffs;
        switch (fd->appType) {
          case dbField::tpString: {
            const char* text = emptyText;
            std::memcpy(dst, &text, sizeof text);
            break;
          }
          case dbField::tpArray:
            fd->arraySetter(reinterpret_cast<dbAnyArray*>(dst), nullptr, 0, fd->components->appSize);
            break;
          case dbField::tpStructure:
            clearRecordFields(fd->components, dst);
            break;
          case dbField::tpRawBinary:
            std::memset(dst, 0, fd->appSize);
            break;
          default:
            std::memset(dst, 0, scalarSize(fd->appType));
            break;
        }
    } while ((fd = fd->next) != ring);
}

std::size_t dbFieldDescriptor::storeRecordFields(dbFieldDescriptor* ring, byte* base, const byte* obj,
                                                 std::size_t offs, std::size_t at)
{
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            break;
        }
        const byte* src = obj + fd->appOffs;
        byte* dst = base + fd->dbsOffs;
        switch (fd->appType) {
          case dbField::tpString: {
            const char* text;
            std::memcpy(&text, src, sizeof text);
            if (text == nullptr) {
                text = emptyText;
            }
            std::size_t len = std::strlen(text) + 1;
            std::memcpy(base + offs, text, len);
            setVarying(dst, std::uint32_t(len), std::uint32_t(offs));
            offs += len;
            break;
          }
          case dbField::tpArray: {
            const dbAnyArray* arr = reinterpret_cast<const dbAnyArray*>(src);
            dbFieldDescriptor* elem = fd->components;
            std::size_t n = arr->length();
            offs = arrayStart(offs, at, elem->alignment);
            setVarying(dst, std::uint32_t(n), std::uint32_t(offs));
            const byte* items = static_cast<const byte*>(arr->base());
            if (fd->attr & OneToOneMapping) {
                if (n != 0) {
                    std::memcpy(base + offs, items, n * elem->dbsSize);
                }
                offs += n * elem->dbsSize;
            } else {
                std::size_t start = offs;
                offs += n * elem->dbsSize;
                for (std::size_t i = 0; i < n; i++) {
                    std::size_t item = start + i * elem->dbsSize;
                    offs = item + storeRecordFields(elem, base + item, items + i * elem->appSize, offs - item, at + item);
                }
            }
            break;
          }
          case dbField::tpStructure:
            offs = storeRecordFields(fd->components, base, src, offs, at);
            break;
          default:
            copyInPlace(*fd, dst, src);
            break;
        }
    } while ((fd = fd->next) != ring);
    return offs;
}

std::size_t dbFieldDescriptor::calculateRecordSize(dbFieldDescriptor* ring, const byte* obj, std::size_t offs,
                                                   std::size_t at)
{
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            break;
        }
        const byte* src = obj + fd->appOffs;
        if (fd->appType == dbField::tpString) {
            const char* text;
            std::memcpy(&text, src, sizeof text);
            offs += (text == nullptr ? 0 : std::strlen(text)) + 1;
        } else if (fd->appType == dbField::tpArray) {
            const dbAnyArray* arr = reinterpret_cast<const dbAnyArray*>(src);
            dbFieldDescriptor* elem = fd->components;
            std::size_t n = arr->length();
            offs = arrayStart(offs, at, elem->alignment);
            std::size_t start = offs;
            offs += n * elem->dbsSize;
            if (elem->attr & HasArrayComponents) {
                const byte* items = static_cast<const byte*>(arr->base());
                for (std::size_t i = 0; i < n; i++) {
                    std::size_t item = start + i * elem->dbsSize;
                    offs = item + calculateRecordSize(elem, items + i * elem->appSize, offs - item, at + item);
                }
            }
        } else if (fd->appType == dbField::tpStructure) {
            offs = calculateRecordSize(fd->components, src, offs, at);
        }
    } while ((fd = fd->next) != ring);
    return offs;
}

bool dbFieldDescriptor::checkRecord(dbFieldDescriptor* ring, const byte* row, std::size_t base, std::size_t size)
{
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            break;
        }
        if (fd->type == dbField::tpStructure) {
            if (!checkRecord(fd->components, row, base, size)) {
                return false;
            }
            continue;
        }
        if (base + fd->dbsOffs + fd->dbsSize > size) {
            return false;
        }
        if (fd->type == dbField::tpString || fd->type == dbField::tpArray) {
            const dbVarying& v = varyingAt(row + base + fd->dbsOffs);
            std::uint64_t start = std::uint64_t(base) + v.offs;
            if (fd->type == dbField::tpString) {
                if (v.size == 0 || start + v.size > size || row[start + v.size - 1] != 0) {
                    return false;
                }
            } else {
                dbFieldDescriptor* elem = fd->components;
                if (start + std::uint64_t(v.size) * elem->dbsSize > size || start % elem->alignment != 0) {
                    return false;
                }
                if (elem->attr & HasArrayComponents) {
                    for (std::size_t i = 0; i < v.size; i++) {
                        if (!checkRecord(elem, row, std::size_t(start + i * elem->dbsSize), size)) {
                            return false;
                        }
                    }
                }
            }
        }
    } while ((fd = fd->next) != ring);
    return true;
}

bool dbFieldDescriptor::differs(const byte* row, const byte* obj) const
{
    const byte* stored = row + dbsOffs;
    const byte* value = obj + appOffs;
    if (type == dbField::tpString) {
        const char* text;
        std::memcpy(&text, value, sizeof text);
        if (text == nullptr) {
            text = emptyText;
        }
        return std::strcmp(reinterpret_cast<const char*>(row + varyingAt(stored).offs), text) != 0;
    }
    // Scalars, references and raw fields by their bytes, so that the index
    // always holds the key bytes of the stored row (0.0 and -0.0 differ).
    return std::memcmp(stored, value, type == dbField::tpRawBinary ? dbsSize : scalarSize(type)) != 0;
}

// ---------------------------------------------------------------------------
// Conversion of rows to a changed layout. Old values are read at the old
// offsets recorded by match(); varying parts of the old row are taken only
// when they lie inside it (a damaged value converts to empty).

namespace {

struct OldRow {
    const byte* row;
    std::size_t size;
};

double readReal(const byte* p, int type)
{
    if (type == dbField::tpReal4) {
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    double d;
    std::memcpy(&d, p, 8);
    return d;
}

std::int64_t readInt(const byte* p, int type)
{
    switch (type) {
      case dbField::tpBool:
        return *p != 0;
      case dbField::tpInt1:
        return std::int8_t(*p);
      case dbField::tpInt2: {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        return v;
      }
      case dbField::tpInt4: {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        return v;
      }
      default: {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        return v;
      }
    }
}

template <class T>
T saturate(std::int64_t v)
{
    return T(std::clamp<std::int64_t>(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// Float to integer: truncation toward zero, saturating, NaN as 0.
template <class T>
T saturate(double d)
{
    if (std::isnan(d)) {
        return 0;
    }
    if (d <= double(std::numeric_limits<T>::min())) {
        return std::numeric_limits<T>::min();
    }
    if (d >= double(std::numeric_limits<T>::max())) {
        return std::numeric_limits<T>::max();
    }
    return T(std::trunc(d));
}

void convertNumber(byte* dst, int newType, const byte* src, int oldType)
{
    bool fromReal = isReal(oldType);
    double d = fromReal ? readReal(src, oldType) : 0;
    std::int64_t i = fromReal ? 0 : readInt(src, oldType);
    switch (newType) {
      case dbField::tpBool:
        *dst = fromReal ? d != 0 : i != 0;  // NaN counts as non-zero
        break;
      case dbField::tpInt1: {
        std::int8_t v = fromReal ? saturate<std::int8_t>(d) : saturate<std::int8_t>(i);
        std::memcpy(dst, &v, 1);
        break;
      }
      case dbField::tpInt2: {
        std::int16_t v = fromReal ? saturate<std::int16_t>(d) : saturate<std::int16_t>(i);
        std::memcpy(dst, &v, 2);
        break;
      }
      case dbField::tpInt4: {
        std::int32_t v = fromReal ? saturate<std::int32_t>(d) : saturate<std::int32_t>(i);
        std::memcpy(dst, &v, 4);
        break;
      }
      case dbField::tpInt8: {
        std::int64_t v = fromReal ? saturate<std::int64_t>(d) : i;
        std::memcpy(dst, &v, 8);
        break;
      }
      case dbField::tpReal4: {
        float v = fromReal ? float(d) : float(i);
        std::memcpy(dst, &v, 4);
        break;
      }
      default: {
        double v = fromReal ? d : double(i);
        std::memcpy(dst, &v, 8);
        break;
      }
    }
}

// The old varying value of a field, or {0, 0} when it does not lie inside
// the old row (for strings: when it lacks its NUL).
dbVarying oldVarying(const dbFieldDescriptor* fd, const OldRow& old, std::size_t base)
{
    if (fd->oldDbsType == dbField::tpUnknown || base + fd->oldDbsOffs + sizeof(dbVarying) > old.size) {
        return {0, 0};
    }
    dbVarying v = varyingAt(old.row + base + fd->oldDbsOffs);
    std::uint64_t start = std::uint64_t(base) + v.offs;
    if (fd->type == dbField::tpString) {
        if (v.size == 0 || start + v.size > old.size || old.row[start + v.size - 1] != 0) {
            return {0, 0};
        }
    } else {
        const dbFieldDescriptor* elem = fd->components;
        if (start + std::uint64_t(v.size) * elem->dbsSize > old.size) {
            return {0, 0};
        }
    }
    return {v.size, std::uint32_t(start)};  // offs now from the old row's start
}

// Converts (dst non-null) or only measures (dst null) one ring.
std::size_t convertRing(dbFieldDescriptor* ring, byte* dst, std::size_t base, const OldRow& old, std::size_t oldBase,
                        std::size_t offs)
{
    dbFieldDescriptor* fd = ring;
    do {
        if (fd->method != nullptr) {
            break;
        }
        if (fd->type == dbField::tpStructure) {
            offs = convertRing(fd->components, dst, base, old, oldBase, offs);
            continue;
        }
        byte* out = dst != nullptr ? dst + base + fd->dbsOffs : nullptr;
        bool known = fd->oldDbsType != dbField::tpUnknown &&
                     oldBase + fd->oldDbsOffs + std::size_t(std::max(fd->oldDbsSize, 0)) <= old.size;
        const byte* in = old.row + oldBase + fd->oldDbsOffs;
        switch (fd->type) {
          case dbField::tpString: {
            dbVarying v = oldVarying(fd, old, oldBase);
            const char* text = v.size != 0 ? reinterpret_cast<const char*>(old.row + v.offs) : emptyText;
            std::size_t len = v.size != 0 ? v.size : 1;
            if (dst != nullptr) {
                std::memcpy(dst + base + offs, text, len);
                setVarying(out, std::uint32_t(len), std::uint32_t(offs));
            }
            offs += len;
            break;
          }
          case dbField::tpArray: {
            dbVarying v = oldVarying(fd, old, oldBase);
            dbFieldDescriptor* elem = fd->components;
            offs = arrayStart(offs, base, elem->alignment);
            std::size_t start = offs;
            if (dst != nullptr) {
                setVarying(out, v.size, std::uint32_t(offs));
            }
            offs += std::size_t(v.size) * elem->dbsSize;
            for (std::size_t i = 0; i < v.size; i++) {
                std::size_t at = start + i * elem->dbsSize;
                std::size_t from = v.offs + i * elem->dbsSize;
                offs = at + convertRing(elem, dst, base + at, old, from, offs - at);
            }
            break;
          }
          default:
            if (dst == nullptr) {
                break;
            }
            if (!known) {
                std::memset(out, 0, fd->dbsSize);
            } else if (isNumeric(fd->type) && isNumeric(fd->oldDbsType)) {
                convertNumber(out, fd->type, in, fd->oldDbsType);
            } else {
                std::memcpy(out, in, fd->dbsSize);
            }
            break;
        }
    } while ((fd = fd->next) != ring);
    return offs;
}

}  // namespace

std::size_t dbFieldDescriptor::convertRecord(dbFieldDescriptor* ring, byte* dst, const byte* src, std::size_t offs)
{
    const dbRecord* rec = reinterpret_cast<const dbRecord*>(src);
    return convertRing(ring, dst, 0, OldRow{src, rec->size}, 0, offs);
}

std::size_t dbFieldDescriptor::sizeAfterConversion(dbFieldDescriptor* ring, const byte* src, std::size_t offs)
{
    const dbRecord* rec = reinterpret_cast<const dbRecord*>(src);
    return convertRing(ring, nullptr, 0, OldRow{src, rec->size}, 0, offs);
}

dbKeyBytes dbRecordKey(const byte* row, int type, std::size_t sizeofType, std::size_t offs)
{
    static const byte zeros[dbPageSize] = {};
    std::size_t size = reinterpret_cast<const dbRecord*>(row)->size;
    if (type == dbField::tpString) {
        if (offs + sizeof(dbVarying) <= size) {
            const dbVarying& v = varyingAt(row + offs);
            if (v.size != 0 && std::uint64_t(v.offs) + v.size <= size && row[v.offs + v.size - 1] == 0) {
                return {row + v.offs, v.size - 1};
            }
        }
        return {zeros, 0};
    }
    if (offs + sizeofType <= size) {
        return {row + offs, sizeofType};
    }
    return {zeros, std::min(sizeofType, sizeof zeros)};
}

// ---------------------------------------------------------------------------
// Earlier layouts of tables.

dbFormerLayout::dbFormerLayout(const char* tableName, std::size_t objSize, std::size_t objAlign,
                               dbDescribeFunc describe)
    : layout(tableName, nullptr, objSize, objAlign, describe, nullptr, false), next(chain)
{
    chain = this;
}

dbFormerLayout::~dbFormerLayout()
{
    for (dbFormerLayout** link = &chain; *link != nullptr; link = &(*link)->next) {
        if (*link == this) {
            *link = next;
            break;
        }
    }
}

bool dbFormerLayout::declared(const char* tableName, const byte* row)
{
    for (const dbFormerLayout* f = chain; f != nullptr; f = f->next) {
        if (std::strcmp(f->layout.name, tableName) == 0 && f->layout.equal(row)) {
            return true;
        }
    }
    return false;
}
