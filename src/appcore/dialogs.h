// The program's own small modal dialogs: the message and question form
// TYesNoForm, the one-line input form TInputForm, and the free functions
// ShowInfo, AskYesNo and InputText through which every window talks to the
// user. ShowInfo, AskYesNo and InputText go through the platform dialog seam
// (tests script it); FormDialogs is the seam's service that shows these forms,
// installed by the program at start with InstallFormDialogs(). Every form runs
// through RunModal, which tests may replace to drive the real form.
#pragma once

#include "platform/dialogs.h"

#include <QDialog>
#include <QString>

#include <functional>

class QAction;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// "Message Box": a bold, centred, word-wrapped message and two buttons. Yes
// (F10) ends the form with modal result 1, No (F12) with 2; closing it by its
// frame or Escape gives 0. Enter answers with the button that has the focus,
// else with Yes. A short message keeps the form at 490 x 150; a longer one
// makes it taller, up to the room on the screen, beyond which the message
// scrolls. Set the message once, with setMessage, never on msg itself: it is
// also the form's accessible description, which screen readers read with it.
class TYesNoForm : public QDialog {
    Q_OBJECT
public:
    explicit TYesNoForm(QWidget *owner = nullptr);

    // Shows text (carriage returns break lines) and fits the form to it.
    void setMessage(const QString &text);
    // After setMessage: a read-only area "Details" under the message with
    // `text`, which the user can scroll, select and copy; the form grows.
    void setDetails(const QString &text);

    QLabel *msg;
    QPlainTextEdit *details = nullptr;  // made by setDetails
    QPushButton *YesButton;
    QPushButton *NoButton;
    QAction *YesAction;
    QAction *NoAction;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// "Enter Box": a prompt, one line of input and Okay (F10) / Cancel (F12).
// Okay, F10 and Enter close with modal result 1 only when the entry holds more
// than blanks; Cancel and F12 close with 2.
class TInputForm : public QDialog {
    Q_OBJECT
public:
    explicit TInputForm(QWidget *owner = nullptr);

    // Shows the prompt; it names the entry and is read with the form.
    void setPrompt(const QString &prompt);

    QLabel *msg;
    QLineEdit *inputText;
    QPushButton *YesButton;
    QPushButton *NoButton;
    QAction *YesAction;
    QAction *NoAction;

    void YesActionExecute();
};

// Messages shared by the windows that store records: a uniqueness or usage
// check whose query failed, and a change the database did not take.
inline constexpr const char* kCheckFailed = "The check could not be made; nothing was saved.";
inline constexpr const char* kNotStored = "The change could not be stored in the database.";

// The message on a yes/no form with one "&Okay" button: Enter closes it too.
void ShowInfo(const QString &text, QWidget *owner = nullptr);
// The message with a long list under it, whole, in the form's Details area
// (a service other than FormDialogs shows the message alone).
void ShowInfo(const QString &text, const QString &details, QWidget *owner);
// True when the user answered Yes.
bool AskYesNo(const QString &text, QWidget *owner = nullptr);
// True when the user confirmed; text then holds the entry (untrimmed).
bool InputText(const QString &prompt, QString &text, QWidget *owner = nullptr);
// The yes/no form re-captioned "OK" and "Cancel"; true on OK.
bool AskOkCancel(const QString &text, QWidget *owner = nullptr);

// Opens a web address as typed (platform::OpenAddress) and says what went
// wrong: "Invalid website." for text that is no web address, and that no web
// browser could be started when the desktop could not open a good one. True
// when it was opened, or is to be once the mouse button that asked for it is
// up (the message then comes when the desktop fails).
bool OpenWebsite(const QString &address, QWidget *owner = nullptr);
// Opens a file the program wrote (platform::OpenWrittenFile); when no program
// could be started for it, says so. True when it was opened.
bool OpenWrittenFileOrSay(const QString &path, QWidget *owner = nullptr);
// F1 of a window: opens its help page (platform::OpenHelpPage), from the help
// folder beside the database or else the one that comes with the program. A
// page found nowhere opens nothing and says nothing; a page the desktop could
// not open gets the message of OpenWebsite. True when it was opened.
bool OpenHelp(const QString &page, QWidget *owner = nullptr);

// Shows the form modally and returns its modal result.
int RunModal(QDialog &form);
// Replaces how RunModal shows a form (nullptr: exec()); returns the previous way.
using ModalRunner = std::function<int(QDialog &form)>;
ModalRunner SetModalRunner(ModalRunner runner);

// The dialog seam's service built on the forms above. Information messages,
// questions and inputs use the forms; warnings, errors, file and font choices
// use the platform's plain boxes.
class FormDialogs : public platform::DialogService {
public:
    void ShowMessage(const QString &text, platform::MessageKind kind, const QString &caption,
                     QWidget *owner) override;
    bool AskQuestion(const QString &text, const QString &caption, QWidget *owner) override;
    bool AskText(const QString &prompt, QString &text, const QString &caption, QWidget *owner) override;
    QString PickFile(const platform::FileRequest &request, QWidget *owner) override;
    bool PickFont(platform::FontChoice &choice, QWidget *owner) override;
    void ShowError(const QString &text, QWidget *owner) override;
    // The information message with its Details area.
    void ShowDetailed(const QString &text, const QString &details, QWidget *owner);

private:
    platform::PlainDialogs plain_;
    QString details_;  // for the next message form, from ShowDetailed
};

// Makes FormDialogs the seam's service for the rest of the run.
void InstallFormDialogs();
