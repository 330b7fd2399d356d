// The main window's e-mail action and the contact editor's e-mail button
// open the e-mail window addressed to the chosen contacts.
#include "contacts_fixture.h"

#include "app/documentactions.h"
#include "documents/emailform.h"

namespace {

oid_t addContact(int id, const char* person, const char* email)
{
    Customer c;
    c.id = id;
    c.name = person;
    c.person = person;
    c.email = email;
    const oid_t oid = insert(c).getOid();
    EXPECT_TRUE(database.commit());
    return oid;
}

// A step that checks the e-mail window as the caller preset it and closes it.
FormStep expectMailWindow(const QString& mailTo, const QString& attention, bool bulk)
{
    return [=](QDialog& d) {
        auto* form = dynamic_cast<TEmailForm*>(&d);
        ASSERT_NE(form, nullptr) << d.windowTitle().toStdString();
        EXPECT_EQ(form->mailTo->text(), mailTo);
        EXPECT_EQ(form->attention->text(), attention);
        EXPECT_EQ(form->mailTo->isEnabled(), !bulk);
        EXPECT_EQ(form->attention->isEnabled(), !bulk);
        EXPECT_EQ(form->mainGrid != nullptr, bulk);
        form->cCancel->click();
    };
}

TEST_F(ContactsTest, EmailActionOpensTheWindowForTheSelection)
{
    const oid_t info = addContact(1, "Ivy", "info");
    const oid_t ann = addContact(2, "Ann", "a@x");
    const oid_t bob = addContact(3, "Bob", "b@x");
    window->RefreshGrid();

    window->grid->ClearRowSelect();
    emailActionExecute(*window);
    selectOnly({info});
    window->emailAction->trigger();
    EXPECT_EQ(dialogs.Messages(), (QStringList{"Please use the mouse to select the customer first.",
                                               "Invalid 'Email' address."}));

    selectOnly({ann});
    steps.push_back(expectMailWindow("Ann <a@x>", "Ann", false));
    window->emailAction->trigger();

    selectOnly({info, ann, bob});
    steps.push_back(expectMailWindow("To 3 customers", "Contact", true));
    window->emailAction->trigger();
    EXPECT_EQ(formsShown, 2);

    TMainForm editor(window.get());
    editor.cPerson->setText("Bob");
    editor.cEmail->setText("b@x");
    steps.push_back(expectMailWindow("Bob <b@x>", "Bob", false));
    editor.cMailButton->click();
    EXPECT_EQ(formsShown, 3);
}

}  // namespace
