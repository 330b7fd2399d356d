// Mail templates: added, edited and deleted by the record each list item names,
// and loaded into the e-mail window.
#include "mail_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

// A step that fills the template dialog and saves it.
FormStep fillTemplate(const QString& name, const QString& subject, bool html = false, QStringList files = {})
{
    return [=](QDialog& d) {
        auto& f = dynamic_cast<TMailInsertForm&>(d);
        EXPECT_EQ(f.windowTitle(), "Email Setting");
        f.name->setText(name);
        f.subject->setText(subject);
        f.greetingHead->setText("Hello ");
        f.greetingTail->setText("!");
        f.body->setPlainText(subject + " body\nline 2");
        f.html->setChecked(html);
        f.attachmentList->addItems(files);
        f.saveButton->click();
    };
}

QStringList names(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

QStringList storedSubjects()
{
    QStringList out;
    dbCursor<Mail> c;
    if (c.select() > 0) {
        do
            out << QString::fromUtf8(c->name) + "/" + QString::fromUtf8(c->subject);
        while (c.next());
    }
    database.commit();
    return out;
}

TEST_F(MailTest, ABlankNameIsRefused)
{
    TEmailForm form;
    onForm([](QDialog& d) {
        auto& f = dynamic_cast<TMailInsertForm&>(d);
        f.name->setText("   ");
        f.savelAction->trigger();
        EXPECT_TRUE(f.isVisible());
        f.name->setText("  Spaced");
        f.saveButton->click();
    });
    form.insertCategory->click();
    EXPECT_EQ(dialogs.Messages(), QStringList{"Please enter the Setting Name."});
    EXPECT_EQ(names(form.mailSetting), QStringList{"  Spaced"});
    EXPECT_EQ(storedSubjects(), QStringList{"  Spaced/"});
}

TEST_F(MailTest, TemplatesOfOneNameAreKeptApartByPlace)
{
    TEmailForm form;
    onForm(fillTemplate("Promo", "first"));
    onForm(fillTemplate("Promo", "second", true, {"/tmp/a.pdf", "/tmp/b.pdf"}));
    form.insertCategory->click();
    form.insertCategory->click();
    EXPECT_EQ(names(form.mailSetting), (QStringList{"Promo", "Promo"}));
    EXPECT_EQ(form.mailSetting->currentIndex(), 1);
    EXPECT_EQ(form.subject->text(), "second") << "a new template is loaded";

    form.mailSetting->setCurrentIndex(0);
    form.mailSettingChange(0);
    EXPECT_EQ(form.subject->text(), "first");
    EXPECT_EQ(form.greetingHead->text(), "Hello ");
    EXPECT_EQ(form.greetingTail->text(), "!");
    EXPECT_EQ(form.body->toPlainText(), "first body\nline 2");
    EXPECT_FALSE(form.html->isChecked());
    EXPECT_EQ(form.attachmentList->count(), 0);
    form.mailSettingChange(1);
    EXPECT_TRUE(form.html->isChecked());
    EXPECT_EQ(form.attachmentList->count(), 2);
    EXPECT_EQ(form.attachmentList->currentRow(), 0);

    form.mailSetting->setCurrentIndex(1);
    onForm([](QDialog& d) {
        auto& f = dynamic_cast<TMailInsertForm&>(d);
        EXPECT_EQ(f.subject->text(), "second");
        EXPECT_EQ(f.attachmentList->count(), 2);
        f.name->setText("Sale");
        f.subject->setText("edited");
        f.saveButton->click();
    });
    form.updateCategory->click();
    EXPECT_EQ(names(form.mailSetting), (QStringList{"Promo", "Sale"}));
    EXPECT_EQ(storedSubjects(), (QStringList{"Promo/first", "Sale/edited"}));
    EXPECT_EQ(form.subject->text(), "edited");

    onForm([](QDialog& d) {
        auto& f = dynamic_cast<TMailInsertForm&>(d);
        f.subject->setText("never stored");
        f.exitAction->trigger();
    });
    form.updateCategory->click();
    EXPECT_EQ(storedSubjects(), (QStringList{"Promo/first", "Sale/edited"}));

    form.mailSetting->setCurrentIndex(0);
    dialogs.AnswerQuestion(false);
    dialogs.AnswerQuestion(true);
    form.deleteCategory->click();
    form.deleteCategory->click();
    EXPECT_EQ(dialogs.Questions(), (QStringList{"Delete Setting 'Promo'?", "Delete Setting 'Promo'?"}));
    EXPECT_EQ(names(form.mailSetting), QStringList{"Sale"});
    EXPECT_EQ(storedSubjects(), QStringList{"Sale/edited"});
    EXPECT_EQ(form.subject->text(), "edited") << "the window keeps what it shows";
}

// Another process deletes "B" and adds "D" (which may take B's record id)
// while the window lists A, B, C: deleting or editing B then says so and
// changes nothing stored.
TEST_F(MailTest, ATemplateGoneMeanwhileIsSaidToBeGone)
{
    TEmailForm form;
    for (const char* name : {"A", "B", "C"})
        onForm(fillTemplate(name, QString(name).toLower()));
    for (int i = 0; i < 3; ++i)
        form.insertCategory->click();
    database.close();
    const pid_t other = fork();
    if (other == 0) {
        bool ok = database.open("Quillet");
        dbCursor<Mail> gone(dbCursorForUpdate);
        dbQuery byName("name='B'");
        ok = ok && gone.select(byName) == 1;
        if (ok)
            gone.remove();
        Mail added;
        added.name = "D";
        added.subject = "d";
        ok = ok && !insert(added).isNull() && database.commit();
        database.close();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(other, &status, 0), other);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(database.open("Quillet"));

    const QString gone = "The setting 'B' is no longer stored; another user may have changed or deleted it.";
    const QVariant listedB = form.mailSetting->itemData(1);
    for (QPushButton* action : {form.deleteCategory, form.updateCategory}) {
        if (form.mailSetting->count() == 2)
            form.mailSetting->insertItem(1, "B", listedB);  // listed again for the second action
        form.mailSetting->setCurrentIndex(1);
        dialogs.shown.clear();
        dialogs.AnswerQuestion(true);
        action->click();
        EXPECT_EQ(dialogs.Messages(), QStringList{gone});
        EXPECT_EQ(storedSubjects(), (QStringList{"A/a", "C/c", "D/d"}));
        EXPECT_EQ(names(form.mailSetting), (QStringList{"A", "C"}));
        dialogs.questions.clear();
    }
}

TEST_F(MailTest, TemplateDialogAttachments)
{
    TMailInsertForm f;
    EXPECT_EQ(f.greetingHead->text(), "Dear ");
    EXPECT_EQ(f.greetingTail->text(), ",");
    dialogs.AnswerFile("/tmp/x.pdf");
    dialogs.AnswerFile("/tmp/y.pdf");
    f.insertAttachment->click();
    f.insertAttachment->click();
    EXPECT_EQ(f.attachmentList->currentRow(), 0);
    dialogs.AnswerQuestion(true);
    f.deleteAttachment->click();
    EXPECT_EQ(dialogs.Questions(), QStringList{"Delete filename '/tmp/x.pdf'?"});
    ASSERT_EQ(f.attachmentList->count(), 1);
    EXPECT_EQ(f.attachmentList->item(0)->text(), "/tmp/y.pdf");
}

}  // namespace
