#include "documents/envelopeform.h"

#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "documents/chequepage.h"
#include "documents/layoutlist.h"
#include "platform/accessibility.h"
#include "platform/screenroom.h"
#include "printing/pvframe.h"
#include "printing/pvpreview.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
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
    setWindowTitle("Print Envelope");
    for (LayoutItemStyle* s : {&titleStyle_, &companyNameStyle_, &address1Style_, &address2Style_, &address3Style_,
                               &attentionStyle_})
        s->font = LayoutFont("Arial", 16);
    createControls();
    createActions();
}

void TEnvelopeForm::createControls()
{
    CreateLayoutSettings(this, {"297", "210", "Add a new setting", "Delete a setting", "Edit a setting"});
    head = LayoutEdit(this, "To: ", 60);
    tail = LayoutEdit(this, "", 60);
    createItems();

    auto* setting = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{platform::NewLabelFor("Setting:", category), category,
                                                      insertCategory, updateCategory, deleteCategory})
        setting->addWidget(w);
    setting->addStretch(1);
    auto* paper = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{platform::NewLabelFor("Height:", pageHeight), pageHeight,
                                                      platform::NewLabelFor("Width:", pageWidth), pageWidth,
                                                      verticalOrient, horizontalOrient})
        paper->addWidget(w);
    paper->addStretch(1);

    PvPreview1 = NewLayoutPreview(this, false);

    LayoutWindowBody(this,
                     {setting, items_.build(this), paper,
                      new QLabel("(Specify the Top and Left value, then press Enter key)", this)},
                     PvPreview1, QSize(900, 700));

    for (QLineEdit* e : {head, tail}) e->installEventFilter(this);
    MarkLayoutChanges(items_.edits() << head << tail, modified, this);
}

void TEnvelopeForm::createItems()
{
    const LayoutMaker at{this};
    auto senderBlock = [this] {
        auto* block = new QPlainTextEdit(this);  // a new layout has no sender: the user writes one
        block->setMaximumHeight(60);
        block->setTabChangesFocus(true);
        return block;
    };
    auto box = [this](std::initializer_list<QWidget*> widgets) { return LayoutBox(this, widgets, true); };
    auto attentionShown = [this] { return head->text() + attention->text() + tail->text(); };
    using S = EnvelopeSetup;
    // the title is the sender block, its lines 5 mm apart; the picture's left has 32 bits
    items_.items = {
        {"Title:", title = senderBlock(), nullptr, titleLeft = at("8"), titleTop = at("8"), titleFont = at.font(),
         &titleStyle_, &S::titleLeft, &S::titleTop, &S::titleFont, &S::titleColor},
        {"Company:", companyName = at.text("Company Name Limited", 260), nullptr, companyNameLeft = at("60"),
         companyNameTop = at("30"), companyNameFont = at.font(), &companyNameStyle_, &S::companyNameLeft,
         &S::companyNameTop, &S::companyNameFont, &S::companyNameColor},
        {"Address:", address1 = at.text("Address Line 1", 260), nullptr, address1Left = at("60"),
         address1Top = at("40"), address1Font = at.font(), &address1Style_, &S::address1Left, &S::address1Top,
         &S::address1Font, &S::address1Color},
        {"", address2 = at.text("Address Line 2", 260), nullptr, address2Left = at("60"), address2Top = at("45"),
         address2Font = at.font(), &address2Style_, &S::address2Left, &S::address2Top, &S::address2Font,
         &S::address2Color},
        {"", address3 = at.text("Address Line 3", 260), nullptr, address3Left = at("60"), address3Top = at("50"),
         address3Font = at.font(), &address3Style_, &S::address3Left, &S::address3Top, &S::address3Font,
         &S::address3Color},
        {"Attention:", attention = at.text("Contact Person", 180), box({head, attention, tail}),
         attentionLeft = at("60"), attentionTop = at("60"), attentionFont = at.font(), &attentionStyle_,
         &S::attentionLeft, &S::attentionTop, &S::attentionFont, &S::attentionColor, nullptr, nullptr, nullptr,
         attentionShown},
        {"Image 1:", nullptr, at.pictureButtons(imageButton, deleteImageButton, true), imageLeft = at("150"),
         imageTop = at("80"), nullptr, nullptr, &S::imageLeft, &S::imageTop, nullptr, nullptr, &Image1,
         imageButton, deleteImageButton},
        {"Image 2:", nullptr, at.pictureButtons(image2Button, delete2ImageButton, true), image2Left = at("150"),
         image2Top = at("80"), nullptr, nullptr, &S::image2Left, &S::image2Top, nullptr, nullptr, &Image2,
         image2Button, delete2ImageButton},
    };
    // the lines without a label of their own, and the texts around the attention
    address2->setAccessibleName("Address line 2");
    address3->setAccessibleName("Address line 3");
    head->setAccessibleName("Text before attention");
    tail->setAccessibleName("Text after attention");
    items_.attach(this, [this] { updateActionExecute(); });
    items_.orderFocus({category, insertCategory, updateCategory, deleteCategory},
                      {pageHeight, pageWidth, verticalOrient, horizontalOrient});
}

void TEnvelopeForm::createActions() { AddLayoutActions(this, {"Refresh", "&Save", "&Print"}); }

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
    if (StepLayoutZoom(*PvPreview1, true)) PvPreview1->UpdatePreview();
}

void TEnvelopeForm::zoomOutActionExecute()
{
    if (StepLayoutZoom(*PvPreview1, false)) PvPreview1->UpdatePreview();
}

void TEnvelopeForm::helpActionExecute()
{
    OpenHelp("envelope.htm", this);
}

// ---------------------------------------------------------------- events

bool TEnvelopeForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    return LayoutEditKey(watched, static_cast<const QKeyEvent&>(*event), [this] { updateActionExecute(); });
}

void TEnvelopeForm::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    setResult(1);
}

// Escape and the window's close button ask about a changed layout as F12 does
void TEnvelopeForm::reject() { exitActionExecute(); }

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
    if (!AddNamedLayout<EnvelopeSetup>(*category, [this](EnvelopeSetup& r) { readSetting(r); }, this)) return;
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
