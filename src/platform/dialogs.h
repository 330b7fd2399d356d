// The one road by which the program tells the user something, asks a yes/no
// question, asks for a line of text, lets the user pick a file or one entry of
// a list, or shows the error box of an exception. Callers use the free
// functions below; they reach the current DialogService. The program installs
// its own service (its message and input forms) at start; until then
// PlainDialogs serves. Tests install a ScriptedDialogs, which answers from a
// queue and records what was shown, without running a modal loop.
//
// No dialog is ever opened while a paint event runs: a message or error asked
// for during painting is shown once painting is over, a question or input asked
// for then is answered "No"/cancelled.
//
// A dialog stands over the nearest window of its owner's chain that is shown;
// with none (a message at start, before the main window is shown) it stands
// in the middle of the screen. One asked for at once after another box or
// window (a file dialog) closed over that window is shown once the window is
// active again, a moment at most after: screen readers pass over a box shown
// while they are busy with the window that went. The user's keys wait
// meanwhile.
//
// A service's boxes carry their whole message, question or prompt as their
// accessible description too: screen readers read it with the box, where they
// pass over a label of fewer than three words.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>
#include <vector>

class QWidget;

namespace platform {

enum class MessageKind { Information, Warning, Error };

struct FileRequest {
    enum Mode { Open, Save, Directory };
    Mode mode = Open;
    QString caption;
    QString directory;        // start folder; empty: see platform/startfolder.h
    QString fileName;         // proposed name (Save)
    QStringList filters;      // e.g. "Pictures (*.bmp *.jpg)"; the first is preselected
    QString defaultSuffix;    // added on Save when the name has none, e.g. "xlsx"
    // Save: the dialog asks before taking the name of an existing file. Off
    // where the caller asks its own question, so that it is asked once.
    bool confirmOverwrite = true;
};

// A font and its colour, as a font request presets and answers them.
struct FontChoice {
    QFont font;
    QColor color = Qt::black;
};

class DialogService {
public:
    virtual ~DialogService();
    // A message with one button. An empty caption means the program's title.
    virtual void ShowMessage(const QString& text, MessageKind kind, const QString& caption, QWidget* owner) = 0;
    // A yes/no question; true on Yes, false on No or when the dialog is closed.
    virtual bool AskQuestion(const QString& text, const QString& caption, QWidget* owner) = 0;
    // One line of text; on confirm `text` receives the entry and the result is
    // true, otherwise `text` is unchanged. `text` comes in as the proposal.
    virtual bool AskText(const QString& prompt, QString& text, const QString& caption, QWidget* owner) = 0;
    // The chosen path, empty when cancelled.
    virtual QString PickFile(const FileRequest& request, QWidget* owner) = 0;
    // A font and colour, preset with `choice`; true on OK with `choice` set to
    // the pick, false (choice unchanged) when cancelled.
    virtual bool PickFont(FontChoice& choice, QWidget* owner) = 0;
    // The error box for an exception that reached the event loop.
    virtual void ShowError(const QString& text, QWidget* owner) = 0;
    // One entry of a list: its index, or -1 when cancelled or the list is
    // empty. The default is Qt's item box.
    virtual int ChooseItem(const QString& prompt, const QStringList& items, const QString& caption, QWidget* owner);
};

// The current service (PlainDialogs until another is installed).
DialogService& Dialogs();
// Installs a service (not owned; nullptr restores the plain one) and returns the previous one.
DialogService* SetDialogs(DialogService* service);
// The title used for an empty caption ("Zarvo Cheque Printing System" in the program).
QString ProgramTitle();
void SetProgramTitle(const QString& title);

// The front of the seam, with the painting rule above.
void ShowMessage(const QString& text, QWidget* owner = nullptr, MessageKind kind = MessageKind::Information,
                 const QString& caption = {});
bool AskQuestion(const QString& text, QWidget* owner = nullptr, const QString& caption = {});
bool AskText(const QString& prompt, QString& text, QWidget* owner = nullptr, const QString& caption = {});
QString PickFile(const FileRequest& request, QWidget* owner = nullptr);
bool PickFont(FontChoice& choice, QWidget* owner = nullptr);
void ShowError(const QString& text, QWidget* owner = nullptr);
int ChooseItem(const QString& prompt, const QStringList& items, QWidget* owner = nullptr, const QString& caption = {});

// A message text as a box shows it: a carriage return, alone or before a line
// feed, breaks the line (texts of the page suite carry "\r\r" for a blank line).
QString LinesForDisplay(const QString& text);

// Counts paint events in progress (StringGrid and any widget that draws through
// a Canvas mark theirs); the seam defers dialogs while it is above zero.
class PaintScope {
public:
    PaintScope();
    ~PaintScope();
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    static bool Active();
};

// Qt's standard boxes: QMessageBox, QInputDialog, QFileDialog, and QFontDialog
// beside a colour button.
class PlainDialogs : public DialogService {
public:
    void ShowMessage(const QString& text, MessageKind kind, const QString& caption, QWidget* owner) override;
    bool AskQuestion(const QString& text, const QString& caption, QWidget* owner) override;
    bool AskText(const QString& prompt, QString& text, const QString& caption, QWidget* owner) override;
    QString PickFile(const FileRequest& request, QWidget* owner) override;
    bool PickFont(FontChoice& choice, QWidget* owner) override;
    void ShowError(const QString& text, QWidget* owner) override;
};

// For tests: installs itself on construction and puts the previous service back
// on destruction. Answers come from queues; an unscripted question is answered
// No, an unscripted input, file or font pick or list choice is cancelled, and
// each such case is counted in `unscripted`.
class ScriptedDialogs : public DialogService {
public:
    struct Shown {
        enum Kind { Message, Question, Input, File, Error, Font, Choice } kind;
        QString text;      // message, question, prompt, error text, file caption or preset font family
        QString caption;
        MessageKind messageKind = MessageKind::Information;
        QStringList items = {};  // the entries of a list choice
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;

    void AnswerQuestion(bool yes) { questions.push_back(yes); }
    void AnswerText(std::optional<QString> entry) { texts.push_back(std::move(entry)); }
    void AnswerFile(QString path) { files.push_back(std::move(path)); }
    // nullopt: the font request is cancelled.
    void AnswerFont(std::optional<FontChoice> choice) { fonts.push_back(std::move(choice)); }
    void AnswerChoice(int index) { choices.push_back(index); }  // -1: cancel

    // Everything shown, in order, and shortcuts into it.
    std::vector<Shown> shown;
    QStringList Messages() const;   // texts of messages and error boxes
    QStringList Questions() const;
    QStringList Errors() const;
    std::vector<FileRequest> fileRequests;
    std::vector<FontChoice> fontRequests;  // the presets, in order
    int unscripted = 0;

    std::deque<bool> questions;
    std::deque<std::optional<QString>> texts;
    std::deque<QString> files;
    std::deque<std::optional<FontChoice>> fonts;
    std::deque<int> choices;

    void ShowMessage(const QString& text, MessageKind kind, const QString& caption, QWidget* owner) override;
    bool AskQuestion(const QString& text, const QString& caption, QWidget* owner) override;
    bool AskText(const QString& prompt, QString& text, const QString& caption, QWidget* owner) override;
    QString PickFile(const FileRequest& request, QWidget* owner) override;
    bool PickFont(FontChoice& choice, QWidget* owner) override;
    void ShowError(const QString& text, QWidget* owner) override;
    int ChooseItem(const QString& prompt, const QStringList& items, const QString& caption, QWidget* owner) override;

private:
    DialogService* previous_;
};

}  // namespace platform
