// The grid's text editor: the character filters per editor type, the start
// character passing the filter, and the full field.
#include "editgrid.h"

#include "platform/beep.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>

#include <gtest/gtest.h>

using namespace grid;

namespace {

class EditingTest : public ::testing::Test {
protected:
    // Starts editing (c, 1) of type T holding Text, caret placed at Caret.
    platform::InplaceEdit* open(TEditorType T, const char* Text, int Caret = -1)
    {
        e.types[{1, 1}] = T;
        e.g.SetCells(1, 1, Text);
        e.edit(1, 1);
        platform::InplaceEdit* ed = e.g.InplaceEditor();
        if (ed && Caret >= 0) {
            ed->deselect();
            ed->setCursorPosition(Caret);
        }
        return ed;
    }
    std::string typed(platform::InplaceEdit* Ed, const char* Keys)
    {
        QTest::keyClicks(Ed, QString::fromUtf8(Keys));
        return Ed->text().toStdString();
    }
    EditGrid e;
};

}  // namespace

TEST_F(EditingTest, NumericKinds)
{
    platform::InplaceEdit* ed = open(edNumeric, "12", 0);
    ASSERT_TRUE(ed && e.g.EditorMode());
    int beeps = platform::BeepCount();
    EXPECT_EQ(typed(ed, "-"), "-12");
    EXPECT_EQ(typed(ed, "-"), "-12");
    EXPECT_EQ(platform::BeepCount(), beeps + 1);
    e.click(4, 5);

    // The starting character goes through the filter too.
    e.types[{1, 1}] = edNumeric;
    e.g.SetCells(1, 1, "12");
    beeps = platform::BeepCount();
    e.edit(1, 1, "a");
    ASSERT_TRUE(e.g.EditorMode());
    EXPECT_EQ(e.g.InplaceEditor()->text(), "12");
    EXPECT_EQ(platform::BeepCount(), beeps + 1);
    e.click(4, 5);

    // Composed characters pass the same filter.
    ed = open(edNumeric, "", 0);
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00e97"));
    QApplication::sendEvent(ed->Field(), &composed);
    EXPECT_EQ(ed->text(), "7");
    e.click(4, 5);

    ed = open(edPositiveNumeric, "5", 1);
    beeps = platform::BeepCount();
    EXPECT_EQ(typed(ed, "a-7"), "57");
    EXPECT_EQ(platform::BeepCount(), beeps + 2);
    e.click(4, 5);

    ed = open(edFloat, "1.5", 3);
    beeps = platform::BeepCount();
    EXPECT_EQ(typed(ed, ",x"), "1.5");
    EXPECT_EQ(platform::BeepCount(), beeps);
    ed->setSelection(1, 1);
    EXPECT_EQ(typed(ed, ","), "1,5");
}

TEST_F(EditingTest, CaseKindsAndFullField)
{
    platform::InplaceEdit* ed = open(edMixedCase, "", 0);
    EXPECT_EQ(typed(ed, "mary o'neil-smith"), "Mary O'Neil-Smith");
    e.click(4, 5);
    ed = open(edUpperCase, "", 0);
    EXPECT_EQ(typed(ed, "abc"), "ABC");
    e.click(4, 5);
    ed = open(edLowerCase, "", 0);
    EXPECT_EQ(typed(ed, "AbC"), "abc");
    e.click(4, 5);

    e.g.SetMaxEditLength(4);
    ed = open(edNormal, "abcd", 4);
    EXPECT_EQ(typed(ed, "e"), "abcd");
    QTest::keyClick(ed, Qt::Key_Backspace);
    EXPECT_EQ(ed->text(), "abc");
}

TEST_F(EditingTest, PasteIsAllOrNothing)
{
    struct Case {
        TEditorType type;
        const char* cell;
        const char* clip;
        const char* result;
    } cases[] = {
        {edFloat, "1.5", "abc", "1.5"},          // letters are no float
        {edPositiveNumeric, "", "-3", "-3"},     // the paste test is the integer test
        {edNumeric, "12", "x", "12"},
        {edMixedCase, "", "ann o'hara", "Ann O'Hara"},
        {edUpperCase, "", "abc", "ABC"},
        {edNormal, "", "one\r\ntwo", "one\r\ntwo"},
    };
    for (const Case& c : cases) {
        platform::InplaceEdit* ed = open(c.type, c.cell, 0);
        QApplication::clipboard()->setText(QString::fromUtf8(c.clip));
        QTest::keyClick(ed, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(ed->CellText(), c.result) << c.clip;
        e.click(4, 5);
    }

    // The events see the editor as sender and may refuse.
    std::vector<QObject*> senders;
    bool allow = false;
    const auto handler = [&](QObject* Sender, bool& Allow) {
        senders.push_back(Sender);
        Allow = allow;
    };
    e.g.OnClipboardCopy = e.g.OnClipboardCut = e.g.OnClipboardPaste = handler;
    platform::InplaceEdit* ed = open(edNormal, "abc");
    QApplication::clipboard()->setText("zz");
    for (Qt::Key k : {Qt::Key_C, Qt::Key_X, Qt::Key_V})
        QTest::keyClick(ed, k, Qt::ControlModifier);
    EXPECT_EQ(ed->text(), "abc");
    EXPECT_EQ(QApplication::clipboard()->text(), "zz");
    EXPECT_EQ(senders, std::vector<QObject*>(3, ed));
    allow = true;
    QTest::keyClick(ed, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(ed->text(), "");
    EXPECT_EQ(QApplication::clipboard()->text(), "abc");
}

TEST_F(EditingTest, EnterEndsAdvancesOrBreaksTheLine)
{
    // A full field takes no more characters; Enter still ends the edit and advances only with AdvanceOnEnter.
    e.g.SetMaxEditLength(4);
    for (bool advance : {false, true}) {
        e.g.Navigation->AdvanceOnEnter = advance;
        platform::InplaceEdit* ed = open(edNormal, "abcd", 4);
        EXPECT_EQ(typed(ed, "e"), "abcd");
        QTest::keyClick(ed, Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(e.g.Col(), advance ? 2 : 1);
        EXPECT_EQ(e.g.Cells(1, 1), "abcd");
        e.click(4, 5);
    }
    e.g.SetMaxEditLength(0);
    e.g.Navigation->AdvanceOnEnter = false;

    // With LineFeedOnEnter Enter makes a line, Up stays inside, Ctrl+Enter ends the edit.
    e.g.Navigation->LineFeedOnEnter = true;
    platform::InplaceEdit* ed = open(edNormal, "", 0);
    ASSERT_TRUE(ed->isMultiLine());
    typed(ed, "one");
    QTest::keyClick(ed, Qt::Key_Return);
    typed(ed, "two");
    QTest::keyClick(ed, Qt::Key_Up);
    EXPECT_TRUE(e.g.EditorMode());
    EXPECT_EQ(e.g.Row(), 1);
    EXPECT_EQ(ed->lineFromChar(ed->cursorPosition()), 0);
    QTest::keyClick(ed, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(e.g.EditorMode());
    EXPECT_EQ(e.g.Cells(1, 1), "one\r\ntwo");

    // A visit that changes nothing leaves the bytes alone (a lone CR stays).
    e.g.SetCells(2, 2, "a\rb");
    e.edit(2, 2);
    EXPECT_EQ(e.g.InplaceEditor()->text(), "a\nb");
    e.click(4, 5);
    EXPECT_EQ(e.g.Cells(2, 2), "a\rb");
}

TEST_F(EditingTest, LookupCompletesAndLearns)
{
    const std::vector<std::string> items{"Apple", "Apricot"};
    e.g.SetLookupItems(&items);
    e.g.Lookup = true;
    e.g.LookupHistory = true;
    platform::InplaceEdit* ed = open(edNormal, "", 0);
    EXPECT_EQ(typed(ed, "ap"), "apple");
    EXPECT_EQ(ed->selectedText(), "ple");
    EXPECT_EQ(typed(ed, "r"), "apricot");
    QTest::keyClick(ed, Qt::Key_Backspace);  // takes the selection, completes nothing
    EXPECT_EQ(ed->text(), "apr");
    e.click(4, 5);
    EXPECT_EQ(e.g.Cells(1, 1), "apr");
    EXPECT_EQ(e.g.LookupItems(), (std::vector<std::string>{"Apple", "Apricot", "apr"}));

    // Nothing after the caret is replaced.
    ed = open(edNormal, "apXYZ", 2);
    QTest::keyClick(ed, Qt::Key_Shift);
    EXPECT_EQ(ed->text(), "apXYZ");
}

TEST_F(EditingTest, EscapeWalkAndValidation)
{
    platform::InplaceEdit* ed = open(edNormal, "before", 6);
    typed(ed, "123");
    QTest::keyClick(ed, Qt::Key_Escape);
    EXPECT_FALSE(e.g.EditorMode());
    EXPECT_EQ(e.g.Cells(1, 1), "before");

    // The caret walks out at the end of the text into the next editable cell.
    e.g.Navigation->CursorWalkEditor = true;
    e.g.OnCanEditCell = [](RIvuZuvuzoZuvu*, int, int ACol, bool& CanEdit) { CanEdit = ACol != 2; };
    ed = open(edNormal, "x", 1);
    typed(ed, "y");
    QTest::keyClick(ed, Qt::Key_Right);
    EXPECT_EQ(QPoint(e.g.Col(), e.g.Row()), QPoint(3, 1));
    EXPECT_TRUE(e.g.EditorMode());
    EXPECT_EQ(e.g.Cells(1, 1), "xy");
    QTest::keyClick(e.g.InplaceEditor(), Qt::Key_Home);
    QTest::keyClick(e.g.InplaceEditor(), Qt::Key_Left);
    EXPECT_EQ(e.g.Col(), 1);
    e.click(4, 5);
    e.g.OnCanEditCell = nullptr;
    e.g.Navigation->CursorWalkEditor = false;

    // A refused value on Enter: the editor stays, with the cell's text back.
    e.g.OnCellValidate = [](RIvuZuvuzoZuvu*, int, int, std::string&, bool& Valid) { Valid = false; };
    ed = open(edNormal, "keep", 4);
    typed(ed, "!");
    QTest::keyClick(ed, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(e.g.EditorMode());
    EXPECT_EQ(e.g.InplaceEditor()->text(), "keep");
    EXPECT_EQ(e.g.Cells(1, 1), "keep");
}

TEST_F(EditingTest, FieldFollowsTheCell)
{
    // Passwords edit on a masked line; right-aligned cells edit right-aligned.
    platform::InplaceEdit* ed = open(edPassword, "secret");
    EXPECT_FALSE(ed->isMultiLine());
    auto* line = qobject_cast<QLineEdit*>(ed->Field());
    ASSERT_TRUE(line);
    EXPECT_EQ(line->echoMode(), QLineEdit::Password);
    EXPECT_EQ(line->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, line), u'*');
    EXPECT_EQ(ed->selectedText(), "secret");
    e.click(4, 5);
    for (int i = 0; i < 3; ++i) {  // a password cell after another cell makes no further style
        open(edNormal, "x");
        e.click(4, 5);
        open(edPassword, "y");
        e.click(4, 5);
    }
    EXPECT_EQ(line->findChildren<QStyle*>(Qt::FindDirectChildrenOnly).size(), 1);
    e.g.OnGetAlignment = [](RIvuZuvuzoZuvu*, int, int, TAlignment& H, TVAlignment&) { H = taRightJustify; };
    ed = open(edNormal, "12");
    EXPECT_TRUE(ed->isMultiLine());
    EXPECT_TRUE(static_cast<TGridInplaceEdit*>(ed)->RightAligned());
    EXPECT_GT(ed->posFromChar(0).x(), ed->width() / 2);
    const platform::Rect r = e.g.CellRect(1, 1);
    EXPECT_EQ(ed->geometry(), QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
    e.g.SetWordWrap(true);
    EXPECT_EQ(static_cast<QPlainTextEdit*>(ed->Field())->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    e.click(4, 5);
    e.g.OnGetAlignment = nullptr;

    // A click that opens the editor puts the caret under it.
    e.g.MouseActions->CaretPositioning = true;
    e.g.SetCells(2, 2, "abcdef");
    e.click(2, 2);
    const platform::Rect c = e.g.CellRect(2, 2);
    QTest::mouseClick(e.g.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(c.Left + 5, (c.Top + c.Bottom) / 2));
    ASSERT_TRUE(e.g.EditorMode());
    EXPECT_FALSE(e.g.InplaceEditor()->hasSelectedText());
    EXPECT_LE(e.g.InplaceEditor()->cursorPosition(), 1);

    // A double click in the editor is the cell's.
    QPoint clicked;
    e.g.OnDblClickCell = [&](RIvuZuvuzoZuvu*, int ARow, int ACol) { clicked = {ACol, ARow}; };
    QTest::mouseDClick(static_cast<QPlainTextEdit*>(e.g.InplaceEditor()->Field())->viewport(), Qt::LeftButton);
    EXPECT_EQ(clicked, QPoint(2, 2));
    e.click(4, 5);

    // Without a click the first character is selected when asked.
    e.g.Navigation->ImproveMaskSel = true;
    ed = open(edNormal, "xyz");
    EXPECT_EQ(ed->selectedText(), "x");
}

TEST_F(EditingTest, FullFieldAdvancesAutomatically)
{
    e.g.SetMaxEditLength(3);
    e.g.Navigation->AdvanceAuto = true;
    e.g.Navigation->AdvanceOnEnter = true;
    platform::InplaceEdit* ed = open(edNumeric, "", 0);
    typed(ed, "12");
    EXPECT_EQ(e.g.Col(), 1);
    typed(ed, "3");
    QApplication::processEvents();
    EXPECT_EQ(e.g.Col(), 2);
    EXPECT_EQ(e.g.Cells(1, 1), "123");
}

TEST_F(EditingTest, GrowsWhileTyping)
{
    e.g.SizeWhileTyping->Width = true;
    platform::InplaceEdit* ed = open(edNormal, "", 0);
    const int before = e.g.ColWidths(1);
    typed(ed, "a rather long text for one cell");
    EXPECT_GT(e.g.ColWidths(1), before);
    EXPECT_EQ(ed->width(), e.g.ColWidths(1) - 1);
    EXPECT_EQ(e.g.Cells(1, 1), "");  // the cell takes the text when the edit ends

    e.g.SizeWhileTyping->Height = true;
    e.g.Multilinecells = true;
    const int height = e.g.RowHeights(1);
    QTest::keyClick(ed, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_GT(e.g.RowHeights(1), height);
    EXPECT_TRUE(e.g.EditorMode());
    EXPECT_EQ(ed->text().count(u'\n'), 1);
}

TEST(EditProgressTest, ReportsTheCaretAndTheEnd)
{
    struct Grid : RIvuZuvuzoZuvu {
        std::vector<int> reports;
        void EditProgress(const std::string&, QPoint Point, int Progress) override
        {
            reports.push_back(Progress);
            points.push_back(Point);
        }
        std::vector<QPoint> points;
    } g;
    g.SetOptions((g.Options() | platform::goEditing) & ~platform::goRowSelect);
    g.show();
    (void)QTest::qWaitForWindowExposed(&g);
    g.setFocus();
    QTest::keyClick(&g, Qt::Key_F2);
    ASSERT_TRUE(g.EditorMode());
    g.InplaceEditor()->setText("");
    QTest::keyClicks(g.InplaceEditor(), "ab");
    g.setFocus();
    EXPECT_EQ(g.reports, (std::vector<int>{1, 2, -1}));
    ASSERT_EQ(g.points.size(), 3u);
    EXPECT_LT(g.points[0].x(), g.points[1].x());
    EXPECT_EQ(g.points[2], QPoint(-1, -1));
}
