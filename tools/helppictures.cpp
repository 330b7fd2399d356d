// quillet-helppictures FOLDER: makes the pictures of the help pages. It starts
// the program's main window on a new database in a scratch folder, stores a few
// sample contacts and cheques, and opens each window that a help page shows
// through the main window's own actions, as a user would; each window is
// grabbed to a PNG in FOLDER as it appears, then closed. Run it with the
// offscreen platform (scripts/help-pictures does), so that nothing shows on a
// screen and every run draws alike.
#include "app/identity.h"
#include "app/mainlist.h"
#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "appcore/schema.h"
#include "backup/backupform.h"
#include "documents/reportform.h"
#include "grid/listgrid.h"
#include "platform/application.h"

#include <QAction>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

namespace {

struct SampleContact {
    int id;
    const char *name, *person, *telephone, *mobile, *email, *website, *address1, *address2, *address3;
    float amount;
    const char* category;
};

const SampleContact kContacts[] = {
    {1, "Harbour Stationery Ltd", "Ann Lee", "555 0142", "555 0199", "ann.lee@harbour.example",
     "www.harbour.example", "12 Quay Street", "Port Ellis", "PE1 4QS", 120.5f, "Suppliers"},
    {2, "Greenfield Bakery", "Tom Baker", "555 0175", "", "orders@greenfield.example", "", "3 Mill Lane",
     "Ashby", "AS2 9LB", 48.0f, "Suppliers"},
    {3, "Northwind Lettings", "Maria Costa", "555 0110", "555 0123", "maria@northwind.example",
     "www.northwind.example", "Flat 2, 40 High Road", "Kelby", "KE4 1HR", 950.0f, "Landlords"},
    {4, "Oak & Elm Joinery", "Sam Patel", "555 0188", "555 0107", "sam@oakelm.example", "", "Unit 5, Brook Park",
     "Ashby", "AS1 3BP", 1234.56f, "Trades"},
    {5, "City Water Board", "Accounts", "555 0100", "", "accounts@citywater.example", "www.citywater.example",
     "PO Box 77", "Port Ellis", "PE2 0WB", 62.75f, "Utilities"},
};

oid_t categoryNamed(const char* name)
{
    dbCursor<Category> categories;
    if (categories.select() > 0) {
        do
            if (std::string(categories->name) == name)
                return categories.currentId().getOid();
        while (categories.next());
    }
    Category c;
    c.name = name;
    return insert(c).getOid();
}

// A business card as a scanner would give it, for the first contact.
QByteArray sampleCard(const SampleContact& s)
{
    QImage card(700, 400, QImage::Format_RGB32);
    card.fill(QColor(0xfb, 0xf8, 0xf0));
    QPainter p(&card);
    p.fillRect(0, 0, 700, 24, QColor(0x2e, 0x6b, 0x57));
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPixelSize(44);
    font.setBold(true);
    p.setFont(font);
    p.drawText(40, 110, QString::fromUtf8(s.name));
    font.setPixelSize(28);
    font.setBold(false);
    p.setFont(font);
    int y = 190;
    for (const char* line : {s.person, s.address1, s.address2, s.address3, s.telephone, s.email}) {
        p.drawText(40, y, QString::fromUtf8(line));
        y += 36;
    }
    p.end();
    return EncodeJpeg(card);
}

void storeContacts()
{
    for (const SampleContact& s : kContacts) {
        Customer c;
        c.id = s.id;
        c.name = s.name;
        c.person = s.person;
        c.telephone = s.telephone;
        c.mobile = s.mobile;
        c.email = s.email;
        c.website = s.website;
        c.address1 = s.address1;
        c.address2 = s.address2;
        c.address3 = s.address3;
        c.amount = s.amount;
        c.category = dbReference<Category>(categoryNamed(s.category));
        if (&s == &kContacts[0]) {
            c.remark = "Pays within 30 days";
            const QByteArray jpeg = sampleCard(s);
            c.card.setData(reinterpret_cast<const int1*>(jpeg.constData()), std::size_t(jpeg.size()));
        }
        insert(c);
    }
    database.commit();
}

// Cheques issued over the last weeks with the first cheque layout, for the report.
void storeCheques()
{
    dbCursor<ChequeSetup> layouts;
    const oid_t layout = layouts.select() > 0 ? layouts.currentId().getOid() : 0;
    dbCursor<Customer> contacts;
    dbQuery byId("order by id");
    int n = 0;
    if (contacts.select(byId) > 0) {
        do {
            Cheque q;
            const std::string number = std::to_string(100231 + n);
            q.chequeNo = number.c_str();
            q.description = n % 2 ? "Monthly account" : "Invoice";
            q.amount = contacts->amount;
            q.customer = dbReference<Customer>(contacts.currentId().getOid());
            q.customerName = contacts->name;
            q.setup = dbReference<ChequeSetup>(layout);
            q.transDate = dbDateTime(int32_t(QDateTime::currentDateTime().addDays(-3 - 5 * n).toSecsSinceEpoch()));
            insert(q);
            ++n;
        } while (contacts.next());
    }
    database.commit();
}

bool g_failed = false;

void save(QWidget& window, const QString& file)
{
    window.show();
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        g_failed = true;
    } else {
        std::printf("%s\n", qPrintable(file));
    }
}

// One picture of a window: what to do to the window first, and the file.
struct Picture {
    QString file;
    std::function<void(QDialog&)> ready;
};
// The pictures of the next window an action opens; the window is then closed.
using Shot = std::vector<Picture>;

}  // namespace

int main(int argc, char** argv)
{
    platform::Application app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: quillet-helppictures FOLDER\n", stderr);
        return 2;
    }
    PresentProgram();
    InstallFormDialogs();
    const QDir out(QDir(QString::fromLocal8Bit(argv[1])).absolutePath());
    QTemporaryDir scratch;
    if (!out.exists() || !scratch.isValid() || !QDir::setCurrent(scratch.path())) {
        std::fputs("no such folder, or no scratch folder\n", stderr);
        return 1;
    }

    std::deque<Shot> shots;
    bool unexpected = false;  // a window no picture was planned for
    SetModalRunner([&](QDialog& form) {
        if (shots.empty()) {
            std::fprintf(stderr, "unexpected window: %s\n", qPrintable(form.windowTitle()));
            unexpected = true;
            return 2;
        }
        for (const Picture& picture : shots.front()) {
            if (picture.ready)
                picture.ready(form);
            save(form, out.filePath(picture.file));
        }
        shots.pop_front();
        form.hide();
        return 2;
    });

    TMainListForm window;
    storeContacts();
    // wider columns than at the first start, as a user sets them in the setup dialog
    for (auto [column, width] : {std::pair{2, 170}, {3, 110}, {7, 210}, {8, 160}, {12, 90}})
        window.grid->SetColWidths(column, width);
    save(window, out.filePath("index.png"));  // the first show lists the contacts
    auto selectRow = [&window](int row) {
        window.grid->ClearRowSelect();
        window.grid->SetRowSelect(row, true);
        window.grid->Invalidate();
    };

    selectRow(1);
    shots.push_back({{"insert.png", {}}});
    window.updateAction->trigger();
    auto tab = [](int index) {
        return [index](QDialog& form) { static_cast<TBackupForm&>(form).PageControl1->setCurrentIndex(index); };
    };
    shots.push_back({{"backup.png", tab(0)}, {"backup-tab.png", tab(1)}});
    window.setupButton->click();
    shots.push_back({{"email.png", {}}});
    window.emailAction->trigger();
    shots.push_back({{"cheque.png", {}}});
    window.chequeAction->trigger();
    storeCheques();
    shots.push_back({{"report.png", [](QDialog& form) { static_cast<TReportForm&>(form).queryAction->trigger(); }}});
    window.reportAction->trigger();
    selectRow(3);
    shots.push_back({{"envelope.png", {}}});
    window.envelopeAction->trigger();

    SetModalRunner(nullptr);
    window.hide();
    database.close();
    return unexpected || g_failed || !shots.empty() ? 1 : 0;
}
