#include "appcore/namelist.h"

QString ListOfNames(const QStringList &names, qsizetype told)
{
    if (names.size() > told)
        return names.first(told).join(QStringLiteral(", ")) + QStringLiteral(" and %1 more").arg(names.size() - told);
    if (names.size() < 2)
        return names.join(QString());
    return names.first(names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}
