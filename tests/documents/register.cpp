// Recording issued cheques from the cheque window: unique numbers, the
// layout the cheque was printed with, and nothing written on a refusal.
#include "register_fixture.h"

#include "appcore/amounts.h"
#include "documents/chequeform.h"
#include "documents/savechequeform.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>

#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class SaveCheque : public RegisterTest {
protected:
    void SetUp() override
    {
        RegisterTest::SetUp();
        Customer c;
        c.name = "Acme";
        contact = insert(c).getOid();
        ASSERT_TRUE(database.commit());
        window = std::make_unique<TChequeForm>();
        window->name->setText("Acme");
        window->contact = contact;
        window->amount->setText("1,000.50");
        window->loadSettingList({});
    }
    void TearDown() override
    {
        window.reset();
        RegisterTest::TearDown();
    }
    // The next Save Cheque form gets the number (and optional date) and is saved.
    void saveAs(const QString& number, const QString& description = "rent")
    {
        steps.push_back([=](QDialog& f) {
            auto& form = dynamic_cast<TSaveChequeForm&>(f);
            form.chequeNo->setText(number);
            form.description->setText(description);
            form.savelAction->trigger();
        });
    }
    void cancel()
    {
        steps.push_back([](QDialog& f) { dynamic_cast<TSaveChequeForm&>(f).exitAction->trigger(); });
    }
    // Records through the window's "Save Cheque"; the last message shown.
    QString record(const QString& number)
    {
        saveAs(number);
        window->saveChequeActionExecute();
        return dialogs.Messages().isEmpty() ? QString() : dialogs.Messages().last();
    }

    oid_t contact = 0;
    std::unique_ptr<TChequeForm> window;
};

}  // namespace

TEST_F(SaveCheque, NumbersAreUniqueWhateverTheirBlanksOrQuotes)
{
    const QString saved = "The cheque record has been saved successfully.";
    EXPECT_EQ(record("A1"), saved);
    EXPECT_EQ(record("O'Neil-1"), saved);
    EXPECT_EQ(record(""), saved);
    EXPECT_EQ(record("  "), saved);  // no number: never checked
    ASSERT_EQ(cheques(), 4u);

    struct Clash {
        const char* typed;
        const char* message;
    } clashes[] = {{" A1 ", "Cheque No. ' A1 ' has already existed."},
                   {"O'Neil-1", "Cheque No. 'O'Neil-1' has already existed."}};
    for (const Clash& c : clashes) {
        saveAs(c.typed, "second");
        // the form comes back as the user left it, then is cancelled
        steps.push_back([&](QDialog& f) {
            auto& form = dynamic_cast<TSaveChequeForm&>(f);
            EXPECT_EQ(form.chequeNo->text(), c.typed);
            EXPECT_EQ(form.description->text(), "second");
            form.exitAction->trigger();
        });
        window->saveChequeActionExecute();
        EXPECT_EQ(dialogs.Messages().last(), c.message);
    }
    EXPECT_EQ(cheques(), 4u);

    dbCursor<Cheque> q;
    dbQuery byNumber("chequeNo='A1'");
    ASSERT_EQ(q.select(byNumber), 1u);
    EXPECT_STREQ(q->customerName, "Acme");
    EXPECT_STREQ(q->description, "rent");
    EXPECT_DOUBLE_EQ(q->amount, 1000.5);
    EXPECT_EQ(q->customer.getOid(), contact);
    EXPECT_EQ(q->setup, window->SelectedSetting());
    EXPECT_LE(std::abs(q->transDate.stamp - std::int32_t(std::time(nullptr))), 5);
    database.commit();
}

// Two processes record the same numbers at the same time: each number is
// recorded once, whichever process comes second is told it exists.
TEST_F(SaveCheque, TwoProcessesSavingOneNumberRecordItOnce)
{
    constexpr int kNumbers = 80;
    auto saveAll = [this] {
        for (int i = 0; i < kNumbers; ++i) {
            saveAs("R" + QString::number(i));
            cancel();  // the form comes back when the number exists
            window->saveChequeActionExecute();
            steps.clear();
        }
    };
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    char mark = 0;
    database.close();  // each process opens the database for itself
    const pid_t child = fork();
    if (child == 0) {  // the other process: starts once both have the database open
        close(toChild[1]);
        close(toParent[0]);
        if (!database.open("Quillet") || write(toParent[1], "r", 1) != 1 || read(toChild[0], &mark, 1) != 1)
            _exit(1);
        saveAll();
        database.close();
        _exit(0);
    }
    close(toChild[0]);
    close(toParent[1]);
    ASSERT_TRUE(database.open("Quillet"));
    EXPECT_EQ(read(toParent[0], &mark, 1), 1);
    EXPECT_EQ(write(toChild[1], "g", 1), 1);
    saveAll();
    close(toChild[1]);
    close(toParent[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::set<std::string> numbers;
    dbCursor<Cheque> q;
    const std::size_t n = q.select();
    for (bool more = n > 0; more; more = q.next() != nullptr)
        numbers.insert(q->chequeNo);
    database.commit();
    EXPECT_EQ(n, std::size_t(kNumbers));
    EXPECT_EQ(numbers.size(), n) << "a number was recorded twice";
}

TEST_F(SaveCheque, TheFormShowsTheChequeAndTheChosenDateIsStored)
{
    const bool localeRun = InEachLocale("SaveCheque.TheFormShows*");
    steps.push_back([=](QDialog& f) {
        auto& form = dynamic_cast<TSaveChequeForm&>(f);
        EXPECT_EQ(form.name->text(), "Acme");
        EXPECT_EQ(form.amount->text(), "1,000.50");
        EXPECT_EQ(form.setup->text(), "BANK");
        EXPECT_TRUE(form.setup->isReadOnly());
        EXPECT_EQ(form.transDate->minimumDate(), QDate(1970, 1, 2));
        EXPECT_EQ(form.transDate->maximumDate(), QDate(2038, 1, 17));
        form.transDate->setDateTime(QDateTime(QDate(2026, 12, 7), QTime(7, 8, 9)));
        if (localeRun) {
            EXPECT_EQ(form.transDate->text(), LocaleDate());
        }
        form.chequeNo->setText("B7");
        form.savelAction->trigger();
    });
    window->saveChequeActionExecute();
    dbCursor<Cheque> q;
    ASSERT_EQ(q.select(), 1u);
    EXPECT_EQ(q->transDate.stamp, at(2026, 12, 7, 7, 8, 9));
    database.commit();
}

TEST_F(SaveCheque, WithoutALayoutOrAnAmountNothingIsWritten)
{
    window->category->setCurrentIndex(-1);
    EXPECT_EQ(record("C1"), "Please set a cheque setting first.");
    window->category->setCurrentIndex(0);
    window->amount->setText("12x");
    saveAs("C2");
    EXPECT_THROW(window->saveChequeActionExecute(), AmountConvertError);
    cancel();  // Cancel writes nothing and says nothing
    const auto said = dialogs.Messages().size();
    window->saveChequeActionExecute();
    EXPECT_EQ(dialogs.Messages().size(), said);
    EXPECT_EQ(cheques(), 0u);
}

TEST_F(SaveCheque, DeletingALayoutLeavesItsChequesWithoutOne)
{
    ASSERT_EQ(record("D1"), "The cheque record has been saved successfully.");
    ChequeSetup extra;
    window->readSetting(extra);
    extra.name = "OTHER";
    insert(extra);
    ASSERT_TRUE(database.commit());
    window->loadSettingList({});  // BANK selected, OTHER second
    dialogs.AnswerQuestion(true);
    window->deleteCategoryClick();
    EXPECT_EQ(dialogs.Questions().last(), "Delete setting 'BANK'?");
    dbCursor<Cheque> q;
    ASSERT_EQ(q.select(), 1u);
    EXPECT_TRUE(q->setup.isNull());
    EXPECT_STREQ(q->chequeNo, "D1");
    database.commit();
}
