// quillet-query: runs one query on a database file through a Qt SQL driver
// and writes the field names and records to standard output in the form
// described in platform/queryframes.h. The list grid runs it as a child
// process, so that a driver crashing on a damaged file ends only this
// program.
//
//   quillet-query DRIVER FILE QUERY
//
// DRIVER is a Qt SQL driver name. For QODBC the file is opened through the
// MDBTools ODBC driver (Access files); for any other driver the file name is
// the database name. Files are opened read-only. Exit code 0 after the 'D'
// frame, 1 after an 'E' frame, 2 for wrong arguments.
#include "platform/queryframes.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>
#include <QVariant>

#include <cstdio>

namespace {

// Standard output in pieces: written when 64 KiB have gathered or a quarter
// of a second has passed, so that a slow query still shows it is alive.
class Output {
public:
    Output() { sinceFlush_.start(); }
    ~Output() { flush(); }
    void add(const QByteArray& frame)
    {
        pending_ += frame;
        if (pending_.size() >= (64 << 10) || sinceFlush_.elapsed() >= 250)
            flush();
    }
    void flush()
    {
        if (!pending_.isEmpty())
            std::fwrite(pending_.constData(), 1, static_cast<size_t>(pending_.size()), stdout);
        std::fflush(stdout);
        pending_.clear();
        sinceFlush_.restart();
    }

private:
    QByteArray pending_;
    QElapsedTimer sinceFlush_;
};

// A field value as the grid shows it: numbers in the shortest form that
// reads back the same, truth values "True"/"False", dates and times in ISO
// order.
QByteArray textOf(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? "True" : "False";
    case QMetaType::Double:
    case QMetaType::Float:
        return QByteArray::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate).toUtf8();
    case QMetaType::QTime:
        return v.toTime().toString("HH:mm:ss").toUtf8();
    case QMetaType::QDateTime:
        return v.toDateTime().toString("yyyy-MM-dd HH:mm:ss").toUtf8();
    case QMetaType::QByteArray:
        return v.toByteArray();
    default:
        return v.toString().toUtf8();
    }
}

int fail(Output& out, const QString& message)
{
    out.add(queryframes::FailureFrame(message));
    return 1;
}

int run(Output& out, const QString& driver, const QString& file, const QString& sql)
{
    if (!QFileInfo(file).isFile())
        return fail(out, "The file does not exist.");
    QSqlDatabase db = QSqlDatabase::addDatabase(driver);
    if (!db.isValid())
        return fail(out, "The database driver " + driver + " is not installed.");
    if (driver == "QODBC") {
        // the file name goes into a connection string: it may not end a value
        if (file.contains(';') || file.contains('{') || file.contains('}'))
            return fail(out, "The database driver cannot take a file name holding ';', '{' or '}'.");
        db.setDatabaseName("DRIVER={MDBTools};DBQ=" + file);
        db.setConnectOptions("SQL_ATTR_ACCESS_MODE=SQL_MODE_READ_ONLY");
    } else {
        db.setDatabaseName(file);
        if (driver == "QSQLITE")
            db.setConnectOptions("QSQLITE_OPEN_READONLY");
    }
    if (!db.open())
        return fail(out, db.lastError().text());
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return fail(out, query.lastError().text());
    const QSqlRecord record = query.record();
    const int fields = record.count();
    if (static_cast<uint32_t>(fields) > queryframes::kMaxFields)
        return fail(out, "The query gives more fields than the grid takes.");
    QStringList names;
    for (int i = 0; i < fields; ++i)
        names << record.fieldName(i);
    out.add(queryframes::NamesFrame(names));
    out.add(queryframes::CountFrame(query.isSelect() ? query.size() : -1));
    std::vector<queryframes::Value> values(static_cast<size_t>(fields));
    while (query.next()) {
        for (int i = 0; i < fields; ++i) {
            if (query.isNull(i))
                values[static_cast<size_t>(i)].reset();
            else
                values[static_cast<size_t>(i)] = textOf(query.value(i));
        }
        out.add(queryframes::RecordFrame(values));
    }
    if (query.lastError().isValid())
        return fail(out, query.lastError().text());
    out.add(queryframes::DoneFrame());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // the driver plug-ins are found through it
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4) {
        std::fputs("usage: quillet-query DRIVER FILE QUERY\n", stderr);
        return 2;
    }
    int code = 0;
    {
        Output out;
        code = run(out, args[1], args[2], args[3]);
    }
    QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
    return code;
}
