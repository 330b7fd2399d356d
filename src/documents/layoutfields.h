// What the layout windows (cheque, envelope) share in reading and writing
// their records: numbers typed in edits, checked against the width of the
// field that stores them, item fonts and colours, stored byte arrays and the
// texts of a contact written back. Every reader raises platform::EConvertError
// with the text it could not take, before the caller has changed anything.
#pragma once

#include "appcore/schema.h"
#include "platform/color.h"
#include "platform/logfont.h"

#include <QByteArray>
#include <QColor>
#include <QImage>

#include <QList>

#include <functional>
#include <initializer_list>

class QAction;
class QBoxLayout;
class QGridLayout;
class TPvPreview;
class QLineEdit;
class QWidget;

// A whole number from -32768 to 32767 (a 16-bit position or length).
int2 ReadInt2(const QLineEdit* edit);
// A whole number that 32 bits hold.
int4 ReadInt4(const QLineEdit* edit);
// A page side in millimetres, as its 4-byte field keeps it and a page can have it.
real4 ReadReal4(const QLineEdit* edit);

// A layout item's font record and colour, shown on the edits that print with them.
struct LayoutItemStyle {
    platform::LogFont font;
    platform::TColor color = 0;
};
platform::LogFont LayoutFont(const char* face, int pixels);
void ApplyItemStyle(const LayoutItemStyle& style, std::initializer_list<QWidget*> edits);
// The font request preset with the style; on OK the style and the edits take
// the pick and the result is true.
bool PickItemStyle(LayoutItemStyle& style, std::initializer_list<QWidget*> edits, QWidget* owner);
// From a record's font bytes and colour (a damaged font record keeps the font).
void ReadItemStyle(LayoutItemStyle& style, const dbArray<int1>& font, int4 color);
void WriteItemStyle(const LayoutItemStyle& style, dbArray<int1>& font, int4& color);

// An edit of a layout window: numbers get a narrow one.
QLineEdit* LayoutEdit(QWidget* window, const QString& text, int width = 60);
// An action of a layout window on its key, with its button ("caption key")
// added to `buttons` and the action to `actions`.
QAction* AddLayoutAction(QWidget* window, QBoxLayout* buttons, QList<QAction*>& actions, const QString& caption,
                         Qt::Key key, const std::function<void()>& handler);

// The grid of a layout window's printed items: a header row "Text", "Left",
// "Top", then one line per item (label, text, left, top, font button or other).
class LayoutItemGrid {
public:
    explicit LayoutItemGrid(QWidget* window);
    QGridLayout* layout;
    void add(const QString& label, QWidget* text, QLineEdit* left, QLineEdit* top, QWidget* extra);

private:
    QWidget* window_;
    int row_ = 0;
};

// The preview of a layout window: zoom 40 up to 200 in fixed steps, no
// margins, no header or footer. `marginsShown` false also hides the margin
// lines.
TPvPreview* NewLayoutPreview(QWidget* window, bool marginsShown = true);

// The picture request (.jpg, .bmp). A ".jpg" or ".bmp" file that loads
// replaces `picture`; any other name loads nothing. False when the request was
// cancelled or the file could not be read (the user has been told why); the
// picture is then as it was.
bool PickLayoutPicture(QImage& picture, QWidget* owner);

QColor ToQColor(platform::TColor c);
platform::TColor FromQColor(const QColor& c);

void StoreBytes(dbArray<int1>& field, const QByteArray& bytes);
QByteArray StoredBytes(const dbArray<int1>& field);

// Copies the texts of a fetched contact into `store`, so the record can be
// written back with an update.
void KeepCustomerTexts(Customer& c, zarvoBuffer& store);
