#include "appcore/dialogs.h"

#include "appcore/schema.h"
#include "platform/accessibility.h"
#include "platform/shell.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

#include <functional>
#include <memory>
#include <utility>

namespace {

ModalRunner &modalRunner()
{
    static ModalRunner runner;
    return runner;
}

// Both forms: a message label across the top and two buttons with their
// F10 / F12 actions.
constexpr int kFormWidth = 490;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 30;
// The message form: the message's place at its smallest, and the rest of
// the form around it (margins and the buttons' row).
constexpr int kMargin = 12;
constexpr int kMessageHeight = 84;
constexpr int kAroundMessage = 150 - kMessageHeight;
// What a window's frame may take of the screen's height.
constexpr int kFrameAllowance = 48;

void addButtons(QDialog &form, int top, QPushButton *&yes, QPushButton *&no, QAction *&yesAction,
                QAction *&noAction, const QString &yesText, const QString &noText)
{
    yes = new QPushButton(yesText, &form);
    no = new QPushButton(noText, &form);
    yes->setGeometry(145, top, kButtonWidth, kButtonHeight);
    no->setGeometry(255, top, kButtonWidth, kButtonHeight);
    // Enter belongs to the form's own handling, not to a default button.
    yes->setAutoDefault(false);
    no->setAutoDefault(false);
    yesAction = new QAction(&form);
    noAction = new QAction(&form);
    yesAction->setShortcut(Qt::Key_F10);
    noAction->setShortcut(Qt::Key_F12);
    yesAction->setShortcutContext(Qt::WindowShortcut);
    noAction->setShortcutContext(Qt::WindowShortcut);
    form.addAction(yesAction);
    form.addAction(noAction);
    QObject::connect(yes, &QPushButton::clicked, yesAction, &QAction::trigger);
    QObject::connect(no, &QPushButton::clicked, noAction, &QAction::trigger);
    QObject::connect(noAction, &QAction::triggered, &form, [&form] { form.done(2); });
}

// The text with a break allowed after every character of each word that is
// wider than the line (a long path), so that wrapping breaks such a word
// anywhere instead of cutting it off at the edge.
QString breakableAnywhere(const QString &text, const QFontMetrics &metrics, int width)
{
    QString out;
    out.reserve(text.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text[i].isSpace())
            continue;
        const QString word = text.mid(start, i - start);
        if (metrics.horizontalAdvance(word) <= width) {
            out += word;
        } else {
            for (qsizetype c = 0; c < word.size(); ++c) {
                out += word[c];
                if (c + 1 < word.size() && !word[c].isHighSurrogate())
                    out += QChar(0x200B);  // zero width space: a break, nothing drawn or read
            }
        }
        if (i < text.size())
            out += text[i];
        start = i + 1;
    }
    return out;
}

// What the user is told when the desktop could not show a web page.
QString noBrowserMessage(const QString &what)
{
    return "No web browser could be started to open " + what + ".";
}

}  // namespace

TYesNoForm::TYesNoForm(QWidget *owner)
    : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Message Box"));
    setFixedSize(kFormWidth, kMessageHeight + kAroundMessage);
    msg = new QLabel(this);
    platform::MarkBoxMessage(msg);  // the form's description reads it
    msg->setTextFormat(Qt::PlainText);  // messages carry typed names and paths
    msg->setGeometry(kMargin, kMargin, kFormWidth - 2 * kMargin, kMessageHeight);
    msg->setAlignment(Qt::AlignCenter);
    msg->setWordWrap(true);
    QFont bold = msg->font();
    bold.setBold(true);
    msg->setFont(bold);
    addButtons(*this, kMargin + kMessageHeight + kMargin, YesButton, NoButton, YesAction, NoAction,
               QStringLiteral("&Yes F10"), QStringLiteral("&No F12"));
    connect(YesAction, &QAction::triggered, this, [this] { done(1); });
}

void TYesNoForm::keyPressEvent(QKeyEvent *event)
{
    // Enter answers with the button that has the focus, else with Yes: no
    // button is made the default, which would look as if it had the focus
    const bool enter = (!event->modifiers() && event->key() == Qt::Key_Return) ||
                       ((!event->modifiers() || event->modifiers() == Qt::KeypadModifier) &&
                        event->key() == Qt::Key_Enter);
    if (!enter) {
        QDialog::keyPressEvent(event);  // Escape closes the form as its frame does
        return;
    }
    auto *focused = qobject_cast<QPushButton *>(focusWidget());
    (focused && focused->isVisible() ? focused : YesButton)->click();
}

void TYesNoForm::setMessage(const QString &text)
{
    const QString lines = platform::LinesForDisplay(text);
    msg->setAccessibleName(lines);  // read without the breaks added below
    // the whole message read with the box, a short one too (readers pass
    // over a box's labels of fewer than three words)
    setAccessibleDescription(lines);
    const QFontMetrics metrics(msg->font());
    const int width = kFormWidth - 2 * kMargin;
    msg->setText(breakableAnywhere(lines, metrics, width));
    int height = std::max(kMessageHeight, msg->heightForWidth(width));
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const int room = (screen ? screen->availableGeometry().height() : 600) - kFrameAllowance - kAroundMessage;
    if (height > room) {
        // taller than the screen: the message scrolls, to its end
        auto *area = new QScrollArea(this);
        area->setFrameShape(QFrame::NoFrame);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        area->setGeometry(kMargin, kMargin, width, room);
        const int inner = width - area->verticalScrollBar()->sizeHint().width();
        msg->setText(breakableAnywhere(lines, metrics, inner));
        msg->resize(inner, msg->heightForWidth(inner));
        area->setWidget(msg);
        height = room;
    } else {
        msg->setGeometry(kMargin, kMargin, width, height);
    }
    const int top = kMargin + height + kMargin;
    YesButton->move(YesButton->x(), top);
    NoButton->move(NoButton->x(), top);
    setFixedSize(kFormWidth, height + kAroundMessage);
}

void TYesNoForm::setDetails(const QString &text)
{
    auto *caption = new QLabel(QStringLiteral("&Details:"), this);
    details = new QPlainTextEdit(this);
    details->setReadOnly(true);
    details->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // long lines wrap
    details->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    details->setPlainText(text);
    platform::TieLabel(caption, details);
    const int width = kFormWidth - 2 * kMargin;
    const int top = YesButton->y();
    caption->setGeometry(kMargin, top, width, caption->sizeHint().height());
    // eight lines, or what the screen leaves, but never fewer than three
    const QFontMetrics metrics(details->font());
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const int room = (screen ? screen->availableGeometry().height() : 600) - kFrameAllowance - height() -
                     caption->height() - kMargin;
    const int frame = 2 * details->frameWidth() + 8;
    const int lines = std::clamp((room - frame) / metrics.lineSpacing(), 3, 8);
    details->setGeometry(kMargin, caption->geometry().bottom() + 1, width, lines * metrics.lineSpacing() + frame);
    const int buttons = details->geometry().bottom() + 1 + kMargin;
    YesButton->move(YesButton->x(), buttons);
    NoButton->move(NoButton->x(), buttons);
    setFixedSize(kFormWidth, height() + buttons - top);
}

TInputForm::TInputForm(QWidget *owner)
    : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Enter Box"));
    setFixedSize(kFormWidth, 130);
    msg = new QLabel(this);
    msg->setTextFormat(Qt::PlainText);
    msg->setGeometry(12, 10, kFormWidth - 24, 24);
    inputText = new QLineEdit(this);
    inputText->setGeometry(12, 40, kFormWidth - 24, 26);
    msg->setBuddy(inputText);  // the prompt names the entry; it is set per call
    addButtons(*this, 84, YesButton, NoButton, YesAction, NoAction, QStringLiteral("&Okay F10"),
               QStringLiteral("&Cancel F12"));
    connect(YesAction, &QAction::triggered, this, &TInputForm::YesActionExecute);
    connect(inputText, &QLineEdit::returnPressed, this, &TInputForm::YesActionExecute);
}

void TInputForm::setPrompt(const QString &prompt)
{
    msg->setText(prompt);
    // read once, as the name of the field the focus is in: not also as the
    // box's description
    inputText->setAccessibleName(platform::SpokenCaption(prompt));
}

void TInputForm::YesActionExecute()
{
    if (!inputText->text().trimmed().isEmpty())
        done(1);
}

namespace {

// Shows `message` to `owner` (when it is still there) once the desktop could
// not open something; an open that waits for a mouse button to come up
// finds out after the call that asked for it.
std::function<void()> sayOnFailure(const QString &message, QWidget *owner)
{
    return [message, window = QPointer<QWidget>(owner)] { ShowInfo(message, window); };
}

}  // namespace

bool OpenWebsite(const QString &address, QWidget *owner)
{
    if (platform::AddressUrl(address).isEmpty()) {
        ShowInfo(QStringLiteral("Invalid website."), owner);
        return false;
    }
    return platform::OpenAddress(address, sayOnFailure(noBrowserMessage(address.trimmed()), owner));
}

bool OpenHelp(const QString &page, QWidget *owner)
{
    // the folder of the database; before it is open, the folder it will be opened in
    const std::string &dir = database.getDirectory();
    const QString base = dir.empty() ? QDir::currentPath() : QString::fromStdString(dir);
    const QString path = platform::HelpPagePath(base, page);
    return platform::OpenHelpPage(base, page, sayOnFailure(noBrowserMessage(path), owner));
}

bool OpenWrittenFileOrSay(const QString &path, QWidget *owner)
{
    const QString message = "No program could be started to open " + path + ".";
    auto told = std::make_shared<bool>(false);
    const std::function<void()> say = sayOnFailure(message, owner);
    if (platform::OpenWrittenFile(path, [told, say] { *told = true; say(); }))
        return true;
    if (!*told)
        ShowInfo(message, owner);  // refused before the desktop was asked
    return false;
}

int RunModal(QDialog &form)
{
    const platform::FocusReturn back(form.parentWidget());
    const ModalRunner &runner = modalRunner();
    return runner ? runner(form) : form.exec();
}

ModalRunner SetModalRunner(ModalRunner runner)
{
    ModalRunner previous = std::move(modalRunner());
    modalRunner() = std::move(runner);
    return previous;
}

void ShowInfo(const QString &text, QWidget *owner)
{
    platform::ShowMessage(text, owner);
}

void ShowInfo(const QString &text, const QString &details, QWidget *owner)
{
    if (auto *forms = dynamic_cast<FormDialogs *>(&platform::Dialogs()))
        forms->ShowDetailed(text, details, owner);
    else
        platform::ShowMessage(text, owner);
}

bool AskYesNo(const QString &text, QWidget *owner)
{
    return platform::AskQuestion(text, owner);
}

bool InputText(const QString &prompt, QString &text, QWidget *owner)
{
    return platform::AskText(prompt, text, owner);
}

bool AskOkCancel(const QString &text, QWidget *owner)
{
    TYesNoForm form(owner);
    form.setMessage(text);
    form.NoButton->setText(QStringLiteral("Cancel"));
    form.YesButton->setText(QStringLiteral("OK"));
    return RunModal(form) == 1;
}

void FormDialogs::ShowMessage(const QString &text, platform::MessageKind kind, const QString &caption,
                              QWidget *owner)
{
    if (kind != platform::MessageKind::Information) {
        plain_.ShowMessage(text, kind, caption, owner);
        return;
    }
    TYesNoForm form(owner);
    if (!caption.isEmpty())
        form.setWindowTitle(caption);
    form.setMessage(text);
    if (!details_.isEmpty())
        form.setDetails(std::exchange(details_, QString()));
    form.NoButton->hide();
    form.YesButton->setText(QStringLiteral("&Okay"));
    form.YesButton->move(200, form.YesButton->y());
    RunModal(form);
}

void FormDialogs::ShowDetailed(const QString &text, const QString &details, QWidget *owner)
{
    details_ = details;
    platform::ShowMessage(text, owner);  // through the seam, as every box
}

bool FormDialogs::AskQuestion(const QString &text, const QString &caption, QWidget *owner)
{
    TYesNoForm form(owner);
    if (!caption.isEmpty())
        form.setWindowTitle(caption);
    form.setMessage(text);
    return RunModal(form) == 1;
}

bool FormDialogs::AskText(const QString &prompt, QString &text, const QString &caption, QWidget *owner)
{
    TInputForm form(owner);
    if (!caption.isEmpty())
        form.setWindowTitle(caption);
    form.setPrompt(prompt);
    form.inputText->setText(text);
    if (RunModal(form) != 1)
        return false;
    text = form.inputText->text();
    return true;
}

QString FormDialogs::PickFile(const platform::FileRequest &request, QWidget *owner)
{
    return plain_.PickFile(request, owner);
}

bool FormDialogs::PickFont(platform::FontChoice &choice, QWidget *owner)
{
    return plain_.PickFont(choice, owner);
}

void FormDialogs::ShowError(const QString &text, QWidget *owner)
{
    plain_.ShowError(text, owner);
}

void InstallFormDialogs()
{
    static FormDialogs service;
    platform::SetDialogs(&service);
}
