// Date and time pictures in the class library's letters.
#include "platform/datepicture.h"

#include <gtest/gtest.h>

namespace {

TEST(DatePicture, LettersMinutesAndQuotes)
{
    const QDateTime when(QDate(2026, 3, 7), QTime(14, 5, 9, 42));
    const struct {
        const char* picture;
        const char* text;
    } cases[] = {
        {"dd/mm/yyyy", "07/03/2026"},
        {"d/m/yy", "7/3/26"},
        {"hh:nn", "14:05"},
        {"hh:mm:ss", "14:05:09"},      // m after the hour is the minute
        {"h:nn am/pm", "2:05 pm"},
        {"ddd d mmm, dddd mmmm", "Sat 7 Mar, Saturday March"},
        {"'mm' \"yy\" zzz", "mm yy 042"},
        {"YYYY-MM-DD", "2026-03-07"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::FormatDatePicture(QString::fromLatin1(c.picture), when), QString::fromLatin1(c.text))
            << c.picture;
    EXPECT_EQ(platform::FormatDatePicture(QString(), when), QStringLiteral("07/03/2026 14:05:09"));
}

}  // namespace
