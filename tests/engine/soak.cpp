// A long life of the program's database: contacts added, renamed (some given
// a new ID) and deleted
// (with their cheques) and cheques recorded and deleted, one committed
// transaction each, the way the program's windows make these changes, with
// seeded random choices, for tens of thousands of steps, so that every index
// page moves many times. After each step the touched records are looked up
// through the indexes (ID through its hash index, name through its T-tree,
// the cheque date through both) and compared with a model kept in memory;
// every few hundred steps every record is; every few thousand steps the
// database is closed (and every other time compacted) and opened again, and
// the start's check must find it sound. A sound file must stay sound: any
// failed search, refused change, report or rebuild ends the run, naming the
// seed and the step.
//
// QUILLET_SOAK_STEPS caps the steps of each run (the sanitizer build runs a
// short soak that still reopens the database).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "appcore/schema.h"
#include "engine/compact.h"
#include "engine/hashtab.h"
#include "engine/program_tables.h"
#include "engine/support_index.h"
#include "engine/support_storage.h"

using namespace storagetest;

namespace {

// Relative weights of the steps.
struct Mix {
    int addContact, renameContact, deleteContact, addCheque, deleteCheque;
    // IDs typed or imported at random, which spread over every bucket of the
    // ID index (the editor's next IDs fill fewer than two thirds of them, so
    // that index never doubles)
    bool typedIds;
};

struct SoakRun {
    const char* what;
    unsigned seed;
    int steps;
    Mix mix;
    bool growsIdIndex;  // adds enough contacts that the ID index doubles
};

constexpr Mix churn{40, 25, 15, 14, 6, false};
constexpr Mix growth{90, 4, 1, 4, 1, true};
constexpr int walkEvery = 500;
constexpr int reopenEvery = 4000;

struct Contact {
    oid_t oid;
    std::string name;
};

struct ChequeEntry {
    std::int32_t stamp;
    std::int32_t payee;  // the contact's ID
};

class Soak {
  public:
    Soak(const SoakRun& run) : rng(run.seed), mix(run.mix) { open(); }
    ~Soak() { db.close(); }

    // The step's failure, empty while everything holds.
    std::string step(int n)
    {
        stepNo = n;
        int total = mix.addContact + mix.renameContact + mix.deleteContact + mix.addCheque + mix.deleteCheque;
        int pick = int(rng() % unsigned(total));
        if ((pick -= mix.addContact) < 0 || contacts.empty()) {
            addContact();
        } else if ((pick -= mix.renameContact) < 0) {
            renameContact();
        } else if ((pick -= mix.deleteContact) < 0) {
            deleteContact();
        } else if ((pick -= mix.addCheque) < 0 || cheques.empty()) {
            addCheque();
        } else {
            deleteCheque();
        }
        if (!db.messages.empty()) {
            std::string report = "reported \"" + db.messages.front() + "\"";
            if (failure.empty()) {
                fail(report);
            } else {
                failure += ", " + report;
            }
        }
        if (failure.empty() && n % reopenEvery == 0) {
            reopen();
        }
        if (failure.empty() && n % walkEvery == 0) {
            walkEverything();
        }
        return failure;
    }

    std::uint32_t idBuckets()
    {
        return reinterpret_cast<const dbHashTable*>(db.get(customers()->find("id")->hashTable))->size;
    }
    std::size_t contactCount() const { return contacts.size(); }
    int reopenings = 0;

  private:
    void open()
    {
        if (!db.open("soak", path.c_str())) {
            fail("the database did not open");
        }
    }
    dbTableDescriptor* customers() { return db.findTable("Customer"); }
    dbTableDescriptor* chequeTable() { return db.findTable("Cheque"); }
    dbFieldDescriptor* dateField() { return chequeTable()->hashedFields; }
    std::int32_t storedRows(dbTableDescriptor* t)
    {
        return reinterpret_cast<const dbTable*>(db.get(t->tableId))->nRows;
    }

    void fail(const std::string& what)
    {
        if (failure.empty()) {
            failure = "step " + std::to_string(stepNo) + " (" + op + "): " + what;
        }
    }
    void commit()
    {
        if (!db.commit()) {
            fail("commit refused");
        }
    }
    // Ends the step's transaction after a failure.
    void abandon(const std::string& what)
    {
        fail(what);
        db.rollback();
    }
    // Inserts the record and commits: its id, 0 when refused.
    template <class T>
    oid_t insertAndCommit(const T& record)
    {
        oid_t oid = insert(record).getOid();
        if (oid == 0) {
            abandon("insert refused");
        } else {
            commit();
        }
        return oid;
    }

    std::string randomName() { return "Contact " + std::to_string(rng() % 3000); }
    std::int32_t randomId() { return ids[rng() % ids.size()]; }
    void forget(std::int32_t id)
    {
        auto at = std::find(ids.begin(), ids.end(), id);
        *at = ids.back();
        ids.pop_back();
        nameCount[contacts[id].name] -= 1;
        contacts.erase(id);
    }

    // The number of contacts a query of the program finds; -1 when it failed.
    long countWhere(const char* condition, std::int32_t id)
    {
        dbQuery q;
        q.append(dbQueryElement::Text, condition);
        q.bind(id);
        dbCursor<Customer> found;
        std::size_t n = found.select(q);
        return found.selectFailed() ? -1 : long(n);
    }
    long countNamed(const std::string& name)
    {
        dbQuery q;
        q.append(dbQueryElement::Text, "name=");
        q.append(dbQueryElement::ParamString, name.c_str());
        dbCursor<Customer> found;
        std::size_t n = found.select(q);
        return found.selectFailed() ? -1 : long(n);
    }
    long modelNamed(const std::string& name) { return nameCount[name]; }

    // The contact of this ID is found through both indexes exactly where the
    // model has it, and the table counts as many rows as the model.
    void checkContact(std::int32_t id)
    {
        auto it = contacts.find(id);
        std::vector<oid_t> byId = indextest::hashFind(db, customers()->find("id"), &id);
        std::vector<oid_t> expected;
        if (it != contacts.end()) {
            expected.push_back(it->second.oid);
            const char* name = it->second.name.c_str();
            std::vector<oid_t> byName =
                indextest::treeRange(db, customers()->find("name"), name, true, name, true);
            if (std::find(byName.begin(), byName.end(), it->second.oid) == byName.end()) {
                fail("name \"" + it->second.name + "\" not found through its index");
            }
        }
        if (byId != expected) {
            fail("ID " + std::to_string(id) + " found " + std::to_string(byId.size()) + " times through its index");
        }
        if (storedRows(customers()) != std::int32_t(contacts.size())) {
            fail("the table counts " + std::to_string(storedRows(customers())) + " contacts, not " +
                 std::to_string(contacts.size()));
        }
        db.commit();  // ends the read
    }
    void checkChequeDate(std::int32_t stamp)
    {
        std::size_t expected = std::size_t(std::count_if(cheques.begin(), cheques.end(),
                                                         [&](const auto& q) { return q.second.stamp == stamp; }));
        if (indextest::hashFind(db, dateField(), &stamp).size() != expected ||
            indextest::treeRange(db, dateField(), &stamp, true, &stamp, true).size() != expected) {
            fail("the cheques of " + std::to_string(stamp) + " not found through their indexes");
        }
        if (storedRows(chequeTable()) != std::int32_t(cheques.size())) {
            fail("the table counts " + std::to_string(storedRows(chequeTable())) + " cheques");
        }
        db.commit();
    }

    // As the contact editor's Save: the ID must be free, a same name is
    // accepted, then the insert and its commit.
    void addContact()
    {
        op = "add contact";
        std::int32_t id = nextId++;
        if (mix.typedIds) {
            do {
                id = std::int32_t(rng() % 2000000000) + 1;
            } while (contacts.count(id) != 0);
        }
        std::string name = randomName();
        if (countWhere("id=", id) != 0 || countNamed(name) != modelNamed(name)) {
            return abandon("the checks before the insert did not find what the model holds");
        }
        zarvoBuffer texts;
        Customer c;
        c.id = id;
        c.name = texts.put(name);
        c.telephone = texts.put("555-" + std::to_string(rng() % 10000));
        c.email = texts.put("c" + std::to_string(id) + "@example.com");
        c.remark = texts.put(std::string(rng() % 40, 'r'));
        c.amount = real4(rng() % 100000) / 100;
        oid_t oid = insertAndCommit(c);
        if (oid == 0) {
            return;
        }
        contacts[id] = {oid, name};
        ids.push_back(id);
        nameCount[name] += 1;
        checkContact(id);
    }

    // As the editor's Update: a new name, and now and then a new (free) ID.
    void renameContact()
    {
        op = "rename contact";
        std::int32_t id = randomId();
        Contact& model = contacts[id];
        std::string name = randomName();
        std::int32_t newId = id;
        if (rng() % 4 == 0) {
            do {
                newId = nextId++;
            } while (contacts.count(newId) != 0);
        }
        dbCursor<Customer> customer(dbCursorForUpdate);
        if (!customer.at(dbReference<Customer>(model.oid)) || customer->id != id) {
            return abandon("contact " + std::to_string(id) + " not found by its reference");
        }
        if (countNamed(name) != modelNamed(name) || (newId != id && countWhere("id=", newId) != 0)) {
            fail("the checks before the update found another count than the model");
        }
        customer->name = name.c_str();
        customer->id = newId;
        if (!customer.update()) {
            return abandon("update refused");
        }
        commit();
        nameCount[model.name] -= 1;
        nameCount[name] += 1;
        model.name = name;
        if (newId != id) {
            contacts[newId] = model;
            contacts.erase(id);
            *std::find(ids.begin(), ids.end(), id) = newId;
            for (auto& [oid, cheque] : cheques) {  // the cheques keep their payee
                cheque.payee = cheque.payee == id ? newId : cheque.payee;
            }
            checkContact(id);
        }
        checkContact(newId);
    }

    // As the list's Delete: the contact's cheques go with it.
    void deleteContact()
    {
        op = "delete contact";
        std::int32_t id = randomId();
        oid_t payee = contacts[id].oid;
        dbCursor<Customer> customer(dbCursorForUpdate);
        dbCursor<Cheque> payeeCheques(dbCursorForUpdate);
        dbQuery ofPayee;
        ofPayee.append(dbQueryElement::Text, "customer=");
        ofPayee.bindReference(payee, &Customer::dbDescriptor);
        if (!customer.at(dbReference<Customer>(payee))) {
            return abandon("contact " + std::to_string(id) + " not found by its reference");
        }
        std::size_t n = payeeCheques.select(ofPayee);
        if (payeeCheques.selectFailed()) {
            return abandon("the contact's cheques could not be selected");
        }
        if (n > 0) {
            payeeCheques.removeAllSelected();
        }
        customer.remove();
        commit();
        forget(id);
        std::set<std::int32_t> dates;
        for (auto it = cheques.begin(); it != cheques.end();) {
            if (it->second.payee == id) {
                dates.insert(it->second.stamp);
                it = cheques.erase(it);
            } else {
                ++it;
            }
        }
        checkContact(id);
        for (std::int32_t stamp : dates) {
            checkChequeDate(stamp);
        }
    }

    // As Save Cheque: the number must be free, then the insert.
    void addCheque()
    {
        op = "add cheque";
        std::int32_t payeeId = randomId();
        std::string number = "Q" + std::to_string(nextCheque++);
        std::int32_t stamp = 1700000000 + 86400 * std::int32_t(rng() % 400);
        const char* bound = number.c_str();
        dbQuery q;
        q.append(dbQueryElement::Text, "chequeNo=");
        q.bind(bound);
        dbCursor<Cheque> same;
        if (same.select(q) != 0 || same.selectFailed()) {
            return abandon("the cheque number check failed");
        }
        zarvoBuffer texts;
        Cheque record;
        record.chequeNo = bound;
        record.transDate = dbDateTime(stamp);
        record.customer = dbReference<Customer>(contacts[payeeId].oid);
        record.customerName = texts.put(contacts[payeeId].name);
        record.description = "soak";
        record.amount = double(rng() % 100000) / 100;
        oid_t oid = insertAndCommit(record);
        if (oid == 0) {
            return;
        }
        cheques[oid] = {stamp, payeeId};
        checkChequeDate(stamp);
    }

    void deleteCheque()
    {
        op = "delete cheque";
        auto it = cheques.begin();
        std::advance(it, rng() % cheques.size());
        dbCursor<Cheque> cheque(dbCursorForUpdate);
        if (!cheque.at(dbReference<Cheque>(it->first))) {
            return abandon("cheque not found by its reference");
        }
        cheque.remove();
        commit();
        std::int32_t stamp = it->second.stamp;
        cheques.erase(it);
        checkChequeDate(stamp);
    }

    // Whether a walk of the field's T-tree meets the keys of the model's
    // entries (`of`) in order; read: the key of a row met.
    template <class Model, class Of, class Read>
    bool inKeyOrder(dbFieldDescriptor* field, const Model& model, Of of, Read read)
    {
        std::vector<decltype(of(model.begin()->second))> expected, walked;
        for (const auto& entry : model) {
            expected.push_back(of(entry.second));
        }
        std::sort(expected.begin(), expected.end());
        for (oid_t oid : indextest::treeWalk(db, field, true)) {
            walked.push_back(read(oid));
        }
        return walked == expected;
    }

    // Every contact by ID, the names in the tree's order, the cheques by
    // date in both indexes, and the row lists.
    void walkEverything()
    {
        op = "walk";
        dbFieldDescriptor* idField = customers()->find("id");
        for (const auto& [id, c] : contacts) {
            if (indextest::hashFind(db, idField, &id) != std::vector<oid_t>{c.oid}) {
                fail("ID " + std::to_string(id) + " not found through its index");
                break;
            }
        }
        auto nameOf = [&](oid_t oid) {
            Customer c;
            db.fetchRecord(customers(), oid, &c);
            return std::string(c.name);
        };
        if (!inKeyOrder(customers()->find("name"), contacts, [](const Contact& c) { return c.name; }, nameOf)) {
            fail("the name index does not hold the contacts' names in order");
        }
        auto dateOf = [&](oid_t oid) {
            auto it = cheques.find(oid);
            return it != cheques.end() ? it->second.stamp : -1;
        };
        if (!inKeyOrder(dateField(), cheques, [](const ChequeEntry& q) { return q.stamp; }, dateOf)) {
            fail("the date index does not hold the cheques in date order");
        }
        dbCursor<Customer> all;
        std::size_t listed = all.select() != 0 ? 1 : 0;
        while (all.next()) {
            listed++;
        }
        if (listed != contacts.size()) {
            fail("the row list holds " + std::to_string(listed) + " contacts");
        }
        db.commit();
    }

    // Every other time the file is compacted in between, whatever it gains:
    // every object keeps its id and bytes, and the walk that follows finds
    // the model's records through the compacted file's indexes.
    void reopen()
    {
        op = "reopen";
        db.close();
        if (reopenings % 2 == 0) {
            const CommittedState before = committedState(readFile(path));
            dbCompactionResult done = dbCompactFile(path.c_str(), dbCompactAlways);
            if (done.outcome != dbCompactionResult::dbCompacted) {
                fail("not compacted: " + done.reason);
            } else if (committedState(readFile(path)) != before) {
                fail("the compacted file holds other objects");
            }
        }
        open();
        reopenings++;
        dbDatabase::dbIndexRepair found = db.checkAndRebuildIndexes();
        if (found != dbDatabase::dbIndexesSound) {
            fail("the start check found " + std::to_string(int(found)));
        }
        if (!db.checkIndexes()) {
            fail("the index check failed");
        }
        if (!db.messages.empty()) {
            fail("reported \"" + db.messages.front() + "\"");
        }
    }

    TempDir dir{std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp"};
    std::string path = dir.file("Quillet.zrv");
    RecordingDatabase db;
    std::mt19937 rng;
    Mix mix;
    std::map<std::int32_t, Contact> contacts;
    std::vector<std::int32_t> ids;  // the contacts' IDs, for a choice by chance
    std::map<std::string, long> nameCount;
    std::map<oid_t, ChequeEntry> cheques;
    std::int32_t nextId = 1;
    int nextCheque = 1000;
    int stepNo = 0;
    const char* op = "";
    std::string failure;
};

const SoakRun runs[] = {
    {"churn, seed 1", 1, 40000, churn, false},
    {"churn, seed 2", 2, 40000, churn, false},
    {"churn, seed 3", 3, 40000, churn, false},
    {"growth past the ID index's doubling", 4, 30000, growth, true},
};

}  // namespace

TEST(Soak, ASoundDatabaseChangedOneCommitAtATimeStaysSound)
{
    int cap = 0;
    if (const char* env = std::getenv("QUILLET_SOAK_STEPS")) {
        cap = std::atoi(env);
    }
    for (const SoakRun& run : runs) {
        SCOPED_TRACE(run.what);
        int steps = cap > 0 ? std::min(cap, run.steps) : run.steps;
        auto started = std::chrono::steady_clock::now();
        Soak soak(run);
        std::string failure;
        int done = 0;
        while (done < steps && failure.empty()) {
            failure = soak.step(++done);
        }
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::printf("%s: %d steps, %d reopenings, %zu contacts, %u ID buckets, %.1f s\n", run.what, done,
                    soak.reopenings, soak.contactCount(), soak.idBuckets(), seconds);
        EXPECT_EQ(failure, "");
        if (run.growsIdIndex && steps == run.steps) {
            EXPECT_GT(soak.idBuckets(), dbHashTable::initialSize);
        }
    }
}
