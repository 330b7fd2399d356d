// Every query the program builds compiles against the ten record classes.
// The classes are declared here with the stored field order of the data
// model.
#include "query_fixtures.h"

#include <gtest/gtest.h>

namespace {

// A layout item: position in millimetres, colour and font blob.
#define ITEM_MEMBERS(x)          \
    std::int16_t x##Left;        \
    std::int16_t x##Top;         \
    std::int32_t x##Color;       \
    dbArray<std::int8_t> x##Font;
#define ITEM_FIELDS(x) DB_FIELD(x##Left), DB_FIELD(x##Top), DB_FIELD(x##Color), DB_FIELD(x##Font)

} // namespace

struct Config {
    const char* password;
    std::int16_t version;
    dbDateTime lastBackupDate;
    bool everytime;
    bool everyday;
    std::int8_t lastBackup;
    std::int8_t totalBackup;
    DB_FIELDS(Config, DB_FIELD(version), DB_FIELD(password), DB_FIELD(lastBackupDate), DB_FIELD(everytime),
              DB_FIELD(everyday), DB_FIELD(lastBackup), DB_FIELD(totalBackup))
};

struct Category {
    const char* name;
    DB_FIELDS(Category, DB_FIELD(name))
};

struct EnvelopeSetup {
    const char* name;
    float pageHeight;
    float pageWidth;
    const char* title;
    ITEM_MEMBERS(title)
    ITEM_MEMBERS(companyName)
    ITEM_MEMBERS(address1)
    ITEM_MEMBERS(address2)
    ITEM_MEMBERS(address3)
    ITEM_MEMBERS(attention)
    const char* head;
    const char* tail;
    const char* image;
    std::int16_t imageTop;
    std::int32_t imageLeft;
    dbArray<std::int8_t> image1;
    std::int16_t image2Top;
    std::int16_t image2Left;
    dbArray<std::int8_t> image2;
    bool vertical;
    DB_FIELDS(EnvelopeSetup, DB_FIELD(pageWidth), DB_FIELD(pageHeight), DB_FIELD(title), ITEM_FIELDS(title),
              ITEM_FIELDS(companyName), ITEM_FIELDS(address1), ITEM_FIELDS(address2), ITEM_FIELDS(address3),
              ITEM_FIELDS(attention), DB_FIELD(image), DB_FIELD(imageLeft), DB_FIELD(imageTop),
              DB_FIELD(image2), DB_FIELD(image2Left), DB_FIELD(image2Top), DB_FIELD(image1),
              DB_FIELD(vertical), DB_FIELD(name), DB_FIELD(head), DB_FIELD(tail))
};

struct ChequeSetup {
    const char* name;
    float pageHeight;
    float pageWidth;
    ITEM_MEMBERS(name)
    ITEM_MEMBERS(amount)
    ITEM_MEMBERS(amountText)
    std::int16_t amount2Left;
    std::int16_t amount2Top;
    std::int16_t separateLen;
    std::int16_t imageTop;
    std::int16_t imageLeft;
    dbArray<std::int8_t> image;
    ITEM_MEMBERS(year)
    ITEM_MEMBERS(month)
    ITEM_MEMBERS(day)
    const char* string;
    bool vertical;
    bool chineseAmount;
    bool englishMonth;
    std::int16_t image2Top;
    std::int16_t image2Left;
    dbArray<std::int8_t> image2;
    const char* cent;
    const char* dollar;
    bool singleAnd;
    bool hyphen;
    bool smallLetter;
    DB_FIELDS(ChequeSetup, DB_FIELD(pageWidth), DB_FIELD(pageHeight), ITEM_FIELDS(name), ITEM_FIELDS(amount),
              ITEM_FIELDS(amountText), DB_FIELD(image), DB_FIELD(imageLeft), DB_FIELD(imageTop),
              ITEM_FIELDS(year), ITEM_FIELDS(month), ITEM_FIELDS(day), DB_FIELD(string), DB_FIELD(amount2Left),
              DB_FIELD(amount2Top), DB_FIELD(vertical), DB_FIELD(name), DB_FIELD(chineseAmount),
              DB_FIELD(englishMonth), DB_FIELD(separateLen), DB_FIELD(image2), DB_FIELD(image2Left),
              DB_FIELD(image2Top), DB_FIELD(cent), DB_FIELD(dollar), DB_FIELD(singleAnd), DB_FIELD(hyphen),
              DB_FIELD(smallLetter))
};

struct ReceiptSetup {
    const char* name;
    float pageHeight;
    float pageWidth;
    ITEM_MEMBERS(name)
    ITEM_MEMBERS(amount)
    ITEM_MEMBERS(amountText)
    ITEM_MEMBERS(amount2)
    std::int16_t imageTop;
    std::int16_t imageLeft;
    dbArray<std::int8_t> image;
    ITEM_MEMBERS(year)
    ITEM_MEMBERS(month)
    ITEM_MEMBERS(day)
    bool vertical;
    const char* string;
    DB_FIELDS(ReceiptSetup, DB_FIELD(pageWidth), DB_FIELD(pageHeight), ITEM_FIELDS(name), ITEM_FIELDS(amount),
              ITEM_FIELDS(amountText), DB_FIELD(image), DB_FIELD(imageLeft), DB_FIELD(imageTop),
              ITEM_FIELDS(year), ITEM_FIELDS(month), ITEM_FIELDS(day), DB_FIELD(string), ITEM_FIELDS(amount2),
              DB_FIELD(vertical), DB_FIELD(name))
};

struct Customer {
    std::int32_t id;
    const char* name;
    const char* address1;
    const char* address2;
    const char* address3;
    const char* person;
    const char* telephone;
    const char* mobile;
    const char* fax;
    const char* remark;
    const char* email;
    const char* website;
    float amount;
    dbArray<std::int8_t> card;
    dbReference<Category> category;
    dbReference<EnvelopeSetup> envelopeSetup;
    dbReference<ChequeSetup> chequeSetup;
    dbReference<ReceiptSetup> receiptSetup;
    DB_FIELDS(Customer, DB_KEY(id, dbHashed), DB_KEY(name, dbIndexed), DB_FIELD(address1), DB_FIELD(address2),
              DB_FIELD(address3), DB_FIELD(person), DB_FIELD(telephone), DB_FIELD(fax), DB_FIELD(remark),
              DB_FIELD(email), DB_FIELD(category), DB_FIELD(mobile), DB_FIELD(card), DB_FIELD(amount),
              DB_FIELD(envelopeSetup), DB_FIELD(chequeSetup), DB_FIELD(receiptSetup), DB_FIELD(website))
};

struct MailSetup {
    const char* smtpServer;
    std::int16_t port;
    const char* username;
    const char* password;
    const char* sender;
    const char* subject;
    const char* greetingHead;
    const char* greetingTail;
    const char* body;
    const char* attachment;
    bool html;
    std::int16_t delay;
    DB_FIELDS(MailSetup, DB_FIELD(smtpServer), DB_FIELD(port), DB_FIELD(username), DB_FIELD(password),
              DB_FIELD(sender), DB_FIELD(subject), DB_FIELD(greetingHead), DB_FIELD(greetingTail), DB_FIELD(body),
              DB_FIELD(html), DB_FIELD(delay), DB_FIELD(attachment))
};

struct CustomerWidth {
    std::int16_t name, person, telephone, mobile, fax, email, website, category, action, id, sortBy, address,
        remark, amount;
    bool reverseSort;
    DB_FIELDS(CustomerWidth, DB_FIELD(name), DB_FIELD(person), DB_FIELD(telephone), DB_FIELD(fax),
              DB_FIELD(email), DB_FIELD(category), DB_FIELD(mobile), DB_FIELD(website), DB_FIELD(action),
              DB_FIELD(id), DB_FIELD(sortBy), DB_FIELD(reverseSort), DB_FIELD(address), DB_FIELD(remark),
              DB_FIELD(amount))
};

struct Cheque {
    const char* chequeNo;
    const char* description;
    double amount;
    dbReference<Customer> customer;
    const char* customerName;
    dbReference<ChequeSetup> setup;
    dbDateTime transDate;
    DB_FIELDS(Cheque, DB_FIELD(chequeNo), DB_FIELD(description), DB_FIELD(amount), DB_FIELD(customer),
              DB_FIELD(setup), DB_FIELD(transDate), DB_FIELD(customerName))
};

struct Mail {
    const char* name;
    const char* subject;
    const char* greetingHead;
    const char* greetingTail;
    const char* body;
    const char* attachment;
    bool html;
    DB_FIELDS(Mail, DB_FIELD(name), DB_FIELD(subject), DB_FIELD(greetingHead), DB_FIELD(greetingTail),
              DB_FIELD(body), DB_FIELD(html), DB_FIELD(attachment))
};

DB_TABLE(Config);
DB_TABLE(Customer);
DB_TABLE(EnvelopeSetup);
DB_TABLE(Category);
DB_TABLE(ChequeSetup);
DB_TABLE(ReceiptSetup);
DB_TABLE(MailSetup);
DB_TABLE(CustomerWidth);
DB_TABLE(Cheque);
DB_TABLE(Mail);
DB_TABLE(Item);
DB_TABLE(Other);

namespace {

class CatalogueTest : public ::testing::Test, protected CompileHelper {
  protected:
    // Compiles and expects no report.
    void expectCompiles(dbQuery& q, dbTableDescriptor* table, const std::string& label)
    {
        SCOPED_TRACE(label);
        EXPECT_TRUE(compile(q, table)) << lastError();
        EXPECT_TRUE(db.errors.empty());
        EXPECT_EQ(q.table, table);
    }
    void expectCompiles(const std::string& text, dbTableDescriptor* table)
    {
        dbQuery q(text.c_str());
        expectCompiles(q, table, text);
    }
};

// The contact list's search: every combination of conditions the search
// panel can produce, typed texts bound as string parameters, followed by
// each order clause.
TEST_F(CatalogueTest, ContactListSearch)
{
    const char* categoryName = "Clients";
    const char* namePattern = "O'BR%";  // a quote in typed text stays data
    const char* personPattern = "%SMITH%";
    const char* telPattern = "%555%";
    const char* mobilePattern = "%9%";
    const char* emailPattern = "%@example.com%";
    std::int32_t id = 42;
    // The panel's conditions in their order; the id is bound as a number.
    const struct {
        const char* text;
        const char* const* value;
    } conditions[] = {
        {"category!=null and category.name=", &categoryName}, {"upper(name) like ", &namePattern},
        {"upper(person) like ", &personPattern},              {"telephone like ", &telPattern},
        {"mobile like ", &mobilePattern},                     {"id=", nullptr},
        {"email like ", &emailPattern},
    };
    const char* orders[] = {"",
                            " order by id", " order by id desc", " order by name", " order by name desc",
                            " order by person", " order by person desc", " order by telephone",
                            " order by telephone desc", " order by mobile", " order by mobile desc",
                            " order by fax", " order by fax desc", " order by email", " order by email desc"};
    for (int mask = 0; mask < 128; mask++) {
        for (const char* order : orders) {
            dbQuery q;
            bool first = true;
            // Conditions in the panel's order; the first stands alone, every
            // later one starts with " and ".
            std::vector<std::string> texts; // kept alive as long as the query
            texts.reserve(8);
            auto text = [&](const char* t) {
                texts.push_back(first ? std::string(t) : std::string(" and ") + t);
                first = false;
                q.add(texts.back().c_str());
            };
            for (int i = 0; i < 7; i++) {
                if (mask & (1 << i)) {
                    text(conditions[i].text);
                    if (conditions[i].value != nullptr) {
                        q.bind(*conditions[i].value);
                    } else {
                        q.bind(id);
                    }
                }
            }
            q.add(order);
            expectCompiles(q, &Customer::dbDescriptor, "mask " + std::to_string(mask) + order);
        }
    }

    // The category condition guards the reference path.
    dbQuery q;
    q.add("category!=null and category.name=").bind(categoryName);
    q.add(" order by name desc");
    ASSERT_TRUE(compile(q, &Customer::dbDescriptor));
    EXPECT_EQ(dbDumpExpr(q.tree),
              "opAndBool(opNeReference(opLoadSelfReference category, opNull), "
              "opEqString(opLoadString name(opDeref(opLoadSelfReference category)), opParamStringPtr))");
    EXPECT_EQ(q.tree->operand[1]->operand[1]->param.var, &categoryName);
    ASSERT_NE(q.order, nullptr);
    EXPECT_EQ(q.order->field, Customer::dbDescriptor.find("name"));
    EXPECT_FALSE(q.order->ascent);
}

// The texts as the program's windows write them, quotes included.
TEST_F(CatalogueTest, FixedAndQuotedTexts)
{
    const std::pair<const char*, dbTableDescriptor*> texts[] = {
        {"category!=null and category.name='Clients' and upper(name) like 'AB%' and upper(person) like '%X%'"
         " and telephone like '%1%' and mobile like '%2%' and id=7 and email like '%@%' order by name desc",
         &Customer::dbDescriptor},
        {" order by id", &Customer::dbDescriptor},
        {"order by id desc", &Customer::dbDescriptor},
        {"email='a@b.c'", &Customer::dbDescriptor},
        {"name='Acme'", &Customer::dbDescriptor},
        {"id=12", &Customer::dbDescriptor},
        {"order by name", &Category::dbDescriptor},
        {"chequeNo='000123'", &Cheque::dbDescriptor},
        {"", &Config::dbDescriptor},
    };
    for (const auto& [text, table] : texts) {
        expectCompiles(text, table);
    }
}

// Queries with bound values of the editor, the delete action, the layout
// windows and the cheque register.
TEST_F(CatalogueTest, QueriesWithBoundValues)
{
    std::int32_t id = 12;
    std::uint32_t ref = 1;
    const char* typed = "it's";

    dbQuery idTaken;
    idTaken.add("id=").bind(id);
    expectCompiles(idTaken, &Customer::dbDescriptor, "id=");
    EXPECT_EQ(dbDumpExpr(idTaken.tree), "opEqInt(opLoadSelfInt4 id, opParamInt4)");

    const std::pair<const char*, dbTableDescriptor*> stringChecks[] = {
        {"email=", &Customer::dbDescriptor},
        {"name=", &Customer::dbDescriptor},
        {"chequeNo=", &Cheque::dbDescriptor},
    };
    for (const auto& [text, table] : stringChecks) {
        dbQuery q;
        q.add(text).bind(typed);
        expectCompiles(q, table, text);
        EXPECT_EQ(dbDumpExpr(q.tree).rfind("opEqString(opLoadSelfString ", 0), 0u) << text;
    }

    const struct {
        const char* text;
        dbTableDescriptor* queried;
        dbTableDescriptor* target;
    } references[] = {
        {"category=", &Customer::dbDescriptor, &Category::dbDescriptor},
        {"customer=", &Cheque::dbDescriptor, &Customer::dbDescriptor},
        {"chequeSetup=", &Customer::dbDescriptor, &ChequeSetup::dbDescriptor},
        {"envelopeSetup=", &Customer::dbDescriptor, &EnvelopeSetup::dbDescriptor},
    };
    for (const auto& r : references) {
        dbQuery q;
        q.add(r.text).bindReference(ref, r.target);
        expectCompiles(q, r.queried, r.text);
        EXPECT_EQ(dbDumpExpr(q.tree).rfind("opEqReference(opLoadSelfReference ", 0), 0u) << r.text;
    }
}

// The cheque report: a stamp range, optionally one layout, newest first.
TEST_F(CatalogueTest, ChequeReport)
{
    std::int32_t from = 1700000000, to = 1702678399;
    std::uint32_t setup = 5;
    for (bool withSetup : {false, true}) {
        dbQuery q;
        dbQueryFragment range("transDate", "stamp");
        range.add("between").bind(from).add("and").bind(to);
        q.addParenthesized(range);
        if (withSetup) {
            q.add(" and setup=").bindReference(setup, &ChequeSetup::dbDescriptor);
        }
        q.add(" order by");
        dbQueryFragment key("transDate", "stamp");
        key.add("desc");
        q.addParenthesized(key);
        expectCompiles(q, &Cheque::dbDescriptor, withSetup ? "with setup" : "all layouts");
        std::string between = "opBetweenInt(opLoadSelfInt4 stamp, opParamInt4, opParamInt4)";
        EXPECT_EQ(dbDumpExpr(q.tree),
                  withSetup ? "opAndBool(" + between
                                  + ", opEqReference(opLoadSelfReference setup, opParamReference))"
                            : between);
        ASSERT_NE(q.order, nullptr);
        EXPECT_STREQ(q.order->field->name, "stamp");
        EXPECT_FALSE(q.order->ascent);
        EXPECT_EQ(q.order->next, nullptr);
    }
}

// A quote typed into a text that the program puts between quotes makes the
// query fail instead of running a different query.
TEST_F(CatalogueTest, AStrayQuoteInQuotedTextFails)
{
    dbQuery q("name='O'Brien'");
    EXPECT_FALSE(compile(q, &Customer::dbDescriptor));
    ASSERT_EQ(db.errors.size(), 1u);
    dbQuery q2("upper(name) like 'O'BR%'");
    EXPECT_FALSE(compile(q2, &Customer::dbDescriptor));
}

} // namespace
