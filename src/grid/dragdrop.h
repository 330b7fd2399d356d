// Drag and drop of text, rich text, files and grid columns between windows,
// on Qt's drag and drop. A drop target decides at drag enter whether the
// dragged data can be dropped and tells its derived class where the pointer
// is and what was dropped; a drop source hears how a drag goes; the start
// functions run a whole drag and report how it ended.
// Callers keep a target alive while its widget may receive drag events, and
// a source alive for the length of the drag they start with it.
#pragma once

#include "platform/stringgrid.h"

#include <QMimeData>
#include <QPoint>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

class QEvent;
class QWidget;

namespace grid {

// Drop effects, as the notifications and the start functions carry them.
constexpr int DROPEFFECT_NONE = 0;
constexpr int DROPEFFECT_COPY = 1;
constexpr int DROPEFFECT_MOVE = 2;
// How a drag ended: dropped, or cancelled (also when its last feedback had no effect).
constexpr int DRAGDROP_S_DROP = 0x40100;
constexpr int DRAGDROP_S_CANCEL = 0x40101;

// The MIME types a drag offers and a drop reads. Plain text is one UTF-8 text.
inline const QString kTextFormat = QStringLiteral("text/plain");
inline const QString kRTFFormat = QStringLiteral("text/rtf");
inline const QString kRTFFormatAlt = QStringLiteral("application/rtf");  // read only
// A grid column: its number as 4 bytes, little-endian.
inline const QString kColumnFormat = QStringLiteral("application/x-quillet-grid-column");

// Whether rich text is offered by drags and accepted by drops (process-wide, false at start).
void SetRTFAware(bool Value);
bool RTFAware();

// Ctrl gives a copy, anything else a move.
int StandardEffect(platform::ShiftState Shift);

enum TDropFormat : unsigned { dfText = 1, dfFile = 2, dfCol = 4, dfRTF = 8 };
using TDropFormats = unsigned;

// Reads dropped data through the MIME data's own accessors.
class TEnumFormats {
public:
    explicit TEnumFormats(const QMimeData* Data) : data_(Data) {}
    bool HasFormat(const QString& Format) const;
    bool HasText() const { return HasFormat(kTextFormat); }
    bool HasRTF() const { return HasFormat(kRTFFormat) || HasFormat(kRTFFormatAlt); }
    // A column counts only with exactly 4 bytes.
    bool HasCol() const { return columnBytes() == 4; }
    // Local files among the dropped URLs.
    bool HasFile() const;
    std::string Text() const { return SomeText(kTextFormat); }
    std::string RTF() const;
    int Col() const { return SomeInt(kColumnFormat); }
    // The bytes of a format as text; empty when it is absent.
    std::string SomeText(const QString& Format) const;
    // The 32-bit number of a 4-byte format; -1 when absent or of another size.
    int SomeInt(const QString& Format) const;
    // The local file names; true when at least one came.
    bool SomeFiles(QStringList& Files) const;

private:
    int columnBytes() const;
    const QMimeData* data_;
};

// The receiving side of drags over one widget. The derived class overrides
// the notifications; all are empty here. Points are screen coordinates.
class TASGDropTarget {
public:
    virtual ~TASGDropTarget() = default;

    bool CanDrop = false;       // decided at drag enter
    bool AcceptText = true;
    bool AcceptFiles = true;
    bool AcceptCols = false;
    TDropFormats DropFormats = 0;

    virtual void DropText(const QPoint& pt, const std::string& text) {}
    virtual void DropCol(const QPoint& pt, int col) {}
    virtual void DropRTF(const QPoint& pt, const std::string& rtf) {}
    virtual void DropFiles(const QPoint& pt, const QStringList& files) {}
    virtual void DragMouseMove(const QPoint& pt, bool& allow, TDropFormats formats) {}
    virtual void DragMouseEnter() {}
    virtual void DragMouseLeave() {}

    // The steps of one drag over the target; Effect receives the answer.
    void DragEnter(const QMimeData* Data, platform::ShiftState Keys, const QPoint& Point, int& Effect);
    void DragOver(platform::ShiftState Keys, const QPoint& Point, int& Effect);
    void DragLeave();
    void Drop(const QMimeData* Data, platform::ShiftState Keys, const QPoint& Point, int& Effect);

    // Feeds a drag event that View received to the steps above and answers it;
    // false for any other event.
    bool HandleEvent(QEvent* Event, const QWidget* View);

protected:
    // The effect of the drop being delivered: StandardEffect before the
    // Drop... calls, which may lower it (to none when they took nothing, so
    // that a moving source keeps its data); the drop answers what they leave.
    int DropEffect = DROPEFFECT_NONE;
};

// The dragging side: told of each feedback and of every check whether the drag goes on.
class TASGDropSource {
public:
    virtual ~TASGDropSource() = default;
    bool NoEffect = false;  // the last feedback had no effect

    virtual void CurrentEffect(int effect) {}
    virtual void QueryDrag() {}

    // The drag loop calls these: a check whether the drag goes on (Escape
    // cancels, a released left button drops) and the feedback of an effect.
    int QueryContinueDrag(bool Escape, platform::ShiftState Keys);
    void GiveFeedback(int Effect);
};

// The data a drag offers: text (and rich text while RTFAware) unless the
// text is empty, and a column unless Column is -1.
class TSourceDataObject : public QMimeData {
public:
    TSourceDataObject(std::string Text, std::string RTF, int Column);
    std::string Text, RTF;
    int Column;

    bool hasFormat(const QString& MimeType) const override;
    QStringList formats() const override;

protected:
    QVariant retrieveData(const QString& MimeType, QMetaType Type) const override;
};

// Runs one drag of Data with the allowed actions from DragWidget and returns
// the action it ended with (Qt::IgnoreAction when cancelled), reporting its
// progress to Source. The default runs QDrag::exec; tests put their own here.
using TDragLoop = std::function<Qt::DropAction(QObject* DragWidget, std::unique_ptr<QMimeData> Data,
                                               Qt::DropActions Allowed, TASGDropSource& Source)>;
// Installs a loop (an empty one restores QDrag::exec) and returns the previous.
TDragLoop SetDragLoop(TDragLoop Loop);

// Drags text and rich text (or a column) from DragWidget; Effects are the
// allowed effects (copy 1, move 2), Effect receives the final one. The result
// is DRAGDROP_S_CANCEL when the drag was cancelled or its last feedback had no
// effect, else DRAGDROP_S_DROP.
int StartTextDoDragDrop(QObject* DragWidget, TASGDropSource& Source, const std::string& Text, const std::string& RTF,
                        int Effects, int& Effect);
int StartColDoDragDrop(QObject* DragWidget, TASGDropSource& Source, int Column, int Effects, int& Effect);

}  // namespace grid
