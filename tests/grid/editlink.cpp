// A line edit plugged into the grid through an edit link: which keys it keeps,
// how Enter, the arrows and Escape end the edit, the pop-up style with its
// deactivation, and links that the grid meets before it has a text editor or
// that have no control at all.
#include "editgrid.h"

#include <QLineEdit>
#include <QPointer>

#include <gtest/gtest.h>

using namespace grid;

namespace {

// The control is made on first use and again after a pop-up took it along.
class LineLink : public TEditLink {
public:
    QPointer<QLineEdit> Edit;
    std::vector<std::string> Written;  // every value the link handed to its cell
    QWidget* GetEditControl() override { return Edit; }
    void CreateEditor(QWidget* AParent) override
    {
        if (!Edit) {
            Edit = new QLineEdit(AParent);
            Edit->setFrame(false);
            Edit->installEventFilter(this);
        } else if (Edit->parentWidget() != AParent) {
            Edit->setParent(AParent);
        }
    }
    std::string GetEditorValue() override
    {
        Written.push_back(Edit->text().toStdString());
        return Written.back();
    }
    void SetEditorValue(const std::string& S) override { Edit->setText(QString::fromStdString(S)); }
};

// A link whose control lives elsewhere: the grid has nothing to place or type into.
class NoControlLink : public TEditLink {
public:
    std::string GetEditorValue() override { return "kept"; }
};

class EditLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        e.types[{1, 1}] = edCustom;
        e.g.SetCells(1, 1, "old");
        e.g.EditLink = &link;
    }
    void key(Qt::Key K)
    {
        QTest::keyClick(QApplication::focusWidget(), K);
        QApplication::processEvents();
    }
    QPoint cell() const { return {e.g.Col(), e.g.Row()}; }
    LineLink link;
    EditGrid e;
};

}  // namespace

TEST_F(EditLinkTest, WantedKeysStayInTheControl)
{
    link.WantKeyUpDown = true;
    e.edit(1, 1);
    ASSERT_TRUE(link.Edit && link.Edit->hasFocus());
    EXPECT_EQ(link.Edit->geometry(), QRect(e.g.CellRect(1, 1).ToQRect().topLeft(),
                                           e.g.CellRect(1, 1).ToQRect().size() - QSize(1, 1) * e.g.GridLineWidth()));
    for (Qt::Key k : {Qt::Key_Down, Qt::Key_Up, Qt::Key_Home}) {
        key(k);
        EXPECT_TRUE(e.g.EditActive()) << k;
        EXPECT_TRUE(link.Edit->hasFocus()) << k;
        EXPECT_EQ(cell(), QPoint(1, 1)) << k;
    }
    EXPECT_EQ(link.Edit->cursorPosition(), 0);  // Home moved the caret
}

TEST_F(EditLinkTest, DownWritesAndMovesOn)
{
    e.edit(1, 1);
    link.Edit->setText("new");
    key(Qt::Key_Down);
    EXPECT_FALSE(e.g.EditActive());
    EXPECT_FALSE(link.Edit->isVisible());
    EXPECT_EQ(e.g.Cells(1, 1), "new");
    EXPECT_EQ(cell(), QPoint(1, 2));
}

TEST_F(EditLinkTest, EscapeBringsBackTheOldText)
{
    e.edit(1, 1);
    link.Edit->setText("new");
    key(Qt::Key_Escape);
    EXPECT_EQ(link.Written, std::vector<std::string>{"new"});  // the control's exit wrote first
    EXPECT_EQ(e.g.Cells(1, 1), "old");
    EXPECT_FALSE(e.g.EditActive());
    EXPECT_TRUE(e.g.hasFocus());
}

TEST_F(EditLinkTest, PopupOpensAtTheCellAndWritesOnDeactivation)
{
    link.EditStyle = esPopup;
    link.PopupWidth = 150;
    link.PopupHeight = 90;
    TEditLink* seen = nullptr;
    QWidget* popupSeen = nullptr;
    e.g.OnGetEditorProp = [&](RIvuZuvuzoZuvu*, int ACol, int ARow, TEditLink* L) {
        EXPECT_EQ(QPoint(ACol, ARow), QPoint(1, 1));
        seen = L;
        popupSeen = L->PopupForm();
    };
    ASSERT_EQ(e.g.InplaceEditor(), nullptr);  // the grid has not edited text yet
    e.edit(1, 1);
    EXPECT_EQ(seen, &link);
    QPointer<QWidget> popup = link.PopupForm();
    ASSERT_TRUE(popup && popup == popupSeen);
    EXPECT_EQ(popup->geometry(),
              QRect(e.g.viewport()->mapToGlobal(e.g.CellRect(1, 1).ToQRect().topLeft()), QSize(150, 90)));
    EXPECT_EQ(link.Edit->window(), popup.data());
    link.Edit->setText("popped");
    popup->close();  // as a click outside it does
    QApplication::processEvents();
    EXPECT_EQ(e.g.Cells(1, 1), "popped");
    EXPECT_FALSE(e.g.EditActive());
    EXPECT_EQ(link.PopupForm(), nullptr);
    EXPECT_TRUE(popup.isNull());  // freed
    ASSERT_NE(e.g.InplaceEditor(), nullptr);  // made when the pop-up went

    // Keys end a pop-up edit as they end one in the cell.
    for (Qt::Key k : {Qt::Key_Escape, Qt::Key_Return}) {
        e.g.activateWindow();
        e.edit(1, 1);
        popup = link.PopupForm();
        ASSERT_TRUE(popup && link.Edit->hasFocus());
        link.Edit->setText("keyed");
        key(k);
        EXPECT_TRUE(popup.isNull()) << k;
        EXPECT_FALSE(e.g.EditActive()) << k;
        EXPECT_EQ(e.g.Cells(1, 1), k == Qt::Key_Escape ? "popped" : "keyed") << k;
    }
}

TEST_F(EditLinkTest, LinkWithoutControlStartsAndEnds)
{
    NoControlLink bare;
    e.g.EditLink = &bare;
    int props = 0;
    e.g.OnGetEditorProp = [&](RIvuZuvuzoZuvu*, int, int, TEditLink*) { ++props; };
    e.edit(1, 1, "z");  // a start character with nobody to type it to
    EXPECT_EQ(props, 1);
    EXPECT_TRUE(e.g.EditActive());
    EXPECT_EQ(e.g.Cells(1, 1), "old");
    e.click(3, 3);
    EXPECT_FALSE(e.g.EditActive());
    EXPECT_EQ(e.g.Cells(1, 1), "old");

    e.g.EditLink = nullptr;  // and without a link the cell gets no editor
    e.edit(1, 1);
    EXPECT_FALSE(e.g.EditActive());
}
