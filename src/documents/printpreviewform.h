// TPrintPreviewForm, "Print Dialog": a list shown as printed pages before it
// is printed. The caller draws the heading (drawHeader), lays a grid onto the
// pages with PvGridPrint1, may link the grid so that Save writes it out as a
// spreadsheet file, then shows the dialog modally and frees it. The linked
// grid is not owned and must outlive the dialog's modal run.
#pragma once

#include "printing/pvgridprint.h"

#include <QDialog>

class QLabel;
class QPushButton;
class TPvPreview;

namespace platform {
class StringGrid;
}

class TPrintPreviewForm : public QDialog {
    Q_OBJECT
public:
    explicit TPrintPreviewForm(QWidget* owner = nullptr);
    ~TPrintPreviewForm() override;

    TPvPreview* PvPreview1;
    TPvGridPrint PvGridPrint1;
    QLabel* StatusPanels[2];  // the page count, the current page
    QPushButton *zoomOut, *zoomIn, *printButton, *uFirst, *uPrevious, *uNext, *uLast, *Button1, *saveButton;
    platform::StringGrid* grid = nullptr;  // the list Save writes; none: Save is hidden

    // The title in bold 16 pt and the subtitle in 14 pt below it, each centred
    // on the current page's width.
    void drawHeader(const QString& title, const QString& subtitle);

    void FormShow();
    void zoomInClick();
    void zoomOutClick();
    void uFirstClick();
    void uPreviousClick();
    void uNextClick();
    void uLastClick();
    // False when nothing reached the printer (the printer has said why).
    bool printButtonClick();
    void saveButtonClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void pageMoved();
};
