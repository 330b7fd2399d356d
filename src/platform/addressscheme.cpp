#include "platform/addressscheme.h"

namespace platform {

bool IsOpenedScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp") ||
           scheme == QLatin1String("mailto");
}

QString AddressScheme(const QString& text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon <= 0) return {};
    const QString head = text.left(colon);
    if (!head[0].isLetter()) return {};
    for (QChar c : head)
        if (!(c.isLetterOrNumber() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == QLatin1Char('.')))
            return {};
    // "host:port" has digits right after the colon and no "//".
    if (head.contains(QLatin1Char('.')) && !text.mid(colon + 1).startsWith(QLatin1String("//"))) return {};
    return head.toLower();
}

}  // namespace platform
