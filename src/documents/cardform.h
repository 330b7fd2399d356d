// TCardForm, "Card Image": shows a contact's card picture stretched to the
// window, prints it at 15, 15 mm and saves it as a .jpg or .bmp file. The
// caller sets the picture (SetPicture) before showing the window modally.
#pragma once

#include <QDialog>
#include <QImage>

class QLabel;
class QPushButton;
class TPvPreview;

class TCardForm : public QDialog {
    Q_OBJECT
public:
    explicit TCardForm(QWidget* owner = nullptr);
    ~TCardForm() override;

    QLabel* Image;          // the picture, stretched to the window
    TPvPreview* PvPreview1;  // hidden: the printed page
    QPushButton *saveButton, *cPrint, *cCancel;

    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

    // False when nothing was printed (the printer has said why).
    bool cPrintClick();
    void saveButtonClick();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showPicture();
    QImage picture_;
};
