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
    applyStyles();
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

    LayoutItemGrid itemGrid(this);
    QGridLayout* items = itemGrid.layout;
    auto line = [&](const QString& label, QWidget* text, QLineEdit* left, QLineEdit* top, QWidget* extra) {
        itemGrid.add(label, text, left, top, extra);
    };
    auto box = [this](std::initializer_list<QWidget*> widgets) {
        auto* w = new QWidget(this);
        auto* l = new QHBoxLayout(w);
        l->setContentsMargins(0, 0, 0, 0);
        for (QWidget* c : widgets) l->addWidget(c);
        l->addStretch(1);
        return w;
    };
    line("Title:", title, titleLeft, titleTop, titleFont);
    line("Company:", companyName, companyNameLeft, companyNameTop, companyNameFont);
    line("Address:", address1, address1Left, address1Top, address1Font);
    line("", address2, address2Left, address2Top, address2Font);
    line("", address3, address3Left, address3Top, address3Font);
    line("Attention:", box({head, attention, tail}), attentionLeft, attentionTop, attentionFont);
    line("Image 1:", box({imageButton, deleteImageButton}), imageLeft, imageTop, nullptr);
    line("Image 2:", box({image2Button, delete2ImageButton}), image2Left, image2Top, nullptr);

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
    layout->addLayout(items);
    layout->addLayout(paper);
    layout->addWidget(new QLabel("(Specify the Top and Left value, then press Enter key)", this));
    layout->addWidget(PvPreview1, 1);
    layout->addLayout(new QHBoxLayout);  // the buttons, filled by createActions

    title->installEventFilter(this);
    for (QLineEdit* e : {companyName, address1, address2, address3, attention, head, tail, pageHeight, pageWidth,
                         titleLeft, titleTop, companyNameLeft, companyNameTop, address1Left, address1Top,
                         address2Left, address2Top, address3Left, address3Top, attentionLeft, attentionTop,
                         imageLeft, imageTop, image2Left, image2Top})
        e->installEventFilter(this);

    connect(titleFont, &QPushButton::clicked, this, &TEnvelopeForm::titleFontClick);
    connect(companyNameFont, &QPushButton::clicked, this, &TEnvelopeForm::companyNameFontClick);
    connect(address1Font, &QPushButton::clicked, this, &TEnvelopeForm::address1FontClick);
    connect(address2Font, &QPushButton::clicked, this, &TEnvelopeForm::address2FontClick);
    connect(address3Font, &QPushButton::clicked, this, &TEnvelopeForm::address3FontClick);
    connect(attentionFont, &QPushButton::clicked, this, &TEnvelopeForm::attentionFontClick);
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

void TEnvelopeForm::applyStyles()
{
    ApplyItemStyle(titleStyle_, {title});
    ApplyItemStyle(companyNameStyle_, {companyName});
    ApplyItemStyle(address1Style_, {address1});
    ApplyItemStyle(address2Style_, {address2});
    ApplyItemStyle(address3Style_, {address3});
    ApplyItemStyle(attentionStyle_, {attention});
}

void TEnvelopeForm::pickFont(LayoutItemStyle& style, std::initializer_list<QWidget*> edits)
{
    if (PickItemStyle(style, edits, this)) modified = true;
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

void TEnvelopeForm::updateActionExecute()
{
    // every number is read before the preview changes
    ChequePage page;
    page.heightMm = ReadReal4(pageHeight);
    page.widthMm = ReadReal4(pageWidth);
    page.pictures.push_back({Image1, ReadInt4(imageLeft), ReadInt2(imageTop)});
    page.pictures.push_back({Image2, ReadInt2(image2Left), ReadInt2(image2Top)});
    const int left = ReadInt2(titleLeft), top = ReadInt2(titleTop);
    const QStringList lines = title->toPlainText().split('\n');
    for (int i = 0; i < lines.size(); ++i)
        page.texts.push_back({lines[i], titleStyle_.font, titleStyle_.color, left, top + 5 * i});
    auto text = [&](const QString& t, const LayoutItemStyle& style, QLineEdit* l, QLineEdit* tp) {
        page.texts.push_back({t, style.font, style.color, ReadInt2(l), ReadInt2(tp)});
    };
    text(companyName->text(), companyNameStyle_, companyNameLeft, companyNameTop);
    text(address1->text(), address1Style_, address1Left, address1Top);
    text(address2->text(), address2Style_, address2Left, address2Top);
    text(address3->text(), address3Style_, address3Left, address3Top);
    text(head->text() + attention->text() + tail->text(), attentionStyle_, attentionLeft, attentionTop);
    LayChequeOnPreview(page, *PvPreview1);
}

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
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter || !key->text().isEmpty()) modified = true;
    if (!enter) return false;
    updateActionExecute();
    if (auto* e = qobject_cast<QLineEdit*>(watched)) e->selectAll();
    if (auto* m = qobject_cast<QPlainTextEdit*>(watched)) m->selectAll();
    return true;
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
    pageHeight->setText(QString::number(double(r.pageHeight), 'g', 9));
    pageWidth->setText(QString::number(double(r.pageWidth), 'g', 9));
    title->setPlainText(fromStored(r.title));
    auto number = [](QLineEdit* e, long v) { e->setText(QString::number(v)); };
    number(titleLeft, r.titleLeft), number(titleTop, r.titleTop);
    number(companyNameLeft, r.companyNameLeft), number(companyNameTop, r.companyNameTop);
    number(address1Left, r.address1Left), number(address1Top, r.address1Top);
    number(address2Left, r.address2Left), number(address2Top, r.address2Top);
    number(address3Left, r.address3Left), number(address3Top, r.address3Top);
    number(attentionLeft, r.attentionLeft), number(attentionTop, r.attentionTop);
    number(imageLeft, r.imageLeft), number(imageTop, r.imageTop);
    number(image2Left, r.image2Left), number(image2Top, r.image2Top);
    ReadItemStyle(titleStyle_, r.titleFont, r.titleColor);
    ReadItemStyle(companyNameStyle_, r.companyNameFont, r.companyNameColor);
    ReadItemStyle(address1Style_, r.address1Font, r.address1Color);
    ReadItemStyle(address2Style_, r.address2Font, r.address2Color);
    ReadItemStyle(address3Style_, r.address3Font, r.address3Color);
    ReadItemStyle(attentionStyle_, r.attentionFont, r.attentionColor);
    applyStyles();
    Image1 = pictureFromBytes(r.image1);
    Image2 = pictureFromBytes(r.image2);
    (r.vertical ? verticalOrient : horizontalOrient)->setChecked(true);
    head->setText(fromStored(r.head));
    tail->setText(fromStored(r.tail));
}

void TEnvelopeForm::readSetting(EnvelopeSetup& r)
{
    const real4 height = ReadReal4(pageHeight), width = ReadReal4(pageWidth);
    const int4 pictureLeft = ReadInt4(imageLeft);
    const int2 values[] = {ReadInt2(titleLeft),    ReadInt2(titleTop),     ReadInt2(companyNameLeft),
                           ReadInt2(companyNameTop), ReadInt2(address1Left), ReadInt2(address1Top),
                           ReadInt2(address2Left), ReadInt2(address2Top),  ReadInt2(address3Left),
                           ReadInt2(address3Top),  ReadInt2(attentionLeft), ReadInt2(attentionTop),
                           ReadInt2(imageTop),     ReadInt2(image2Left),   ReadInt2(image2Top)};
    int2* fields[] = {&r.titleLeft,    &r.titleTop,     &r.companyNameLeft, &r.companyNameTop, &r.address1Left,
                      &r.address1Top,  &r.address2Left, &r.address2Top,     &r.address3Left,   &r.address3Top,
                      &r.attentionLeft, &r.attentionTop, &r.imageTop,       &r.image2Left,     &r.image2Top};
    for (std::size_t i = 0; i < std::size(fields); ++i) *fields[i] = values[i];
    r.pageHeight = height;
    r.pageWidth = width;
    r.imageLeft = pictureLeft;
    r.title = buffer_.put(title->toPlainText().toStdString().c_str());
    WriteItemStyle(titleStyle_, r.titleFont, r.titleColor);
    WriteItemStyle(companyNameStyle_, r.companyNameFont, r.companyNameColor);
    WriteItemStyle(address1Style_, r.address1Font, r.address1Color);
    WriteItemStyle(address2Style_, r.address2Font, r.address2Color);
    WriteItemStyle(address3Style_, r.address3Font, r.address3Color);
    WriteItemStyle(attentionStyle_, r.attentionFont, r.attentionColor);
    r.vertical = verticalOrient->isChecked();
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
