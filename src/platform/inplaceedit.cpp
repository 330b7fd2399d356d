#include "platform/inplaceedit.h"

#include "platform/accessibility.h"
#include "platform/stringgrid.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextLayout>

namespace platform {

namespace {

// Shows a chosen character for each character of a password line.
class PasswordStyle : public QProxyStyle {
public:
    explicit PasswordStyle(QChar c) : ch_(c) {}
    QChar character() const { return ch_; }
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return ch_.unicode();
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }

private:
    QChar ch_;
};

bool isMouseOrMenu(const QEvent* e)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::ContextMenu: return true;
    default: return false;
    }
}

}  // namespace

InplaceEdit::InplaceEdit(StringGrid* grid) : QWidget(grid->viewport()), grid_(grid)
{
    RecreateWnd();
    hide();
}

InplaceEdit::~InplaceEdit()
{
    // The fields go after this object: their last focus events stay with them.
    for (QObject* field : {static_cast<QObject*>(line_), static_cast<QObject*>(multi_)})
        if (field)
            field->removeEventFilter(this);
    if (multi_)
        multi_->viewport()->removeEventFilter(this);
}

QLineEdit* InplaceEdit::line()
{
    if (!line_) {
        line_ = new QLineEdit(this);
        line_->setFrame(false);
        line_->setAcceptDrops(false);
        line_->installEventFilter(this);
        connect(line_, &QLineEdit::textChanged, this, [this] {
            if (!settingText_)
                modified_ = true;
        });
    }
    return line_;
}

QPlainTextEdit* InplaceEdit::multi()
{
    if (!multi_) {
        multi_ = new QPlainTextEdit(this);
        multi_->setFrameShape(QFrame::NoFrame);
        multi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        multi_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        multi_->setAcceptDrops(false);
        multi_->document()->setDocumentMargin(0);
        multi_->installEventFilter(this);
        multi_->viewport()->installEventFilter(this);
        connect(multi_->document(), &QTextDocument::contentsChanged, this, [this] {
            if (!settingText_)
                modified_ = true;
        });
    }
    return multi_;
}

QWidget* InplaceEdit::Field() const
{
    if (params_.multiLine)
        return multi_;
    return line_;
}

void InplaceEdit::CreateParams(Params&) const {}

void InplaceEdit::RecreateWnd()
{
    Params p;
    CreateParams(p);
    QWidget* old = Field();
    if (old && p == params_)
        return;
    const bool hadFocus = old && old->hasFocus();
    const QString t = old ? text() : QString();
    const int start = old ? selectionStart() : 0, end = old ? selectionEnd() : 0, caret = old ? cursorPosition() : 0;
    const bool modified = modified_;
    params_ = p;
    const Qt::Alignment align = p.rightAlign ? Qt::AlignRight : alignment_;
    if (p.multiLine) {
        QPlainTextEdit* m = multi();
        m->setLineWrapMode(p.wordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        QTextOption option = m->document()->defaultTextOption();
        option.setAlignment(align);
        m->document()->setDefaultTextOption(option);
        m->setContentsMargins(p.inset[0], p.inset[1], p.inset[2], p.inset[3]);
    } else {
        QLineEdit* l = line();
        if (p.password)
            MakePasswordField(l);
        else
            l->setEchoMode(QLineEdit::Normal);
        auto* current = dynamic_cast<PasswordStyle*>(l->style());
        if (p.password && !(current && current->character() == p.passwordChar)) {
            // one style at a time: the one it replaces goes
            auto* style = new PasswordStyle(p.passwordChar);
            style->setParent(l);
            l->setStyle(style);
            delete current;
        }
        l->setAlignment(align | Qt::AlignVCenter);
        l->setTextMargins(p.inset[0], p.inset[1], p.inset[2], p.inset[3]);
        l->setMaxLength(maxLength_ > 0 ? maxLength_ : 32767);
    }
    QWidget* field = Field();
    field->setGeometry(rect());
    field->show();
    setFocusProxy(field);
    recreating_ = true;  // the focus moving to the new field neither ends nor starts anything
    if (hadFocus)
        field->setFocus(Qt::OtherFocusReason);
    if (old && old != field)
        old->hide();
    recreating_ = false;
    setText(t);
    modified_ = modified;
    if (start != end)
        setSelection(caret == start ? end : start, caret == start ? start - end : end - start);
    else
        setCursorPosition(caret);
}

void InplaceEdit::UpdateContents()
{
    SetCellText(grid_->GetEditText(grid_->Col(), grid_->Row()));
    grid_->editOriginal_ = text();
    selectAll();
}

void InplaceEdit::Move(const Rect& cell)
{
    if (cell.IsEmpty()) {
        hide();
        return;
    }
    setGeometry(cell.ToQRect());
}

// ---------------------------------------------------------------- text

QString InplaceEdit::text() const
{
    if (!params_.multiLine)
        return line_->text();
    QString t = multi_->document()->toRawText();
    t.replace(QChar::ParagraphSeparator, u'\n');
    t.replace(QChar::LineSeparator, u'\n');
    return t;
}

void InplaceEdit::setText(const QString& t)
{
    settingText_ = true;
    if (params_.multiLine)
        multi_->setPlainText(t);
    else
        line_->setText(t);
    settingText_ = false;
    modified_ = false;
}

std::string InplaceEdit::CellText() const
{
    QString t = text();
    if (params_.multiLine)
        t.replace(u'\n', QStringLiteral("\r\n"));
    return t.toStdString();
}

void InplaceEdit::SetCellText(const std::string& t)
{
    QString s = QString::fromStdString(t);
    if (params_.multiLine) {
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        s.replace(u'\r', u'\n');
    }
    setText(s);
}

void InplaceEdit::setMaxLength(int n)
{
    n = std::max(0, n);
    if (n == maxLength_)
        return;
    maxLength_ = n;
    if (line_) {
        // The line edit sets its text again, losing the selection: it is put back.
        const int start = line_->selectionStart(), length = line_->selectionLength(), caret = line_->cursorPosition();
        line_->setMaxLength(maxLength_ > 0 ? maxLength_ : 32767);
        if (start >= 0)
            line_->setSelection(caret == start ? start + length : start, caret == start ? -length : length);
        else
            line_->setCursorPosition(caret);
    }
}

void InplaceEdit::setAlignment(Qt::Alignment a)
{
    alignment_ = a & Qt::AlignHorizontal_Mask;
    if (line_)
        line_->setAlignment(alignment_ | Qt::AlignVCenter);
    if (multi_) {
        QTextOption option = multi_->document()->defaultTextOption();
        option.setAlignment(alignment_);
        multi_->document()->setDefaultTextOption(option);
    }
}

int InplaceEdit::cursorPosition() const
{
    return params_.multiLine ? multi_->textCursor().position() : line_->cursorPosition();
}

void InplaceEdit::setCursorPosition(int pos)
{
    pos = std::clamp(pos, 0, static_cast<int>(text().size()));
    if (!params_.multiLine) {
        line_->setCursorPosition(pos);
        return;
    }
    QTextCursor c = multi_->textCursor();
    c.setPosition(pos);
    multi_->setTextCursor(c);
}

int InplaceEdit::selectionStart() const
{
    if (params_.multiLine)
        return multi_->textCursor().selectionStart();
    return line_->hasSelectedText() ? line_->selectionStart() : line_->cursorPosition();
}

int InplaceEdit::selectionEnd() const
{
    if (params_.multiLine)
        return multi_->textCursor().selectionEnd();
    return line_->hasSelectedText() ? line_->selectionEnd() : line_->cursorPosition();
}

QString InplaceEdit::selectedText() const { return text().mid(selectionStart(), selectionEnd() - selectionStart()); }

void InplaceEdit::setSelection(int start, int length)
{
    const int size = static_cast<int>(text().size());
    start = std::clamp(start, 0, size);
    const int end = std::clamp(start + length, 0, size);
    if (!params_.multiLine) {
        line_->setSelection(start, end - start);
        return;
    }
    QTextCursor c = multi_->textCursor();
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    multi_->setTextCursor(c);
}

void InplaceEdit::selectAll() { setSelection(0, static_cast<int>(text().size())); }

void InplaceEdit::deselect() { setCursorPosition(cursorPosition()); }

void InplaceEdit::insert(const QString& s)
{
    if (params_.multiLine)
        multi_->textCursor().insertText(s);
    else
        line_->insert(s);
    modified_ = true;
}

bool InplaceEdit::fits(const QString& s) const
{
    return maxLength_ <= 0 || text().size() - (selectionEnd() - selectionStart()) + s.size() <= maxLength_;
}

// ---------------------------------------------------------------- layout

int InplaceEdit::lineFromChar(int index) const
{
    if (!params_.multiLine)
        return 0;
    const QTextDocument* doc = multi_->document();
    const QTextBlock at = doc->findBlock(std::clamp(index, 0, doc->characterCount() - 1));
    int line = 0;
    for (QTextBlock b = doc->firstBlock(); b.isValid() && b != at; b = b.next())
        line += std::max(1, b.layout() ? b.layout()->lineCount() : 1);
    if (const QTextLayout* layout = at.layout(); layout && layout->lineCount() > 0) {
        const QTextLine l = layout->lineForTextPosition(index - at.position());
        line += l.isValid() ? l.lineNumber() : layout->lineCount() - 1;
    }
    return line;
}

QPoint InplaceEdit::posFromChar(int index) const
{
    if (params_.multiLine) {
        QTextCursor c(multi_->document());
        c.setPosition(std::clamp(index, 0, multi_->document()->characterCount() - 1));
        return multi_->viewport()->mapTo(this, multi_->cursorRect(c).topLeft());
    }
    const QFontMetrics fm(line_->font());
    const QString shown = line_->displayText();
    return line_->mapTo(this, QPoint(line_->textMargins().left() + 2 + fm.horizontalAdvance(shown.left(index)),
                                     (line_->height() - fm.height()) / 2));
}

int InplaceEdit::charFromPos(QPoint p) const
{
    if (!rect().contains(p))
        return -1;
    if (params_.multiLine) {
        const QPoint v = multi_->viewport()->mapFrom(this, p);
        if (!multi_->viewport()->rect().contains(v))
            return -1;
        return multi_->cursorForPosition(v).position();
    }
    return line_->cursorPositionAt(line_->mapFrom(this, p));
}

// ---------------------------------------------------------------- clipboard

void InplaceEdit::copy()
{
    if (params_.password && !params_.multiLine)
        return;  // a password never leaves its field
    if (params_.multiLine)
        multi_->copy();
    else
        line_->copy();
}

void InplaceEdit::cut()
{
    if (!grid_->CanEditModify() || !hasSelectedText() || (params_.password && !params_.multiLine))
        return;
    QApplication::clipboard()->setText(selectedText());
    insert(QString());
}

void InplaceEdit::paste()
{
    QString clip = QApplication::clipboard()->text();
    if (!params_.multiLine)
        clip = clip.left(clip.indexOf(QRegularExpression(QStringLiteral("[\r\n]"))));
    if (!grid_->CanEditModify() || clip.isEmpty() || !fits(clip))
        return;
    insert(clip);
}

// ---------------------------------------------------------------- events

void InplaceEdit::passToField(QEvent* e)
{
    QObject* target = Field();
    if (params_.multiLine && isMouseOrMenu(e))
        target = multi_->viewport();
    passing_ = true;
    QCoreApplication::sendEvent(target, e);
    passing_ = false;
}

bool InplaceEdit::eventFilter(QObject* watched, QEvent* e)
{
    const bool field = watched == line_ || watched == multi_ || (multi_ && watched == multi_->viewport());
    if (passing_ || recreating_ || !field)
        return QWidget::eventFilter(watched, e);
    switch (e->type()) {
    case QEvent::KeyPress: keyPressEvent(static_cast<QKeyEvent*>(e)); return true;
    case QEvent::KeyRelease: keyReleaseEvent(static_cast<QKeyEvent*>(e)); return true;
    case QEvent::FocusIn: focusInEvent(static_cast<QFocusEvent*>(e)); return true;
    case QEvent::FocusOut: focusOutEvent(static_cast<QFocusEvent*>(e)); return true;
    case QEvent::MouseButtonDblClick: mouseDoubleClickEvent(static_cast<QMouseEvent*>(e)); return true;
    case QEvent::ContextMenu: contextMenuEvent(static_cast<QContextMenuEvent*>(e)); return true;
    case QEvent::InputMethod: {
        // Composed characters come in as typed ones, through the same filters.
        const QString committed = static_cast<QInputMethodEvent*>(e)->commitString();
        for (QChar c : committed) {
            QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            keyPressEvent(&typed);
        }
        return true;
    }
    default: return false;
    }
}

void InplaceEdit::keyPressEvent(QKeyEvent* e)
{
    if (e->matches(QKeySequence::Paste))
        return paste();
    if (e->matches(QKeySequence::Copy))
        return copy();
    if (e->matches(QKeySequence::Cut))
        return cut();
    const int vk = VirtualKeyOf(*e);
    const bool atStart = !hasSelectedText() && cursorPosition() == 0;
    const bool atEnd = !hasSelectedText() && cursorPosition() == text().size();
    switch (vk) {
    case VK_RETURN: {
        char32_t key = 13;
        grid_->KeyPress(key);
        return;
    }
    case VK_ESCAPE:
        setText(grid_->editOriginal_);
        grid_->HideEditor();
        return;
    case VK_TAB:
        if (!grid_->HasOption(goTabs)) {
            // Tab belongs to the grid's cells only with goTabs; otherwise it leaves the grid.
            grid_->HideEditor();
            grid_->focusNextPrevChild(!(e->modifiers() & Qt::ShiftModifier) && e->key() != Qt::Key_Backtab);
            return;
        }
        break;
    case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT:
        break;
    case VK_LEFT:
        if (!atStart)
            return passToField(e);
        break;
    case VK_RIGHT:
        if (!atEnd)
            return passToField(e);
        break;
    default: {
        const QString typed = e->text();
        if (!typed.isEmpty() && typed.at(0).unicode() >= 32 && typed.at(0).unicode() != 127 &&
            (!grid_->CanEditModify() || !fits(typed)))
            return;
        return passToField(e);
    }
    }
    // Navigation keys end the edit and move in the grid.
    grid_->HideEditor();
    int key = vk;
    grid_->KeyDown(key, ShiftStateOf(e->modifiers()));
}

void InplaceEdit::keyReleaseEvent(QKeyEvent* e) { passToField(e); }

void InplaceEdit::focusInEvent(QFocusEvent* e)
{
    passToField(e);
    grid_->focusArrived();
}

void InplaceEdit::focusOutEvent(QFocusEvent* e)
{
    passToField(e);
    grid_->focusLeft(QApplication::focusWidget());
}

void InplaceEdit::mouseDoubleClickEvent(QMouseEvent* e) { passToField(e); }

void InplaceEdit::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu;
    const bool password = !params_.multiLine && params_.password;
    QAction* a = menu.addAction(tr("Cu&t"), this, &InplaceEdit::cut);
    a->setEnabled(hasSelectedText() && !password);
    a = menu.addAction(tr("&Copy"), this, &InplaceEdit::copy);
    a->setEnabled(hasSelectedText() && !password);
    a = menu.addAction(tr("&Paste"), this, &InplaceEdit::paste);
    a->setEnabled(!QApplication::clipboard()->text().isEmpty());
    menu.addSeparator();
    menu.addAction(tr("Select &All"), this, &InplaceEdit::selectAll);
    menu.exec(e->globalPos());
}

void InplaceEdit::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    if (QWidget* field = Field())
        field->setGeometry(rect());
}

bool InplaceEdit::focusNextPrevChild(bool) { return false; }

bool InplaceEdit::event(QEvent* e)
{
    // What the field leaves unused while handing an event on comes back here
    // by propagation: it goes no further.
    if (passing_ && (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease || isMouseOrMenu(e) ||
                     e->type() == QEvent::Wheel)) {
        e->accept();
        return true;
    }
    return QWidget::event(e);
}

}  // namespace platform
