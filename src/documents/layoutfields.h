// What the layout windows (cheque, envelope) share in reading and writing
// their records: numbers typed in edits, checked against the width of the
// field that stores them, item fonts and colours, stored byte arrays and the
// texts of a contact written back, and the table of a window's printed items
// (LayoutTable) that builds their controls, shows a layout, reads it back and
// draws it. Every reader raises platform::EConvertError with the text it could
// not take, before the caller has changed anything.
#pragma once

#include "appcore/schema.h"
#include "documents/chequepage.h"
#include "platform/accessibility.h"
#include "platform/color.h"
#include "platform/logfont.h"

#include <QBoxLayout>
#include <QByteArray>
#include <QColor>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QRadioButton>
#include <QString>

#include <functional>
#include <initializer_list>
#include <type_traits>
#include <variant>
#include <vector>

class QAction;
class QGridLayout;
class QKeyEvent;
class QLabel;
class TPvPreview;
class QWidget;

// A whole number from -32768 to 32767 (a 16-bit position or length).
int2 ReadInt2(const QLineEdit* edit);
// A whole number that 32 bits hold.
int4 ReadInt4(const QLineEdit* edit);
// A page side in millimetres, as its 4-byte field keeps it and a page can have it.
real4 ReadReal4(const QLineEdit* edit);

// A layout item's font record and colour: what the preview and the paper
// show. The edits on the screen keep the desktop's font and colours, so that
// the text reads in every palette and at every font size.
struct LayoutItemStyle {
    platform::LogFont font;
    platform::TColor color = 0;
};
platform::LogFont LayoutFont(const char* face, int pixels);
// The font request preset with the style; on OK the style takes the pick and
// the result is true.
bool PickItemStyle(LayoutItemStyle& style, QWidget* owner);
// From a record's font bytes and colour (a damaged font record keeps the font).
void ReadItemStyle(LayoutItemStyle& style, const dbArray<int1>& font, int4 color);
void WriteItemStyle(const LayoutItemStyle& style, dbArray<int1>& font, int4& color);

// An edit of a layout window: numbers get a narrow one.
QLineEdit* LayoutEdit(QWidget* window, const QString& text, int width = 60);
// An action of a layout window on its key, with its button ("caption key")
// added to `buttons` and the action to `actions`.
QAction* AddLayoutAction(QWidget* window, QLayout* buttons, QList<QAction*>& actions, const QString& caption,
                         Qt::Key key, const std::function<void()>& handler);

// The picture request (.jpg, .bmp). A ".jpg" or ".bmp" file that loads
// replaces `picture`; any other name loads nothing. False when the request was
// cancelled or the file could not be read (the user has been told why); the
// picture is then as it was.
bool PickLayoutPicture(QImage& picture, QWidget* owner);

// A row of widgets without margins (an item's text with its neighbours, a
// picture's buttons); `stretch` pushes them to the left.
QWidget* LayoutBox(QWidget* window, std::initializer_list<QWidget*> widgets, bool stretch);

// Makes the controls of a layout window's printed items, owned by the window.
struct LayoutMaker {
    QWidget* window;
    QLineEdit* operator()(const char* mm) const { return LayoutEdit(window, mm); }  // a position
    QLineEdit* text(const QString& text, int width) const { return LayoutEdit(window, text, width); }
    QPushButton* font() const;
    // A picture's "Add an image" and "Delete an image" buttons, in their box.
    QWidget* pictureButtons(QPushButton*& add, QPushButton*& remove, bool stretch) const;
};

// A click of the button runs the handler, for as long as the window lives.
void OnLayoutButton(QPushButton* button, QWidget* window, const std::function<void()>& handler);

bool IsEnterKey(const QKeyEvent& key);
// A key pressed in one of a layout window's edits: Enter redraws and selects
// the edit's text. True when the key was Enter and has been taken.
bool LayoutEditKey(QObject* edit, const QKeyEvent& key, const std::function<void()>& redraw);
// Marks the layout modified whenever the user changes the text of one of the
// edits (typing, deleting, pasting, undoing). Keys that change no text (Tab,
// Enter, the arrows) and the window's own writes leave the mark as it is.
// `window` holds the mark.
void MarkLayoutChanges(const QList<QWidget*>& edits, bool& modified, QObject* window);

// The grid of a layout window's printed items: a header row "Text", "Left",
// "Top", then one line per item (label, text, left, top, font button or other).
class LayoutItemGrid {
public:
    explicit LayoutItemGrid(QWidget* window);
    QGridLayout* layout;
    // The item's line; its label comes back.
    QLabel* add(const QString& label, QWidget* text, QLineEdit* left, QLineEdit* top, QWidget* extra);

private:
    QWidget* window_;
    int row_ = 0;
};

// One printed item of a layout window, a line of its item grid, and where
// the layout record keeps it. A picture's item has no edit, font or style.
template <class Setup>
struct LayoutItem {
    QString caption;
    // What prints: a line edit, or a multi-line edit whose lines print 5 mm apart.
    QWidget* edit;
    QWidget* box;  // what the grid shows in the text column; null: the edit
    QLineEdit* left;
    QLineEdit* top;
    QPushButton* font;       // null: no font button of its own
    LayoutItemStyle* style;  // items that print alike share one
    std::variant<int2 Setup::*, int4 Setup::*> leftField;
    int2 Setup::* topField;
    dbArray<int1> Setup::* fontField = nullptr;  // null: the style is kept with another item
    int4 Setup::* colorField = nullptr;
    QImage* picture = nullptr;  // the picture an item without edit draws
    QPushButton* add = nullptr;  // the picture's request and removal
    QPushButton* remove = nullptr;
    std::function<QString()> printed = {};  // the text printed, when it is not the edit's
    QString mustFit = {};  // what the user is told it is when it must print whole; empty: not checked
};

// The positions typed in a layout window, read before any field changes.
struct LayoutReading {
    real4 pageHeight = 0, pageWidth = 0;
    std::vector<int4> positions;  // left and top of each item, in table order
};

// The text an item's edit prints (a multi-line edit gives a line each).
QStringList LayoutEditLines(const QWidget* edit);

// Names an item's controls for screen readers: the edit by the item's label,
// or by the name the window gave it where the line has no label; the
// positions, the font button and the picture buttons by the item's name
// ("Pay left", "Pay font", "Add image 1").
void NameLayoutItem(QLabel* label, QWidget* edit, QLineEdit* left, QLineEdit* top, QPushButton* font,
                    QPushButton* add, QPushButton* remove);

// A layout window's printed items and its page (size in mm and orientation),
// described once; Setup is the layout record with pageHeight, pageWidth and
// vertical. The window keeps the widgets alive as long as the table.
template <class Setup>
class LayoutTable {
public:
    std::vector<LayoutItem<Setup>> items;
    QLineEdit* pageHeight = nullptr;
    QLineEdit* pageWidth = nullptr;
    QRadioButton* portrait = nullptr;
    QRadioButton* landscape = nullptr;
    // A new font or picture marks the layout modified, then redraws it.
    bool* modified = nullptr;
    std::function<void()> redraw;

    // The page edits, the orientation and the modified flag of a window that
    // names them as both layout windows do.
    template <class Window>
    void attach(Window* w, const std::function<void()>& redrawWith)
    {
        pageHeight = w->pageHeight, pageWidth = w->pageWidth;
        portrait = w->verticalOrient, landscape = w->horizontalOrient;
        modified = &w->modified;
        redraw = redrawWith;
    }

    // The item grid; the window filters the keys of every edit and position
    // edit, and the font and picture buttons do their item's part.
    QGridLayout* build(QWidget* window) const
    {
        LayoutItemGrid grid(window);
        for (const LayoutItem<Setup>& item : items) {
            QLabel* label = grid.add(item.caption, item.box ? item.box : item.edit, item.left, item.top, item.font);
            NameLayoutItem(label, item.edit, item.left, item.top, item.font, item.add, item.remove);
            for (QWidget* w : {item.edit, static_cast<QWidget*>(item.left), static_cast<QWidget*>(item.top)})
                if (w) w->installEventFilter(window);
            LayoutItemStyle* style = item.style;
            QImage* picture = item.picture;
            if (item.font) OnLayoutButton(item.font, window, [this, style, window] { pickFont(*style, window); });
            if (item.add) OnLayoutButton(item.add, window, [this, picture, window] { loadPicture(*picture, window); });
            if (item.remove) OnLayoutButton(item.remove, window, [this, picture] { clearPicture(*picture); });
        }
        return grid.layout;
    }

    void pickFont(LayoutItemStyle& style, QWidget* owner) const
    {
        if (PickItemStyle(style, owner)) *modified = true;
        redraw();
    }
    // The picture request; a picture taken replaces `picture`.
    void loadPicture(QImage& picture, QWidget* owner) const
    {
        if (!PickLayoutPicture(picture, owner)) return;
        *modified = true;
        redraw();
    }
    void clearPicture(QImage& picture) const
    {
        picture = QImage();
        *modified = true;
        redraw();
    }

    // Keyboard focus (Tab) in the order the window shows its controls:
    // `above`, then the items line by line (text, left, top, font), then
    // `below`.
    void orderFocus(std::initializer_list<QWidget*> above, std::initializer_list<QWidget*> below) const
    {
        QList<QWidget*> order(above);
        for (const LayoutItem<Setup>& item : items) {
            order.append({item.box ? item.box : item.edit, item.left, item.top});
            if (item.font) order.append(item.font);
        }
        order.append(below);
        platform::OrderFocus(order);
    }

    // The edits the layout keeps or prints: the page size, and every item's
    // text, left and top.
    QList<QWidget*> edits() const
    {
        QList<QWidget*> all{pageHeight, pageWidth};
        for (const LayoutItem<Setup>& item : items) {
            if (item.edit) all.append(item.edit);
            all.append({item.left, item.top});
        }
        return all;
    }

    void show(const Setup& r) const
    {
        pageHeight->setText(QString::number(double(r.pageHeight), 'g', 9));
        pageWidth->setText(QString::number(double(r.pageWidth), 'g', 9));
        (r.vertical ? portrait : landscape)->setChecked(true);
        for (const LayoutItem<Setup>& item : items) {
            item.left->setText(QString::number(std::visit([&r](auto field) { return int4(r.*field); }, item.leftField)));
            item.top->setText(QString::number(r.*item.topField));
            if (item.fontField) ReadItemStyle(*item.style, r.*item.fontField, r.*item.colorField);
        }
    }

    // Raises the conversion error of the first edit, page size first, that
    // does not hold its number.
    LayoutReading read() const
    {
        LayoutReading reading;
        reading.pageHeight = ReadReal4(pageHeight);
        reading.pageWidth = ReadReal4(pageWidth);
        for (const LayoutItem<Setup>& item : items) {
            reading.positions.push_back(readLeft(item));
            reading.positions.push_back(ReadInt2(item.top));
        }
        return reading;
    }

    // The page, positions, fonts and colours into a record.
    void store(const LayoutReading& reading, Setup& r) const
    {
        r.pageHeight = reading.pageHeight;
        r.pageWidth = reading.pageWidth;
        r.vertical = portrait->isChecked();
        auto position = reading.positions.begin();
        for (const LayoutItem<Setup>& item : items) {
            std::visit([&](auto field) { r.*field = std::remove_reference_t<decltype(r.*field)>(*position++); }, item.leftField);
            r.*item.topField = int2(*position++);
            if (item.fontField) WriteItemStyle(*item.style, r.*item.fontField, r.*item.colorField);
        }
    }

    // The page as the window shows it: the pictures, then the texts; raises
    // the conversion error of the first edit that does not hold its number.
    ChequePage page() const
    {
        ChequePage page;
        page.heightMm = ReadReal4(pageHeight);
        page.widthMm = ReadReal4(pageWidth);
        for (const LayoutItem<Setup>& item : items)
            if (item.picture) page.pictures.push_back({*item.picture, readLeft(item), ReadInt2(item.top)});
        for (const LayoutItem<Setup>& item : items) {
            if (!item.edit) continue;
            const QStringList lines = item.printed ? QStringList{item.printed()} : LayoutEditLines(item.edit);
            const int left = readLeft(item), top = ReadInt2(item.top);
            for (int i = 0; i < lines.size(); ++i)
                page.texts.push_back({lines[i], item.style->font, item.style->color, left, top + 5 * i, item.mustFit});
        }
        return page;
    }

private:
    static int4 readLeft(const LayoutItem<Setup>& item)
    {
        return std::holds_alternative<int4 Setup::*>(item.leftField) ? ReadInt4(item.left) : ReadInt2(item.left);
    }
};

// Lays a layout window out: a body that scrolls, with `parts` (layouts or
// widgets) top to bottom and the preview under them taking the height left,
// above the row for the window's buttons (AddLayoutActions fills it); the
// window opens at `wanted` within the screen.
void LayoutWindowBody(QWidget* window, std::initializer_list<QObject*> parts, QWidget* preview, const QSize& wanted);

// The buttons of a layout window's actions, on their keys, in this order: Help
// F1, Refresh F5, Zoom In F8, Zoom Out F9, the window's own (`more` adds
// them), Save F10, Print F11, Close F12. The window keeps the actions and
// their handlers under the names both layout windows give them, and its last
// layout is the row for the buttons.
struct LayoutActionCaptions {
    const char* refresh;
    const char* save;
    const char* print;
};
using LayoutActionAdder = std::function<QAction*(const QString& caption, Qt::Key key, const std::function<void()>&)>;
template <class Window>
void AddLayoutActions(Window* w, const LayoutActionCaptions& captions,
                      const std::function<void(const LayoutActionAdder&)>& more = {})
{
    QLayout* buttons = w->layout()->itemAt(w->layout()->count() - 1)->layout();
    const LayoutActionAdder add = [w, buttons](const QString& caption, Qt::Key key, const std::function<void()>& run) {
        return AddLayoutAction(w, buttons, w->ActionList1, caption, key, run);
    };
    w->helpAction = add("Help", Qt::Key_F1, [w] { w->helpActionExecute(); });
    w->updateAction = add(captions.refresh, Qt::Key_F5, [w] { w->updateActionExecute(); });
    w->zoomInAction = add("Zoom In", Qt::Key_F8, [w] { w->zoomInActionExecute(); });
    w->zoomOutAction = add("Zoom Out", Qt::Key_F9, [w] { w->zoomOutActionExecute(); });
    if (more) more(add);
    w->savelAction = add(captions.save, Qt::Key_F10, [w] { w->savelActionExecute(); });
    w->printAction = add(captions.print, Qt::Key_F11, [w] { w->printActionExecute(); });
    w->exitAction = add("&Close", Qt::Key_F12, [w] { w->exitActionExecute(); });
    platform::NoAutoDefaultButtons(w);  // Enter in an edit redraws; it presses no button
}

// The page size edits (mm), the orientation (portrait chosen) and the list of
// layouts with its Add, Delete and Rename buttons, wired to their handlers;
// the window keeps them under the names both layout windows give them.
struct LayoutSettingTexts {
    const char* height;
    const char* width;
    const char* add;
    const char* remove;
    const char* rename;
};
template <class Window>
void CreateLayoutSettings(Window* w, const LayoutSettingTexts& captions)
{
    w->pageHeight = LayoutEdit(w, captions.height);
    w->pageWidth = LayoutEdit(w, captions.width);
    w->pageHeight->installEventFilter(w);
    w->pageWidth->installEventFilter(w);
    w->verticalOrient = new QRadioButton("Portrait", w);
    w->horizontalOrient = new QRadioButton("Landscape", w);
    w->verticalOrient->setChecked(true);
    w->category = new QComboBox(w);
    w->category->setMinimumWidth(160);
    w->insertCategory = new QPushButton(captions.add, w);
    w->deleteCategory = new QPushButton(captions.remove, w);
    w->updateCategory = new QPushButton(captions.rename, w);
    OnLayoutButton(w->insertCategory, w, [w] { w->insertCategoryClick(); });
    OnLayoutButton(w->deleteCategory, w, [w] { w->deleteCategoryClick(); });
    OnLayoutButton(w->updateCategory, w, [w] { w->updateCategoryClick(); });
    QObject::connect(w->category, &QComboBox::activated, w, [w] { w->categoryChange(); });
}

// One zoom step of a layout preview, in or out (not below one step); false
// when the zoom stays.
bool StepLayoutZoom(TPvPreview& preview, bool in);

// The preview of a layout window: zoom 40 up to 200 in fixed steps, no
// margins, no header or footer. `marginsShown` false also hides the margin
// lines.
TPvPreview* NewLayoutPreview(QWidget* window, bool marginsShown = true);

QColor ToQColor(platform::TColor c);
platform::TColor FromQColor(const QColor& c);

void StoreBytes(dbArray<int1>& field, const QByteArray& bytes);
QByteArray StoredBytes(const dbArray<int1>& field);

// Copies the texts of a fetched contact into `store`, so the record can be
// written back with an update.
void KeepCustomerTexts(Customer& c, zarvoBuffer& store);
