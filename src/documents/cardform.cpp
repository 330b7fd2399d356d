#include "documents/cardform.h"

#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "documents/layoutfields.h"
#include "printing/pvpreview.h"
#include "platform/picturelimits.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

TCardForm::TCardForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("Card Image");
    Image = new QLabel(this);
    Image->setMinimumSize(200, 120);
    Image->setAlignment(Qt::AlignCenter);
    Image->setAccessibleName("Card picture");
    PvPreview1 = NewLayoutPreview(this, false);
    PvPreview1->hide();
    auto button = [this](const QString& caption, const QString& hint) {
        auto* b = new QPushButton(caption, this);
        b->setToolTip(hint);
        b->setAutoDefault(false);
        return b;
    };
    saveButton = button("&Save", "Save Card");
    cPrint = button("&Print", "Print");
    cCancel = button("&Close", "Close");
    connect(saveButton, &QPushButton::clicked, this, &TCardForm::saveButtonClick);
    connect(cPrint, &QPushButton::clicked, this, [this] { cPrintClick(); });
    connect(cCancel, &QPushButton::clicked, this, [this] { done(2); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* b : {saveButton, cPrint, cCancel}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Image, 1);
    layout->addLayout(buttons);
    resize(560, 400);
}

TCardForm::~TCardForm() = default;

void TCardForm::SetPicture(const QImage& picture)
{
    picture_ = picture;
    showPicture();
}

void TCardForm::showPicture()
{
    if (picture_.isNull()) {
        Image->clear();
        return;
    }
    Image->setPixmap(QPixmap::fromImage(
        picture_.scaled(Image->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

void TCardForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    showPicture();
}

bool TCardForm::cPrintClick()
{
    PvPreview1->DeleteAllPages(true);  // a second print prints the picture once
    PvPreview1->Canvas().Draw(15, 15, picture_, 1.0, PvMillimeters);
    return PvPreview1->Print();
}

void TCardForm::saveButtonClick()
{
    platform::FileRequest request;
    request.mode = platform::FileRequest::Save;
    request.filters = QStringList{"JPeg Image (*.jpg)", "Bitmap (*.bmp)"};
    request.defaultSuffix = "jpg";
    QString file = platform::PickFile(request, this);
    if (file.isEmpty()) return;
    if (QFileInfo(file).suffix().isEmpty()) file += ".jpg";
    const PictureFileKind kind = PictureKindOf(file);
    if (kind == PictureFileKind::Other) return;  // only .bmp and .jpg are written
    QByteArray bytes;
    if (kind == PictureFileKind::Jpeg) {
        bytes = EncodeJpeg(picture_, 90);
    } else {
        bytes = platform::BitmapFileBytes(picture_);
    }
    // written beside the target and renamed over it only when whole
    QSaveFile target(file);
    const bool saved = !bytes.isEmpty() && target.open(QIODevice::WriteOnly) &&
                       target.write(bytes) == bytes.size() && target.commit();
    if (!saved) {
        ShowInfo("Fail to save " + file + ".", this);
        return;
    }
    ShowInfo("Image has saved to " + file, this);
}
