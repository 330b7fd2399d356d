// The query scanner and the symbol table.
#define QUERY_FIXTURES_DEFINE_TABLES
#include "query_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

class ScannerTest : public ::testing::Test {
  protected:
    CapturingDatabase db;
    dbCompiler compiler{&db};
    dbQuery query;

    void start(const char* text)
    {
        query = text;
        compiler.startScan(query);
    }
    std::vector<int> tokens(const char* text)
    {
        start(text);
        std::vector<int> result;
        for (int tok = compiler.nextToken(); tok != tokEof && tok >= 0; tok = compiler.nextToken()) {
            result.push_back(tok);
        }
        return result;
    }
    // The error the scanner reports for text, as "message @position".
    std::string failure(const char* text)
    {
        db.errors.clear();
        start(text);
        int tok;
        do {
            tok = compiler.nextToken();
        } while (tok != tokEof && tok >= 0);
        if (tok != -1 || db.errors.size() != 1) {
            return "no error";
        }
        return db.errors[0].message + " @" + std::to_string(db.errors[0].position);
    }
};

TEST_F(ScannerTest, DoubledQuotesStandForOneQuoteCharacter)
{
    start("name = 'it''s'");
    EXPECT_EQ(compiler.nextToken(), tokIdent);
    EXPECT_EQ(compiler.nextToken(), tokEq);
    ASSERT_EQ(compiler.nextToken(), tokStrConst);
    EXPECT_EQ(compiler.stringValue(), "it's");
    EXPECT_EQ(compiler.stringValue().size(), 4u);
    EXPECT_EQ(compiler.nextToken(), tokEof);

    start("'a''b' ''''");
    ASSERT_EQ(compiler.nextToken(), tokStrConst);
    EXPECT_EQ(compiler.stringValue(), "a'b");
    ASSERT_EQ(compiler.nextToken(), tokStrConst);
    EXPECT_EQ(compiler.stringValue(), "'");

    start("'two\nlines' ''");
    ASSERT_EQ(compiler.nextToken(), tokStrConst);
    EXPECT_EQ(compiler.stringValue(), "two\nlines");
    ASSERT_EQ(compiler.nextToken(), tokStrConst);
    EXPECT_EQ(compiler.stringValue(), "");
}

TEST_F(ScannerTest, KeywordsAreLowerCaseOnly)
{
    EXPECT_EQ(tokens("AND Like NULL Order"), (std::vector<int>{tokIdent, tokIdent, tokIdent, tokIdent}));
    EXPECT_EQ(tokens("and like null order"), (std::vector<int>{tokAnd, tokLike, tokNull, tokOrder}));
    start("Like");
    compiler.nextToken();
    const char* first = compiler.nameValue();
    start("Like");
    compiler.nextToken();
    EXPECT_EQ(compiler.nameValue(), first);
    EXPECT_STREQ(first, "Like");
}

TEST_F(ScannerTest, OperatorsAndTheirAlternativeSpellings)
{
    EXPECT_EQ(tokens("<> != || +"), (std::vector<int>{tokNe, tokNe, tokPlus, tokPlus}));
    EXPECT_EQ(tokens("<=>=<>< >"), (std::vector<int>{tokLe, tokGe, tokNe, tokLt, tokGt}));
    EXPECT_EQ(tokens("()[],.^*/=:"),
              (std::vector<int>{tokLParen, tokRParen, tokLBracket, tokRBracket, tokComma, tokDot,
                                tokPower, tokMul, tokDiv, tokEq, tokColon}));
}

TEST_F(ScannerTest, NumbersAreIntegersUnlessAPointOrExponentFollows)
{
    start("123456789 1234567890 9223372036854775807 1e3 2.5 1E2");
    ASSERT_EQ(compiler.nextToken(), tokIntConst);
    EXPECT_EQ(compiler.intValue(), 123456789);
    ASSERT_EQ(compiler.nextToken(), tokIntConst);
    EXPECT_EQ(compiler.intValue(), 1234567890);
    ASSERT_EQ(compiler.nextToken(), tokIntConst);
    EXPECT_EQ(compiler.intValue(), INT64_MAX);
    ASSERT_EQ(compiler.nextToken(), tokRealConst);
    EXPECT_EQ(compiler.realValue(), 1000.0);
    ASSERT_EQ(compiler.nextToken(), tokRealConst);
    EXPECT_EQ(compiler.realValue(), 2.5);
    ASSERT_EQ(compiler.nextToken(), tokRealConst);
    EXPECT_EQ(compiler.realValue(), 100.0);

    // Ten digits above the 32-bit range must not wrap.
    start("9999999999");
    ASSERT_EQ(compiler.nextToken(), tokIntConst);
    EXPECT_EQ(compiler.intValue(), 9999999999LL);

    // A point followed by digits is a dot and an integer; numbers carry no sign.
    EXPECT_EQ(tokens(".5 -3"), (std::vector<int>{tokDot, tokIntConst, tokMinus, tokIntConst}));
    // A number ends where its digits end.
    EXPECT_EQ(tokens("12abc"), (std::vector<int>{tokIntConst, tokIdent}));

    EXPECT_EQ(failure("99999999999999999999"), "Bad integer constant @0");
    EXPECT_EQ(failure("x = 1e999"), "Bad floating point constant @4");
}

TEST_F(ScannerTest, CommentsRunToTheEndOfTheLine)
{
    EXPECT_EQ(tokens("a -- b = 'c\nd"), (std::vector<int>{tokIdent, tokIdent}));
    EXPECT_EQ(tokens("a --"), (std::vector<int>{tokIdent}));
    EXPECT_EQ(tokens("- -"), (std::vector<int>{tokMinus, tokMinus}));
}

TEST_F(ScannerTest, TextsAndParametersFormOneTokenStream)
{
    std::int32_t id = 7;
    query.reset();
    query.add("id = ").bind(id).add(" order by id");
    compiler.startScan(query);
    std::vector<int> result;
    for (int tok = compiler.nextToken(); tok != tokEof; tok = compiler.nextToken()) {
        result.push_back(tok);
    }
    EXPECT_EQ(result, (std::vector<int>{tokIdent, tokEq, tokParam, tokOrder, tokBy, tokIdent}));
    // The end stays the end.
    EXPECT_EQ(compiler.nextToken(), tokEof);
}

TEST_F(ScannerTest, InvalidCharactersAreReportedWhereTheyStand)
{
    EXPECT_EQ(failure("a ! b"), "Invalid token '!' @2");
    EXPECT_EQ(failure("a | b"), "Invalid token '|' @2");
    EXPECT_EQ(failure("a # b"), "Invalid symbol @2");
    EXPECT_EQ(failure("name = \"x\""), "Invalid symbol @7");
    EXPECT_EQ(failure("name = 'abc"), "Unterminated character constant @11");
    // After a newline, positions count from the start of the line.
    EXPECT_EQ(failure("a = 1\n  and #"), "Invalid symbol @6");
}

TEST_F(ScannerTest, OverlongConstantsAndNamesAreRefused)
{
    std::string text = "'" + std::string(4096, 'x') + "'";
    start(text.c_str());
    ASSERT_EQ(compiler.nextToken(), tokStrConst);
    EXPECT_EQ(compiler.stringValue().size(), 4096u);

    text = "'" + std::string(4097, 'x') + "'";
    EXPECT_EQ(failure(text.c_str()), "String constant too long @4097");

    std::string name(4097, 'n');
    EXPECT_EQ(failure(name.c_str()), "Name too long @4096");
    name.resize(4096);
    EXPECT_EQ(tokens(name.c_str()), (std::vector<int>{tokIdent}));
}

TEST(SymbolTable, InternsEachNameOnce)
{
    const char* a = "uniqueNameForTest";
    std::string copy = a;
    const char* b = copy.c_str();
    EXPECT_EQ(dbSymbolTable::add(a, tokIdent), tokIdent);
    EXPECT_EQ(dbSymbolTable::add(b, tokIdent), tokIdent);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, copy.c_str());

    static const char keep[] = "keptByCaller";
    const char* c = keep;
    dbSymbolTable::add(c, tokIdent, false);
    EXPECT_EQ(c, keep);
    std::string again = keep;
    const char* d = again.c_str();
    dbSymbolTable::add(d, tokIdent);
    EXPECT_EQ(d, keep);

    // Keywords keep their tag whatever was interned first.
    const char* s = "string";
    EXPECT_EQ(dbSymbolTable::add(s, tokIdent), tokString);
    EXPECT_EQ(dbSymbolTable::hash("ab"), std::uint32_t('a' * 31 + 'b'));
}

TEST(QueryBuilding, TextsAndOperandsAlternate)
{
    dbQuery q;
    const char* typed = "O'Brien";
    q.add("name=").add(typed).add(" and id=");
    std::int32_t id = 3;
    q.bind(id);
    const dbQueryElement* e = q.elements();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, dbQueryElement::Text);
    e = e->next;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, dbQueryElement::ParamString);
    EXPECT_EQ(e->ptr, typed);
    e = e->next;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, dbQueryElement::Text);
    e = e->next;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->type, dbQueryElement::ParamInt4);
    EXPECT_EQ(e->ptr, &id);
    EXPECT_EQ(e->next, nullptr);
    EXPECT_FALSE(q.operandExpected());
}

// A parameter is read where it lives each time the query runs: only a
// variable of exactly a parameter type binds; a temporary, or a variable that
// would be bound through a converted copy, does not compile.
template <class Arg>
concept Binds = requires(dbQuery q, Arg&& a) { q.bind(std::forward<Arg>(a)); };
template <class Arg>
concept BindsReference = requires(dbQuery q, Arg&& a) { q.bindReference(std::forward<Arg>(a), nullptr); };
static_assert(Binds<std::int32_t&> && Binds<const std::int64_t&> && Binds<double&> && Binds<bool&> &&
              Binds<std::int8_t&> && Binds<const char*&> && Binds<char*&> && Binds<const char* const&>);
static_assert(!Binds<std::int32_t> && !Binds<const std::int32_t&&> && !Binds<const char*>);
static_assert(!Binds<std::uint16_t&> && !Binds<std::uint8_t&> && !Binds<char&> && !Binds<unsigned&> &&
              !Binds<long long&>);
static_assert(!Binds<const char (&)[4]> && !Binds<std::string&>, "a string literal, a string object");
static_assert(BindsReference<std::uint32_t&> && BindsReference<const std::uint32_t&>);
static_assert(!BindsReference<std::uint32_t> && !BindsReference<const std::uint32_t&&> &&
              !BindsReference<std::int32_t&> && !BindsReference<std::uint16_t&>);

TEST(QueryBuilding, FragmentsAreParenthesisedAndResetReturnsElements)
{
    dbQueryElementAllocator& alloc = dbQueryElementAllocator::instance();
    dbQuery warm("warm up");
    warm.reset();
    std::size_t before = alloc.freeCount();
    {
        dbQuery empty;
        empty.reset();
        EXPECT_EQ(alloc.freeCount(), before);
    }
    dbQuery q;
    std::int32_t from = 1, to = 2;
    dbQueryFragment f("transDate", "stamp");
    f.add("between").bind(from).add("and").bind(to);
    q.addParenthesized(f);
    EXPECT_EQ(f.elements(), nullptr);
    std::vector<std::string> texts;
    int n = 0;
    for (const dbQueryElement* e = q.elements(); e != nullptr; e = e->next, n++) {
        texts.push_back(e->type == dbQueryElement::Text ? static_cast<const char*>(e->ptr) : "?");
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"(", "transDate", ".", "stamp", "between", "?", "and",
                                               "?", ")"}));
    EXPECT_FALSE(q.operandExpected());
    q.add(" order by ");
    std::size_t taken = alloc.freeCount();
    q.reset();
    EXPECT_EQ(q.elements(), nullptr);
    EXPECT_EQ(alloc.freeCount(), taken + 10);

    dbQueryFragment lone("transDate");
    ASSERT_NE(lone.elements(), nullptr);
    EXPECT_EQ(lone.elements()->next, nullptr);
}

} // namespace
