#include "grid/editlink.h"

#include "grid/listgrid.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>

namespace grid {

namespace {

// The frameless pop-up of an esPopup edit; its closing (a click outside it,
// or the focus going elsewhere) is the deactivation that the link hears of.
class TLinkPopup : public QWidget {
public:
    explicit TLinkPopup(TEditLink* Link) : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint), link_(Link) {}
    void Detach() { link_ = nullptr; }

protected:
    void hideEvent(QHideEvent* Event) override
    {
        QWidget::hideEvent(Event);
        if (TEditLink* link = link_) {
            link_ = nullptr;
            link->FormExit(this);
        }
    }

private:
    TEditLink* link_;
};

Qt::KeyboardModifiers modifiersOf(platform::ShiftState Shift)
{
    Qt::KeyboardModifiers m;
    if (Shift & platform::ssShift)
        m |= Qt::ShiftModifier;
    if (Shift & platform::ssCtrl)
        m |= Qt::ControlModifier;
    if (Shift & platform::ssAlt)
        m |= Qt::AltModifier;
    return m;
}

// Whether the link's key protocol handles the key: ends the edit, or stays in the control.
bool navigationKey(int Key)
{
    return Key == platform::VK_RETURN || Key == platform::VK_ESCAPE ||
           (Key >= platform::VK_PRIOR && Key <= platform::VK_DOWN);
}

}  // namespace

TEditLink::TEditLink(QObject* AOwner) : QObject(AOwner) {}

TEditLink::~TEditLink() { freePopup(); }

void TEditLink::EditKeyDown(QObject*, int& Key, platform::ShiftState Shift)
{
    using namespace platform;
    bool ends = false, wanted = false;
    switch (Key) {
    case VK_RETURN: ends = true, wanted = WantKeyReturn; break;
    case VK_ESCAPE: ends = true, wanted = WantKeyEscape; break;
    case VK_PRIOR:
    case VK_NEXT: ends = true, wanted = WantKeyPriorNext; break;
    case VK_END: ends = true, wanted = WantKeyHomeEnd; break;
    case VK_LEFT:
    case VK_RIGHT: ends = true, wanted = WantKeyLeftRight; break;
    case VK_UP:
    case VK_DOWN: ends = true, wanted = WantKeyUpDown; break;
    default: break;
    }
    if (!ends || wanted || !Grid)
        return;
    RIvuZuvuzoZuvu* grid = Grid;
    const std::string cache = grid->EditCache();  // ending the edit renews it
    ending_ = true;
    // The control's exit runs here and writes its value into the cell.
    if (popupForm_)
        popupForm_->close();
    grid->setFocus(Qt::OtherFocusReason);
    ending_ = false;
    if (Key == VK_ESCAPE)
        grid->SetCellEx(EditCell.x(), EditCell.y(), cache);
    grid->HideInplaceEdit();
    if (Key == VK_RETURN) {
        grid->AdvanceEdit(grid->Col(), grid->Row(), true, true, false);
        Key = 0;
    } else if (Key == VK_UP || Key == VK_DOWN) {
        QKeyEvent press(QEvent::KeyPress, Key == VK_UP ? Qt::Key_Up : Qt::Key_Down, modifiersOf(Shift));
        QApplication::sendEvent(grid, &press);
    }
}

QWidget* TEditLink::GetEditControl() { return nullptr; }
void TEditLink::CreateEditor(QWidget*) {}
void TEditLink::DestroyEditor() {}

void TEditLink::SetFocus(bool Value)
{
    if (!Value) {
        if (Grid)
            Grid->setFocus(Qt::OtherFocusReason);
    } else if (QWidget* control = GetEditControl()) {
        control->setFocus(Qt::OtherFocusReason);
    }
}

void TEditLink::SetRect(platform::Rect R)
{
    QWidget* control = GetEditControl();
    if (!control)
        return;
    const int line = Grid ? Grid->GridLineWidth() : 0;
    control->setGeometry(R.Left, R.Top, std::max(0, R.Width() - line), std::max(0, R.Height() - line));
}

void TEditLink::SetVisible(bool Value)
{
    if (QWidget* control = GetEditControl()) {
        control->setVisible(Value);
        if (Value)
            control->raise();
    }
}

void TEditLink::SetProperties() {}
void TEditLink::SetCellProps(const QColor&, const QFont&) {}
std::string TEditLink::GetEditorValue() { return {}; }
void TEditLink::SetEditorValue(const std::string&) {}

std::string TEditLink::GetCellValue() { return Grid ? Grid->GetCellEx(Grid->GetRealCol(), Grid->Row()) : std::string(); }

void TEditLink::SetCellValue(const std::string& S)
{
    if (Grid)
        Grid->SetCellEx(Grid->GetRealCol(), Grid->Row(), S);
}

QWidget* TEditLink::GetParent()
{
    if (EditStyle == esPopup && popupForm_)
        return popupForm_;
    return Grid ? Grid->viewport() : nullptr;
}

bool TEditLink::editOpen() const { return Grid && Grid->EditActive() && Grid->EditorType() == edCustom; }

void TEditLink::HideEditor()
{
    if (editOpen())
        SetCellValue(GetEditorValue());
    if (Grid)
        Grid->HideInplaceEdit();
    if (QWidget* control = GetEditControl())
        control->close();
}

void TEditLink::EditExit(QObject*)
{
    HideEditor();
    if (EditStyle == esPopup)
        freePopup();
}

void TEditLink::FormExit(QObject*)
{
    if (!editOpen()) {
        freePopup();
        return;
    }
    {
        // The grid's text editor holds the value as well; it is made first
        // when the grid has not edited text yet.
        if (platform::InplaceEdit* editor = Grid->EnsureInplaceEditor())
            editor->setText(QString::fromStdString(GetEditorValue()));
    }
    if (ending_)
        SetCellValue(GetEditorValue());
    else
        EditExit(this);
    freePopup();
}

QWidget* TEditLink::OpenPopup(QPoint ScreenPos)
{
    freePopup();
    auto* popup = new TLinkPopup(this);
    popup->setGeometry(ScreenPos.x(), ScreenPos.y(), std::max(0, PopupWidth), std::max(0, PopupHeight));
    popupForm_ = popup;
    popup->show();
    return popup;
}

void TEditLink::freePopup()
{
    if (!popupForm_)
        return;
    auto* popup = static_cast<TLinkPopup*>(popupForm_);
    popupForm_ = nullptr;
    popup->Detach();
    popup->hide();
    popup->deleteLater();
}

bool TEditLink::eventFilter(QObject* Watched, QEvent* Event)
{
    auto* control = qobject_cast<QWidget*>(Watched);
    if (Event->type() == QEvent::KeyPress && control) {
        auto* key = static_cast<QKeyEvent*>(Event);
        int vk = platform::VirtualKeyOf(*key);
        if (!navigationKey(vk))
            return QObject::eventFilter(Watched, Event);
        EditKeyDown(Watched, vk, platform::ShiftStateOf(key->modifiers()));
        if (vk == 0 || !editOpen())
            return true;  // the key ended the edit: it is not typed as well
        // A key the control keeps never reaches the grid, even when the
        // control has no use for it.
        static_cast<QObject*>(control)->event(Event);
        Event->accept();
        return true;
    }
    if (Event->type() == QEvent::FocusOut && control && EditStyle == esInplace) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(Event)->reason();
        QWidget* now = QApplication::focusWidget();
        const bool inside = now && (now == control || control->isAncestorOf(now));
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && !inside && editOpen())
            EditExit(Watched);
    }
    return QObject::eventFilter(Watched, Event);
}

void RIvuZuvuzoZuvu::showEditLink(const Rect& R, int ARealCol, int ARow, const QColor& Color, const QFont& Font,
                                  const std::string& Text)
{
    TEditLink* link = EditLink;
    link->Grid = this;
    link->EditCell = {ARealCol, ARow};
    if (link->EditStyle == esPopup) {
        QWidget* popup = link->OpenPopup(viewport()->mapToGlobal(QPoint(R.Left, R.Top)));
        link->CreateEditor(popup);
        link->SetRect({0, 0, link->PopupWidth, link->PopupHeight});
    } else {
        link->CreateEditor(viewport());
        link->SetRect(R);
    }
    link->SetVisible(true);
    link->SetCellProps(Color, Font);
    link->SetProperties();
    if (OnGetEditorProp)
        OnGetEditorProp(this, ARealCol, ARow, link);
    link->SetEditorValue(Text);
    link->SetFocus(true);
    // Without a control there is nobody to type the start character to.
    postStartChar(link->GetEditControl());
}

}  // namespace grid
