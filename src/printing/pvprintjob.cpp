#include "printing/pvprintjob.h"

#include "platform/application.h"
#include "printing/pvprinter.h"
#include "printing/pvunits.h"

#include <algorithm>

platform::Rect PvPageRectOnSheet(TPvPagesPerSheet perSheet, TPvOrientation pageOrientation, int pageNum,
                                 const platform::Rect& sheet)
{
    const int L = sheet.Left, T = sheet.Top, R = sheet.Right, B = sheet.Bottom;
    switch (perSheet) {
    case gmOnePage:
        return sheet;
    case gmTwoPage:
        if (pageOrientation == gmPortrait)
            return pageNum % 2 ? platform::Rect{L, T, R / 2, B} : platform::Rect{R / 2, T, R, B};
        return pageNum % 2 ? platform::Rect{L, T, R, B / 2} : platform::Rect{L, B / 2, R, B};
    case gmFourPage:
        switch (pageNum % 4) {
        case 1: return {L, T, R / 2, B / 2};
        case 2: return {R / 2, T, R, B / 2};
        case 3: return {L, B / 2, R / 2, B};
        default: return {R / 2, B / 2, R, B};
        }
    }
    return sheet;
}

namespace {

// The sheet's orientation for pages of `page` orientation: two pages go side by
// side on a turned sheet, one or four keep the pages' orientation.
TPvOrientation SheetOrientation(TPvPagesPerSheet perSheet, TPvOrientation page)
{
    if (perSheet != gmTwoPage)
        return page;
    return page == gmPortrait ? gmLandscape : gmPortrait;
}

bool SheetFull(TPvPagesPerSheet perSheet, int pageNum)
{
    switch (perSheet) {
    case gmOnePage: return true;
    case gmTwoPage: return pageNum % 2 == 0;
    case gmFourPage: return pageNum % 4 == 0;
    }
    return true;
}

void Fire(const std::function<void()>& event)
{
    if (event)
        event();
}

}  // namespace

bool PvPrintPages(TPvPrinter& printer, const TPvPrintRequest& request)
{
    if (const QString why = printer.PrepareJob(); !why.isEmpty()) {
        ShowPvError(request.OwnerClass, why);
        return false;
    }
    const int first = std::max(request.First, 1);
    const int last = std::min(request.Last, request.NumPages);
    const int total = std::max(last - first + 1, 0);

    Fire(request.BeforePrint);
    const TPvOrientation before = printer.GetOrientation();
    printer.SetOrientation(SheetOrientation(request.PagesPerSheet, request.Orientation));
    const int width = printer.PrinterWidth();
    const int height = printer.PrinterHeight();
    const QPoint offset = printer.GetOffset();
    long double scale = 1.0L;
    if (request.PagesPerSheet == gmTwoPage && width > 0 && height > 0)
        scale = (long double)std::min(width, height) / std::max(width, height);
    else if (request.PagesPerSheet == gmFourPage)
        scale = 0.5L;
    const platform::Rect sheet{0, 0, width, height};

    bool ok = printer.BeginDoc();
    if (ok) {
        int printed = 0;
        for (int n = first; n <= last; ++n) {
            try {
                if (request.PrintPage)
                    request.PrintPage(n, *printer.GetCanvas(), scale,
                                      PvPageRectOnSheet(request.PagesPerSheet, request.Orientation, n, sheet), offset,
                                      printer.PrinterPpiX());
            } catch (...) {
                ShowPvError(request.OwnerClass, platform::CurrentExceptionText());
                ok = false;
                break;
            }
            if (SheetFull(request.PagesPerSheet, n) && n < last && !printer.NewPage()) {
                ok = false;
                break;
            }
            ++printed;
            if (request.OnPrintProgress)
                request.OnPrintProgress(printed, total);
        }
        // The job is ended whatever happened, so that what was printed comes out.
        ok = printer.EndDoc() && ok;
    }
    printer.SetOrientation(before);
    Fire(request.AfterPrint);
    return ok;
}
