// TLabel3D: a text label with raised, recessed or shadowed text, text at any
// angle, an optional plain or 3-D border, ellipsis for long text, and a link
// mode that underlines the text under the mouse in the palette's link colour
// and opens a web or e-mail address when clicked. Text in palette colours
// stays readable on the label's colour in any palette. It keeps its own caption, font, alignment and
// layout and paints everything itself through platform::Canvas.
//
// A link label is also reached by Tab, shows a dotted focus frame while it
// has the focus and opens its address with Enter or Space. A screen reader
// reads a link label as a link and any other as static text, named by the
// caption (accelerator marks taken out).
#pragma once

#include "platform/canvas.h"

#include <QWidget>
#include <functional>

enum TBorderType { btDefault, btRecessed, btRaised };
enum TTextStyle { tsNone, tsRaised, tsLightRaised, tsRecessed, tsHeavyRecessed, tsShadow };
enum TLabelStyle { lsDefault, lsWWWAddress, lsEMailAddress };
enum TEllipsesStyle { esNone, esEnd, esPath };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel3D : public QWidget {
    Q_OBJECT
public:
    explicit TLabel3D(QWidget* parent = nullptr);

    // the label's own properties
    QString Caption() const { return caption_; }
    void SetCaption(const QString& text);
    platform::Font Font;                 // "Arial" in clBtnText at construction
    platform::TColor Color = platform::clBtnFace;
    bool Transparent = false;
    bool WordWrap = false;
    bool ShowAccelChar = true;
    TAlignment Alignment = taLeftJustify;
    TTextLayout Layout = tlTop;
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);

    // the added properties
    platform::TColor BorderColor() const { return borderColor_; }
    void SetBorderColor(platform::TColor c);
    platform::PenStyle BorderPenStyle() const { return borderPenStyle_; }
    void SetBorderStyle(platform::PenStyle s);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int w);
    bool Border() const { return border_; }
    void SetBorder(bool on);
    TBorderType BorderType() const { return borderType_; }
    void SetBorderType(TBorderType t);
    int Escapement() const { return escapement_; }
    void SetEscapement(int degrees);
    TTextStyle TextStyle() const { return textStyle_; }
    void SetTextStyle(TTextStyle s);
    TLabelStyle LabelStyle() const { return labelStyle_; }
    void SetLabelStyle(TLabelStyle s);
    TEllipsesStyle EllipsesStyle() const { return ellipsesStyle_; }
    void SetEllipsesStyle(TEllipsesStyle s);
    int Shift() const { return shift_; }
    void SetShift(int pixels);
    QString Address;
    void SetColorRR(platform::TColor shadow, platform::TColor highlight);

    std::function<void(QObject*)> OnMouseEnter, OnMouseExit, OnClick;

    // The top-left corner of text drawn at `angle` degrees inside `r` (with
    // AutoSize the control takes the rotated text's box).
    platform::Rect CalcTextPos(platform::Rect r, int angle, const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;

    virtual void Click();
    void DoDrawText(platform::Canvas& canvas, platform::Rect r, unsigned flags);
    void DrawAngleText(platform::Canvas& canvas, platform::Rect r, int angle, const QString& text);

private:
    friend class TLabel3DAccessible;
    bool isLink() const { return labelStyle_ == lsWWWAddress || labelStyle_ == lsEMailAddress; }
    void drawOneCopy(platform::Canvas& canvas, platform::Rect r, unsigned flags, const QString& text,
                     platform::TColor color);
    void applyBorderPen(platform::Canvas& canvas) const;

    QString caption_;
    bool autoSize_ = true;
    platform::TColor borderColor_ = platform::clRed;
    platform::PenStyle borderPenStyle_ = platform::psSolid;
    int borderWidth_ = 1;
    bool border_ = false;
    TBorderType borderType_ = btDefault;
    int escapement_ = 0;
    TTextStyle textStyle_ = tsRaised;
    TLabelStyle labelStyle_ = lsDefault;
    TEllipsesStyle ellipsesStyle_ = esNone;
    int shift_ = 1;
    platform::TColor shadowColor_ = platform::clBtnShadow;
    platform::TColor highlightColor_ = platform::clBtnHighlight;
    static constexpr platform::TColor linkColor_ = platform::clHotLight;  // the palette's link colour
    platform::TColor savedFontColor_ = platform::clBlack;
    bool pressed_ = false;
};

