#include "grid/dragdrop.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstring>

namespace grid {

namespace {
bool rtfAware = false;
TDragLoop dragLoop;

int effectOf(Qt::DropAction Action)
{
    switch (Action) {
    case Qt::CopyAction: return DROPEFFECT_COPY;
    case Qt::MoveAction: return DROPEFFECT_MOVE;
    default: return DROPEFFECT_NONE;
    }
}

Qt::DropAction actionOf(int Effect)
{
    if (Effect & DROPEFFECT_MOVE)
        return Qt::MoveAction;
    if (Effect & DROPEFFECT_COPY)
        return Qt::CopyAction;
    return Qt::IgnoreAction;
}

Qt::DropActions actionsOf(int Effects)
{
    Qt::DropActions actions;
    if (Effects & DROPEFFECT_COPY)
        actions |= Qt::CopyAction;
    if (Effects & DROPEFFECT_MOVE)
        actions |= Qt::MoveAction;
    return actions;
}

// QDrag::exec, with the source told of every action change and asked on a
// short timer whether the drag goes on (Qt itself ends it on Escape or release).
Qt::DropAction execDrag(QObject* DragWidget, std::unique_ptr<QMimeData> Data, Qt::DropActions Allowed,
                        TASGDropSource& Source)
{
    QPointer<QDrag> drag = new QDrag(DragWidget);
    drag->setMimeData(Data.release());
    QObject::connect(drag, &QDrag::actionChanged,
                     [&Source](Qt::DropAction Action) { Source.GiveFeedback(effectOf(Action)); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&Source] {
        Source.QueryContinueDrag(false, platform::ShiftStateOf(QGuiApplication::keyboardModifiers(),
                                                               QGuiApplication::mouseButtons()));
    });
    poll.start(20);
    return drag->exec(Allowed);
}

int runDrag(QObject* DragWidget, TASGDropSource& Source, std::unique_ptr<QMimeData> Data, int Effects, int& Effect)
{
    Source.NoEffect = false;
    const Qt::DropActions allowed = actionsOf(Effects);
    const Qt::DropAction action =
        dragLoop ? dragLoop(DragWidget, std::move(Data), allowed, Source) : execDrag(DragWidget, std::move(Data), allowed, Source);
    Effect = effectOf(action);
    return action == Qt::IgnoreAction || Source.NoEffect ? DRAGDROP_S_CANCEL : DRAGDROP_S_DROP;
}
}  // namespace

void SetRTFAware(bool Value) { rtfAware = Value; }
bool RTFAware() { return rtfAware; }

int StandardEffect(platform::ShiftState Shift) { return Shift & platform::ssCtrl ? DROPEFFECT_COPY : DROPEFFECT_MOVE; }

// ---------------------------------------------------------------- reading dropped data

bool TEnumFormats::HasFormat(const QString& Format) const { return data_ && data_->hasFormat(Format); }

bool TEnumFormats::HasFile() const
{
    QStringList files;
    return SomeFiles(files);
}

std::string TEnumFormats::RTF() const
{
    return HasFormat(kRTFFormat) ? SomeText(kRTFFormat) : SomeText(kRTFFormatAlt);
}

std::string TEnumFormats::SomeText(const QString& Format) const
{
    if (!HasFormat(Format))
        return {};
    if (Format == kTextFormat)
        return data_->text().toStdString();
    return data_->data(Format).toStdString();
}

int TEnumFormats::columnBytes() const { return HasFormat(kColumnFormat) ? int(data_->data(kColumnFormat).size()) : -1; }

int TEnumFormats::SomeInt(const QString& Format) const
{
    if (!HasFormat(Format))
        return -1;
    const QByteArray bytes = data_->data(Format);
    if (bytes.size() != 4)
        return -1;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    return static_cast<int>(static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
                            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24);
}

bool TEnumFormats::SomeFiles(QStringList& Files) const
{
    Files.clear();
    if (!data_ || !data_->hasUrls())
        return false;
    for (const QUrl& url : data_->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            Files << url.toLocalFile();
    return !Files.isEmpty();
}

// ---------------------------------------------------------------- drop target

void TASGDropTarget::DragEnter(const QMimeData* Data, platform::ShiftState Keys, const QPoint& /*Point*/, int& Effect)
{
    const TEnumFormats formats(Data);
    const bool text = formats.HasText(), files = formats.HasFile(), rtf = formats.HasRTF(), col = formats.HasCol();
    if (text && AcceptText)
        CanDrop = true;
    else if (files && AcceptFiles)
        CanDrop = true;
    else if (rtf && RTFAware() && AcceptText)
        CanDrop = true;
    else
        CanDrop = col && AcceptCols;
    DropFormats = (text ? dfText : 0u) | (files ? dfFile : 0u) | (rtf ? dfRTF : 0u) | (col ? dfCol : 0u);
    Effect = CanDrop ? StandardEffect(Keys) : DROPEFFECT_NONE;
    DragMouseEnter();
}

void TASGDropTarget::DragOver(platform::ShiftState Keys, const QPoint& Point, int& Effect)
{
    Effect = CanDrop ? StandardEffect(Keys) : DROPEFFECT_NONE;
    bool allow = Effect != DROPEFFECT_NONE;
    DragMouseMove(Point, allow, DropFormats);
    if (!allow)
        Effect = DROPEFFECT_NONE;
}

void TASGDropTarget::DragLeave() { DragMouseLeave(); }

void TASGDropTarget::Drop(const QMimeData* Data, platform::ShiftState Keys, const QPoint& Point, int& Effect)
{
    if (!CanDrop) {
        Effect = DROPEFFECT_NONE;
        return;
    }
    DropEffect = StandardEffect(Keys);
    const TEnumFormats formats(Data);
    if (!formats.HasCol()) {
        if (formats.HasRTF() && RTFAware())
            DropRTF(Point, formats.RTF());
        else if (formats.HasText())
            DropText(Point, formats.Text());
    } else {
        DropCol(Point, formats.Col());
    }
    QStringList files;
    if (formats.SomeFiles(files))
        DropFiles(Point, files);
    Effect = DropEffect;
    DropEffect = DROPEFFECT_NONE;
}

bool TASGDropTarget::HandleEvent(QEvent* Event, const QWidget* View)
{
    int effect = DROPEFFECT_NONE;
    switch (Event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(Event);
        const QPoint screen = View->mapToGlobal(e->position().toPoint());
        const platform::ShiftState keys = platform::ShiftStateOf(e->modifiers(), e->buttons());
        if (Event->type() == QEvent::DragEnter)
            DragEnter(e->mimeData(), keys, screen, effect);
        else if (Event->type() == QEvent::DragMove)
            DragOver(keys, screen, effect);
        else
            Drop(e->mimeData(), keys, screen, effect);
        // An enter is always taken, so that the moves, the leave and the drop keep coming.
        e->setDropAction(actionOf(effect));
        if (effect != DROPEFFECT_NONE || Event->type() == QEvent::DragEnter)
            e->accept();
        else
            e->ignore();
        return true;
    }
    case QEvent::DragLeave:
        DragLeave();
        Event->accept();
        return true;
    default:
        return false;
    }
}

// ---------------------------------------------------------------- drop source

int TASGDropSource::QueryContinueDrag(bool Escape, platform::ShiftState Keys)
{
    int result = 0;
    if (Escape)
        result = DRAGDROP_S_CANCEL;
    else if (!(Keys & platform::ssLeft))
        result = DRAGDROP_S_DROP;
    QueryDrag();
    return result;
}

void TASGDropSource::GiveFeedback(int Effect)
{
    NoEffect = Effect == DROPEFFECT_NONE;
    CurrentEffect(Effect);
}

// ---------------------------------------------------------------- dragged data

TSourceDataObject::TSourceDataObject(std::string AText, std::string ARTF, int AColumn)
    : Text(std::move(AText)), RTF(std::move(ARTF)), Column(AColumn)
{
}

QStringList TSourceDataObject::formats() const
{
    QStringList list;
    if (!Text.empty()) {
        list << kTextFormat;
        if (RTFAware())
            list << kRTFFormat;
    }
    if (Column != -1)
        list << kColumnFormat;
    return list;
}

bool TSourceDataObject::hasFormat(const QString& MimeType) const { return formats().contains(MimeType); }

QVariant TSourceDataObject::retrieveData(const QString& MimeType, QMetaType /*Type*/) const
{
    if (!hasFormat(MimeType))
        return {};
    if (MimeType == kTextFormat)
        return QByteArray::fromStdString(Text);
    if (MimeType == kRTFFormat)
        return QByteArray::fromStdString(RTF);
    const auto c = static_cast<std::uint32_t>(Column);
    const char bytes[4] = {char(c & 0xFF), char(c >> 8 & 0xFF), char(c >> 16 & 0xFF), char(c >> 24 & 0xFF)};
    return QByteArray(bytes, 4);
}

// ---------------------------------------------------------------- starting a drag

TDragLoop SetDragLoop(TDragLoop Loop)
{
    TDragLoop previous = std::move(dragLoop);
    dragLoop = std::move(Loop);
    return previous;
}

int StartTextDoDragDrop(QObject* DragWidget, TASGDropSource& Source, const std::string& Text, const std::string& RTF,
                        int Effects, int& Effect)
{
    return runDrag(DragWidget, Source, std::make_unique<TSourceDataObject>(Text, RTF, -1), Effects, Effect);
}

int StartColDoDragDrop(QObject* DragWidget, TASGDropSource& Source, int Column, int Effects, int& Effect)
{
    return runDrag(DragWidget, Source, std::make_unique<TSourceDataObject>(std::string(), std::string(), Column),
                   Effects, Effect);
}

}  // namespace grid
