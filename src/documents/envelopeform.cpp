#include "documents/envelopeform.h"

#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "documents/chequepage.h"
#include "documents/layoutlist.h"
#include "platform/shell.h"
#include "printing/pvframe.h"
#include "printing/pvpreview.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// A stored picture: JPEG bytes within the picture limits; none otherwise.
QImage pictureFromBytes(const dbArray<int1>& bytes)
{
    QImage picture;
    if (bytes.length() > 0) DecodeJpeg(StoredBytes(bytes), picture);
    return picture;
}

QString fromStored(const char* s) { return QString::fromUtf8(s ? s : ""); }

}  // namespace

TEnvelopeForm::TEnvelopeForm(QWidget* owner) : QDialog(owner)
{
    for (LayoutItemStyle* s : {&titleStyle_, &companyNameStyle_, &address1Style_, &address2Style_, &address3Style_,
                               &attentionStyle_}) {
        s->font = LayoutFont("Arial", 16);
        s->color = 0;
    }
    createControls();
    createActions();
    items_.applyStyles();
    Image1 = QImage();
    Image2 = QImage();
    modified = false;
    contact = 0;
}

TEnvelopeForm::~TEnvelopeForm() = default;

void TEnvelopeForm::createControls()
{
    setWindowTitle("Print Envelope");
    auto edit = [this](const QString& text, int width = 60) { return LayoutEdit(this, text, width); };
    title = new QPlainTextEdit("Zarvo Software\nP.O. Box 1234", this);
    title->setMaximumHeight(60);
    companyName = edit("Company Name Limited", 260);
    address1 = edit("Address Line 1", 260);
    address2 = edit("Address Line 2", 260);
    address3 = edit("Address Line 3", 260);
    attention = edit("Contact Person", 180);
    head = edit("To: ", 60);
    tail = edit("", 60);
    titleLeft = edit("8"), titleTop = edit("8");
    companyNameLeft = edit("60"), companyNameTop = edit("30");
    address1Left = edit("60"), address1Top = edit("40");
    address2Left = edit("60"), address2Top = edit("45");
    address3Left = edit("60"), address3Top = edit("50");
    attentionLeft = edit("60"), attentionTop = edit("60");
    imageLeft = edit("150"), imageTop = edit("80");
    image2Left = edit("150"), image2Top = edit("80");
    pageHeight = edit("297"), pageWidth = edit("210");
    verticalOrient = new QRadioButton("Portrait", this);
    horizontalOrient = new QRadioButton("Landscape", this);
    verticalOrient->setChecked(true);
    category = new QComboBox(this);
    category->setMinimumWidth(160);
    auto button = [this](const QString& caption) { return new QPushButton(caption, this); };
    insertCategory = button("Add a new setting");
    deleteCategory = button("Delete a setting");
    updateCategory = button("Edit a setting");
    titleFont = button("Font"), companyNameFont = button("Font"), address1Font = button("Font");
    address2Font = button("Font"), address3Font = button("Font"), attentionFont = button("Font");
    imageButton = button("Add an image"), deleteImageButton = button("Delete an image");
    image2Button = button("Add an image"), delete2ImageButton = button("Delete an image");
    createItems();

    auto* setting = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{new QLabel("Setting:", this), category, insertCategory,
                                                      updateCategory, deleteCategory})
        setting->addWidget(w);
    setting->addStretch(1);
    auto* paper = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{new QLabel("Height:", this), pageHeight,
                                                      new QLabel("Width:", this), pageWidth, verticalOrient,
                                                      horizontalOrient})
        paper->addWidget(w);
    paper->addStretch(1);

    PvPreview1 = NewLayoutPreview(this, false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(setting);
    layout->addLayout(items_.build(this, [this](LayoutItemStyle& style) { pickFont(style); }));
    layout->addLayout(paper);
    layout->addWidget(new QLabel("(Specify the Top and Left value, then press Enter key)", this));
    layout->addWidget(PvPreview1, 1);
    layout->addLayout(new QHBoxLayout);  // the buttons, filled by createActions

    for (QLineEdit* e : {head, tail, pageHeight, pageWidth}) e->installEventFilter(this);

    connect(imageButton, &QPushButton::clicked, this, &TEnvelopeForm::imageButtonClick);
    connect(image2Button, &QPushButton::clicked, this, &TEnvelopeForm::image2ButtonClick);
    connect(deleteImageButton, &QPushButton::clicked, this, &TEnvelopeForm::deleteImageButtonClick);
    connect(delete2ImageButton, &QPushButton::clicked, this, &TEnvelopeForm::delete2ImageButtonClick);
    connect(insertCategory, &QPushButton::clicked, this, &TEnvelopeForm::insertCategoryClick);
    connect(deleteCategory, &QPushButton::clicked, this, &TEnvelopeForm::deleteCategoryClick);
    connect(updateCategory, &QPushButton::clicked, this, &TEnvelopeForm::updateCategoryClick);
    connect(category, &QComboBox::activated, this, &TEnvelopeForm::categoryChange);
    resize(900, 700);
}

void TEnvelopeForm::createItems()
{
    auto box = [this](std::initializer_list<QWidget*> widgets) { return LayoutBox(this, widgets, true); };
    auto attentionShown = [this] { return head->text() + attention->text() + tail->text(); };
    using S = EnvelopeSetup;
    // the title is the sender block, its lines 5 mm apart; the picture's left has 32 bits
    items_.items = {
        {"Title:", title, nullptr, titleLeft, titleTop, titleFont, &titleStyle_, &S::titleLeft, &S::titleTop,
         &S::titleFont, &S::titleColor},
        {"Company:", companyName, nullptr, companyNameLeft, companyNameTop, companyNameFont, &companyNameStyle_,
         &S::companyNameLeft, &S::companyNameTop, &S::companyNameFont, &S::companyNameColor},
        {"Address:", address1, nullptr, address1Left, address1Top, address1Font, &address1Style_, &S::address1Left,
         &S::address1Top, &S::address1Font, &S::address1Color},
        {"", address2, nullptr, address2Left, address2Top, address2Font, &address2Style_, &S::address2Left,
         &S::address2Top, &S::address2Font, &S::address2Color},
        {"", address3, nullptr, address3Left, address3Top, address3Font, &address3Style_, &S::address3Left,
         &S::address3Top, &S::address3Font, &S::address3Color},
        {"Attention:", attention, box({head, attention, tail}), attentionLeft, attentionTop, attentionFont,
         &attentionStyle_, &S::attentionLeft, &S::attentionTop, &S::attentionFont, &S::attentionColor, nullptr,
         attentionShown},
        {"Image 1:", nullptr, box({imageButton, deleteImageButton}), imageLeft, imageTop, nullptr, nullptr,
         &S::imageLeft, &S::imageTop, nullptr, nullptr, &Image1},
        {"Image 2:", nullptr, box({image2Button, delete2ImageButton}), image2Left, image2Top, nullptr, nullptr,
         &S::image2Left, &S::image2Top, nullptr, nullptr, &Image2},
    };
    items_.pageHeight = pageHeight, items_.pageWidth = pageWidth;
    items_.portrait = verticalOrient, items_.landscape = horizontalOrient;
}

void TEnvelopeForm::createActions()
{
    auto* buttons = static_cast<QBoxLayout*>(layout()->itemAt(layout()->count() - 1)->layout());
    auto make = [&](const QString& caption, Qt::Key key, auto handler) {
        return AddLayoutAction(this, buttons, ActionList1, caption, key, [this, handler] { std::invoke(handler, this); });
    };
    helpAction = make("Help", Qt::Key_F1, &TEnvelopeForm::helpActionExecute);
    updateAction = make("Refresh", Qt::Key_F5, &TEnvelopeForm::updateActionExecute);
    zoomInAction = make("Zoom In", Qt::Key_F8, &TEnvelopeForm::zoomInActionExecute);
    zoomOutAction = make("Zoom Out", Qt::Key_F9, &TEnvelopeForm::zoomOutActionExecute);
    savelAction = make("&Save", Qt::Key_F10, &TEnvelopeForm::savelActionExecute);
    printAction = make("&Print", Qt::Key_F11, [](TEnvelopeForm* w) { w->printActionExecute(); });
    exitAction = make("&Close", Qt::Key_F12, &TEnvelopeForm::exitActionExecute);
}

// ---------------------------------------------------------------- fonts, pictures

void TEnvelopeForm::pickFont(LayoutItemStyle& style)
{
    if (items_.pickStyle(style, this)) modified = true;
    updateActionExecute();
}

void TEnvelopeForm::loadPicture(QImage& picture)
{
    if (!PickLayoutPicture(picture, this)) return;
    modified = true;
    updateActionExecute();
}

void TEnvelopeForm::deleteImageButtonClick()
{
    Image1 = QImage();
    updateActionExecute();
    modified = true;
}

void TEnvelopeForm::delete2ImageButtonClick()
{
    Image2 = QImage();
    updateActionExecute();
    modified = true;
}

// ---------------------------------------------------------------- drawing and printing

void TEnvelopeForm::updateActionExecute() { LayChequeOnPreview(items_.page(), *PvPreview1); }

bool TEnvelopeForm::printActionExecute()
{
    // the page is drawn in the layout's own sizes, then turned when landscape
    PvPreview1->SetOrientation(gmPortrait);
    updateActionExecute();
    PvPreview1->SetOrientation(verticalOrient->isChecked() ? gmPortrait : gmLandscape);
    return PvPreview1->Print();
}

void TEnvelopeForm::zoomInActionExecute()
{
    PvPreview1->SetZoom(PvPreview1->Zoom() + PvPreview1->ZoomIncrement);
    PvPreview1->UpdatePreview();
}

void TEnvelopeForm::zoomOutActionExecute()
{
    if (PvPreview1->ZoomIncrement >= PvPreview1->Zoom()) return;
    PvPreview1->SetZoom(PvPreview1->Zoom() - PvPreview1->ZoomIncrement);
    PvPreview1->UpdatePreview();
}

void TEnvelopeForm::helpActionExecute()
{
    platform::OpenHelpPage(QString::fromStdString(database.getDirectory()), "envelope.htm");
}

// ---------------------------------------------------------------- events

bool TEnvelopeForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    return LayoutEditKey(watched, static_cast<const QKeyEvent&>(*event), modified, [this] { updateActionExecute(); });
}

void TEnvelopeForm::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    setResult(1);
}

void TEnvelopeForm::reject() { done(1); }

void TEnvelopeForm::exitActionExecute()
{
    if (modified && shownIndex_ >= 0 && shownIndex_ < category->count() &&
        AskYesNo("Setting '" + category->itemText(shownIndex_) + "' has been modified, save it now?", this))
        savelActionExecute();
    done(1);
}

// ---------------------------------------------------------------- layouts

dbReference<EnvelopeSetup> TEnvelopeForm::SelectedSetting() const { return ComboLayout<EnvelopeSetup>(*category); }

void TEnvelopeForm::loadSettingList(dbReference<EnvelopeSetup> chosen)
{
    if (FillLayoutCombo(*category, chosen) > 0) {
        dbCursor<EnvelopeSetup> setups;
        if (setups.at(SelectedSetting())) showSetting(*setups);  // an id the selection just gave
    } else {
        EnvelopeSetup record;
        readSetting(record);
        if (!InsertLayout(*category, record, "Envelope", this)) return;
        shownIndex_ = 0;
    }
    database.commit();
}

void TEnvelopeForm::showSetting(const EnvelopeSetup& r)
{
    modified = false;
    shownIndex_ = category->currentIndex();
    title->setPlainText(fromStored(r.title));
    items_.show(r);
    Image1 = pictureFromBytes(r.image1);
    Image2 = pictureFromBytes(r.image2);
    head->setText(fromStored(r.head));
    tail->setText(fromStored(r.tail));
}

void TEnvelopeForm::readSetting(EnvelopeSetup& r)
{
    items_.store(items_.read(), r);  // every number is read before any field changes
    r.title = buffer_.put(title->toPlainText().toStdString().c_str());
    r.head = buffer_.put(head->text().toStdString().c_str());
    r.tail = buffer_.put(tail->text().toStdString().c_str());
    r.image = "";
}

void TEnvelopeForm::savelActionExecute()
{
    const int index = category->currentIndex();
    if (index < 0) return;
    EnvelopeSetup fresh;
    readSetting(fresh);  // raises before anything is written
    dbCursor<EnvelopeSetup> setups(dbCursorForUpdate);
    if (!setups.at(SelectedSetting())) {
        database.rollback();
        loadSettingList({});
        return;
    }
    fresh.name = buffer_.put(setups->name);
    StoreBytes(fresh.image1, Image1.isNull() ? QByteArray() : EncodeJpeg(Image1, 90));
    StoreBytes(fresh.image2, Image2.isNull() ? QByteArray() : EncodeJpeg(Image2, 90));
    *setups = fresh;
    bool stored = setups.update();
    dbCursor<Customer> customer(dbCursorForUpdate);
    if (stored && contact != 0 && customer.at(dbReference<Customer>(contact))) {  // a deleted contact is left alone
        zarvoBuffer texts;
        KeepCustomerTexts(*customer, texts);
        customer->envelopeSetup = SelectedSetting();
        stored = customer.update();
    }
    if (!stored || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        return;
    }
    modified = false;
    ShowInfo("Setting '" + category->itemText(index) + "' has been saved.", this);
}

void TEnvelopeForm::insertCategoryClick()
{
    QString text;
    if (!InputText("Enter the name of setting:", text, this)) return;
    EnvelopeSetup record;
    readSetting(record);
    if (!InsertLayout(*category, record, text, this)) return;
    shownIndex_ = category->currentIndex();
    Image1 = QImage();
    Image2 = QImage();
    updateActionExecute();
}

void TEnvelopeForm::updateCategoryClick()
{
    RenameLayout<EnvelopeSetup>(
        *category,
        [](EnvelopeSetup& r, zarvoBuffer& texts) {
            for (const char** t : {&r.title, &r.head, &r.tail, &r.image}) *t = texts.put(*t);
        },
        this);
}

void TEnvelopeForm::deleteCategoryClick()
{
    if (DeleteLayout<EnvelopeSetup>(*category, "envelopeSetup=", {}, this)) loadSettingList({});
}

void TEnvelopeForm::categoryChange()
{
    dbCursor<EnvelopeSetup> setups(dbCursorForUpdate);  // finds only a live layout
    const bool found = setups.at(SelectedSetting());
    if (found) showSetting(*setups);
    database.rollback();
    if (found) updateActionExecute();
}
