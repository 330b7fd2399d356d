// The contact list: the search panel's conditions, the rows they list and in
// which order, the cells of a row, totals and selection after a refresh.
#include "mainwindow_fixture.h"

#include "app/editor.h"
#include "palettes.h"
#include "appcore/amounts.h"
#include "platform/shell.h"
#include "release_behind_modal.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>

#include <cstdio>
#include <vector>

namespace {

struct Person {
    int id;
    const char* name;
    const char* person;
    const char* telephone;
    const char* mobile;
    const char* email;
    const char* category;  // nullptr: none
    double amount;
};

const Person people[] = {
    {3, "Smith & Sons", "John Lee", "2345-6789", "9123 4567", "john@smith.example", "Suppliers", 12.5},
    {1, "O'Brien Ltd", "Mary O'Brien", "3456 7890", "9234 5678", "mary@obrien.example", "Joe's", 0},
    {7, "smithers", "Alan Smithee", "2345 0000", "", "alan@example.org", "Suppliers", 1234.567},
    {5, "Acme 100%", "Wile E", "5555 1234", "9345 6789", "wile@acme.example", nullptr, 3},
    {2, "Zeta_Corp", "Zed", "1111 2222", "", "", "Joe's", 7.996},
};

class ListView : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_EQ(start(), -1);
        std::map<std::string, dbReference<Category>> categories;
        for (const char* name : {"Suppliers", "Joe's"}) {
            Category c;
            c.name = name;
            categories[name] = insert(c);
        }
        for (const Person& p : people) {
            Customer c;
            c.id = p.id;
            c.name = p.name;
            c.person = p.person;
            c.telephone = p.telephone;
            c.mobile = p.mobile;
            c.email = p.email;
            c.address1 = "1 Main St";
            c.address2 = "";
            c.address3 = "Springfield";
            c.amount = static_cast<real4>(p.amount);
            if (p.category)
                c.category = categories[p.category];
            insert(c);
        }
        ASSERT_TRUE(database.commit());
        // the category list is loaded at start: reload it as the next start would
        window.reset();
        database.close();
        ASSERT_EQ(start(), -1);
    }

    // The IDs listed, in grid order.
    std::vector<int> listed()
    {
        std::vector<int> ids;
        for (int r = 1; r < window->grid->RowCount(); ++r)
            ids.push_back(std::stoi(window->grid->Cells(1, r)));
        return ids;
    }

    void search(const char* field, const QString& text)
    {
        QLineEdit* edits[] = {window->id, window->name, window->cPerson, window->cTelephone, window->cMobile,
                              window->cEmail};
        const char* names[] = {"id", "name", "cPerson", "cTelephone", "cMobile", "cEmail"};
        for (int i = 0; i < 6; ++i)
            if (std::string(field) == names[i])
                edits[i]->setText(text);
    }

    void clearSearch()
    {
        for (QLineEdit* e : {window->id, window->name, window->cPerson, window->cTelephone, window->cMobile,
                             window->cEmail})
            e->clear();
        window->category->setCurrentIndex(0);
        window->sortBy->setCurrentIndex(0);
        window->reverseSort->setChecked(false);
    }
};

} // namespace

TEST_F(ListView, EmptySearchListsEveryoneById)
{
    clearSearch();
    window->RefreshGrid();
    EXPECT_EQ(window->QueryText(), " order by id");
    EXPECT_EQ(listed(), (std::vector<int>{1, 2, 3, 5, 7}));
    EXPECT_EQ(window->StatusText(1), "Total Customer: 5");
}

TEST_F(ListView, SearchCombinations)
{
    struct Case {
        std::vector<std::pair<const char*, const char*>> fields;
        QString category;
        int sortBy;
        bool reverse;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{{"name", "smi"}}, "", 1, false, {3, 7}},                    // name matches at the start only
        {{{"name", "smi"}}, "", 1, true, {7, 3}},
        {{{"cPerson", "lee"}}, "", 0, false, {3}},                    // person matches anywhere
        {{{"cPerson", "o'b"}}, "", 0, false, {1}},
        {{{"name", "o'b"}}, "", 0, false, {1}},                       // a quote is searched for
        {{{"cTelephone", "2345"}}, "", 0, true, {7, 3}},
        {{{"cMobile", "9"}}, "", 0, false, {1, 3, 5}},
        {{{"cEmail", "example.org"}}, "", 0, false, {7}},
        {{{"id", " 5"}}, "", 0, false, {5}},
        {{}, "Suppliers", 0, false, {3, 7}},
        {{}, "Joe's", 1, false, {1, 2}},                              // a category name with a quote
        {{{"name", "s"}}, "Suppliers", 1, true, {7, 3}},
        {{{"name", "acme 100%"}}, "", 0, false, {5}},                 // % keeps its LIKE meaning
        {{{"name", "zeta_"}}, "", 0, false, {2}},
        {{{"name", "%"}}, "", 2, false, {7, 3, 1, 5, 2}},            // sorted by contact person
        {{{"name", "nobody"}}, "", 0, false, {}},
    };
    for (const Case& c : cases) {
        clearSearch();
        for (auto [field, text] : c.fields)
            search(field, text);
        if (!c.category.isEmpty())
            window->category->setCurrentText(c.category);
        window->sortBy->setCurrentIndex(c.sortBy);
        window->reverseSort->setChecked(c.reverse);
        window->RefreshGrid();
        EXPECT_EQ(listed(), c.expected) << window->QueryText();
        EXPECT_EQ(window->StatusText(1), QString("Total Customer: %1").arg(c.expected.size()));
    }
}

TEST_F(ListView, RowCells)
{
    clearSearch();
    window->RefreshGrid();
    auto* g = window->grid;
    // row 1 is id 1, row 3 is id 3
    EXPECT_EQ(g->Cells(2, 3), "Smith & Sons");
    EXPECT_EQ(g->Cells(3, 3), "John Lee");
    EXPECT_EQ(g->Cells(4, 3), "2345-6789");
    EXPECT_EQ(g->Cells(9, 3), "1 Main St  Springfield");
    EXPECT_EQ(g->Cells(11, 3), "12.50");
    EXPECT_EQ(g->Cells(11, 2), FormatMoney(static_cast<real4>(7.996)));
    EXPECT_EQ(g->Cells(11, 5), FormatMoney(static_cast<real4>(1234.567)));
    EXPECT_EQ(g->Cells(12, 3), "Suppliers");
    EXPECT_EQ(g->Cells(12, 4), "");  // no category
    EXPECT_EQ(g->Cells(12, 1), "Joe's");
    // column 0 holds the record's object id: positioning a cursor on it finds the contact
    dbCursor<Customer> c;
    ASSERT_NE(c.at(dbReference<Customer>(window->RowOid(3))), nullptr);
    EXPECT_EQ(c->id, 3);
    database.commit();
}

TEST_F(ListView, BadIdKeepsThePreviousList)
{
    clearSearch();
    window->RefreshGrid();
    search("id", "12x");
    EXPECT_THROW(window->RefreshGrid(), ContactSearchError);
    EXPECT_EQ(listed().size(), 5u);
    EXPECT_EQ(window->StatusText(1), "Total Customer: 5");
}

TEST_F(ListView, SelectionDoesNotSurviveARefresh)
{
    clearSearch();
    window->RefreshGrid();
    EXPECT_EQ(window->FirstSelectedRow(), 1);
    window->grid->SetRowSelect(1, false);
    window->grid->SetRowSelect(5, true);
    search("name", "smi");
    window->RefreshGrid();  // two rows
    clearSearch();
    window->RefreshGrid();  // five again
    EXPECT_EQ(window->grid->GetRowSelectCount(), 1);
    EXPECT_FALSE(window->grid->GetRowSelect(5));
    EXPECT_TRUE(window->grid->GetRowSelect(1));
}

TEST_F(ListView, EnterInASearchEditRefreshes)
{
    clearSearch();
    window->RefreshGrid();
    window->name->setFocus();
    window->name->setText("o'b");
    QTest::keyClick(window->name, Qt::Key_Return);
    EXPECT_EQ(listed(), (std::vector<int>{1}));
    QTest::keyClicks(window->cPerson, "x");
    EXPECT_EQ(window->StatusText(0), "Please enter the search critera and press [Enter] key to search");
}

// The contact the keys move to is the one F4 edits, also with Ctrl: Ctrl+End
// and Ctrl+Home are jumps, Ctrl+Down moves as Down does.
TEST_F(ListView, F4EditsTheContactTheKeysMovedTo)
{
    clearSearch();
    window->RefreshGrid();  // IDs 1, 2, 3, 5, 7
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->grid->setFocus();
    QStringList edited;
    SetModalRunner([&](QDialog& form) {
        edited << dynamic_cast<TMainForm&>(form).cName->text();
        return 2;
    });
    for (const auto& [key, mods] : {std::pair{Qt::Key_End, Qt::NoModifier}, {Qt::Key_Home, Qt::NoModifier},
                                    {Qt::Key_PageDown, Qt::NoModifier}, {Qt::Key_Up, Qt::NoModifier},
                                    {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_Down, Qt::ControlModifier},
                                    {Qt::Key_End, Qt::ControlModifier}}) {
        QTest::keyClick(window->grid, key, mods);
        QTest::keyClick(window->grid, Qt::Key_F4);
    }
    EXPECT_EQ(edited, (QStringList{"smithers", "O'Brien Ltd", "smithers", "Acme 100%", "O'Brien Ltd", "Zeta_Corp",
                                   "smithers"}));
    // after Ctrl+End one row is flagged: the last
    EXPECT_EQ(window->grid->GetRowSelectCount(), 1);
    EXPECT_EQ(window->FirstSelectedRow(), window->grid->RowCount() - 1);
    database.commit();
}

TEST_F(ListView, SelectAllAndWebsiteNeedARow)
{
    clearSearch();
    window->RefreshGrid();
    window->selectAllAction->trigger();
    EXPECT_EQ(window->grid->GetRowSelectCount(), 5);
    search("name", "nobody");
    window->RefreshGrid();
    window->selectAllAction->trigger();
    EXPECT_EQ(window->grid->GetRowSelectCount(), 0);
    window->websiteAction->trigger();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Please use the mouse to select the customer first."});
}

// The contact list in the light, dark and high-contrast palettes: its
// header, its selected row and the rows of both bands read at 4.5:1 or better.
TEST_F(ListView, TheListReadsInEveryPalette)
{
    clearSearch();
    window->RefreshGrid();  // row 1 selected; rows 2 and 3 in the second and first band
    auto* g = window->grid;
    for (const NamedPalette& p : testPalettes()) {
        PaletteScope scope(p.palette);
        const QImage img = g->viewport()->grab().toImage();
        for (const auto& [part, row] : {std::pair{"header", 0}, {"selected", 1}, {"band 2", 2}, {"band 1", 3}}) {
            double worst = 21;
            for (int c = 1; c <= 4; ++c)  // ID, name, contact and telephone: every row has them
                worst = std::min(worst, textContrast(img, g->CellRect(c, row).ToQRect().adjusted(1, 1, -1, -1)));
            std::printf("contrast %s, contact list, %s: %.1f\n", p.name.c_str(), part, worst);
            EXPECT_GE(worst, platform::ReadableContrast) << p.name << " " << part;
        }
    }
}

// The window as a person sees it, saved for a look: three contacts listed.
TEST_F(MainWindowTest, ScreenshotOfThreeContacts)
{
    ASSERT_EQ(start(), -1);
    for (auto [id, name] : {std::pair{1, "Alpha Trading"}, {2, "Beta Supplies"}, {3, "Gamma Printing"}}) {
        Customer c;
        c.id = id;
        c.name = name;
        c.person = "Contact";
        c.telephone = "2345 6789";
        c.amount = 100.0f * id;
        insert(c);
    }
    ASSERT_TRUE(database.commit());
    window->RefreshGrid();
    EXPECT_EQ(window->StatusText(1), "Total Customer: 3");
    EXPECT_EQ(window->grid->Cells(2, 1), "Alpha Trading");
    EXPECT_EQ(window->grid->Cells(2, 2), "Beta Supplies");
    EXPECT_EQ(window->grid->Cells(2, 3), "Gamma Printing");
    const QImage shot = window->grab().toImage();
    const QString out = QString::fromLocal8Bit(qgetenv("QUILLET_ARTEFACTS"));
    const QString file = (out.isEmpty() ? QString::fromStdString(old.string()) : out) + "/main_window.png";
    EXPECT_TRUE(shot.save(file));
    // the grid is drawn: not one flat colour
    const QImage g = window->grid->grab().toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < g.height(); y += 3)
        for (int x = 0; x < g.width(); x += 3)
            colours.insert(g.pixel(x, y));
    EXPECT_GT(colours.size(), 3);
}

TEST_F(ListView, HeaderClickSortsTheRowsShown)
{
    clearSearch();
    window->RefreshGrid();
    const std::string query = window->QueryText();
    auto clickHeader = [&](int col) {
        const platform::Rect r = window->grid->CellRect(col, 0);
        QTest::mouseClick(window->grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2));
    };
    auto names = [&] {
        std::vector<std::string> v;
        for (int r = 1; r < window->grid->RowCount(); ++r)
            v.push_back(window->grid->Cells(2, r));
        return v;
    };
    clickHeader(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"Acme 100%", "O'Brien Ltd", "Smith & Sons", "Zeta_Corp", "smithers"}));
    clickHeader(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"smithers", "Zeta_Corp", "Smith & Sons", "O'Brien Ltd", "Acme 100%"}));
    // the rows carry their hidden object ids with them
    for (int r = 1; r < window->grid->RowCount(); ++r) {
        dbCursor<Customer> c;
        ASSERT_NE(c.at(dbReference<Customer>(window->RowOid(r))), nullptr);
        EXPECT_EQ(window->grid->Cells(2, r), c->name);
    }
    database.commit();
    EXPECT_EQ(window->QueryText(), query);
    EXPECT_EQ(window->sortBy->currentIndex(), 0);
    window->RefreshGrid();
    EXPECT_EQ(listed(), (std::vector<int>{1, 2, 3, 5, 7}));
}

TEST_F(ListView, WebsiteOpensTheSelectedContactsSite)
{
    platform::CapturingShell shell;
    clearSearch();
    window->RefreshGrid();
    window->grid->SetCells(8, 1, "www.obrien.example");
    window->websiteAction->trigger();
    ASSERT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(shell.launched[0].toString(), "http://www.obrien.example");

    window->grid->SetCells(8, 1, "  ");
    window->websiteAction->trigger();
    window->grid->SetCells(8, 1, "file:///bin/sh");
    window->websiteAction->trigger();
    EXPECT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(dialogs.Messages(), (QStringList{"Invalid website.", "Invalid website."}));
}

// A good address that the desktop cannot open is not called invalid.
TEST_F(ListView, NoBrowserIsNotAnInvalidWebsite)
{
    platform::CapturingShell shell;
    shell.result = false;
    clearSearch();
    window->RefreshGrid();
    window->grid->SetCells(8, 1, " www.obrien.example ");
    window->websiteAction->trigger();
    EXPECT_EQ(shell.launched.size(), 1);
    EXPECT_EQ(dialogs.Messages(), QStringList{"No web browser could be started to open www.obrien.example."});

    // the editor's Go says the same, and calls no other text a website
    dialogs.shown.clear();
    TMainForm editor(window.get());
    editor.website->setText("www.obrien.example");
    editor.websiteButtonClick();
    editor.website->setText("javascript:alert(1)");
    editor.websiteButtonClick();
    EXPECT_EQ(dialogs.Messages(),
              (QStringList{"No web browser could be started to open www.obrien.example.", "Invalid website."}));
    database.commit();
}

TEST_F(MainWindowTest, AnEmptyListHasNothingToSelect)
{
    ASSERT_EQ(start(), -1);
    window->RefreshGrid();
    ASSERT_EQ(window->grid->RowCount(), 1);
    const platform::Rect r = window->grid->CellRect(2, 0);
    QTest::mouseClick(window->grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2));
    QTest::mouseClick(window->grid->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2));
    window->grid->setFocus();
    QTest::keyClick(window->grid, Qt::Key_Space);
    QTest::keyClick(window->grid, Qt::Key_Down);
    QTest::keyClick(window->grid, Qt::Key_Space, Qt::ControlModifier);
    window->selectAllAction->trigger();
    EXPECT_EQ(window->grid->GetRowSelectCount(), 0);
    EXPECT_EQ(window->grid->LeftCol(), 0);
    window->websiteAction->trigger();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Please use the mouse to select the customer first."});
}

// The box round the dark (text) pixels of an area; empty when it has none.
static QRect inkBox(const QImage& img, const QRect& area)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(img.pixel(x, y)) < 100)
                box |= QRect(x, y, 1, 1);
    return box;
}

// How wide the dark (text) pixels of a cell reach.
static int inkWidth(const QImage& img, const platform::Rect& r)
{
    return inkBox(img, QRect(r.Left + 1, r.Top + 2, r.Width() - 2, r.Height() - 4)).width();
}

// At an 18-point font the columns grow with it: a telephone number is shown
// whole, and one too long for its column ends with an ellipsis (dots on the
// base line), never cut to another number.
TEST_F(ListView, AtALargeFontNumbersAreWholeOrEndWithAnEllipsis)
{
    const QFont kept = QApplication::font();
    QFont large = kept;
    large.setPointSize(18);
    QApplication::setFont(large);
    QApplication::processEvents();
    auto* g = window->grid;
    g->SetCells(4, 2, "5550001");
    g->SetCells(4, 3, "55500015550001555000155500015550001");
    const QImage img = g->viewport()->grab().toImage();
    const QFontMetrics metrics(g->Font().ToQFont(g->logicalDpiY()));
    EXPECT_GE(g->ColWidths(4), metrics.horizontalAdvance("5550001") + 8);
    const QRect whole = inkBox(img, g->CellRect(4, 2).ToQRect().adjusted(1, 1, -1, -1));
    EXPECT_GE(whole.width(), metrics.horizontalAdvance("5550001") - metrics.horizontalAdvance("5"));
    const QRect cut = inkBox(img, g->CellRect(4, 3).ToQRect().adjusted(1, 1, -1, -1));
    ASSERT_FALSE(cut.isEmpty());
    const QRect tail = inkBox(img, QRect(cut.right() - 2, cut.top(), 3, cut.height()));
    EXPECT_GT(tail.top(), cut.top() + cut.height() / 2) << "the last marks are dots";
    QApplication::setFont(kept);
    QApplication::processEvents();
    EXPECT_EQ(g->ColWidths(4), g->WidthAtFont(80));
}

TEST_F(MainWindowTest, NamesAreShownAsTypedNotAsMarkup)
{
    ASSERT_EQ(start(), -1);
    for (auto [id, name] : {std::pair{1, "Tom </ Jerry"}, {2, "Tom"}}) {
        Customer c;
        c.id = id;
        c.name = name;
        insert(c);
    }
    ASSERT_TRUE(database.commit());
    window->RefreshGrid();
    window->grid->SetRowSelect(1, false);
    window->grid->SetColWidths(2, 200);
    const QImage img = window->grid->viewport()->grab().toImage();
    EXPECT_GT(inkWidth(img, window->grid->CellRect(2, 1)), inkWidth(img, window->grid->CellRect(2, 2)) + 20);
}

// The editor a double click opens runs modally: the release of the double
// click goes to it, and the blocked main window never gets it. Once the
// editor is closed the grid holds no press: a move with no button held
// selects nothing more, the double-clicked row is the one the actions see,
// and the next click selects just its own row.
TEST_F(ListView, ADoubleClickThatOpensTheEditorLeavesNoPressBehind)
{
    auto* g = window->grid;
    QWindow* w = window->windowHandle();
    auto at = [&](int col, int row) {
        const platform::Rect r = g->CellRect(col, row);
        return g->viewport()->mapTo(window.get(), QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2));
    };
    const QPoint contact = at(1, 2);
    int editors = 0;
    SetModalRunner([&](QDialog& form) {
        editors += dynamic_cast<TMainForm*>(&form) != nullptr;
        ReleaseBehindModal(w, contact, Qt::LeftButton, &form);
        return 2;
    });
    const int interval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(5000);  // QTest puts 500 ms between a release and the next press
    QTest::mouseClick(w, Qt::LeftButton, {}, contact);
    QTest::mousePress(w, Qt::LeftButton, {}, contact);
    QApplication::setDoubleClickInterval(interval);
    ASSERT_EQ(editors, 1);
    EXPECT_EQ(window->FirstSelectedRow(), 2);

    QTest::mouseMove(w, at(1, 4));
    EXPECT_EQ(g->Selection().Bottom, 2);
    EXPECT_EQ(window->FirstSelectedRow(), 2);
    EXPECT_EQ(g->GetRowSelectCount(), 1);
    QTest::mouseClick(w, Qt::LeftButton, {}, at(1, 4));
    EXPECT_EQ(window->FirstSelectedRow(), 4);
    EXPECT_EQ(g->GetRowSelectCount(), 1);
}
