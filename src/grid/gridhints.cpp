// The list grid's hint window: cell, comment and anchor hints, the size hint
// while a column or row is sized and the number hint of a dragged scroll
// thumb all show in the grid's one THTMLHintWindow.
#include "grid/listgrid.h"

namespace grid {

THTMLHintWindow* RIvuZuvuzoZuvu::HintWindow()
{
    if (!hintWindow_)
        hintWindow_ = new THTMLHintWindow(this);
    return hintWindow_;
}

void RIvuZuvuzoZuvu::HideHint()
{
    if (hintWindow_)
        hintWindow_->hide();
    hintCell_ = {-1, -1};
}

void RIvuZuvuzoZuvu::showHintAt(QPoint ViewportAt, const std::string& Text, TColor Color)
{
    if (Text.empty()) {
        HideHint();
        return;
    }
    THTMLHintWindow* hint = HintWindow();
    hint->SetColor(Color);
    const QPoint at = viewport()->mapToGlobal(ViewportAt);
    hint->ActivateHint({at.x(), at.y(), at.x(), at.y()}, Text);
}

}  // namespace grid
