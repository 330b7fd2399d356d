#include "platform/dialogs.h"

#include "platform/accessibility.h"
#include "platform/desktopfocus.h"
#include "platform/startfolder.h"

#include <QApplication>
#include <QColorDialog>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace platform {

namespace {

PlainDialogs& plainDialogs()
{
    static PlainDialogs plain;
    return plain;
}

DialogService* g_current = nullptr;
QString g_title = QStringLiteral("Zarvo Cheque Printing System");
int g_paintDepth = 0;

QString captionOr(const QString& caption) { return caption.isEmpty() ? g_title : caption; }

// Shows a message or error once no paint event runs any more.
void deferUntilPainted(std::function<void()> show, QWidget* owner)
{
    QPointer<QWidget> guard(owner);
    const bool hadOwner = owner != nullptr;
    QTimer::singleShot(0, [show = std::move(show), guard, hadOwner] {
        if (hadOwner && !guard) return;  // the window went away meanwhile
        show();
    });
}

// The owner a box is shown over: the nearest window up the chain that is
// shown. A box asked for by a window not yet shown (a message at start,
// before the main window; an unshown form's report) stands over no window,
// in the middle of the screen, and not where that hidden window would lie.
QWidget* shownOwner(QWidget* owner)
{
    while (owner && !owner->window()->isVisible())
        owner = owner->window()->parentWidget();
    return owner;
}

// A box asked for at once after another box or window closed (a file
// dialog, a question) over the same window waits until that window is
// active again, the closed one gone, for a moment at most: screen readers,
// still busy with the window that went, pass over a box shown before that,
// and a key meant for that window could answer it unread. The user's keys
// wait meanwhile. A user gone to another application does not hold it up.
void awaitWindowBack(QWidget* owner)
{
    QDeadlineTimer until;
    const QPointer<QWidget> window = TakeWindowComingBack(until);
    if (!window || (owner && owner->window() != window)) return;
    const auto back = [&window] {
        if (!window || !window->isVisible()) return true;
        switch (DesktopFocusFor(window)) {
        case DesktopFocus::Elsewhere: return true;
        case DesktopFocus::Nowhere: return false;
        case DesktopFocus::OnWindow:
        case DesktopFocus::Unknown: break;
        }
        return QApplication::activeWindow() == window;
    };
    if (back()) return;
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (back() || until.hasExpired()) loop.quit();
    });
    look.start(20);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Around each box of the seam: it waits for its window (above), and gives
// the focus back once the box has closed.
class AwaitedWindow {
protected:
    explicit AwaitedWindow(QWidget* owner) { awaitWindowBack(shownOwner(owner)); }
};
class BoxScope : AwaitedWindow {
public:
    explicit BoxScope(QWidget* owner) : AwaitedWindow(owner), back_(owner) {}

private:
    FocusReturn back_;
};

// A message box; its whole text is also its accessible description, which
// screen readers read with the box (they pass over short labels in a box).
int runBox(QMessageBox::Icon icon, const QString& caption, const QString& text, QMessageBox::StandardButtons buttons,
           QWidget* owner)
{
    const QString lines = LinesForDisplay(text);
    QMessageBox box(icon, caption, lines, buttons, owner);
    box.setTextFormat(Qt::PlainText);  // texts carry typed names and paths
    box.setAccessibleDescription(lines);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        MarkBoxMessage(label);
    return box.exec();
}

// An input box with its caption and prompt; the prompt is read with the box too.
void askIn(QInputDialog& box, const QString& caption, const QString& prompt)
{
    box.setWindowTitle(captionOr(caption));
    box.setLabelText(prompt);
    box.setAccessibleDescription(prompt);
}

}  // namespace

DialogService::~DialogService() = default;

DialogService& Dialogs() { return g_current ? *g_current : plainDialogs(); }

DialogService* SetDialogs(DialogService* service)
{
    DialogService* previous = g_current;
    g_current = service;
    return previous;
}

QString ProgramTitle() { return g_title; }
void SetProgramTitle(const QString& title) { g_title = title; }

PaintScope::PaintScope() { ++g_paintDepth; }
PaintScope::~PaintScope() { --g_paintDepth; }
bool PaintScope::Active() { return g_paintDepth > 0; }

void ShowMessage(const QString& text, QWidget* owner, MessageKind kind, const QString& caption)
{
    if (PaintScope::Active()) {
        deferUntilPainted([=] {
            const BoxScope box(owner);
            Dialogs().ShowMessage(text, kind, caption, shownOwner(owner));
        }, owner);
        return;
    }
    const BoxScope box(owner);
    Dialogs().ShowMessage(text, kind, caption, shownOwner(owner));
}

bool AskQuestion(const QString& text, QWidget* owner, const QString& caption)
{
    if (PaintScope::Active()) return false;
    const BoxScope box(owner);
    return Dialogs().AskQuestion(text, caption, shownOwner(owner));
}

bool AskText(const QString& prompt, QString& text, QWidget* owner, const QString& caption)
{
    if (PaintScope::Active()) return false;
    const BoxScope box(owner);
    return Dialogs().AskText(prompt, text, caption, shownOwner(owner));
}

QString PickFile(const FileRequest& request, QWidget* owner)
{
    if (PaintScope::Active()) return {};
    const BoxScope box(owner);
    if (!request.directory.isEmpty()) return Dialogs().PickFile(request, shownOwner(owner));
    FileRequest opened = request;
    opened.directory = FileRequestFolder();
    const QString path = Dialogs().PickFile(opened, shownOwner(owner));
    if (!path.isEmpty())
        SetLastPickedFolder(request.mode == FileRequest::Directory ? path : QFileInfo(path).absolutePath());
    return path;
}

bool PickFont(FontChoice& choice, QWidget* owner)
{
    if (PaintScope::Active()) return false;
    const BoxScope box(owner);
    return Dialogs().PickFont(choice, shownOwner(owner));
}

void ShowError(const QString& text, QWidget* owner)
{
    if (PaintScope::Active()) {
        deferUntilPainted([=] {
            const BoxScope box(owner);
            Dialogs().ShowError(text, shownOwner(owner));
        }, owner);
        return;
    }
    const BoxScope box(owner);
    Dialogs().ShowError(text, shownOwner(owner));
}

QString LinesForDisplay(const QString& text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

int ChooseItem(const QString& prompt, const QStringList& items, QWidget* owner, const QString& caption)
{
    if (PaintScope::Active() || items.isEmpty()) return -1;
    const BoxScope box(owner);
    const int index = Dialogs().ChooseItem(prompt, items, caption, shownOwner(owner));
    return index >= 0 && index < items.size() ? index : -1;
}

int DialogService::ChooseItem(const QString& prompt, const QStringList& items, const QString& caption,
                              QWidget* owner)
{
    QInputDialog box(owner);
    askIn(box, caption, prompt);
    box.setComboBoxItems(items);
    box.setComboBoxEditable(false);
    if (box.exec() != QDialog::Accepted) return -1;
    return items.indexOf(box.textValue());
}

// ---------------------------------------------------------------- PlainDialogs

void PlainDialogs::ShowMessage(const QString& text, MessageKind kind, const QString& caption, QWidget* owner)
{
    runBox(kind == MessageKind::Error     ? QMessageBox::Critical
           : kind == MessageKind::Warning ? QMessageBox::Warning
                                          : QMessageBox::Information,
           captionOr(caption), text, QMessageBox::Ok, owner);
}

bool PlainDialogs::AskQuestion(const QString& text, const QString& caption, QWidget* owner)
{
    return runBox(QMessageBox::Question, captionOr(caption), text, QMessageBox::Yes | QMessageBox::No, owner) ==
           QMessageBox::Yes;
}

bool PlainDialogs::AskText(const QString& prompt, QString& text, const QString& caption, QWidget* owner)
{
    QInputDialog box(owner);
    askIn(box, caption, prompt);
    box.setTextValue(text);
    if (box.exec() != QDialog::Accepted) return false;
    text = box.textValue();
    return true;
}

QString PlainDialogs::PickFile(const FileRequest& request, QWidget* owner)
{
    QFileDialog dialog(owner, request.caption, request.directory, request.filters.join(QStringLiteral(";;")));
    switch (request.mode) {
    case FileRequest::Open: dialog.setFileMode(QFileDialog::ExistingFile); break;
    case FileRequest::Save:
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
        break;
    case FileRequest::Directory: dialog.setFileMode(QFileDialog::Directory); break;
    }
    if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

bool PlainDialogs::PickFont(FontChoice& choice, QWidget* owner)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(QObject::tr("Font"));
    auto* fonts = new QFontDialog(choice.font, &dialog);
    fonts->setWindowFlags(Qt::Widget);
    fonts->setOptions(QFontDialog::NoButtons);
    // A family that is not installed opens on a substitute: unless the user
    // changes what is shown, the preset font is answered as it came.
    const QFont shown = fonts->currentFont();
    QColor color = choice.color;
    auto* colorButton = new QPushButton(QObject::tr("&Colour..."), &dialog);
    auto showColor = [&] {
        colorButton->setStyleSheet(QStringLiteral("QPushButton { color: %1 }").arg(color.name()));
    };
    showColor();
    QObject::connect(colorButton, &QPushButton::clicked, &dialog, [&] {
        const FocusReturn back(&dialog);
        const QColor picked = QColorDialog::getColor(color, &dialog);
        if (picked.isValid()) color = picked;
        showColor();
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(fonts);
    layout->addWidget(colorButton, 0, Qt::AlignLeft);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (fonts->currentFont() != shown) choice.font = fonts->currentFont();
    choice.color = color;
    return true;
}

void PlainDialogs::ShowError(const QString& text, QWidget* owner)
{
    runBox(QMessageBox::Critical, g_title, text, QMessageBox::Ok, owner);
}

// ---------------------------------------------------------------- ScriptedDialogs

ScriptedDialogs::ScriptedDialogs() : previous_(SetDialogs(this)) {}

ScriptedDialogs::~ScriptedDialogs() { SetDialogs(previous_); }

void ScriptedDialogs::ShowMessage(const QString& text, MessageKind kind, const QString& caption, QWidget*)
{
    shown.push_back({Shown::Message, text, captionOr(caption), kind});
}

bool ScriptedDialogs::AskQuestion(const QString& text, const QString& caption, QWidget*)
{
    shown.push_back({Shown::Question, text, captionOr(caption)});
    if (questions.empty()) {
        ++unscripted;
        return false;
    }
    const bool yes = questions.front();
    questions.pop_front();
    return yes;
}

bool ScriptedDialogs::AskText(const QString& prompt, QString& text, const QString& caption, QWidget*)
{
    shown.push_back({Shown::Input, prompt, captionOr(caption)});
    if (texts.empty()) {
        ++unscripted;
        return false;
    }
    std::optional<QString> entry = texts.front();
    texts.pop_front();
    if (!entry) return false;
    text = *entry;
    return true;
}

QString ScriptedDialogs::PickFile(const FileRequest& request, QWidget*)
{
    shown.push_back({Shown::File, request.caption, request.caption});
    fileRequests.push_back(request);
    if (files.empty()) {
        ++unscripted;
        return {};
    }
    QString path = files.front();
    files.pop_front();
    return path;
}

bool ScriptedDialogs::PickFont(FontChoice& choice, QWidget*)
{
    shown.push_back({Shown::Font, choice.font.family(), g_title});
    fontRequests.push_back(choice);
    if (fonts.empty()) {
        ++unscripted;
        return false;
    }
    std::optional<FontChoice> answer = fonts.front();
    fonts.pop_front();
    if (!answer) return false;
    choice = *answer;
    return true;
}

void ScriptedDialogs::ShowError(const QString& text, QWidget*)
{
    shown.push_back({Shown::Error, text, g_title, MessageKind::Error});
}

int ScriptedDialogs::ChooseItem(const QString& prompt, const QStringList& items, const QString& caption, QWidget*)
{
    shown.push_back({Shown::Choice, prompt, captionOr(caption), MessageKind::Information, items});
    if (choices.empty()) {
        ++unscripted;
        return -1;
    }
    const int index = choices.front();
    choices.pop_front();
    return index;
}

QStringList ScriptedDialogs::Messages() const
{
    QStringList out;
    for (const auto& s : shown)
        if (s.kind == Shown::Message || s.kind == Shown::Error) out << s.text;
    return out;
}

QStringList ScriptedDialogs::Questions() const
{
    QStringList out;
    for (const auto& s : shown)
        if (s.kind == Shown::Question) out << s.text;
    return out;
}

QStringList ScriptedDialogs::Errors() const
{
    QStringList out;
    for (const auto& s : shown)
        if (s.kind == Shown::Error) out << s.text;
    return out;
}

}  // namespace platform
