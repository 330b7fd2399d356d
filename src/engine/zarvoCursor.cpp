#include "engine/zarvoCursor.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

// ---------------------------------------------------------------------------
// zarvoDatabase

zarvoDatabase::zarvoDatabase(std::uint8_t accessType, std::uint32_t initSize, std::uint32_t extensionQuantum,
                             std::uint32_t initIndexSize, std::uint32_t nThreads)
    : dbDatabase(accessType, initSize, extensionQuantum, initIndexSize, nThreads)
{
}

zarvoDatabase::~zarvoDatabase() = default;

bool zarvoDatabase::open(const char* dbName, const char* fileName, unsigned waitLockTimeoutMsec,
                         unsigned commitDelaySec)
{
    if (!directoryRecorded) {
        std::error_code error;
        std::filesystem::path cwd = std::filesystem::current_path(error);
        if (!error) {
            directory = cwd.string();
            while (!directory.empty() && directory.back() == '/') {
                directory.pop_back();
            }
            directoryRecorded = true;
        }
    }
    name = dbName != nullptr ? dbName : "";
    file = fileOf(dbName, fileName);
    opening = true;
    bool ok = dbDatabase::open(name.c_str(), file.c_str(), waitLockTimeoutMsec, commitDelaySec);
    opening = false;
    return ok;
}

std::string zarvoDatabase::fileOf(const char* dbName, const char* fileName)
{
    return fileName != nullptr ? std::string(fileName) : std::string(dbName != nullptr ? dbName : "") + ".zrv";
}

dbCompactionResult zarvoDatabase::compact(const char* dbName, const char* fileName)
{
    std::string file = fileOf(dbName, fileName);
    dbCompactionResult result = dbCompactFile(file.c_str());
    if (result.outcome == dbCompactionResult::dbNotCompacted) {
        std::fprintf(stderr, "%s not compacted: %s\n", file.c_str(), result.reason.c_str());
    }
    return result;
}

std::uint32_t zarvoDatabase::getNumberOfUsers()
{
    return dbDatabase::getNumberOfUsers();  // drops users that died first
}

offs_t zarvoDatabase::getPos(oid_t oid) const
{
    if (!isOpen() || oid >= getIndexSize()) {
        return dbFreeHandleMarker;
    }
    return dbDatabase::getPos(oid);
}

void zarvoDatabase::handleError(int errorClass, const char* msg, int arg)
{
    dbDatabase::handleError(errorClass, msg, arg);
    if (damageReporter != nullptr && !opening
        && (errorClass == DatabaseOpenError || errorClass == InconsistentInverseReference)) {
        damageReporter(errorText(errorClass, msg, arg));
    }
}

// ---------------------------------------------------------------------------
// zarvoAnyCursor

bool zarvoAnyCursor::gotoFirst()
{
    counter = 0;
    return dbAnyCursor::gotoFirst();
}

bool zarvoAnyCursor::gotoNext()
{
    if (!dbAnyCursor::gotoNext()) {
        return false;
    }
    counter += 1;
    return true;
}

bool zarvoAnyCursor::gotoPrev()
{
    if (!dbAnyCursor::gotoPrev()) {
        return false;
    }
    counter -= 1;
    return true;
}

bool zarvoAnyCursor::setPosition(std::uint32_t n)
{
    if (allRecords) {
        // Step along the row links without fetching the rows passed.
        bool wasPrefetching = prefetch;
        prefetch = false;
        bool ok = currId != 0 || gotoFirst();
        while (ok && counter < n) {
            ok = gotoNext();
        }
        while (ok && counter > n) {
            ok = gotoPrev();
        }
        prefetch = wasPrefetching;
        if (!ok) {
            return false;
        }
    } else {
        settle();
        dbSelection::segment* seg = selection.first;
        std::size_t pos = n;
        while (seg != nullptr && pos >= seg->nRows) {
            pos -= seg->nRows;
            seg = seg->next;
        }
        if (seg == nullptr) {
            return false;
        }
        selection.curr = seg;
        selection.pos = pos;
        currId = seg->rows[pos];
        counter = n;
        removed = false;
    }
    fetchIfPrefetch();
    return true;
}

// ---------------------------------------------------------------------------
// zarvoBuffer

namespace {

ZrvBlock* newChunk(std::size_t size)
{
    return new ZrvBlock{new char[size], size, nullptr};
}

const char emptyText[] = "";

}  // namespace

zarvoBuffer::zarvoBuffer() : first(newChunk(firstChunkSize)), current(first) {}

zarvoBuffer::~zarvoBuffer()
{
    for (ZrvBlock* chunk = first; chunk != nullptr;) {
        ZrvBlock* next = chunk->next;
        delete[] chunk->data;
        delete chunk;
        chunk = next;
    }
}

const char* zarvoBuffer::put(const char* text)
{
    if (text == nullptr || *text == '\0') {
        return emptyText;
    }
    std::size_t n = std::strlen(text);
    while (offset + n + 1 >= current->size) {
        if (current->next != nullptr) {
            current = current->next;
            offset = 0;
        } else {
            // A new chunk that fits the text at the present offset.
            current->next = newChunk(offset + n + 2);
            current = current->next;
        }
    }
    char* copy = current->data + offset;
    std::memcpy(copy, text, n + 1);
    offset += n + 1;
    return copy;
}

void zarvoBuffer::clear()
{
    current = first;
    offset = 0;
}
