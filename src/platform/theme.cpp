#include "platform/theme.h"

#include "platform/application.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>

namespace platform {

void DrawStyleGlyph(QPainter* Painter, const QWidget* Widget, StyleGlyph Glyph, const QRect& Rect,
                    const StyleGlyphState& State)
{
    if (!Painter || !Widget)
        return;
    QStyle* style = Widget->style();
    QStyleOptionButton option;
    option.initFrom(Widget);
    option.rect = Rect;
    option.state = QStyle::State_None;
    if (State.Enabled)
        option.state |= QStyle::State_Enabled;
    else
        option.palette.setCurrentColorGroup(QPalette::Disabled);
    if (State.Hot)
        option.state |= QStyle::State_MouseOver;
    if (State.Pressed)
        option.state |= QStyle::State_Sunken;
    else
        option.state |= QStyle::State_Raised;
    if (State.Flat)
        option.features |= QStyleOptionButton::Flat;

    Painter->save();
    switch (Glyph) {
    case StyleGlyph::CheckBox:
    case StyleGlyph::RadioButton:
        option.state |= State.On ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(Glyph == StyleGlyph::CheckBox ? QStyle::PE_IndicatorCheckBox
                                                           : QStyle::PE_IndicatorRadioButton,
                             &option, Painter, Widget);
        break;
    case StyleGlyph::PushButton:
        style->drawControl(QStyle::CE_PushButtonBevel, &option, Painter, Widget);
        break;
    default: {
        // A button face with an arrow, pushed in while pressed.
        if (State.Flat && !State.Pressed)
            Painter->fillRect(Rect, option.palette.color(QPalette::Button));
        else
            style->drawControl(QStyle::CE_PushButtonBevel, &option, Painter, Widget);
        const QStyle::PrimitiveElement arrow = Glyph == StyleGlyph::SpinUp     ? QStyle::PE_IndicatorArrowUp
                                               : Glyph == StyleGlyph::SpinLeft  ? QStyle::PE_IndicatorArrowLeft
                                               : Glyph == StyleGlyph::SpinRight ? QStyle::PE_IndicatorArrowRight
                                                                                : QStyle::PE_IndicatorArrowDown;
        QStyleOption arrowOption = option;
        const int shift = State.Pressed ? 1 : 0;
        arrowOption.rect = Rect.adjusted(2 + shift, 2 + shift, -2 + shift, -2 + shift);
        style->drawPrimitive(arrow, &arrowOption, Painter, Widget);
        break;
    }
    }
    Painter->restore();
}

// ---------------------------------------------------------------- theme entries

struct ThemeData {
    const QWidget* Window;
    QString ClassName;
};

namespace {
int drawCount = 0;
ThemeDrawing lastDrawing;
}  // namespace

bool ThemesLoaded() { return true; }
bool IsThemeActive() { return visualStylesActive(); }

HTHEME OpenThemeData(const QWidget* Window, const QString& ClassList)
{
    const QString name = ClassList.toLower();
    if (!Window || (name != QLatin1String("button") && name != QLatin1String("combobox") &&
                    name != QLatin1String("spin")))
        return nullptr;
    return new ThemeData{Window, name};
}

void CloseThemeData(HTHEME Theme) { delete Theme; }

bool DrawThemeBackground(HTHEME Theme, QPainter* DC, int PartId, int StateId, const QRect& Rect)
{
    if (!Theme || !DC || StateId < 1)
        return false;
    StyleGlyphState state;
    StyleGlyph glyph;
    if (Theme->ClassName == QLatin1String("button")) {
        if (PartId < 1 || PartId > 3)
            return false;
        glyph = PartId == 1 ? StyleGlyph::PushButton : PartId == 2 ? StyleGlyph::RadioButton : StyleGlyph::CheckBox;
        const int s = PartId == 1 ? StateId : (StateId - 1) % 4 + 1;  // push buttons have no checked states
        state.On = PartId != 1 && StateId >= 5;
        state.Hot = s == 2;
        state.Pressed = s == 3;
        state.Enabled = s != 4;
    } else {
        if (Theme->ClassName == QLatin1String("combobox")) {
            if (PartId != 1)
                return false;
            glyph = StyleGlyph::ComboButton;
        } else {
            static const StyleGlyph spin[] = {StyleGlyph::SpinUp, StyleGlyph::SpinDown, StyleGlyph::SpinRight,
                                              StyleGlyph::SpinLeft};
            if (PartId < 1 || PartId > 4)
                return false;
            glyph = spin[PartId - 1];
        }
        state.Hot = StateId == 2;
        state.Pressed = StateId == 3;
        state.Enabled = StateId != 4;
    }
    DrawStyleGlyph(DC, Theme->Window, glyph, Rect, state);
    ++drawCount;
    lastDrawing = {Theme->ClassName, PartId, StateId};
    return true;
}

int ThemeDrawCount() { return drawCount; }
ThemeDrawing LastThemeDrawing() { return lastDrawing; }

}  // namespace platform
