// The grid's mini-HTML renderer and its small text routines.
//
// Listgrid::HTMLDraw measures, paints and hit-tests one marked-up text in one
// routine: cell texts, hints and the footer preview all go through it, so that
// what is measured is what is drawn. It parses the text from the start on every
// call and keeps nothing between calls. It draws with the canvas's font, brush
// and pen and gives all three back as it found them (a rotated font left open
// by an unclosed <R> included).
//
// The tag language: <A HREF="v">, <B>, <I>, <U>, <S>, <BR>, <HR>, <P ALIGN=
// INDENT= BGCOLOR=>, <FONT FACE= SIZE= COLOR= BGCOLOR=>, <UL>, <LI>, <IND X=>,
// <IMG SRC= ALT= WIDTH= HEIGHT= ALIGN=>, <BODY BACKGROUND= BGCOLOR=>, <SUB>,
// <SUP>, <SHAD>, <HI>, <E>, <Z>, <BLINK>, <R A=>, and the matching closing
// tags; the entities &amp; &quot; &lt; &gt; &nbsp; &sect; &permil; &reg; &copy;
// &para; &trade; &euro;. Tag, attribute and colour names and keywords are
// matched in any letter case; attribute values (file names, link values) keep
// their case. Text is UTF-8; a malformed text never makes the renderer read
// outside it or loop: unknown tags are skipped and a tag without ">" ends it.
#pragma once

#include "platform/canvas.h"
#include "platform/color.h"
#include "platform/geometry.h"

#include <string>

namespace grid {

class TCustomImageList;
class THTMLPictureCache;
class TPictureContainer;

// What a call of the renderer is asked to do (the inputs, in the routine's order).
struct THTMLDrawParams {
    const TCustomImageList* Images = nullptr;  // source of "IDX:n" pictures
    int X = -1, Y = -1;                        // point to hit-test, canvas coordinates
    int FocusLink = -1;                        // 0-based anchor drawn with a focus frame; -1 none
    int HoverLink = 0;                         // 1-based anchor under the mouse
    int ShadowOffset = 1;                      // pixels of the <SHAD> shadow
    bool CheckAnchor = false;                  // the second pass hit-tests instead of drawing
    bool CheckOnly = false;                    // measure only; the whole text whatever the height
    bool Printing = false;                     // image-list pictures and icons stretched by Resolution
    bool KeepColors = false;                   // anchor and FONT colours not applied
    bool BlinkOn = true;                       // false: <BLINK> text in the background colour
    bool HoverMode = false;                    // hover look only for the HoverLink anchor
    bool WordWrap = true;                      // break between words; else cut with an ellipsis
    double Resolution = 1.0;
    platform::TColor URLColor = platform::clBlue;
    platform::TColor HoverColor = platform::clNone;
    platform::TColor HoverFontColor = platform::clNone;
    platform::TColor ShadowColor = platform::clGray;
    THTMLPictureCache* PictureCache = nullptr;
    TPictureContainer* PictureContainer = nullptr;
};

// What the renderer reports back.
struct THTMLDrawResult {
    std::string AnchorValue;   // value of the anchor under the point; untouched when none is hit
    std::string StrippedText;  // the plain text of every run, CR for each <BR>
    std::string FocusAnchor;   // value of the FocusLink anchor
    int XSize = 0;             // widest line, less a trailing blank
    int YSize = 0;             // total height of the lines; the height of "gh" at least
    int AnchorCount = 0;       // <A> tags met
    int MouseLink = -1;        // 1-based anchor under the point; -1 none
    platform::Rect HoverRect;  // the anchor under the point, on its line
};

namespace Listgrid {

// True when the point lies on anchor text (within the run and the text band
// of its line) or on a picture inside an anchor.
bool HTMLDraw(platform::Canvas& Canvas, const std::string& Text, const platform::Rect& R,
              const THTMLDrawParams& In, THTMLDrawResult& Out);

// The same with every argument in its place, for callers that pass them one by one.
bool HTMLDraw(platform::Canvas& Canvas, const std::string& Text, const platform::Rect& R,
              const TCustomImageList* Images, int X, int Y, int FocusLink, int HoverLink, int ShadowOffset,
              bool CheckAnchor, bool CheckOnly, bool Printing, bool KeepColors, bool BlinkOn, bool HoverMode,
              bool WordWrap, double Resolution, platform::TColor URLColor, platform::TColor HoverColor,
              platform::TColor HoverFontColor, platform::TColor ShadowColor, std::string& AnchorVal,
              std::string& StrippedText, std::string& FocusAnchor, int& XSize, int& YSize, int& AnchorCount,
              int& MouseLink, platform::Rect& HoverRect, THTMLPictureCache* PictureCache,
              TPictureContainer* PictureContainer);

// 1-based position of Sub in S (0 when absent), also stored into P.
int PosInto(const std::string& Sub, const std::string& S, int& P);

}  // namespace Listgrid

// ---- text routines of the renderer and of the grid's highlight and strip operations

// Exact match of a lower-case colour name ("clred", "clbtnface", ...); unknown names give clBlack.
platform::TColor ColorNameToColor(const std::string& Name);
// Two hex digits (upper case) to a byte; fewer than two characters give 0.
int HexDigitsToByte(const std::string& Digits);
// "#RRGGBB" to a colour; hex digits of either case; missing digits count as 0.
platform::TColor HexColorToColor(const std::string& Hex);
// 1-based position of Sub in S, both upper-cased; 0 when absent.
int UpperPos(const std::string& Sub, const std::string& S);
// The leading decimal digits (with an optional sign) of S as a number; 0 when none.
int IntValue(const std::string& S);
// Replaces the first case-insensitive occurrence of Pattern; true when it did.
bool ReplaceNoCase(std::string& S, const std::string& Pattern, const std::string& With);
// In the first "<#": drops the "<" and the first ">" after it.
std::string RemoveHashTagMarks(const std::string& S);
// Drops line feeds; carriage returns become "<BR>" when ToBR, else are dropped.
std::string LineBreaksToBR(const std::string& S, bool ToBR = true);
// Plain text as markup that draws it as typed: "&", "<" and ">" as entities,
// line breaks (CR LF, CR or LF) as "<BR>".
std::string PlainTextAsHTML(const std::string& S);
// <BR> and <HR> become CR LF, every other tag is removed; an unclosed "<" drops the rest.
std::string HTMLStrip(const std::string& S);
// Every complete tag removed; an unclosed "<" is kept with what follows.
std::string StripTags(const std::string& S);
// 1-based position in the marked-up text of the N-th visible character; 0 when fewer.
int TextPosToHTMLPos(const std::string& S, int N);
// Finds Fragment in the visible text of S from the visible offset Start (0-based);
// returns the 1-based visible position (0 when absent) and the matched text.
int FindInHTMLText(const std::string& S, const std::string& Fragment, int Start, bool MatchCase,
                   std::string& Match);
// Wraps every visible occurrence of Fragment in "<Tag>" and "</Tag>".
std::string InsertHilightTags(const std::string& S, const std::string& Tag, const std::string& Fragment,
                              bool MatchCase);
// Removes every "<Tag>" and "</Tag>", in any letter case.
std::string RemoveHilightTags(const std::string& S, const std::string& Tag);
bool IsDirectory(const std::string& Path);

}  // namespace grid
