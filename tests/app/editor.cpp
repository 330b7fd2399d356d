// The contact editor on its own and through the insert and update actions:
// the proposed ID, the checks and their messages, what is stored, and the
// card picture.
#include "contacts_fixture.h"

#include "appcore/amounts.h"
#include "appcore/picture.h"
#include "platform/desktopfocus.h"
#include "platform/shell.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

#include <QDir>
#include <QLocale>

#include <clocale>

namespace {

void typeContact(TMainForm& e, const QString& id, const QString& name, const QString& email = {})
{
    e.cID->setText(id);
    e.cName->setText(name);
    e.cEmail->setText(email);
}

QImage testPicture(int w = 40, int h = 30)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 40));
    for (int x = 0; x < w / 2; ++x)
        for (int y = 0; y < h; ++y)
            image.setPixel(x, y, qRgb(20, 90, 220));
    return image;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST_F(ContactsTest, ProposedIdIsOneAboveTheHighest)
{
    QString proposed;
    onEditor([&](TMainForm& e) {
        proposed = e.cID->text();
        e.cCancel->click();
    });
    insertActionExecute(*window);
    EXPECT_EQ(proposed, "1");

    addCustomer(3, "Three");
    addCustomer(7, "Seven");
    onEditor([&](TMainForm& e) {
        proposed = e.cID->text();
        e.cCancel->click();
    });
    insertActionExecute(*window);
    EXPECT_EQ(proposed, "8");
    EXPECT_EQ(customers().size(), 2u);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
}

TEST_F(ContactsTest, TakenIdRefusesAndTheEditorComesBackIntact)
{
    const oid_t shop = addCategory("Shops");
    addCustomer(5, "Existing", "", shop);
    window->RefreshGrid();
    saveEditor([](TMainForm& e) {
        typeContact(e, "5", "New one", "new@example.org");
        e.cTelephone->setText("555 1234");
        e.cRemark->setPlainText("first line\nsecond line");
        e.amount->setText("12.50");
    });
    saveEditor([](TMainForm& e) {
        EXPECT_EQ(e.cID->text(), "5");
        EXPECT_EQ(e.cName->text(), "New one");
        EXPECT_EQ(e.cEmail->text(), "new@example.org");
        EXPECT_EQ(e.cTelephone->text(), "555 1234");
        EXPECT_EQ(e.cRemark->toPlainText(), "first line\nsecond line");
        EXPECT_EQ(e.amount->text(), "12.50");
        EXPECT_EQ(e.category->currentText(), "Shops");
        e.cID->setText("6");
    });
    insertActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), QStringList{"'ID' has already existed."});
    const auto stored = customers();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].id, 6);
    EXPECT_EQ(stored[1].name, "New one");
    EXPECT_EQ(stored[1].telephone, "555 1234");
    EXPECT_EQ(stored[1].remark, "first line\nsecond line");
    EXPECT_EQ(stored[1].category, shop);
    EXPECT_EQ(stored[1].amount, 12.5f) << "the typed amount is kept";
    EXPECT_EQ(stored[1].cardBytes, 0u);
    // the list was run again and shows the new contact
    EXPECT_GT(rowOf(stored[1].oid), 0);
}

TEST_F(ContactsTest, AmountsTheContactCannotKeepAreRefused)
{
    addCategory("Shops");
    const QString tooLarge = "The amount 1,000,000.99 cannot be kept to the cent as a contact's default amount. "
                             "Every amount up to 131,071.99 is kept to the cent, above that only some are.";
    const QString negative = "The amount -50.00 is below zero: it is not the amount of a cheque.";
    onEditor([&](TMainForm& e) {
        typeContact(e, "1", "Refused");
        for (const char* typed : {"1000000.99", "-50"}) {
            e.amount->setText(typed);
            e.cSave->click();
            EXPECT_TRUE(e.isVisible()) << typed;
            EXPECT_EQ(e.focusWidget(), e.amount) << typed;
            EXPECT_EQ(e.amount->selectedText(), QString(typed));
        }
        e.cCancel->click();
    });
    insertActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), (QStringList{tooLarge, negative}));
    EXPECT_TRUE(customers().empty());

    dialogs.shown.clear();
    for (const char* typed : {"1234.5", "131071.99", "500000.25"}) {  // the last fits the field exactly
        saveEditor([&](TMainForm& e) {
            typeContact(e, e.cID->text(), typed);
            e.amount->setText(typed);
        });
        insertActionExecute(*window);
    }
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    const auto stored = customers();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].amount, 1234.5f);
    EXPECT_EQ(FormatMoney(stored[1].amount), "131071.99");
    EXPECT_EQ(FormatMoney(stored[2].amount), "500000.25");
    EXPECT_EQ(window->grid->Cells(11, rowOf(stored[1].oid)), "131071.99");

    // it comes back to the cent, and saving it unchanged keeps it
    selectOnly({stored[1].oid});
    saveEditor([](TMainForm& e) { EXPECT_EQ(e.amount->text(), "131071.99"); });
    updateActionExecute(*window);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(customers()[1].amount, stored[1].amount);
}

TEST_F(ContactsTest, EmailChecksBindTheTypedAddress)
{
    const oid_t shop = addCategory("Shops");
    addCustomer(1, "Irish pub", "o'brien@example.org", shop);
    const oid_t other = addCustomer(2, "Other", "other@example.org", shop);
    window->RefreshGrid();

    // insert: a quote in the address is data, and the stored address is found
    saveEditor([](TMainForm& e) { typeContact(e, "3", "Someone", "o'brien@example.org"); });
    saveEditor([](TMainForm& e) { e.cEmail->setText("no-at-sign.example.org"); });
    saveEditor([](TMainForm& e) { e.cEmail->setText("   "); });  // blanks only: not looked at
    insertActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), (QStringList{"The email has already existed.", "Wrong 'Email' address."}));
    ASSERT_EQ(customers().size(), 3u);

    // update of another contact to the stored address
    dialogs.shown.clear();
    selectOnly({other});
    saveEditor([](TMainForm& e) { e.cEmail->setText("o'brien@example.org"); });
    cancelEditor();
    updateActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), QStringList{"The 'Email' address has already existed"});
    EXPECT_EQ(customers()[1].email, "other@example.org");
}

TEST_F(ContactsTest, SameNameAsksAndNoKeepsTheEditor)
{
    const oid_t shop = addCategory("Shops");
    addCustomer(1, "O'Brien", "", shop);
    window->RefreshGrid();
    saveEditor([](TMainForm& e) { typeContact(e, "2", "O'Brien"); });
    saveEditor([](TMainForm& e) { EXPECT_EQ(e.cName->text(), "O'Brien"); });
    dialogs.AnswerQuestion(false);
    dialogs.AnswerQuestion(true);
    insertActionExecute(*window);
    EXPECT_EQ(dialogs.Questions(), (QStringList{"The 'Name' is exist, continue to add?",
                                                "The 'Name' is exist, continue to add?"}));
    const auto stored = customers();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[1].name, "O'Brien");

    // update: renaming another contact to the stored name asks the update's question
    dialogs.shown.clear();
    selectOnly({stored[1].oid});
    saveEditor([](TMainForm& e) { e.cName->setText("Brien"); });
    updateActionExecute(*window);
    selectOnly({stored[1].oid});
    saveEditor([](TMainForm& e) { e.cName->setText("O'Brien"); });
    cancelEditor();
    dialogs.AnswerQuestion(false);
    updateActionExecute(*window);
    EXPECT_EQ(dialogs.Questions(), QStringList{"There is a same 'Name' in the database, continue?"});
    EXPECT_EQ(customers()[1].name, "Brien");
}

TEST_F(ContactsTest, UpdateChecksOnlyWhatChanged)
{
    const oid_t shop = addCategory("Shops");
    addCustomer(1, "Twin", "twin@example.org", shop);
    const oid_t second = addCustomer(2, "Twin", "second@example.org", shop);
    window->RefreshGrid();
    std::vector<std::string> checks;
    SetCheckFault([&](const char* check) {
        checks.push_back(check);
        return false;
    });

    selectOnly({second});
    saveEditor([](TMainForm& e) { e.cRemark->setPlainText("only the remark"); });
    updateActionExecute(*window);
    EXPECT_TRUE(checks.empty()) << checks.size() << " checks ran";
    EXPECT_TRUE(dialogs.Questions().isEmpty());
    EXPECT_EQ(customers()[1].remark, "only the remark");

    // a change of case is a change
    selectOnly({second});
    saveEditor([](TMainForm& e) { e.cEmail->setText("Second@example.org"); });
    updateActionExecute(*window);
    EXPECT_EQ(checks, std::vector<std::string>{"email"});
    EXPECT_EQ(customers()[1].email, "Second@example.org");
}

TEST_F(ContactsTest, FailedCheckRefusesTheSave)
{
    const oid_t shop = addCategory("Shops");
    addCustomer(1, "Stored", "", shop);
    window->RefreshGrid();
    for (const char* failing : {"id", "email", "name"}) {
        SCOPED_TRACE(failing);
        dialogs.shown.clear();
        SetCheckFault([failing](const char* check) { return std::string(check) == failing; });
        saveEditor([](TMainForm& e) { typeContact(e, "9", "Fresh", "fresh@example.org"); });
        onEditor([](TMainForm& e) {
            EXPECT_EQ(e.cID->text(), "9");
            EXPECT_EQ(e.cName->text(), "Fresh");
            EXPECT_EQ(e.cEmail->text(), "fresh@example.org");
            e.cCancel->click();
        });
        insertActionExecute(*window);
        EXPECT_EQ(dialogs.Messages(), QStringList{"The check could not be made; nothing was saved."});
        EXPECT_EQ(customers().size(), 1u);
    }
}

TEST_F(ContactsTest, SaveRefusesBadAmountsIdsAndNoCategory)
{
    addCategory("Shops");
    TMainForm editor(window.get());
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    ASSERT_EQ(editor.category->currentIndex(), 0) << "the first category is chosen at the start";
    for (const char* bad : {"abc", "nan", "inf", "0x10", "1e5", "", "1.2.3", "99999999999999999999999999999999999999999"}) {
        SCOPED_TRACE(bad);
        dialogs.shown.clear();
        editor.amount->setText(bad);
        editor.cID->setText("4");
        editor.savelActionExecute();
        EXPECT_EQ(dialogs.Messages(), QStringList{"Invalid value."});
        EXPECT_TRUE(editor.isVisible());
        EXPECT_TRUE(editor.amount->hasFocus());
        EXPECT_EQ(editor.amount->selectedText(), QString(bad));
    }
    for (const char* bad : {"12a", "0x10", "4294967296", " ", "1.5"}) {
        SCOPED_TRACE(bad);
        dialogs.shown.clear();
        editor.amount->setText("10.25");
        editor.cID->setText(bad);
        editor.savelActionExecute();
        EXPECT_EQ(dialogs.Messages(), QStringList{"Invalid value."});
        EXPECT_TRUE(editor.cID->hasFocus());
    }
    editor.category->setCurrentIndex(-1);
    editor.cID->setText("4");
    dialogs.shown.clear();
    editor.savelActionExecute();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Please select a category."});
    EXPECT_TRUE(editor.category->hasFocus());

    editor.category->setCurrentIndex(0);
    QTest::keyClick(&editor, Qt::Key_F10);
    EXPECT_FALSE(editor.isVisible());
    EXPECT_EQ(editor.result(), 1);
    database.commit();
}

TEST_F(ContactsTest, EditorWithoutCategoriesRefusesUntilOneIsAdded)
{
    saveEditor([this](TMainForm& e) {
        EXPECT_EQ(e.category->count(), 0);
        e.cSave->click();
        EXPECT_TRUE(e.isVisible()) << "Save stays in the editor";
        dialogs.AnswerText(QString("Friends"));
        e.insertCategory->click();
        EXPECT_EQ(e.category->currentText(), "Friends");
    });
    insertActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Please select a category."});
    ASSERT_EQ(customers().size(), 1u);
    EXPECT_NE(customers()[0].category, 0u);
}

TEST_F(ContactsTest, UpdateStoresTheTypedAmountAndRewritesOnlyItsRow)
{
    const oid_t shop = addCategory("Shops");
    const oid_t first = addCustomer(1, "First", "", shop, 5);
    addCustomer(2, "Second", "", shop);
    window->RefreshGrid();
    addCustomer(3, "Not listed yet", "", shop);  // would appear if the list ran again
    const int rowsBefore = window->grid->RowCount();

    selectOnly({first});
    saveEditor([](TMainForm& e) {
        EXPECT_EQ(e.amount->text(), "5.00");
        e.amount->setText("1234.5");
        e.cName->setText("First, renamed");
        e.cAddress1->setText("1 High St");
    });
    updateActionExecute(*window);
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(window->grid->RowCount(), rowsBefore);
    const int row = rowOf(first);
    EXPECT_EQ(window->grid->Cells(11, row), "1234.50");
    EXPECT_EQ(window->grid->Cells(2, row), "First, renamed");
    EXPECT_EQ(window->grid->Cells(9, row), "1 High St  ");
    EXPECT_EQ(window->grid->Cells(12, row), "Shops");
    const auto stored = customers();
    EXPECT_FLOAT_EQ(stored[0].amount, 1234.5f);
    EXPECT_EQ(stored[0].name, "First, renamed");
}

TEST_F(ContactsTest, UpdateEditsOnlyTheTopmostSelectedRow)
{
    const oid_t shop = addCategory("Shops");
    const oid_t a = addCustomer(1, "A", "", shop);
    const oid_t b = addCustomer(2, "B", "", shop);
    window->RefreshGrid();
    selectOnly({b, a});
    QString shown;
    onEditor([&](TMainForm& e) {
        shown = e.cName->text();
        e.cCancel->click();
    });
    updateActionExecute(*window);
    EXPECT_EQ(shown, "A");

    window->grid->ClearRowSelect();
    updateActionExecute(*window);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Please use the mouse to select the customer first."});
}

TEST_F(ContactsTest, CardPictureFromFilesAndStoredBytes)
{
    const QString jpg = QString::fromStdString((dir / "card.JPG").string());
    const QString bad = QString::fromStdString((dir / "broken.jpg").string());
    const QString bmp = QString::fromStdString((dir / "card.bmp").string());
    const QString jpeg = QString::fromStdString((dir / "card.jpeg").string());
    const QByteArray good = EncodeJpeg(testPicture());
    ASSERT_FALSE(good.isEmpty());
    writeFile(jpg, good);
    writeFile(jpeg, good);
    writeFile(bad, good.left(good.size() / 2));
    ASSERT_TRUE(testPicture(10, 12).save(bmp, "BMP"));

    addCategory("Shops");
    TMainForm editor(window.get());
    dialogs.AnswerFile(jpg);
    editor.imageButtonClick();
    ASSERT_FALSE(editor.picture().isNull());
    EXPECT_EQ(editor.picture().size(), QSize(40, 30));
    EXPECT_EQ(editor.cardBytes(), good) << "a loaded JPEG file is stored as it is";

    dialogs.AnswerFile(bad);
    editor.imageButtonClick();
    ASSERT_EQ(dialogs.Messages().size(), 1);
    EXPECT_TRUE(dialogs.Messages()[0].startsWith("Cannot read the picture " + bad));
    EXPECT_EQ(editor.picture().size(), QSize(40, 30)) << "the picture stays as it was";

    dialogs.AnswerFile(jpeg);  // a four-letter ending is not taken
    editor.imageButtonClick();
    EXPECT_EQ(editor.picture().size(), QSize(40, 30));
    EXPECT_EQ(dialogs.Messages().size(), 1);

    dialogs.AnswerFile(bmp);
    editor.imageButtonClick();
    EXPECT_EQ(editor.picture().size(), QSize(10, 12));
    QImage back;
    ASSERT_TRUE(DecodeJpeg(editor.cardBytes(), back)) << "a bitmap is stored as JPEG bytes";
    EXPECT_EQ(back.size(), QSize(10, 12));

    editor.deleteImageButtonClick();
    EXPECT_TRUE(editor.picture().isNull());
    EXPECT_TRUE(editor.cardBytes().isEmpty());

    // stored bytes that do not decode show an empty picture
    Customer record;
    const QByteArray broken = good.left(100);
    record.card.setData(reinterpret_cast<const int1*>(broken.constData()), broken.size());
    editor.setPicture(testPicture());
    editor.showCustomer(record);
    EXPECT_TRUE(editor.picture().isNull());
    record.card.setData(reinterpret_cast<const int1*>(good.constData()), good.size());
    editor.showCustomer(record);
    EXPECT_EQ(editor.picture().size(), QSize(40, 30));
    database.commit();
}

TEST_F(ContactsTest, AfterAPictureIsPickedTheEditorIsActiveWithTheFocusOnOpen)
{
    const QString jpg = QString::fromStdString((dir / "card.jpg").string());
    writeFile(jpg, EncodeJpeg(testPicture()));
    addCategory("Shops");
    TMainForm editor(window.get());
    ASSERT_TRUE(activate(editor));
    ShownDialogs files;
    // by the keyboard, and by a click that leaves the focus in a field
    editor.imageButton->setFocus(Qt::TabFocusReason);
    files.AnswerFile(jpg);
    QTest::keyClick(editor.imageButton, Qt::Key_Space);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &editor; }));
    EXPECT_EQ(QApplication::focusWidget(), editor.imageButton);
    EXPECT_EQ(editor.picture().size(), QSize(40, 30));

    editor.cName->setFocus(Qt::MouseFocusReason);
    files.AnswerFile({});  // cancelled
    QTest::mouseClick(editor.imageButton, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &editor; }));
    EXPECT_EQ(QApplication::focusWidget(), editor.imageButton);

    // The desktop's focus is back on the editor as the dialog closes: no
    // focus event comes, and the editor is active at once. On another
    // application's window, the user has gone there: nothing is taken.
    using platform::DesktopFocus;
    for (const DesktopFocus desktop : {DesktopFocus::OnWindow, DesktopFocus::Elsewhere}) {
        const platform::DesktopFocusReader before = platform::SetDesktopFocusReader(
            [&](const QWidget* w) { return w == &editor ? desktop : DesktopFocus::Nowhere; });
        ASSERT_TRUE(activate(editor));
        files.AnswerFile(jpg);
        QTest::keyClick(editor.imageButton, Qt::Key_Space);
        if (desktop == DesktopFocus::Elsewhere)
            QCoreApplication::processEvents();  // what was asked of the window system has come
        EXPECT_EQ(QApplication::activeWindow(), desktop == DesktopFocus::OnWindow ? &editor : nullptr);
        EXPECT_EQ(QApplication::focusWidget(), desktop == DesktopFocus::OnWindow ? editor.imageButton : nullptr);
        platform::SetDesktopFocusReader(before);
    }
    database.commit();
}

TEST_F(ContactsTest, SavedPictureTravelsWithTheContact)
{
    const oid_t shop = addCategory("Shops");
    const QString jpg = QString::fromStdString((dir / "card.jpg").string());
    writeFile(jpg, EncodeJpeg(testPicture()));
    saveEditor([&](TMainForm& e) {
        typeContact(e, "1", "With card");
        dialogs.AnswerFile(jpg);
        e.imageButton->click();
    });
    insertActionExecute(*window);
    auto stored = customers();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_GT(stored[0].cardBytes, 0u);
    EXPECT_EQ(stored[0].category, shop);

    selectOnly({stored[0].oid});
    saveEditor([](TMainForm& e) {
        EXPECT_EQ(e.picture().size(), QSize(40, 30));
        e.deleteImageButton->click();
    });
    updateActionExecute(*window);
    EXPECT_EQ(customers()[0].cardBytes, 0u);
}

TEST_F(ContactsTest, StoredCardThatDoesNotDecodeSurvivesAnUpdate)
{
    const oid_t shop = addCategory("Shops");
    const oid_t oid = addCustomer(1, "Old card", "", shop);
    // a picture from an older database that this decoder refuses
    const QByteArray unreadable = EncodeJpeg(testPicture()).left(120);
    {
        dbCursor<Customer> c(dbCursorForUpdate);
        ASSERT_TRUE(c.at(dbReference<Customer>(oid)));
        c->card.setData(reinterpret_cast<const int1*>(unreadable.constData()), unreadable.size());
        ASSERT_TRUE(c.update());
        ASSERT_TRUE(database.commit());
    }
    window->RefreshGrid();

    selectOnly({oid});
    saveEditor([](TMainForm& e) {
        EXPECT_TRUE(e.picture().isNull());
        e.cTelephone->setText("555 0101");
    });
    updateActionExecute(*window);
    EXPECT_EQ(customers()[0].telephone, "555 0101");
    EXPECT_EQ(customers()[0].cardBytes, std::size_t(unreadable.size())) << "changing a phone number keeps the card";

    selectOnly({oid});
    saveEditor([](TMainForm& e) { e.deleteImageButton->click(); });
    updateActionExecute(*window);
    EXPECT_EQ(customers()[0].cardBytes, 0u) << "Delete still empties it";
}

TEST_F(ContactsTest, ConveniencesOpenTheSiteAndSayWhatIsMissing)
{
    platform::CapturingShell shell;
    addCategory("Shops");
    TMainForm editor(window.get());
    editor.website->setText("   ");
    editor.websiteButtonClick();
    EXPECT_TRUE(shell.launched.isEmpty());
    editor.website->setText(" www.example.org ");
    editor.websiteButtonClick();
    ASSERT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(shell.launched[0].toString(), "http://www.example.org");

    editor.cEmail->setText("info");
    editor.cMailButtonClick();  // no '@': nothing opens
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    editor.ImageDblClick();  // no picture: nothing
    EXPECT_TRUE(dialogs.Messages().isEmpty());
    EXPECT_EQ(editor.savelAction->shortcut(), QKeySequence(Qt::Key_F10));
    EXPECT_EQ(editor.exitAction->shortcut(), QKeySequence(Qt::Key_F12));
    EXPECT_EQ(editor.helpAction->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(editor.insertCategory->toolTip(), "Add new category");
    EXPECT_EQ(editor.windowTitle(), "Zarvo Cheque Printing System");
    database.commit();
}

TEST_F(ContactsTest, AmountsReadTheSameUnderADecimalCommaLocale)
{
    const QLocale before;
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr) << "locales-all is needed";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const oid_t shop = addCategory("Shops");
    const oid_t c = addCustomer(1, "Someone", "", shop);
    window->RefreshGrid();
    selectOnly({c});
    saveEditor([](TMainForm& e) {
        e.amount->setText("12,50");  // a comma is no decimal point here either
        e.cSave->click();
        EXPECT_TRUE(e.isVisible());
        e.amount->setText("1234.75");
    });
    updateActionExecute(*window);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
    EXPECT_EQ(dialogs.Messages(), QStringList{"Invalid value."});
    EXPECT_FLOAT_EQ(customers()[0].amount, 1234.75f);
    EXPECT_EQ(window->grid->Cells(11, rowOf(c)), "1234.75");
}

