// TChequeForm, the cheque window: lays out and prints a cheque for one
// contact from a named cheque layout (ChequeSetup), keeps the list of layouts
// (add, rename, delete, save) and spells the amount in words. The main window
// shows it for one contact, or keeps one hidden and calls printActionExecute
// once per contact of a batch.
//
// Callers keep to these rules:
//  - Set `name`, `amount` and `contact` (a Customer's object id, 0 for none),
//    or fill them with fillContact, then call loadSettingList before showing
//    or printing; or hand a batch to printBatch. loadSettingList reads in the
//    thread's transaction and leaves its ending to the caller.
//  - Handlers raise the conversion errors of the edits (platform::EConvertError,
//    AmountConvertError, ChequeAmountRangeError) before anything is written;
//    the application's default handler shows them.
//  - Layout changes commit the thread's transaction: hold no uncommitted
//    changes of your own while the window is in use.
#pragma once

#include "appcore/schema.h"
#include "documents/chequepage.h"
#include "documents/layoutfields.h"
#include "platform/color.h"
#include "platform/logfont.h"

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QList>
#include <QStringList>

#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class TPvPreview;

class TChequeForm : public QDialog {
    Q_OBJECT
public:
    explicit TChequeForm(QWidget* owner = nullptr);

    // Texts printed and the wording options.
    QLineEdit *name, *amount, *amountText, *amount2, *day, *month, *year;
    QLineEdit *dollar, *cent, *separateLen;
    QCheckBox *singleAnd, *hyphen, *smallLetter, *englishMonth;
    // Layout: positions (mm), page size (mm), orientation.
    QLineEdit *nameLeft, *nameTop, *amountLeft, *amountTop, *amountTextLeft, *amountTextTop, *amount2Left,
        *amount2Top, *dayLeft, *dayTop, *monthLeft, *monthTop, *yearLeft, *yearTop, *imageLeft, *imageTop,
        *image2Left, *image2Top, *pageHeight, *pageWidth;
    QRadioButton *verticalOrient, *horizontalOrient;
    QComboBox* category;  // the layouts, in the select-all order of the records
    QPushButton *insertCategory, *deleteCategory, *updateCategory;
    QPushButton *nameFont, *amountFont, *amountTextFont, *dayFont, *monthFont, *yearFont;
    QPushButton *imageButton, *deleteImageButton, *image2Button, *deleteImage2Button;
    TPvPreview* PvPreview1;
    QAction *zoomInAction, *zoomOutAction, *updateAction, *savelAction, *printAction, *exitAction,
        *saveChequeAction, *helpAction;
    QList<QAction*> ActionList1;

    // The contact whose cheque this is (0: none; printing then stores nothing).
    oid_t contact = 0;
    bool modified = false;
    QImage image, image2;  // the two pictures; null: none

    // Sets the payee, the contact and its stored amount from a contact, and
    // gives the contact's layout. False when the id names no contact.
    bool fillContact(oid_t oid, dbReference<ChequeSetup>& layout);
    void loadSettingList(dbReference<ChequeSetup> chosen);
    void showSetting(const ChequeSetup& record);
    // Fills a record from the window (not the name or pictures). Raises the
    // conversion error of the first edit that does not hold its number.
    void readSetting(ChequeSetup& record);

    // The words from the amount and wording options, then a redraw.
    void englishButtonClick();
    // englishButtonClick, then the amount re-formatted with separators.
    void chineseAmountClick();
    // Lays the cheque out on the preview from the window.
    void refreshClick();

    void FormShow();
    void nameFontClick() { items_.pickFont(nameStyle_, this); }
    void amountFontClick() { items_.pickFont(amountStyle_, this); }
    void amountTextFontClick() { items_.pickFont(amountTextStyle_, this); }  // both lines of the words
    void dayFontClick() { items_.pickFont(dayStyle_, this); }
    void monthFontClick() { items_.pickFont(monthStyle_, this); }
    void yearFontClick() { items_.pickFont(yearStyle_, this); }
    void imageButtonClick() { items_.loadPicture(image, this); }
    void image2ButtonClick() { items_.loadPicture(image2, this); }
    void deleteImageButtonClick() { items_.clearPicture(image); }
    void deleteImage2ButtonClick() { items_.clearPicture(image2); }
    void zoomInActionExecute();
    void zoomOutActionExecute();
    void updateActionExecute();
    void savelActionExecute();
    // Prints the cheque as the window shows it, then stores the amount and the
    // layout on the contact. When the amount would not print whole (it runs
    // past the page's edge as the printer prints it), asks first. False when
    // nothing was printed (the user stopped, no printer, a failed job): the
    // contact is then left as it was.
    bool printActionExecute();
    // Prints a cheque for each contact in the order given, each filled and
    // laid out as a single cheque for it would be, and stored and committed
    // as printActionExecute does before the next is printed; contacts that
    // are gone are passed over. The cheques whose amount would not print
    // whole are named in one question first; stopping there prints and
    // stores nothing. The layout list is read once for the batch, a layout
    // again only when the next contact's differs from the one shown, and
    // the print files reach the disk together at the end. Stops at the first
    // cheque that could not be printed (the failure has been shown). Returns
    // the number printed.
    int printBatch(const std::vector<oid_t>& contacts);
    void exitActionExecute();
    void saveChequeActionExecute();
    void helpActionExecute();
    void englishMonthClick();
    void singleAndClick();
    void insertCategoryClick();
    void deleteCategoryClick();
    void updateCategoryClick();
    void categoryChange();

    // The layout selected in the combo; null when none.
    dbReference<ChequeSetup> SelectedSetting() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using ItemStyle = LayoutItemStyle;
    void createControls();
    void createItems();  // the printed items' table, after the edits they print
    void createActions();
    void fillDate();
    // The words of the amount into both lines, without drawing; and the
    // amount re-formatted with separators.
    void spellWords();
    void formatAmount();
    // Writes the layout at the combo index from the window and stores the
    // amount on the contact; false when the layout is gone.
    bool saveSetting(int index);
    // Stores the amount and the layout on the contact. An amount that cannot
    // be the contact's default leaves the previous one, and the answer is the
    // message that says so (not shown yet); empty otherwise.
    std::string storeOnContact(double value, dbReference<ChequeSetup> layout);
    void fillCombo(dbReference<ChequeSetup> select);
    // Shows the layout a single cheque for the contact would open on (the
    // first when it has none or it is gone): read and shown when it is not
    // the one shown, else only the date, the words and the amount's form are
    // made afresh (the page is drawn when printed).
    void showLayoutOf(dbReference<ChequeSetup> layout);
    // Prints the cheque drawn last and stores `value` and the layout on the
    // contact; false when nothing was printed.
    bool printDrawn(double value);
    // Fills the window for a contact of a batch and draws its cheque, with
    // the value of its amount; false when the contact is gone. Raises the
    // amount's conversion error.
    bool drawBatchCheque(oid_t oid, double& value);
    // Draws the batch's cheques, up to the first that could not be printed,
    // and asks about those whose amount would be cut; true to print.
    bool batchFits(const std::vector<oid_t>& contacts);

    ItemStyle nameStyle_, amountStyle_, amountTextStyle_, dayStyle_, monthStyle_, yearStyle_;
    LayoutTable<ChequeSetup> items_;
    int shownIndex_ = -1;
    QStringList cut_;  // what of the cheque drawn last runs past the page's edge
    zarvoBuffer buffer_;
};
