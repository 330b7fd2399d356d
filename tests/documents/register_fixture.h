// What the register, report and list print tests share: a scratch database in
// a scratch folder, printing to PDF files there, scripted dialogs and modal
// forms driven by scripted steps, and helpers that store cheques and layouts.
#pragma once

#include "app_environment.h"
#include "appcore/dialogs.h"
#include "appcore/schema.h"
#include "documents/chequeregister.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "pdf_words.h"
#include "scratch_fixture.h"
#include "scripted_forms.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <deque>

inline void PrintTo(const QString& s, std::ostream* out) { *out << '"' << s.toStdString() << '"'; }

class RegisterTest : public ScratchDatabaseTest {
protected:
    RegisterTest() { pdfSetup.resolution = 300; }
    void SetUp() override
    {
        ScratchDatabaseTest::SetUp();
        SetModalRunner([this](QDialog& form) { return RunScriptedStep(steps, form); });
    }
    void TearDown() override
    {
        SetModalRunner(nullptr);
        EXPECT_TRUE(steps.empty()) << steps.size() << " scripted forms were not shown";
        ScratchDatabaseTest::TearDown();
        if (const char* tz = std::getenv("TZ"); tz && std::string(tz) != "UTC") {
            setenv("TZ", "UTC", 1);
            tzset();
        }
    }

    static oid_t addLayout(const char* name)
    {
        ChequeSetup s;
        s.name = name;
        const oid_t oid = insert(s).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }
    static oid_t addCheque(const char* number, double amount, std::int32_t stamp, oid_t layout = 0,
                           const char* payee = "Payee", const char* description = "")
    {
        Cheque q;
        q.chequeNo = number;
        q.amount = amount;
        q.transDate = dbDateTime(stamp);
        q.setup = dbReference<ChequeSetup>(layout);
        q.customerName = payee;
        q.description = description;
        const oid_t oid = insert(q).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }
    static std::int32_t at(int y, int m, int d, int hh = 12, int mm = 0, int ss = 0)
    {
        return *LocalStamp(QDate(y, m, d), QTime(hh, mm, ss));
    }
    static std::size_t cheques()
    {
        dbCursor<Cheque> q;
        const std::size_t n = q.select();
        database.commit();
        return n;
    }
    void setZone(const char* zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }

    std::deque<FormStep> steps;
};

// The system locale is read once at start, so a test of what dates look like
// runs itself again as a child per locale. In the first run this starts the
// children (the tests `filter` names) and gives false; in a child, true, and
// LocaleDate() is how 7 December 2026 reads there.
inline bool InEachLocale(const char* filter)
{
    if (!qEnvironmentVariableIsEmpty("QUILLET_LOCALE_DATE"))
        return true;
    const char* const runs[][2] = {{"C", "7 Dec 2026"}, {"en_US.UTF-8", "12/7/2026"}, {"de_DE.UTF-8", "07.12.2026"}};
    for (const auto& [locale, date] : runs) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", locale);
        env.insert("QUILLET_LOCALE_DATE", date);
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QString("--gtest_filter=") + filter});
        EXPECT_TRUE(child.waitForFinished(120000) && child.exitCode() == 0) << locale;
    }
    return false;
}
inline QString LocaleDate() { return qEnvironmentVariable("QUILLET_LOCALE_DATE"); }

inline const auto* const kRegisterEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment([] {
    setenv("TZ", "UTC", 1);
    tzset();
}));
