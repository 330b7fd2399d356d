// The combo editor reports what the user does to it, and only that: a pick
// from the list with the item's object, typing with item -1, a turn of the
// wheel (kept within the list), never the grid's own filling of it.
#include "editgrid.h"

#include <QAbstractItemView>
#include <QWheelEvent>

#include <gtest/gtest.h>

using namespace grid;

namespace {

struct Change {
    QObject* Sender;
    int Col, Row, Index;
    std::string Text;
    platform::Object* Object;  // nullptr for OnComboChange
    bool operator==(const Change&) const = default;
};

class ComboNotifyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 3; ++i)
            e.g.AddComboStringObject(names[i], &objects[i]);
        e.g.OnComboChange = [this](QObject* S, int c, int r, int i, const std::string& t) {
            changes.push_back({S, c, r, i, t, nullptr});
        };
        e.g.OnComboObjectChange = [this](QObject* S, int c, int r, int i, const std::string& t, platform::Object* o) {
            changes.push_back({S, c, r, i, t, o});
        };
        e.types[{2, 3}] = edComboList;
        e.types[{3, 3}] = edComboEdit;
    }
    void wheel(int Delta)
    {
        QWheelEvent w(QPointF(5, 5), e.g.Combo()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, Delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(e.g.Combo(), &w);
    }
    const char* names[3] = {"zero", "one", "two"};
    platform::Object objects[3];
    std::vector<Change> changes;
    EditGrid e;
};

}  // namespace

TEST_F(ComboNotifyTest, MousePickReportsItemAndObject)
{
    e.g.SetCells(2, 3, "zero");
    e.edit(2, 3);
    TGridCombo* combo = e.g.Combo();
    ASSERT_TRUE(combo->isVisible());
    EXPECT_TRUE(changes.empty());  // showing and filling report nothing

    QTest::mouseClick(combo, Qt::LeftButton, Qt::NoModifier, combo->rect().center());
    QAbstractItemView* list = combo->view();
    ASSERT_TRUE(list->isVisible());
    QTest::qWait(QApplication::doubleClickInterval() + 50);  // the list ignores a release right after opening
    const QPoint item = list->visualRect(list->model()->index(2, 0)).center();
    QTest::mouseMove(list->viewport(), item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, item);
    EXPECT_EQ(changes, (std::vector<Change>{{&e.g, 2, 3, 2, "two", nullptr}, {&e.g, 2, 3, 2, "two", &objects[2]}}));
}

TEST_F(ComboNotifyTest, TypingReportsTheText)
{
    e.g.SetCells(3, 3, "");
    e.edit(3, 3);
    ASSERT_TRUE(e.g.Combo()->isVisible());
    EXPECT_TRUE(changes.empty());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_X);
    EXPECT_EQ(changes, (std::vector<Change>{{&e.g, 3, 3, -1, "x", nullptr}}));
}

TEST_F(ComboNotifyTest, WheelStaysWithinTheList)
{
    struct Case {
        const char* Start;
        int Delta, Index;
    } cases[] = {{"one", -120, 2}, {"two", -120, 2}, {"zero", 120, 0}, {"one", 120, 0}};
    for (const Case& c : cases) {
        e.g.SetCells(2, 3, c.Start);
        e.edit(2, 3);
        ASSERT_TRUE(e.g.Combo()->isVisible());
        changes.clear();
        wheel(c.Delta);
        QObject* combo = e.g.Combo();
        const std::string name = names[c.Index];
        EXPECT_EQ(changes, (std::vector<Change>{{combo, 2, 3, c.Index, name, nullptr},
                                                {combo, 2, 3, c.Index, name, &objects[c.Index]}}))
            << c.Start << " " << c.Delta;
        EXPECT_EQ(e.g.Combo()->currentIndex(), c.Index);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }
}
