// The program on damaged databases: a contact row list broken (300
// contacts written by the engine, then one row's link to the next row
// redirected), and each kind of damage to an index alone, which the start
// mends from the rows; and a database a later release of the program wrote,
// which is no damaged one.
#include "contacts_fixture.h"

#include "app/login.h"
#include "appcore/damagereport.h"
#include "backup/backupfile.h"
#include "backup/backupform.h"
#include "engine/hashtab.h"
#include "engine/ttree.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The 32-bit word at `at` of a database file's bytes.
uint32_t& word(QByteArray& db, int64_t at) { return *reinterpret_cast<uint32_t*>(db.data() + at); }

void writeDatabase(const QByteArray& bytes)
{
    QFile file("Quillet.zrv");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

}  // namespace

TEST_F(ContactsTest, DamageIsToldTheRowsBeforeItAreListedAndNoContactIsAdded)
{
    // the link of contact 100 past the object index, and onto contact 151
    for (const bool pastIndex : {true, false}) {
        SCOPED_TRACE(pastIndex ? "past the index" : "onto a later row");
        if (!window) {  // a fresh database for the second round
            std::filesystem::remove("Quillet.zrv");
            ASSERT_EQ(start(), -1);
        }
        addCategory("Shops");  // the editor saves a contact with a category
        std::vector<oid_t> oids;
        for (int i = 1; i <= 300; ++i)
            oids.push_back(addCustomer(i, ("Contact " + std::to_string(i)).c_str()));
        makeDailyBackupDue();
        const QStringList generations = QDir(".").entryList({"*.zbf"});
        stop();
        QByteArray bytes = fileBytes("Quillet.zrv");
        const int64_t index = word(bytes, 16 + 24 * word(bytes, 4));  // the committed object index
        const uint32_t row = word(bytes, index + 4 * int64_t(oids[99]));
        word(bytes, row + 4) = pastIndex ? 0x00FFFFF0u : oids[150];
        writeDatabase(bytes);

        dialogs.shown.clear();
        ASSERT_EQ(start(), -1);
        auto boxes = [&] {
            QCoreApplication::processEvents();
            QStringList out;
            for (const auto& s : dialogs.shown)
                if (s.messageKind == platform::MessageKind::Error)
                    out << s.text;
            return out;
        };
        const QStringList once{QString(kDatabaseDamaged) + "\nDatabase file was corrupted: invalid record"};
        EXPECT_EQ(boxes(), once);
        EXPECT_EQ(QDir(".").entryList({"*.zbf"}), generations) << "a damaged file was archived";
        EXPECT_EQ(window->StatusText(1), "Total Customer: 100");
        ASSERT_EQ(window->grid->RowCount(), 101);
        EXPECT_EQ(window->grid->Cells(1, 1), "100");  // newest first
        EXPECT_EQ(window->grid->Cells(1, 100), "1");

        dialogs.shown.clear();
        saveEditor([](TMainForm& e) {
            e.cID->setText("301");
            e.cName->setText("Refused");
        });
        cancelEditor();  // the editor comes back after the refusal
        insertActionExecute(*window);
        EXPECT_EQ(boxes(), once);
        EXPECT_TRUE(dialogs.Messages().contains(kNotStored));
        EXPECT_EQ(window->StatusText(1), "Total Customer: 100");

        stop();
        EXPECT_TRUE(fileBytes("Quillet.zrv") == bytes) << "the file changed";
    }
}

namespace {

// The object names of the windows shown while it lives, in order.
struct ShownWindows : QObject {
    ShownWindows() { QCoreApplication::instance()->installEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show && object->isWidgetType() && static_cast<QWidget*>(object)->isWindow())
            names << object->objectName();
        return false;
    }
    QStringList names;
};

// Where, in the file, lie the parts of a database of contacts and cheques
// that the cases below damage.
struct Offsets {
    int64_t hashItem, hashPage, nameNode, chequeNode;
    oid_t otherContact;  // a contact the damaged hash item does not name
    int64_t id22, name5;  // contact 22's ID and contact 5's name in their rows
};

class DamagedIndexes : public ContactsTest {
protected:
    static constexpr int kContacts = 60;

    // A first start in an empty folder, then kContacts contacts (their names
    // not in ID order) and 20 cheques a day apart, committed.
    std::vector<oid_t> startWithContactsAndCheques()
    {
        stop();
        for (const QString& name : QDir(".").entryList({"Quillet*"}))
            QFile::remove(name);
        EXPECT_EQ(start(), -1);
        addCategory("Shops");  // the editor saves a contact with a category
        std::vector<oid_t> contacts;
        for (int i = 1; i <= kContacts; ++i)
            contacts.push_back(addCustomer(i, ("Contact " + std::to_string(i * 37 % kContacts)).c_str()));
        for (int i = 0; i < 20; ++i) {
            Cheque q;
            q.chequeNo = "Q";
            q.customer = dbReference<Customer>(contacts[size_t(i)]);
            q.transDate = dbDateTime(1700000000 + 86400 * i);
            EXPECT_FALSE(insert(q).isNull());
        }
        EXPECT_TRUE(database.commit());
        return contacts;
    }

    // The file offsets of the index objects, read while the database is open.
    static Offsets offsetsOf(const std::vector<oid_t>& contacts)
    {
        auto at = [](oid_t oid) { return int64_t(database.getPos(oid) & ~dbInternalObjectMarker); };
        auto treeRoot = [&](dbFieldDescriptor* fd) {
            return at(reinterpret_cast<const dbTtree*>(database.get(fd->tTree))->root);
        };
        const auto& hash = *reinterpret_cast<const dbHashTable*>(database.get(Customer::dbDescriptor.find("id")->hashTable));
        Offsets o {};
        for (uint32_t b = 0; b < hash.size && o.hashItem == 0; ++b) {
            if (oid_t item = reinterpret_cast<const oid_t*>(database.get(hash.page + b / 1024))[b % 1024]) {
                o.hashItem = at(item);
                const oid_t named = reinterpret_cast<const dbHashTableItem*>(database.get(item))->record;
                o.otherContact = named == contacts[0] ? contacts[1] : contacts[0];
            }
        }
        o.hashPage = at(hash.page);
        o.nameNode = treeRoot(Customer::dbDescriptor.find("name"));
        o.chequeNode = treeRoot(Cheque::dbDescriptor.indexedFields);  // the transaction date
        o.id22 = at(contacts[21]) + Customer::dbDescriptor.find("id")->dbsOffs;
        dbVarying name5;
        std::memcpy(&name5, database.get(contacts[4]) + Customer::dbDescriptor.find("name")->dbsOffs, sizeof name5);
        o.name5 = at(contacts[4]) + name5.offs;
        database.commit();
        return o;
    }

    // Every contact is found through each index by the values its row holds
    // now, the names come in order, and the cheques are found by their dates.
    static void expectFoundThroughEveryIndex(const std::vector<oid_t>& contacts)
    {
        for (oid_t contact : contacts) {
            dbCursor<Customer> found;
            ASSERT_TRUE(found.at(dbReference<Customer>(contact)));
            int4 id = found->id;
            const std::string name = found->name;
            dbQuery byId;
            byId.add("id = ").bind(id);
            ASSERT_EQ(found.select(byId), 1u) << id;
            EXPECT_EQ(found.currentId().getOid(), contact);
            const char* nameText = name.c_str();  // the query reads the variable at each run
            dbQuery byName;
            byName.add("name = ").bind(nameText);
            EXPECT_EQ(found.select(byName), 1u) << name;
            EXPECT_EQ(found.currentId().getOid(), contact);
        }
        dbCursor<Customer> ordered;
        dbQuery byName("order by name");
        ASSERT_EQ(ordered.select(byName), std::size_t(kContacts));
        std::vector<std::string> names;
        do
            names.push_back(ordered->name);
        while (ordered.next());
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), std::size_t(kContacts));
        dbCursor<Cheque> cheques;
        dbQuery byDate("transDate.stamp >= 1700000000 order by transDate.stamp");
        EXPECT_EQ(cheques.select(byDate), 20u);
        int4 stamp = 1700000000 + 86400 * 7;
        dbQuery oneDay;
        oneDay.add("transDate.stamp = ").bind(stamp);
        EXPECT_EQ(cheques.select(oneDay), 1u);
        EXPECT_FALSE(ordered.selectFailed() || cheques.selectFailed());
        database.commit();
    }
};

}  // namespace

// Files whose indexes alone are damaged, or whose contacts' keys disagree
// with the indexes, each made from a small database of contacts and cheques:
// the start rebuilds the indexes from the records, showing its progress
// meanwhile, and says so once (naming the contacts whose stored values may
// have been changed, and then making no automatic backup), every contact and
// cheque is found through each index by the values it holds, a new contact
// with a taken ID is refused as taken, and the next start is silent.
TEST_F(DamagedIndexes, IndexesDamagedAloneAreRebuiltAtStart)
{
    using Damage = std::function<void(QByteArray&, const Offsets&)>;
    const struct Case {
        const char* what;
        Damage damage;
        QStringList named = {};  // the contacts told as changed; none: only indexes were damaged
        bool fullDisk = false;   // the first start finds no room for the rebuild
        bool noBackups = false;  // the folder holds no backup when the damage is found
    } cases[] = {
        {"an ID hash item's stored hash", [&](QByteArray& db, const Offsets& o) { word(db, o.hashItem + 8) ^= 0x10; }},
        {"an ID hash item's stored hash, with a full disk at the first start",
         [&](QByteArray& db, const Offsets& o) { word(db, o.hashItem + 8) ^= 0x10; }, {}, true},
        {"an ID hash item's row reference",
         [&](QByteArray& db, const Offsets& o) { word(db, o.hashItem + 4) = o.otherContact; }},
        {"a name T-tree item",  // the tree keeps no names: either contact may have been changed
         [&](QByteArray& db, const Offsets& o) { std::swap(word(db, o.nameNode + 12), word(db, o.nameNode + 16)); },
         {"Contact ID 13: Contact 1", "Contact ID 60: Contact 0"}},
        {"a contact's ID in its row", [&](QByteArray& db, const Offsets& o) { word(db, o.id22) = 2200; },
         {"Contact ID 2200: Contact 34"}},
        {"a contact's ID in its row, with a full disk at the first start",
         [&](QByteArray& db, const Offsets& o) { word(db, o.id22) = 2200; }, {"Contact ID 2200: Contact 34"}, true},
        {"a contact's name in its row", [&](QByteArray& db, const Offsets& o) { db[qsizetype(o.name5)] = 'Z'; },
         {"Contact ID 5: Zontact 5"}, false, true},
        {"a name T-tree node's item count", [&](QByteArray& db, const Offsets& o) { db[qsizetype(o.nameNode + 10)] = char(db[qsizetype(o.nameNode + 10)] - 1); }},
        {"the cheques' transaction-date index",
         [&](QByteArray& db, const Offsets& o) { std::swap(word(db, o.chequeNode + 12), word(db, o.chequeNode + 16)); }},
        {"a zeroed index page",
         [&](QByteArray& db, const Offsets& o) { std::fill_n(db.data() + o.hashPage, dbPageSize, char(0)); }},
    };
    auto messages = [&] {
        QCoreApplication::processEvents();  // the damage box comes after the operation
        return dialogs.Messages();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<oid_t> contacts = startWithContactsAndCheques();
        const Offsets o = offsetsOf(contacts);
        makeDailyBackupDue();
        if (c.noBackups)
            for (const QString& name : QDir(".").entryList({"*.zbf"}))
                QFile::remove(name);
        const std::map<QString, QByteArray> archives = archiveBytes();
        stop();
        QByteArray bytes = fileBytes("Quillet.zrv");
        c.damage(bytes, o);
        writeDatabase(bytes);

        dialogs.shown.clear();
        if (c.fullDisk) {
            struct FullDisk : dbFileObserver {
                int beforeFlush(const dbFile&) override { return ENOSPC; }
            } full;
            dbFile::setObserver(&full);
            const int started = start();
            dbFile::setObserver(nullptr);
            ASSERT_EQ(started, -1);
            const QStringList told = messages();
            if (c.named.isEmpty()) {
                EXPECT_EQ(told, QStringList {kIndexesNoSpace});
            } else {  // the records are named all the same
                ASSERT_EQ(told.size(), 1);
                const QStringList lines = told[0].split('\n');
                EXPECT_EQ(lines.mid(1, c.named.size()), c.named);
                EXPECT_TRUE(told[0].contains("There was not enough disk space to mend the search indexes."));
                EXPECT_FALSE(told[0].contains("lost")) << told[0].toStdString();
            }
            EXPECT_EQ(archiveBytes(), archives) << "a damaged file was archived";
            stop();
            EXPECT_TRUE(fileBytes("Quillet.zrv") == bytes) << "the file changed";
            dialogs.shown.clear();
        }
        ShownWindows shown;
        ASSERT_EQ(start(), -1);
        EXPECT_TRUE(shown.names.contains("rebuildProgress")) << "no progress shown while rebuilding";
        const QStringList told = messages();
        if (c.named.isEmpty()) {
            EXPECT_EQ(told, QStringList {kIndexesRebuilt});
            EXPECT_NE(archiveBytes(), archives) << "the daily backup";
        } else {
            ASSERT_EQ(told.size(), 1);
            const QStringList lines = told[0].split('\n');
            EXPECT_TRUE(lines[0].startsWith("The database file is damaged: the stored values"));
            EXPECT_EQ(lines.mid(1, c.named.size()), c.named);
            const QStringList backups = QDir(".").entryList({"*.zbf"});  // the first start's daily backup
            EXPECT_EQ(backups.isEmpty(), c.noBackups);
            EXPECT_EQ(lines.last(),
                      c.noBackups ? "There is no backup in " + QDir::currentPath() +
                                        " that can be read. No automatic backup is made until the program is "
                                        "started again."
                                  : "The backup in " + QDir::currentPath() + " that can be read (" +
                                        backups.join(", ") +
                                        ") may hold the values from before; a backup can be restored with Restore "
                                        "in the setup dialog (Setup). No automatic backup is made until the "
                                        "program is started again.");
            EXPECT_FALSE(told[0].contains("No record was lost"));
            EXPECT_EQ(archiveBytes(), archives) << "a changed file was archived";
        }
        EXPECT_EQ(window->StatusText(1), "Total Customer: " + QString::number(kContacts));
        dialogs.shown.clear();
        expectFoundThroughEveryIndex(contacts);

        saveEditor([](TMainForm& e) {
            e.cID->setText("7");
            e.cName->setText("Taken ID");
        });
        cancelEditor();
        insertActionExecute(*window);
        EXPECT_EQ(messages(), QStringList {"'ID' has already existed."});
        EXPECT_EQ(customers().size(), std::size_t(kContacts));

        stop();
        dialogs.shown.clear();
        shown.names.clear();
        ASSERT_EQ(start(), -1);
        EXPECT_EQ(messages(), QStringList {}) << "the next start";
        EXPECT_FALSE(shown.names.contains("rebuildProgress")) << "the next start";
    }
}

// Table layouts damaged as one byte or one name of the file may be, in a
// database of contacts and cheques with a backup of it beside: the start
// takes none for a layout to convert nor for a later release's. It says
// "Fail to open database." and offers the newest backup that can be read, as
// for any unreadable file. On No every file of the folder stays byte for
// byte: nothing was converted, nothing archived. On Yes the backup comes
// back and the damaged file is kept as it was.
TEST_F(DamagedIndexes, ADamagedTableLayoutIsToldAndNeverConverted)
{
    // where the stored layouts (the Metatable's rows) lie in the file
    struct Layouts {
        int64_t contacts, categories, last;
    };
    using Damage = std::function<void(QByteArray&, const Layouts&)>;
    // the entry of a contact field in the contacts' layout
    auto entry = [](const Layouts& l, const char* field) {
        return l.contacts + int64_t(sizeof(dbTable) + sizeof(dbField) * Customer::dbDescriptor.find(field)->fieldNo);
    };
    const struct Case {
        const char* what;
        Damage damage;
        bool restore;  // the answer to the offer
    } cases[] = {
        {"a byte of the stored offset of the contacts' ID",
         [&](QByteArray& db, const Layouts& l) { db[qsizetype(entry(l, "id") + 28)] ^= char(0x80); }, false},
        {"address1 read as address2",
         [&](QByteArray& db, const Layouts& l) {
             const int64_t name = entry(l, "address1") + word(db, entry(l, "address1") + 4);
             ASSERT_EQ(db.mid(qsizetype(name), 9), QByteArray("address1", 9));
             db[qsizetype(name + 7)] = '2';
         },
         false},
        {"the last layout's list link to the Metatable's own row",
         [&](QByteArray& db, const Layouts& l) { word(db, l.last + 4) = dbMetaTableId; }, true},
        {"the categories' layout under the contacts' name",
         [&](QByteArray& db, const Layouts& l) {
             const int64_t name = l.categories + word(db, l.categories + 16);
             ASSERT_EQ(db.mid(qsizetype(name), 9), QByteArray("Category", 9));
             db.replace(qsizetype(name), 8, "Customer");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startWithContactsAndCheques();
        for (const QString& name : QDir(".").entryList({"*.zbf"}))
            QFile::remove(name);  // the first start's, of no contacts
        dateFile("Quillet.zrv", 2);
        ASSERT_TRUE(TBackupForm().backupTo(QDir::current().filePath("Quillet0.zbf")));
        auto at = [](const dbTableDescriptor& t) { return int64_t(database.getPos(t.tableId)); };
        const Layouts layouts {at(Customer::dbDescriptor), at(Category::dbDescriptor), at(Mail::dbDescriptor)};
        stop();
        QByteArray bytes = fileBytes("Quillet.zrv");
        ASSERT_EQ(word(bytes, layouts.last + 4), 0u) << "Mail is not the last layout";
        c.damage(bytes, layouts);
        writeDatabase(bytes);
        const std::map<QString, QByteArray> before = filesIn(".");

        dialogs.shown.clear();
        dialogs.AnswerQuestion(c.restore);
        EXPECT_EQ(start(), c.restore ? -1 : 1);
        const QString kept = dialogs.Questions().value(0).section("kept as ", 1).chopped(1);
        EXPECT_EQ(dialogs.Questions(),
                  QStringList {"The database file Quillet.zrv in " + QDir::currentPath() +
                               " cannot be read. The newest backup that can be read is Quillet0.zbf of 2026-03-02. "
                               "Restore it in its place? The unreadable file will be kept as " + kept + "."});
        if (!c.restore) {
            EXPECT_EQ(dialogs.Messages(), QStringList {"Fail to open database."});
            EXPECT_TRUE(filesIn(".") == before) << "a file changed";
            continue;
        }
        EXPECT_EQ(dialogs.Messages(), (QStringList {"Fail to open database.", "Restore Completed."}));
        EXPECT_EQ(customers().size(), std::size_t(kContacts));
        EXPECT_EQ(chequeCount(), 20u);
        EXPECT_TRUE(fileBytes(kept) == bytes) << "the damaged file was not kept as it was";
        EXPECT_TRUE(fileBytes("Quillet0.zbf") == before.at("Quillet0.zbf"));
    }
}

namespace {

// A contact as a later release of the program stores it: one more field.
struct LaterCustomer {
    Customer known;
    const char* country;
    static dbFieldDescriptor* dbDescribeComponents()
    {
        using dbSelf = LaterCustomer;
        return dbJoinRing({Customer::dbDescribeComponents(), DB_FIELD(country)});
    }
};

}  // namespace

// The later release has stored a contact with its new field beside a backup
// this release made. The start tells the user which file in which folder a
// newer version made, offers no backup in its place, ends, and leaves every
// file of the folder byte for byte.
TEST_F(ContactsTest, ADatabaseOfANewerVersionIsLeftAsItIs)
{
    addCustomer(1, "Known");
    ASSERT_FALSE(archiveBytes().empty());  // the first start's daily backup
    stop();
    // the later release's open, in a process of its own: its descriptors stay there
    const pid_t later = fork();
    if (later == 0) {
        Customer::dbDescriptor.fixedDatabase = true;  // this release's contact is not the later one's
        dbTableDescriptor customer("Customer", nullptr, sizeof(LaterCustomer), alignof(LaterCustomer),
                                   &LaterCustomer::dbDescribeComponents);
        // which converts this release's contacts
        const dbFormerLayout earlier("Customer", sizeof(Customer), alignof(Customer), &Customer::dbDescribeComponents);
        LaterCustomer contact {};
        contact.known.id = 2;
        contact.known.name = "Later";
        contact.country = "Iceland";
        const bool stored =
            database.open("Quillet") && database.insertRecord(&customer, nullptr, &contact) && database.commit();
        database.close();
        _exit(stored ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(later, &status, 0), later);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::map<QString, QByteArray> before = filesIn(".");
    dialogs.shown.clear();
    dialogs.AnswerQuestion(true);  // an offer would be taken
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList {"The database file Quillet.zrv in the folder " + QDir::currentPath() +
                                               " was made by a newer version of the program. This version cannot "
                                               "open it and has left it unchanged. Please use the newer version."});
    EXPECT_TRUE(dialogs.Questions().isEmpty());
    EXPECT_TRUE(filesIn(".") == before) << "a file of the folder changed";
    dialogs.questions.clear();

    // an archive of that file, restored here, is refused for what it is, not as damaged
    TBackupFile archiver;
    ASSERT_TRUE(archiver.Backup({QDir::currentPath() + "/Quillet.zrv"}, "later.zbf"));
    const RestoreResult restored = TBackupForm().restoreDatabase("later.zbf");
    EXPECT_EQ(restored.outcome, RestoreResult::NewerVersion);
    EXPECT_EQ(restored.text(), "The backup later.zbf could not be restored: the database in it was made by a newer "
                               "version of the program.");
    EXPECT_TRUE(filesIn(".", {"*.zrv", "*.restore"}) == filesIn(".", {"*.zrv"})) << "the copy was left behind";
    EXPECT_EQ(fileBytes("Quillet.zrv"), before.at("Quillet.zrv"));
}

namespace {

// The tables of the program.
const std::vector<dbTableDescriptor*> kTables {&Config::dbDescriptor,        &Customer::dbDescriptor,
                                               &EnvelopeSetup::dbDescriptor, &Category::dbDescriptor,
                                               &ChequeSetup::dbDescriptor,   &ReceiptSetup::dbDescriptor,
                                               &MailSetup::dbDescriptor,     &CustomerWidth::dbDescriptor,
                                               &Cheque::dbDescriptor,        &Mail::dbDescriptor};

// The stored layout (Metatable row) of every table of the program, and the
// Metatable's own (no table): where each lies in the file, read while the
// database is open.
std::vector<std::pair<const dbTableDescriptor*, int64_t>> storedLayouts()
{
    std::vector<std::pair<const dbTableDescriptor*, int64_t>> layouts {
        {nullptr, int64_t(database.getPos(dbMetaTableId))}};
    for (const dbTableDescriptor* t : kTables)
        layouts.emplace_back(t, int64_t(database.getPos(t->tableId)));
    return layouts;
}

// What the start says of a broken row list.
const QString kRowsDamagedBox = QString(kDatabaseDamaged) + "\nDatabase file was corrupted: invalid record";

// What the start asks of a file it cannot read, with the backup beside it.
const QString kBackupOffered = "The newest backup that can be read is Quillet0.zbf";

// The only backup of the folder: the open database as it is now.
void backupBeside()
{
    for (const QString& name : QDir(".").entryList({"*.zbf"}))
        QFile::remove(name);
    ASSERT_TRUE(TBackupForm().backupTo(QDir::current().filePath("Quillet0.zbf")));
}

}  // namespace

// A table's stored count of rows past the ids the file has (a high bit set),
// in a database with a backup beside it: the start reserves no room for the
// rows claimed. A count that is still positive is told as damage of that
// table and the start goes on, listing the contacts; a negative one makes the
// file unreadable, and the backup is offered (declined here). Nothing is
// written either way.
TEST_F(DamagedIndexes, ARowCountPastTheIdsIsToldAsDamage)
{
    for (const uint32_t high : {1u << 28, 1u << 29, 1u << 30, 1u << 31, 0xFFFFFFFFu}) {
        SCOPED_TRACE(high);
        startWithContactsAndCheques();
        backupBeside();
        const int64_t count = int64_t(database.getPos(Customer::dbDescriptor.tableId)) + 32;
        stop();
        QByteArray bytes = fileBytes("Quillet.zrv");
        word(bytes, count) |= high;
        writeDatabase(bytes);
        dialogs.shown.clear();
        dialogs.AnswerQuestion(false);
        const bool negative = int32_t(high) < 0;
        ASSERT_EQ(start(), negative ? 1 : -1);
        QCoreApplication::processEvents();
        if (negative) {
            EXPECT_EQ(dialogs.Messages(), QStringList {"Fail to open database."});
            EXPECT_TRUE(dialogs.Questions().value(0).contains(kBackupOffered));
        } else {
            EXPECT_EQ(dialogs.Messages(), QStringList {kRowsDamagedBox});
            EXPECT_EQ(window->StatusText(1), "Total Customer: " + QString::number(kContacts));
        }
        dialogs.questions.clear();
        stop();
        EXPECT_TRUE(fileBytes("Quillet.zrv") == bytes) << "the file changed";
    }
}

// Every value of the lowest byte of the first and of the last row link of
// each stored layout (it reaches the rows of every table, the stored layouts
// and the index objects), and of a higher byte every value that makes the
// link name a stored layout, in a database of contacts and cheques with a
// backup beside it and no password: the start never asks for a password,
// and tells the damage of that table alone and goes on (the column widths
// and the password action read nothing from a damaged list), or offers the
// backup for a file it cannot read (declined here). It writes nothing: with
// the byte put back the file is as before, and so are its rows.
// QUILLET_LINK_VALUES sweeps every n-th value only (the sanitizer build).
TEST_F(DamagedIndexes, EveryValueOfARowLinksLowByteIsToldAndWritesNothing)
{
    const int every = std::max(1, qEnvironmentVariableIntValue("QUILLET_LINK_VALUES"));
    startWithContactsAndCheques();
    backupBeside();
    const auto layouts = storedLayouts();
    database.commit();
    auto widths = [&] {
        std::vector<int> w;
        for (int c = 1; c < window->grid->ColCount(); ++c)
            w.push_back(window->grid->ColWidths(c));
        return w;
    };
    const std::vector<int> soundWidths = widths();  // the start widths, as stored
    stop();
    const QByteArray soundFile = fileBytes("Quillet.zrv");
    for (const auto& [table, at] : layouts) {
        for (const int link : {40, 44}) {
            // every value of the lowest byte; of a higher byte, each value that
            // makes the link name a stored layout (none in this database)
            std::vector<std::pair<int, int>> damages;  // byte of the link, value
            for (int value = 0; value < 256; value += every)
                damages.emplace_back(0, value);
            const uint32_t sound = qFromLittleEndian<uint32_t>(soundFile.constData() + at + link);
            for (const auto& [other, place] : layouts) {
                const oid_t id = other ? other->tableId : dbMetaTableId;
                for (int k = 1; k < 4; ++k)
                    if ((id ^ sound) != 0 && ((id ^ sound) & ~(0xFFu << (8 * k))) == 0)  // in byte k alone
                        damages.emplace_back(k, int(id >> (8 * k) & 0xFF));
            }
            for (const auto& [k, value] : damages) {
                QByteArray bytes = soundFile;
                if (char(value) == bytes[qsizetype(at + link + k)])
                    continue;
                bytes[qsizetype(at + link + k)] = char(value);
                writeDatabase(bytes);
                SCOPED_TRACE(std::string(table ? table->name : "Metatable") + (link == 40 ? " first" : " last") +
                             " row link, byte " + std::to_string(k) + " = " + std::to_string(value));
                dialogs.shown.clear();
                dialogs.questions.clear();
                dialogs.AnswerQuestion(false);
                const int started = start();  // an unscripted login form fails the test
                QCoreApplication::processEvents();
                const QStringList messages = dialogs.Messages();
                if (started == -1) {
                    EXPECT_EQ(messages, QStringList {kRowsDamagedBox});
                    EXPECT_TRUE(dialogs.Questions().isEmpty());
                    for (const dbTableDescriptor* t : kTables)  // a list it leads into keeps its rows
                        EXPECT_EQ(t->rowListBroken, t == table) << t->name;
                    EXPECT_EQ(widths(), soundWidths);  // none read from a damaged list
                    if (table == &Config::dbDescriptor) {  // no password is changed through one either
                        dialogs.shown.clear();
                        window->passwordAction->trigger();
                        QCoreApplication::processEvents();
                        EXPECT_EQ(dialogs.Messages(), QStringList {kRowsDamagedBox});
                    }
                } else {
                    EXPECT_EQ(started, 1);
                    EXPECT_EQ(dialogs.Messages(), QStringList {"Fail to open database."});
                    EXPECT_TRUE(dialogs.Questions().value(0).contains(kBackupOffered));
                }
                stop();
                ASSERT_TRUE(fileBytes("Quillet.zrv") == bytes) << "the file changed";
                if (HasFailure())
                    return;
            }
        }
    }
}

// The program leaves its file marked in use, so the next start recovers it
// first. A last-row link damaged into the middle of its own list is damage
// the start tells; the recovery leaves the row it leads to as it is, and
// with the byte put back every contact is listed again.
TEST_F(DamagedIndexes, ALastRowLinkIntoItsListIsToldAndThenPutBack)
{
    const std::vector<oid_t> contacts = startWithContactsAndCheques();
    const int64_t last = int64_t(database.getPos(Customer::dbDescriptor.tableId)) + 44;
    stop();
    const QByteArray sound = fileBytes("Quillet.zrv");
    // a contact before the last whose id differs from the last one's in the lowest byte only
    const oid_t lastId = qFromLittleEndian<uint32_t>(sound.constData() + last);
    const auto inside =
        std::find_if(contacts.begin(), contacts.end() - 2, [&](oid_t c) { return c >> 8 == lastId >> 8; });
    ASSERT_NE(inside, contacts.end() - 2);
    for (const bool putBack : {false, true}) {
        SCOPED_TRACE(putBack ? "put back" : "damaged");
        QByteArray bytes = putBack ? fileBytes("Quillet.zrv") : sound;
        bytes[qsizetype(last)] = putBack ? sound[qsizetype(last)] : char(*inside & 0xFF);
        bytes[8] = 1;  // in use, as the program leaves it
        writeDatabase(bytes);
        dialogs.shown.clear();
        ASSERT_EQ(start(), -1);
        QCoreApplication::processEvents();
        EXPECT_EQ(dialogs.Messages(), putBack ? QStringList {} : QStringList {kRowsDamagedBox});
        if (putBack) {
            EXPECT_EQ(customers().size(), std::size_t(kContacts));
        }
        stop();
    }
}

namespace {

// A stored layout's count of rows and its first and last row, the three
// words one damaged disk block changes together.
struct Triple {
    uint32_t count, first, last;
};
constexpr std::size_t kTripleWords[3] = {offsetof(dbTable, nRows), offsetof(dbTable, firstRow),
                                         offsetof(dbTable, lastRow)};

Triple tripleAt(const QByteArray& db, int64_t layout)
{
    uint32_t w[3];
    for (int k = 0; k < 3; ++k)
        w[k] = qFromLittleEndian<uint32_t>(db.constData() + layout + kTripleWords[k]);
    return {w[0], w[1], w[2]};
}

QByteArray withTriple(QByteArray db, int64_t layout, const Triple& t)
{
    for (int k = 0; k < 3; ++k)
        qToLittleEndian((&t.count)[k], db.data() + layout + kTripleWords[k]);
    return db;
}

// The rows of every table as stored (their links aside), sorted, by table.
std::map<std::string, std::vector<QByteArray>> everyRow()
{
    std::map<std::string, std::vector<QByteArray>> rows;
    for (dbTableDescriptor* t : kTables) {
        std::vector<QByteArray>& list = rows[t->name];
        dbAnyCursor all(*t, dbCursorViewOnly, nullptr);
        if (database.select(&all) && all.gotoFirst()) {
            do {
                const byte* row = database.get(all.getOid());
                const auto size = qFromLittleEndian<uint32_t>(row);
                list.emplace_back(reinterpret_cast<const char*>(row) + sizeof(dbRecord), qsizetype(size - sizeof(dbRecord)));
            } while (all.gotoNext());
        }
        std::sort(list.begin(), list.end());
    }
    database.commit();
    return rows;
}

// The program on a working day's database whose stored layouts one damaged
// disk block has changed.
class DamagedLists : public DamagedIndexes {
protected:
    // A login asked for is answered with the working day's password and
    // counted in `logins`; other forms are the scripted steps.
    void SetUp() override
    {
        DamagedIndexes::SetUp();
        SetModalRunner([this](QDialog& form) {
            auto* login = dynamic_cast<TLoginForm*>(&form);
            if (login == nullptr)
                return runStep(form);
            ++logins;
            form.show();
            login->password->setText(password);
            login->login->click();
            return form.isVisible() ? 0 : form.result();
        });
    }

    // A working day's database, every table holding rows: the contacts,
    // cheques and category of startWithContactsAndCheques, two more
    // categories, a layout of each kind, the mail setup and two letters;
    // with `password` the start asks for it. Its daily backup is due, a
    // backup of it lies beside it, and it is closed; `sound`, `layouts`,
    // `ids`, `archives` and `rowsAfterStart` (the rows after a start on it)
    // tell what it holds.
    void makeWorkingDay(const char* password = "")
    {
        this->password = password;
        startWithContactsAndCheques();
        addCategory("Clients");
        addCategory("Suppliers");
        auto named = [](auto layout, const char* name) {
            layout.name = name;
            insert(layout);
        };
        named(ChequeSetup(), "Bank");
        named(EnvelopeSetup(), "DL");
        named(ReceiptSetup(), "Receipt");
        named(Mail(), "Thanks");
        named(Mail(), "Reminder");
        MailSetup setup;
        setup.smtpServer = "mail.example.org";
        insert(setup);
        zarvoCursor<Config> config(dbCursorForUpdate);
        ASSERT_EQ(config.select(), 1u);
        config->password = password;
        config.update();
        ASSERT_TRUE(database.commit());
        makeDailyBackupDue(7);
        backupBeside();
        layouts = storedLayouts();
        for (const dbTableDescriptor* t : kTables)
            ids[t] = t->tableId;
        stop();
        sound = fileBytes("Quillet.zrv");
        archives = archiveBytes();
        ASSERT_EQ(startOn(sound), -1);  // what a sound start leaves: its daily backup's settings
        rowsAfterStart = everyRow();
        stop();
        keepOnlyTheWorkingDaysBackups();
    }

    // The stored layout of a table (the Metatable's for null).
    int64_t layoutOf(const dbTableDescriptor* table) const
    {
        return std::find_if(layouts.begin(), layouts.end(), [&](const auto& l) { return l.first == table; })->second;
    }

    // Starts on the file `bytes`, answering No to an offer of the backup.
    // -1 when the window came up, else the exit code.
    int startOn(const QByteArray& bytes)
    {
        writeDatabase(bytes);
        dialogs.shown.clear();
        dialogs.questions.clear();
        logins = 0;
        const int started = start();
        QCoreApplication::processEvents();  // the damage box comes after the operation
        return started;
    }

    // On a start that told damage (nothing else, no question, the password
    // asked only while the settings can be read), with `table` marked
    // damaged when given: a new row of the table is refused and Setup
    // comes up with its Restore (without the settings it cannot read);
    // then, as the user may, a column is widened, the first category of the
    // contact editor's list renamed and the window closed. Nothing is
    // archived. Returns what could be stored.
    struct Stored {
        bool widths, category;
    };
    Stored useTheToldStart(dbTableDescriptor* table)
    {
        EXPECT_EQ(dialogs.Messages(), QStringList {kRowsDamagedBox});
        EXPECT_TRUE(dialogs.Questions().isEmpty());
        const bool settings = !Config::dbDescriptor.rowListBroken;
        EXPECT_EQ(logins, *password && settings ? 1 : 0);
        if (table) {
            EXPECT_TRUE(table->rowListBroken) << table->name;
            std::vector<byte> row(table->appSize + 16, 0);
            EXPECT_FALSE(database.insertRecord(table, nullptr, row.data()));
            database.rollback();
        }
        const Stored stored {!CustomerWidth::dbDescriptor.rowListBroken, !Category::dbDescriptor.rowListBroken};
        steps.push_back([settings](QDialog& form) {
            auto& setup = dynamic_cast<TBackupForm&>(form);
            EXPECT_TRUE(setup.restore->isEnabled());
            EXPECT_EQ(setup.everyday->isEnabled(), settings);
            setup.done(1);
        });
        window->setupButton->click();
        window->grid->SetColWidths(3, window->grid->ColWidths(3) + 17);
        {
            TMainForm editor(window.get());
            editor.category->setCurrentIndex(0);
            dialogs.AnswerText(QString("Renamed"));
            editor.updateCategoryClick();
        }
        QCoreApplication::processEvents();  // the boxes of what was refused
        dialogs.AnswerQuestion(true);       // "Exit the system?"
        steps.push_back([](QDialog& about) { about.done(1); });
        EXPECT_TRUE(window->close());
        stop();
        EXPECT_TRUE(archiveBytes() == archives) << "a damaged file was archived";
        return stored;
    }

    // Starts on `bytes`, the damaged bytes put back, and ends the run: the
    // password is asked, nothing is told, the daily backup is made, and
    // every table holds the rows a start on the sound file leaves, but for
    // the widths and the categories, which the program may have written
    // meanwhile. Returns the rows.
    std::map<std::string, std::vector<QByteArray>> expectPutBack(const QByteArray& bytes)
    {
        std::map<std::string, std::vector<QByteArray>> now;
        if (startOn(bytes) != -1) {
            ADD_FAILURE() << "with the bytes put back the start ended";
            return now;
        }
        EXPECT_EQ(logins, *password ? 1 : 0);
        EXPECT_EQ(dialogs.Messages(), QStringList {}) << "with the bytes put back";
        EXPECT_FALSE(archiveBytes() == archives) << "no daily backup with the bytes put back";
        now = everyRow();
        auto kept = now;
        for (const char* name : {"CustomerWidth", "Category"})
            kept[name] = rowsAfterStart[name];
        EXPECT_TRUE(kept == rowsAfterStart) << "a row was lost or changed";
        stop();
        keepOnlyTheWorkingDaysBackups();
        return now;
    }

    // Each of `tables` with its count, first and last row as `damage` gives
    // them: `runs` starts on the file tell it and are used as the user may
    // (useTheToldStart), and with the three words put back every row is
    // there again (expectPutBack).
    void expectToldAndPutBack(const std::vector<std::pair<dbTableDescriptor*, Triple>>& damage, int runs)
    {
        for (const auto& [table, triple] : damage) {
            SCOPED_TRACE(std::string(table->name) + " set to " + std::to_string(triple.count) + ", " +
                         std::to_string(triple.first) + ", " + std::to_string(triple.last));
            QByteArray bytes = withTriple(sound, layoutOf(table), triple);
            for (int run = 0; run < runs; ++run) {
                ASSERT_EQ(startOn(bytes), -1);
                useTheToldStart(table);
                bytes = fileBytes("Quillet.zrv");
            }
            expectPutBack(withTriple(bytes, layoutOf(table), tripleAt(sound, layoutOf(table))));
        }
    }

    // The backups of the folder are those of the working day again.
    void keepOnlyTheWorkingDaysBackups()
    {
        for (const auto& [name, bytes] : archiveBytes())
            if (!archives.count(name))
                QFile::remove(name);
    }

    QByteArray sound;
    std::vector<std::pair<const dbTableDescriptor*, int64_t>> layouts;
    std::map<const dbTableDescriptor*, oid_t> ids {{nullptr, dbMetaTableId}};  // of the stored layouts
    std::map<std::string, std::vector<QByteArray>> rowsAfterStart;
    std::map<QString, QByteArray> archives;
    const char* password = "";
    int logins = 0;  // in the last start
};

}  // namespace

// Each stored layout's count of rows and first and last row (the Metatable's
// own among them), set together to (0, 0, 0), to those of every other
// layout and to the ids of the layouts themselves, and a zeroed block of 512
// bytes and of 4 KiB at every offset at which it changes a layout: the
// start on such a file, with a backup beside it and the daily backup due,
// tells the damage (or refuses the file and offers the backup, declined),
// never says "No record was lost.", archives nothing, writes nothing unless
// the user does, and then nothing through a damaged list. With the damaged
// bytes put back, the next start tells nothing and every table holds its
// rows again. QUILLET_LINK_VALUES takes every n-th case only.
TEST_F(DamagedLists, EveryDamagedLayoutIsToldWritesThroughNoListAndIsPutBack)
{
    const int every = std::max(1, qEnvironmentVariableIntValue("QUILLET_LINK_VALUES"));
    makeWorkingDay();
    struct Case {
        std::string what;
        QByteArray bytes;               // what the bytes from..to become
        int64_t from, to;
        dbTableDescriptor* table;       // whose triple it is
    };
    std::vector<Case> cases;
    std::vector<std::pair<std::string, Triple>> values {{"(0, 0, 0)", {0, 0, 0}}};
    for (const auto& [table, at] : layouts) {
        const std::string name = table ? table->name : "Metatable";
        values.emplace_back(name + "'s triple", tripleAt(sound, at));
        values.emplace_back(name + "'s layout id", Triple {1, ids[table], ids[table]});
    }
    for (const auto& [table, at] : layouts)
        for (const auto& [what, value] : values) {
            const QByteArray bytes = withTriple(sound, at, value);
            const qsizetype from = qsizetype(at + int64_t(kTripleWords[0]));
            const qsizetype to = qsizetype(at + int64_t(sizeof(dbTable)));
            if (bytes != sound)
                cases.push_back({std::string(table ? table->name : "Metatable") + " set to " + what,
                                 bytes.mid(from, to - from), from, to, const_cast<dbTableDescriptor*>(table)});
        }
    const std::size_t triples = cases.size();
    // A block slides over every offset at which it changes a layout, in
    // steps of 32 bytes: the file's words are of 4 or 8 bytes, so that each
    // block starts and ends between two words; steps of 8, every edge of an
    // 8-byte word, found no more and took 3.5 times as long. One that zeroes
    // only a layout's zeros, and unused bytes beside it, damages none. The
    // first and last byte a block changes tell the file it makes: one case
    // each.
    auto changed = [&](int64_t from, int64_t to) {  // where the non-zero bytes of from..to start and end
        const char* s = sound.constData();
        const auto nonzero = [](char c) { return c != 0; };
        const char* first = std::find_if(s + from, s + to, nonzero);
        const char* last = std::find_if(std::reverse_iterator(s + to), std::reverse_iterator(first), nonzero).base();
        return std::pair(first - s, last - s);
    };
    constexpr int64_t kStep = 32;
    std::set<std::pair<int64_t, int64_t>> seen;
    for (const int64_t size : {512, 4096})
        for (const auto& [table, at] : layouts) {
            const int64_t end = at + qFromLittleEndian<uint32_t>(sound.constData() + at);
            for (int64_t b = std::max<int64_t>(0, at - size + kStep) / kStep * kStep; b < end; b += kStep) {
                const int64_t to = std::min<int64_t>(b + size, sound.size());
                const auto [first, last] = changed(std::max(b, at), std::min(to, end));
                if (first < last && seen.insert(changed(b, to)).second)
                    cases.push_back({"a zeroed block of " + std::to_string(size) + " bytes at " + std::to_string(b),
                                     QByteArray(qsizetype(to - b), 0), b, to, nullptr});
            }
        }
    int told[2] = {}, refused[2] = {};  // of the triples, of the blocks
    for (std::size_t k = 0; k < cases.size(); k += std::size_t(every)) {
        const Case& c = cases[k];
        SCOPED_TRACE(c.what);
        QByteArray damaged = sound;
        damaged.replace(qsizetype(c.from), qsizetype(c.to - c.from), c.bytes);
        Stored stored {false, false};
        if (startOn(damaged) == -1) {
            told[k >= triples] += 1;
            stored = useTheToldStart(c.table);
        } else {
            refused[k >= triples] += 1;
            EXPECT_EQ(dialogs.Messages(), QStringList {"Fail to open database."});
            EXPECT_TRUE(dialogs.Questions().value(0).contains(kBackupOffered));
            stop();
        }
        QByteArray bytes = fileBytes("Quillet.zrv");
        if (!stored.widths && !stored.category) {
            EXPECT_TRUE(bytes == damaged) << "the file changed";
        }
        bytes.replace(qsizetype(c.from), qsizetype(c.to - c.from), sound.mid(qsizetype(c.from), qsizetype(c.to - c.from)));
        auto now = expectPutBack(bytes);
        EXPECT_EQ(now["CustomerWidth"] != rowsAfterStart["CustomerWidth"], stored.widths);
        EXPECT_EQ(now["Category"] != rowsAfterStart["Category"], stored.category);
        if (HasFailure())
            return;
    }
    std::cout << cases.size() << " cases: " << triples << " triples (the start told " << told[0] << ", refused "
              << refused[0] << "), " << cases.size() - triples << " blocks (told " << told[1] << ", refused "
              << refused[1] << ")\n";
}

// Lists damaged as one disk block may damage them, each told by the start
// and then put back:
// - every table's list emptied (count, first and last row 0), in a database
//   with a password, told by two starts: for the contacts, the cheques and
//   the settings the start no longer rebuilds their indexes from nothing and
//   says "No record was lost.", nor makes a first settings record without
//   the password; for a table without an index it no longer says nothing.
// - one table's list taking over another table's rows (its count and first
//   and last row set to the other's), with a password: the start tells it
//   whichever table the check meets first, and neither the column widths
//   stored at close nor a category renamed is written into the other's rows;
//   the other table is told as damaged too when the list reaches its rows as
//   whole as its own does (no password is then asked when they are the
//   settings).
// - a table's list leading onto the stored table layouts (set to the
//   Metatable's own, or to one layout), without a password: neither a
//   category renamed nor the column widths stored at close are written into
//   a layout, so that the next start tells the same damage instead of "Fail
//   to open database.", and offers no backup.
TEST_F(DamagedLists, AnEmptiedOrRedirectedListIsToldWritesIntoNoOtherRowsAndComesBack)
{
    makeWorkingDay("secret");
    std::vector<std::pair<dbTableDescriptor*, Triple>> emptied;
    for (dbTableDescriptor* t : kTables)
        emptied.push_back({t, {}});
    expectToldAndPutBack(emptied, 2);
    auto of = [&](const dbTableDescriptor& t) { return tripleAt(sound, layoutOf(&t)); };
    expectToldAndPutBack({{&CustomerWidth::dbDescriptor, of(Customer::dbDescriptor)},
                          {&CustomerWidth::dbDescriptor, of(ChequeSetup::dbDescriptor)},
                          {&CustomerWidth::dbDescriptor, of(Config::dbDescriptor)},
                          {&Category::dbDescriptor, of(MailSetup::dbDescriptor)},
                          {&Category::dbDescriptor, of(Config::dbDescriptor)}},
                         1);

    makeWorkingDay();
    const oid_t config = ids[&Config::dbDescriptor];
    const Triple meta = tripleAt(sound, layoutOf(nullptr)), settings {1, config, config};
    expectToldAndPutBack({{&Category::dbDescriptor, meta},
                          {&CustomerWidth::dbDescriptor, meta},
                          {&Category::dbDescriptor, settings},
                          {&CustomerWidth::dbDescriptor, settings}},
                         2);
}
