// The list grid's border. With the soft look the grid draws its own flat
// two-pixel frame in place of Qt's: a grey line inside an outer line in the
// colour of the parent's background. The standard look keeps Qt's frame.
#include "grid/listgrid.h"

#include <QPainter>

namespace grid {

void RIvuZuvuzoZuvu::SetBorderStyle(platform::BorderStyle b)
{
    TBaseGrid::SetBorderStyle(b);
    applyFrame();
}

void RIvuZuvuzoZuvu::applyFrame()
{
    if (look_ == glSoft && GetBorderStyle() != platform::bsNone) {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(2);
    } else {
        TBaseGrid::SetBorderStyle(GetBorderStyle());
    }
    update();
}

void RIvuZuvuzoZuvu::paintSoftFrame()
{
    if (look_ != glSoft || GetBorderStyle() == platform::bsNone)
        return;
    // Two one-pixel rings: grey at 1 pixel in, and outside it the parent's
    // background, which hides Qt's own frame line.
    QPainter painter(this);
    const int w = width(), h = height();
    painter.setPen(platform::ToQColor(0x808080));
    painter.drawRect(1, 1, w - 3, h - 3);
    if (QWidget* parent = parentWidget()) {
        painter.setPen(parent->palette().color(parent->backgroundRole()));
        painter.drawRect(0, 0, w - 1, h - 1);
    }
}

}  // namespace grid
