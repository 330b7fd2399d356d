// The program's start with the contact list filled, against its peer: SQLite
// opening a file of the same contacts, selecting them all ordered by id and
// filling a QStandardItemModel with the same thirteen columns.
//
// Start/N/0 is the program: the main window made (the file checked for free
// space to give back, opened, its row lists and indexes checked, the stored
// settings read) and shown, which fills the list in the order of the ID
// (" order by id"). Start/N/1 is the peer. Each runs at 100,000 and
// 1,000,000 contacts; the databases are built once per run in a scratch
// folder (QUILLET_BENCH_DIR names its parent, default /tmp).
//
// StartAfterChangedKey is the program's start on a copy of the file of
// 1,000,000 contacts in which one contact's name was changed in its row
// (as damage would change it): the start finds the name index out of step
// with the rows, names the contact, rebuilds that index and checks again.
// Its over_sound counter is its start over the program's sound start at the
// same size in this run (Start/N/0 runs first).
//
// Counters, in seconds per start: open (open and check; the peer's open and
// prepare), query (the select and its order alone, timed after the start),
// fill (the list step less the query) and start (open and list together,
// which is the benchmark's time); for the program also start_check, its
// check as the start ran it. The peer's line also carries ours_over_peer:
// the program's start over the peer's in this run.
//
// StartSteps times how each step of the program's start grows from 100,000
// to 1,000,000 contacts: the database's open alone (engine_open), the
// check's walk of the row lists (rows), its check of the contacts' ID hash
// index (id_hash) and name T-tree (name_tree), the whole check (check) and
// the start's select (query). With the argument 1 every step begins with
// the processor's caches emptied (outside its time), so that none finds what
// an earlier one left there (at 100,000 contacts much of the file would
// fit); with 0 the steps run one after the other as in a start. The sizes
// take turns, round after
// round and each first in every other round, so that a change in the
// machine's load reaches both alike; a first round is not counted. Per step
// the counters give the median of the rounds at each size (<step>_100k,
// <step>_1m, in seconds) and <step>_growth, the one over the other.
#include "app/contactquery.h"
#include "app/mainlist.h"
#include "grid/listgrid.h"
#include "appcore/schema.h"
#include "platform/dialogs.h"
#include "bench_contact.h"
#include "offscreen_app.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QStandardItemModel>
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

constexpr int kCategories = 8;

// Contact i of n: the ID is i, the name's number a permutation of 1..n, so
// that the name index orders the rows unlike the row list; nine contacts in
// ten have a category.
Contact contact(int i, int n)
{
    const std::string k = std::to_string(i);
    const std::string shuffled = std::to_string(1 + static_cast<long long>(i) * 7919 % n);
    const int cat = i % 10 == 0 ? -1 : i % kCategories;
    return {"Customer " + shuffled, "Person " + k, "2345 " + k, "9123 " + k, "3456 " + k, "c" + k + "@example.org",
            "www.c" + k + ".example", k + " Main Street", "District " + std::to_string(i % 50), "Springfield",
            i % 3 == 0 ? "Pays by the month" : "", i, i * 1.25, cat < 0 ? "" : "Category " + std::to_string(cat),
            cat};
}

void sqliteExec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string text = error ? error : "?";
        sqlite3_free(error);
        throw std::runtime_error(text);
    }
}

// The run's scratch folder, removed when the run ends.
struct Scratch {
    fs::path path;
    Scratch()
    {
        const char* given = std::getenv("QUILLET_BENCH_DIR");
        std::string pattern = std::string(given ? given : "/tmp") + "/quillet-start-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("no scratch folder");
        path = pattern;
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::current_path(path.parent_path(), ignored);
        fs::remove_all(path, ignored);
    }
};

Scratch& scratch()
{
    static Scratch s;
    return s;
}

// One folder holding both databases of n contacts; the peer's is built
// when first asked for.
struct Folder {
    fs::path path;
    bool peerBuilt = false;

    explicit Folder(int n)
    {
        path = scratch().path / std::to_string(n);
        fs::create_directories(path);
        buildOurs(n);
    }

    void buildOurs(int n)
    {
        zarvoDatabase db;
        if (!db.open("Quillet", (path / "Quillet.zrv").c_str()))
            throw std::runtime_error("cannot create the database");
        Config config;
        config.password = "";
        config.version = 18;
        config.lastBackupDate = dbDateTime(-1);
        config.everyday = false;  // no archive of a million contacts at each start
        config.totalBackup = 7;
        insert(config);
        CustomerWidth widths;
        widths.sortBy = 0;
        widths.reverseSort = false;  // the list by ascending ID
        insert(widths);
        dbReference<Category> categories[kCategories];
        for (int k = 0; k < kCategories; ++k) {
            const std::string name = "Category " + std::to_string(k);
            categories[k] = insert(Category{.name = name.c_str()});
        }
        for (int i = 1; i <= n; ++i) {
            const Contact c = contact(i, n);
            Customer r = customerOf(c);
            if (c.categoryIndex >= 0)
                r.category = categories[c.categoryIndex];
            insert(r);
            if (i % 20000 == 0)
                db.commit();
        }
        db.commit();
        db.close();
    }

    void buildPeer(int n)
    {
        sqlite3* lite = nullptr;
        if (sqlite3_open((path / "peer.db").c_str(), &lite) != SQLITE_OK)
            throw std::runtime_error("cannot create the peer's database");
        sqliteExec(lite,
                   (std::string(kPeerCustomerTable) + "BEGIN").c_str());
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(lite, kPeerCustomerInsert, -1, &ins, nullptr);
        for (int i = 1; i <= n; ++i)
            insertPeerRow(ins, contact(i, n));
        sqlite3_finalize(ins);
        sqliteExec(lite, "COMMIT");
        sqlite3_close(lite);
    }
};

// The folder of n contacts; with `peer`, the peer's database is there too.
const fs::path& folder(int n, bool peer = false)
{
    static std::map<int, std::unique_ptr<Folder>> built;
    auto& f = built[n];
    if (!f)
        f = std::make_unique<Folder>(n);
    if (peer && !f->peerBuilt) {
        f->buildPeer(n);
        f->peerBuilt = true;
    }
    return f->path;
}

struct Steps {
    double open = 0, query = 0, list = 0;
    double check = 0;  // the start's own check, all of it
};

// The whole check the database last ran, and the steps StartSteps reports.
struct CheckSteps {
    double rows = 0, idHash = 0, nameTree = 0, all = 0;
};

CheckSteps lastCheck()
{
    const dbDatabase::dbCheckTimes& times = database.lastCheckTimes();
    CheckSteps s;
    s.rows = s.all = times.rows;
    for (const dbDatabase::dbCheckTimes::Index& index : times.indexes) {
        s.all += index.seconds;
        if (index.field == Customer::dbDescriptor.find("id") && index.hash)
            s.idHash = index.seconds;
        if (index.field == Customer::dbDescriptor.find("name") && !index.hash)
            s.nameTree = index.seconds;
    }
    return s;
}

// The start's query: the list by ascending ID, as the stored widths ask.
void buildStartQuery(ContactQuery& query)
{
    ContactSearchFields fields;
    fields.sortBy = 0;
    fields.reverseSort = false;
    query.Build(fields);
}

// Times the select of the query until its order is settled.
double timeQuery(ContactQuery& query)
{
    const auto t0 = Clock::now();
    dbCursor<Customer> customers;
    customers.select(query.Query());
    benchmark::DoNotOptimize(customers.getSelection().nRows);  // the order is settled
    return since(t0);
}

// The program's start; the query is timed again on its own afterwards.
Steps startOurs()
{
    Steps s;
    auto t0 = Clock::now();
    auto window = std::make_unique<TMainListForm>();
    s.open = since(t0);
    s.check = lastCheck().all;
    t0 = Clock::now();
    window->show();  // the first show fills the list
    s.list = since(t0);
    benchmark::DoNotOptimize(window->grid->RowCount());

    if (window->sortBy->currentIndex() != 0 || window->reverseSort->isChecked())
        throw std::runtime_error("the list is not by ascending ID");
    ContactQuery query;
    buildStartQuery(query);
    s.query = timeQuery(query);
    database.commit();
    window.reset();
    database.close();
    return s;
}

const char* const kPeerSelect =
    "SELECT rowid, id, name, person, telephone, mobile, fax, email, website,"
    " address1 || ' ' || address2 || ' ' || address3, remark, printf('%.2f', amount), category"
    " FROM customer ORDER BY id";

Steps startPeer(const fs::path& dir)
{
    Steps s;
    auto t0 = Clock::now();
    sqlite3* lite = nullptr;
    sqlite3_open_v2((dir / "peer.db").c_str(), &lite, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_stmt* sel = nullptr;
    sqlite3_prepare_v2(lite, kPeerSelect, -1, &sel, nullptr);
    s.open = since(t0);
    t0 = Clock::now();
    auto model = std::make_unique<QStandardItemModel>();
    model->setColumnCount(13);
    while (sqlite3_step(sel) == SQLITE_ROW) {
        QList<QStandardItem*> items;
        items.reserve(13);
        for (int c = 0; c < 13; ++c)
            items.append(new QStandardItem(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(sel, c)))));
        model->appendRow(items);
    }
    s.list = since(t0);
    benchmark::DoNotOptimize(model->rowCount());

    sqlite3_reset(sel);
    t0 = Clock::now();
    std::size_t bytes = 0;
    while (sqlite3_step(sel) == SQLITE_ROW)
        for (int c = 0; c < 13; ++c) {
            sqlite3_column_text(sel, c);
            bytes += std::size_t(sqlite3_column_bytes(sel, c));
        }
    s.query = since(t0);
    benchmark::DoNotOptimize(bytes);
    sqlite3_finalize(sel);
    sqlite3_close(lite);
    model.reset();
    return s;
}

std::map<int, double> oursStart;  // by contacts: the program's mean start in this run

void Start(benchmark::State& state)
{
    offscreenApplication();
    static platform::ScriptedDialogs dialogs;  // a message box would wait for ever
    const int n = static_cast<int>(state.range(0));
    const bool peer = state.range(1) != 0;
    const fs::path& dir = folder(n, peer);
    fs::current_path(dir);
    Steps sum;
    for (auto _ : state) {
        const Steps s = peer ? startPeer(dir) : startOurs();
        state.SetIterationTime(s.open + s.list);
        sum.open += s.open;
        sum.query += s.query;
        sum.list += s.list;
        sum.check += s.check;
    }
    const double k = double(state.iterations());
    state.counters["open"] = sum.open / k;
    state.counters["query"] = sum.query / k;
    state.counters["fill"] = (sum.list - sum.query) / k;
    state.counters["start"] = (sum.open + sum.list) / k;
    if (!peer)
        state.counters["start_check"] = sum.check / k;
    if (!peer) {
        oursStart[n] = (sum.open + sum.list) / k;
    } else if (oursStart.count(n)) {
        state.counters["ours_over_peer"] = oursStart[n] / ((sum.open + sum.list) / k);
    }
    state.SetLabel(peer ? "SQLite + QStandardItemModel" : "Quillet");
}

// A copy of the database of n contacts beside it (Quillet.changed) in
// which the name of the contact of ID n / 2 begins with another letter,
// written into its row as damage would write it.
fs::path changedCopy(int n)
{
    const fs::path& dir = folder(n);
    const fs::path copy = dir / "Quillet.changed";
    if (fs::exists(copy))
        return copy;
    fs::current_path(dir);
    if (!database.open("Quillet"))
        throw std::runtime_error("cannot open the database");
    int4 wanted = n / 2;
    dbQuery byId;
    byId.add("id = ").bind(wanted);
    dbCursor<Customer> found;
    if (found.select(byId) != 1)
        throw std::runtime_error("no contact to change");
    const oid_t oid = found.currentId().getOid();
    const std::size_t row = database.getPos(oid);
    dbVarying name;
    std::memcpy(&name, database.get(oid) + Customer::dbDescriptor.find("name")->dbsOffs, sizeof name);
    database.commit();
    database.close();
    fs::copy_file(dir / "Quillet.zrv", copy, fs::copy_options::overwrite_existing);
    std::FILE* file = std::fopen(copy.c_str(), "r+b");
    if (file == nullptr || std::fseek(file, long(row + name.offs), SEEK_SET) != 0 || std::fputc('Z', file) == EOF ||
        std::fclose(file) != 0)
        throw std::runtime_error("cannot change the copy");
    return copy;
}

void StartAfterChangedKey(benchmark::State& state)
{
    offscreenApplication();
    static platform::ScriptedDialogs dialogs;  // the changed contact is named in a box
    const int n = static_cast<int>(state.range(0));
    const fs::path copy = changedCopy(n);
    const fs::path& dir = folder(n);
    fs::current_path(dir);
    const fs::path sound = dir / "Quillet.sound";
    fs::copy_file(dir / "Quillet.zrv", sound, fs::copy_options::overwrite_existing);
    Steps sum;
    for (auto _ : state) {
        fs::copy_file(copy, dir / "Quillet.zrv", fs::copy_options::overwrite_existing);
        dialogs.shown.clear();
        const Steps s = startOurs();
        if (dialogs.shown.size() != 1)
            throw std::runtime_error("the changed contact was not told once");
        state.SetIterationTime(s.open + s.list);
        sum.open += s.open;
        sum.list += s.list;
        sum.check += s.check;
    }
    fs::copy_file(sound, dir / "Quillet.zrv", fs::copy_options::overwrite_existing);
    fs::remove(sound);
    const double k = double(state.iterations());
    state.counters["open"] = sum.open / k;
    state.counters["start"] = (sum.open + sum.list) / k;
    state.counters["start_check"] = sum.check / k;
    if (oursStart.count(n))
        state.counters["over_sound"] = (sum.open + sum.list) / k / oursStart[n];
}

// Reads through a buffer several times the size of the processor's last
// cache, which leaves nothing of what was read before in any of its caches;
// and gives the memory freed since back to the system, so that a step's
// working memory is as new to it as in a program just started, at every
// size alike (the allocator would otherwise keep freed blocks of some sizes
// for the next step and not others).
void emptyCaches()
{
    malloc_trim(0);
    static const std::vector<unsigned char> junk = [] {
        const long last = sysconf(_SC_LEVEL3_CACHE_SIZE);
        const std::size_t bytes = std::max<std::size_t>(4 * std::size_t(last > 0 ? last : 0), std::size_t(128) << 20);
        return std::vector<unsigned char>(bytes, 1);
    }();
    unsigned sum = 0;
    for (std::size_t i = 0; i < junk.size(); i += 64)
        sum += junk[i];
    benchmark::DoNotOptimize(sum);
}

using StepSamples = std::map<std::string, std::vector<double>>;

// One round of the steps on the database of the current folder, each begun
// with the caches emptied when `flush` is set.
void timeSteps(StepSamples& samples, bool flush)
{
    auto beforeStep = [flush] {
        if (flush)
            emptyCaches();
    };
    beforeStep();
    const auto t0 = Clock::now();
    if (!database.open("Quillet"))
        throw std::runtime_error("cannot open the database");
    samples["engine_open"].push_back(since(t0));
    database.beforeCheckStep = beforeStep;
    const bool sound = database.checkIndexes();
    database.beforeCheckStep = nullptr;
    database.commit();
    if (!sound)
        throw std::runtime_error("the check found damage");
    const CheckSteps check = lastCheck();
    samples["rows"].push_back(check.rows);
    samples["id_hash"].push_back(check.idHash);
    samples["name_tree"].push_back(check.nameTree);
    samples["check"].push_back(check.all);
    ContactQuery query;
    buildStartQuery(query);
    beforeStep();
    samples["query"].push_back(timeQuery(query));
    database.commit();
    database.close();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void StartSteps(benchmark::State& state)
{
    offscreenApplication();
    static platform::ScriptedDialogs dialogs;  // a message box would wait for ever
    const bool flush = state.range(0) != 0;
    constexpr int kRounds = 9;
    constexpr int kSizes[2] = {100000, 1000000};
    StepSamples samples[2];
    for (auto _ : state) {
        // A first round, not counted, finds each file as the others do.
        for (int round = -1; round < kRounds; ++round)
            for (int k = 0; k < 2; ++k) {
                const int s = (k + round + 2) % 2;  // each size goes first in every other round
                fs::current_path(folder(kSizes[s]));
                StepSamples here;
                timeSteps(here, flush);
                for (const auto& [step, times] : here)
                    if (round >= 0)
                        samples[s][step].insert(samples[s][step].end(), times.begin(), times.end());
            }
    }
    for (const auto& [step, small] : samples[0]) {
        const double atSmall = median(small), atLarge = median(samples[1][step]);
        state.counters[step + "_100k"] = atSmall;
        state.counters[step + "_1m"] = atLarge;
        state.counters[step + "_growth"] = atLarge / atSmall;
    }
}

}  // namespace

// The program before its peer at each size, so that the peer's line can
// give the ratio.
BENCHMARK(Start)->Args({100000, 0})->Args({100000, 1})->Args({1000000, 0})->Args({1000000, 1})
    ->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StartAfterChangedKey)->Arg(1000000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(StartSteps)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);
