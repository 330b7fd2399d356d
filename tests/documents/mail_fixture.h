// What the e-mail window tests share: the program's application object, the
// database opened in a scratch folder (once per test program: the database
// remembers the folder of its first open), emptied mail settings, templates
// and contacts before each test, scripted dialogs, modal forms driven by
// scripted steps, a contact grid, and files to attach.
#pragma once

#include "appcore/dialogs.h"
#include "appcore/schema.h"
#include "documents/emailform.h"
#include "documents/mailinsertform.h"
#include "grid/listgrid.h"
#include "app_environment.h"
#include "platform/dialogs.h"
#include "scripted_forms.h"
#include "smtp_sink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>

inline const auto* const kMailEnvironment = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

inline void PrintTo(const QString& s, std::ostream* out) { *out << '"' << s.toStdString() << '"'; }

// The stored MailSetup, as texts.
struct StoredSetup {
    QString smtpServer, username, password, sender, subject, greetingHead, greetingTail, body, attachment;
    uint16_t port = 0;
    bool html = false;
    int records = 0;
};

class MailTest : public ::testing::Test {
protected:
    static QTemporaryDir& folder()
    {
        static QTemporaryDir dir;
        return dir;
    }
    void SetUp() override
    {
        if (!database.isOpen()) {
            QDir::setCurrent(folder().path());
            ASSERT_TRUE(database.open("Quillet"));
        }
        dbCursor<MailSetup>(dbCursorForUpdate).removeAll();
        dbCursor<Mail>(dbCursorForUpdate).removeAll();
        dbCursor<Customer>(dbCursorForUpdate).removeAll();
        ASSERT_TRUE(database.commit());
        SetModalRunner([this](QDialog& form) { return runStep(form); });
        grid = std::make_unique<grid::RIvuZuvuzoZuvu>();
        grid->SetColCount(12);
        grid->SetRowCount(1);
    }
    void TearDown() override
    {
        SetModalRunner(nullptr);
        EXPECT_TRUE(steps.empty()) << steps.size() << " scripted forms were not shown";
        database.commit();
    }

    // A window pointed at the sink, with short waits and a real sender.
    std::unique_ptr<TEmailForm> openForm(uint16_t port)
    {
        auto form = std::make_unique<TEmailForm>();
        form->smtpServer->setText("127.0.0.1");
        form->port->setText(QString::number(port));
        form->mailFrom->setText("Me <me@x>");
        form->timeouts = {300, 3, 1};
        form->retryPauseMs = 30;
        form->show();
        return form;
    }

    // The next modal form: `step` fills it and clicks.
    void onForm(FormStep step) { steps.push_back(std::move(step)); }
    int runStep(QDialog& form) { return RunScriptedStep(steps, form); }

    static StoredSetup storedSetup()
    {
        StoredSetup s;
        dbCursor<MailSetup> c;
        s.records = int(c.select());
        if (s.records > 0) {
            auto t = [](const char* p) { return QString::fromUtf8(p ? p : ""); };
            s = {t(c->smtpServer), t(c->username), t(c->password), t(c->sender),    t(c->subject),
                 t(c->greetingHead), t(c->greetingTail), t(c->body), t(c->attachment), uint16_t(c->port),
                 c->html, s.records};
        }
        database.commit();
        return s;
    }

    // A contact listed in the grid (object id in column 0), selected or not.
    void addContact(const char* person, const char* email, bool selected = true)
    {
        Customer c;
        c.name = person;
        c.person = person;
        c.email = email;
        const oid_t oid = insert(c).getOid();
        ASSERT_TRUE(database.commit());
        const int row = grid->RowCount();
        grid->SetRowCount(row + 1);
        grid->SetCells(0, row, std::to_string(oid));
        grid->SetCells(3, row, person);
        grid->SetCells(7, row, email);
        grid->SetRowSelect(row, selected);
    }

    // A file of `size` bytes in the scratch folder.
    QString makeFile(const QString& name, int size, char seed)
    {
        const QString path = files.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(size, 0);
        for (int i = 0; i < size; ++i)
            bytes[i] = char(seed + i * 31);
        f.write(bytes);
        return path;
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    platform::ScriptedDialogs dialogs;
    std::unique_ptr<grid::RIvuZuvuzoZuvu> grid;
    QTemporaryDir files;
    std::deque<FormStep> steps;
};
