// TMainForm, the contact editor: the modal dialog in which one contact is
// typed in or changed. The main window's insert and update actions create it,
// fill it (showCustomer), show it until Save or Cancel, check what was typed
// and store the record (readCustomer, cardBytes). The dialog itself validates
// the form on Save, keeps the category table (add, delete, rename: each
// committed at once), handles the card picture and opens the contact's web
// site and the help page.
//
// Callers keep to these rules:
//  - Texts that readCustomer writes into a record point into the editor's
//    own buffer: store the record before the editor goes or is read again.
//  - Every entry of `category` carries its Category's object id, so the
//    category stored is the one shown, whatever happened to the order since.
//    The list is kept in name order.
//  - A category change commits the thread's transaction: do not hold
//    uncommitted changes of your own while the editor is shown.
#pragma once

#include "appcore/schema.h"

#include <QByteArray>
#include <QDialog>
#include <QImage>
#include <QList>
#include <QString>

#include <memory>
#include <vector>

class TAcquireImage;
class QAction;
class QBoxLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// A category as the lists show it.
struct CategoryEntry {
    dbReference<Category> ref;
    QString name;
};
// Every category in name order (the query "order by name").
std::vector<CategoryEntry> CategoriesByName();

// An ID as typed: optional blanks and sign, then decimal digits that fit in
// 32 bits. False for anything else.
bool ReadIdText(const QString& text, int4& id);
// An amount as typed or read from a sheet: a plain decimal number (see
// ParseDecimal) within the range of the stored 4-byte float. False otherwise.
// Whether the contact keeps it to the cent is ContactAmountProblem's call.
bool ReadAmountText(const QString& text, double& amount);

class TMainForm : public QDialog {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* owner = nullptr);
    ~TMainForm() override;

    QLineEdit *cName, *cAddress1, *cAddress2, *cAddress3, *cPerson;
    QComboBox* category;
    QPushButton *insertCategory, *deleteCategory, *updateCategory;
    QLineEdit *cTelephone, *cMobile, *cID, *cFax, *cEmail;
    QPushButton* cMailButton;
    QLineEdit* website;
    QPushButton* websiteButton;
    QLineEdit* amount;
    QPlainTextEdit* cRemark;
    QLabel* Image;  // the card picture, stretched into its panel
    QPushButton *imageButton, *deleteImageButton, *scanButton;
    std::unique_ptr<TAcquireImage> AcquireImage1;  // the scanner
    // The scanner source picked in this run, shared by every editor; empty
    // until one is picked, and again when it is gone.
    static QString scanSource;
    QPushButton *cSave, *cCancel, *helpButton;
    QAction *savelAction, *exitAction, *helpAction;
    QList<QAction*> ActionList1;

    // Set by every successful add, delete or rename of a category.
    bool categoriesChanged = false;

    // Fills the controls from a record (its picture from the stored JPEG
    // bytes; bytes that do not decode give an empty picture, but are kept
    // for cardBytes until the picture is replaced or deleted).
    void showCustomer(const Customer& record);
    // Writes id, the texts, amount (as its 4-byte form keeps it to the
    // cent; Save refuses one it cannot keep) and category into the record
    // (always true). The card and the layouts are left as they are.
    bool readCustomer(Customer& record);

    // The card picture (null when there is none) and the JPEG bytes to store
    // for it: the bytes it was read from while it is unchanged, else a new
    // encoding; empty for no picture. Stored bytes that could not be shown
    // come back unchanged.
    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& image);
    QByteArray cardBytes() const;

    // The Category of the selected entry; null when none is selected.
    dbReference<Category> selectedCategory() const;

    void cMailButtonClick();
    void insertCategoryClick();
    void deleteCategoryClick();
    void updateCategoryClick();
    void imageButtonClick();
    void deleteImageButtonClick();
    void ImageDblClick();
    void scanButtonClick();
    void websiteButtonClick();
    void savelActionExecute();
    void exitActionExecute();
    void helpActionExecute();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    // The card picture, its hint and its buttons, down the column `right`.
    void createPictureControls(QBoxLayout* right);
    void createActions();
    // Refills the list from "order by name" and selects the entry of `selected`
    // (none when it is null or not found).
    void loadCategories(dbReference<Category> selected);
    void showPicture();
    void setPictureFromJpeg(const QImage& image, const QByteArray& jpeg);

    zarvoBuffer buffer_;
    QImage picture_;
    // the bytes picture_ was decoded from, or stored bytes that did not
    // decode (picture_ null); empty once replaced otherwise
    QByteArray pictureJpeg_;
};
