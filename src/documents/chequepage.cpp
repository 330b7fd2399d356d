#include "documents/chequepage.h"

#include "printing/pvcanvas.h"
#include "printing/pvpreview.h"
#include "printing/pvunits.h"

void LayChequeOnPreview(const ChequePage& page, TPvPreview& preview)
{
    TPvValue check;
    check.SetAsMm(page.heightMm);
    check.SetAsMm(page.widthMm);
    preview.PageHeight.SetAsMm(page.heightMm);
    preview.PageWidth.SetAsMm(page.widthMm);
    preview.DeleteAllPages(true);
    TPvCanvas& canvas = preview.Canvas();
    for (const ChequePicture& p : page.pictures)
        if (!p.image.isNull()) canvas.Draw(p.left, p.top, p.image, 1.0, PvMillimeters);
    for (const ChequeText& t : page.texts) {
        platform::Font font = platform::Font::FromLogFont(t.font, 96);
        font.Color = t.color;
        canvas.Font = font;
        canvas.TextOutLeft(t.left, t.top, t.text, PvMillimeters);
    }
    preview.UpdatePreview();
}
