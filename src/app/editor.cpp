#include "app/editor.h"

#include "appcore/amounts.h"
#include "appcore/dialogs.h"
#include "appcore/picture.h"
#include "documents/cardform.h"
#include "documents/emailform.h"
#include "platform/accessibility.h"
#include "platform/dialogs.h"
#include "platform/screenroom.h"
#include "scanner/acquireimage.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cfloat>
#include <charconv>
#include <cmath>

namespace {

QString fromStored(const char* s) { return QString::fromUtf8(s ? s : ""); }

// A button beside a field, with its hint.
QPushButton* smallButton(QWidget* parent, const char* caption, const char* hint)
{
    auto* b = new QPushButton(caption, parent);
    b->setToolTip(hint);
    b->setAutoDefault(false);
    b->setFocusPolicy(Qt::TabFocus);  // a click leaves the focus in the field
    return b;
}

} // namespace

bool ReadIdText(const QString& text, int4& id)
{
    const QByteArray s = text.trimmed().toLatin1();
    const char* b = s.constData();
    const char* e = b + s.size();
    if (b != e && *b == '+')
        ++b;
    int4 v = 0;
    auto [p, ec] = std::from_chars(b, e, v);
    if (b == e || ec != std::errc() || p != e)
        return false;
    id = v;
    return true;
}

bool ReadAmountText(const QString& text, double& amount)
{
    double v = 0;
    if (!ParseDecimal(text.toStdString(), v) || std::fabs(v) > FLT_MAX)
        return false;
    amount = v;
    return true;
}

std::vector<CategoryEntry> CategoriesByName()
{
    std::vector<CategoryEntry> list;
    dbCursor<Category> categories;
    dbQuery byName("order by name");
    if (categories.select(byName) > 0) {
        do
            list.push_back({categories.currentId(), fromStored(categories->name)});
        while (categories.next());
    }
    return list;
}

// ---------------------------------------------------------------- the form

QString TMainForm::scanSource;

TMainForm::TMainForm(QWidget* owner) : QDialog(owner), AcquireImage1(std::make_unique<TAcquireImage>())
{
    setWindowTitle("Zarvo Cheque Printing System");
    createControls();
    createActions();
    const std::vector<CategoryEntry> list = CategoriesByName();
    loadCategories(list.empty() ? dbReference<Category>() : list.front().ref);
    categoriesChanged = false;
}

TMainForm::~TMainForm() = default;

void TMainForm::createControls()
{
    QWidget* page = nullptr;
    QBoxLayout* outer = platform::ScrollingBody(this, page);
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* left = new QVBoxLayout;
    layout->addLayout(left, 3);

    auto* envelope = new QGroupBox("Envelope Setting", this);
    auto* env = new QGridLayout(envelope);
    using platform::NewLabelFor;
    auto addRow = [&](QGridLayout* grid, int row, const char* label, QWidget* field) {
        if (label)
            grid->addWidget(NewLabelFor(label, field), row, 0);
        grid->addWidget(field, row, 1);
    };
    cName = new QLineEdit(envelope);
    cAddress1 = new QLineEdit(envelope);
    cAddress2 = new QLineEdit(envelope);
    cAddress3 = new QLineEdit(envelope);
    cPerson = new QLineEdit(envelope);
    addRow(env, 0, "Name:", cName);
    addRow(env, 1, "Address:", cAddress1);
    addRow(env, 2, nullptr, cAddress2);
    addRow(env, 3, nullptr, cAddress3);
    addRow(env, 4, "Contact:", cPerson);
    cAddress2->setAccessibleName("Address line 2");
    cAddress3->setAccessibleName("Address line 3");
    left->addWidget(envelope);

    auto* fields = new QGridLayout;
    left->addLayout(fields);
    // a symbol says what it does to the eye; its hint says it to the ear
    auto iconButton = [this](const char* caption, const char* hint) {
        QPushButton* b = smallButton(this, caption, hint);
        // narrow, as wide as its symbol at the font shown
        b->setMaximumWidth(b->fontMetrics().horizontalAdvance(QString(caption)) + 2 * b->fontMetrics().height());
        b->setAccessibleName(hint);
        return b;
    };
    category = new QComboBox(this);
    category->setEditable(false);
    insertCategory = iconButton("+", "Add new category");
    deleteCategory = iconButton("-", "Delete category");
    updateCategory = iconButton("...", "Edit category");
    auto* categoryRow = new QHBoxLayout;
    categoryRow->addWidget(category, 1);
    categoryRow->addWidget(insertCategory);
    categoryRow->addWidget(deleteCategory);
    categoryRow->addWidget(updateCategory);
    fields->addWidget(NewLabelFor("Category:", category), 0, 0);
    fields->addLayout(categoryRow, 0, 1, 1, 3);

    cTelephone = new QLineEdit(this);
    cMobile = new QLineEdit(this);
    cID = new QLineEdit(this);
    cFax = new QLineEdit(this);
    fields->addWidget(NewLabelFor("Tel:", cTelephone), 1, 0);
    fields->addWidget(cTelephone, 1, 1);
    fields->addWidget(NewLabelFor("Mobile:", cMobile), 1, 2);
    fields->addWidget(cMobile, 1, 3);
    fields->addWidget(NewLabelFor("ID:", cID), 2, 0);
    fields->addWidget(cID, 2, 1);
    fields->addWidget(NewLabelFor("Fax:", cFax), 2, 2);
    fields->addWidget(cFax, 2, 3);
    for (QLineEdit* number : {cTelephone, cMobile, cFax})
        platform::WidenForDigits(number, 12);
    platform::WidenForDigits(cID, 10);

    // an edit with a small button behind it, across the row
    auto editRow = [&](int row, const char* label, QLineEdit* edit, QPushButton* button) {
        auto* line = new QHBoxLayout;
        line->addWidget(edit, 1);
        line->addWidget(button);
        fields->addWidget(NewLabelFor(label, edit), row, 0);
        fields->addLayout(line, row, 1, 1, 3);
    };
    cEmail = new QLineEdit(this);
    cMailButton = iconButton("@", "Send email to this customer");
    editRow(3, "Email:", cEmail, cMailButton);
    website = new QLineEdit(this);
    websiteButton = iconButton("Go", "Visit the website");
    editRow(4, "Website:", website, websiteButton);

    amount = new QLineEdit("0", this);
    platform::WidenForDigits(amount, 14);
    fields->addWidget(NewLabelFor("Cheque Amount:", amount), 5, 0);
    fields->addWidget(amount, 5, 1);

    cRemark = new QPlainTextEdit(this);
    cRemark->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cRemark->setTabChangesFocus(true);
    fields->addWidget(NewLabelFor("Remark:", cRemark), 6, 0, Qt::AlignTop);
    fields->addWidget(cRemark, 6, 1, 1, 3);

    auto* right = new QVBoxLayout;
    layout->addLayout(right, 2);
    createPictureControls(right);

    // under the scrolling part, in view
    auto* bottom = new platform::ButtonRows;
    cSave = new QPushButton("&Save F10", this);
    cCancel = new QPushButton("&Cancel F12", this);
    helpButton = new QPushButton("Help F1", this);
    for (QPushButton* b : {cSave, cCancel, helpButton}) {
        b->setAutoDefault(false);
        bottom->addWidget(b);
    }
    outer->addLayout(bottom);

    connect(insertCategory, &QPushButton::clicked, this, &TMainForm::insertCategoryClick);
    connect(deleteCategory, &QPushButton::clicked, this, &TMainForm::deleteCategoryClick);
    connect(updateCategory, &QPushButton::clicked, this, &TMainForm::updateCategoryClick);
    connect(cMailButton, &QPushButton::clicked, this, &TMainForm::cMailButtonClick);
    connect(websiteButton, &QPushButton::clicked, this, &TMainForm::websiteButtonClick);
    connect(imageButton, &QPushButton::clicked, this, &TMainForm::imageButtonClick);
    connect(deleteImageButton, &QPushButton::clicked, this, &TMainForm::deleteImageButtonClick);
    connect(scanButton, &QPushButton::clicked, this, &TMainForm::scanButtonClick);
    platform::OpenWithinScreen(this, QSize(760, 470));
}

void TMainForm::createPictureControls(QBoxLayout* right)
{
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(2, 2, 2, 2);
    Image = new QLabel(panel);
    Image->setScaledContents(true);
    Image->setMinimumSize(240, 150);
    Image->installEventFilter(this);
    // Tab reaches the picture too, and Enter or Space shows it as a
    // double-click does
    Image->setFocusPolicy(Qt::TabFocus);
    Image->setAccessibleName("Card picture");
    platform::ShowFocusFrame(Image);
    panelLayout->addWidget(Image);
    right->addWidget(panel, 1);
    // the hint is the picture's: read with it, not with the window
    auto* pictureHint = new QLabel("(Click the image to display)", this);
    platform::DescribeWith(pictureHint, Image);
    right->addWidget(pictureHint, 0, Qt::AlignHCenter);
    imageButton = smallButton(this, "Open", "Open an image");
    deleteImageButton = smallButton(this, "Delete", "Delete image");
    scanButton = smallButton(this, "Scan", "Scan the image");
    auto* pictureButtons = new QHBoxLayout;
    pictureButtons->addWidget(imageButton);
    pictureButtons->addWidget(deleteImageButton);
    pictureButtons->addWidget(scanButton);
    right->addLayout(pictureButtons);
}

void TMainForm::createActions()
{
    auto make = [this](const QString& caption, Qt::Key key, const QString& hint, void (TMainForm::*handler)(),
                       QPushButton* button) {
        auto* action = new QAction(caption, this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WindowShortcut);
        if (!hint.isEmpty())
            action->setToolTip(hint);
        connect(action, &QAction::triggered, this, handler);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        button->setToolTip(hint);
        addAction(action);
        ActionList1.append(action);
        return action;
    };
    savelAction = make("&Save F10", Qt::Key_F10, QString::fromUtf8("儲存"), &TMainForm::savelActionExecute, cSave);
    exitAction = make("&Cancel F12", Qt::Key_F12, QString::fromUtf8("取消"), &TMainForm::exitActionExecute, cCancel);
    helpAction = make("Help F1", Qt::Key_F1, QString(), &TMainForm::helpActionExecute, helpButton);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image && event->type() == QEvent::MouseButtonDblClick) {
        ImageDblClick();
        return true;
    }
    if (watched == Image && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            ImageDblClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- record

void TMainForm::showCustomer(const Customer& record)
{
    loadCategories(record.category);
    cName->setText(fromStored(record.name));
    cAddress1->setText(fromStored(record.address1));
    cAddress2->setText(fromStored(record.address2));
    cAddress3->setText(fromStored(record.address3));
    cEmail->setText(fromStored(record.email));
    website->setText(fromStored(record.website));
    cPerson->setText(fromStored(record.person));
    cTelephone->setText(fromStored(record.telephone));
    cMobile->setText(fromStored(record.mobile));
    cFax->setText(fromStored(record.fax));
    cID->setText(QString::number(record.id));
    amount->setText(QString::fromStdString(FormatMoney(record.amount)));
    cRemark->clear();
    cRemark->setPlainText(fromStored(record.remark));
    cRemark->moveCursor(QTextCursor::Start);

    picture_ = QImage();
    pictureJpeg_.clear();
    if (record.card.length() > 0) {
        const QByteArray bytes(reinterpret_cast<const char*>(record.card.get()),
                               static_cast<qsizetype>(record.card.length()));
        QImage decoded;
        if (DecodeJpeg(bytes, decoded))
            setPictureFromJpeg(decoded, bytes);
        else
            pictureJpeg_ = bytes;  // not shown, but stored again unless replaced or deleted
    }
    showPicture();
}

bool TMainForm::readCustomer(Customer& record)
{
    buffer_.clear();
    int4 id = 0;
    ReadIdText(cID->text(), id);
    record.id = id;
    auto put = [this](const QString& text) { return buffer_.put(text.toStdString()); };
    record.name = put(cName->text());
    record.email = put(cEmail->text());
    record.website = put(website->text());
    record.address1 = put(cAddress1->text());
    record.address2 = put(cAddress2->text());
    record.address3 = put(cAddress3->text());
    record.person = put(cPerson->text());
    record.telephone = put(cTelephone->text());
    record.mobile = put(cMobile->text());
    record.fax = put(cFax->text());
    record.remark = put(cRemark->toPlainText());
    double typed = 0;
    real4 held = 0;
    if (ReadAmountText(amount->text(), typed))
        HoldAmountToTheCent(typed, held);
    record.amount = held;
    record.category = selectedCategory();
    return true;
}

dbReference<Category> TMainForm::selectedCategory() const
{
    const int index = category->currentIndex();
    if (index < 0)
        return {};
    return dbReference<Category>(category->itemData(index).toUInt());
}

// ---------------------------------------------------------------- picture

void TMainForm::setPicture(const QImage& image)
{
    picture_ = image;
    pictureJpeg_.clear();
    showPicture();
}

void TMainForm::setPictureFromJpeg(const QImage& image, const QByteArray& jpeg)
{
    picture_ = image;
    pictureJpeg_ = jpeg;
}

QByteArray TMainForm::cardBytes() const
{
    if (picture_.isNull() || picture_.width() == 0 || picture_.height() == 0)
        return pictureJpeg_;  // empty, or stored bytes that could not be shown
    return pictureJpeg_.isEmpty() ? EncodeJpeg(picture_) : pictureJpeg_;
}

void TMainForm::showPicture()
{
    if (picture_.isNull())
        Image->clear();
    else
        Image->setPixmap(QPixmap::fromImage(picture_));
}

void TMainForm::imageButtonClick()
{
    platform::FileRequest request;
    request.mode = platform::FileRequest::Open;
    request.filters = QStringList{"JPeg Image (*.jpg)", "Bitmap (*.bmp)"};
    const QString path = platform::PickFile(request, this);
    imageButton->setFocus(Qt::OtherFocusReason);  // on Open, as the keyboard leaves it
    if (path.isEmpty() || PictureKindOf(path) == PictureFileKind::Other)
        return;
    QImage image;
    QByteArray jpeg;
    QString error;
    if (!LoadPictureFile(path, image, jpeg, error)) {
        ShowInfo("Cannot read the picture " + path + ": " + error + ".", this);
        return;
    }
    setPictureFromJpeg(image, jpeg);
    showPicture();
}

void TMainForm::deleteImageButtonClick() { setPicture(QImage()); }

void TMainForm::ImageDblClick()
{
    if (picture_.isNull())
        return;
    TCardForm card(this);
    card.SetPicture(picture_.copy());
    RunModal(card);
}

// A scan that is cancelled or fails leaves the picture as it was.
void TMainForm::scanButtonClick()
{
    TAcquireImage& scanner = *AcquireImage1;
    if (!scanner.LoadTwainModule()) {
        ShowInfo("Fail to find TWAIN_32.DLL.", this);
        return;
    }
    QImage bitmap;
    bool scanned = false;
    if (scanner.OpenSourceManager() == TAcquireImage::twSuccess) {
        // the source picked once serves the whole run; when it is gone, it is
        // forgotten and the user picks another
        auto pick = [&] {
            scanSource = scanner.GetSource(false);
            return scanSource.isEmpty() ? int(TAcquireImage::twCancel) : scanner.SelectSource(scanSource);
        };
        int selected = scanSource.isEmpty() ? pick() : scanner.SelectSource(scanSource);
        if (selected == TAcquireImage::twEndOfList)
            selected = pick();
        scanned = selected == TAcquireImage::twSuccess && scanner.OpenSource() == TAcquireImage::twSuccess
                  && scanner.AcquireBmp(bitmap) == TAcquireImage::twSuccess;
    }
    scanner.CloseTwainSession();
    scanner.UnLoadTwainModule();
    if (scanned)
        setPicture(bitmap);
}

// ---------------------------------------------------------------- conveniences

void TMainForm::websiteButtonClick()
{
    const QString site = website->text().trimmed();
    if (!site.isEmpty())
        OpenWebsite(site, this);
}

void TMainForm::cMailButtonClick()
{
    if (!cEmail->text().contains('@'))
        return;
    TEmailForm form(this);
    form.mailTo->setText(cPerson->text() + " <" + cEmail->text() + ">");
    form.attention->setText(cPerson->text());
    RunModal(form);
}

void TMainForm::helpActionExecute()
{
    OpenHelp("insert.htm", this);
}

// ---------------------------------------------------------------- save and cancel

void TMainForm::savelActionExecute()
{
    if (category->currentIndex() < 0) {
        ShowInfo("Please select a category.", this);
        category->setFocus();
        return;
    }
    // an amount the contact cannot keep to the cent, or one below zero, is
    // refused rather than stored changed
    double value = 0;
    int4 id = 0;
    QString problem;
    QLineEdit* wrong = nullptr;
    if (!ReadAmountText(amount->text(), value)) {
        wrong = amount;
        problem = "Invalid value.";
    } else if (const std::string kept = ContactAmountProblem(value); !kept.empty()) {
        wrong = amount;
        problem = QString::fromStdString(kept);
    } else if (!ReadIdText(cID->text(), id)) {
        wrong = cID;
        problem = "Invalid value.";
    }
    if (wrong) {
        ShowInfo(problem, this);
        wrong->selectAll();
        wrong->setFocus();
        return;
    }
    done(1);
}

void TMainForm::exitActionExecute() { done(2); }

// ---------------------------------------------------------------- categories

void TMainForm::loadCategories(dbReference<Category> selected)
{
    category->clear();
    int index = -1;
    for (const CategoryEntry& entry : CategoriesByName()) {
        if (entry.ref == selected && !selected.isNull())
            index = category->count();
        category->addItem(entry.name, QVariant::fromValue<uint>(entry.ref.getOid()));
    }
    category->setCurrentIndex(index);
}

void TMainForm::insertCategoryClick()
{
    QString text;
    if (!InputText("Enter the category: ", text, this))
        return;
    Category record;
    record.name = buffer_.put(text.toStdString());
    const dbReference<Category> added = insert(record);
    if (added.isNull() || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        return;
    }
    loadCategories(added);
    categoriesChanged = true;
    platform::Announce("Category '" + text + "' added.", this);
}

void TMainForm::deleteCategoryClick()
{
    const int index = category->currentIndex();
    if (index < 0)
        return;
    const QString name = category->currentText();
    if (!AskYesNo("Delete the category '" + name + "'?", this))
        return;
    const dbReference<Category> ref = selectedCategory();
    dbCursor<Category> categories(dbCursorForUpdate);
    if (!categories.at(ref)) {  // gone meanwhile: show what is there
        database.rollback();
        loadCategories({});
        return;
    }
    dbCursor<Customer> users;
    dbQuery used;
    const oid_t oid = ref.getOid();
    used.append(dbQueryElement::Text, "category=");
    used.bindReference(oid, &Category::dbDescriptor);
    const std::size_t found = users.select(used);
    if (users.selectFailed() || found > 0) {
        database.rollback();
        ShowInfo(users.selectFailed() ? QString(kCheckFailed) : QString("This category is still being used."), this);
        return;
    }
    categories.remove();
    if (!database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        loadCategories(ref);
        return;
    }
    loadCategories({});
    categoriesChanged = true;
    platform::Announce("Category '" + name + "' deleted.", this);
}

void TMainForm::updateCategoryClick()
{
    const int index = category->currentIndex();
    if (index < 0)
        return;
    const QString before = category->currentText();
    QString text = before;
    if (!InputText("Enter the category: ", text, this))
        return;
    const dbReference<Category> ref = selectedCategory();
    dbCursor<Category> categories(dbCursorForUpdate);
    if (!categories.at(ref)) {
        database.rollback();
        loadCategories({});
        return;
    }
    categories->name = buffer_.put(text.toStdString());
    if (!categories.update() || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, this);
        loadCategories(ref);
        return;
    }
    loadCategories(ref);
    categoriesChanged = true;
    platform::Announce("Category '" + before + "' renamed to '" + text + "'.", this);
}
