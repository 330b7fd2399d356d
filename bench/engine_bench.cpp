// The database engine against SQLite and LMDB on the program's contacts:
// the same generated Customer records (eleven short texts, some of them
// Chinese names in UTF-8, an id and an amount) in the same folder of the
// same file system, every commit durable (SQLite in WAL mode with
// synchronous=FULL and indexes on id and name, LMDB with its default
// syncing). SQLite runs the statements the program runs, with bound
// parameters; the next ID is the full "order by id desc" selection read
// from its first row, as the program does.
//
// Cases, each for 10,000 and 100,000 contacts (the look-ups by id also for
// 40,000 and 1,000,000; each size's stores are made once per run): insert
// with a commit per record, bulk insert in one transaction, point look-up by
// id, ordered scan by name, "upper(name) like 'AB%' order by name", the full
// "order by id" selection, the next-ID query, and reopening after a crash;
// and the three stores committing, looking up and proposing the next ID in
// turns, for a fair comparison on a busy machine (with ours' ratio to each
// peer).
// QUILLET_BENCH_DIR names the folder to work in (default: a new folder
// under /tmp).
#include "engine/program_tables.h"

#include <benchmark/benchmark.h>
#include <lmdb.h>
#include <sqlite3.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Generated contacts

constexpr int textFields = 11; // name, address1..3, person, telephone, mobile, fax, remark, email, website

struct Contact {
    std::int32_t id;
    std::string text[textFields];
    float amount;
};

Contact makeContact(std::int32_t id)
{
    static const char* const syllables[] = {"ab", "al", "an", "be", "bo", "ca", "de", "el", "fa", "go",
                                            "ha", "in", "ka", "lo", "ma", "ne", "or", "pa", "ri", "sa",
                                            "te", "ul", "va", "wi", "ya", "zo"};
    static const char* const han[] = {"陳", "林", "黃", "張", "李", "王", "吳", "劉", "蔡", "楊",
                                      "明", "華", "美", "志", "偉", "芳", "國", "文", "玲", "強"};
    std::mt19937 rng(std::uint32_t(id) * 2654435761u);
    auto pick = [&](int n) { return int(rng() % std::uint32_t(n)); };
    auto word = [&](int parts) {
        std::string w;
        for (int i = 0; i < parts; i++) {
            w += syllables[pick(26)];
        }
        w[0] = char(w[0] - 'a' + 'A');
        return w;
    };
    Contact c;
    c.id = id;
    if (pick(5) == 0) {
        for (int i = 0, n = 2 + pick(2); i < n; i++) {
            c.text[0] += han[pick(20)];
        }
    } else {
        c.text[0] = word(2 + pick(2)) + " " + word(2) + " Ltd";
    }
    c.text[1] = std::to_string(1 + pick(300)) + " " + word(2) + " Road";
    c.text[2] = word(2) + " District";
    c.text[3] = pick(2) ? "Hong Kong" : "Kowloon";
    c.text[4] = word(2) + " " + word(3);
    c.text[5] = "+852 " + std::to_string(20000000 + pick(9999999));
    c.text[6] = "+852 " + std::to_string(90000000 + pick(9999999));
    c.text[7] = "+852 " + std::to_string(30000000 + pick(9999999));
    c.text[8] = pick(4) == 0 ? "call before noon" : "";
    c.text[9] = "contact" + std::to_string(id) + "@example.com";
    c.text[10] = "https://www.example.com/" + std::to_string(id);
    c.amount = float(pick(100000)) / 100;
    return c;
}

bool upperStartsWithAB(const char* name)
{
    return (name[0] == 'a' || name[0] == 'A') && (name[1] == 'b' || name[1] == 'B');
}

std::string workFolder()
{
    static std::string folder = [] {
        if (const char* dir = std::getenv("QUILLET_BENCH_DIR")) {
            fs::create_directories(dir);
            return std::string(dir);
        }
        char pattern[] = "/tmp/quillet-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("cannot make a work folder");
        }
        std::string made = pattern;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(workFolder(), ec);
        });
        return made;
    }();
    return folder;
}

// ---------------------------------------------------------------------------
// The three stores behind one interface. Each works on one file; open()
// creates it when missing.

class OurStore {
  public:
    static constexpr const char* name = "ours";
    static std::string fileName(const std::string& base) { return base + ".zrv"; }
    static void copyFiles(const std::string& from, const std::string& to)
    {
        fs::copy_file(fileName(from), fileName(to), fs::copy_options::overwrite_existing);
    }
    static void removeFiles(const std::string& base) { fs::remove(fileName(base)); }

    void open(const std::string& base)
    {
        db = std::make_unique<dbDatabase>(dbDatabase::dbAllAccess, 1048576, 4194304, 65536, 1);
        if (!db->open("bench", fileName(base).c_str())) {
            throw std::runtime_error("open failed");
        }
        byId.reset();
        byId.add("id=").bind(key);
    }
    void close()
    {
        cursor.reset();
        db->close();
        db.reset();
    }
    void begin() {}
    void insert(const Contact& c)
    {
        Customer r;
        r.id = c.id;
        const char** texts[textFields] = {&r.name, &r.address1, &r.address2, &r.address3, &r.person,
                                          &r.telephone, &r.mobile, &r.fax, &r.remark, &r.email, &r.website};
        for (int i = 0; i < textFields; i++) {
            *texts[i] = c.text[i].c_str();
        }
        r.amount = c.amount;
        if (::insert(r).isNull()) {
            throw std::runtime_error("insert failed");
        }
    }
    void commit()
    {
        if (!db->commit()) {
            throw std::runtime_error("commit failed");
        }
    }
    // The length of the contact's name (0: none).
    std::size_t lookup(std::int32_t id)
    {
        key = id;
        return cursor.select(byId) != 0 ? std::strlen(cursor->name) : 0;
    }
    // Runs a query over all contacts and reads every record; returns a sum
    // over what it read.
    std::size_t readAll(dbQuery& q)
    {
        std::size_t sum = 0;
        if (cursor.select(q) != 0) {
            do {
                sum += recordWeight(*cursor.get());
            } while (cursor.next() != nullptr);
        }
        return sum;
    }
    std::size_t byName() { return readAll(orderByName); }
    std::size_t upperLike() { return readAll(upperAB); }
    std::size_t byIdOrder() { return readAll(orderById); }
    std::int32_t nextId()
    {
        return cursor.select(orderByIdDesc) != 0 ? cursor->id + 1 : 1;
    }

  private:
    static std::size_t recordWeight(const Customer& r)
    {
        return std::size_t(r.id) + std::strlen(r.name) + std::strlen(r.address1) + std::strlen(r.website)
               + std::size_t(r.amount);
    }

    std::unique_ptr<dbDatabase> db;
    dbCursor<Customer> cursor;
    std::int32_t key = 0;
    dbQuery byId;
    dbQuery orderByName{"order by name"};
    dbQuery upperAB{"upper(name) like 'AB%' order by name"};
    dbQuery orderById{"order by id"};
    dbQuery orderByIdDesc{"order by id desc"};
};

class SqliteStore {
  public:
    static constexpr const char* name = "sqlite";
    static std::string fileName(const std::string& base) { return base + ".sqlite"; }
    static void copyFiles(const std::string& from, const std::string& to)
    {
        fs::copy_file(fileName(from), fileName(to), fs::copy_options::overwrite_existing);
        fs::remove(fileName(to) + "-wal");
        fs::remove(fileName(to) + "-shm");
    }
    static void removeFiles(const std::string& base)
    {
        for (const char* suffix : {"", "-wal", "-shm"}) {
            fs::remove(fileName(base) + suffix);
        }
    }

    ~SqliteStore()
    {
        if (db != nullptr) {
            close();
        }
    }
    void open(const std::string& base)
    {
        if (sqlite3_open(fileName(base).c_str(), &db) != SQLITE_OK) {
            throw std::runtime_error("sqlite open failed");
        }
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=FULL");
        std::string columns = "id INTEGER";
        for (const char* c : {"name", "address1", "address2", "address3", "person", "telephone", "mobile",
                              "fax", "remark", "email", "website"}) {
            columns += std::string(", ") + c + " TEXT";
        }
        exec(("CREATE TABLE IF NOT EXISTS customer(" + columns + ", amount REAL)").c_str());
        exec("CREATE INDEX IF NOT EXISTS customer_id ON customer(id)");
        exec("CREATE INDEX IF NOT EXISTS customer_name ON customer(name)");
        insertStmt = prepare("INSERT INTO customer VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)");
        byIdStmt = prepare("SELECT * FROM customer WHERE id=?");
        byNameStmt = prepare("SELECT * FROM customer ORDER BY name");
        upperStmt = prepare("SELECT * FROM customer WHERE upper(name) LIKE 'AB%' ORDER BY name");
        byIdOrderStmt = prepare("SELECT * FROM customer ORDER BY id");
        byIdDescStmt = prepare("SELECT * FROM customer ORDER BY id DESC");
        beginStmt = prepare("BEGIN");
        commitStmt = prepare("COMMIT");
    }
    void close()
    {
        for (sqlite3_stmt* s : statements) {
            sqlite3_finalize(s);
        }
        statements.clear();
        sqlite3_close(db);
        db = nullptr;
    }
    void begin() { run(beginStmt); }
    void insert(const Contact& c)
    {
        sqlite3_bind_int(insertStmt, 1, c.id);
        for (int i = 0; i < textFields; i++) {
            sqlite3_bind_text(insertStmt, 2 + i, c.text[i].data(), int(c.text[i].size()), SQLITE_STATIC);
        }
        sqlite3_bind_double(insertStmt, 13, c.amount);
        run(insertStmt);
    }
    void commit() { run(commitStmt); }
    std::size_t lookup(std::int32_t id)
    {
        sqlite3_bind_int(byIdStmt, 1, id);
        std::size_t n = 0;
        if (sqlite3_step(byIdStmt) == SQLITE_ROW) {
            n = std::strlen(reinterpret_cast<const char*>(sqlite3_column_text(byIdStmt, 1)));
        }
        sqlite3_reset(byIdStmt);
        return n;
    }
    std::size_t byName() { return readAll(byNameStmt); }
    std::size_t upperLike() { return readAll(upperStmt); }
    std::size_t byIdOrder() { return readAll(byIdOrderStmt); }
    std::int32_t nextId()
    {
        std::int32_t next = 1;
        if (sqlite3_step(byIdDescStmt) == SQLITE_ROW) {
            next = sqlite3_column_int(byIdDescStmt, 0) + 1;
        }
        sqlite3_reset(byIdDescStmt);
        return next;
    }

  private:
    void exec(const char* sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err != nullptr ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(msg);
        }
    }
    sqlite3_stmt* prepare(const char* sql)
    {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
        statements.push_back(s);
        return s;
    }
    void run(sqlite3_stmt* s)
    {
        int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
    }
    std::size_t readAll(sqlite3_stmt* s)
    {
        std::size_t sum = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            sum += std::size_t(sqlite3_column_int(s, 0));
            for (int col : {1, 2, 11}) {
                sum += std::strlen(reinterpret_cast<const char*>(sqlite3_column_text(s, col)));
            }
            sum += std::size_t(sqlite3_column_double(s, 12));
        }
        sqlite3_reset(s);
        return sum;
    }

    sqlite3* db = nullptr;
    std::vector<sqlite3_stmt*> statements;
    sqlite3_stmt *insertStmt = nullptr, *byIdStmt = nullptr, *byNameStmt = nullptr, *upperStmt = nullptr,
                 *byIdOrderStmt = nullptr, *byIdDescStmt = nullptr, *beginStmt = nullptr, *commitStmt = nullptr;
};

// LMDB holds the table as records keyed by id (an integer key) and the
// name index as a second database of name -> id duplicates.
class LmdbStore {
  public:
    static constexpr const char* name = "lmdb";
    static std::string fileName(const std::string& base) { return base + ".mdb"; }
    static void copyFiles(const std::string& from, const std::string& to)
    {
        fs::copy_file(fileName(from), fileName(to), fs::copy_options::overwrite_existing);
        fs::remove(fileName(to) + "-lock");
    }
    static void removeFiles(const std::string& base)
    {
        fs::remove(fileName(base));
        fs::remove(fileName(base) + "-lock");
    }

    void open(const std::string& base)
    {
        check(mdb_env_create(&env));
        check(mdb_env_set_mapsize(env, std::size_t(2) << 30));
        check(mdb_env_set_maxdbs(env, 2));
        check(mdb_env_open(env, fileName(base).c_str(), MDB_NOSUBDIR, 0644));
        MDB_txn* txn;
        check(mdb_txn_begin(env, nullptr, 0, &txn));
        check(mdb_dbi_open(txn, "customer", MDB_CREATE | MDB_INTEGERKEY, &records));
        check(mdb_dbi_open(txn, "name", MDB_CREATE | MDB_DUPSORT | MDB_DUPFIXED | MDB_INTEGERDUP, &names));
        check(mdb_txn_commit(txn));
        check(mdb_txn_begin(env, nullptr, MDB_RDONLY, &reader));
        mdb_txn_reset(reader);
    }
    void close()
    {
        mdb_txn_abort(reader);
        mdb_env_close(env);
        env = nullptr;
    }
    void begin() { check(mdb_txn_begin(env, nullptr, 0, &writer)); }
    void insert(const Contact& c)
    {
        std::string& buf = scratch;
        buf.assign(reinterpret_cast<const char*>(&c.amount), sizeof c.amount);
        for (const std::string& t : c.text) {
            std::uint16_t n = std::uint16_t(t.size());
            buf.append(reinterpret_cast<const char*>(&n), sizeof n);
            buf += t;
        }
        std::uint32_t id = std::uint32_t(c.id);
        MDB_val key{sizeof id, &id}, data{buf.size(), buf.data()};
        check(mdb_put(writer, records, &key, &data, 0));
        MDB_val nameKey{c.text[0].size(), const_cast<char*>(c.text[0].data())};
        check(mdb_put(writer, names, &nameKey, &key, 0));
    }
    void commit() { check(mdb_txn_commit(writer)); }
    std::size_t lookup(std::int32_t id)
    {
        check(mdb_txn_renew(reader));
        std::uint32_t k = std::uint32_t(id);
        MDB_val key{sizeof k, &k}, data;
        std::size_t n = 0;
        if (mdb_get(reader, records, &key, &data) == 0) {
            Decoded d(data);
            n = d.len[0];
        }
        mdb_txn_reset(reader);
        return n;
    }
    std::size_t byName() { return walkNames(false); }
    std::size_t upperLike() { return walkNames(true); }
    std::size_t byIdOrder()
    {
        check(mdb_txn_renew(reader));
        MDB_cursor* cur;
        check(mdb_cursor_open(reader, records, &cur));
        MDB_val key, data;
        std::size_t sum = 0;
        for (int rc = mdb_cursor_get(cur, &key, &data, MDB_FIRST); rc == 0;
             rc = mdb_cursor_get(cur, &key, &data, MDB_NEXT)) {
            sum += weight(key, data);
        }
        mdb_cursor_close(cur);
        mdb_txn_reset(reader);
        return sum;
    }
    std::int32_t nextId()
    {
        check(mdb_txn_renew(reader));
        MDB_cursor* cur;
        check(mdb_cursor_open(reader, records, &cur));
        MDB_val key, data;
        std::int32_t next = 1;
        if (mdb_cursor_get(cur, &key, &data, MDB_LAST) == 0) {
            std::uint32_t id;
            std::memcpy(&id, key.mv_data, sizeof id);
            next = std::int32_t(id) + 1;
        }
        mdb_cursor_close(cur);
        mdb_txn_reset(reader);
        return next;
    }

  private:
    struct Decoded {
        explicit Decoded(const MDB_val& v)
        {
            const char* p = static_cast<const char*>(v.mv_data);
            std::memcpy(&amount, p, sizeof amount);
            p += sizeof amount;
            for (int i = 0; i < textFields; i++) {
                std::uint16_t n;
                std::memcpy(&n, p, sizeof n);
                text[i] = p + sizeof n;
                len[i] = n;
                p += sizeof n + n;
            }
        }
        float amount;
        const char* text[textFields];
        std::size_t len[textFields];
    };
    static std::size_t weight(const MDB_val& key, const MDB_val& data)
    {
        std::uint32_t id;
        std::memcpy(&id, key.mv_data, sizeof id);
        Decoded d(data);
        return id + d.len[0] + d.len[1] + d.len[10] + std::size_t(d.amount);
    }
    std::size_t walkNames(bool onlyAB)
    {
        check(mdb_txn_renew(reader));
        MDB_cursor* cur;
        check(mdb_cursor_open(reader, names, &cur));
        MDB_val key, id, data;
        std::size_t sum = 0;
        std::string name;
        for (int rc = mdb_cursor_get(cur, &key, &id, MDB_FIRST); rc == 0;
             rc = mdb_cursor_get(cur, &key, &id, MDB_NEXT)) {
            if (onlyAB) {
                name.assign(static_cast<const char*>(key.mv_data), key.mv_size);
                if (!upperStartsWithAB(name.c_str())) {
                    continue;
                }
            }
            if (mdb_get(reader, records, &id, &data) == 0) {
                sum += weight(id, data);
            }
        }
        mdb_cursor_close(cur);
        mdb_txn_reset(reader);
        return sum;
    }
    static void check(int rc)
    {
        if (rc != 0) {
            throw std::runtime_error(mdb_strerror(rc));
        }
    }

    MDB_env* env = nullptr;
    MDB_dbi records = 0, names = 0;
    MDB_txn* reader = nullptr;
    MDB_txn* writer = nullptr;
    std::string scratch;
};

// ---------------------------------------------------------------------------

// A closed store of n contacts (ids 1..n), made once per process.
template <class Store>
std::string prepared(int n)
{
    static std::map<int, std::string> made;
    auto it = made.find(n);
    if (it != made.end()) {
        return it->second;
    }
    std::string base = workFolder() + "/" + Store::name + "-" + std::to_string(n);
    Store::removeFiles(base);
    Store store;
    store.open(base);
    store.begin();
    for (int id = 1; id <= n; id++) {
        store.insert(makeContact(id));
    }
    store.commit();
    store.close();
    made[n] = base;
    return base;
}

// A private copy of the prepared store, for cases that change it.
template <class Store>
std::string scratchCopy(int n, const char* label)
{
    std::string base = workFolder() + "/" + Store::name + "-" + label;
    Store::removeFiles(base);
    Store::copyFiles(prepared<Store>(n), base);
    return base;
}

template <class Store>
void insertWithCommit(benchmark::State& state)
{
    int n = int(state.range(0));
    std::string base = scratchCopy<Store>(n, "commits");
    Store store;
    store.open(base);
    std::int32_t id = n;
    for (auto _ : state) {
        state.PauseTiming();
        Contact c = makeContact(++id);
        state.ResumeTiming();
        store.begin();
        store.insert(c);
        store.commit();
    }
    store.close();
    Store::removeFiles(base);
}

template <class Store>
void bulkInsert(benchmark::State& state)
{
    int n = int(state.range(0));
    std::vector<Contact> contacts;
    for (int id = 1; id <= n; id++) {
        contacts.push_back(makeContact(id));
    }
    std::string base = workFolder() + "/" + Store::name + "-bulk";
    for (auto _ : state) {
        state.PauseTiming();
        Store::removeFiles(base);
        Store store;
        store.open(base);
        state.ResumeTiming();
        store.begin();
        for (const Contact& c : contacts) {
            store.insert(c);
        }
        store.commit();
        state.PauseTiming();
        store.close();
        state.ResumeTiming();
    }
    Store::removeFiles(base);
    state.SetItemsProcessed(state.iterations() * n);
}

template <class Store>
void pointLookup(benchmark::State& state)
{
    int n = int(state.range(0));
    Store store;
    store.open(prepared<Store>(n));
    std::mt19937 rng(7);
    std::size_t sum = 0;
    for (auto _ : state) {
        sum += store.lookup(std::int32_t(1 + rng() % std::uint32_t(n)));
    }
    benchmark::DoNotOptimize(sum);
    if (sum == 0) {
        state.SkipWithError("nothing found");
    }
    store.close();
}

template <class Store, std::size_t (Store::*Read)()>
void readAll(benchmark::State& state)
{
    int n = int(state.range(0));
    Store store;
    store.open(prepared<Store>(n));
    std::size_t sum = 0;
    for (auto _ : state) {
        sum = (store.*Read)();
    }
    benchmark::DoNotOptimize(sum);
    state.counters["checksum"] = double(sum);
    store.close();
}

template <class Store>
void nextId(benchmark::State& state)
{
    int n = int(state.range(0));
    Store store;
    store.open(prepared<Store>(n));
    std::int32_t next = 0;
    for (auto _ : state) {
        next = store.nextId();
    }
    if (next != n + 1) {
        state.SkipWithError("wrong next id");
    }
    store.close();
}

// The three stores take turns, one committed insert each per iteration, so
// that a busy disk slows them alike; the counters give each one's time.
void commitsSideBySide(benchmark::State& state)
{
    int n = int(state.range(0));
    OurStore ours;
    SqliteStore sqlite;
    LmdbStore lmdb;
    std::string bases[3] = {scratchCopy<OurStore>(n, "turns"), scratchCopy<SqliteStore>(n, "turns"),
                            scratchCopy<LmdbStore>(n, "turns")};
    ours.open(bases[0]);
    sqlite.open(bases[1]);
    lmdb.open(bases[2]);
    double seconds[3] = {};
    auto timed = [](auto& store, const Contact& c) {
        auto start = std::chrono::steady_clock::now();
        store.begin();
        store.insert(c);
        store.commit();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::int32_t id = n;
    for (auto _ : state) {
        Contact c = makeContact(++id);
        seconds[0] += timed(ours, c);
        seconds[1] += timed(sqlite, c);
        seconds[2] += timed(lmdb, c);
    }
    const char* names[3] = {"ours_us", "sqlite_us", "lmdb_us"};
    for (int i = 0; i < 3; i++) {
        state.counters[names[i]] = benchmark::Counter(seconds[i] * 1e6, benchmark::Counter::kAvgIterations);
    }
    state.counters["ours/lmdb"] = seconds[2] > 0 ? seconds[0] / seconds[2] : 0;
    ours.close();
    sqlite.close();
    lmdb.close();
    OurStore::removeFiles(bases[0]);
    SqliteStore::removeFiles(bases[1]);
    LmdbStore::removeFiles(bases[2]);
}

// CPU time of the calling thread, in seconds: on a busy machine it leaves
// out the time the thread waits for a core.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The three stores take turns at the same reads, `batch` of them per store
// and iteration, so that a busy machine slows them alike; the counters give
// each one's CPU time per read and ours against each peer.
template <class Read>
void readsTakingTurns(benchmark::State& state, int batch, Read read)
{
    int n = int(state.range(0));
    OurStore ours;
    SqliteStore sqlite;
    LmdbStore lmdb;
    ours.open(prepared<OurStore>(n));
    sqlite.open(prepared<SqliteStore>(n));
    lmdb.open(prepared<LmdbStore>(n));
    double seconds[3] = {};
    std::size_t sums[3] = {};
    std::uint32_t seed = 7;
    auto timed = [&](auto& store, std::size_t& sum) {
        std::mt19937 rng(seed);
        double start = threadSeconds();
        for (int i = 0; i < batch; i++) {
            sum += read(store, std::int32_t(1 + rng() % std::uint32_t(n)));
        }
        return threadSeconds() - start;
    };
    for (auto _ : state) {
        seconds[0] += timed(ours, sums[0]);
        seconds[1] += timed(sqlite, sums[1]);
        seconds[2] += timed(lmdb, sums[2]);
        seed += 1;
    }
    if (sums[0] != sums[1] || sums[0] != sums[2]) {
        state.SkipWithError("the stores read different results");
    }
    const char* names[3] = {"ours_us", "sqlite_us", "lmdb_us"};
    for (int i = 0; i < 3; i++) {
        state.counters[names[i]] =
            benchmark::Counter(seconds[i] * 1e6 / batch, benchmark::Counter::kAvgIterations);
    }
    state.counters["ours/lmdb"] = seconds[2] > 0 ? seconds[0] / seconds[2] : 0;
    state.counters["ours/sqlite"] = seconds[1] > 0 ? seconds[0] / seconds[1] : 0;
    ours.close();
    sqlite.close();
    lmdb.close();
}

// A child process commits a contact, starts another and is killed; the
// measured part is the open that follows and a first look-up.
template <class Store>
void reopenAfterCrash(benchmark::State& state)
{
    int n = int(state.range(0));
    std::string base = scratchCopy<Store>(n, "crash");
    std::int32_t id = n;
    for (auto _ : state) {
        state.PauseTiming();
        id += 1;
        pid_t child = fork();
        if (child == 0) {
            Store store;
            store.open(base);
            store.begin();
            store.insert(makeContact(id));
            store.commit();
            store.begin();
            store.insert(makeContact(id + 1000000));
            std::raise(SIGKILL);
        }
        int status = 0;
        waitpid(child, &status, 0);
        state.ResumeTiming();
        Store store;
        store.open(base);
        std::size_t found = store.lookup(id);
        state.PauseTiming();
        if (found == 0) {
            state.SkipWithError("the committed contact is missing");
        }
        store.close();
        state.ResumeTiming();
    }
    Store::removeFiles(base);
}

// The contacts of most cases, and of the look-ups by id, which also run
// where a table 25 times larger than at 40,000 leaves the caches.
const std::vector<std::int64_t> usualSizes = {10000, 100000};
const std::vector<std::int64_t> lookupSizes = {10000, 40000, 100000, 1000000};

// Registers one case for the three stores, one after the other.
template <class... Stores>
struct Cases {
    template <class Fn>
    static void add(const char* label, benchmark::TimeUnit unit, Fn fn, const std::vector<std::int64_t>& sizes = usualSizes)
    {
        (benchmark::RegisterBenchmark((std::string(label) + "/" + Stores::name).c_str(), fn(static_cast<Stores*>(nullptr)))
             ->ArgsProduct({sizes})
             ->Unit(unit),
         ...);
    }
};

const bool registered = [] {
    using All = Cases<OurStore, SqliteStore, LmdbStore>;
    All::add("InsertCommit", benchmark::kMicrosecond, [](auto* s) { return &insertWithCommit<std::remove_pointer_t<decltype(s)>>; });
    All::add("BulkInsert", benchmark::kMillisecond, [](auto* s) { return &bulkInsert<std::remove_pointer_t<decltype(s)>>; });
    All::add("PointLookup", benchmark::kMicrosecond, [](auto* s) { return &pointLookup<std::remove_pointer_t<decltype(s)>>; },
             lookupSizes);
    All::add("ScanByName", benchmark::kMillisecond,
             [](auto* s) { return &readAll<std::remove_pointer_t<decltype(s)>, &std::remove_pointer_t<decltype(s)>::byName>; });
    All::add("UpperLikeAB", benchmark::kMillisecond,
             [](auto* s) { return &readAll<std::remove_pointer_t<decltype(s)>, &std::remove_pointer_t<decltype(s)>::upperLike>; });
    All::add("OrderById", benchmark::kMillisecond,
             [](auto* s) { return &readAll<std::remove_pointer_t<decltype(s)>, &std::remove_pointer_t<decltype(s)>::byIdOrder>; });
    All::add("NextId", benchmark::kMicrosecond, [](auto* s) { return &nextId<std::remove_pointer_t<decltype(s)>>; });
    benchmark::RegisterBenchmark("CommitsTakingTurns", &commitsSideBySide)
        ->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("LookupsTakingTurns", [](benchmark::State& state) {
        readsTakingTurns(state, 100, [](auto& store, std::int32_t id) { return store.lookup(id); });
    })->ArgsProduct({lookupSizes})->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("NextIdTakingTurns", [](benchmark::State& state) {
        readsTakingTurns(state, 1, [](auto& store, std::int32_t) { return std::size_t(store.nextId()); });
    })->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
    All::add("ReopenAfterCrash", benchmark::kMillisecond, [](auto* s) { return &reopenAfterCrash<std::remove_pointer_t<decltype(s)>>; });
    return true;
}();

} // namespace
