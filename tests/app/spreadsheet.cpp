// Spreadsheet export of the selected contacts and import of a sheet into the
// chosen category, with workbooks written and read by other programs
// (Python's xlwt, openpyxl and csv modules) as well as by our own reader.
#include "contacts_fixture.h"
#include "folder_override.h"

#include "app/spreadsheetactions.h"
#include "appcore/dialogs.h"
#include "appcore/zrvexcel.h"
#include "engine/file.h"
#include "platform/shell.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QStringList kHeaders = {"Name", "Address1", "Address2", "Address3", "Contact", "Tel",
                              "Mobile", "Fax", "Remark", "Email", "Website", "Cheque Amount"};

// The rows of the import fixtures, as a Python literal: a header, four
// contacts (a numeric telephone, a blank, a non-numeric and a "nan" amount),
// a row with an empty first column, and a row after it that must not come in.
const char* const kFixtureRows = R"PY(
rows = [
  ["Name","Address1","Address2","Address3","Contact","Tel","Mobile","Fax","Remark","Email","Website","Cheque Amount"],
  ["Acme, Ltd.","1 Main St","Floor 2",None,"Ann",12345678,"0912 345",None,'said "hi"',"acme@example.org","www.acme.example",99.5],
  ["Beta",None,None,None,"Bob","555",None,None,None,None,None,None],
  ["Gamma \u4f3d\u746a",None,None,None,None,None,None,None,"two\nlines",None,None,"abc"],
  ["Delta",None,None,None,None,None,None,None,None,None,None,"nan"],
  ["   ","orphan"],
  ["After",None,None,None,None,None,None,None,None,None,None,5],
]
)PY";

QByteArray python(const QString& script, const QStringList& args = {})
{
    QProcess p;
    p.start("/usr/bin/python3", QStringList{"-c", script} + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        ADD_FAILURE() << "python failed: " << p.readAllStandardError().toStdString();
        return {};
    }
    return p.readAllStandardOutput();
}

void writeFixture(const QString& kind, const QString& path)
{
    QString script = kFixtureRows;
    if (kind == "xls")
        script += R"PY(
import sys, xlwt
wb = xlwt.Workbook(); ws = wb.add_sheet("Contacts")
for r, row in enumerate(rows):
    for c, v in enumerate(row):
        if v is not None: ws.write(r, c, v)
wb.save(sys.argv[1])
)PY";
    else if (kind == "xlsx")
        script += R"PY(
import sys, openpyxl
wb = openpyxl.Workbook(); ws = wb.active
for r, row in enumerate(rows):
    for c, v in enumerate(row):
        if v is not None: ws.cell(row=r + 1, column=c + 1, value=v)
wb.save(sys.argv[1])
)PY";
    else  // "csv", "semicolon" (with a decimal comma, as LibreOffice writes it in German) or "tab"
        script += R"PY(
import sys, csv
kind = sys.argv[2]
delimiter = {"csv": ",", "semicolon": ";", "tab": "\t"}[kind]
def field(v):
    if v is None: return ""
    return str(v).replace(".", ",") if kind == "semicolon" and isinstance(v, float) else v
with open(sys.argv[1], "w", newline="", encoding="utf-8") as f:
    csv.writer(f, delimiter=delimiter).writerows([[field(v) for v in row] for row in rows])
)PY";
    python(script, {path, kind});
    ASSERT_TRUE(QFile::exists(path));
}

// Fails every growth of the database file while it lives.
class NoRoomToGrow : public dbFileObserver {
public:
    NoRoomToGrow() { dbFile::setObserver(this); }
    ~NoRoomToGrow() override { dbFile::setObserver(nullptr); }
    int beforeGrow(const dbFile&, uint64_t) override { return ENOSPC; }
};

class Spreadsheet : public ContactsTest {
protected:
    QString path(const char* name) const { return QString::fromStdString((dir / name).string()); }

    // Three contacts to export and one that stays out.
    void storeContacts()
    {
        shops = addCategory("Shops");
        banks = addCategory("Banks");
        Customer c;
        c.id = 7;
        c.name = "Acme, Ltd.";
        c.address1 = "1 Main St";
        c.telephone = "12345678";
        c.remark = "line one\nline \"two\"";
        c.email = "acme@example.org";
        c.amount = 12.1f;
        c.category = dbReference<Category>(shops);
        a = insert(c).getOid();
        Customer d;
        d.id = 3;
        d.name = "Beta";
        d.person = "Bob";
        d.website = "www.beta.example";
        b = insert(d).getOid();
        Customer e;
        e.id = 5;
        e.name = "Gamma \xe4\xbc\xbd";
        e.amount = 1234567;
        g = insert(e).getOid();
        Customer f;
        f.id = 9;
        f.name = "Not exported";
        insert(f);
        ASSERT_TRUE(database.commit());
        RebuildCategoryFilter(*window, -1);
        window->RefreshGrid();
    }

    void exportTo(const QString& file)
    {
        selectOnly({a, b, g});
        dialogs.AnswerFile(file);
        if (QFile::exists(file))
            dialogs.AnswerQuestion(true);  // replace it?
        dialogs.AnswerQuestion(true);      // export N customers?
        dialogs.AnswerQuestion(false);     // open the file now?
        exportActionExecute(*window);
    }

    // The row order of the grid decides the sheet order.
    std::vector<QStringList> exportedRowsInGridOrder() const
    {
        std::vector<QStringList> rows;
        for (int r = 1; r < window->grid->RowCount(); ++r) {
            const oid_t oid = window->RowOid(r);
            if (oid == a)
                rows.push_back({"Acme, Ltd.", "1 Main St", "", "", "", "12345678", "", "",
                                "line one\nline \"two\"", "acme@example.org", "", "12.1"});
            else if (oid == b)
                rows.push_back({"Beta", "", "", "", "Bob", "", "", "", "", "", "www.beta.example", "0"});
            else if (oid == g)
                rows.push_back({QString::fromUtf8("Gamma \xe4\xbc\xbd"), "", "", "", "", "", "", "", "", "", "",
                                "1234567"});
        }
        return rows;
    }

    // Reads the sheet back with our reader, as texts.
    static std::vector<QStringList> readBack(const QString& file, int rows)
    {
        TZrvExcel book(file);
        EXPECT_TRUE(book.readError().isEmpty()) << book.readError().toStdString();
        std::vector<QStringList> out;
        for (int r = 1; r <= rows; ++r) {
            QStringList row;
            for (int c = 1; c <= 12; ++c)
                row << TZrvExcel::cellText(book.getCell(c, r));
            out.push_back(row);
        }
        return out;
    }

    void importFrom(const QString& file)
    {
        dialogs.AnswerFile(file);
        ImportButtonClick(*window);
    }

    oid_t shops = 0, banks = 0, a = 0, b = 0, g = 0;
};

} // namespace

TEST_F(Spreadsheet, ExportWritesHeadersTheSelectedContactsAndANumericAmount)
{
    storeContacts();
    platform::CapturingShell shell;
    const QString file = path("contacts.xlsx");
    selectOnly({a, b, g});
    dialogs.AnswerFile(file);
    dialogs.AnswerQuestion(true);
    dialogs.AnswerQuestion(true);
    exportActionExecute(*window);
    EXPECT_EQ(dialogs.Questions(),
              (QStringList{"Export 3 customers to " + file + "?",
                           "3 customers have been exported to " + file + " successfully, open this file now?"}));
    ASSERT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(shell.launched[0].toLocalFile(), file);
    ASSERT_FALSE(dialogs.fileRequests.empty());
    EXPECT_EQ(dialogs.fileRequests[0].mode, platform::FileRequest::Save);

    // our reader
    const auto rows = readBack(file, 5);
    EXPECT_EQ(rows[0], kHeaders);
    const auto expected = exportedRowsInGridOrder();
    ASSERT_EQ(expected.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rows[i + 1], expected[i]);
    EXPECT_EQ(rows[4], QStringList(QList<QString>(12, QString()))) << "nothing past the third contact";
    TZrvExcel book(file);
    EXPECT_EQ(book.getCell(12, 2).typeId(), QMetaType::Double);
    for (int r = 2; r <= 4; ++r)
        if (book.getCell(1, r) == QVariant(QString("Acme, Ltd."))) {
            EXPECT_EQ(book.getCell(6, r), QVariant(QString("12345678"))) << "a telephone stays text";
        }

    // openpyxl: the same values, with column 12 as numbers
    const QByteArray json = python(R"PY(
import sys, json, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
print(json.dumps([[None if v is None else [type(v).__name__, v] for v in row] for row in ws.iter_rows(values_only=True)]))
)PY",
                                   {file});
    const QJsonArray sheet = QJsonDocument::fromJson(json).array();
    ASSERT_EQ(sheet.size(), 4);
    for (int c = 0; c < 12; ++c)
        EXPECT_EQ(sheet[0].toArray()[c].toArray()[1].toString(), kHeaders[c]);
    for (int r = 1; r <= 3; ++r) {
        const QJsonArray row = sheet[r].toArray();
        EXPECT_EQ(row[0].toArray()[1].toString(), expected[static_cast<size_t>(r - 1)][0]);
        const QString type = row[11].toArray()[0].toString();
        EXPECT_TRUE(type == "int" || type == "float") << type.toStdString();
        EXPECT_DOUBLE_EQ(row[11].toArray()[1].toDouble(), expected[static_cast<size_t>(r - 1)][11].toDouble());
    }
}

TEST_F(Spreadsheet, CsvExportReadsBackTheSame)
{
    storeContacts();
    const QString file = path("contacts.csv");
    exportTo(file);
    const auto rows = readBack(file, 4);
    EXPECT_EQ(rows[0], kHeaders);
    const auto expected = exportedRowsInGridOrder();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rows[i + 1], expected[i]);
    // Python's csv module reads the same fields
    const QByteArray json = python(R"PY(
import sys, csv, json
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    print(json.dumps(list(csv.reader(f))))
)PY",
                                   {file});
    const QJsonArray sheet = QJsonDocument::fromJson(json).array();
    ASSERT_EQ(sheet.size(), 4);
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 12; ++c)
            EXPECT_EQ(sheet[i + 1].toArray()[c].toString(), expected[static_cast<size_t>(i)][c]);
}

TEST_F(Spreadsheet, ExportSaysWhenNoProgramOpensTheFile)
{
    storeContacts();
    platform::CapturingShell shell;
    shell.result = false;
    const QString file = path("contacts.xlsx");
    selectOnly({a});
    dialogs.AnswerFile(file);
    dialogs.AnswerQuestion(true);  // export?
    dialogs.AnswerQuestion(true);  // open the file now?
    exportActionExecute(*window);
    EXPECT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList{"No program could be started to open " + file + "."});
}

TEST_F(Spreadsheet, ExportNeedsASelection)
{
    storeContacts();
    window->grid->ClearRowSelect();
    exportActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Please use the mouse to select the customer first."});
    EXPECT_TRUE(dialogs.fileRequests.empty());
}

TEST_F(Spreadsheet, OldFileStaysOnNoOrAFailedWrite)
{
    storeContacts();
    const QString file = path("keep.xlsx");
    const QByteArray old = "old contents, not a workbook";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    // No to "replace it?"
    selectOnly({a});
    dialogs.AnswerFile(file);
    dialogs.AnswerQuestion(false);
    exportActionExecute(*window);
    EXPECT_EQ(fileBytes(file), old);
    // Yes, then No to "Export 1 customer to ...?"
    dialogs.shown.clear();
    dialogs.AnswerFile(file);
    dialogs.AnswerQuestion(true);
    dialogs.AnswerQuestion(false);
    exportActionExecute(*window);
    EXPECT_EQ(dialogs.Questions(), (QStringList{"Filename exist, replace it?", "Export 1 customer to " + file + "?"}));
    EXPECT_EQ(fileBytes(file), old);

    // a folder that cannot be written
    ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
    {
        WithoutFolderOverride asUser;
        dialogs.shown.clear();
        dialogs.AnswerFile(file);
        dialogs.AnswerQuestion(true);
        dialogs.AnswerQuestion(true);
        exportActionExecute(*window);
    }
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Fail to export to " + file + "."});
    EXPECT_EQ(fileBytes(file), old);
    EXPECT_EQ(QDir(QString::fromStdString(dir.string())).entryList(QDir::Files | QDir::Hidden).filter("keep").size(), 1)
        << "no temporary file is left behind";

    // and a good export replaces it
    dialogs.shown.clear();
    exportTo(file);
    EXPECT_NE(fileBytes(file), old);
    EXPECT_EQ(readBack(file, 1)[0], kHeaders);
}

TEST_F(Spreadsheet, ImportsFixturesOfEveryKindIntoTheChosenCategory)
{
    storeContacts();  // IDs 3, 5, 7, 9
    int nextId = 10;
    for (const char* kind : {"xls", "xlsx", "csv", "semicolon", "tab"}) {
        SCOPED_TRACE(kind);
        const QString suffix = QString(kind).startsWith("xls") ? kind : "csv";
        const QString file = path(("fixture-" + QString(kind) + "." + suffix).toUtf8().constData());
        writeFixture(kind, file);
        window->category->setCurrentIndex(1);  // "Banks"
        ASSERT_EQ(window->category->currentText(), "Banks");
        dialogs.shown.clear();
        const std::size_t before = customers().size();
        importFrom(file);
        EXPECT_EQ(dialogs.Messages(),
                  QStringList{"4 customers have been imported from " + file +
                              ".\n2 amounts could not be read as numbers; those customers were imported with "
                              "amount 0: \"Gamma \xe4\xbc\xbd\xe7\x91\xaa\" and \"Delta\"."});
        const auto stored = customers();
        ASSERT_EQ(stored.size(), before + 4);
        std::vector<StoredCustomer> added;
        for (const StoredCustomer& s : stored)
            if (s.id >= nextId)
                added.push_back(s);
        ASSERT_EQ(added.size(), 4u);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(added[static_cast<size_t>(i)].id, nextId + i);
            EXPECT_EQ(added[static_cast<size_t>(i)].category, banks);
        }
        EXPECT_EQ(added[0].name, "Acme, Ltd.");
        EXPECT_EQ(added[0].telephone, "12345678");
        EXPECT_EQ(added[0].remark, "said \"hi\"");
        EXPECT_EQ(added[0].address1, "1 Main St");
        EXPECT_EQ(added[0].person, "Ann");
        EXPECT_FLOAT_EQ(added[0].amount, 99.5f);
        EXPECT_EQ(added[1].telephone, "555");
        EXPECT_EQ(added[1].amount, 0.0f) << "blank amount";
        EXPECT_EQ(added[2].name, "Gamma \xe4\xbc\xbd\xe7\x91\xaa");
        EXPECT_EQ(added[2].remark, "two\nlines");
        EXPECT_EQ(added[2].amount, 0.0f) << "non-numeric amount";
        EXPECT_EQ(added[3].amount, 0.0f) << "\"nan\" is no number";
        nextId += 4;
        // the list was run again
        EXPECT_GT(rowOf(added[0].oid), 0);
    }
}

TEST_F(Spreadsheet, ACsvFromAWindowsProgramImportsInItsCodePage)
{
    storeContacts();  // IDs 3, 5, 7, 9
    window->category->setCurrentIndex(1);
    const QString file = path("legacy.csv");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(kHeaders.join(',').toLatin1() + "\r\nM\xFCller,Stra\xDF" "e\r\n") > 0);
    f.close();
    importFrom(file);
    const auto stored = customers();
    ASSERT_EQ(stored.back().id, 10);
    EXPECT_EQ(stored.back().name + "/" + stored.back().address1, "M\xC3\xBCller/Stra\xC3\x9F" "e");
}

// Amounts a contact cannot keep as they stand come in as 0 and are told by
// why, each with its customers named, the first three and how many more:
// in a file that plainly writes a decimal point, 19.999 is 19.999. More than
// two decimals are told at every size (4999.999 is not 5000.00).
TEST_F(Spreadsheet, AmountsTheContactCannotKeepComeInAsZeroAndAreNamed)
{
    storeContacts();
    window->category->setCurrentIndex(1);
    const QString file = path("amounts.csv");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kHeaders.join(',').toUtf8() + "\n"
                "Large,,,,,,,,,,,1234567.89\n"
                "Below zero,,,,,,,,,,,-3\n"
                "Kept,,,,,,,,,,,12.5\n"
                "\"Acme, Ltd.\",,,,,,,,,,,19.999\n"
                "Thousands,,,,,,,,,,,\"1,234.50\"\n"
                "B,,,,,,,,,,,1.2345\nC,,,,,,,,,,,0.001\nD,,,,,,,,,,,2.675\nE,,,,,,,,,,,3.14159\n"
                "F,,,,,,,,,,,4999.999\nG,,,,,,,,,,,12345.678\nH,,,,,,,,,,,10000.001\nI,,,,,,,,,,,999.999\n"
                "J,,,,,,,,,,,1048576.001\n");
    }
    importFrom(file);
    EXPECT_EQ(dialogs.Messages(),
              (QStringList{"14 customers have been imported from " + file +
                           ".\n10 amounts have more than two decimals, so they cannot be kept to the cent; those "
                           "customers were imported with amount 0: \"Acme, Ltd.\", \"B\", \"C\" and 7 more."
                           "\n1 amount is below zero, and a customer's default amount is at least 0; that customer "
                           "was imported with amount 0: \"Below zero\"."
                           "\n1 amount cannot be kept to the cent as a customer's default amount; that customer "
                           "was imported with amount 0: \"Large\". Every amount up to 131,071.99 is kept to the "
                           "cent, above that only some are."}));
    std::vector<StoredCustomer> added;
    for (const StoredCustomer& s : customers())
        if (s.id >= 10)
            added.push_back(s);
    ASSERT_EQ(added.size(), 14u);
    for (const size_t zeroed : {0, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13})
        EXPECT_EQ(added[zeroed].amount, 0.0f) << added[zeroed].name;
    EXPECT_EQ(added[2].amount, 12.5f);
    EXPECT_EQ(added[4].amount, 1234.5f);

    // exported again, the kept amount is the number the editor shows
    const QString out = path("kept.xlsx");
    selectOnly({added[2].oid});
    dialogs.AnswerFile(out);
    dialogs.AnswerQuestion(true);
    dialogs.AnswerQuestion(false);
    exportActionExecute(*window);
    TZrvExcel book(out);
    EXPECT_EQ(book.getCell(1, 2), QVariant(QString("Kept")));
    EXPECT_EQ(book.getCell(12, 2), QVariant(12.5));
}

// When the message names only the first customers of a reason, its Details
// list every customer whose amount came in as 0, by reason, in the order of
// the file, with the ID each was given, for the user to read, select and copy.
TEST_F(Spreadsheet, TheZeroedAmountsAreAllListedInTheMessagesDetails)
{
    storeContacts();  // IDs up to 9
    window->category->setCurrentIndex(1);
    const QString file = path("comma.csv");
    QByteArray bytes = kHeaders.join(',').toUtf8() + "\n" + "Kept,,,,,,,,,,,12.50\n";
    QStringList listed{"200 amounts use a decimal comma (as in 12,50) where the rest of the file uses a decimal "
                       "point (as in 12.50):"};
    for (int i = 0; i < 200; ++i) {
        bytes += "Blank " + QByteArray::number(i) + ",,,,,,,,,,,\n";  // blanks are 0 too, and not listed
        bytes += "Comma " + QByteArray::number(i) + ",,,,,,,,,,,\"" + QByteArray::number(i) + ",50\"\n";
        listed << QString("ID %1: \"Comma %2\"").arg(12 + 2 * i).arg(i);
    }
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }
    struct FormsAnswering : FormDialogs {
        QString file;
        QString PickFile(const platform::FileRequest&, QWidget*) override { return file; }
    } forms;
    forms.file = file;
    platform::DialogService* scripted = platform::SetDialogs(&forms);
    steps.push_back([&listed](QDialog& f) {
        auto& box = dynamic_cast<TYesNoForm&>(f);
        EXPECT_TRUE(box.msg->accessibleName().endsWith("\"Comma 0\", \"Comma 1\", \"Comma 2\" and 197 more."));
        ASSERT_NE(box.details, nullptr);
        EXPECT_EQ(box.details->toPlainText(), listed.join('\n'));
        EXPECT_TRUE(box.details->isReadOnly());
        EXPECT_TRUE(box.details->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        EXPECT_EQ(box.details->accessibleName(), "Details");
        EXPECT_TRUE(QRect(QPoint(0, 0), box.size()).contains(box.details->geometry()));
        box.YesButton->click();
    });
    ImportButtonClick(*window);
    platform::SetDialogs(scripted);
    EXPECT_EQ(formsShown, 1);
}

// A file's amounts tell its decimal mark where they show one (a comma or a
// point followed by one or two digits at the end, after the other mark or
// after a whole part that starts with a zero; or the other mark seen twice);
// where they show none, or both, its delimiter tells: split by ";", a
// decimal comma and "." between thousands; split by "," or a tab, a decimal
// point and "," between thousands. A space, a no-break space or a narrow one
// may stand between thousands too. One mark followed by three digits sets
// thousands apart, unless the file shows that mark as its decimal mark, when
// it is the decimal mark, or shows both, when it cannot be decided; a zero
// never starts a group of thousands. Text cells of a workbook follow the
// same rule; its number cells are the numbers the user typed. What cannot be
// read or decided, what is written with the other decimal mark than the
// file is read with, and what has more than two decimals or is below zero,
// comes in as 0 and is told, with the customers named.
TEST_F(Spreadsheet, AmountsAreReadInTheLocaleTheFileShows)
{
    storeContacts();  // IDs 3, 5, 7, 9
    window->category->setCurrentIndex(1);
    const QString imported = "; those customers were imported with amount 0: ";
    const QString importedOne = "; that customer was imported with amount 0: ";
    struct Amount {
        const char* field;  // as it stands in the file; in a workbook "n:" and a number cell's Python value
        float stored;
    };
    const struct Case {
        const char* name;
        char delimiter;  // of a CSV file
        std::vector<Amount> amounts;
        QString told;  // after the count of customers
    } cases[] = {
        {"semicolon.csv", ';', {{"12,50", 12.5f}, {"1.234,56", 1234.56f}, {"1.234", 0.0f}, {"-0,00", 0.0f},
                                {"1 234,50", 1234.5f}, {"1\u00a0234,50", 1234.5f}, {"1\u202f234", 1234.0f},
                                {"12.50", 0.0f}, {"1.2345,6", 0.0f}, {"12,5,0", 0.0f}, {"1 23,5", 0.0f},
                                {"1.234 567,5", 0.0f}},
         "\n4 amounts could not be read as numbers" + imported + "\"Row 8\", \"Row 9\", \"Row 10\" and 1 more." +
             "\n1 amount uses a decimal point (as in 12.50) where the rest of the file uses a decimal comma (as in "
             "12,50)" + importedOne + "\"Row 7\"." +
             "\n1 amount could be read two ways (such as 1.234, which may be 1234 or 1.234)" + importedOne +
             "\"Row 2\"."},
        {"semicolon-point.csv", ';', {{"12.50", 12.5f}, {"1 234.5", 1234.5f}, {"1,234", 1234.0f}}, ""},
        {"semicolon-open.csv", ';', {{"1.234", 1234.0f}, {"1,234", 1234.0f}, {"7", 7.0f}}, ""},
        {"semicolon-zero.csv", ';', {{"0,500", 0.5f}, {"1.234", 1234.0f}}, ""},
        {"comma.csv", ',', {{"12.50", 12.5f}, {"1,234.56", 1234.56f}, {"12,50", 0.0f}, {"7,25", 0.0f}},
         "\n2 amounts use a decimal comma (as in 12,50) where the rest of the file uses a decimal point (as in "
         "12.50)" + imported + "\"Row 2\" and \"Row 3\"."},
        {"comma-zero.csv", ',', {{"0.500", 0.5f}, {"01.500", 1.5f}, {"-0.500", 0.0f}, {"1,500", 1500.0f}},
         "\n1 amount is below zero, and a customer's default amount is at least 0" + importedOne + "\"Row 2\"."},
        {"tab.csv", '\t', {{"12.5", 12.5f}, {"1,234.5", 1234.5f}, {"1\u00a0234.5", 1234.5f}, {"12,5,0", 0.0f}},
         "\n1 amount could not be read as a number" + importedOne + "\"Row 3\"."},
        {"tab-comma.csv", '\t', {{"12,50", 12.5f}, {"1.234,5", 1234.5f}, {"1\u202f234,56", 1234.56f},
                                          {"1.234", 1234.0f}}, ""},
        {"tab-whole.csv", '\t', {{"1.234", 1234.0f}, {"2.500", 2500.0f}, {"12", 12.0f}}, ""},
        {"tab-twice.csv", '\t', {{"1.000.000", 1000000.0f}, {"2,50", 2.5f}, {"4,500", 4.5f}}, ""},
        {"tab-point.csv", '\t', {{"12.50", 12.5f}, {"1.234", 0.0f}, {"2,500", 2500.0f}, {"100.000", 100.0f}},
         "\n1 amount has more than two decimals, so it cannot be kept to the cent" + importedOne + "\"Row 1\"."},
        {"mixed.xlsx", 0, {{"12,50", 0.0f}, {"1,234.50", 1234.5f}, {"n:12.34", 12.34f}, {"n:0.1 + 0.2", 0.3f},
                           {"7,25", 0.0f}, {"n:4999.999", 0.0f}, {"n:12345.678", 0.0f}, {"n:10000.001", 0.0f},
                           {"n:999.999", 0.0f}, {"n:1048576.001", 0.0f}, {"n:1000000.5", 1000000.5f}},
         "\n2 amounts use a decimal comma (as in 12,50) where the rest of the file uses a decimal point (as in "
         "12.50)" + imported + "\"Row 0\" and \"Row 4\"." +
             "\n5 amounts have more than two decimals, so they cannot be kept to the cent" + imported +
             "\"Row 5\", \"Row 6\", \"Row 7\" and 2 more."},
        {"number.xls", 0, {{"n:4999.999", 0.0f}},
         "\n1 amount has more than two decimals, so it cannot be kept to the cent" + importedOne + "\"Row 0\"."},
    };
    int nextId = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(c.name);
        if (c.delimiter) {
            QByteArray bytes = kHeaders.join(QChar(c.delimiter)).toUtf8() + "\r\n";
            for (size_t i = 0; i < c.amounts.size(); ++i) {
                const QByteArray field = c.amounts[i].field;
                bytes += "Row " + QByteArray::number(qulonglong(i)) + QByteArray(11, c.delimiter) +
                         (field.contains(c.delimiter) ? '"' + field + '"' : field) + "\r\n";
            }
            QFile f(file);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        } else {
            QStringList fields;
            for (const Amount& a : c.amounts)
                fields << QString::fromUtf8(a.field);
            python(R"PY(
import sys, xlwt, openpyxl
path, fields = sys.argv[1], sys.argv[2:]
xls = path.endswith(".xls")
wb = xlwt.Workbook() if xls else openpyxl.Workbook()
ws = wb.add_sheet("S") if xls else wb.active
put = (lambda r, c, v: ws.write(r, c, v)) if xls else (lambda r, c, v: ws.cell(row=r + 1, column=c + 1, value=v))
put(0, 0, "Name"); put(0, 11, "Cheque Amount")
for i, f in enumerate(fields, 1):
    put(i, 0, "Row %d" % (i - 1))
    put(i, 11, eval(f[2:]) if f.startswith("n:") else f)
wb.save(path)
)PY",
                   QStringList{file} + fields);
        }
        dialogs.shown.clear();
        importFrom(file);
        const QString count = c.amounts.size() == 1 ? QString("1 customer has")
                                                    : QString("%1 customers have").arg(c.amounts.size());
        EXPECT_EQ(dialogs.Messages(), QStringList{count + " been imported from " + file + "." + c.told});
        std::vector<StoredCustomer> added;
        for (const StoredCustomer& s : customers())
            if (s.id >= nextId)
                added.push_back(s);
        ASSERT_EQ(added.size(), c.amounts.size());
        for (size_t i = 0; i < added.size(); ++i) {
            EXPECT_EQ(added[i].name, "Row " + std::to_string(i));
            EXPECT_FLOAT_EQ(added[i].amount, c.amounts[i].stored) << c.amounts[i].field;
        }
        nextId += static_cast<int>(c.amounts.size());
    }
}

// Text cells of an amount are read by the rule of a CSV file's amounts, its
// number cells as the numbers they are.
TEST_F(Spreadsheet, DatesComeInAsTheirTextAndTextAmountsAsTheFileShowsThem)
{
    storeContacts();  // IDs 3, 5, 7, 9
    window->category->setCurrentIndex(1);
    int nextId = 10;
    for (const char* kind : {"xls", "xlsx"}) {
        SCOPED_TRACE(kind);
        const QString file = path((std::string("dates.") + kind).c_str());
        // Name, Address1, Tel, Remark, Cheque Amount
        python(R"PY(
import sys, datetime as dt, xlwt, openpyxl
rows = [[(0, "Dated"), (1, dt.date(2026, 3, 15)), (5, dt.datetime(2026, 3, 15, 14, 30)), (8, dt.time(9, 5)), (11, "1.5e3")],
        [(0, "Infinite"), (11, "inf")], [(0, "Thousands"), (11, "1.234")], [(0, "Number"), (11, 12.5)]]
formats = {1: "YYYY-MM-DD", 5: "YYYY-MM-DD HH:MM", 8: "h:mm:ss"}
wb = xlwt.Workbook() if sys.argv[2] == "xls" else openpyxl.Workbook()
ws = wb.add_sheet("S") if sys.argv[2] == "xls" else wb.active
for r, row in enumerate(rows, 1):
    for c, v in row:
        if sys.argv[2] == "xls": ws.write(r, c, v, xlwt.easyxf(num_format_str=formats.get(c, "General")))
        else: ws.cell(row=r + 1, column=c + 1, value=v)
wb.save(sys.argv[1])
)PY",
               {file, kind});
        importFrom(file);
        std::vector<StoredCustomer> added;
        for (const StoredCustomer& s : customers())
            if (s.id >= nextId)
                added.push_back(s);
        ASSERT_EQ(added.size(), 4u);
        EXPECT_EQ(added[0].address1, "2026-03-15");
        EXPECT_EQ(added[0].telephone, "2026-03-15 14:30:00");
        EXPECT_EQ(added[0].remark, "9:05:00");
        EXPECT_EQ(added[0].amount, 1500.0f);
        EXPECT_EQ(added[1].amount, 0.0f) << "\"inf\" is no number";
        EXPECT_EQ(added[2].amount, 1234.0f) << "a point before three digits sets thousands apart";
        EXPECT_EQ(added[3].amount, 12.5f) << "a number shows no decimal mark";
        nextId += 4;
    }
}

TEST_F(Spreadsheet, ExportNamesItsFileByWhatItWritesAndAsksOnceToReplaceIt)
{
    storeContacts();
    const QString typed = path("x.xls"), file = typed + ".xlsx";
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old");
    }
    selectOnly({a});
    dialogs.AnswerFile(typed);
    dialogs.AnswerQuestion(true);   // replace it?
    dialogs.AnswerQuestion(true);   // export?
    dialogs.AnswerQuestion(false);  // open it?
    exportActionExecute(*window);
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_FALSE(dialogs.fileRequests[0].confirmOverwrite) << "the file dialog does not ask as well";
    EXPECT_EQ(dialogs.Questions(),
              (QStringList{"Filename exist, replace it?", "Export 1 customer to " + file + "?",
                           "1 customer has been exported to " + file + " successfully, open this file now?"}));
    EXPECT_FALSE(QFile::exists(typed));
    EXPECT_EQ(readBack(file, 1)[0], kHeaders);
}

// Import and export open their file dialogs where the user keeps files: the
// documents folder (the home folder while there is none), then the folder of
// the last file picked while it is there; never the program's working
// folder, where it keeps its data.
TEST_F(Spreadsheet, FileDialogsOpenInTheDocumentsFolderThenInTheLastOneUsed)
{
    storeContacts();
    window->category->setCurrentIndex(1);
    selectOnly({a});
    const QString home = path("home"), documents = home + "/Documents", sheets = home + "/sheets";
    ASSERT_TRUE(QDir().mkpath(sheets));
    const UserHome user(home);
    const std::function<void()> import = [this] { ImportButtonClick(*window); };
    const std::function<void()> exportTo = [this] { exportActionExecute(*window); };
    // what is done before, the dialog, the file picked (none: cancelled), where it opens
    const std::tuple<const char*, std::function<void()>, std::function<void()>, QString, QString> steps[] = {
        {"no documents folder", [] {}, import, "", home},
        {"a documents folder", [&] { QDir().mkpath(documents); }, exportTo, "", documents},
        {"a file picked", [] {}, import, sheets + "/none.csv", documents},
        {"after it", [] {}, exportTo, "", sheets},
        {"its folder gone", [&] { QDir(sheets).removeRecursively(); }, import, "", documents},
    };
    for (const auto& [what, before, dialog, picked, opened] : steps) {
        SCOPED_TRACE(what);
        before();
        dialogs.fileRequests.clear();
        if (!picked.isEmpty()) dialogs.AnswerFile(picked);
        dialog();
        ASSERT_EQ(dialogs.fileRequests.size(), 1u);
        EXPECT_EQ(dialogs.fileRequests[0].directory, opened);
    }
}

TEST_F(Spreadsheet, ImportNeedsACategory)
{
    storeContacts();
    window->category->setCurrentIndex(0);
    ImportButtonClick(*window);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Select the category first."});
    EXPECT_TRUE(dialogs.fileRequests.empty());
}

TEST_F(Spreadsheet, UnreadableFilesImportNothing)
{
    storeContacts();
    window->category->setCurrentIndex(1);
    const QString xlsx = path("fixture.xlsx");
    writeFixture("xlsx", xlsx);
    const QByteArray whole = fileBytes(xlsx);
    struct Case {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"truncated.xlsx", whole.left(whole.size() / 2)},
        {"garbage.xls", QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(600, '\x7f')},
        {"text.xlsx", "just some text"},
        {"open.csv", "Name,Tel\n\"unterminated,1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = path(c.name);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.bytes);
        f.close();
        dialogs.shown.clear();
        importFrom(file);
        EXPECT_EQ(dialogs.Messages(), QStringList{"Cannot read " + file + "."});
        EXPECT_EQ(customers().size(), 4u);
    }
}

TEST_F(Spreadsheet, FailureHalfWayRollsTheWholeImportBack)
{
    storeContacts();
    window->category->setCurrentIndex(1);
    // the third contact's remark needs more room than the file may take
    const QString file = path("big.csv");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Name,A1,A2,A3,Contact,Tel,Mobile,Fax,Remark\r\nOne\r\nTwo\r\nThree,,,,,,,,");
        f.write(QByteArray(12 * 1024 * 1024, 'x'));
        f.write("\r\nFour\r\n");
    }
    {
        NoRoomToGrow full;
        importFrom(file);
    }
    EXPECT_EQ(dialogs.Messages(), QStringList{"Fail to import from " + file + "."});
    EXPECT_EQ(customers().size(), 4u);
    // and the database takes the next change
    const QString small = path("small.csv");
    {
        QFile f(small);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("Name\r\nOne\r\n");
    }
    dialogs.shown.clear();
    importFrom(small);
    EXPECT_EQ(dialogs.Messages(), QStringList{"1 customer has been imported from " + small + "."});
    EXPECT_EQ(customers().size(), 5u);
}
