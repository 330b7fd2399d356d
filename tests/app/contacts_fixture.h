// What the tests of the contact editor and the contact actions share: the main
// window started on a fresh database, modal forms driven by scripted steps,
// and helpers that store and read back contacts, categories and cheques.
#pragma once

#include "mainwindow_fixture.h"

#include "app/customeractions.h"
#include "app/editor.h"
#include "platform/printer.h"
#include "scripted_forms.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <functional>
#include <vector>

// A stored contact, copied out of the database.
struct StoredCustomer {
    oid_t oid = 0;
    int id = 0;
    std::string name, email, telephone, remark, person, address1;
    float amount = 0;
    oid_t category = 0;
    std::size_t cardBytes = 0;
};

// Shows the window and waits until it is the active one.
inline bool activate(QWidget& window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// Scripted boxes and file dialogs that also come and go on the screen as the
// desktop's may: a window takes the focus and closes, leaving no window
// active (the offscreen platform would give the focus back to a box's owner,
// which some window managers do not).
class ShownDialogs : public platform::ScriptedDialogs {
public:
    QString PickFile(const platform::FileRequest& request, QWidget* owner) override
    {
        comeAndGo(owner);
        return ScriptedDialogs::PickFile(request, owner);
    }
    bool AskQuestion(const QString& text, const QString& caption, QWidget* owner) override
    {
        comeAndGo(owner);
        return ScriptedDialogs::AskQuestion(text, caption, owner);
    }

private:
    static void comeAndGo(QWidget*)
    {
        QDialog box;
        EXPECT_TRUE(activate(box));
    }
};

class ContactsTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        SetModalRunner([this](QDialog& form) { return runStep(form); });
        ASSERT_EQ(start(), -1);
    }
    void TearDown() override
    {
        SetCheckFault(nullptr);
        EXPECT_TRUE(steps.empty()) << steps.size() << " scripted forms were not shown";
        MainWindowTest::TearDown();
    }

    // The next modal form is the editor: `step` fills it and clicks (Save,
    // Cancel, ...). The form's result is what the caller sees.
    void onEditor(std::function<void(TMainForm&)> step)
    {
        steps.push_back([step](QDialog& form) {
            auto* editor = dynamic_cast<TMainForm*>(&form);
            ASSERT_NE(editor, nullptr) << "expected the editor, got " << form.windowTitle().toStdString();
            step(*editor);
        });
    }
    // The next editor is saved after `fill` has typed into it.
    void saveEditor(std::function<void(TMainForm&)> fill)
    {
        onEditor([fill](TMainForm& e) {
            fill(e);
            e.cSave->click();
        });
    }
    void cancelEditor()
    {
        onEditor([](TMainForm& e) { e.cCancel->click(); });
    }

    int runStep(QDialog& form)
    {
        ++formsShown;
        return RunScriptedStep(steps, form);
    }

    static oid_t addCategory(const char* name)
    {
        Category c;
        c.name = name;
        const oid_t oid = insert(c).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }
    static oid_t addCustomer(int id, const char* name, const char* email = "", oid_t category = 0, float amount = 0)
    {
        Customer c;
        c.id = id;
        c.name = name;
        c.email = email;
        c.amount = amount;
        c.category = dbReference<Category>(category);
        const oid_t oid = insert(c).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }
    static oid_t addCheque(oid_t customer, const char* number)
    {
        Cheque q;
        q.chequeNo = number;
        q.customer = dbReference<Customer>(customer);
        q.amount = 10;
        const oid_t oid = insert(q).getOid();
        EXPECT_TRUE(database.commit());
        return oid;
    }

    // The bytes of every backup archive in the working folder, by name.
    static std::map<QString, QByteArray> archiveBytes() { return filesIn(".", {"*.zbf"}); }

    // Every stored contact, ordered by ID.
    static std::vector<StoredCustomer> customers()
    {
        std::vector<StoredCustomer> out;
        dbCursor<Customer> c;
        dbQuery byId("order by id");
        if (c.select(byId) > 0) {
            do {
                StoredCustomer s;
                s.oid = c.currentId().getOid();
                s.id = c->id;
                auto text = [](const char* p) { return std::string(p ? p : ""); };
                s.name = text(c->name);
                s.email = text(c->email);
                s.telephone = text(c->telephone);
                s.remark = text(c->remark);
                s.person = text(c->person);
                s.address1 = text(c->address1);
                s.amount = c->amount;
                s.category = c->category.getOid();
                s.cardBytes = c->card.length();
                out.push_back(s);
            } while (c.next());
        }
        database.commit();
        return out;
    }
    static std::vector<std::string> categoryNames()
    {
        std::vector<std::string> out;
        for (const CategoryEntry& e : CategoriesByName())
            out.push_back(e.name.toStdString());
        database.commit();
        return out;
    }
    static std::size_t chequeCount()
    {
        dbCursor<Cheque> q;
        const std::size_t n = q.select();
        database.commit();
        return n;
    }

    // The grid row that lists the contact, 0 when none.
    int rowOf(oid_t oid) const
    {
        for (int r = 1; r < window->grid->RowCount(); ++r)
            if (window->RowOid(r) == oid)
                return r;
        return 0;
    }
    void selectOnly(std::initializer_list<oid_t> oids)
    {
        window->grid->ClearRowSelect();
        for (oid_t oid : oids) {
            const int r = rowOf(oid);
            ASSERT_GT(r, 0);
            window->grid->SetRowSelect(r, true);
        }
    }
    QStringList entries(const QComboBox* box) const
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }

    std::deque<FormStep> steps;
    int formsShown = 0;
};

// The same, with every print job written as a PDF file into `out`, at
// `resolution` (a fixture may set it in its constructor).
class PrintingContactsTest : public ContactsTest {
protected:
    void SetUp() override
    {
        platform::PdfPrinterSetup setup;
        setup.folder = out.path();
        setup.resolution = resolution;
        pdf = &platform::UsePdfPrinter(setup);
        ContactsTest::SetUp();
    }
    void TearDown() override
    {
        ContactsTest::TearDown();
        platform::UseNoPrinter();
    }
    int resolution = 300;
    QTemporaryDir out;
    platform::PdfPrinter* pdf = nullptr;
};
