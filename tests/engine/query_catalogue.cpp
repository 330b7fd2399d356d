// Every query the program builds compiles against the ten record classes of
// the data model.
#include "appcore/schema.h"
#include "query_fixtures.h"

#include <gtest/gtest.h>

// The descriptors, as the program defines them (its database object is not
// needed here).
#include "engine/program_tables.h"

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
        // The stamp is read at the date's stored offset in the row.
        const dbExprNode* rangeNode = withSetup ? q.tree->operand[0] : q.tree;
        EXPECT_EQ(rangeNode->operand[0]->offs, 48);
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
