#include "printing/pvprinterlist.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QStylePainter>

namespace {

// Draws the items of the drop-down list through the control.
class ItemDelegate : public QStyledItemDelegate {
public:
    explicit ItemDelegate(TPvPrinterList* list) : QStyledItemDelegate(list), list_(list) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        list_->DrawItem(*painter, index.row(), option.rect, option.state & QStyle::State_Selected);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width() + 22, list_->ItemHeight());
    }

private:
    TPvPrinterList* list_;
};

}  // namespace

TPvPrinterList::TPvPrinterList(QWidget* parent) : QComboBox(parent), glyph_(PrinterGlyph())
{
    setItemDelegate(new ItemDelegate(this));
    connect(this, qOverload<int>(&QComboBox::activated), this, &TPvPrinterList::changed);
}

TPvPrinterList::~TPvPrinterList()
{
    if (preview_)
        preview_->RemoveAssociatedComponent(this);
}

TPvPreview* TPvPrinterList::Preview() const
{
    return preview_.data();
}

void TPvPrinterList::SetPvPreview(TPvPreview* preview)
{
    if (!preview)
        return;
    if (preview_ && preview_ != preview)
        preview_->RemoveAssociatedComponent(this);
    preview_ = preview;
    preview->AddAssociatedComponent(this);
    RefreshList();
    showPreviewPrinter();
}

void TPvPrinterList::RefreshList()
{
    if (!preview_)
        return;
    filling_ = true;
    clear();
    addItems(preview_->GetPrinters());
    filling_ = false;
}

void TPvPrinterList::showPreviewPrinter()
{
    filling_ = true;
    setCurrentIndex(preview_ ? preview_->GetPrinterIndex() : -1);
    filling_ = false;
}

void TPvPrinterList::PrinterChanged()
{
    if (preview_ && currentIndex() != preview_->GetPrinterIndex())
        showPreviewPrinter();
}

void TPvPrinterList::PreviewMessage(TPvPreview*, int message, int, int)
{
    if (message == PvMsgPrinter)
        PrinterChanged();
}

void TPvPrinterList::changed(int index)
{
    if (filling_)
        return;
    if (preview_)
        preview_->SetPrinterIndex(index);
}

void TPvPrinterList::SetItemHeight(int height)
{
    itemHeight_ = std::max(height, 1);
    update();
}

QPixmap TPvPrinterList::PrinterGlyph()
{
    QPixmap glyph(16, 16);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setPen(Qt::black);
    p.setBrush(Qt::white);
    p.drawRect(4, 1, 7, 5);            // paper going in
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    p.drawRect(1, 6, 13, 6);           // body
    p.setBrush(Qt::white);
    p.drawRect(3, 10, 9, 4);           // paper coming out
    p.setPen(QColor(0x00, 0x80, 0x00));
    p.drawPoint(12, 8);                // ready light
    return glyph;
}

void TPvPrinterList::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const
{
    const QPalette& pal = palette();
    painter.fillRect(rect, selected ? pal.highlight() : pal.base());
    const int dy = (itemHeight_ - 16) / 2;
    painter.drawPixmap(rect.left() + 3, rect.top() + dy, glyph_);
    painter.setPen(selected ? pal.highlightedText().color() : pal.text().color());
    painter.setFont(font());
    const QRect textRect(rect.left() + 22, rect.top() + dy, rect.width() - 22, std::max(rect.height() - dy, 16));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, itemText(index));
}

void TPvPrinterList::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    option.currentText.clear();
    option.currentIcon = QIcon();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    if (currentIndex() < 0)
        return;
    const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    DrawItem(painter, currentIndex(), field, hasFocus());
}
