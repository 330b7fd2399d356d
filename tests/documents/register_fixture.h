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

#include <QDir>
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

inline const auto* const kRegisterEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment([] {
    setenv("TZ", "UTC", 1);
    tzset();
}));
