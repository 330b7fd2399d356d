#include "documents/printpreviewform.h"

#include "appcore/dialogs.h"
#include "appcore/zrvexcel.h"
#include "grid/exchange/officefiles.h"
#include "platform/accessibility.h"
#include "platform/busycursor.h"
#include "platform/screenroom.h"
#include "platform/stringgrid.h"
#include "printing/pvpreview.h"
#include "printing/pvunits.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TPrintPreviewForm::TPrintPreviewForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("Print Dialog");
    setFont(QFont("Century Gothic", font().pointSize()));

    PvPreview1 = new TPvPreview(this);
    TPvPreview& p = *PvPreview1;
    p.ZoomStyle = gmFixedZoom;
    p.SetZoom(50);
    p.SetTitle("<document>");
    p.Header().SetVisible(false);
    TPvFooter& footer = p.Footer();
    footer.SetVisible(true);
    footer.SetShowLine(false);
    footer.CaptionLeft.SetCaption("{DATE}\t   {TIME}\t");
    footer.CaptionRight.SetCaption("Page {PAGE} of {NUMPAGES}");
    platform::Font captions;
    captions.Name = "Arial";
    captions.Height = -11;
    captions.Color = platform::RGBColor(0x66, 0x66, 0x66);  // grey that reads on paper (5.7:1)
    for (TPvHeaderFooterCaption* c : {&footer.CaptionLeft, &footer.CaptionCenter, &footer.CaptionRight})
        c->SetFont(captions);
    TPvMargins& margins = p.Margins();
    margins.SetClipMargins(true);
    const platform::Pen dotted{platform::clSilver, 1, platform::psDot};
    margins.SetPen(dotted);
    margins.SetPrinterMarginPen(dotted);
    PvGridPrint1.SetPreview(PvPreview1);

    auto button = [this](const QString& caption, void (TPrintPreviewForm::*handler)()) {
        auto* b = new QPushButton(caption, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    zoomOut = button("Zoom &Out", &TPrintPreviewForm::zoomOutClick);
    zoomIn = button("Zoom &In", &TPrintPreviewForm::zoomInClick);
    printButton = new QPushButton("&Print", this);
    printButton->setAutoDefault(false);
    connect(printButton, &QPushButton::clicked, this, [this] { printButtonClick(); });
    uFirst = button("|<", &TPrintPreviewForm::uFirstClick);
    uPrevious = button("<", &TPrintPreviewForm::uPreviousClick);
    uNext = button(">", &TPrintPreviewForm::uNextClick);
    uLast = button(">|", &TPrintPreviewForm::uLastClick);
    uFirst->setAccessibleName("First page");
    uPrevious->setAccessibleName("Previous page");
    uNext->setAccessibleName("Next page");
    uLast->setAccessibleName("Last page");
    saveButton = button("&Save", &TPrintPreviewForm::saveButtonClick);
    Button1 = new QPushButton("&Close", this);
    Button1->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { done(2); });

    auto* buttons = new platform::ButtonRows(nullptr, platform::ButtonRows::Natural, Qt::AlignLeft);
    for (QPushButton* b : {zoomOut, zoomIn, printButton, uFirst, uPrevious, uNext, uLast, saveButton, Button1})
        buttons->addWidget(b);
    platform::OrderFocus({zoomOut, zoomIn, printButton, uFirst, uPrevious, uNext, uLast, saveButton, Button1, PvPreview1});
    auto* status = new platform::ButtonRows(nullptr, platform::ButtonRows::Natural, Qt::AlignLeft);
    for (QLabel*& panel : StatusPanels) {
        panel = new QLabel(this);
        // "Total Page: 1000" whole at any font
        panel->setMinimumWidth(panel->fontMetrics().horizontalAdvance(QStringLiteral("Total Page: 00000")));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        status->addWidget(panel);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(PvPreview1, 1);
    layout->addLayout(status);
    platform::OpenWithinScreen(this, QSize(900, 700));

    p.DeleteAllPages(true);
    margins.Top.SetAsMm(11);
    margins.Left.SetAsMm(11);
    margins.Bottom.SetAsMm(5);
    grid = nullptr;
}

TPrintPreviewForm::~TPrintPreviewForm() = default;

void TPrintPreviewForm::drawHeader(const QString& title, const QString& subtitle)
{
    TPvCanvas& canvas = PvPreview1->Canvas();
    platform::Font heading = platform::Font::FromQFont(font());
    heading.SetSize(16);
    heading.Style = platform::fsBold;
    auto centred = [&](const QString& text, int top) {
        canvas.Font = heading;
        const std::int32_t room = (PvPreview1->PageWidth.AsPvUnits - canvas.TextWidth(text).Units) / 2;
        const int x = int(ConvertValue(room, PvUnits, PvPixels));
        canvas.TextOutLeft(x, top, text, PvPixels);
    };
    centred(title, 55);
    heading.Style = 0;
    heading.SetSize(14);
    centred(subtitle, 85);
}

void TPrintPreviewForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TPrintPreviewForm::FormShow()
{
    StatusPanels[0]->setText("Total Page: " + QString::number(PvPreview1->GetNumPages()));
    saveButton->setVisible(grid != nullptr);
    uFirstClick();
}

void TPrintPreviewForm::pageMoved()
{
    const int page = PvPreview1->CurrentPageNum();
    const bool notFirst = page != 1, notLast = page != PvPreview1->GetNumPages();
    uFirst->setEnabled(notFirst);
    uPrevious->setEnabled(notFirst);
    uNext->setEnabled(notLast);
    uLast->setEnabled(notLast);
    StatusPanels[1]->setText("Page: " + QString::number(page));
}

void TPrintPreviewForm::uFirstClick()
{
    PvPreview1->FirstPage();
    pageMoved();
}

void TPrintPreviewForm::uPreviousClick()
{
    PvPreview1->PreviousPage();
    pageMoved();
}

void TPrintPreviewForm::uNextClick()
{
    PvPreview1->NextPage();
    pageMoved();
}

void TPrintPreviewForm::uLastClick()
{
    PvPreview1->LastPage();
    pageMoved();
}

void TPrintPreviewForm::zoomInClick()
{
    PvPreview1->SetZoom(PvPreview1->Zoom() + PvPreview1->ZoomIncrement);
    PvPreview1->UpdatePreview();
}

void TPrintPreviewForm::zoomOutClick()
{
    if (PvPreview1->ZoomIncrement < PvPreview1->Zoom()) PvPreview1->SetZoom(PvPreview1->Zoom() - PvPreview1->ZoomIncrement);
    PvPreview1->UpdatePreview();
}

bool TPrintPreviewForm::printButtonClick() { return PvPreview1->Print(); }

void TPrintPreviewForm::saveButtonClick()
{
    if (!grid) return;
    const QString file = PickSheetToSave(this);
    if (file.isEmpty()) return;
    // the old file stays until the new one is whole
    if (QFileInfo::exists(file) && !AskYesNo("Filename exist, replace it?", this)) return;
    bool saved = false;
    {
        platform::BusyCursor busy;
        TZrvExcel book{QString()};
        book.setVisible(false);
        // every cell from the top-left one, as the grid holds it
        grid::exchange::CopyToSheet(grid->ColCount(), grid->RowCount(), {},
                                    [this](int c, int r) { return grid->Cells(c, r); },
                                    [&book](int column, int row, const std::string& text) {
                                        book.setCell(column, row, QString::fromUtf8(text.c_str()));
                                    });
        saved = book.save(file);
        book.quit();
    }
    if (!saved) {
        ShowInfo("Fail to save " + file + ".", this);
        return;
    }
    if (AskYesNo("The file " + file + " has been saved, open it now?", this)) OpenWrittenFileOrSay(file, this);
}
