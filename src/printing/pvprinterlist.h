// A drop-down list of the printers of a linked preview, each item drawn with a
// small printer glyph; choosing an item selects that printer on the preview,
// and a printer chosen elsewhere is shown here. The preview is not owned: the
// list unregisters itself when it goes and forgets a preview that goes first.
#pragma once

#include "printing/pvpreview.h"

#include <QComboBox>
#include <QPixmap>
#include <QPointer>

class TPvPrinterList : public QComboBox, public TPvLinkedControl {
    Q_OBJECT
public:
    explicit TPvPrinterList(QWidget* parent = nullptr);
    ~TPvPrinterList() override;

    TPvPreview* Preview() const;
    // Links a preview (a null one is ignored): the list fills from its
    // printers and shows its printer.
    void SetPvPreview(TPvPreview* preview);

    // Refills the items from the preview's printers.
    void RefreshList();
    // The preview's printer changed: show it.
    void PrinterChanged();
    void PreviewMessage(TPvPreview* preview, int message, int wParam, int lParam) override;

    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int height);

    // The glyph: a 16 x 16 printer on a transparent ground.
    static QPixmap PrinterGlyph();
    // Paints item `index` into `rect`: the ground, the glyph at x + 3 and the
    // text at x + 22, both (item height - 16) / 2 below the top.
    void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void changed(int index);
    void showPreviewPrinter();

    QPixmap glyph_;
    QPointer<TPvPreview> preview_;
    int itemHeight_ = 18;
    bool filling_ = false;
};
