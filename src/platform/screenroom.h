// Windows that open inside the screen they open on, whatever size of font
// the desktop asks for: the window takes the size its content asks for, cut
// to the screen's free room, and a body that has no room scrolls, while the
// row of buttons under it stays in view. Call them on the user-interface
// thread, while the window is being built.
#pragma once

#include <QLayout>
#include <QList>

class QBoxLayout;
class QLineEdit;
class QSize;
class QWidget;

namespace platform {

// A row of buttons that goes on in a new row where the width has no room
// for the next button, so that each button keeps the width its caption asks
// for: natural widths gathered to one side, or equal columns (no more than
// `columns`) that share the width.
class ButtonRows : public QLayout {
public:
    enum Kind { Natural, EqualColumns };
    explicit ButtonRows(QWidget* parent = nullptr, Kind kind = Natural, Qt::Alignment side = Qt::AlignRight,
                        int columns = 0);
    ~ButtonRows() override;
    void addItem(QLayoutItem* item) override;
    int count() const override { return int(items_.size()); }
    QLayoutItem* itemAt(int index) const override { return items_.value(index); }
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return place(QRect(0, 0, width, 0), false); }
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // Lays the buttons out in `rect` (only measures unless `move`); the
    // height they take.
    int place(const QRect& rect, bool move) const;
    QList<QLayoutItem*> items_;
    Kind kind_;
    Qt::Alignment side_;
    int columns_;
};

// Makes the window's layout: a body that scrolls when the window is smaller
// than it, above the rows the caller adds to the returned layout (its
// buttons), which stay in view. Lay the window's controls out on `body`
// (their parent becomes the body when they join its layout). A combo box in
// the body takes the wheel only once it has the focus; without it, the wheel
// scrolls the body.
QBoxLayout* ScrollingBody(QWidget* window, QWidget*& body);

// When the window is first shown, gives it `wanted` grown to what its
// content asks for, cut to the free room of the screen it opens on (room
// kept for the frame); shown again, it keeps its size, cut to that room. A
// dialog then centres itself on its owner within that room.
void OpenWithinScreen(QWidget* window, const QSize& wanted);

// The free room of the window's screen, less what its frame takes (guessed
// before the window is first shown).
QSize RoomInside(const QWidget* window);

// Makes the edit at least as wide as `chars` digits of its font take, frame
// and margins included, so that a number that long is never cut; the width
// grows with the font.
void WidenForDigits(QLineEdit* edit, int chars);

}  // namespace platform
