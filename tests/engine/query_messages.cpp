// Every message of the query compiler, with the position it reports, and
// what a failed compilation leaves behind.
#define QUERY_FIXTURES_DEFINE_TABLES
#include "query_fixtures.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text;
    const char* message;
    int position;
};

// Texts that fail, one or more per message.
const Case textCases[] = {
    {"id = 1 or name", "Bad operands for OR operator", 9},
    {"id = 1 and name", "Bad operands for AND operator", 10},
    {"name not = 'a'", "LIKE, BETWEEN or IN expected", 9},
    {"id is null", "IS [NOT] NULL predicate can be applied only to references", 4},
    {"parent is not 1", "NULL expected", 14},
    {"parent is 1", "[NOT] NULL expected", 10},
    {"id in 'abc'", "Left operand of IN expression hasn't string type", 10},
    {"name in bytes", "Type of selective expression of IN operator doesn't match type of the array", 12},
    {"id in (5)", "List of expressions or array expected", 8},
    {"id in (1, 'a')", "Expression 2 in right part of IN operator have incompatible type", 13},
    {"id in ('a', 1)", "Expression 1 in right part of IN operator have incompatible type", 13},
    {"id between 1 or 2", "AND expected", 14},
    {"name between 1 and 2.5", "operand of BETWEEN operator should be of integer, real or string type", 0},
    {"id between 'a' and 2.5", "operand of BETWEEN operator should be of integer, real or string type", 3},
    {"price between 1 and 'z'", "operand of BETWEEN operator should be of integer, real or string type", 16},
    {"id between 'a' and 'b'", "operands of BETWEEN operator should be of integer, real or string type", 3},
    {"id like 'a'", "operands of LIKE operator should be of string type", 10},
    {"name like 'a' escape 1", "String literal espected after ESCAPE", 21},
    {"name like 'a' escape ''", "Escape character expected", 22},
    {"price = 'a'", "operands of relation operator should be of intger, real or string type", 10},
    {"parent > 1", "References can be checked only for equality", 9},
    {"flag > true", "Boolean variables can be checked only for equality", 10},
    {"name = 1", "operands of relation operator should be of integer, real or string type", 7},
    {"flag = 1", "operands of relation operator should be of integer, real or string type", 7},
    {"name + 1.5 = 1", "operands of arithmetic operators should be of integer or real type", 11},
    {"1.5 + name = 1", "operands of arithmetic operator should be of integer or real type", 11},
    {"name - 'a' = 'b'", "Operation - is not defined for strings", 11},
    {"name * 2 = 1", "operands of arithmentic operator should be of integer or real type", 9},
    {"name * 'a' = 1", "operands of arithmentic operator should be of integer or real type", 11},
    {"name ^ 2.0 = 1", "operands of arithmetic operators should be of integer or real type", 11},
    {"2.0 ^ name = 1", "operands of arithmetic operator should be of integer or real type", 11},
    {"name ^ 2 = 1", "operands of arithmentic operator should be of integer or real type", 9},
    {"nosuch = 1", "Field not found", 5},
    {"parent.nosuch = 1", "Field not found", 12},
    {"when.nosuch = 1", "Field not found", 10},
    {"id = 1 and AND = 2", "Field not found", 13},
    {"(id = 1", "')' expected", 6},
    {"+id = 1", "Using of unary plus operator has no sence", 0},
    {"-name = 'a'", "Unary minus can be applied only to integer or real expressions", 6},
    {"not name", "NOT operator can be applied only to integer or boolean expressions", 7},
    {"length(id) = 1", "LENGTH function is defined only for arrays and strings", 11},
    {"lower(id) = 'a'", "LOWER function can be applied only to string argument", 10},
    {"upper(1) = 'A'", "UPPER function can be applied only to string argument", 9},
    {"abs(name) = 1", "ABS function can be applied only to integer or real expression", 10},
    {"integer(id) = 1", "INTEGER function can be applied only to expression of real type", 12},
    {"real(price) = 1", "REAL function can be applied only to expression of integer type", 12},
    {"string(name) = 'a'", "STRING function can be applied only to integer or real expression", 13},
    {"exists 1: true", "Free variable name expected", 7},
    {"exists a: exists b: exists c: exists d: true", "Too many nested EXISTS clauses\n", 37},
    {"exists i true", "':' expected", 12},
    {"exists i: id", "Expresion in EXISTS clause should be of boolean type", 11},
    {"parent. = 1", "identifier expected", 8},
    {"name.x = 1", "Left operand of '.' should be structure or reference", 5},
    {"id[1] = 1", "Index can be applied only to arrays", 2},
    {"bytes[1) = 1", "']' expected", 7},
    {"bytes['a'] = 1", "Index should have integer type", 9},
    {"when = 1", "'.' expected", 5},
    {"id = )", "operand expected", 5},
    {"id", "Conditional expression should have boolean type\n", 0},
    {"start first", "FROM expected after START", 10},
    {"start from id", "FIRST, LAST or reference varaible expected", 12},
    {"start from first follow parent", "BY expected after FOLLOW", 29},
    {"start from first follow by 1", "Field name expected", 27},
    {"start from first follow by nosuch", "Field not found", 32},
    {"start from first follow by when", "'.' expected", 30},
    {"start from first follow by when.1", "Field name expected", 32},
    {"start from first follow by id", "Follow field should be of compatibale reference or array of reference type", 28},
    {"order name", "BY expected after ORDER", 9},
    {"order by bytes", "Expressions in ORDER BY part should have scalar type", 13},
    {"order by id, (children desc)", "Expressions in ORDER BY part should have scalar type", 26},
    {"id = 1 order by id)", "Unbalanced parentheses ", 18},
    // Whatever follows a complete query is an error, not ignored.
    {"id=1 AND id=2", "End of query expected", 7},
    {"name='x' orr id=3", "End of query expected", 11},
    {"id = 1 follow by parent", "End of query expected", 12},
    {"follow by parent", "operand expected", 5},
    {"id = 1 desc", "End of query expected", 10},
    {"order by id desc name", "End of query expected", 20},
    {"start from first order by id id", "End of query expected", 30},
    // A "where" at the start moves the earliest position reported.
    {"where id = 'x'", "operands of relation operator should be of integer, real or string type", 13},
    // Positions count from the start of their line.
    {"id = 1\nand nosuch = 2", "Field not found", 9},
};

class MessagesTest : public ::testing::Test, protected CompileHelper {
  protected:
    void expectFailure(dbQuery& q, const std::string& message, int position, const std::string& label)
    {
        SCOPED_TRACE(label);
        EXPECT_FALSE(compile(q));
        ASSERT_EQ(db.errors.size(), 1u);
        EXPECT_EQ(db.errors[0].message, message);
        EXPECT_EQ(db.errors[0].position, position);
        EXPECT_EQ(q.tree, nullptr);
        EXPECT_EQ(q.table, nullptr);
        EXPECT_EQ(q.order, nullptr);
        EXPECT_EQ(q.follow, nullptr);
        EXPECT_EQ(q.startFrom, dbCompiledQuery::StartFromAny);
    }
};

TEST_F(MessagesTest, EachMessageWithItsPosition)
{
    for (const Case& c : textCases) {
        dbQuery q(c.text);
        expectFailure(q, c.message, c.position, c.text);
    }
}

TEST_F(MessagesTest, MessagesAboutParameters)
{
    std::int32_t number = 1;
    std::uint32_t otherRef = 1;
    std::uint8_t raw1[4] = {}, raw2[4] = {};
    {
        dbQuery q;
        q.add("start from ").bind(number);
        expectFailure(q, "Reference or array of reference variable expected", 0, "int start");
    }
    {
        dbQuery q;
        q.add("start from ").bindReference(otherRef, &Other::dbDescriptor);
        expectFailure(q, "Incompatiable type of reference variable", 0, "foreign reference");
    }
    {
        dbQuery q;
        q.add("start from ").append(dbQueryElement::ParamArrayOfRef, &otherRef, &Other::dbDescriptor);
        expectFailure(q, "Incompatiable type of array of reference variable", 0, "foreign array");
    }
    {
        dbQuery q;
        q.append(dbQueryElement::ParamRawBinary, raw1).add(" = ").append(dbQueryElement::ParamRawBinary, raw2);
        expectFailure(q, "Operations with raw binary types should include at least one record field", 0,
                      "raw parameters");
    }
    {
        // A parameter left over after a complete query.
        dbQuery q;
        q.add("id = 1 ").bind(number);
        expectFailure(q, "End of query expected", 0, "trailing parameter");
    }
}

// Nesting deeper than the compiler follows is an error at the token that
// passed the limit, however deep the text goes; one level less compiles.
TEST_F(MessagesTest, DeepNestingIsAnErrorNotACrash)
{
    auto repeat = [](const std::string& part, int n) {
        std::string text;
        for (int i = 0; i < n; i++) {
            text += part;
        }
        return text;
    };
    const struct {
        std::string text;
        int position;  // -1: compiles
    } cases[] = {
        {repeat("(", 30000) + "id = 1" + repeat(")", 30000), 1000},
        {repeat("(", 999) + "id = 1" + repeat(")", 999), -1},
        {"id = " + repeat("- ", 30000) + "1", 2005},
        {repeat("id = 1 or ", 30000) + "id = 2", 10001},
        {repeat("id = 1 or ", 999) + "id = 2", -1},
        {"id = " + repeat("2 ^ ", 5000) + "2", 4005},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20) + "... (" + std::to_string(c.text.size()) + ")");
        dbQuery q(c.text.c_str());
        if (c.position < 0) {
            EXPECT_TRUE(compile(q)) << lastError();
        } else {
            expectFailure(q, "Expression is nested too deeply", c.position, "deep");
        }
    }
}

TEST_F(MessagesTest, AFailedQueryCompilesAgainOnceCorrected)
{
    dbQuery q("id = 1 order by id, bytes");
    EXPECT_FALSE(compile(q));
    q = "id = 1 order by id, name desc";
    ASSERT_TRUE(compile(q));
    EXPECT_TRUE(db.errors.empty());
    ASSERT_NE(q.order, nullptr);
    ASSERT_NE(q.order->next, nullptr);
    EXPECT_FALSE(q.order->next->ascent);
    // A compiled query that is compiled again for a text it cannot take
    // loses its former form.
    q = "id = 'a'";
    EXPECT_FALSE(compile(q));
    EXPECT_EQ(q.tree, nullptr);
}

TEST_F(MessagesTest, FailingCompilationsGiveEverythingBack)
{
    dbExprNodeAllocator& pool = dbExprNodeAllocator::instance();
    dbQueryElementAllocator& elements = dbQueryElementAllocator::instance();
    std::int32_t number = 1;
    std::uint32_t ref = 1;
    auto build = [&](dbQuery& q, const Case& c, int i) {
        // Half of the queries carry parameters before and after the text.
        if (i % 2 == 0) {
            q.add(c.text);
        } else {
            q.add("(id = ").bind(number).add(" or parent = ").bindReference(ref, &Item::dbDescriptor);
            q.add(") and ").add(c.text);
        }
    };
    // Warm both allocators up with one round.
    constexpr int caseCount = sizeof(textCases) / sizeof(textCases[0]);
    for (int i = 0; i < 2 * caseCount; i++) {
        dbQuery q;
        build(q, textCases[i % caseCount], i / caseCount);
        compile(q);
    }
    std::size_t freeNodes = pool.freeCount();
    std::size_t freeElements = elements.freeCount();
    int failures = 0;
    for (int i = 0; i < 10000; i++) {
        dbQuery q;
        build(q, textCases[i % caseCount], i / caseCount);
        if (!compile(q)) {
            failures += 1;
        }
        if (i % 1000 == 999) {
            EXPECT_EQ(pool.freeCount(), freeNodes) << "after " << i + 1;
        }
    }
    EXPECT_EQ(failures, 10000);
    EXPECT_EQ(pool.freeCount(), freeNodes);
    EXPECT_EQ(elements.freeCount(), freeElements);
}

} // namespace
