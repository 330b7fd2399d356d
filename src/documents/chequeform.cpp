#include "documents/chequeform.h"

#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "documents/chequewording.h"
#include "documents/layoutfields.h"
#include "documents/layoutlist.h"
#include "platform/accessibility.h"
#include "platform/converterror.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "platform/screenroom.h"
#include "printing/pvframe.h"
#include "printing/pvpreview.h"
#include "printing/pvunits.h"
#include "platform/picturelimits.h"

#include <QAction>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// A stored picture; none when the bytes are empty, not a bitmap or over the
// picture limits.
QImage pictureFromBytes(const dbArray<int1>& bytes)
{
    QImage picture;
    if (bytes.length() > 0)
        DecodeBitmap(QByteArray(reinterpret_cast<const char*>(bytes.get()), qsizetype(bytes.length())), picture);
    return picture;
}

// A cheque whose amount would not print whole: its payee, and what of the
// amount runs past the page's edge ("the amount in figures").
struct CutCheque {
    QString payee;
    QStringList items;
};

// "a", "a and b", "a, b and c".
QString listed(const QStringList& items)
{
    if (items.size() < 2) return items.join(QString());
    return items.mid(0, items.size() - 1).join(", ") + " and " + items.last();
}

QString payeeOf(const QString& name) { return name.trimmed().isEmpty() ? QString("(no payee)") : name; }

// The question asked before `printing` cheques are printed, of which `cut`
// would be cut; a single cheque is asked about on its own.
QString CutChequesQuestion(const std::vector<CutCheque>& cut, std::size_t printing)
{
    if (printing == 1 && cut.size() == 1)
        return "On the cheque to " + payeeOf(cut[0].payee) + ", " + listed(cut[0].items) +
               (cut[0].items.size() == 1 ? " runs" : " run") +
               " past the edge of the cheque and will be cut off.\nPrint it anyway?";
    const QString all = QString::number(printing);
    QString text = "On " + QString::number(cut.size()) + " of the " + all +
                   " cheques, the amount runs past the edge of the cheque and will be cut off:";
    for (const CutCheque& c : cut) text += "\n" + payeeOf(c.payee) + ": " + listed(c.items);
    return text + "\nPrint all " + all + " cheques anyway?";
}

}  // namespace

TChequeForm::TChequeForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle("Cheque");
    nameStyle_.font = LayoutFont("Century Gothic", 21);
    amountStyle_.font = LayoutFont("Courier", 19);
    amountTextStyle_.font = LayoutFont("Century Gothic", 16);
    dayStyle_.font = monthStyle_.font = yearStyle_.font = LayoutFont("Courier New", 15);
    createControls();
    createActions();
}

void TChequeForm::createControls()
{
    using platform::NewLabelFor;
    dollar = LayoutEdit(this, "DOLLARS", 90);
    cent = LayoutEdit(this, "CENTS", 90);
    separateLen = LayoutEdit(this, "36", 40);
    singleAnd = new QCheckBox("Single AND", this);
    hyphen = new QCheckBox("Hyphen", this);
    smallLetter = new QCheckBox("Small Letter", this);
    englishMonth = new QCheckBox("Month:", this);
    CreateLayoutSettings(this, {"90", "170", "Add", "Delete", "Rename"});
    createItems();

    auto* options = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{NewLabelFor("Dollar:", dollar), dollar,
                                                      NewLabelFor("Cent:", cent), cent,
                                                      NewLabelFor("Length:", separateLen), separateLen, singleAnd,
                                                      hyphen, smallLetter})
        options->addWidget(w);
    options->addStretch(1);
    auto* setting = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{NewLabelFor("Setting:", category), category, insertCategory,
                                                      updateCategory, deleteCategory,
                                                      NewLabelFor("Height:", pageHeight), pageHeight,
                                                      NewLabelFor("Width:", pageWidth), pageWidth, verticalOrient,
                                                      horizontalOrient})
        setting->addWidget(w);
    setting->addStretch(1);

    PvPreview1 = NewLayoutPreview(this);

    LayoutWindowBody(this, {setting, items_.build(this), options}, PvPreview1, QSize(900, 640));

    for (QLineEdit* e : {cent, dollar, separateLen}) e->installEventFilter(this);
    QList<QWidget*> kept = items_.edits();
    kept.removeOne(amount);  // the contact's amount, not the layout's
    MarkLayoutChanges(kept << cent << dollar << separateLen, modified, this);
    for (QCheckBox* c : {singleAnd, hyphen, smallLetter})
        connect(c, &QCheckBox::clicked, this, &TChequeForm::singleAndClick);
    connect(englishMonth, &QCheckBox::clicked, this, &TChequeForm::englishMonthClick);
}

void TChequeForm::createItems()
{
    const LayoutMaker at{this};
    auto amountShown = [this] { return QString::fromStdString(FormatAmount(amount->text().toStdString())); };
    using S = ChequeSetup;
    // the second line of the words prints in the first line's font, kept with the first
    items_.items = {
        {"Pay:", name = at.text("", 220), nullptr, nameLeft = at("20"), nameTop = at("30"), nameFont = at.font(),
         &nameStyle_, &S::nameLeft, &S::nameTop, &S::nameFont, &S::nameColor},
        {"Amount:", amount = at.text("1234.12", 140), nullptr, amountLeft = at("140"), amountTop = at("38"),
         amountFont = at.font(), &amountStyle_, &S::amountLeft, &S::amountTop, &S::amountFont, &S::amountColor,
         nullptr, nullptr, nullptr, amountShown},
        {"Words:", amountText = at.text("", 320), nullptr, amountTextLeft = at("30"), amountTextTop = at("38"),
         amountTextFont = at.font(), &amountTextStyle_, &S::amountTextLeft, &S::amountTextTop, &S::amountTextFont,
         &S::amountTextColor},
        {"", amount2 = at.text("", 320), nullptr, amount2Left = at("10"), amount2Top = at("45"), nullptr,
         &amountTextStyle_, &S::amount2Left, &S::amount2Top},
        {"Day:", day = at.text("", 40), nullptr, dayLeft = at("125"), dayTop = at("13"), dayFont = at.font(),
         &dayStyle_, &S::dayLeft, &S::dayTop, &S::dayFont, &S::dayColor},
        {"", month = at.text("", 40), LayoutBox(this, {englishMonth, month}, true), monthLeft = at("140"),
         monthTop = at("13"), monthFont = at.font(), &monthStyle_, &S::monthLeft, &S::monthTop, &S::monthFont,
         &S::monthColor},
        {"Year:", year = at.text("", 50), nullptr, yearLeft = at("155"), yearTop = at("13"), yearFont = at.font(),
         &yearStyle_, &S::yearLeft, &S::yearTop, &S::yearFont, &S::yearColor},
        {"Image 1:", nullptr, at.pictureButtons(imageButton, deleteImageButton, false), imageLeft = at("100"),
         imageTop = at("45"), nullptr, nullptr, &S::imageLeft, &S::imageTop, nullptr, nullptr, &image, imageButton,
         deleteImageButton},
        {"Image 2:", nullptr, at.pictureButtons(image2Button, deleteImage2Button, false), image2Left = at("100"),
         image2Top = at("45"), nullptr, nullptr, &S::image2Left, &S::image2Top, nullptr, nullptr, &image2,
         image2Button, deleteImage2Button},
    };
    // the amount prints whole, or the user hears which cheque would cut it before it prints
    for (LayoutItem<ChequeSetup>& item : items_.items) {
        if (item.edit == amount) item.mustFit = "the amount in figures";
        if (item.edit == amountText) item.mustFit = "the amount in words (line 1)";
        if (item.edit == amount2) item.mustFit = "the amount in words (line 2)";
    }
    // the lines without a label of their own
    amount2->setAccessibleName("Words line 2");
    month->setAccessibleName("Month");
    englishMonth->setAccessibleName("Month in words");
    items_.attach(this, [this] { refreshClick(); });
    items_.orderFocus({category, insertCategory, updateCategory, deleteCategory, pageHeight, pageWidth, verticalOrient,
                       horizontalOrient},
                      {dollar, cent, separateLen, singleAnd, hyphen, smallLetter});
}

void TChequeForm::createActions()
{
    AddLayoutActions(this, {"&Refresh", "Save Setting", "&Print Cheque"}, [this](const LayoutActionAdder& add) {
        saveChequeAction = add("Save Cheque", Qt::Key_F7, [this] { saveChequeActionExecute(); });
    });
}

// ---------------------------------------------------------------- words and drawing

void TChequeForm::englishButtonClick()
{
    spellWords();
    refreshClick();
}

void TChequeForm::spellWords()
{
    const double value = ChequeAmountValue(amount->text().toStdString());
    ChequeWordingOptions options;
    options.dollar = dollar->text().toStdString();
    options.cent = cent->text().toStdString();
    options.singleAnd = singleAnd->isChecked();
    options.hyphen = hyphen->isChecked();
    options.smallLetter = smallLetter->isChecked();
    const std::string words = ChequeAmountWords(value, options);
    amountText->setText(QString::fromStdString(words));
    const ChequeWordLines lines = SplitChequeWords(words, ReadInt2(separateLen));
    amountText->setText(QString::fromStdString(lines.first));
    amount2->setText(QString::fromStdString(lines.second));
}

void TChequeForm::chineseAmountClick()
{
    englishButtonClick();
    formatAmount();
}

void TChequeForm::formatAmount()
{
    amount->setText(QString::fromStdString(FormatAmount(amount->text().toStdString())));
}

void TChequeForm::refreshClick() { cut_ = LayChequeOnPreview(items_.page(), *PvPreview1); }

void TChequeForm::fillDate()
{
    const QDate today = QDate::currentDate();
    day->setText(QString::number(today.day()));
    month->setText(englishMonth->isChecked() ? kMonths[today.month() - 1] : QString::number(today.month()));
    year->setText(QString::number(today.year()));
}

// ---------------------------------------------------------------- events

void TChequeForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TChequeForm::FormShow()
{
    amount->selectAll();
    amount->setFocus();
}

bool TChequeForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    auto* edit = qobject_cast<QLineEdit*>(watched);
    const auto& key = static_cast<const QKeyEvent&>(*event);
    if (!edit) return QDialog::eventFilter(watched, event);
    // Enter on the amount or the split length re-spells the words
    if (edit == amount || edit == separateLen) {
        if (!IsEnterKey(key)) return false;
        chineseAmountClick();
        if (edit == amount) {
            amount->selectAll();
            amount->setFocus();
        }
        return true;
    }
    return LayoutEditKey(edit, key, [this] { refreshClick(); });
}

void TChequeForm::closeEvent(QCloseEvent* event)
{
    QDialog::closeEvent(event);
    setResult(1);
}

// Escape and the window's close button ask about a changed layout as F12 does
void TChequeForm::reject() { exitActionExecute(); }

void TChequeForm::zoomInActionExecute()
{
    StepLayoutZoom(*PvPreview1, true);
    refreshClick();
}

void TChequeForm::zoomOutActionExecute()
{
    StepLayoutZoom(*PvPreview1, false);
    refreshClick();
}

void TChequeForm::updateActionExecute()
{
    chineseAmountClick();
    refreshClick();
}

void TChequeForm::singleAndClick()
{
    modified = true;
    englishButtonClick();
}

void TChequeForm::englishMonthClick()
{
    const int m = QDate::currentDate().month();
    month->setText(englishMonth->isChecked() ? kMonths[m - 1] : QString::number(m));
    englishButtonClick();
}

void TChequeForm::helpActionExecute()
{
    OpenHelp("cheque.htm", this);
}


void TChequeForm::exitActionExecute()
{
    if (modified && category->currentIndex() >= 0 && shownIndex_ >= 0 &&
        AskYesNo("Setting '" + category->itemText(shownIndex_) + "' has beem modified, save it now?", this))
        savelActionExecute();
    done(1);
}

// ---------------------------------------------------------------- layouts

dbReference<ChequeSetup> TChequeForm::SelectedSetting() const { return ComboLayout<ChequeSetup>(*category); }

void TChequeForm::fillCombo(dbReference<ChequeSetup> select) { FillLayoutCombo(*category, select); }

bool TChequeForm::fillContact(oid_t oid, dbReference<ChequeSetup>& layout)
{
    dbCursor<Customer> customer;
    if (!customer.at(dbReference<Customer>(oid))) return false;
    name->setText(QString::fromUtf8(customer->name ? customer->name : ""));
    contact = oid;
    amount->setText(QString::fromStdString(FormatMoney(customer->amount)));
    layout = customer->chequeSetup;
    return true;
}

void TChequeForm::loadSettingList(dbReference<ChequeSetup> chosen)
{
    fillCombo(chosen);
    if (category->count() == 0) {
        // committed at once (by InsertLayout), so that no later rollback
        // takes away a layout the list shows
        ChequeSetup record;
        readSetting(record);
        if (!InsertLayout(*category, record, "BANK", this)) return;
    }
    dbCursor<ChequeSetup> setups;
    if (setups.at(SelectedSetting())) showSetting(*setups);
}

void TChequeForm::showLayoutOf(dbReference<ChequeSetup> layout)
{
    const int index = std::max(int(category->findData(layout.getOid())), 0);
    if (index == shownIndex_ && index == category->currentIndex()) {
        fillDate();
        spellWords();  // drawn when printed
        formatAmount();
        return;
    }
    category->setCurrentIndex(index);
    dbCursor<ChequeSetup> setups;
    if (setups.at(SelectedSetting())) showSetting(*setups);
}

void TChequeForm::showSetting(const ChequeSetup& r)
{
    shownIndex_ = category->currentIndex();
    items_.show(r);
    separateLen->setText(QString::number(r.separateLen));
    image = pictureFromBytes(r.image);
    image2 = pictureFromBytes(r.image2);
    englishMonth->setChecked(r.englishMonth);
    cent->setText(QString::fromUtf8(r.cent ? r.cent : ""));
    dollar->setText(QString::fromUtf8(r.dollar ? r.dollar : ""));
    singleAnd->setChecked(r.singleAnd);
    smallLetter->setChecked(r.smallLetter);
    hyphen->setChecked(r.hyphen);
    fillDate();
    modified = false;
    chineseAmountClick();
}

void TChequeForm::readSetting(ChequeSetup& r)
{
    // every number is read before any field changes
    const LayoutReading reading = items_.read();
    const int2 length = ReadInt2(separateLen);
    items_.store(reading, r);
    r.separateLen = length;
    r.englishMonth = englishMonth->isChecked();
    r.cent = buffer_.put(cent->text().toStdString().c_str());
    r.dollar = buffer_.put(dollar->text().toStdString().c_str());
    r.singleAnd = singleAnd->isChecked();
    r.hyphen = hyphen->isChecked();
    r.smallLetter = smallLetter->isChecked();
    r.string = "";
}

std::string TChequeForm::storeOnContact(double value, dbReference<ChequeSetup> layout)
{
    if (contact == 0) return {};
    dbCursor<Customer> customer(dbCursorForUpdate);
    if (!customer.at(dbReference<Customer>(contact))) return {};  // the contact is gone
    zarvoBuffer texts;
    KeepCustomerTexts(*customer, texts);
    float held = 0;
    const bool kept = HoldAmountToTheCent(value, held);
    const double previous = customer->amount;
    if (kept) customer->amount = held;
    customer->chequeSetup = layout;
    customer.update();
    return kept ? std::string() : PreviousAmountKept(value, previous);
}

bool TChequeForm::saveSetting(int index)
{
    const dbReference<ChequeSetup> ref(category->itemData(index).toUInt());
    const double value = ChequeAmountValue(amount->text().toStdString());
    ChequeSetup fresh;
    readSetting(fresh);  // raises before anything is written
    dbCursor<ChequeSetup> setups(dbCursorForUpdate);
    if (!setups.at(ref)) {
        database.rollback();
        return false;
    }
    ChequeSetup& r = *setups;
    fresh.name = buffer_.put(r.name);
    fresh.chineseAmount = r.chineseAmount;
    StoreBytes(fresh.image, platform::BitmapFileBytes(image));
    StoreBytes(fresh.image2, platform::BitmapFileBytes(image2));
    r = fresh;
    const std::string notKept = setups.update() ? storeOnContact(value, ref) : std::string();
    if (!database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        return false;
    }
    modified = false;
    ShowInfo("Setting '" + category->itemText(index) + "' has been saved successfully.", this);
    if (!notKept.empty()) ShowInfo(QString::fromStdString(notKept), this);
    return true;
}

void TChequeForm::savelActionExecute()
{
    if (category->currentIndex() >= 0) saveSetting(category->currentIndex());
}

bool TChequeForm::printActionExecute()
{
    const double value = ChequeAmountValue(amount->text().toStdString());
    refreshClick();
    if (!cut_.isEmpty() && !AskYesNo(CutChequesQuestion({{name->text(), cut_}}, 1), this)) return false;
    return printDrawn(value);
}

bool TChequeForm::printDrawn(double value)
{
    PvPreview1->SetOrientation(verticalOrient->isChecked() ? gmPortrait : gmLandscape);
    if (!PvPreview1->Print()) return false;
    const std::string notKept = storeOnContact(value, SelectedSetting());
    if (!database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        return true;
    }
    if (!notKept.empty()) ShowInfo(QString::fromStdString("The cheque has been printed. " + notKept), this);
    return true;
}

int TChequeForm::printBatch(const std::vector<oid_t>& contacts)
{
    platform::PrintBatch files;
    loadSettingList({});
    database.commit();
    if (category->count() == 0) return 0;  // no layout could be stored: said so
    if (!batchFits(contacts)) return 0;  // stopped: nothing printed or stored
    int printed = 0;
    double value = 0;
    for (oid_t oid : contacts) {
        if (!drawBatchCheque(oid, value)) continue;  // gone meanwhile
        if (!printDrawn(value)) break;               // the failure has been shown
        ++printed;
    }
    database.rollback();  // the reads for a cheque that was not printed
    if (!files.End()) platform::ShowError(files.Error(), this);
    return printed;
}

bool TChequeForm::drawBatchCheque(oid_t oid, double& value)
{
    dbReference<ChequeSetup> layout;
    if (!fillContact(oid, layout)) {
        database.rollback();
        return false;
    }
    showLayoutOf(layout);
    value = ChequeAmountValue(amount->text().toStdString());
    refreshClick();
    return true;
}

bool TChequeForm::batchFits(const std::vector<oid_t>& contacts)
{
    std::vector<CutCheque> cut;
    try {
        double value = 0;
        for (oid_t oid : contacts)
            if (drawBatchCheque(oid, value) && !cut_.isEmpty()) cut.push_back({name->text(), cut_});
    } catch (const std::exception&) {
        // the batch stops at this cheque when it comes to print it, and says why there
    }
    database.rollback();  // the reads
    if (cut.empty()) return true;
    QGuiApplication::setOverrideCursor(Qt::ArrowCursor);  // over the batch's hourglass while the user answers
    const bool goOn = AskYesNo(CutChequesQuestion(cut, contacts.size()), this);
    QGuiApplication::restoreOverrideCursor();
    return goOn;
}

void TChequeForm::insertCategoryClick()
{
    if (!AddNamedLayout<ChequeSetup>(*category, [this](ChequeSetup& r) { readSetting(r); }, this)) return;
    shownIndex_ = category->currentIndex();
    image = QImage();  // the second picture stays on the window
    refreshClick();
}

void TChequeForm::updateCategoryClick()
{
    RenameLayout<ChequeSetup>(
        *category,
        [](ChequeSetup& r, zarvoBuffer& texts) {
            for (const char** t : {&r.cent, &r.dollar, &r.string}) *t = texts.put(*t);
        },
        this);
}

void TChequeForm::deleteCategoryClick()
{
    // the cheques printed with it keep no reference that a later layout could take over
    auto forgetOnCheques = [this](oid_t oid) {
        dbCursor<Cheque> issued(dbCursorForUpdate);
        dbQuery printedWith;
        printedWith.append(dbQueryElement::Text, "setup=");
        printedWith.bindReference(oid, &ChequeSetup::dbDescriptor);
        if (issued.select(printedWith) > 0) {
            zarvoBuffer texts;
            do {
                for (const char** t : {&issued->chequeNo, &issued->description, &issued->customerName})
                    *t = texts.put(*t);
                issued->setup = dbReference<ChequeSetup>();
                issued.update();
            } while (issued.next());
        }
        if (issued.selectFailed()) ShowInfo("The check could not be made; nothing was deleted.", this);
        return !issued.selectFailed();
    };
    if (!DeleteLayout<ChequeSetup>(*category, "chequeSetup=", forgetOnCheques, this)) return;
    loadSettingList({});
    database.commit();  // ends the reads
}

void TChequeForm::categoryChange()
{
    const int index = category->currentIndex();
    if (modified && index != shownIndex_ && shownIndex_ >= 0 && shownIndex_ < category->count()) {
        if (AskYesNo("Setting '" + category->itemText(shownIndex_) + "' has modified, save it now?", this)) {
            category->setCurrentIndex(shownIndex_);
            saveSetting(shownIndex_);
            category->setCurrentIndex(index);
        }
    }
    dbCursor<ChequeSetup> setups;
    if (setups.at(SelectedSetting())) showSetting(*setups);
    database.commit();
    refreshClick();
}
