// The data model: the stored layout of the ten record classes, their indexes
// and table order, and a round trip of every field through a program exit
// that leaves the database unclosed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <QTemporaryDir>

#include "appcore/schema.h"

namespace fs = std::filesystem;

namespace {

struct Expected {
    const char* field;
    int offset;
};

void expectOffsets(dbTableDescriptor& table, std::initializer_list<Expected> fields)
{
    for (const Expected& e : fields) {
        dbFieldDescriptor* fd = table.findLong(e.field);
        ASSERT_NE(fd, nullptr) << table.name << "." << e.field;
        EXPECT_EQ(fd->dbsOffs, e.offset) << table.name << "." << e.field;
    }
}

TEST(Schema, StoredLayout)
{
    EXPECT_EQ(Config::dbDescriptor.fixedSize, 32u);
    EXPECT_EQ(Customer::dbDescriptor.fixedSize, 132u);
    EXPECT_EQ(Category::dbDescriptor.fixedSize, 20u);
    EXPECT_EQ(EnvelopeSetup::dbDescriptor.fixedSize, 188u);
    EXPECT_EQ(ChequeSetup::dbDescriptor.fixedSize, 187u);
    EXPECT_EQ(ReceiptSetup::dbDescriptor.fixedSize, 164u);
    EXPECT_EQ(MailSetup::dbDescriptor.fixedSize, 92u);
    EXPECT_EQ(CustomerWidth::dbDescriptor.fixedSize, 42u);
    EXPECT_EQ(Cheque::dbDescriptor.fixedSize, 60u);
    EXPECT_EQ(Mail::dbDescriptor.fixedSize, 64u);

    expectOffsets(Config::dbDescriptor,
                  {{"version", 12}, {"password", 16}, {"lastBackupDate", 24}, {"lastBackupDate.stamp", 24},
                   {"totalBackup", 31}});
    expectOffsets(Customer::dbDescriptor, {{"id", 12},
                                           {"name", 16},
                                           {"category", 88},
                                           {"mobile", 92},
                                           {"card", 100},
                                           {"amount", 108},
                                           {"receiptSetup", 120},
                                           {"website", 124}});
    expectOffsets(ChequeSetup::dbDescriptor, {{"pageWidth", 12}, {"nameFont", 28}, {"name", 144}, {"separateLen", 154}});
    expectOffsets(EnvelopeSetup::dbDescriptor, {{"imageLeft", 132}, {"image1", 152}, {"tail", 180}});
    expectOffsets(Cheque::dbDescriptor, {{"amount", 32}, {"transDate", 48}, {"transDate.stamp", 48}, {"customerName", 52}});
    expectOffsets(CustomerWidth::dbDescriptor, {{"reverseSort", 34}, {"amount", 40}});

    EXPECT_EQ(Customer::dbDescriptor.nColumns, 18u);
    EXPECT_EQ(ChequeSetup::dbDescriptor.nColumns, 45u);
    EXPECT_EQ(EnvelopeSetup::dbDescriptor.nColumns, 38u);
    EXPECT_EQ(ReceiptSetup::dbDescriptor.nColumns, 36u);
}

TEST(Schema, IndexedFields)
{
    std::map<std::string, int> indexed;
    for (dbTableDescriptor* t : {&Config::dbDescriptor, &Customer::dbDescriptor, &Category::dbDescriptor,
                                 &EnvelopeSetup::dbDescriptor, &ChequeSetup::dbDescriptor,
                                 &ReceiptSetup::dbDescriptor, &MailSetup::dbDescriptor,
                                 &CustomerWidth::dbDescriptor, &Cheque::dbDescriptor, &Mail::dbDescriptor}) {
        for (dbFieldDescriptor* fd = t->hashedFields; fd != nullptr; fd = fd->nextHashedField) {
            indexed[std::string(t->name) + "." + fd->longName] |= dbHashed;
        }
        for (dbFieldDescriptor* fd = t->indexedFields; fd != nullptr; fd = fd->nextIndexedField) {
            indexed[std::string(t->name) + "." + fd->longName] |= dbIndexed;
        }
    }
    std::map<std::string, int> expected = {{"Customer.id", dbHashed},
                                           {"Customer.name", dbIndexed},
                                           {"Config.lastBackupDate.stamp", dbHashed | dbIndexed},
                                           {"Cheque.transDate.stamp", dbHashed | dbIndexed}};
    EXPECT_EQ(indexed, expected);
}

// ---------------------------------------------------------------------------
// Round trip. Every field of every class gets a value that follows from the
// class and the field's number; the same rule then checks what comes back.

struct Fill {
    std::deque<std::string> texts;  // keeps the texts of the records written
    std::map<const dbTableDescriptor*, oid_t> rows;  // first row written per table
    // How often each kind of value was written, by kind.
    std::map<std::string, int> kinds;
};

// The value rules.
std::string textFor(const dbTableDescriptor& t, const dbFieldDescriptor& fd)
{
    if (fd.fieldNo % 5 == 1) {
        return "";  // written as null or "" (both come back as "")
    }
    std::string s = std::string(t.name) + "." + fd.longName + " \xE8\xB3\x87\xE6\x96\x99 'q' \"d\"";
    if (fd.fieldNo % 7 == 3) {
        s.append(700, 'L');  // longer than a first text chunk
    }
    return s;
}

std::size_t arraySizeFor(const dbFieldDescriptor& fd)
{
    std::string name = fd.name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, "Font") == 0) {
        return fd.fieldNo % 3 == 0 ? 0 : 60;
    }
    return fd.fieldNo % 2 == 0 ? 100 * 1024 : 0;  // a picture, or none
}

unsigned char byteAt(const dbFieldDescriptor& fd, std::size_t i)
{
    return static_cast<unsigned char>((i * 131 + fd.fieldNo * 7) ^ (i >> 8));
}

std::int64_t numberFor(const dbFieldDescriptor& fd)
{
    return (fd.fieldNo * 37 + 11) * (fd.fieldNo % 2 == 0 ? -1 : 1);
}

bool refIsNull(const dbFieldDescriptor& fd)
{
    return std::strcmp(fd.name, "receiptSetup") == 0 || std::strcmp(fd.name, "setup") == 0;
}

template <class V>
V& at(void* record, const dbFieldDescriptor& fd)
{
    return *reinterpret_cast<V*>(static_cast<char*>(record) + fd.appOffs);
}

void fillRecord(dbTableDescriptor& t, void* record, Fill& fill)
{
    dbFieldDescriptor* fd = t.columns;
    do {
        std::int64_t n = numberFor(*fd);
        switch (fd->appType) {
        case dbField::tpBool: at<bool>(record, *fd) = fd->fieldNo % 2 == 1; break;
        case dbField::tpInt1: at<int1>(record, *fd) = int1(n % 100); break;
        case dbField::tpInt2: at<int2>(record, *fd) = int2(n * 13); break;
        case dbField::tpInt4: at<int4>(record, *fd) = int4(n * 100003); break;
        case dbField::tpReal4: at<real4>(record, *fd) = real4(n) + 0.25f; break;
        case dbField::tpReal8: at<real8>(record, *fd) = real8(n) * 1e6 + 0.01; break;
        case dbField::tpString: {
            std::string s = textFor(t, *fd);
            fill.kinds[s.empty() ? (fd->fieldNo % 2 == 0 ? "null text" : "empty text") : "text"]++;
            if (s.empty() && fd->fieldNo % 2 == 0) {
                at<const char*>(record, *fd) = nullptr;
            } else {
                fill.texts.push_back(s);
                at<const char*>(record, *fd) = fill.texts.back().c_str();
            }
            break;
        }
        case dbField::tpReference:
            at<dbAnyReference>(record, *fd).oid = refIsNull(*fd) ? 0 : fill.rows.at(fd->refTable);
            fill.kinds[refIsNull(*fd) ? "null reference" : "reference"]++;
            break;
        case dbField::tpArray: {
            dbArray<int1>& bytes = at<dbArray<int1>>(record, *fd);
            std::size_t size = arraySizeFor(*fd);
            std::vector<int1> data(size);
            for (std::size_t i = 0; i < size; i++) {
                data[i] = int1(byteAt(*fd, i));
            }
            bytes.setData(data.data(), size);
            fill.kinds[size == 0 ? "empty array" : size == 60 ? "font" : "picture"]++;
            break;
        }
        case dbField::tpStructure:  // a date
            at<dbDateTime>(record, *fd).stamp = fd->fieldNo % 2 == 0 ? -1 : 1700000000 + fd->fieldNo;
            fill.kinds[fd->fieldNo % 2 == 0 ? "date -1" : "date"]++;
            break;
        default: ADD_FAILURE() << "unexpected type of " << fd->longName;
        }
    } while ((fd = fd->next) != t.columns);
}

void checkRecord(dbTableDescriptor& t, void* record, const std::map<const dbTableDescriptor*, oid_t>& rows)
{
    dbFieldDescriptor* fd = t.columns;
    do {
        std::int64_t n = numberFor(*fd);
        SCOPED_TRACE(std::string(t.name) + "." + fd->longName);
        switch (fd->appType) {
        case dbField::tpBool: EXPECT_EQ(at<bool>(record, *fd), fd->fieldNo % 2 == 1); break;
        case dbField::tpInt1: EXPECT_EQ(at<int1>(record, *fd), int1(n % 100)); break;
        case dbField::tpInt2: EXPECT_EQ(at<int2>(record, *fd), int2(n * 13)); break;
        case dbField::tpInt4: EXPECT_EQ(at<int4>(record, *fd), int4(n * 100003)); break;
        case dbField::tpReal4: EXPECT_EQ(at<real4>(record, *fd), real4(n) + 0.25f); break;
        case dbField::tpReal8: EXPECT_EQ(at<real8>(record, *fd), real8(n) * 1e6 + 0.01); break;
        case dbField::tpString: {
            const char* s = at<const char*>(record, *fd);
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(std::string(s), textFor(t, *fd));
            break;
        }
        case dbField::tpReference:
            EXPECT_EQ(at<dbAnyReference>(record, *fd).oid, refIsNull(*fd) ? 0 : rows.at(fd->refTable));
            break;
        case dbField::tpArray: {
            dbArray<int1>& bytes = at<dbArray<int1>>(record, *fd);
            std::size_t size = arraySizeFor(*fd);
            ASSERT_EQ(bytes.length(), size);
            for (std::size_t i = 0; i < size; i++) {
                ASSERT_EQ(static_cast<unsigned char>(bytes[i]), byteAt(*fd, i)) << "byte " << i;
            }
            break;
        }
        case dbField::tpStructure:
            EXPECT_EQ(at<dbDateTime>(record, *fd).stamp, fd->fieldNo % 2 == 0 ? -1 : 1700000000 + fd->fieldNo);
            break;
        default: ADD_FAILURE() << "unexpected type";
        }
    } while ((fd = fd->next) != t.columns);
}

template <class T>
void writeOne(Fill& fill)
{
    T record;
    fillRecord(T::dbDescriptor, &record, fill);
    dbReference<T> ref = insert(record);
    if (ref.isNull()) {
        std::fprintf(stderr, "insert into %s failed\n", T::dbDescriptor.name);
        std::exit(2);
    }
    fill.rows[&T::dbDescriptor] = ref.getOid();
}

template <class T>
void readOne(std::map<const dbTableDescriptor*, oid_t>& rows)
{
    dbCursor<T> cursor;
    ASSERT_EQ(cursor.select(), 1u) << T::dbDescriptor.name;
    rows[&T::dbDescriptor] = cursor.getOid();
}

template <class T>
void checkOne(const std::map<const dbTableDescriptor*, oid_t>& rows)
{
    dbCursor<T> cursor;
    ASSERT_EQ(cursor.select(), 1u) << T::dbDescriptor.name;
    checkRecord(T::dbDescriptor, cursor.get(), rows);
}

// The writer: runs in a child process that ends like the program does, by
// leaving main with the database open.
void writeEveryClassAndExit()
{
    if (!database.open("Quillet")) {
        std::exit(1);
    }
    Fill fill;
    // Referenced classes first.
    writeOne<Category>(fill);
    writeOne<EnvelopeSetup>(fill);
    writeOne<ChequeSetup>(fill);
    writeOne<ReceiptSetup>(fill);
    writeOne<Customer>(fill);
    writeOne<Config>(fill);
    writeOne<MailSetup>(fill);
    writeOne<CustomerWidth>(fill);
    writeOne<Cheque>(fill);
    writeOne<Mail>(fill);
    if (!database.commit()) {
        std::exit(3);
    }
    for (const char* kind : {"text", "null text", "empty text", "reference", "null reference", "empty array", "font",
                             "picture", "date", "date -1"}) {
        if (fill.kinds[kind] == 0) {
            std::fprintf(stderr, "no %s written\n", kind);
            std::exit(4);
        }
    }
    std::exit(0);
}

class SchemaFile : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        old = fs::current_path();
        fs::current_path(dir.path().toStdString());
    }
    void TearDown() override
    {
        database.close();
        fs::current_path(old);
    }
    QTemporaryDir dir;
    fs::path old;
};

TEST_F(SchemaFile, EveryFieldSurvivesAnExitWithoutClose)
{
    EXPECT_EXIT(writeEveryClassAndExit(), ::testing::ExitedWithCode(0), "");
    ASSERT_TRUE(fs::exists("Quillet.zrv"));
    ASSERT_TRUE(database.open("Quillet"));

    std::map<const dbTableDescriptor*, oid_t> rows;
    readOne<Category>(rows);
    readOne<EnvelopeSetup>(rows);
    readOne<ChequeSetup>(rows);
    readOne<ReceiptSetup>(rows);
    readOne<Customer>(rows);
    checkOne<Config>(rows);
    checkOne<Customer>(rows);
    checkOne<Category>(rows);
    checkOne<EnvelopeSetup>(rows);
    checkOne<ChequeSetup>(rows);
    checkOne<ReceiptSetup>(rows);
    checkOne<MailSetup>(rows);
    checkOne<CustomerWidth>(rows);
    checkOne<Cheque>(rows);
    checkOne<Mail>(rows);

    // The same through the typed members.
    dbCursor<Customer> customer;
    ASSERT_EQ(customer.select(), 1u);
    EXPECT_EQ(customer->card.length(), arraySizeFor(*Customer::dbDescriptor.findLong("card")));
    EXPECT_EQ(customer->category.getOid(), rows[&Category::dbDescriptor]);
    EXPECT_TRUE(customer->receiptSetup.isNull());
    EXPECT_STREQ(customer->name, textFor(Customer::dbDescriptor, *Customer::dbDescriptor.findLong("name")).c_str());
    dbCursor<ChequeSetup> layout;
    ASSERT_EQ(layout.select(), 1u);
    EXPECT_EQ(layout->nameFont.length(), arraySizeFor(*ChequeSetup::dbDescriptor.findLong("nameFont")));
    EXPECT_EQ(layout->image.length(), arraySizeFor(*ChequeSetup::dbDescriptor.findLong("image")));
    database.commit();
}

TEST_F(SchemaFile, TablesAreStoredInDescriptorOrder)
{
    ASSERT_TRUE(database.open("Quillet"));
    std::vector<std::string> names;
    const dbTable* meta = reinterpret_cast<const dbTable*>(database.get(dbMetaTableId));
    for (oid_t id = meta->firstRow; id != 0;) {
        const dbTable* t = reinterpret_cast<const dbTable*>(database.get(id));
        names.push_back(reinterpret_cast<const char*>(t) + t->name.offs);
        id = t->hdr.next;
    }
    database.commit();
    EXPECT_EQ(names, (std::vector<std::string>{"Config", "Customer", "EnvelopeSetup", "Category", "ChequeSetup",
                                               "ReceiptSetup", "MailSetup", "CustomerWidth", "Cheque", "Mail"}));
    // The indexes asked for exist.
    EXPECT_NE(Customer::dbDescriptor.findLong("id")->hashTable, 0u);
    EXPECT_NE(Customer::dbDescriptor.findLong("name")->tTree, 0u);
    EXPECT_NE(Cheque::dbDescriptor.findLong("transDate.stamp")->hashTable, 0u);
    EXPECT_NE(Cheque::dbDescriptor.findLong("transDate.stamp")->tTree, 0u);
    EXPECT_EQ(Customer::dbDescriptor.findLong("email")->tTree, 0u);
}

}  // namespace
