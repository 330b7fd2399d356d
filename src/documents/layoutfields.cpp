#include "documents/layoutfields.h"

#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "platform/accessibility.h"
#include "platform/converterror.h"
#include "platform/dialogs.h"
#include "platform/screenroom.h"
#include "printing/pvframe.h"
#include "printing/pvpreview.h"
#include "printing/pvunits.h"

#include <QAction>
#include <QBoxLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <string>

namespace {

long long readWhole(const QLineEdit* edit, long long low, long long high)
{
    const std::string text = edit->text().trimmed().toStdString();
    long long value = 0;
    const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
    if (text.empty() || ec == std::errc::invalid_argument || end != text.data() + text.size())
        throw platform::EConvertError("'" + edit->text().toStdString() + "' is not a valid integer value");
    if (ec == std::errc::result_out_of_range || value < low || value > high)
        throw platform::EConvertError("'" + edit->text().toStdString() + "' is out of range: the number must be from " +
                                      std::to_string(low) + " to " + std::to_string(high));
    return value;
}

}  // namespace

int2 ReadInt2(const QLineEdit* edit) { return int2(readWhole(edit, -32768, 32767)); }

int4 ReadInt4(const QLineEdit* edit) { return int4(readWhole(edit, INT32_MIN, INT32_MAX)); }

real4 ReadReal4(const QLineEdit* edit)
{
    double v = 0;
    if (!ParseDecimal(edit->text().toStdString(), v))
        throw platform::EConvertError("'" + edit->text().toStdString() + "' is not a valid floating point value");
    TPvValue check;
    check.SetAsMm(v);  // refuses a length the page cannot have
    return real4(v);
}

platform::LogFont LayoutFont(const char* face, int pixels)
{
    platform::LogFont f;
    f.SetFaceName(face);
    f.SetHeight(-pixels);
    f.SetWeight(400);
    return f;
}

QColor ToQColor(platform::TColor c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

platform::TColor FromQColor(const QColor& c) { return platform::TColor(c.red() | c.green() << 8 | c.blue() << 16); }

bool PickItemStyle(LayoutItemStyle& style, QWidget* owner)
{
    const QFont stored = style.font.ToQFont();
    platform::FontChoice choice{stored, ToQColor(style.color)};
    if (!platform::PickFont(choice, owner)) return false;
    // the stored record stays byte for byte unless another font was chosen
    if (choice.font != stored) style.font = platform::LogFont::FromQFont(choice.font);
    style.color = FromQColor(choice.color);
    return true;
}

void ReadItemStyle(LayoutItemStyle& style, const dbArray<int1>& font, int4 color)
{
    if (auto lf = platform::LogFont::FromBytes(font.get(), font.length())) style.font = *lf;
    style.color = platform::TColor(color);
}

void WriteItemStyle(const LayoutItemStyle& style, dbArray<int1>& font, int4& color)
{
    StoreBytes(font, style.font.ToBytes());
    color = int4(style.color);
}

void StoreBytes(dbArray<int1>& field, const QByteArray& bytes)
{
    field.setData(reinterpret_cast<const int1*>(bytes.constData()), std::size_t(bytes.size()));
}

QByteArray StoredBytes(const dbArray<int1>& field)
{
    return QByteArray(reinterpret_cast<const char*>(field.get()), qsizetype(field.length()));
}

void KeepCustomerTexts(Customer& c, zarvoBuffer& store)
{
    for (const char** t : {&c.name, &c.address1, &c.address2, &c.address3, &c.person, &c.telephone, &c.mobile,
                           &c.fax, &c.remark, &c.email, &c.website})
        *t = store.put(*t);
}

bool PickLayoutPicture(QImage& picture, QWidget* owner)
{
    platform::FileRequest request;
    request.caption = "Open";
    request.filters = QStringList{"JPeg Image (*.jpg)", "Bitmap (*.bmp)"};
    const QString path = platform::PickFile(request, owner);
    if (path.isEmpty()) return false;
    if (PictureKindOf(path) == PictureFileKind::Other) return true;
    QImage loaded;
    QByteArray jpeg;
    QString error;
    if (!LoadPictureFile(path, loaded, jpeg, error)) {
        ShowInfo(error, owner);
        return false;
    }
    picture = loaded;
    return true;
}

QLineEdit* LayoutEdit(QWidget* window, const QString& text, int width)
{
    auto* e = new QLineEdit(text, window);
    // widths given at a digit of 7 pixels, grown with the font shown
    constexpr int kDigitWidth = 7;
    platform::WidenForDigits(e, std::max(6, width / kDigitWidth));
    if (width <= 60) e->setMaximumWidth(e->minimumWidth() * 7 / 6);  // numbers
    return e;
}

QAction* AddLayoutAction(QWidget* window, QLayout* buttons, QList<QAction*>& actions, const QString& caption,
                         Qt::Key key, const std::function<void()>& handler)
{
    auto* action = new QAction(caption, window);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, window, handler);
    window->addAction(action);
    actions.append(action);
    auto* b = new QPushButton(caption + " " + QKeySequence(key).toString(), window);
    b->setFocusPolicy(Qt::TabFocus);  // a click leaves the focus in the edit
    QObject::connect(b, &QPushButton::clicked, action, &QAction::trigger);
    buttons->addWidget(b);
    return action;
}

QWidget* LayoutBox(QWidget* window, std::initializer_list<QWidget*> widgets, bool stretch)
{
    auto* box = new QWidget(window);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : widgets) row->addWidget(w);
    if (stretch) row->addStretch(1);
    return box;
}

void LayoutWindowBody(QWidget* window, std::initializer_list<QObject*> parts, QWidget* preview, const QSize& wanted)
{
    QWidget* body = nullptr;
    QBoxLayout* outer = platform::ScrollingBody(window, body);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QObject* part : parts) {
        if (auto* inner = qobject_cast<QLayout*>(part))
            layout->addLayout(inner);
        else
            layout->addWidget(static_cast<QWidget*>(part));
    }
    layout->addWidget(preview, 1);
    outer->addLayout(new platform::ButtonRows);
    platform::OpenWithinScreen(window, wanted);
}

QPushButton* LayoutMaker::font() const { return new QPushButton("Font", window); }

QWidget* LayoutMaker::pictureButtons(QPushButton*& add, QPushButton*& remove, bool stretch) const
{
    add = new QPushButton("Add an image", window);
    remove = new QPushButton("Delete an image", window);
    return LayoutBox(window, {add, remove}, stretch);
}

void OnLayoutButton(QPushButton* button, QWidget* window, const std::function<void()>& handler)
{
    QObject::connect(button, &QPushButton::clicked, window, handler);
}

bool IsEnterKey(const QKeyEvent& key) { return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter; }

bool LayoutEditKey(QObject* edit, const QKeyEvent& key, const std::function<void()>& redraw)
{
    if (!IsEnterKey(key)) return false;
    redraw();
    if (auto* line = qobject_cast<QLineEdit*>(edit)) line->selectAll();
    if (auto* lines = qobject_cast<QPlainTextEdit*>(edit)) lines->selectAll();
    return true;
}

void MarkLayoutChanges(const QList<QWidget*>& edits, bool& modified, QObject* window)
{
    bool* mark = &modified;
    for (QWidget* w : edits) {
        if (auto* line = qobject_cast<QLineEdit*>(w)) {
            QObject::connect(line, &QLineEdit::textEdited, window, [mark] { *mark = true; });
        } else if (auto* lines = qobject_cast<QPlainTextEdit*>(w)) {
            // the window's own setPlainText leaves the document unmodified
            QObject::connect(lines, &QPlainTextEdit::textChanged, window, [mark, lines] {
                if (lines->document()->isModified()) *mark = true;
            });
        }
    }
}

QStringList LayoutEditLines(const QWidget* edit)
{
    if (const auto* lines = qobject_cast<const QPlainTextEdit*>(edit)) return lines->toPlainText().split('\n');
    return {static_cast<const QLineEdit*>(edit)->text()};
}

LayoutItemGrid::LayoutItemGrid(QWidget* window) : layout(new QGridLayout), window_(window)
{
    const char* headers[] = {"Text", "Left", "Top"};
    for (int c = 1; c <= 3; ++c) layout->addWidget(new QLabel(headers[c - 1], window), 0, c);
}

QLabel* LayoutItemGrid::add(const QString& label, QWidget* text, QLineEdit* left, QLineEdit* top, QWidget* extra)
{
    ++row_;
    auto* caption = new QLabel(label, window_);
    layout->addWidget(caption, row_, 0);
    if (text) layout->addWidget(text, row_, 1);
    layout->addWidget(left, row_, 2);
    layout->addWidget(top, row_, 3);
    if (extra) layout->addWidget(extra, row_, 4);
    return caption;
}

void NameLayoutItem(QLabel* label, QWidget* edit, QLineEdit* left, QLineEdit* top, QPushButton* font,
                    QPushButton* add, QPushButton* remove)
{
    QString name = platform::SpokenCaption(label->text());
    if (edit && !name.isEmpty()) platform::TieLabel(label, edit);
    if (edit) name = edit->accessibleName();
    left->setAccessibleName(name + " left");
    top->setAccessibleName(name + " top");
    if (font) font->setAccessibleName(name + " font");
    if (add) add->setAccessibleName("Add " + name.toLower());
    if (remove) remove->setAccessibleName("Delete " + name.toLower());
}

bool StepLayoutZoom(TPvPreview& preview, bool in)
{
    if (!in && preview.ZoomIncrement >= preview.Zoom()) return false;
    preview.SetZoom(preview.Zoom() + (in ? preview.ZoomIncrement : -preview.ZoomIncrement));
    return true;
}

TPvPreview* NewLayoutPreview(QWidget* window, bool marginsShown)
{
    auto* preview = new TPvPreview(window);
    preview->MaxZoom = 200;
    preview->ZoomStyle = gmFixedZoom;
    preview->SetZoom(40);
    preview->setMinimumHeight(200);
    TPvMargins& m = preview->Margins();
    for (TPvValue* margin : {&m.Left, &m.Top, &m.Right, &m.Bottom}) margin->SetAsMm(0);
    if (!marginsShown) m.SetVisible(false);
    // Cheques, envelopes and cards go on pre-printed stock: no header or
    // footer rule, on the screen or on paper.
    preview->Header().SetVisible(false);
    preview->Footer().SetVisible(false);
    return preview;
}
