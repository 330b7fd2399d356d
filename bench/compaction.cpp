// Giving the database file's space back.
//
// Compact/20000 and /100000: compacting a file of that many contacts (twice
// as many stored, every third with a cheque, then every other contact
// deleted), copy, check, sync and rename included. NothingToGain/100000 is
// what a start pays for the same file once compacted (the header and the
// bitmap read), against Open/100000, the open of that file. Counters: the
// file's MiB before and after, and per cent in use before.
//
// Edits: 200,000 single edits (adds, renames and deletes of contacts and
// cheques, one transaction each, reopened every 2,500; a contact with a name,
// an address line, a contact person, a telephone number, an e-mail address
// and a remark) made by the engine and, the same edits, by SQLite; the engine's file then goes through the
// program's start (compacted, opened, checked, the day's archive made) and a
// further 10,000 edits, with a start of the program at each reopening.
// Counters: MiB of the files, per cent in use, MiB of the archives of the
// file before and after the start, and over the further edits the largest
// file a start found and how many starts compacted it. The edits run in
// /dev/shm (their figures are sizes, not times). QUILLET_BENCH_DIR names the
// folder of the other cases (default: a new folder under /tmp).
#include "app/mainlist.h"
#include "appcore/schema.h"
#include "backup/backupfile.h"
#include "platform/dialogs.h"
#include "offscreen_app.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr double MiB = 1024.0 * 1024.0;

std::string scratchFolder(const char* parent)
{
    std::string pattern = std::string(parent) + "/quillet-compaction-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("no scratch folder in " + std::string(parent));
    }
    return pattern;
}

double fileMiB(const std::string& path)
{
    std::error_code error;
    return double(fs::file_size(path, error)) / MiB;
}

// ---------------------------------------------------------------------------
// Compaction of a file of n contacts

struct SparseFile {
    std::string folder, path, source;
    double percentInUse = 0;

    explicit SparseFile(int n)
    {
        const char* parent = std::getenv("QUILLET_BENCH_DIR");
        folder = scratchFolder(parent != nullptr ? parent : "/tmp");
        path = folder + "/Quillet.zrv";
        source = folder + "/source.zrv";
        zarvoDatabase db;
        db.open("Quillet", path.c_str());
        std::vector<oid_t> made;
        for (int i = 1; i <= 2 * n; i++) {
            const std::string name = "Customer " + std::to_string(i * 7919 % (2 * n));
            const std::string mail = "c" + std::to_string(i) + "@example.org";
            const std::string remark(40 + i % 80, 'r');
            made.push_back(
                insert(Customer{.id = i, .name = name.c_str(), .remark = remark.c_str(), .email = mail.c_str()}).getOid());
            if (i % 3 == 0) {
                insert(Cheque{.chequeNo = "Q", .amount = 10, .customer = dbReference<Customer>(made.back()),
                              .customerName = name.c_str(), .setup = {}, .transDate = dbDateTime(1700000000 + i)});
            }
            if (i % 1000 == 0) {
                db.commit();
            }
        }
        db.commit();
        for (size_t i = 0; i < made.size(); i += 2) {
            dbCursor<Customer> c(dbCursorForUpdate);
            if (c.at(dbReference<Customer>(made[i]))) {
                c.remove();
            }
            if (i % 2000 == 0) {
                db.commit();
            }
        }
        db.commit();
        db.close();
        fs::copy_file(path, source);
        const dbCompactionResult found = dbCompactFile(source.c_str(), dbMeasureOnly);
        percentInUse = 100.0 * double(found.inUse) / double(found.fileSize);
    }
    ~SparseFile() { fs::remove_all(folder); }
};

SparseFile& sparseFile(int n)
{
    static std::map<int, std::unique_ptr<SparseFile>> files;
    std::unique_ptr<SparseFile>& f = files[n];
    if (!f) {
        f = std::make_unique<SparseFile>(n);
    }
    return *f;
}

void Compact(benchmark::State& state)
{
    SparseFile& f = sparseFile(int(state.range(0)));
    dbCompactionResult done;
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(f.source, f.path, fs::copy_options::overwrite_existing);
        state.ResumeTiming();
        done = dbCompactFile(f.path.c_str(), dbCompactAlways);
    }
    if (done.outcome != dbCompactionResult::dbCompacted) {
        state.SkipWithError(done.reason.c_str());
    }
    state.counters["MiB_before"] = double(done.fileSize) / MiB;
    state.counters["MiB_after"] = double(done.compactedSize) / MiB;
    state.counters["in_use_pct"] = f.percentInUse;
}
BENCHMARK(Compact)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

void NothingToGain(benchmark::State& state)
{
    SparseFile& f = sparseFile(int(state.range(0)));
    fs::copy_file(f.source, f.path, fs::copy_options::overwrite_existing);
    dbCompactFile(f.path.c_str(), dbCompactAlways);
    dbCompactionResult found;
    for (auto _ : state) {
        found = dbCompactFile(f.path.c_str());
    }
    if (found.outcome != dbCompactionResult::dbNothingToGain) {
        state.SkipWithError(found.reason.c_str());
    }
    state.counters["MiB"] = double(found.fileSize) / MiB;
}
BENCHMARK(NothingToGain)->Arg(100000)->Unit(benchmark::kMicrosecond);

void Open(benchmark::State& state)
{
    SparseFile& f = sparseFile(int(state.range(0)));
    fs::copy_file(f.source, f.path, fs::copy_options::overwrite_existing);
    dbCompactFile(f.path.c_str(), dbCompactAlways);
    for (auto _ : state) {
        zarvoDatabase db;
        db.open("Quillet", f.path.c_str());
        db.close();
    }
}
BENCHMARK(Open)->Arg(100000)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------
// 200,000 single edits

// The changes of the edits, as a store makes them. A contact is named by a
// key that stays when its ID changes; a cheque by its number.
class Store {
public:
    virtual ~Store() = default;
    virtual void addContact(int key, int id, const std::string& name, const std::string& address,
                            const std::string& person, const std::string& phone, const std::string& mail,
                            const std::string& remark, float amount) = 0;
    virtual void renameContact(int key, int id, const std::string& name) = 0;
    virtual void deleteContact(int key) = 0;  // with its cheques
    virtual void addCheque(int number, int payee, const std::string& payeeName, int stamp, double amount) = 0;
    virtual void deleteCheque(int number) = 0;
    virtual void reopen() = 0;
};

// The program's engine, the way the program's windows change it.
class EngineStore : public Store {
public:
    explicit EngineStore(std::function<void()> startProgram) : start(std::move(startProgram)) { start(); }
    // From now on the database is started this way; it is started so at once.
    void restartAs(std::function<void()> startProgram)
    {
        start = std::move(startProgram);
        reopen();
    }
    void addContact(int key, int id, const std::string& name, const std::string& address, const std::string& person,
                    const std::string& phone, const std::string& mail, const std::string& remark,
                    float amount) override
    {
        contacts[key] = insert(Customer{.id = id, .name = name.c_str(), .address1 = address.c_str(),
                                        .person = person.c_str(), .telephone = phone.c_str(), .remark = remark.c_str(),
                                        .email = mail.c_str(), .amount = amount})
                            .getOid();
        database.commit();
    }
    void renameContact(int key, int id, const std::string& name) override
    {
        dbCursor<Customer> c(dbCursorForUpdate);
        if (c.at(dbReference<Customer>(contacts[key]))) {
            c->id = id;
            c->name = name.c_str();
            c.update();
        }
        database.commit();
    }
    void deleteContact(int key) override
    {
        oid_t payee = contacts[key];
        dbQuery ofPayee;
        ofPayee.append(dbQueryElement::Text, "customer=");
        ofPayee.bindReference(payee, &Customer::dbDescriptor);
        dbCursor<Cheque> issued(dbCursorForUpdate);
        if (issued.select(ofPayee) > 0) {
            issued.removeAllSelected();
        }
        dbCursor<Customer> c(dbCursorForUpdate);
        if (c.at(dbReference<Customer>(payee))) {
            c.remove();
        }
        database.commit();
        contacts.erase(key);
    }
    void addCheque(int number, int payee, const std::string& payeeName, int stamp, double amount) override
    {
        const std::string no = "Q" + std::to_string(number);
        cheques[number] = insert(Cheque{.chequeNo = no.c_str(), .description = "paid", .amount = amount,
                                        .customer = dbReference<Customer>(contacts[payee]),
                                        .customerName = payeeName.c_str(), .setup = {}, .transDate = dbDateTime(stamp)})
                              .getOid();
        database.commit();
    }
    void deleteCheque(int number) override
    {
        dbCursor<Cheque> c(dbCursorForUpdate);
        if (c.at(dbReference<Cheque>(cheques[number]))) {
            c.remove();
        }
        database.commit();
        cheques.erase(number);
    }
    // Each start: the file's size found, and whether the start compacted it.
    void reopen() override
    {
        database.close();
        const double found = fileMiB("Quillet.zrv");
        start();
        largest = std::max(largest, found);
        compactions += fileMiB("Quillet.zrv") < found ? 1 : 0;
    }
    double largest = 0;
    int compactions = 0;

private:
    std::function<void()> start;
    std::map<int, oid_t> contacts, cheques;
};

// SQLite with the same tables and indexes, each edit one transaction.
class SqliteStore : public Store {
public:
    explicit SqliteStore(const std::string& fileName) : path(fileName)
    {
        open();
        exec("CREATE TABLE customer(key INTEGER PRIMARY KEY, id INTEGER, name TEXT, address1 TEXT, person TEXT,"
             " telephone TEXT, email TEXT, remark TEXT, amount REAL);"
             "CREATE INDEX customer_id ON customer(id); CREATE INDEX customer_name ON customer(name);"
             "CREATE TABLE cheque(number TEXT PRIMARY KEY, description TEXT, amount REAL, customer INTEGER,"
             " customerName TEXT, transDate INTEGER);"
             "CREATE INDEX cheque_date ON cheque(transDate);");
    }
    ~SqliteStore() override { sqlite3_close(db); }
    void addContact(int key, int id, const std::string& name, const std::string& address, const std::string& person,
                    const std::string& phone, const std::string& mail, const std::string& remark,
                    float amount) override
    {
        run("INSERT INTO customer VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
            {std::to_string(key), std::to_string(id), name, address, person, phone, mail, remark,
             std::to_string(amount)});
    }
    void renameContact(int key, int id, const std::string& name) override
    {
        run("UPDATE customer SET id = ?2, name = ?3 WHERE key = ?1", {std::to_string(key), std::to_string(id), name});
    }
    void deleteContact(int key) override
    {
        exec("BEGIN");
        run("DELETE FROM cheque WHERE customer = ?1", {std::to_string(key)});
        run("DELETE FROM customer WHERE key = ?1", {std::to_string(key)});
        exec("COMMIT");
    }
    void addCheque(int number, int payee, const std::string& payeeName, int stamp, double amount) override
    {
        run("INSERT INTO cheque VALUES(?1, 'paid', ?2, ?3, ?4, ?5)",
            {"Q" + std::to_string(number), std::to_string(amount), std::to_string(payee), payeeName,
             std::to_string(stamp)});
    }
    void deleteCheque(int number) override { run("DELETE FROM cheque WHERE number = ?1", {"Q" + std::to_string(number)}); }
    void reopen() override
    {
        sqlite3_close(db);
        open();
    }

private:
    void open()
    {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
            throw std::runtime_error("SQLite did not open " + path);
        }
    }
    void exec(const char* sql)
    {
        if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
    }
    void run(const char* sql, const std::vector<std::string>& values)
    {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
        for (size_t i = 0; i < values.size(); i++) {
            sqlite3_bind_text(s, int(i + 1), values[i].c_str(), -1, SQLITE_TRANSIENT);
        }
        int rc = sqlite3_step(s);
        sqlite3_finalize(s);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(sqlite3_errmsg(db));
        }
    }
    std::string path;
    sqlite3* db = nullptr;
};

// The edits: seeded choices among adds (40), renames (25, a new ID one time
// in four), deletes (15) of contacts, and adds (14) and deletes (6) of
// cheques.
class Edits {
public:
    void run(Store& store, int steps, int reopenEvery)
    {
        for (int step = 1; step <= steps; step++) {
            const int pick = int(rng() % 100);
            if (pick < 40 || keys.empty()) {
                const int key = nextKey++;
                const int id = nextId++;
                const std::string name = "Contact " + std::to_string(rng() % 3000);
                store.addContact(key, id, name, std::to_string(rng() % 999) + " Nathan Road, Kowloon",
                                 "Mr " + std::to_string(rng() % 100), "555-" + std::to_string(rng() % 10000),
                                 "c" + std::to_string(id) + "@example.com", std::string(rng() % 40, 'r'),
                                 float(rng() % 100000) / 100);
                keys.push_back(key);
                names[key] = name;
                ids[key] = id;
            } else if (pick < 65) {
                const int key = keys[rng() % keys.size()];
                const std::string name = "Contact " + std::to_string(rng() % 3000);
                const int id = rng() % 4 == 0 ? nextId++ : ids[key];
                store.renameContact(key, id, name);
                names[key] = name;
                ids[key] = id;
            } else if (pick < 80) {
                const size_t at = rng() % keys.size();
                const int key = keys[at];
                store.deleteContact(key);
                keys[at] = keys.back();
                keys.pop_back();
                std::erase_if(cheques, [&](const auto& q) { return q.second == key; });
            } else if (pick < 94 || cheques.empty()) {
                const int key = keys[rng() % keys.size()];
                store.addCheque(nextCheque, key, names[key], 1700000000 + 86400 * int(rng() % 400),
                                double(rng() % 100000) / 100);
                cheques[nextCheque++] = key;
            } else {
                auto it = std::next(cheques.begin(), long(rng() % cheques.size()));
                store.deleteCheque(it->first);
                cheques.erase(it);
            }
            if (step % reopenEvery == 0) {
                store.reopen();
            }
        }
    }

private:
    std::mt19937 rng{70};
    std::vector<int> keys;
    std::map<int, std::string> names;
    std::map<int, int> ids;
    std::map<int, int> cheques;  // number -> payee
    int nextKey = 1, nextId = 1, nextCheque = 1000;
};

double archiveMiB(const QString& file, const QString& archive)
{
    TBackupFile().Backup({file}, archive);
    return double(QFileInfo(archive).size()) / MiB;
}

void TwoHundredThousandEdits(benchmark::State& state)
{
    offscreenApplication();
    platform::ScriptedDialogs dialogs;
    const std::string folder = scratchFolder("/dev/shm");
    QDir::setCurrent(QString::fromStdString(folder));
    const std::string path = folder + "/Quillet.zrv";
    auto percentInUse = [&] {
        const dbCompactionResult found = dbCompactFile(path.c_str(), dbMeasureOnly);
        return 100.0 * double(found.inUse) / double(found.fileSize);
    };
    for (auto _ : state) {
        Edits edits, same;
        EngineStore engine([] { database.open("Quillet"); });  // as the program was
        edits.run(engine, 200000, 2500);
        database.close();
        {
            SqliteStore peer(folder + "/peer.sqlite");
            same.run(peer, 200000, 2500);
        }
        state.counters["engine_MiB"] = fileMiB(path);
        state.counters["engine_in_use_pct"] = percentInUse();
        state.counters["sqlite_MiB"] = fileMiB(folder + "/peer.sqlite");
        state.counters["archive_MiB"] = archiveMiB("Quillet.zrv", "../" + QDir::current().dirName() + ".archive");
        // the program's start: compacted, opened, checked, the day's archive made
        engine.restartAs([] { TMainListForm window; });
        state.counters["started_MiB"] = fileMiB(path);
        state.counters["started_archive_MiB"] = double(QFileInfo("Quillet0.zbf").size()) / MiB;
        engine.largest = 0;
        engine.compactions = 0;
        edits.run(engine, 10000, 2500);
        state.counters["further_largest_MiB"] = engine.largest;  // found by a start
        state.counters["further_compactions"] = engine.compactions;
        database.close();
        state.counters["further_MiB"] = fileMiB(path);
        state.counters["further_in_use_pct"] = percentInUse();
    }
    fs::remove_all(folder);
    fs::remove(folder + ".archive");
}
BENCHMARK(TwoHundredThousandEdits)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
