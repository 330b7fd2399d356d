#include "appcore/damagereport.h"

#include "appcore/schema.h"
#include "platform/dialogs.h"

#include <QPointer>
#include <QWidget>
#include <QStringList>
#include <QTimer>

#include <utility>

namespace {

QPointer<QWidget> boxOwner;
QStringList waiting;  // engine texts of the operation running now

void showWaiting()
{
    const QStringList texts = std::exchange(waiting, {});
    if (!texts.isEmpty())
        platform::ShowMessage(QString(kDatabaseDamaged) + "\n" + texts.join("\n"), boxOwner,
                              platform::MessageKind::Error);
}

void heard(const std::string& text)
{
    const QString line = QString::fromUtf8(text.c_str());
    if (waiting.contains(line))
        return;
    if (waiting.isEmpty())
        QTimer::singleShot(0, &showWaiting);
    waiting << line;
}

}  // namespace

namespace {

QString stored(const char* s) { return QString::fromUtf8(s != nullptr ? s : ""); }

// One line naming a record the engine told as changed.
QString recordLine(const dbDatabase::dbChangedRow& row)
{
    if (row.table == &Customer::dbDescriptor) {
        dbCursor<Customer> contact;
        if (contact.at(dbReference<Customer>(row.oid)))
            return QString("Contact ID %1: %2").arg(contact->id).arg(stored(contact->name));
    } else if (row.table == &Cheque::dbDescriptor) {
        dbCursor<Cheque> cheque;
        if (cheque.at(dbReference<Cheque>(row.oid)))
            return QString("Cheque %1 to %2")
                .arg(stored(cheque->chequeNo), stored(cheque->customerName));
    }
    return QString("A record of %1 (no. %2)").arg(QString::fromUtf8(row.table->name)).arg(row.oid);
}

}  // namespace

QString ChangedRecordsText(const std::vector<dbDatabase::dbChangedRow>& rows, const QString& backupFolder,
                           const QStringList& archives, bool mended)
{
    constexpr std::size_t kNamed = 5;
    QStringList lines{"The database file is damaged: the stored values of these records do not agree with its "
                      "search indexes."};
    for (std::size_t i = 0; i < rows.size() && i < kNamed; ++i)
        lines << recordLine(rows[i]);
    if (rows.size() > kNamed)
        lines << QString("and %1 more").arg(rows.size() - kNamed);
    lines << QString("Their stored values may have been changed by the damage: please check them. %1")
                 .arg(mended ? "The search indexes have been rebuilt from the records as they are now."
                             : "There was not enough disk space to mend the search indexes. Free some disk "
                               "space and start the program again: the indexes will then be mended. Until "
                               "then, changes that need the damaged indexes are refused.");
    const QString noAutomatic = "No automatic backup is made until the program is started again.";
    // that a backup is of this database, from before the damage, is not known
    if (archives.isEmpty())
        lines << QString("There is no backup in %1 that can be read. %2").arg(backupFolder, noAutomatic);
    else
        lines << QString("The %1 in %2 that can be read (%3) may hold the values from before; a backup can be "
                         "restored with Restore in the setup dialog (Setup). %4")
                     .arg(archives.size() == 1 ? "backup" : "backups", backupFolder, archives.join(", "), noAutomatic);
    return lines.join("\n");
}

void ReportDatabaseDamage(QWidget* owner)
{
    boxOwner = owner;
    database.setDamageReporter(owner != nullptr ? &heard : nullptr);
}

void TellDatabaseDamage(const char* engineText)
{
    if (boxOwner != nullptr)
        heard(engineText);
}
