// The contact list's search conditions, built from the search panel's fields.
#include "app/contactquery.h"

#include <gtest/gtest.h>

TEST(ContactQuery, EmptyPanelListsEveryoneById)
{
    ContactQuery q;
    ContactSearchFields f;
    q.Build(f);
    EXPECT_EQ(q.Text(), " order by id");
    f.sortBy = -1;
    q.Build(f);
    EXPECT_EQ(q.Text(), "");
}

TEST(ContactQuery, CategoryNameAndReverseSort)
{
    ContactQuery q;
    ContactSearchFields f;
    f.categoryIndex = 2;
    f.categoryName = "Suppliers";
    f.name = "  smith ";
    f.sortBy = 1;
    f.reverseSort = true;
    q.Build(f);
    EXPECT_EQ(q.Text(), "category!=null and category.name='Suppliers' and upper(name) like 'SMITH%' order by name desc");
}

TEST(ContactQuery, EveryFieldInItsOrder)
{
    ContactQuery q;
    ContactSearchFields f;
    f.name = "a";
    f.person = "Lee";
    f.telephone = " 2345 ";
    f.mobile = "9";
    f.id = " 42";
    f.email = "@x.com";
    f.sortBy = 6;
    q.Build(f);
    EXPECT_EQ(q.Text(), "upper(name) like 'A%' and upper(person) like '%LEE%' and telephone like '%2345%'"
                        " and mobile like '%9%' and id=42 and email like '%@x.com%' order by email");
}

TEST(ContactQuery, BlankFieldsAddNothingAndOnlyAsciiIsUpperCased)
{
    ContactQuery q;
    ContactSearchFields f;
    f.name = " \t ";
    f.person = "émile";
    q.Build(f);
    EXPECT_EQ(q.Text(), "upper(person) like '%éMILE%' order by id");
}

TEST(ContactQuery, QuotesAreSearchedForNotParsed)
{
    ContactQuery q;
    ContactSearchFields f;
    f.name = "O'Brien";
    q.Build(f);
    // the value is a bound parameter; the text form doubles the quote only for display
    EXPECT_EQ(q.Text(), "upper(name) like 'O''BRIEN%' order by id");
    int params = 0;
    for (dbQueryElement* e = q.Query().elements(); e; e = e->next)
        if (e->type == dbQueryElement::ParamString) {
            ++params;
            EXPECT_STREQ(static_cast<const char*>(e->ptr), "O'BRIEN%");
        }
    EXPECT_EQ(params, 1);
}

TEST(ContactQuery, NulInAFieldIsDroppedNotAnEndOfTheValue)
{
    ContactQuery q;
    ContactSearchFields f;
    f.name = QString("sm") + QChar(0) + "ith";
    f.person = QString("lee") + QChar(0);
    q.Build(f);
    EXPECT_EQ(q.Text(), "upper(name) like 'SMITH%' and upper(person) like '%LEE%' order by id");
    std::vector<std::string> bound;
    for (dbQueryElement* e = q.Query().elements(); e; e = e->next)
        if (e->type == dbQueryElement::ParamString)
            bound.push_back(static_cast<const char*>(e->ptr));
    EXPECT_EQ(bound, (std::vector<std::string>{"SMITH%", "%LEE%"}));
}

TEST(ContactQuery, IdMustBeAnInteger)
{
    ContactQuery q;
    ContactSearchFields f;
    for (const char* bad : {"12a", "1.5", "99999999999", "-"}) {
        f.id = bad;
        EXPECT_THROW(q.Build(f), ContactSearchError) << bad;
        EXPECT_EQ(q.Query().elements(), nullptr);
    }
    f.id = "-7";
    q.Build(f);
    EXPECT_EQ(q.Text(), "id=-7 order by id");
}

#include "appcore/schema.h"
#include "engine/compiler.h"

TEST(ContactQuery, EveryFormCompilesAgainstCustomer)
{
    ContactQuery q;
    ContactSearchFields f;
    f.categoryIndex = 1;
    f.categoryName = "It's";
    f.name = "a";
    f.person = "b";
    f.telephone = "1";
    f.mobile = "2";
    f.id = "3";
    f.email = "e";
    for (int sort = -1; sort < 7; ++sort)
        for (bool reverse : {false, true}) {
            f.sortBy = sort;
            f.reverseSort = reverse;
            q.Build(f);
            dbCompiler compiler;
            EXPECT_TRUE(compiler.compile(&Customer::dbDescriptor, q.Query())) << q.Text();
        }
}
