// Names listed in a message: "a", "a and b", "a, b and c", and past a limit
// the first few and how many more ("a, b, c and 2 more"). The caller quotes
// names that may hold commas themselves.
#pragma once

#include <QString>
#include <QStringList>

QString ListOfNames(const QStringList &names, qsizetype told);
