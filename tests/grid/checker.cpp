// The cell checker: its flags, the capitalising checker, the tag-aware
// highlighter, checking ranges of cells, and the checker's part in validating
// an edited cell (typed through the in-place editor).
#include "inputfixture.h"
#include "grid/cellcheck.h"
#include "platform/dialogs.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace grid;
using G = RIvuZuvuzoZuvu;

namespace {

// Marks texts holding "bad" and counts its brackets.
struct MarkingCheck : RIvuZuvuzoZuvuCheck {
    int starts = 0, stops = 0;
    bool throwOn = false;
    std::string MarkError(int, int, const std::string& S) override
    {
        if (throwOn && S.find("boom") != std::string::npos)
            throw std::runtime_error("The checker failed.");
        return "<e>" + S + "</e>";
    }
    void StartCheck() override { ++starts; }
    void StopCheck() override { ++stops; }
};

// Types Text into cell (1, 1) of an editable grid and leaves it with Enter.
void typeInto(InputGrid& t, const char* Text)
{
    t.click(t.center(1, 1));
    t.key(Qt::Key_F2);
    ASSERT_TRUE(t.g.EditorMode());
    platform::InplaceEdit* editor = t.g.InplaceEditor();
    editor->selectAll();
    QTest::keyClicks(editor, Text);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
}

}  // namespace

TEST(CellChecker, TextOperations)
{
    const RIvuZuvuzoZuvuCheck base;
    EXPECT_FALSE(base.GotoCell || base.AutoCorrect || base.AutoMarkError || base.UseCorrect || base.UseMarkError);

    TCapitalCheck cap;
    const struct { const char* in; const char* out; } capitals[] = {
        {"hello. world", "Hello. World"}, {"hello.world", "Hello.world"}, {"one.  two", "One.  two"},
        {"ok! yes? no", "Ok! Yes? No"},   {"", ""},                       {"é. é", "é. é"},
    };
    for (const auto& c : capitals)
        EXPECT_EQ(cap.Correct(1, 1, c.in), c.out) << c.in;

    EXPECT_EQ(RIvuZuvuzoZuvuCheck::ReplaceOnce("abab", "ab", "x"), "xab");
    EXPECT_EQ(RIvuZuvuzoZuvuCheck::ReplaceOnce("abab", "zz", "x"), "abab");
    EXPECT_EQ(RIvuZuvuzoZuvuCheck::ReplaceOnce("abab", "", "x"), "abab");

    const struct { const char* s; const char* hi; bool doCase; const char* out; } marks[] = {
        {"<b>x</b> word", "word", false, "<b>x</b> <u>word</u>"},
        {"Word word", "word", true, "Word <u>word</u>"},
        {"Word word", "word", false, "<u>Word</u> <u>word</u>"},
        {"a<BR>word", "word", false, "a<BR><u>word</u>"},   // a line break is CR LF, not a tag
        {"a<hr>b<br>word", "word", false, "a<hr>b<br><u>word</u>"},
        {"a<BR>b", "a\r\nb", false, "<u>a<BR>b</u>"},
        {"anything", "", false, "anything"},                // nothing to search for
        {"aaaa", "aa", true, "<u>aa</u><u>aa</u>"},
    };
    for (const auto& m : marks)
        EXPECT_EQ(RIvuZuvuzoZuvuCheck::HiLight(m.s, m.hi, "u", m.doCase), m.out) << m.s;
    // The grid's own highlighting takes "<BR>" for a tag like any other.
    G g;
    EXPECT_EQ(g.HilightText(false, "a<BR>word", "aw"), "<hi>a<BR>w</hi>ord");
}

TEST(CellChecker, CheckingARangeCorrectsOnceAndPutsTheCurrentCellBack)
{
    InputGrid t(4, 4);
    TCapitalCheck cap;
    cap.UseCorrect = true;
    cap.GotoCell = true;
    t.g.CellChecker = &cap;
    t.g.SetCells(1, 1, "hello. world");
    t.g.SetCells(3, 2, "one. two");
    t.g.SetCol(2);
    t.g.SetRow(3);
    EXPECT_FALSE(t.g.CheckCells(1, 1, 3, 2));
    EXPECT_EQ(t.g.Cells(1, 1), "Hello. World");
    EXPECT_EQ(t.g.Cells(3, 2), "One. Two");
    EXPECT_EQ(t.g.Cells(2, 3), "r3c2");  // outside the range
    EXPECT_EQ(t.g.Col(), 2);
    EXPECT_EQ(t.g.Row(), 3);
    EXPECT_TRUE(t.g.CheckCells(1, 1, 3, 2));

    // A checker that throws gets its StopCheck; the current cell comes back.
    MarkingCheck mark;
    mark.UseMarkError = mark.GotoCell = mark.throwOn = true;
    t.g.CellChecker = &mark;
    t.g.SetCells(2, 1, "boom");
    EXPECT_THROW(t.g.CheckCells(1, 1, 3, 1), std::runtime_error);
    EXPECT_EQ(mark.starts, 1);
    EXPECT_EQ(mark.stops, 1);
    EXPECT_EQ(t.g.Cells(2, 1), "boom");
    EXPECT_EQ(t.g.Col(), 2);
    EXPECT_EQ(t.g.Row(), 3);
}

TEST(CellChecker, ValidatingAnEditedCell)
{
    InputGrid t(4);
    t.g.SetOptions((t.g.Options() & ~platform::goRowSelect) | platform::goEditing);
    TCapitalCheck cap;
    cap.AutoCorrect = true;
    t.g.CellChecker = &cap;
    std::string seen;
    t.g.OnCellValidate = [&](G*, int, int, std::string& value, bool&) {
        seen = value;
        if (value == "boom")
            throw std::runtime_error("Validation failed.");
    };
    typeInto(t, "hello. world");
    EXPECT_EQ(seen, "Hello. World");
    EXPECT_EQ(t.g.Cells(1, 1), "Hello. World");

    // Marking comes after the handler, on the value it returned.
    MarkingCheck mark;
    mark.AutoMarkError = true;
    t.g.CellChecker = &mark;
    t.g.OnCellValidate = [&](G*, int, int, std::string& value, bool&) {
        seen = value;
        value = "bad " + value;
    };
    t.g.SetRow(2);
    typeInto(t, "word");
    EXPECT_EQ(seen, "word");
    EXPECT_EQ(t.g.Cells(1, 1), "<e>bad word</e>");

    // A failing checker: the text from before editing stays, the error box
    // tells, and the grid goes on editing.
    platform::ScriptedDialogs script;
    mark.throwOn = true;
    t.g.OnCellValidate = nullptr;
    t.g.SetRow(2);
    typeInto(t, "boom");
    EXPECT_EQ(script.Errors(), QStringList{"The checker failed."});
    EXPECT_EQ(t.g.Cells(1, 1), "<e>bad word</e>");
    mark.throwOn = false;
    t.g.SetRow(2);
    typeInto(t, "fine");
    EXPECT_EQ(t.g.Cells(1, 1), "<e>fine</e>");
}
