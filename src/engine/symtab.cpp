#include "engine/symtab.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

struct Entry {
    Entry* next;
    const char* name;
    std::uint32_t hash;
    int tag;
    bool owned;
};

// Zero-initialised before any dynamic initialisation, so descriptors built
// by static constructors may intern their names.
Entry* buckets[dbSymbolTable::hashTableSize];
std::size_t entryCount;
constinit std::mutex tableMutex;
bool cleanupRegistered;
std::once_flag keywordsOnce;

void freeAll()
{
    for (Entry*& head : buckets) {
        Entry* e = head;
        while (e != nullptr) {
            Entry* next = e->next;
            if (e->owned) {
                delete[] e->name;
            }
            delete e;
            e = next;
        }
        head = nullptr;
    }
    entryCount = 0;
}

// Adds or finds; the caller holds the table mutex.
int addLocked(const char*& name, int tag, bool allocate)
{
    if (!cleanupRegistered) {
        // Registered at the first use: every object whose construction
        // interned a name is destroyed before the table is emptied.
        cleanupRegistered = true;
        std::atexit(freeAll);
    }
    std::uint32_t h = dbSymbolTable::hash(name);
    Entry*& head = buckets[h % dbSymbolTable::hashTableSize];
    for (Entry* e = head; e != nullptr; e = e->next) {
        if (e->hash == h && std::strcmp(e->name, name) == 0) {
            name = e->name;
            return e->tag;
        }
    }
    Entry* e = new Entry;
    if (allocate) {
        std::size_t len = std::strlen(name);
        char* copy = new char[len + 1];
        std::memcpy(copy, name, len + 1);
        e->name = copy;
        name = copy;
    } else {
        e->name = name;
    }
    e->hash = h;
    e->tag = tag;
    e->owned = allocate;
    e->next = head;
    head = e;
    entryCount += 1;
    return tag;
}

struct Keyword {
    const char* name;
    int tag;
};

const Keyword keywords[] = {
    {"all", tokAll},         {"abs", tokAbs},         {"and", tokAnd},
    {"asc", tokAsc},         {"between", tokBetween}, {"by", tokBy},
    {"current", tokCurrent}, {"desc", tokDesc},       {"escape", tokEscape},
    {"exists", tokExists},   {"first", tokFirst},     {"false", tokFalse},
    {"follow", tokFollow},   {"from", tokFrom},       {"in", tokIn},
    {"is", tokIs},           {"integer", tokInteger}, {"insert", tokInsert},
    {"into", tokInto},       {"last", tokLast},       {"length", tokLength},
    {"like", tokLike},       {"lower", tokLower},     {"not", tokNot},
    {"null", tokNull},       {"or", tokOr},           {"order", tokOrder},
    {"real", tokReal},       {"select", tokSelect},   {"start", tokStart},
    {"string", tokString},   {"table", tokTable},     {"true", tokTrue},
    {"upper", tokUpper},     {"where", tokWhere},
};
static_assert(sizeof(keywords) / sizeof(keywords[0]) == 35);

} // namespace

std::uint32_t dbSymbolTable::hash(const char* name)
{
    std::uint32_t h = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        h = h * 31 + *p;
    }
    return h;
}

void dbSymbolTable::registerKeywords()
{
    std::call_once(keywordsOnce, [] {
        std::lock_guard<std::mutex> guard(tableMutex);
        for (const Keyword& k : keywords) {
            const char* name = k.name;
            addLocked(name, k.tag, false);
        }
    });
}

int dbSymbolTable::add(const char*& name, int tag, bool allocate)
{
    registerKeywords();
    std::lock_guard<std::mutex> guard(tableMutex);
    return addLocked(name, tag, allocate);
}

int dbSymbolTable::add(char*& name, int tag, bool allocate)
{
    const char* p = name;
    int result = add(p, tag, allocate);
    // Interned texts are never written through; the non-const form only
    // serves callers that keep names in char* fields.
    name = const_cast<char*>(p);
    return result;
}

std::size_t dbSymbolTable::size()
{
    std::lock_guard<std::mutex> guard(tableMutex);
    return entryCount;
}
