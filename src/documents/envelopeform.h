// TEnvelopeForm, "Print Envelope": lays out and prints an envelope for one
// contact from a named envelope layout (EnvelopeSetup) and keeps the list of
// layouts (add, rename, delete, save). The main window shows it for one
// contact, or keeps one hidden and prints once per contact of a batch.
//
// Callers keep to these rules:
//  - Set the five address texts and `contact` (a Customer's object id, 0 for
//    none), then call loadSettingList before drawing, showing or printing.
//  - Handlers raise the conversion errors of the edits (platform::EConvertError)
//    before anything is drawn or written; the application's default handler
//    shows them.
//  - Layout changes commit the thread's transaction: hold no uncommitted
//    changes of your own while the window is in use.
#pragma once

#include "appcore/schema.h"
#include "documents/layoutfields.h"

#include <QDialog>
#include <QImage>
#include <QLineEdit>
#include <QList>
#include <QPlainTextEdit>

class QAction;
class QComboBox;
class QPushButton;
class QRadioButton;
class TPvPreview;

class TEnvelopeForm : public QDialog {
    Q_OBJECT
public:
    explicit TEnvelopeForm(QWidget* owner = nullptr);

    QPlainTextEdit* title;  // the sender block, one printed line per line
    QLineEdit *companyName, *address1, *address2, *address3, *attention, *head, *tail;
    QLineEdit *titleLeft, *titleTop, *companyNameLeft, *companyNameTop, *address1Left, *address1Top, *address2Left,
        *address2Top, *address3Left, *address3Top, *attentionLeft, *attentionTop, *imageLeft, *imageTop,
        *image2Left, *image2Top, *pageHeight, *pageWidth;
    QRadioButton *verticalOrient, *horizontalOrient;
    QComboBox* category;  // the layouts, in the select-all order of the records
    QPushButton *insertCategory, *deleteCategory, *updateCategory;
    QPushButton *titleFont, *companyNameFont, *address1Font, *address2Font, *address3Font, *attentionFont;
    QPushButton *imageButton, *image2Button, *deleteImageButton, *delete2ImageButton;
    TPvPreview* PvPreview1;
    QAction *updateAction, *zoomInAction, *zoomOutAction, *savelAction, *printAction, *exitAction, *helpAction;
    QList<QAction*> ActionList1;

    oid_t contact = 0;  // the contact Save links the layout to
    bool modified = false;
    QImage Image1, Image2;  // the two pictures; null: none

    // Fills the combo and shows the layout `chosen` (the first when it is
    // null or gone); the first use creates and commits "Envelope".
    void loadSettingList(dbReference<EnvelopeSetup> chosen);
    void showSetting(const EnvelopeSetup& record);
    // Fills a record from the window (not the name or pictures); raises the
    // conversion error of the first edit that does not hold its number.
    void readSetting(EnvelopeSetup& record);

    void updateActionExecute();
    // Draws and prints; false when nothing was printed (the printer has said why).
    bool printActionExecute();
    void savelActionExecute();
    void exitActionExecute();
    void helpActionExecute();
    void zoomInActionExecute();
    void zoomOutActionExecute();
    void titleFontClick() { items_.pickFont(titleStyle_, this); }
    void companyNameFontClick() { items_.pickFont(companyNameStyle_, this); }
    void address1FontClick() { items_.pickFont(address1Style_, this); }
    void address2FontClick() { items_.pickFont(address2Style_, this); }
    void address3FontClick() { items_.pickFont(address3Style_, this); }
    void attentionFontClick() { items_.pickFont(attentionStyle_, this); }
    void imageButtonClick() { items_.loadPicture(Image1, this); }
    void image2ButtonClick() { items_.loadPicture(Image2, this); }
    void deleteImageButtonClick() { items_.clearPicture(Image1); }
    void delete2ImageButtonClick() { items_.clearPicture(Image2); }
    void insertCategoryClick();
    void deleteCategoryClick();
    void updateCategoryClick();
    void categoryChange();

    // The layout selected in the combo; null when none.
    dbReference<EnvelopeSetup> SelectedSetting() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createItems();  // the printed items' table, after the edits they print
    void createActions();

    LayoutItemStyle titleStyle_, companyNameStyle_, address1Style_, address2Style_, address3Style_,
        attentionStyle_;
    LayoutTable<EnvelopeSetup> items_;
    int shownIndex_ = -1;
    zarvoBuffer buffer_;
};
