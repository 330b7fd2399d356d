// The string grid's in-place editor: a frameless text field laid over the
// current cell, single-line by default, multi-line (or a masked password
// line) when a descendant's CreateParams asks for it. Callers address the
// editor itself, never its field: events sent to the editor go on to the
// field, and the field's key, focus, double-click and context-menu events
// come to the editor's handlers first, whose base versions hand them on.
// Positions are indexes into text(), where a multi-line field's line breaks
// are "\n"; CellText()/SetCellText() give and take them as the cells' CR LF.
#pragma once

#include "platform/geometry.h"

#include <QWidget>
#include <string>

class QLineEdit;
class QPlainTextEdit;

namespace platform {

class StringGrid;

class InplaceEdit : public QWidget {
    Q_OBJECT
public:
    explicit InplaceEdit(StringGrid* grid);
    ~InplaceEdit() override;
    StringGrid* Grid() const { return grid_; }
    // Loads the grid's edit text of the current cell, selected and not modified.
    virtual void UpdateContents();
    // Places the editor over a cell rectangle (client coordinates of the grid).
    virtual void Move(const Rect& cell);

    // ----- text and selection
    QString text() const;
    void setText(const QString& t);  // leaves the editor unmodified
    std::string CellText() const;
    void SetCellText(const std::string& t);
    bool isModified() const { return modified_; }
    void setModified(bool on) { modified_ = on; }
    int maxLength() const { return maxLength_; }
    void setMaxLength(int n);  // 0 or less: no limit
    Qt::Alignment alignment() const { return alignment_; }
    void setAlignment(Qt::Alignment a);
    int cursorPosition() const;
    void setCursorPosition(int pos);
    bool hasSelectedText() const { return selectionStart() != selectionEnd(); }
    QString selectedText() const;
    int selectionStart() const;
    int selectionEnd() const;
    void setSelection(int start, int length);  // the caret goes to start + length
    void selectAll();
    void deselect();
    // Replaces the selection (or inserts at the caret) and puts the caret behind; marks the editor modified.
    void insert(const QString& s);
    // Whether s pasted over the selection stays within the maximum length.
    bool fits(const QString& s) const;

    // ----- layout of the field
    bool isMultiLine() const { return params_.multiLine; }
    int lineFromChar(int index) const;  // the displayed line holding the character
    QPoint posFromChar(int index) const;  // top-left of the character, editor coordinates
    int charFromPos(QPoint p) const;      // -1 when p lies outside the text area
    QWidget* Field() const;

    // ----- clipboard (the field's shortcuts and context menu come here)
    virtual void copy();
    virtual void cut();
    virtual void paste();

protected:
    struct Params {
        bool multiLine = false;
        bool password = false;
        bool rightAlign = false;
        bool wordWrap = false;
        QChar passwordChar = u'*';
        int inset[4] = {0, 0, 0, 0};  // text margins: left, top, right, bottom
        bool operator==(const Params&) const = default;
    };
    // The field wanted; the base asks for a single line.
    virtual void CreateParams(Params& p) const;
    // Puts CreateParams into effect when they changed, keeping text, modified flag and selection.
    void RecreateWnd();
    // Delivers an event to the field itself, past the editor's handlers.
    void passToField(QEvent* e);

    // Enter, Escape, Tab, Up, Down, PgUp, PgDn (and Left/Right at the ends of
    // the text) go to the grid; the clipboard shortcuts to copy/cut/paste; the rest to the field.
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool focusNextPrevChild(bool next) override;
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QLineEdit* line();
    QPlainTextEdit* multi();
    StringGrid* grid_;
    QLineEdit* line_ = nullptr;
    QPlainTextEdit* multi_ = nullptr;
    Params params_;
    int maxLength_ = 0;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    bool modified_ = false;
    bool settingText_ = false;
    bool passing_ = false;
    bool recreating_ = false;
};

}  // namespace platform
