// THTMLHintWindow: a borderless tool-tip window that shows a hint text, which
// may carry the grid's mini-HTML markup (drawn with Listgrid::HTMLDraw).
// ActivateHint measures the text, sizes the window to it, keeps it on the
// screen and shows it without taking the focus; the caller hides it (an
// empty hint hides it at once). Changing
// the caption repaints the window without resizing it.
#pragma once

#include "platform/color.h"
#include "platform/geometry.h"

#include <QWidget>

#include <string>

namespace grid {

class THTMLHintWindow : public QWidget {
    Q_OBJECT
public:
    explicit THTMLHintWindow(QWidget* Parent = nullptr);

    platform::TColor Color() const { return color_; }
    void SetColor(platform::TColor Value);
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& Value);  // repaints, keeps the size

    // Shows Hint with its top-left corner at R's (screen coordinates).
    void ActivateHint(const platform::Rect& R, const std::string& Hint);
    // The rectangle (from 0, 0) the hint needs when wrapped at MaxWidth.
    platform::Rect CalcHintRect(int MaxWidth, const std::string& Hint, void* Data = nullptr);
    int TextWidth() const { return textWidth_; }
    int TextHeight() const { return textHeight_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    platform::TColor color_ = platform::clInfoBk;
    std::string caption_;
    int textWidth_ = 0, textHeight_ = 0;
};

}  // namespace grid
