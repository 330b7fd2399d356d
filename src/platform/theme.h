// Visual-style drawing: the few entries of the system's theme services that the
// grid's check boxes, buttons, flat combo box and spin buttons call, drawn here
// with the widget's QStyle. Classic and themed glyphs share DrawStyleGlyph, so
// the two looks differ only in the states they pass. Callers draw themed only
// while their own visual-style flag is set; IsThemeActive() says whether a new
// control should set it (never, on this platform).
#pragma once

#include <QRect>
#include <QString>

class QPainter;
class QWidget;

namespace platform {

// The glyphs the style routine knows.
enum class StyleGlyph { CheckBox, RadioButton, PushButton, ComboButton, SpinUp, SpinDown, SpinLeft, SpinRight };

struct StyleGlyphState {
    bool On = false;       // check box or radio button checked
    bool Enabled = true;
    bool Pressed = false;  // pushed in
    bool Hot = false;      // under the mouse
    bool Flat = false;     // a flat face without the 3-D bevel
};

// Draws one glyph with Widget's style on Painter inside Rect.
void DrawStyleGlyph(QPainter* Painter, const QWidget* Widget, StyleGlyph Glyph, const QRect& Rect,
                    const StyleGlyphState& State);

// ---- the theme entries
struct ThemeData;
using HTHEME = ThemeData*;

// True once the layer is up (it needs no library: always, from start-up on).
bool ThemesLoaded();
// Whether a visual style is active: platform::visualStylesActive().
bool IsThemeActive();
// A theme handle for the class list ("button", "combobox", "spin") drawn for
// Window; nullptr for a class the layer does not draw. Free it with CloseThemeData.
HTHEME OpenThemeData(const QWidget* Window, const QString& ClassList);
// Draws part PartId in state StateId of the handle's class into Rect. Parts and
// states are the system's numbers: button (push button 1, radio button 2, check
// box 3; states 1-4 unchecked normal/hot/pressed/disabled, 5-8 checked),
// combobox (drop-down button 1; states normal 1, hot 2, pressed 3, disabled 4),
// spin (up 1, down 2, right 3, left 4; the same four states). False for a null
// handle or a part the class lacks.
bool DrawThemeBackground(HTHEME Theme, QPainter* DC, int PartId, int StateId, const QRect& Rect);
void CloseThemeData(HTHEME Theme);

// For tests: how many backgrounds the theme layer has drawn, and the last one.
struct ThemeDrawing {
    QString ClassName;
    int Part = 0;
    int State = 0;
};
int ThemeDrawCount();
ThemeDrawing LastThemeDrawing();

}  // namespace platform
