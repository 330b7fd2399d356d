#include "documents/chequepage.h"

#include "platform/screen.h"
#include "printing/pvcanvas.h"
#include "printing/pvobjects.h"
#include "printing/pvpreview.h"
#include "printing/pvunits.h"

QStringList LayChequeOnPreview(const ChequePage& page, TPvPreview& preview)
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
    const int printerDpi = preview.Printer().PrinterPpiX();
    const int dpi = printerDpi > 0 ? printerDpi : platform::ScreenPixelsPerInch();
    const TPvRect sheet{0, 0, static_cast<long double>(preview.PageWidth.AsPvUnits),
                        static_cast<long double>(preview.PageHeight.AsPvUnits)};
    QStringList cut;
    std::vector<TPvRect> marks;
    for (const ChequeText& t : page.texts) {
        platform::Font font = platform::Font::FromLogFont(t.font, 96);
        font.Color = t.color;
        canvas.Font = font;
        canvas.TextOutLeft(t.left, t.top, t.text, PvMillimeters);
        if (t.mustFit.isEmpty() || t.text.isEmpty()) continue;
        const TPvRect box = static_cast<const TPvTextObject*>(canvas.LastObject)->PrintedBox(dpi, {});
        if (box.Left >= sheet.Left && box.Top >= sheet.Top && box.Right <= sheet.Right && box.Bottom <= sheet.Bottom)
            continue;
        cut << t.mustFit;
        marks.push_back(box);
    }
    preview.SetCutMarks(std::move(marks));
    preview.UpdatePreview();
    return cut;
}
