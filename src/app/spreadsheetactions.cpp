#include "app/spreadsheetactions.h"

#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "appcore/namelist.h"
#include "app/editor.h"
#include "app/mainlist.h"
#include "appcore/zrvexcel.h"
#include "grid/listgrid.h"
#include "platform/busycursor.h"
#include "platform/dialogs.h"

#include <QComboBox>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <optional>

namespace {

using platform::BusyCursor;

constexpr int kColumns = 12;
const char* const kHeaders[kColumns] = {"Name", "Address1", "Address2", "Address3", "Contact", "Tel",
                                        "Mobile", "Fax", "Remark", "Email", "Website", "Cheque Amount"};

// The text fields of columns 1 to 11, in column order.
const char* Customer::*const kTextFields[kColumns - 1] = {
    &Customer::name,   &Customer::address1, &Customer::address2, &Customer::address3,
    &Customer::person, &Customer::telephone, &Customer::mobile,  &Customer::fax,
    &Customer::remark, &Customer::email,    &Customer::website};


QString fromStored(const char* s) { return QString::fromUtf8(s ? s : ""); }

// The amount column of a sheet. Cells that hold numbers are those numbers,
// as the user typed them (ReadNumberCell); cells that hold texts are read as
// the texts of one file (FileAmounts). A CSV file's texts are written in its
// locale: where they do not show their decimal mark, a file split by ";"
// comes from a locale that writes a decimal comma ("1.234,56"), every other
// one from one that writes a point, as the texts of other files are taken.
class SheetAmounts {
public:
    SheetAmounts(const std::vector<QVariant>& cells, char csvDelimiter)
        : texts_(textsOf(cells), csvDelimiter == ';' ? ',' : '.')
    {
    }
    enum Reading { Blank, Number, NoNumber, Undecided, OtherMark };
    Reading Read(const QVariant& cell, WrittenNumber& out) const
    {
        if (isNumber(cell))
            return ReadNumberCell(cell.toDouble(), out) ? Number : Blank;
        const std::string text = TZrvExcel::cellText(cell).trimmed().toStdString();
        if (text.empty())
            return Blank;
        switch (texts_.Read(text, out)) {
        case FileAmounts::Reading::Number:
            return Number;
        case FileAmounts::Reading::Undecided:
            return Undecided;
        case FileAmounts::Reading::OtherMark:
            return OtherMark;
        case FileAmounts::Reading::NoNumber:
            break;
        }
        return NoNumber;
    }
    // The decimal mark the texts are read with.
    char DecimalMark() const { return texts_.DecimalMark(); }

private:
    static bool isNumber(const QVariant& cell)
    {
        const int type = cell.typeId();
        return type == QMetaType::Double || type == QMetaType::Float || type == QMetaType::Int ||
               type == QMetaType::LongLong;
    }
    static std::vector<std::string> textsOf(const std::vector<QVariant>& cells)
    {
        std::vector<std::string> texts;
        for (const QVariant& cell : cells)
            if (!isNumber(cell))
                texts.push_back(TZrvExcel::cellText(cell).trimmed().toStdString());
        return texts;
    }

    FileAmounts texts_;
};

// "1 customer" or "3 customers": a count and its noun, one or many.
QString countOf(qsizetype count, const char* one, const char* many)
{
    return QString("%1 %2").arg(QString::number(count), count == 1 ? one : many);
}

// "has" or "have", as the count goes.
const char* hasOrHave(qsizetype count) { return count == 1 ? "has" : "have"; }

// The imported amounts that came in as 0, by why, with the names of their
// customers, for the closing message.
class ZeroedAmounts {
public:
    // `decimalMark`: the mark the file's amount texts are read with.
    explicit ZeroedAmounts(char decimalMark) : decimalMark_(decimalMark) {}
    enum Reason { Unread, OtherMark, Undecided, BeyondTheCent, BelowZero, TooLarge, kReasons };
    // A customer whose amount came in as 0, with the ID it was given.
    void note(Reason reason, const Customer& customer)
    {
        names_[reason].append('"' + QString::fromUtf8(customer.name) + '"');
        ids_[reason].append(customer.id);
    }
    void note(FileAmountFit fit, const Customer& customer)
    {
        switch (fit) {
        case FileAmountFit::Kept: return;
        case FileAmountFit::BelowZero: return note(BelowZero, customer);
        case FileAmountFit::BeyondTheCent: return note(BeyondTheCent, customer);
        case FileAmountFit::TooLarge: return note(TooLarge, customer);
        }
    }
    // One line for each reason met: how many, why, and the first customers by name.
    QString summary() const
    {
        QString text;
        for (int reason = 0; reason < kReasons; ++reason) {
            const QStringList& names = names_[reason];
            if (names.isEmpty())
                continue;
            text += '\n' + why(Reason(reason)) +
                    (names.size() == 1 ? "; that customer was imported with amount 0: "
                                       : "; those customers were imported with amount 0: ") +
                    ListOfNames(names, kNamesTold) + '.';
            if (reason == TooLarge)
                text += ' ' + QString::fromStdString(KeptAmountRule());
        }
        return text;
    }
    // Every customer the summary leaves out, by reason, each with its ID, in
    // the order of the file; empty when the summary names them all.
    QString details() const
    {
        if (std::none_of(std::begin(names_), std::end(names_),
                         [](const QStringList& names) { return names.size() > kNamesTold; }))
            return {};
        QStringList lines;
        for (int reason = 0; reason < kReasons; ++reason) {
            if (names_[reason].isEmpty())
                continue;
            if (!lines.isEmpty())
                lines << QString();
            lines << why(Reason(reason)) + ':';
            for (qsizetype i = 0; i < names_[reason].size(); ++i)
                lines << QString("ID %1: %2").arg(ids_[reason][i]).arg(names_[reason][i]);
        }
        return lines.join('\n');
    }

private:
    // How many amounts, and why they came in as 0.
    QString why(Reason reason) const
    {
        struct Why {
            const char *one, *many;
        };
        static const Why whys[kReasons] = {
            {"amount could not be read as a number", "amounts could not be read as numbers"},
            {"amount uses %1 where the rest of the file uses %2", "amounts use %1 where the rest of the file uses %2"},
            {"amount could be read two ways (such as 1.234, which may be 1234 or 1.234)",
             "amounts could be read two ways (such as 1.234, which may be 1234 or 1.234)"},
            {"amount has more than two decimals, so it cannot be kept to the cent",
             "amounts have more than two decimals, so they cannot be kept to the cent"},
            {"amount is below zero, and a customer's default amount is at least 0",
             "amounts are below zero, and a customer's default amount is at least 0"},
            {"amount cannot be kept to the cent as a customer's default amount",
             "amounts cannot be kept to the cent as a customer's default amount"},
        };
        const char* const point = "a decimal point (as in 12.50)";
        const char* const comma = "a decimal comma (as in 12,50)";
        const QString line = countOf(names_[reason].size(), whys[reason].one, whys[reason].many);
        return reason == OtherMark ? line.arg(decimalMark_ == '.' ? comma : point, decimalMark_ == '.' ? point : comma)
                                   : line;
    }

    static constexpr qsizetype kNamesTold = 3;
    char decimalMark_;
    QStringList names_[kReasons];
    QList<int4> ids_[kReasons];
};

} // namespace

void exportActionExecute(TMainListForm& window)
{
    grid::RIvuZuvuzoZuvu& grid = *window.grid;
    const int selected = grid.GetRowSelectCount();
    if (selected < 1) {
        ShowInfo("Please use the mouse to select the customer first.", &window);
        return;
    }
    const QString file = PickSheetToSave(&window);
    if (file.isEmpty())
        return;
    // both questions come before anything is written; the old file stays
    // until the new one is complete
    if (QFileInfo::exists(file) && !AskYesNo("Filename exist, replace it?", &window))
        return;
    if (!AskYesNo(QString("Export %1 to %2?").arg(countOf(selected, "customer", "customers"), file), &window))
        return;

    int written = 0;
    bool saved = false;
    {
        BusyCursor busy;
        TZrvExcel book{QString()};
        book.setVisible(false);
        for (int c = 0; c < kColumns; ++c)
            book.setCell(c + 1, 1, QString(kHeaders[c]));
        dbCursor<Customer> customer;
        for (int r = 1; r < grid.RowCount(); ++r) {
            if (!grid.GetRowSelect(r) || !customer.at(dbReference<Customer>(window.RowOid(r))))
                continue;
            const int sheetRow = written + 2;
            for (int c = 0; c < kColumns - 1; ++c)
                book.setCell(c + 1, sheetRow, fromStored(customer.get()->*kTextFields[c]));
            // the amount as the editor and the list show it (12.1, not 12.100000381...)
            book.setCell(kColumns, sheetRow, RoundToCent(customer->amount));
            ++written;
        }
        database.commit();  // ends the read
        saved = book.save(file);
        book.quit();
    }
    if (!saved) {
        ShowInfo("Fail to export to " + file + ".", &window);
        return;
    }
    if (AskYesNo(QString("%1 %2 been exported to %3 successfully, open this file now?")
                     .arg(countOf(written, "customer", "customers"), hasOrHave(written), file),
                 &window))
        OpenWrittenFileOrSay(file, &window);
}

void ImportButtonClick(TMainListForm& window)
{
    const int filter = window.category->currentIndex();
    if (filter < 1) {
        ShowInfo("Select the category first.", &window);
        window.category->setFocus();
        return;
    }
    const QString file =
        platform::PickFile(SheetFileRequest(platform::FileRequest::Open, "Excel File (*.xls *.xlsx)", "xls"), &window);
    if (file.isEmpty())
        return;

    std::optional<BusyCursor> busy(std::in_place);
    auto say = [&](const QString& message) {
        busy.reset();
        ShowInfo(message, &window);
    };
    TZrvExcel book(file);
    book.setVisible(false);
    if (!QFileInfo(file).isFile() || !book.readError().isEmpty())
        return say("Cannot read " + file + ".");

    const std::vector<CategoryEntry> categories = CategoriesByName();
    if (filter - 1 >= static_cast<int>(categories.size())) {  // the list is out of date
        database.rollback();
        return say("Select the category first.");
    }
    const dbReference<Category> target = categories[static_cast<size_t>(filter - 1)].ref;

    qint64 nextId = 1;
    {
        dbCursor<Customer> highest;
        dbQuery byIdDown("order by id desc");
        if (highest.select(byIdDown) > 0)
            nextId = qint64(highest->id) + 1;
        if (highest.selectFailed())
            nextId = 0;  // unknown: nothing may be imported
    }

    auto fail = [&] {
        database.rollback();
        say("Fail to import from " + file + ".");
    };
    int imported = 0;
    // the rows run to the first one without a name
    std::vector<QVariant> amountCells;
    for (int row = 2; !TZrvExcel::cellText(book.getCell(1, row)).trimmed().isEmpty(); ++row)
        amountCells.push_back(book.getCell(kColumns, row));
    const SheetAmounts amounts(amountCells, book.csvDelimiter());
    ZeroedAmounts zeroed(amounts.DecimalMark());
    zarvoBuffer texts;
    for (int row = 2; row - 2 < static_cast<int>(amountCells.size()); ++row) {
        if (nextId < 1 || nextId > INT_MAX)
            return fail();
        texts.clear();
        Customer record;
        record.id = static_cast<int4>(nextId);
        for (int c = 0; c < kColumns - 1; ++c)
            record.*kTextFields[c] = texts.put(TZrvExcel::cellText(book.getCell(c + 1, row)).toStdString());
        // a blank gives 0; so does an amount that is no number (an exponent
        // is allowed, "inf" and "nan" are no numbers), one written with the
        // other decimal mark than the file's, one that cannot be decided,
        // and a number the contact cannot keep as it stands, each of them
        // told with the customer's name
        real4 held = 0;
        WrittenNumber amount;
        switch (amounts.Read(amountCells[static_cast<size_t>(row - 2)], amount)) {
        case SheetAmounts::Blank:
            break;
        case SheetAmounts::NoNumber:
            zeroed.note(ZeroedAmounts::Unread, record);
            break;
        case SheetAmounts::Undecided:
            zeroed.note(ZeroedAmounts::Undecided, record);
            break;
        case SheetAmounts::OtherMark:
            zeroed.note(ZeroedAmounts::OtherMark, record);
            break;
        case SheetAmounts::Number:
            zeroed.note(FitFileAmount(amount, held), record);
            break;
        }
        record.amount = held;
        record.category = target;
        if (insert(record).isNull())
            return fail();
        ++nextId;
        ++imported;
    }
    const bool committed = database.commit();
    window.RefreshGrid();
    if (!committed)
        return say("Fail to import from " + file + ".");
    busy.reset();
    ShowInfo(QString("%1 %2 been imported from %3.")
                 .arg(countOf(imported, "customer", "customers"), hasOrHave(imported), file) +
                 zeroed.summary(),
             zeroed.details(), &window);
}
