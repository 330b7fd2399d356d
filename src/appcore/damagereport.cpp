#include "appcore/damagereport.h"

#include "appcore/schema.h"
#include "platform/dialogs.h"

#include <QPointer>
#include <QWidget>
#include <QStringList>
#include <QTimer>

#include <utility>

namespace {

QPointer<QWidget> boxOwner;
QStringList waiting;  // engine texts of the operation running now

void showWaiting()
{
    const QStringList texts = std::exchange(waiting, {});
    if (!texts.isEmpty())
        platform::ShowMessage(QString(kDatabaseDamaged) + "\n" + texts.join("\n"), boxOwner,
                              platform::MessageKind::Error);
}

void heard(const std::string& text)
{
    const QString line = QString::fromUtf8(text.c_str());
    if (waiting.contains(line))
        return;
    if (waiting.isEmpty())
        QTimer::singleShot(0, &showWaiting);
    waiting << line;
}

}  // namespace

void ReportDatabaseDamage(QWidget* owner)
{
    boxOwner = owner;
    database.setDamageReporter(owner != nullptr ? &heard : nullptr);
}

void TellDatabaseDamage(const char* engineText)
{
    if (boxOwner != nullptr)
        heard(engineText);
}
