// The list grid's own printing: the page engine that lays a rectangle of
// cells onto pages in 0.1 mm (column widths, fit to page, column groups with
// repeated fixed columns, rows broken over pages with repeated fixed rows,
// header and footer, frame lines) and the calls that run it on the printer, a
// preview canvas or any canvas. The cells themselves are gridprintcells.cpp's.
#include "grid/htmldraw.h"
#include "grid/listgrid.h"

#include "platform/datepicture.h"
#include "platform/printer.h"
#include "platform/screen.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace grid {

namespace {

int roundInt(double v) { return static_cast<int>(std::lrint(v)); }

bool leftPosition(TPrintPosition P) { return P == ppTopLeft || P == ppBottomLeft; }
bool headerPosition(TPrintPosition P) { return P >= ppTopLeft && P <= ppTopCenter; }
bool footerPosition(TPrintPosition P) { return P >= ppBottomLeft && P <= ppBottomCenter; }

}  // namespace

int RIvuZuvuzoZuvu::MapFontHeight(int Points) const { return -roundInt(Points * 254.0 / 72.0 * fontScale_); }

int RIvuZuvuzoZuvu::MapFontSize(int Height) const { return roundInt(Height * 72.0 / 254.0); }

int RIvuZuvuzoZuvu::MaxLinesInGrid() const
{
    if (!Multilinecells)
        return 1;
    int lines = 1;
    for (int r = 0; r < RowCount(); ++r)
        lines = std::max(lines, MaxLinesInRow(r));
    return lines;
}

int RIvuZuvuzoZuvu::MaxCharsInCol(int ACol)
{
    const int c = RemapCol(ACol);
    int longest = 0;
    for (int r = 0; r < RowCount(); ++r) {
        const QString text = QString::fromStdString(SaveCell(c, r));
        const QStringList lines = text.split(QLatin1Char('\r'));
        for (qsizetype i = 0; i < (Multilinecells ? lines.size() : std::min<qsizetype>(1, lines.size())); ++i) {
            QString line = lines[i];
            if (line.startsWith(QLatin1Char('\n')))
                line.remove(0, 1);
            longest = std::max(longest, static_cast<int>(line.size()));
        }
    }
    return longest;
}

// ---------------------------------------------------------------- the calls

void RIvuZuvuzoZuvu::Print() { PrintRect(TGridRect{0, 0, GetColCountEx() - 1, GetRowCountEx() - 1}); }

void RIvuZuvuzoZuvu::PrintRect(const TGridRect& R)
{
    platform::RefreshPrinters();
    platform::Printer& printer = platform::CurrentPrinter();
    if (!printer.ReadyForJob())
        throw DIdiZedoRorid(printer.LastError().toStdString());
    if (printer.ResolutionX() <= 0 || printer.ResolutionY() <= 0)
        throw DIdiZedoRorid("No printer selected");
    printRect_ = R;
    printer.SetOrientation(PrintSettings->Orientation() == poLandscape ? platform::PrintOrientation::Landscape
                                                                       : platform::PrintOrientation::Portrait);
    const QSize page = printer.PrintableSize();
    pageRect_ = Rect{0, 0, roundInt(page.width() * 254.0 / printer.ResolutionX()),
                     -roundInt(page.height() * 254.0 / printer.ResolutionY())};

    // Counting measures at the printer's resolution, so both passes lay out alike.
    platform::Canvas measure(printer.ResolutionX());
    measure.SetMapMode(platform::MM_LOMETRIC);
    const int total = BuildPages(measure, prCalcPrint, -1);
    printTotal_ = total;
    printFrom_ = 1;
    printTo_ = total;
    if (OnPrintStart)
        OnPrintStart(this, total, printFrom_, printTo_);
    if (printFrom_ <= 0 || printTo_ <= 0 || printTo_ < printFrom_)
        return;

    printer.SetTitle(PrintSettings->JobName());
    if (!printer.BeginJob())
        throw DIdiZedoRorid(printer.LastError().toStdString());
    try {
        platform::Canvas canvas;
        canvas.Begin(printer.Painter());
        canvas.SetMapMode(platform::MM_LOMETRIC);
        printJob_ = &printer;
        BuildPages(canvas, prPrint, total);
        printJob_ = nullptr;
        canvas.End();
    } catch (...) {
        printJob_ = nullptr;
        printer.AbortJob();
        throw;
    }
    if (!printer.EndJob())
        throw DIdiZedoRorid(printer.LastError().toStdString());
}

void RIvuZuvuzoZuvu::PrintPreview(platform::Canvas& ACanvas, const Rect& R)
{
    PrintPreviewRect(ACanvas, R, TGridRect{0, 0, GetColCountEx() - 1, GetRowCountEx() - 1});
}

// The canvas maps 0.1 mm from the top-left corner of R, which becomes the page.
void RIvuZuvuzoZuvu::printOnCanvas(platform::Canvas& ACanvas, const Rect& R, const TGridRect& G)
{
    ACanvas.SetViewportOrigin(R.TopLeft());
    ACanvas.SetMapMode(platform::MM_LOMETRIC);
    printRect_ = G;
    pageRect_ = Rect{0, 0, ACanvas.DeviceToLogicalLength(R.Width()), -ACanvas.DeviceToLogicalLength(R.Height())};
}

void RIvuZuvuzoZuvu::PrintPreviewRect(platform::Canvas& ACanvas, const Rect& R, const TGridRect& G)
{
    TMappingScope keep(ACanvas);
    printOnCanvas(ACanvas, R, G);
    printTotal_ = BuildPages(ACanvas, prCalcPreview, -1);
    BuildPages(ACanvas, prPreview, printTotal_);
}

void RIvuZuvuzoZuvu::PrintDraw(platform::Canvas& ACanvas, const Rect& R)
{
    PrintDrawRect(ACanvas, R, TGridRect{0, 0, GetColCountEx() - 1, GetRowCountEx() - 1});
}

void RIvuZuvuzoZuvu::PrintDrawRect(platform::Canvas& ACanvas, const Rect& R, const TGridRect& G)
{
    TMappingScope keep(ACanvas);
    printOnCanvas(ACanvas, R, G);
    printFrom_ = printTo_ = printTotal_ = 1;
    BuildPages(ACanvas, prPrint, 1);
}

// ---------------------------------------------------------------- the page engine

bool RIvuZuvuzoZuvu::printPageDrawn() const
{
    const int page = pass_.PageIndex + 1;
    return (pass_.Method == prPreview || pass_.Method == prPrint) && page >= printFrom_ && page <= printTo_;
}

// The page of PageIndex becomes the current one.
void RIvuZuvuzoZuvu::beginPrintPage()
{
    if (!printPageDrawn())
        return;
    if (pass_.DrewPage && pass_.Printer && !pass_.Printer->NewPage())
        throw DIdiZedoRorid(pass_.Printer->LastError().toStdString());
    pass_.DrewPage = true;
    if (OnPrintPage)
        OnPrintPage(this, pass_.Canvas, pass_.PageIndex + 1, pass_.PageWidth, pass_.PageHeight);
}

int RIvuZuvuzoZuvu::printRowHeight(int ARow)
{
    TPrintPass& P = pass_;
    if (ARow == P.MemoRow)
        return P.MemoHeight;
    const TPrintSettings& S = *PrintSettings;
    int h = 0;
    if (S.UseFixedHeight()) {
        h = S.FixedHeight();
    } else if (OnPrintSetRowHeight) {
        h = S.FixedHeight();
        OnPrintSetRowHeight(this, ARow, h);
    } else {
        int last = 0;
        for (int c = printRect_.Left; c <= printRect_.Right; ++c) {
            if (IsMergedCell(c, ARow))
                continue;
            last = cellPrintSize(c, ARow).y();
            h = std::max(h, last);
        }
        if (h == 0)
            h = last;
    }
    h = std::max(0, h);
    P.MemoRow = ARow;
    P.MemoHeight = h + h / 8 + 2 * P.Gap + S.RowSpacing();
    return P.MemoHeight;
}

int RIvuZuvuzoZuvu::BuildPages(platform::Canvas& ACanvas, TPrintMethod Method, int PageCount)
{
    TPrintPass& P = pass_;
    const std::array<QString, 7> lastSlots = P.Slots;
    P = TPrintPass{};
    P.Slots = lastSlots;
    P.Canvas = &ACanvas;
    P.Method = Method;
    P.Total = PageCount;
    P.Printer = Method == prPrint ? printJob_ : nullptr;
    fontScale_ = 1.0;

    preparePrintCanvas(ACanvas);
    TPageLayout L;
    if (!startPageLayout(L))
        return 0;
    measurePrintColumns(L);
    fitPrintColumnsToPage(L);
    if (OnPrintSetColumnWidth)
        for (int c = L.FirstMeasured; c <= L.Cells.Right; ++c)
            if (L.Measured(c))
                OnPrintSetColumnWidth(this, c, P.Widths[static_cast<std::size_t>(c)]);
    measureHeaderAndFooter();
    L.BottomLimit = P.PageHeight + P.FooterHeight;

    // Column groups, pages across; each group starts on a page of its own.
    for (int first = L.Cells.Left; first <= L.Cells.Right;) {
        const bool repeat = first != L.Cells.Left && L.RepeatCols;
        const int last = placeColumnGroup(L, first, repeat);
        printColumnGroup(L, first, last, repeat);
        first = last + 1;
    }
    return P.PageIndex;
}

// The resolutions, the pen of every printed line, the text heights, gap and
// inset, and the page.
void RIvuZuvuzoZuvu::preparePrintCanvas(platform::Canvas& ACanvas)
{
    const TPrintSettings& S = *PrintSettings;
    TPrintPass& P = pass_;
    const int screenDpi = platform::ScreenPixelsPerInch();
    P.HTMLScale = screenDpi > 0 && ACanvas.Dpi() > 0 ? double(ACanvas.Dpi()) / screenDpi : 1.0;
    P.ScreenFactor = 254.0 / (screenDpi > 0 ? screenDpi : 96);
    ACanvas.SetMapMode(platform::MM_LOMETRIC);

    ACanvas.Pen = platform::Pen{};
    ACanvas.Pen.Style = S.BorderStyle();
    ACanvas.Pen.Width = S.Borders() == pbDouble ? 10 : 2;
    ACanvas.Brush.SetColor(platform::clWhite);

    const auto heightOf = [&](const platform::Font& F) {
        ACanvas.Font = F;
        ACanvas.Font.Height = MapFontHeight(F.Size());
        return ACanvas.TextHeight(QStringLiteral("gh"));
    };
    P.HeaderTextHeight = heightOf(S.HeaderFont());
    P.FooterTextHeight = heightOf(S.FooterFont());
    const int cellTextHeight = heightOf(S.Font());
    P.Gap = cellTextHeight / 8;
    P.Inset = ACanvas.TextWidth(QStringLiteral("a"));

    P.PageWidth = pageRect_.Right - pageRect_.Left;
    P.PageHeight = pageRect_.Bottom - pageRect_.Top;
}

// The spacing, the columns to measure and empty width and offset tables;
// false when the printed rectangle lies outside the grid.
bool RIvuZuvuzoZuvu::startPageLayout(TPageLayout& L)
{
    const TPrintSettings& S = *PrintSettings;
    TPrintPass& P = pass_;
    P.Spacing = S.UseFixedWidth() ? 0 : S.ColumnSpacing() + 20;

    const TGridRect G = printRect_;
    L.Cells = G;
    L.FixedCols = std::min(FixedCols(), ColCount());
    L.RepeatCols = S.RepeatFixedCols() && L.FixedCols > 0;
    L.FirstMeasured = L.RepeatCols ? 0 : std::max(0, G.Left);
    L.Columns = std::max({G.Right + 1, L.FixedCols, 0});
    P.Widths.assign(static_cast<std::size_t>(L.Columns), 0);
    P.Offsets.assign(static_cast<std::size_t>(L.Columns), 0);
    return !(G.Left < 0 || G.Top < 0 || G.Right < G.Left || G.Bottom < G.Top || G.Right >= ColCount() ||
             G.Bottom >= RowCount());
}

// Every measured column's width: the screen width, the fixed width or the
// widest cell that is not merged across.
void RIvuZuvuzoZuvu::measurePrintColumns(const TPageLayout& L)
{
    const TPrintSettings& S = *PrintSettings;
    TPrintPass& P = pass_;
    for (int c = L.FirstMeasured; c <= L.Cells.Right; ++c) {
        if (!L.Measured(c))
            continue;
        int& width = P.Widths[static_cast<std::size_t>(c)];
        if (S.NoAutoSize()) {
            width = roundInt((ColWidths(c) - 4) * P.ScreenFactor);
            continue;
        }
        for (int r = L.Cells.Top; r <= L.Cells.Bottom; ++r) {
            const int w = S.UseFixedWidth() ? S.FixedWidth() : cellPrintSize(c, r).x();
            if (w > width && !IsXMergedCell(c, r))
                width = w;
        }
    }
}

// Scales the widths so the printed columns fill the page between the
// margins, as far as the fit setting (or the owner) allows.
void RIvuZuvuzoZuvu::fitPrintColumnsToPage(const TPageLayout& L)
{
    const TPrintSettings& S = *PrintSettings;
    TPrintPass& P = pass_;
    if (S.FitToPage() == fpNever)
        return;
    const TGridRect& G = L.Cells;
    int total = 0;
    for (int c = G.Left; c <= G.Right; ++c)
        total += P.Widths[static_cast<std::size_t>(c)] + P.Spacing;
    const int fixedPart = (G.Right - G.Left + 1) * P.Spacing;
    double scale =
        total != fixedPart ? double(P.PageWidth - S.RightSize() - S.LeftSize() - fixedPart) / (total - fixedPart) : 1.0;
    if (S.FitToPage() == fpShrink && scale > 1.0)
        scale = 1.0;
    if (S.FitToPage() == fpGrow && scale < 1.0)
        scale = 1.0;
    if (S.FitToPage() == fpCustom) {
        bool allow = true;
        if (OnFitToPage)
            OnFitToPage(this, scale, allow);
        if (!allow)
            scale = 1.0;
    }
    if (!(scale > 0) || !std::isfinite(scale))
        scale = 1.0;
    if (scale != 1.0)
        for (int c = L.FirstMeasured; c <= G.Right; ++c)
            P.Widths[static_cast<std::size_t>(c)] = roundInt(P.Widths[static_cast<std::size_t>(c)] * scale);
    P.Scale = scale;
}

// The header and footer heights: a text line where any header (footer) item
// is placed, the title's extra lines, and the sizes the settings add.
void RIvuZuvuzoZuvu::measureHeaderAndFooter()
{
    const TPrintSettings& S = *PrintSettings;
    TPrintPass& P = pass_;
    const bool titleLines = !S.TitleLines().isEmpty();
    const int extraTitle = titleLines && S.TitleText().isEmpty() ? static_cast<int>(S.TitleLines().size()) - 1 : 0;
    const TPrintPosition positions[] = {S.Time(), S.Date(), S.PageNr(), S.Title()};
    const bool anyHeader = std::any_of(std::begin(positions), std::end(positions), headerPosition);
    const bool anyFooter = std::any_of(std::begin(positions), std::end(positions), footerPosition);
    P.HeaderHeight = anyHeader ? P.Gap + P.HeaderTextHeight + S.HeaderSize() : S.HeaderSize();
    if (anyHeader && headerPosition(S.Title()))
        P.HeaderHeight += extraTitle * P.HeaderTextHeight;
    P.FooterHeight = anyFooter ? (P.Gap + P.FooterTextHeight) * 2 + S.FooterSize()
                               : P.Gap + P.FooterTextHeight + S.FooterSize();
    if (anyFooter && footerPosition(S.Title()))
        P.FooterHeight += extraTitle * P.FooterTextHeight;
}

// Opens the column group that starts at First: takes the columns that end
// within the page width less the right margin, and at least one (a column
// wider than that on its own is clipped at the margin), places them and the
// repeated fixed columns across the page, and returns the group's last column.
int RIvuZuvuzoZuvu::placeColumnGroup(const TPageLayout& L, int First, bool Repeat)
{
    const TPrintSettings& S = *PrintSettings;
    TPrintPass& P = pass_;
    auto W = [&](int c) -> int& { return P.Widths[static_cast<std::size_t>(c)]; };
    auto X = [&](int c) -> int& { return P.Offsets[static_cast<std::size_t>(c)]; };
    ++P.GroupNr;
    P.PageInGroup = 0;
    int fixedPart = 0;
    if (Repeat)
        for (int c = 0; c < L.FixedCols; ++c)
            fixedPart += W(c) + P.Spacing;
    const int start = S.Centered() ? 0 : S.LeftSize();
    const int limit = P.PageWidth - S.RightSize();
    int used = fixedPart, last = First - 1;
    while (last < L.Cells.Right && start + used + W(last + 1) + P.Spacing <= limit) {
        ++last;
        used += W(last) + P.Spacing;
    }
    bool lone = false;
    if (last < First) {
        last = First;
        used += W(First) + P.Spacing;
        lone = true;
    }
    if (last < L.Cells.Right)
        P.Groups = true;
    int x = start;
    if (S.Centered() && used < P.PageWidth)
        x += (P.PageWidth - used) / 2;
    if (Repeat)
        for (int c = 0; c < L.FixedCols; ++c) {
            X(c) = x;
            x += W(c) + P.Spacing;
        }
    for (int c = First; c <= last; ++c) {
        X(c) = x;
        x += W(c) + P.Spacing;
    }
    P.ClipRight = lone ? std::min(x, limit) : x;
    for (int c = 0; c < L.Columns; ++c)
        SetPrintColumn(c, W(c), X(c));
    return last;
}

// Prints the rows of one column group down its pages: the header, footer and
// repeated fixed rows on each, a page break where the next row would pass the
// bottom or the owner asks for one, and the frame of every page.
void RIvuZuvuzoZuvu::printColumnGroup(const TPageLayout& L, int First, int Last, bool Repeat)
{
    const TPrintSettings& S = *PrintSettings;
    TPrintPass& P = pass_;
    const TGridRect& G = L.Cells;
    const int fixedRows = FixedRows();
    beginPrintPage();
    bool onPage = false, justFinished = false;
    int y = 0;
    for (int row = G.Top; row <= G.Bottom; ++row) {
        justFinished = false;
        if (!onPage) {
            y = -P.HeaderHeight;
            if (printPageDrawn())
                printHeaderFooter();
            y -= S.TitleSpacing();
            if (row > 0 && row >= fixedRows && (P.PageIndex > 0 || G.Top >= fixedRows) && S.RepeatFixedRows() &&
                fixedRows > 0)
                for (int f = 0; f < fixedRows; ++f) {
                    if (Repeat)
                        printRow(f, 0, L.FixedCols - 1, y);
                    y -= printRow(f, First, Last, y);
                }
            onPage = true;
        }
        if (Repeat)
            printRow(row, 0, L.FixedCols - 1, y);
        y -= printRow(row, First, Last, y);

        const int next = row + 1;
        bool newPage = false;
        if (OnPrintNewPage)
            OnPrintNewPage(this, next, newPage);
        const bool rowsLeft = next <= G.Bottom;
        const int h = rowsLeft ? printRowHeight(next) : 0;
        const bool full = y - h < L.BottomLimit;
        if ((full || !rowsLeft || newPage) && printPageDrawn() && OnPrintPageDone)
            OnPrintPageDone(this, P.Canvas, next, y, P.PageIndex, P.PageWidth, P.PageHeight);
        if ((full && rowsLeft) || newPage) {
            printPageFrame(y, Repeat ? 0 : First, Repeat);
            ++P.PageIndex;
            ++P.PageInGroup;
            beginPrintPage();
            onPage = false;
            justFinished = true;
        }
    }
    if (!justFinished)
        printPageFrame(y, Repeat ? 0 : First, Repeat);
    ++P.PageIndex;
}

// ---------------------------------------------------------------- frame, header and footer

void RIvuZuvuzoZuvu::printPageFrame(int Y, int FirstCol, bool RepeatCols)
{
    if (!printPageDrawn())
        return;
    const TPrintPass& P = pass_;
    platform::Canvas& canvas = *P.Canvas;
    const TPrintBorders b = PrintSettings->Borders();
    const int top = -P.HeaderHeight - PrintSettings->TitleSpacing();
    const int bottom = Y + P.Gap / 2;
    const int left = P.Offsets[static_cast<std::size_t>(FirstCol)];
    const int right = P.ClipRight;
    const auto line = [&](int x1, int y1, int x2, int y2) {
        canvas.MoveTo(x1, y1);
        canvas.LineTo(x2, y2);
    };
    if (b == pbAround || b == pbAroundVertical || b == pbAroundHorizontal) {
        line(left, top, right, top);
        line(right, top, right, bottom);
        line(right, bottom, left, bottom);
        line(left, bottom, left, top);
    }
    if (b == pbDouble || b == pbHorizontal || b == pbAroundHorizontal)
        line(left, bottom, right, bottom);
    if ((b == pbDouble || b == pbVertical || b == pbAroundVertical) && RepeatCols)
        for (int c = 0; c < std::min(FixedCols(), static_cast<int>(P.Offsets.size())); ++c)
            line(P.Offsets[static_cast<std::size_t>(c)], top, P.Offsets[static_cast<std::size_t>(c)], bottom);
}

void RIvuZuvuzoZuvu::printHeaderFooter()
{
    TPrintPass& P = pass_;
    const TPrintSettings& S = *PrintSettings;
    platform::Canvas& canvas = *P.Canvas;
    std::array<QString, 7>& slot = P.Slots;
    slot.fill(QString());
    const auto put = [&](TPrintPosition Pos, const QString& Piece) {
        if (Pos <= ppNone || Pos > ppBottomCenter)
            return;
        QString& text = slot[static_cast<std::size_t>(Pos)];
        text = leftPosition(Pos) ? Piece + QLatin1Char(' ') + text : text + QLatin1Char(' ') + Piece;
    };
    const QDateTime now = QDateTime::currentDateTime();
    put(S.Time(), platform::FormatDatePicture(QStringLiteral("hh:nn"), now));
    put(S.Date(), platform::FormatDatePicture(S.DateFormat(), now));
    QString number;
    if (P.Groups)
        number = QStringLiteral("%1-%2").arg(P.PageInGroup + 1).arg(P.GroupNr);
    else if (!S.PageNumSep().isEmpty() && P.Total > 1)
        number = QString::number(P.PageIndex + 1) + S.PageNumSep() + QString::number(P.Total);
    else
        number = QString::number(P.PageIndex + 1);
    put(S.PageNr(), S.PagePrefix() + QLatin1Char(' ') + number + QLatin1Char(' ') + S.PageSuffix());
    const QStringList& lines = S.TitleLines();
    const bool htmlTitle = S.TitleText().isEmpty() && !lines.isEmpty() &&
                           TextType(lines.join(QString()).toStdString(), EnableHTML) == ttHTML;
    if (!htmlTitle)
        put(S.Title(), !S.TitleText().isEmpty() ? S.TitleText() : lines.value(0));

    const platform::Font keepFont = canvas.Font;
    canvas.SetBackgroundTransparent(true);
    const auto xFor = [&](int Pos, const QString& Text) {
        const int w = canvas.TextWidth(Text);
        switch (Pos) {
        case ppTopLeft:
        case ppBottomLeft: return S.LeftSize();
        case ppTopRight:
        case ppBottomRight: return P.PageWidth - w - 20 - S.RightSize();
        default: return (P.PageWidth - w) / 2;
        }
    };
    const auto band = [&](const platform::Font& F, int FirstPos, int Y, int TextHeight) {
        canvas.Font = F;
        canvas.Font.Height = MapFontHeight(F.Size());
        for (int pos = FirstPos; pos < FirstPos + 3; ++pos)
            if (!slot[static_cast<std::size_t>(pos)].isEmpty())
                canvas.TextOut(xFor(pos, slot[static_cast<std::size_t>(pos)]), Y, slot[static_cast<std::size_t>(pos)]);
        const int titlePos = S.Title();
        if (!htmlTitle && S.TitleText().isEmpty() && titlePos >= FirstPos && titlePos < FirstPos + 3)
            for (qsizetype i = 1; i < lines.size(); ++i)
                canvas.TextOut(xFor(titlePos, lines[i]), Y - static_cast<int>(i) * TextHeight, lines[i]);
    };
    band(S.HeaderFont(), ppTopLeft, -S.HeaderSize(), P.HeaderTextHeight);
    band(S.FooterFont(), ppBottomLeft, P.PageHeight + P.FooterTextHeight + P.Gap + S.FooterSize(), P.FooterTextHeight);

    if (htmlTitle && S.Title() != ppNone) {
        const bool inHeader = headerPosition(S.Title());
        const platform::Font& f = inHeader ? S.HeaderFont() : S.FooterFont();
        const Rect logical = inHeader ? Rect{S.LeftSize(), 0, P.PageWidth, -S.HeaderSize()}
                                      : Rect{S.LeftSize(), P.PageHeight + S.FooterSize(), P.PageWidth, P.PageHeight};
        const Rect device = canvas.LogicalToDevice(logical);
        TMappingScope keep(canvas);
        keep.DevicePixels();
        canvas.Font = f;
        canvas.Font.PixelsPerInch = 72;
        canvas.Font.Height = -f.Size();
        canvas.SetBackgroundTransparent(true);
        THTMLDrawParams in;
        in.Printing = true;
        in.Resolution = P.HTMLScale;
        in.URLColor = URLColor();
        in.PictureCache = &pictureCache_;
        in.PictureContainer = dynamic_cast<TPictureContainer*>(PictureContainer);
        in.Images = ImageList();
        THTMLDrawResult out;
        Listgrid::HTMLDraw(canvas, lines.join(QString()).toStdString(), device, in, out);
    }
    canvas.Font = keepFont;
}

}  // namespace grid
