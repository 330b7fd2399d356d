// Damaged database files: a database of contacts with categories and cheques,
// damaged in thousands of seeded ways (single words of the header, of both
// roots' indexes, of bitmap pages and of rows, row links, bit flips,
// truncation, zeroed pages, appended bytes), each on a clean and on a dirty
// file. Every variant runs in a child process that opens it, walks and queries
// every table, inserts, updates, removes, commits and reopens. Each variant
// must either be refused at open with a class-4 report and the file as it
// was, or work, with every operation that meets the damage failing with a
// class-4 report (an insert into a table whose walk stopped short among
// them); the file must open again afterwards. A file that the restore's
// index check passes, or whose indexes the start rebuilt, must find every
// contact through its indexes. No crash,
// abort or hang (5 s per variant). Apart from those, every byte of the
// stored table layouts is changed to several values, each file opened and
// checked as the program's start does: each is refused, or told by the
// check, and no table is converted.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <poll.h>
#include <random>
#include <signal.h>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "appcore/schema.h"
#include "engine/compact.h"
#include "engine/hashtab.h"
#include "engine/program_tables.h"
#include "engine/support_index.h"
#include "engine/support_storage.h"

using namespace storagetest;

namespace {

// Records reports without printing them; classes that end the process still
// end it (the parent sees the abnormal exit).
class QuietDatabase : public dbDatabase {
public:
    void handleError(int errorClass, const char* msg, int arg) override
    {
        classes.push_back(errorClass);
        texts.push_back(errorText(errorClass, msg, arg));
        switch (errorClass) {
        case DatabaseOpenError:
        case FileError:
        case OutOfMemoryError:
        case QueryError:
        case ArithmeticError:
        case IndexOutOfRangeError:
        case NullReferenceError:
        case InconsistentInverseReference:
            return;
        default:
            dbDatabase::handleError(errorClass, msg, arg);
        }
    }
    // Empty when every report is a class-4 one (or, from a query, a
    // reference that leads to no record, the query's own run-time error).
    std::string foreignReports() const
    {
        for (size_t i = 0; i < classes.size(); i++) {
            if (classes[i] != DatabaseOpenError && classes[i] != NullReferenceError) {
                return "class " + std::to_string(classes[i]) + ": " + texts[i];
            }
        }
        return "";
    }
    std::vector<int> classes;
    std::vector<std::string> texts;
};

constexpr int contacts = 300;
constexpr int cheques = 60;
constexpr int32_t newContactId = 900000;

struct Baseline {
    std::vector<uint8_t> clean;
    std::vector<uint8_t> dirty;
    std::vector<oid_t> contactIds;  // in the clean file, in list order
    // The clean file with its ID hash index filed as earlier releases left
    // it at 1,023 buckets, which this release moves to a larger size.
    std::vector<uint8_t> stuck;
};

void setWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    if (offset + 4 <= bytes.size()) {
        std::memcpy(bytes.data() + offset, &value, 4);
    }
}

class Scratch {
public:
    Scratch()
    {
        char pattern[] = "/dev/shm/quillet-damage-XXXXXX";
        path = mkdtemp(pattern) != nullptr ? pattern : "/tmp";
        file = path + "/damaged.zrv";
    }
    ~Scratch()
    {
        dropMonitor();
        std::remove(file.c_str());
        rmdir(path.c_str());
    }
    // The monitor a killed child leaves behind.
    void dropMonitor() const
    {
        struct stat st;
        if (stat(file.c_str(), &st) == 0) {
            shm_unlink(("/quillet-" + std::to_string(uint64_t(st.st_dev)) + "-" + std::to_string(uint64_t(st.st_ino))).c_str());
        }
    }
    std::string path;
    std::string file;
};

std::vector<oid_t> addContacts(zarvoBuffer& texts, int from, int count, const std::vector<dbReference<Category>>& categories)
{
    std::vector<oid_t> ids;
    for (int i = from; i < from + count; i++) {
        Customer c;
        c.id = i;
        c.name = texts.put("Contact " + std::to_string(i));
        c.person = texts.put("Person " + std::to_string(i % 17));
        c.telephone = texts.put("555-" + std::to_string(1000 + i));
        c.email = texts.put("c" + std::to_string(i) + "@example.com");
        c.amount = real4(i) * 1.5f;
        if (!categories.empty()) {
            c.category = categories[size_t(i) % categories.size()];
        }
        ids.push_back(insert(c).getOid());
    }
    return ids;
}

const Baseline& baseline()
{
    static const Baseline made = [] {
        Baseline b;
        Scratch dir;
        {
            dbDatabase db;
            EXPECT_TRUE(db.open("damage", dir.file.c_str()));
            zarvoBuffer texts;
            std::vector<dbReference<Category>> categories;
            for (const char* name : {"Clients", "Suppliers", "Friends"}) {
                Category cat;
                cat.name = name;
                categories.push_back(insert(cat));
            }
            b.contactIds = addContacts(texts, 1, contacts, categories);
            dbCursor<Customer> all;
            all.select();
            for (int i = 0; i < cheques && all.next(); i++) {
                Cheque q;
                q.chequeNo = texts.put("Q" + std::to_string(1000 + i));
                q.amount = 10.0 * i;
                q.customer = all.currentId();
                q.transDate = dbDateTime(1700000000 + 86400 * i);
                insert(q);
            }
            EXPECT_TRUE(db.commit());
            db.close();
        }
        b.clean = readFile(dir.file);
        dir.dropMonitor();
        {
            dbDatabase db;
            EXPECT_TRUE(db.open("damage", dir.file.c_str()));
            EXPECT_TRUE(indextest::fileHashAsEarlierReleases(db, Customer::dbDescriptor.find("id"), 1023));
            db.close();
        }
        b.stuck = readFile(dir.file);
        writeFile(dir.file, b.clean);
        dir.dropMonitor();
        {
            // A dirty file: a committed change, then one the process never
            // committed (it ends without closing).
            dbDatabase db;
            EXPECT_TRUE(db.open("damage", dir.file.c_str()));
            zarvoBuffer texts;
            addContacts(texts, contacts + 1, 5, {});
            dbCursor<Customer> upd(dbCursorForUpdate);
            upd.select();
            upd.get()->name = "Renamed";
            upd.update();
            EXPECT_TRUE(db.commit());
            addContacts(texts, contacts + 10, 3, {});
            b.dirty = readFile(dir.file);
        }
        return b;
    }();
    return made;
}

// ---- One variant, in a child process ----

struct ParsedFile {
    uint32_t size = 0, curr = 0;
    uint32_t committedIndex = 0, workingIndex = 0, used = 0;
    std::vector<uint32_t> bitmapPages;  // offsets
    std::vector<std::pair<uint32_t, oid_t>> rows;  // offset, id of every committed record
    std::vector<std::pair<uint32_t, uint32_t>> hashParts;  // offset, size of every hash table, bucket page and item
};

ParsedFile parse(const std::vector<uint8_t>& bytes)
{
    ParsedFile f;
    f.size = uint32_t(bytes.size());
    f.curr = word(bytes, 4) & 1;
    f.committedIndex = word(bytes, 16 + 24 * f.curr);
    f.workingIndex = word(bytes, 16 + 24 * (1 - f.curr));
    f.used = word(bytes, 32 + 24 * f.curr);
    for (oid_t oid = 1; oid < f.used; oid++) {
        offs_t e = word(bytes, f.committedIndex + 4 * size_t(oid));
        if (e & dbFreeHandleMarker) {
            continue;
        }
        const offs_t marker = e & dbInternalObjectMarker;
        if (oid >= dbBitmapId && oid < dbFirstUserId) {
            f.bitmapPages.push_back(e & ~dbInternalObjectMarker);
        } else if (marker == 0) {
            f.rows.emplace_back(e, oid);
        } else if (marker == dbPageObjectMarker || marker == dbHashTable::tableMarker || marker == dbHashTable::itemMarker) {
            f.hashParts.emplace_back(e - marker, uint32_t(dbInternalObjectSize[marker]));
        }
    }
    return f;
}

// What the child saw, as one line the parent can read.
struct Outcome {
    bool opened = false;
    bool walkFailed = false;
    bool changeFailed = false;
    bool committed = false;
    bool reopened = false;
    bool newContactFound = false;
    std::string firstReport;
};

std::string describe(const Outcome& o)
{
    std::ostringstream out;
    out << "open " << o.opened << " walkFailed " << o.walkFailed << " changeFailed " << o.changeFailed << " commit "
        << o.committed << " reopen " << o.reopened << " found " << o.newContactFound << " report \"" << o.firstReport
        << "\"";
    return out.str();
}

// Walks and queries every table the damage may reach; false when any of it
// failed. `changedListBroken`: the walk of a table changeSomething inserts
// into stopped short of its rows.
bool walkEverything(QuietDatabase& db, bool& changedListBroken)
{
    bool ok = true;
    auto walk = [&](auto& cursor) {
        size_t n = cursor.select();
        size_t seen = n != 0 ? 1 : 0;
        while (cursor.next()) {
            seen++;
        }
        ok &= seen >= n;
        return seen < n;
    };
    dbCursor<Customer> customers;
    changedListBroken = walk(customers);
    dbCursor<Category> categories;
    walk(categories);
    dbCursor<Cheque> chequeRows;
    changedListBroken |= walk(chequeRows);
    const char* pattern = "CONTACT 1%";
    dbQuery byName;
    byName.add("upper(name) like ").bind(pattern).add(" order by name");
    customers.select(byName);
    ok &= !customers.selectFailed();
    int32_t id = 42;
    dbQuery byId;
    byId.add("id = ").bind(id);
    customers.select(byId);
    ok &= !customers.selectFailed();
    dbQuery byCategory;
    const char* category = "Clients";
    byCategory.add("category != null and category.name = ").bind(category).add(" order by id desc");
    customers.select(byCategory);
    ok &= !customers.selectFailed();
    dbQuery byDate;
    dbDateTime from(1700000000);
    byDate.add("transDate.stamp >= ").bind(from.stamp).add(" order by transDate.stamp");
    chequeRows.select(byDate);
    ok &= !chequeRows.selectFailed();
    db.commit();
    return ok;
}

// Whether a search or change met damage in an index of the table.
bool anyIndexBroken(QuietDatabase& db, const char* table)
{
    bool broken = false;
    dbTableDescriptor* t = db.findTable(table);
    for (dbFieldDescriptor* fd = t->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
        broken |= fd->indexBroken;
    }
    for (dbFieldDescriptor* fd = t->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
        broken |= fd->indexBroken;
    }
    return broken;
}

// Inserts a contact and a cheque, renames a contact and removes a cheque.
bool changeSomething(QuietDatabase& db)
{
    zarvoBuffer texts;
    bool ok = true;
    Customer c;
    c.id = newContactId;
    c.name = "New contact";
    dbReference<Customer> added = insert(c);
    ok &= added.getOid() != 0;
    Cheque q;
    q.chequeNo = "NEW";
    q.customer = added;
    ok &= insert(q).getOid() != 0;
    dbCursor<Customer> upd(dbCursorForUpdate);
    if (upd.select() != 0 && upd.next()) {
        upd.get()->name = "Changed";
        ok &= upd.update();
    }
    dbCursor<Cheque> rm(dbCursorForUpdate);
    if (rm.select() != 0) {
        rm.remove();
        ok &= !db.transactionFailed();
    }
    return ok;
}

bool findNewContact()
{
    int32_t id = newContactId;
    dbQuery q;
    q.add("id = ").bind(id);
    dbCursor<Customer> c;
    return c.select(q) == 1;
}

// Bytes a recovery of a dirty file may rewrite before a later step refuses
// it: the size word, the working root's words and its index.
bool onlyRecoveryChanged(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after, std::string& where)
{
    if (before.size() != after.size()) {
        where = "size changed";
        return false;
    }
    uint32_t c = word(before, 4) & 1;
    uint64_t workingIndex = word(before, 16 + 24 * c + 4);
    uint64_t workingSize = 4 * uint64_t(word(before, 16 + 24 * c + 12));
    size_t otherRoot = 16 + 24 * (1 - c);
    for (size_t i = 0; i < before.size(); i++) {
        if (before[i] == after[i] || i < 4 || (i >= otherRoot && i < otherRoot + 24)
            || (i >= workingIndex && i < workingIndex + workingSize)) {
            continue;
        }
        where = "byte " + std::to_string(i) + " changed";
        return false;
    }
    return true;
}

// The check the restore and the start run must pass only a file whose
// indexes hold, and the start's rebuild must leave one: every contact found
// through the hash index by its id, and every one met by the walk of the
// T-tree in name order. "" or what the check let through; `rebuilt` tells
// whether the start rebuilt indexes.
std::string checkedIndexesHold(const std::string& path, bool& rebuilt)
{
    QuietDatabase db;
    if (!db.open("damage", path.c_str())) {
        return "";
    }
    const dbDatabase::dbIndexRepair checked = db.checkAndRebuildIndexes();
    rebuilt = checked == dbDatabase::dbIndexesRebuilt || checked == dbDatabase::dbRowKeysChanged;
    if (checked != dbDatabase::dbIndexesSound && !rebuilt) {
        return db.damageFound() ? "" : "damage was found but not marked";
    }
    if (checked == dbDatabase::dbIndexesSound && !db.texts.empty()) {
        return "";  // met at open, told there
    }
    if (db.damageFound()) {
        return "a sound or rebuilt file is still marked damaged";
    }
    dbCursor<Customer> all, found;
    std::size_t rows = all.select();
    int32_t id = 0;
    dbQuery byId, byName("order by name");
    byId.add("id = ").bind(id);
    for (std::size_t i = 0; i < rows; i++, all.next()) {
        id = all->id;
        bool met = false;
        for (std::size_t n = found.select(byId); n-- > 0 && !met; found.next()) {
            met = found.getOid() == all.getOid();
        }
        if (!met) {
            return "the check passed a hash index that misses a contact";
        }
    }
    if (found.select(byName) != rows || found.selectFailed()) {
        return "the check passed a T-tree that misses a contact";
    }
    return "";
}

// Runs in the child. Returns "" or what went wrong; the outcome is filled in.
std::string exercise(const std::string& path, const std::vector<uint8_t>& bytes, bool dirty, Outcome& o)
{
    {
        QuietDatabase db;
        o.opened = db.open("damage", path.c_str());
        if (!db.texts.empty()) {
            o.firstReport = db.texts[0];
        }
        if (!o.opened) {
            if (db.classes.empty()) {
                return "refused without a report";
            }
            if (!db.foreignReports().empty()) {
                return "refused with " + db.foreignReports();
            }
            std::vector<uint8_t> after = readFile(path);
            std::string where;
            if (dirty ? !onlyRecoveryChanged(bytes, after, where) : after != bytes) {
                return "a refused file was changed: " + where;
            }
            return "";
        }
        bool listBroken = false;
        o.walkFailed = !walkEverything(db, listBroken);
        const bool indexBroken = anyIndexBroken(db, "Customer") || anyIndexBroken(db, "Cheque");
        o.changeFailed = !changeSomething(db);
        o.committed = db.commit();
        if (listBroken && o.committed) {
            return "rows were linked into a row list a walk had found broken";
        }
        if (indexBroken && o.committed) {
            return "rows were added to an index a search had found broken";
        }
        if (!db.texts.empty()) {
            o.firstReport = db.texts[0];
        }
        if ((o.walkFailed || o.changeFailed || !o.committed) && db.classes.empty()) {
            return "an operation failed without a report";
        }
        if (!db.foreignReports().empty()) {
            return "reported " + db.foreignReports();
        }
        db.close();
    }
    QuietDatabase again;
    o.reopened = again.open("damage", path.c_str());
    if (!o.reopened) {
        return "no longer opens: " + (again.texts.empty() ? std::string() : again.texts[0]);
    }
    o.newContactFound = findNewContact();
    if (o.committed && !o.changeFailed && !o.newContactFound && again.classes.empty()) {
        return "a committed insert is missing";
    }
    again.close();
    return "";
}

// Whether the start's check passes a file as sound, on a copy of it (the
// open of a dirty file recovers it in place).
bool startCheckPasses(const Scratch& dir, const std::vector<uint8_t>& bytes)
{
    const std::string copy = dir.path + "/before.zrv";
    writeFile(copy, bytes);
    bool sound = false;
    {
        QuietDatabase db;
        if (db.open("damage", copy.c_str())) {
            sound = db.checkIndexes() && db.texts.empty();
            db.commit();
            db.close();
        }
    }
    std::remove(copy.c_str());
    return sound;
}

// A compaction of the file, that moves a hash index of an earlier release
// to a size of this one: it leaves the file byte for byte as it was, or
// puts in its place a copy whose indexes hold every contact where they
// say; and it never turns a file the start's check finds damaged into one
// it finds sound.
std::string compactAndCheck(const Scratch& dir, const std::vector<uint8_t>& bytes, bool)
{
    const bool soundBefore = startCheckPasses(dir, bytes);
    writeFile(dir.file, bytes);
    const dbCompactionResult result = dbCompactFile(dir.file.c_str(), dbCompactAlways);
    dir.dropMonitor();
    if (result.outcome != dbCompactionResult::dbCompacted) {
        return readFile(dir.file) == bytes ? "ok not compacted: " + result.reason : "FAIL a file not compacted was changed";
    }
    if (!soundBefore) {
        return "FAIL a file the start's check finds damaged was compacted";
    }
    bool rebuilt = false;
    const std::string problem = checkedIndexesHold(dir.file, rebuilt);
    dir.dropMonitor();
    if (!problem.empty() || rebuilt) {
        return "FAIL the compacted file: " + (problem.empty() ? std::string("its indexes were rebuilt") : problem);
    }
    return "ok compacted";
}

// Variants run in child processes, many after one another in each child (a
// fork is costly in the sanitizer build), several children at a time. A
// child announces each variant before it starts ("S <n>") and reports it
// when done ("R <n> ok|FAIL ..."); a child that dies or stays on one variant
// for over 5 s fails that variant, and a new child goes on after it.
struct Result {
    bool passed;
    std::string text;  // the outcome, or what went wrong
};

using Variant = std::function<std::vector<uint8_t>(int n, bool& dirty)>;
// What a child does with one variant, in its scratch folder: "ok ..." or
// "FAIL ...", and what it saw.
using Exercise = std::function<std::string(const Scratch& dir, const std::vector<uint8_t>& bytes, bool dirty)>;

void writeLine(int fd, const std::string& line)
{
    std::string text = line + "\n";
    for (size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += size_t(n);
    }
}

// The check the restore and the start run, then the program's use of the
// file (see exercise).
std::string checkAndUse(const Scratch& dir, const std::vector<uint8_t>& bytes, bool dirty)
{
    const std::string copy = dir.path + "/checked.zrv";
    writeFile(copy, bytes);
    bool rebuilt = false;
    std::string problem = checkedIndexesHold(copy, rebuilt);
    std::remove(copy.c_str());
    writeFile(dir.file, bytes);
    Outcome o;
    if (problem.empty()) {
        problem = exercise(dir.file, bytes, dirty, o);
    }
    return (problem.empty() ? "ok " : "FAIL " + problem + " | ") + describe(o) + (rebuilt ? " | indexes rebuilt" : "");
}

void runVariantsInChild(int fd, const Variant& variant, const Exercise& use, int from, int to)
{
    Scratch dir;
    for (int n = from; n < to; n++) {
        writeLine(fd, "S " + std::to_string(n));
        bool dirty = false;
        std::vector<uint8_t> bytes = variant(n, dirty);
        dir.dropMonitor();
        writeLine(fd, "R " + std::to_string(n) + " " + use(dir, bytes, dirty));
    }
}

// Results of variants [from, to), by number.
std::map<int, Result> runVariants(const Variant& variant, int from, int to, int workers,
                                  const Exercise& use = checkAndUse)
{
    using Clock = std::chrono::steady_clock;
    struct Worker {
        pid_t pid = -1;
        int fd = -1;
        int end = 0;
        int current = -1;  // the variant it works on
        Clock::time_point since;
        std::string pending;
    };
    std::map<int, Result> results;
    int next = from;
    const int share = std::max(1, (to - from + workers - 1) / workers);
    std::vector<Worker> running;
    auto start = [&](int first, int end) {
        int fds[2];
        if (first >= end || pipe(fds) != 0) {
            return;
        }
        pid_t child = fork();
        if (child == 0) {
            close(fds[0]);
            runVariantsInChild(fds[1], variant, use, first, end);
            _exit(0);
        }
        close(fds[1]);
        Worker w;
        w.pid = child;
        w.fd = fds[0];
        w.end = end;
        w.current = first;
        w.since = Clock::now();
        running.push_back(w);
    };
    for (int i = 0; i < workers && next < to; i++) {
        start(next, std::min(to, next + share));
        next = std::min(to, next + share);
    }
    while (!running.empty()) {
        std::vector<pollfd> fds;
        for (const Worker& w : running) {
            fds.push_back({w.fd, POLLIN, 0});
        }
        poll(fds.data(), fds.size(), 50);
        for (size_t i = 0; i < running.size(); i++) {
            Worker& w = running[i];
            bool ended = false;
            if (fds[i].revents != 0) {
                char buf[4096];
                ssize_t n = read(w.fd, buf, sizeof buf);
                if (n > 0) {
                    w.pending.append(buf, size_t(n));
                } else {
                    ended = true;
                }
            }
            for (size_t eol; (eol = w.pending.find('\n')) != std::string::npos;) {
                std::string line = w.pending.substr(0, eol);
                w.pending.erase(0, eol + 1);
                int n = std::atoi(line.c_str() + 2);
                if (line[0] == 'S') {
                    w.current = n;
                    w.since = Clock::now();
                } else {
                    std::string rest = line.substr(line.find(' ', 2) + 1);
                    results[n] = {rest.rfind("ok ", 0) == 0, rest};
                    w.current = n + 1;
                }
            }
            bool hung = !ended && Clock::now() - w.since > std::chrono::seconds(5);
            if (!ended && !hung) {
                continue;
            }
            if (hung) {
                kill(w.pid, SIGKILL);
            }
            int status = 0;
            waitpid(w.pid, &status, 0);
            close(w.fd);
            int resumeAt = w.current;
            if (w.current < w.end && results.count(w.current) == 0) {
                std::string how = hung ? "hangs (over 5 s)"
                                  : WIFSIGNALED(status) ? "ends with signal " + std::to_string(WTERMSIG(status))
                                                        : "exits with " + std::to_string(WEXITSTATUS(status));
                results[w.current] = {false, how};
                resumeAt = w.current + 1;
            }
            int end = w.end;
            running.erase(running.begin() + long(i));
            start(resumeAt, end);
            break;  // the list changed: poll again
        }
    }
    return results;
}

Result runVariant(const std::vector<uint8_t>& bytes, bool dirty)
{
    std::map<int, Result> r = runVariants(
        [&](int, bool& d) {
            d = dirty;
            return bytes;
        },
        0, 1, 1);
    return r.count(0) ? r[0] : Result{false, "no result"};
}

// ---- Damage ----

uint32_t damagedValue(std::mt19937& rng, uint32_t old, uint32_t fileSize)
{
    switch (rng() % 9) {
    case 0: return 0;
    case 1: return 1;
    case 2: return 0xFFFFFFFF;
    case 3: return old + 16;
    case 4: return old - 16;
    case 5: return old ^ (1u << (rng() % 32));
    case 6: return uint32_t(rng());
    case 7: return uint32_t(rng() % fileSize) & ~15u;
    default: return old + uint32_t(dbPageSize);
    }
}

enum DamageKind {
    HeaderWord, CommittedIndexWord, WorkingIndexWord, BitmapWord, RowWord, RowLink,
    BitFlips, Truncation, ZeroedPage, AppendedBytes, HashWord, kindCount
};

std::vector<uint8_t> damage(const std::vector<uint8_t>& good, int kind, std::mt19937& rng)
{
    std::vector<uint8_t> bytes = good;
    const ParsedFile f = parse(good);
    auto changeWord = [&](size_t offset) { setWord(bytes, offset, damagedValue(rng, word(bytes, offset), f.size)); };
    // Index entries worth hitting: the Metatable, the bitmap pages, the
    // descriptors and rows.
    auto someId = [&]() -> oid_t {
        switch (rng() % 4) {
        case 0: return dbMetaTableId;
        case 1: return oid_t(dbBitmapId + rng() % (f.bitmapPages.size() + 1));
        default: return f.rows[rng() % f.rows.size()].second;
        }
    };
    const auto& row = f.rows[rng() % f.rows.size()];
    switch (kind) {
    case HeaderWord:
        changeWord(4 * (rng() % 18));
        break;
    case CommittedIndexWord:
        changeWord(f.committedIndex + 4 * size_t(someId()));
        break;
    case WorkingIndexWord:
        changeWord(f.workingIndex + 4 * size_t(someId()));
        break;
    case BitmapWord: {
        uint32_t page = f.bitmapPages[rng() % f.bitmapPages.size()];
        // Mostly the part that covers the objects in use.
        size_t span = rng() % 2 ? dbPageSize : std::min<size_t>(dbPageSize, f.size / 128 + 4);
        changeWord(page + 4 * (rng() % (span / 4)));
        break;
    }
    case RowWord: {
        uint32_t size = std::max<uint32_t>(word(good, row.first), 12);
        changeWord(row.first + 4 * (rng() % std::min<uint32_t>(size / 4, 64)));
        break;
    }
    case RowLink: {
        // next or prev names another row (often an earlier one: a loop), or anything.
        size_t at = row.first + (rng() % 2 ? 4 : 8);
        if (rng() % 3 != 0) {
            setWord(bytes, at, f.rows[rng() % f.rows.size()].second);
        } else {
            changeWord(at);
        }
        break;
    }
    case BitFlips:
        for (uint32_t n = 1 + rng() % 8; n > 0; n--) {
            size_t bit = rng() % (size_t(f.size) * 8);
            bytes[bit / 8] ^= uint8_t(1u << (bit % 8));
        }
        break;
    case Truncation:
        bytes.resize(rng() % 2 ? (rng() % (f.size / dbPageSize)) * dbPageSize : rng() % f.size);
        break;
    case ZeroedPage: {
        size_t page = rng() % 3 == 0 ? f.bitmapPages[rng() % f.bitmapPages.size()] / dbPageSize
                                     : rng() % (f.size / dbPageSize);
        std::memset(bytes.data() + page * dbPageSize, 0, dbPageSize);
        break;
    }
    case HashWord: {  // of a hash table object, one of its bucket pages or an item
        const auto& [at, size] = f.hashParts[rng() % f.hashParts.size()];
        changeWord(at + 4 * (rng() % (size / 4)));
        break;
    }
    case AppendedBytes: {
        size_t n = rng() % 2 ? dbPageSize * (1 + rng() % 4) : 1 + rng() % 5000;
        for (size_t i = 0; i < n; i++) {
            bytes.push_back(uint8_t(rng()));
        }
        break;
    }
    }
    return bytes;
}

// Runs a named damage on a clean copy and returns the outcome line.
std::string namedCase(const std::function<void(std::vector<uint8_t>&, const ParsedFile&)>& change)
{
    std::vector<uint8_t> bytes = baseline().clean;
    change(bytes, parse(bytes));
    Result r = runVariant(bytes, false);
    EXPECT_TRUE(r.passed) << r.text;
    return r.text;
}

// Offset and id of the n-th contact row of the clean file.
std::pair<uint32_t, oid_t> contactRow(const ParsedFile& f, int n)
{
    oid_t id = baseline().contactIds.at(size_t(n));
    for (const auto& row : f.rows) {
        if (row.second == id) {
            return row;
        }
    }
    ADD_FAILURE() << "no row " << id;
    return f.rows[0];
}

}  // namespace

// ---- The single words that were seen to end the program ----

TEST(DamageReader, BitmapEntryOfTheWorkingIndexOutsideTheFile)
{
    std::string out = namedCase([](std::vector<uint8_t>& b, const ParsedFile& f) {
        setWord(b, f.workingIndex + 4 * dbBitmapId, f.size + 8 * dbPageSize + dbPageObjectMarker);
    });
    EXPECT_EQ(out, "ok open 1 walkFailed 0 changeFailed 0 commit 1 reopen 1 found 1 report \"\"");
}

TEST(DamageReader, MetatableEntryOfTheWorkingIndexOutsideTheFile)
{
    std::string out = namedCase([](std::vector<uint8_t>& b, const ParsedFile& f) {
        setWord(b, f.workingIndex + 4 * dbMetaTableId, f.size + 4096);
    });
    EXPECT_EQ(out, "ok open 1 walkFailed 0 changeFailed 0 commit 1 reopen 1 found 1 report \"\"");
}

TEST(DamageReader, ContactEntryOfTheWorkingIndexOutsideTheFileOrFree)
{
    for (uint32_t value : {0x7FFFFFF0u, dbFreeHandleMarker}) {
        std::string out = namedCase([&](std::vector<uint8_t>& b, const ParsedFile& f) {
            setWord(b, f.workingIndex + 4 * size_t(contactRow(f, 5).second), value);
        });
        EXPECT_EQ(out, "ok open 1 walkFailed 0 changeFailed 0 commit 1 reopen 1 found 1 report \"\"") << value;
    }
}

TEST(DamageReader, BitmapEntryOfTheWorkingIndexMovedInsideTheFile)
{
    std::string out = namedCase([](std::vector<uint8_t>& b, const ParsedFile& f) {
        setWord(b, f.workingIndex + 4 * dbBitmapId, f.bitmapPages[0] + 2 * dbPageSize + dbPageObjectMarker);
    });
    EXPECT_EQ(out, "ok open 1 walkFailed 0 changeFailed 0 commit 1 reopen 1 found 1 report \"\"");
}

TEST(DamageReader, RowLinkThatLoopsBackIsAnInvalidRecord)
{
    std::string out = namedCase([](std::vector<uint8_t>& b, const ParsedFile& f) {
        setWord(b, contactRow(f, 20).first + 4, contactRow(f, 3).second);  // next names an earlier row
    });
    EXPECT_EQ(out.rfind("ok open 1 walkFailed 1 changeFailed 1 commit 0 reopen 1 ", 0), 0u) << out;
    EXPECT_NE(out.find("report \"Database file was corrupted: invalid record\""), std::string::npos) << out;
    EXPECT_NE(out.find("reopen 1"), std::string::npos) << out;
}

TEST(DamageReader, ZeroedBitmapPageIsRefused)
{
    std::vector<uint8_t> bytes = baseline().clean;
    const ParsedFile f = parse(bytes);
    std::memset(bytes.data() + f.bitmapPages[0], 0, dbPageSize);
    Result r = runVariant(bytes, false);
    EXPECT_TRUE(r.passed) << r.text;
    EXPECT_EQ(r.text.substr(0, 9), "ok open 0") << r.text;
    EXPECT_NE(r.text.find("Database file was corrupted: invalid file layout"), std::string::npos) << r.text;
}

// ---- Stored table layouts ----

namespace {

// The stored table layouts of a file, by id and file offset: the
// Metatable's own row, then its rows in list order.
std::vector<std::pair<oid_t, uint32_t>> layoutRows(const std::vector<uint8_t>& bytes)
{
    const ParsedFile f = parse(bytes);
    auto at = [&](oid_t id) { return word(bytes, f.committedIndex + 4 * size_t(id)); };
    std::vector<std::pair<oid_t, uint32_t>> rows{{dbMetaTableId, at(dbMetaTableId)}};
    for (oid_t id = word(bytes, rows[0].second + 40); id != 0; id = word(bytes, rows.back().second + 4)) {
        rows.emplace_back(id, at(id));
    }
    return rows;
}

// Whether byte i of a table's stored layout row tells where the table's rows
// and indexes are (its row count, first and last row, a field's index ids)
// rather than how the rows are laid out.
bool locatesRowsOrIndexes(const std::vector<uint8_t>& bytes, uint32_t row, size_t i)
{
    const size_t entriesEnd = sizeof(dbTable) + sizeof(dbField) * word(bytes, row + 20);
    if (i >= 32 && i < sizeof(dbTable)) {
        return i < 36 || i >= 40;  // not the column count
    }
    return i >= sizeof(dbTable) && i < entriesEnd && (i - sizeof(dbTable)) % sizeof(dbField) >= 36;
}

void writeByte(const std::string& path, size_t at, uint8_t value)
{
    int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_TRUE(fd >= 0 && pwrite(fd, &value, 1, off_t(at)) == 1);
    ::close(fd);
}

}  // namespace

// Every byte of every stored table layout of the database of contacts and
// cheques (the Metatable's own row and its rows) changed to four other
// values, the file opened and checked as the program's start does: a layout
// so damaged is never taken for a layout to convert, nor for a later
// release's. The open fails with the file taken for damaged and left byte for
// byte; only a byte that tells where a table's rows or indexes are may let
// the open go on, and then the start's check finds the damage. No row of any
// table ever changes.
TEST(DamageReader, EveryByteOfTheStoredTableLayouts)
{
    const std::vector<uint8_t>& clean = baseline().clean;
    const std::vector<std::pair<oid_t, uint32_t>> layouts = layoutRows(clean);
    ASSERT_EQ(layouts.size(), 11u) << "the Metatable and the program's ten tables";
    // The rows of the tables: every committed record but the layouts.
    auto tableRows = [&layouts](const std::vector<uint8_t>& file) {
        std::map<oid_t, std::vector<uint8_t>> records = committedRecords(file);
        for (const auto& layout : layouts) {
            records.erase(layout.first);
        }
        return records;
    };
    const std::map<oid_t, std::vector<uint8_t>> rowsBefore = tableRows(clean);
    Scratch dir;
    writeFile(dir.file, clean);
    const int fd = ::open(dir.file.c_str(), O_RDONLY);
    const std::shared_ptr<void> mapped(mmap(nullptr, clean.size(), PROT_READ, MAP_SHARED, fd, 0),
                                       [&clean](void* p) { munmap(p, clean.size()); });
    ::close(fd);
    ASSERT_NE(mapped.get(), MAP_FAILED);
    std::vector<uint8_t> bytes = clean;
    int variants = 0, refused = 0, told = 0;
    for (const auto& [id, row] : layouts) {
        const bool metatable = id == dbMetaTableId;
        for (size_t i = 0; i < word(clean, row); i++) {
            const uint8_t old = clean[row + i];
            for (const uint8_t value : {uint8_t(old + 1), uint8_t(old - 1), uint8_t(old ^ 0x80), uint8_t(old != 0 ? 0 : 0xFF)}) {
                SCOPED_TRACE("layout at " + std::to_string(row) + ", byte " + std::to_string(i) + " set to " +
                             std::to_string(value));
                variants++;
                bytes[row + i] = value;
                writeByte(dir.file, row + i, value);
                QuietDatabase db;
                if (!db.open("damage", dir.file.c_str())) {
                    refused++;
                    EXPECT_EQ(db.openFailure(), dbDatabase::dbFileNotDatabase);
                    EXPECT_TRUE(db.foreignReports().empty()) << db.foreignReports();
                    EXPECT_TRUE(std::memcmp(mapped.get(), bytes.data(), bytes.size()) == 0 &&
                                std::filesystem::file_size(dir.file) == bytes.size())
                        << "a refused file changed";
                } else {
                    EXPECT_TRUE(!metatable && locatesRowsOrIndexes(clean, row, i)) << "opened";
                    EXPECT_NE(db.checkAndRebuildIndexes(), dbDatabase::dbIndexesSound) << "not told";
                    told++;
                    db.close();
                    EXPECT_TRUE(tableRows(readFile(dir.file)) == rowsBefore) << "a row changed";
                    writeFile(dir.file, clean);
                }
                bytes[row + i] = old;
                writeByte(dir.file, row + i, old);
                dir.dropMonitor();
                if (HasFailure()) {
                    return;
                }
            }
        }
    }
    std::printf("%d variants: %d refused at open, %d told by the start's check\n", variants, refused, told);
}

// ---- Seeded variants ----

TEST(DamageReader, SeededVariantsOfACleanAndADirtyFile)
{
    const Baseline& b = baseline();
    ASSERT_FALSE(b.clean.empty());
    ASSERT_FALSE(b.dirty.empty());
    ASSERT_EQ(word(b.dirty, 8), 1u) << "the dirty file is marked dirty";
    // Longer runs by hand: DAMAGE_FIRST, DAMAGE_VARIANTS.
    auto setting = [](const char* name, int otherwise) {
        const char* value = std::getenv(name);
        return value != nullptr ? std::atoi(value) : otherwise;
    };
    const int first = setting("DAMAGE_FIRST", 0);
    const int variants = setting("DAMAGE_VARIANTS", 2400);
    auto variant = [&b](int n, bool& dirty) {
        std::mt19937 rng(uint32_t(n) * 7919u + 17u);
        dirty = n % 2 == 1;
        return damage(dirty ? b.dirty : b.clean, (n / 2) % kindCount, rng);
    };
    std::map<int, Result> results = runVariants(variant, first, first + variants, 4);
    EXPECT_EQ(results.size(), size_t(variants));
    int failures = 0, refused = 0, failedOps = 0, rebuilt = 0;
    for (const auto& [n, r] : results) {
        rebuilt += r.text.find("indexes rebuilt") != std::string::npos;
        if (!r.passed) {
            if (++failures <= 20) {
                ADD_FAILURE() << "variant " << n << " (kind " << (n / 2) % kindCount << (n % 2 ? ", dirty" : ", clean")
                              << "): " << r.text;
            }
        } else if (r.text.find("open 0") != std::string::npos) {
            refused++;
        } else if (r.text.find("Failed 1") != std::string::npos || r.text.find("commit 0") != std::string::npos) {
            failedOps++;
        }
    }
    std::printf("%d variants: %d refused at open, %d opened with failed operations, %d with indexes rebuilt, %d failed\n",
                variants, refused, failedOps, rebuilt, failures);
}

// The compaction's reading of the hash indexes it moves to a size of this
// release: damaged variants of a file whose ID hash index earlier releases
// left at 1,023 buckets.
TEST(DamageReader, SeededVariantsOfAStuckHashIndexCompacted)
{
    const Baseline& b = baseline();
    ASSERT_FALSE(b.stuck.empty());
    // The file itself is compacted, its index moved.
    Scratch dir;
    ASSERT_EQ(compactAndCheck(dir, b.stuck, false), "ok compacted");
    const int variants = 2000;
    std::map<int, Result> results = runVariants(
        [&b](int n, bool& dirty) {
            std::mt19937 rng(uint32_t(n) * 104729u + 3u);
            dirty = false;
            // Mostly the index that is moved, and every other kind of damage.
            return damage(b.stuck, n % 2 == 0 ? int(HashWord) : (n / 2) % kindCount, rng);
        },
        0, variants, 4, compactAndCheck);
    EXPECT_EQ(results.size(), size_t(variants));
    int failures = 0, compacted = 0;
    for (const auto& [n, r] : results) {
        compacted += r.text == "ok compacted";
        if (!r.passed && ++failures <= 20) {
            ADD_FAILURE() << "variant " << n << ": " << r.text;
        }
    }
    std::printf("%d variants: %d compacted, %d left as they were, %d failed\n", variants, compacted,
                variants - compacted - failures, failures);
}
