// Editing of the list grid's special cells: which control edits a cell, its
// placement over the cell with the cell's colour and font, the write-back on
// leaving (only of a value the user changed, so a visit leaves the cell's
// bytes alone), Escape's restore and the advance to the next editable cell.
#include "grid/listgrid.h"

#include "grid/exchange/rtf.h"
#include "platform/beep.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>

namespace grid {

namespace {

bool isSpin(TEditorType t)
{
    return t == edSpinEdit || t == edFloatSpinEdit || t == edTimeSpinEdit || t == edDateSpinEdit;
}

void placeControl(QWidget* Control, int Left, int Top, int Width, int Height, const QColor& Color,
                  const QFont& Font)
{
    Control->setGeometry(Left, Top, std::max(0, Width), std::max(0, Height));
    Control->setEnabled(true);  // before the colour: enabling gives a flat combo its saved colour back
    QPalette pal = Control->palette();
    pal.setColor(QPalette::Base, Color);
    pal.setColor(QPalette::Window, Color);
    Control->setPalette(pal);
    Control->setFont(Font);
    Control->show();
    Control->raise();
}

void hideControl(QWidget* Control)
{
    Control->setEnabled(false);
    Control->hide();
}

}  // namespace

void RIvuZuvuzoZuvu::postStartChar(QWidget* Control)
{
    if (!startChar_ || !Control)
        return;
    const QString text = startChar_ == 8 ? QString(QChar(8)) : QString::fromUcs4(&startChar_, 1);
    const int key = startChar_ == 8                                                     ? Qt::Key_Backspace
                    : startChar_ < 128 && QChar(static_cast<char16_t>(startChar_)).isLetterOrNumber()
                        ? int(QChar(static_cast<char16_t>(startChar_)).toUpper().unicode())
                        : int(Qt::Key_unknown);
    QCoreApplication::postEvent(Control, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(Control, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

// What HideEditControl would write, to tell an edit that changed nothing.
std::string RIvuZuvuzoZuvu::specialEditorValue() const
{
    if (isSpin(editorType_))
        return spin_->text().toStdString();
    switch (editorType_) {
    case edComboEdit:
    case edComboList: return combo_->currentText().toStdString();
    case edEditBtn:
    case edNumericEditBtn:
    case edFloatEditBtn: return editBtn_->text().toStdString();
    case edUnitEditBtn: return (unitEditBtn_->text() + unitEditBtn_->UnitID()).toStdString();
    case edDateEdit:
    case edDateEditUpDown:
    case edTimeEdit: return datePicker_->dateTime().toString(Qt::ISODate).toStdString();
    case edRichEdit: return editRichEdit_->toHtml().toStdString();
    default: return {};
    }
}

// The spin editors, by their own reading of the text: a text that is no
// number or date opens at the spin's fallback and raises nothing.
QWidget* RIvuZuvuzoZuvu::showSpinEditor(const Rect& R, const QColor& Color, const QFont& Font, const QString& Text,
                                        int ARealCol, int ARow)
{
    editActive_ = true;
    placeControl(spin_, R.Left, R.Top, R.Right - R.Left - 1, R.Bottom - R.Top - 1, Color, Font);
    switch (editorType_) {
    case edSpinEdit:
        spin_->SetSpinType(sptNormal);
        spin_->setText(Text);
        spin_->SetValue(spin_->Value());
        break;
    case edFloatSpinEdit:
        spin_->SetSpinType(sptFloat);
        spin_->setText(Text);
        spin_->SetFloatValue(spin_->FloatValue());
        break;
    case edTimeSpinEdit:
        spin_->SetSpinType(sptTime);
        spin_->setText(QString::fromStdString(GetCellEx(ARealCol, ARow)));
        break;
    default:
        spin_->setText(Text);
        spin_->SetDateValue(spin_->DateValue());
        spin_->SetSpinType(sptDate);
        break;
    }
    return spin_;
}

// The combo box: an edit combo shows the text, a list combo selects the
// item of that text (or the grid's combo selection) and takes no start key.
QWidget* RIvuZuvuzoZuvu::showComboEditor(const Rect& R, const QColor& Color, const QFont& Font, const QString& Text,
                                         bool& TakesStartChar)
{
    editActive_ = true;
    const bool list = editorType_ == edComboList;
    combo_->hidePopup();
    combo_->setEditable(!list);
    placeControl(combo_, R.Left, R.Top, R.Right - R.Left - 1, R.Bottom - R.Top - 1, Color, Font);
    if (list) {
        int index = combo_->findText(Text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (index < 0)
            index = ComboSelection == -1 ? 0 : ComboSelection;
        combo_->setCurrentIndex(index < combo_->count() ? index : -1);
        TakesStartChar = false;
    } else {
        combo_->setEditText(Text);
    }
    if (Navigation->AutoComboDropSize())
        combo_->SizeDropDownWidth();
    if (Look() == glSoft) {
        combo_->SetFlat(true);
        combo_->SetEtched(true);
    }
    return combo_;
}

// The date or time picker in the short date (or hh:mm:ss) format; a text
// that is no date (or time) starts at today (now).
QWidget* RIvuZuvuzoZuvu::showDatePicker(const Rect& R, const QColor& Color, const QFont& Font, const std::string& Text)
{
    editActive_ = true;
    const bool time = editorType_ == edTimeEdit;
    const QDateTime now = QDateTime::currentDateTime();
    if (time) {
        datePicker_->setDisplayFormat(QStringLiteral("hh%1mm%1ss").arg(QLatin1Char(formatSettings().TimeSeparator)));
        datePicker_->setCalendarPopup(false);
    } else {
        datePicker_->setDisplayFormat(QString::fromStdString(ShortDateFormatText()));
        datePicker_->setCalendarPopup(editorType_ == edDateEdit);
    }
    if (!datePicker_->ReadCellText(Text, time))
        time ? datePicker_->setTime(now.time()) : datePicker_->setDate(now.date());
    const int h = time ? R.Bottom - R.Top - 1 : datePicker_->height();
    placeControl(datePicker_, R.Left, R.Top, R.Right - R.Left - 1, h, Color, Font);
    return datePicker_;
}

void RIvuZuvuzoZuvu::ShowEditControl(int ACol, int ARow)
{
    editorShown_[1] = editorShown_[2] = true;
    const Rect R = CellRect(ACol, ARow);
    const int real = RemapCol(ACol);
    const int W = R.Right - R.Left - 1, H = R.Bottom - R.Top - 1;

    platform::GridDrawState state{};
    platform::Brush brush;
    platform::Font font = Font();
    TAlignment hAlign = taLeftJustify;
    TVAlignment vAlign = vtaTop;
    bool wrap = false;
    GetVisualProperties(ACol, ARow, state, false, false, brush, font, hAlign, vAlign, wrap);
    const QColor color = platform::ToQColor(brush.Color());
    const QFont qfont = font.ToQFont(logicalDpiY());
    const std::string text = GetEditText(ACol, ARow);
    const QString qtext = QString::fromStdString(text);

    QWidget* control = nullptr;
    bool takesStartChar = true;
    if (isSpin(editorType_)) {
        control = showSpinEditor(R, color, qfont, qtext, real, ARow);
    } else {
        switch (editorType_) {
        case edComboEdit:
        case edComboList:
            control = showComboEditor(R, color, qfont, qtext, takesStartChar);
            break;
        case edEditBtn:
        case edNumericEditBtn:
        case edFloatEditBtn:
            editActive_ = true;
            editBtn_->setText(qtext);
            editBtn_->setMaxLength(MaxEditLength() > 0 ? MaxEditLength() : 32767);
            placeControl(editBtn_, R.Left, R.Top, W, H, color, qfont);
            control = editBtn_;
            break;
        case edUnitEditBtn: {
            editActive_ = true;
            unitEditBtn_->SetCellText(qtext);
            unitEditBtn_->setMaxLength(MaxEditLength() > 0 ? MaxEditLength() : 32767);
            placeControl(unitEditBtn_, R.Left, R.Top, W, H, color, qfont);
            control = unitEditBtn_;
            break;
        }
        case edCheckBox:
            editActive_ = true;
            checkBox_->setText(qtext);
            checkBox_->setCheckState(Qt::Unchecked);
            placeControl(checkBox_, R.Left, R.Top, W, H, color, qfont);
            control = checkBox_;
            takesStartChar = false;
            break;
        case edDateEdit:
        case edDateEditUpDown:
        case edTimeEdit:
            control = showDatePicker(R, color, qfont, text);
            takesStartChar = false;
            break;
        case edRichEdit:
            editActive_ = true;
            editRichEdit_->setParent(viewport());
            editRichEdit_->setFrameStyle(QFrame::NoFrame);
            editRichEdit_->Lock();
            CellToRich(real, ARow, editRichEdit_);
            editRichEdit_->selectAll();
            editRichEdit_->document()->setDocumentMargin(2);
            placeControl(editRichEdit_, R.Left, R.Top, W, H, color, qfont);
            editRichEdit_->Unlock();
            control = editRichEdit_;
            break;
        case edButton:
            editActive_ = true;
            button_->setText(qtext);
            placeControl(button_, R.Left - 1, R.Top - 1, W + 2, H + 2, color, qfont);
            control = button_;
            takesStartChar = false;
            break;
        case edCustom:
            if (EditLink) {
                editActive_ = true;
                showEditLink(R, real, ARow, color, qfont, text);
                break;
            }
            [[fallthrough]];
        default:
            // No control edits this kind here (a data check box, a custom
            // editor without a link): the edit ends at once, so the next
            // cell's editor is chosen afresh.
            editActive_ = false;
            editorShown_[1] = editorShown_[2] = false;
            break;
        }
    }
    if (control) {
        editShownValue_ = specialEditorValue();
        nameEditorControl(control, ACol);
        control->setFocus(Qt::OtherFocusReason);
        if (takesStartChar)
            postStartChar(editorType_ == edComboEdit ? static_cast<QWidget*>(combo_->lineEdit()) : control);
    }
    startChar_ = 0;
}

void RIvuZuvuzoZuvu::HideEditControl(int ACol, int ARow)
{
    editorShown_[2] = false;
    startChar_ = 0;
    const int real = RemapCol(ACol);
    const bool changed = specialEditorValue() != editShownValue_;
    QWidget* control = nullptr;
    if (isSpin(editorType_)) {
        if (changed) {
            if (editorType_ == edFloatSpinEdit)
                SetFloats(real, ARow, spin_->FloatValue());
            else if (editorType_ == edDateSpinEdit)
                SetDates(real, ARow, spin_->DateValue());
            else
                SetCellEx(real, ARow, spin_->text().toStdString());
        }
        control = spin_;
    } else {
        switch (editorType_) {
        case edComboEdit:
        case edComboList:
            if (editActive_ && changed)
                SetCellEx(real, ARow, combo_->currentText().toStdString());
            combo_->hidePopup();
            control = combo_;
            break;
        case edEditBtn:
        case edNumericEditBtn:
        case edFloatEditBtn:
            if (changed)
                SetCellEx(real, ARow, editBtn_->text().toStdString());
            control = editBtn_;
            break;
        case edUnitEditBtn:
            if (changed)
                SetCellEx(real, ARow, (unitEditBtn_->text() + unitEditBtn_->UnitID()).toStdString());
            control = unitEditBtn_;
            break;
        case edCheckBox: control = checkBox_; break;
        case edButton: control = button_; break;
        case edRichEdit:
            if (changed)
                RichToCell(real, ARow, editRichEdit_);
            control = editRichEdit_;
            break;
        case edDateEdit:
        case edDateEditUpDown:
            if (changed) {
                const QDate d = datePicker_->date();
                SetDates(real, ARow, EncodeDate(d.year(), d.month(), d.day()));
            }
            control = datePicker_;
            break;
        case edTimeEdit:
            if (changed)
                SetTimes(real, ARow, datePicker_->time().msecsSinceStartOfDay() / 86400000.0);
            control = datePicker_;
            break;
        case edCustom:
            // The link has written its value itself; a pop-up goes with its link.
            if (EditLink) {
                editActive_ = false;
                QWidget* edit = EditLink->GetEditControl();
                const bool hadFocus = edit && (edit->hasFocus() || edit->isAncestorOf(QApplication::focusWidget()));
                if (EditLink->EditStyle != esPopup)
                    EditLink->SetVisible(false);
                if (hadFocus)
                    setFocus(Qt::OtherFocusReason);
            }
            return;
        default:
            return;  // the text editor's kinds: its own edit goes on
        }
    }
    const bool hadFocus = control->hasFocus() || control->isAncestorOf(QApplication::focusWidget());
    hideControl(control);
    editActive_ = false;
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

void RIvuZuvuzoZuvu::CellToRich(int ACol, int ARow, TGridRichEdit* Rich)
{
    const std::string text = GetCellEx(ACol, ARow);
    if (text.empty())
        Rich->clear();
    else if (TextType(text, false) == ttRTF)
        RTFToDocument(text, *Rich->document(), Font(), logicalDpiY());
    else
        Rich->setPlainText(QString::fromStdString(text));
}

void RIvuZuvuzoZuvu::RichToCell(int ACol, int ARow, TGridRichEdit* Rich)
{
    SetCellEx(ACol, ARow, Rich->document()->isEmpty() ? std::string() : DocumentToRTF(*Rich->document(), Font(), logicalDpiY()));
}

void RIvuZuvuzoZuvu::ShowCellEdit()
{
    QCoreApplication::postEvent(this, new QKeyEvent(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier));
}

void RIvuZuvuzoZuvu::DoneInplaceEdit(int Key, platform::ShiftState Shift)
{
    closingEditor_ = true;
    HideInplaceEdit();
    if (Key == platform::VK_TAB || Key == platform::VK_LEFT || Key == platform::VK_RIGHT || Key == platform::VK_UP ||
        Key == platform::VK_DOWN) {
        int key = Key;
        KeyDown(key, Shift);
    }
    const bool alwaysEdit = Navigation->AlwaysEdit();
    Navigation->AlwaysEdit = false;
    setFocus(Qt::OtherFocusReason);
    if (Key == platform::VK_RETURN)
        AdvanceEdit(Col(), Row(), true, false, false);
    Navigation->AlwaysEdit = alwaysEdit;
    closingEditor_ = false;
}

void RIvuZuvuzoZuvu::RestoreCache() { SetCells(RemapCol(Col()), Row(), editCache_); }

// ---------------------------------------------------------------- advancing

// The cell after (or before) the base cell (c, r) in the advance direction.
QPoint RIvuZuvuzoZuvu::advanceTarget(int c, int r, bool Forward)
{
    const QPoint span = CellSpan(c, r);
    const int lastCol = ColCount() - 1 - FixedRightCols();
    const int lastRow = RowCount() - 1 - FixedFooters();
    const bool leftRight = Navigation->AdvanceDirection() == adLeftRight;
    if (Forward && leftRight) {
        if (c + span.x() < lastCol)
            return {c + 1 + span.x(), r};
        if (r != lastRow)
            return {FixedCols(), r + 1};
        if (Navigation->AdvanceInsert()) {
            bool canAdd = true;
            if (OnCanAddRow)
                OnCanAddRow(this, canAdd);
            if (!canAdd)
                return {-1, -1};
            SetRowCountEx(RowCount() + 1);
            if (OnAutoAddRow)
                OnAutoAddRow(this, RowCount() - 1 - FixedFooters());
            return {FixedCols(), r + 1};
        }
        return {FixedCols(), FixedRows()};
    }
    if (Forward) {
        if (r != lastRow)
            return {c, r + 1};
        Invalidate();
        if (c + span.x() < lastCol)
            return {c + 1 + span.x(), FixedRows()};
        if (Navigation->AdvanceInsert()) {
            SetColCountEx(ColCount() + 1);
            if (OnAutoInsertCol)
                OnAutoInsertCol(this, ColCount() - 1 - FixedRightCols());
            return {c + 1 + span.x(), FixedRows()};
        }
        return {FixedCols(), FixedRows()};
    }
    if (leftRight) {
        if (c > FixedCols())
            return {c - 1, r};
        return {lastCol, r > FixedRows() ? r - 1 : lastRow};
    }
    if (r > FixedRows())
        return {c, r - 1};
    return {c > FixedCols() ? c - 1 : lastCol, lastRow};
}

void RIvuZuvuzoZuvu::AdvanceEdit(int ACol, int ARow, bool Forward, bool ShowEditor, bool Force)
{
    if (!Navigation->AdvanceOnEnter() && !Force)
        return;
    const QPoint old = BaseCell(ACol, ARow);
    startChar_ = 0;
    QPoint at = old;
    // One full pass over the cells at most: a grid without an editable cell keeps its current cell.
    const long long bound = static_cast<long long>(ColCount()) * RowCount() + 2;
    for (long long n = 0;; ++n) {
        if (n >= bound)
            return;
        const QPoint base = BaseCell(at.x(), at.y());
        const QPoint next = advanceTarget(base.x(), base.y(), Forward);
        if (next.x() < 0)
            return;  // a row may not be added: the current cell stays
        at = next;
        if (at.x() < 0 || at.y() < 0 || at.x() >= ColCount() || at.y() >= RowCount())
            return;
        if (IsEditable(RemapCol(at.x()), at.y()))
            break;
    }
    advancing_ = true;
    SetCol(at.x());
    SetRow(at.y());
    advancing_ = false;
    bool allow = true;
    if (OnCellChanging)
        OnCellChanging(this, old.y(), old.x(), at.y(), at.x(), allow);
    const bool inPlace = HasStaticEdit(RemapCol(at.x()), at.y());
    if (!ShowEditor && !inPlace)
        return;
    TBaseGrid::ShowEditor();
    if (inPlace) {
        advancing_ = true;
        SetCol(old.x());
        SetCol(at.x());
        SetRow(at.y());
        advancing_ = false;
        if (OnCellChanging)
            OnCellChanging(this, old.y(), old.x(), at.y(), at.x(), allow);
    }
}

}  // namespace grid
