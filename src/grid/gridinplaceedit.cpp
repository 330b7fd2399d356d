#include "grid/gridinplaceedit.h"

#include "grid/listgrid.h"
#include "grid/vurirod.h"
#include "platform/beep.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

namespace grid {

using platform::VK_DELETE;
using platform::VK_DOWN;
using platform::VK_LEFT;
using platform::VK_RETURN;
using platform::VK_RIGHT;
using platform::VK_UP;

namespace {

// Word case: a letter after a blank, an apostrophe, ",", "-" or "." (or at the start) upper case, others lower.
QString wordCase(const QString& S)
{
    QString out = S;
    bool start = true;
    for (QChar& c : out) {
        if (c.isLetter())
            c = start ? c.toUpper() : c.toLower();
        start = c == u' ' || c == u'\'' || c == u',' || c == u'-' || c == u'.';
    }
    return out;
}

// Kinds whose Enter may make a line break (LineFeedOnEnter).
bool lineBreakKind(TEditorType T)
{
    return T == edNormal || T == edCapital || T == edMixedCase || T == edLowerCase || T == edUpperCase;
}

}  // namespace

platform::InplaceEdit* RIvuZuvuzoZuvu::CreateEditor() { return new TGridInplaceEdit(this); }

TGridInplaceEdit::TGridInplaceEdit(RIvuZuvuzoZuvu* Grid) : platform::InplaceEdit(Grid), grid_(Grid) {}

void TGridInplaceEdit::CreateParams(Params& p) const
{
    p.multiLine = grid_->EditorType() != edPassword;
    p.password = !p.multiLine;
    p.passwordChar = QLatin1Char(grid_->PasswordChar());
    p.rightAlign = rightAlign_;
    p.wordWrap = wordWrap_;
    // The text starts 3 pixels in from the left and top, 2 from the right.
    if (p.multiLine) {
        p.inset[0] = p.inset[1] = 3;
        p.inset[2] = 2;
    } else {
        p.inset[0] = 1;
    }
}

void TGridInplaceEdit::SetVAlign(bool Value)
{
    rightAlign_ = Value;
    RecreateWnd();
}

void TGridInplaceEdit::SetWordWrap(bool Value)
{
    wordWrap_ = Value;
    RecreateWnd();
}

void TGridInplaceEdit::UpdateContents()
{
    wordWrap_ = grid_->WordWrap();
    lookup_ = true;
    RecreateWnd();
    if (maxLength() == 0)
        setMaxLength(grid_->MaxEditLength());
    platform::InplaceEdit::UpdateContents();
    platform::GridDrawState state{};
    platform::Brush brush;
    platform::Font font = grid_->Font();
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    bool wrap = false;
    grid_->GetVisualProperties(grid_->Col(), grid_->Row(), state, false, false, brush, font, hAlign, vAlign, wrap);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, platform::ToQColor(brush.Color()));
    setPalette(pal);
    setFont(font.ToQFont(grid_->logicalDpiY()));
    // A screen reader reads the editor (and the field inside, which takes the focus) as the cell's column.
    grid_->nameEditorControl(this, grid_->Col());
    if (QWidget* field = Field())
        grid_->nameEditorControl(field, grid_->Col());
}

void TGridInplaceEdit::Move(const platform::Rect& cell)
{
    if (cell.IsEmpty()) {
        hide();
        return;
    }
    setGeometry(cell.Left, cell.Top, std::max(0, cell.Right - cell.Left - 1), std::max(0, cell.Bottom - cell.Top - 1));
}

// ---------------------------------------------------------------- clipboard

void TGridInplaceEdit::copy()
{
    bool allow = true;
    if (grid_->OnClipboardCopy)
        grid_->OnClipboardCopy(this, allow);
    if (allow)
        platform::InplaceEdit::copy();
}

void TGridInplaceEdit::cut()
{
    bool allow = true;
    if (grid_->OnClipboardCut)
        grid_->OnClipboardCut(this, allow);
    if (allow)
        platform::InplaceEdit::cut();
}

void TGridInplaceEdit::paste()
{
    QString clip = QApplication::clipboard()->text();
    if (clip.isEmpty())
        return;
    if (isMultiLine()) {
        clip.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        clip.replace(u'\r', u'\n');
    } else {
        clip = clip.left(clip.indexOf(u'\n')).remove(u'\r');
    }
    // The whole text or nothing: too long, refused by the handler or not of the cell's type.
    if ((maxLength() > 0 && clip.size() > maxLength()) || !fits(clip))
        return;
    const bool selected = hasSelectedText();
    const int start = selectionStart();
    QString result = text();
    result.replace(start, selectionEnd() - start, clip);
    bool allow = true;
    if (grid_->OnClipboardPaste)
        grid_->OnClipboardPaste(this, allow);
    if (!allow)
        return;
    const TAutoType type = IsType(result.toStdString());
    switch (grid_->EditorType()) {
    case edNumeric:
    case edPositiveNumeric:
        if (type != atNumeric)
            return;
        break;
    case edFloat:
        if (type != atNumeric && type != atFloat)
            return;
        break;
    case edMixedCase: result = wordCase(result); break;
    case edLowerCase: result = result.toLower(); break;
    case edUpperCase: result = result.toUpper(); break;
    default: break;
    }
    setText(result);
    setModified(true);
    if (selected)
        setSelection(start, static_cast<int>(clip.size()));
    else
        setCursorPosition(start + static_cast<int>(clip.size()));
}

// ---------------------------------------------------------------- keys

bool TGridInplaceEdit::typeChar(QChar C)
{
    if (!fits(QString(C)))
        return false;  // a full field takes nothing more
    const QString t = text();
    const QString selected = selectedText();
    const auto refuse = [](bool Beep) {
        if (Beep)
            platform::MessageBeep(0);
        return false;
    };
    switch (grid_->EditorType()) {
    case edNumeric:
    case edFloat: {
        const TCharVerdict verdict = grid_->EditorType() == edNumeric
                                         ? NumericCharVerdict(C, t, cursorPosition())
                                         : FloatCharVerdict(C, t, cursorPosition(), selected);
        if (verdict != TCharVerdict::Take)
            return refuse(verdict == TCharVerdict::Beep);
        break;
    }
    case edPositiveNumeric:
        if (!C.isDigit())
            return refuse(true);
        break;
    case edCapital:
    case edUpperCase: C = C.toUpper(); break;
    case edLowerCase: C = C.toLower(); break;
    case edMixedCase: {
        insert(QString(C));
        const int at = cursorPosition();
        setText(wordCase(text()));
        setModified(true);
        setCursorPosition(at);
        return true;
    }
    default: break;
    }
    insert(QString(C));
    return true;
}

void TGridInplaceEdit::enterEnds(QKeyEvent* Event)
{
    const int col = grid_->Col(), row = grid_->Row();
    if (isModified() && grid_->validatePending_) {
        grid_->SetEditText(col, row, CellText());
        const bool refused = grid_->validatePending_;
        SetCellText(grid_->GetEditText(col, row));
        if (refused)
            return;
    }
    platform::InplaceEdit::keyPressEvent(Event);
}

void TGridInplaceEdit::keyPressEvent(QKeyEvent* Event)
{
    const int vk = platform::VirtualKeyOf(*Event);
    const Qt::KeyboardModifiers mods = Event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier, plain = !(mods & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier));
    const bool arrow = vk >= VK_LEFT && vk <= VK_DOWN;
    TNavigation& nav = *grid_->Navigation;
    if (vk == platform::VK_BACK || vk == VK_DELETE)
        lookup_ = false;
    else if (vk != VK_RETURN && !arrow)
        lookup_ = true;

    // The caret walks out of the text into the next (previous) editable cell.
    const int caret = cursorPosition();
    if (nav.CursorWalkEditor() && plain && !hasSelectedText() &&
        ((vk == VK_RIGHT && caret == text().size()) || (vk == VK_LEFT && caret == 0))) {
        const TAdvanceDirection direction = nav.AdvanceDirection();
        nav.AdvanceDirection = adLeftRight;
        grid_->AdvanceEdit(grid_->Col(), grid_->Row(), vk == VK_RIGHT, true, true);
        nav.AdvanceDirection = direction;
        return;
    }
    // Up and Down move between the lines of the text before they leave it.
    if ((vk == VK_UP || vk == VK_DOWN) && !ctrl && isMultiLine()) {
        const int line = lineFromChar(caret);
        if (vk == VK_UP ? line > 0 : line < lineFromChar(static_cast<int>(text().size())))
            return passToField(Event);
    }
    if (vk == VK_RETURN) {
        const bool lineBreak = lineBreakKind(grid_->EditorType()) && isMultiLine();
        if (ctrl) {
            if (grid_->SizeWhileTyping->Height() && grid_->Multilinecells) {
                const int row = grid_->Row();
                const int lines = LinesInText(CellText() + " \r\n", true);
                if (lines >= grid_->MaxLinesInRow(row))
                    grid_->SizeToLines(row, lines, 0);
                else
                    grid_->AutoSizeRow(row);
            }
            if (nav.LineFeedOnEnter() || !isMultiLine())
                return enterEnds(Event);
            if (lineBreak && fits(QStringLiteral("\n")))
                insert(QStringLiteral("\n"));
            return;
        }
        if (nav.LineFeedOnEnter() && lineBreak) {
            if (fits(QStringLiteral("\n")))
                insert(QStringLiteral("\n"));
            return;
        }
        return enterEnds(Event);
    }

    const QString typed = Event->text();
    if (ctrl || (mods & Qt::AltModifier) || typed.size() != 1 || typed.at(0).unicode() < 32 ||
        typed.at(0).unicode() == 127) {
        platform::InplaceEdit::keyPressEvent(Event);
        return;
    }
    QChar c = typed.at(0);
    if (c == u'.' && (mods & Qt::KeypadModifier) && grid_->ExcelStyleDecimalSeparator)
        c = QLatin1Char(formatSettings().DecimalSeparator);
    if (!typeChar(c))
        return;
    // A field filled to its maximum length with the caret at its end moves on.
    if (nav.AdvanceAuto() && maxLength() > 0 && text().size() >= maxLength() && cursorPosition() == text().size()) {
        char32_t enter = 13;
        grid_->KeyPress(enter);
    }
}

void TGridInplaceEdit::completeLookup()
{
    const std::vector<std::string>& items = grid_->LookupItems();
    if (!lookup_ || hasSelectedText() || !grid_->Lookup || items.empty())
        return;
    // Only a typed part at the end of the text is completed: nothing after the caret is replaced.
    const QString t = text();
    const int caret = cursorPosition();
    if (caret == 0 || caret != t.size())
        return;
    const bool caseSensitive = grid_->LookupCaseSensitive;
    const std::string key = caseSensitive ? t.toStdString() : UpperCase(t.toStdString());
    for (const std::string& item : items) {
        if (!(caseSensitive ? item : UpperCase(item)).starts_with(key))
            continue;
        const QString added = QString::fromStdString(item).mid(caret, 255);
        if (added.isEmpty())
            return;
        setText(t + added);
        setModified(true);
        setSelection(caret, static_cast<int>(added.size()));
        return;
    }
}

template <typename F>
void TGridInplaceEdit::measureWithText(F Sizing)
{
    const int real = grid_->RemapCol(grid_->Col()), row = grid_->Row();
    const std::string kept = grid_->Cells(real, row);
    grid_->SetCells(real, row, CellText());
    Sizing();
    grid_->SetCells(real, row, kept);
}

void TGridInplaceEdit::keyReleaseEvent(QKeyEvent* Event)
{
    platform::InplaceEdit::keyReleaseEvent(Event);
    if (!isVisible() || !grid_->EditorMode())
        return;  // the key ended the edit
    const int vk = platform::VirtualKeyOf(*Event);
    if (vk != VK_LEFT && vk != VK_RIGHT)
        completeLookup();
    if (grid_->SizeWhileTyping->Width())
        measureWithText([this] { grid_->SizeToWidth(grid_->Col(), true); });
    if (grid_->SizeWhileTyping->Height() && grid_->WordWrap())
        measureWithText([this] { grid_->AutoSizeRow(grid_->Row()); });
    const int caret = cursorPosition();
    if (caret > 0)
        grid_->EditProgress(CellText(), posFromChar(caret - 1), caret);
}

// ---------------------------------------------------------------- focus and mouse

void TGridInplaceEdit::focusInEvent(QFocusEvent* Event)
{
    platform::InplaceEdit::focusInEvent(Event);
    if (grid_->caretClick_) {
        const int at = charFromPos(mapFrom(grid_->viewport(), *grid_->caretClick_));
        grid_->caretClick_.reset();
        if (at >= 0)
            setCursorPosition(at);
    } else if (grid_->Navigation->ImproveMaskSel()) {
        setSelection(0, 1);
    }
}

void TGridInplaceEdit::focusOutEvent(QFocusEvent* Event)
{
    if (grid_->LookupHistory && !text().isEmpty()) {
        std::vector<std::string> items = grid_->LookupItems();
        const std::string t = CellText();
        if (std::find(items.begin(), items.end(), t) == items.end()) {
            items.push_back(t);
            grid_->SetLookupItems(&items);
        }
    }
    platform::InplaceEdit::focusOutEvent(Event);
    if (Event->reason() == Qt::PopupFocusReason)
        return;  // the editor's own menu
    // What was typed reaches the cell now, validated; the editor shows what the cell took.
    const int col = grid_->Col(), row = grid_->Row();
    if (isModified() && grid_->EditorMode()) {
        grid_->SetEditText(col, row, CellText());
        SetCellText(grid_->GetEditText(col, row));
    }
    grid_->EditProgress(CellText(), QPoint(-1, -1), -1);
    grid_->editActive_ = false;
}

void TGridInplaceEdit::mouseDoubleClickEvent(QMouseEvent* Event)
{
    platform::InplaceEdit::mouseDoubleClickEvent(Event);
    if (grid_->OnDblClickCell)
        grid_->OnDblClickCell(grid_, grid_->Row(), grid_->Col());
}

}  // namespace grid
