// The expression interpreter, through select on a table of one record:
// arithmetic and its wrap-around rules, conversions to and from text in any
// locale, the ASCII case map, LIKE, substring and list IN, arrays,
// references, EXISTS, date methods, and ORDER BY expression keys.
#include "engine/query_exec.h"
#include "engine/interpreter.h"

#include <cctype>
#include <clocale>
#include <cstdlib>
#include <ctime>
#include <string>

DB_TABLE(Sample);

namespace {

class EvalTest : public QueryExecTest {
  protected:
    void SetUp() override
    {
        QueryExecTest::SetUp();
        self = addSample([&](Sample& s) {
            s.flag = true;
            s.small = -5;
            s.medium = 300;
            s.id = 7;
            s.big = 5000000000LL;
            s.price = 2.5f;
            s.total = 10.25;
            s.name = "abc";
            s.note = "Hello, World";
            static const int1 bytes[] = {5, -1, 0};
            s.bytes.setData(bytes, 3);
            static const bool flags[] = {false, true};
            s.flags.setData(flags, 2);
            static const int4 numbers[] = {10, 20, 30};
            s.numbers.setData(numbers, 3);
            static const real4 weights[] = {0.5f, 1.25f};
            s.weights.setData(weights, 2);
            static const char* const tags[] = {"red", "green", "blue"};
            s.tags.setData(tags, 3);
            s.when = dbDateTime(951782400); // 2000-02-29 00:00:00 UTC
        });
        ASSERT_TRUE(db.commit());
    }

    // Whether the condition holds for the one record (and nothing was reported).
    bool holds(const std::string& condition)
    {
        dbQuery q(condition.c_str());
        std::vector<oid_t> ids = selectIds<Sample>(q);
        std::vector<std::string> messages = takeMessages();
        EXPECT_TRUE(messages.empty()) << condition << ": " << messages.front();
        return ids.size() == 1;
    }

    oid_t self = 0;
};

TEST_F(EvalTest, IntegerArithmeticFollowsTheLanguageRules)
{
    for (const char* c : {"-2 ^ 2 = 4", "2 ^ 10 = 1024", "2 ^ 64 = 0", "2 ^ 63 < 0", "3 ^ -1 = 0", "1 ^ -5 = 1",
                          "(-1) ^ -3 = -1", "(-3) ^ 3 = -27", "7 / 2 = 3", "-7 / 2 = -3", "7 - 2 * 3 = 1",
                          "abs(-4) = 4", "(6 and 3) = 2", "(6 or 3) = 7", "(not 0) = -1",
                          "9223372036854775807 + 1 < 0", "(-9223372036854775807 - 1) / -1 < 0",
                          // products wrap around in 64 bits: 3^41 mod 2^64, signed
                          "3 ^ 41 = -420491770248316829", "big * 2 = 10000000000", "small * medium = -1500"}) {
        EXPECT_TRUE(holds(c)) << c;
    }
    for (const char* c : {"7 / 2 = 4", "2 ^ 64 = 1", "-7 / 2 = -4"}) {
        EXPECT_FALSE(holds(c)) << c;
    }
}

TEST_F(EvalTest, RealArithmeticAndConversions)
{
    for (const char* c : {"2.0 ^ -2 = 0.25", "abs(2.0 ^ 0.5 - 1.4142135623730951) < 0.000000000001",
                          "real(3) / 2 = 1.5", "integer(2.7) = 2", "integer(-2.7) = -2",
                          "integer(1e300) = 9223372036854775807", "integer(-1e300) < 0", "abs(-1.5) = 1.5",
                          "7 / 2.0 = 3.5", "1 + 0.5 = 1.5", "-(0.5) < 0"}) {
        EXPECT_TRUE(holds(c)) << c;
    }
}

TEST_F(EvalTest, TextConversionsAreLocaleFree)
{
    const char* conditions[] = {"string(1.5) = '1.500000'", "string(-12) = '-12'", "string(price) = '2.500000'",
                                "string(big) = '5000000000'", "string(-0.0000001) = '-0.000000'",
                                "string(1e20) = '100000000000000000000.000000'", "total = 10.25"};
    for (const char* c : conditions) {
        EXPECT_TRUE(holds(c)) << c;
    }
    // The program runs in the user's locale; a decimal comma must change nothing.
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = numeric != nullptr ? numeric : "C";
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "locales-all is missing";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.1f", 1.5);
    ASSERT_STREQ(buf, "1,5"); // the locale is in effect
    for (const char* c : conditions) {
        EXPECT_TRUE(holds(c)) << c << " under a decimal comma";
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(EvalTest, CaseMapIsAsciiOnly)
{
    for (const char* c : {"upper(name) = 'ABC'", "lower('MiXeD 1') = 'mixed 1'", "upper(note) = 'HELLO, WORLD'",
                          "upper('\xC3\xA9t\xC3\xA9') = '\xC3\xA9T\xC3\xA9'", "lower('\xC3\x80') = '\xC3\x80'",
                          "upper('\xE9') = '\xE9'"}) {
        EXPECT_TRUE(holds(c)) << c;
    }
    // A single-byte locale whose toupper maps 0xE9 to 0xC9 changes nothing.
    const char* ctype = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = ctype != nullptr ? ctype : "C";
    ASSERT_NE(std::setlocale(LC_CTYPE, "de_DE"), nullptr) << "locales-all is missing";
    volatile int e = 0xE9; // not folded by the compiler in the C locale
    ASSERT_EQ(std::toupper(e), 0xC9);
    EXPECT_TRUE(holds("upper('\xE9') = '\xE9'"));
    EXPECT_TRUE(holds("lower('\xC9') = '\xC9'"));
    std::setlocale(LC_CTYPE, saved.c_str());
    EXPECT_EQ(dbUpperAscii('q'), 'Q');
    EXPECT_EQ(dbLowerAscii('\xC9'), '\xC9');
}

TEST_F(EvalTest, StringsCompareByteWise)
{
    for (const char* c : {"name = 'abc'", "name < 'abd'", "name > 'ab'", "name between 'abc' and 'abc'",
                          "'B' < 'a'", "'\xC3\x89' > 'z'", "length(name) = 3", "length('') = 0",
                          "name[0] = 97", "'\xFF'[0] = 255", "name + '!' = 'abc!'", "'x' || name = 'xabc'",
                          "name || '' = name"}) {
        EXPECT_TRUE(holds(c)) << c;
    }
    EXPECT_FALSE(holds("name between 'b' and 'c'"));
    EXPECT_FALSE(holds("name = 'ABC'"));
}

TEST_F(EvalTest, LikeWithWildcardsAndEscape)
{
    auto like = [&](const char* text, const char* pattern, const char* escape = nullptr) {
        std::string c = std::string("'") + text + "' like '" + pattern + "'";
        if (escape != nullptr) {
            c += std::string(" escape '") + escape + "'";
        }
        return holds(c);
    };
    EXPECT_TRUE(like("", "%"));
    EXPECT_TRUE(like("anything", "%"));
    EXPECT_TRUE(like("a", "_"));
    EXPECT_FALSE(like("", "_"));
    EXPECT_FALSE(like("ab", "_"));
    EXPECT_TRUE(like("ab", "a%b"));
    EXPECT_TRUE(like("axxb", "a%b"));
    EXPECT_FALSE(like("abx", "a%b"));
    EXPECT_TRUE(like("abcbc", "%bc"));
    EXPECT_TRUE(like("abc", "a%%"));
    EXPECT_TRUE(like("abc", "_b_"));
    EXPECT_FALSE(like("ABC", "abc"));
    EXPECT_TRUE(like("a%", "a!%", "!"));
    EXPECT_FALSE(like("ab", "a!%", "!"));
    EXPECT_FALSE(like("a%x", "a!%", "!"));
    EXPECT_TRUE(like("a_c", "a!_c", "!"));
    EXPECT_FALSE(like("abc", "a!_c", "!"));
    EXPECT_TRUE(like("a!c", "a!!c", "!"));
    EXPECT_FALSE(like("a!c", "a!c", "!")); // the escape never matches itself
    EXPECT_TRUE(holds("upper(name) like 'AB%'"));
    EXPECT_FALSE(holds("name like 'AB%'"));

    EXPECT_TRUE(dbMatchLike("x%y", "x#%y", '#'));
    EXPECT_FALSE(dbMatchLike("x_y", "x#%y", '#'));
}

TEST_F(EvalTest, InTestsSubstringsListsAndArrays)
{
    for (const char* c : {"name in 'xxabcxx'", "'bc' in name", "'' in name", "not ('abcd' in name)",
                          "'ell' in note", "not ('hello' in note)", "id in (1, 7, 9)", "not (id in (1, 2))",
                          "price in (1, 2.5)", "name in ('x', 'abc')", "5 in bytes", "-1 in bytes",
                          "255 in bytes", "not (4 in bytes)", "20 in numbers", "not (25 in numbers)", "1.25 in weights",
                          "not (1.3 in weights)", "true in flags", "'green' in tags", "not ('gree' in tags)",
                          "not (null in children)"}) {
        EXPECT_TRUE(holds(c)) << c;
    }
    // Texts of 512 characters and more are searched another way.
    std::string hay(5000, 'x');
    hay.replace(4000, 6, "needle");
    const char* text = hay.c_str();
    const char* needle = "needle";
    const char* missing = "needles";
    for (const char* const* word : {&needle, &missing}) {
        dbQuery q;
        q.add("").bind(*word).append(dbQueryElement::Text, " in ").bind(text);
        EXPECT_EQ(selectIds<Sample>(q).size(), *word == needle ? 1u : 0u) << *word;
    }
    std::string edge(600, 'y');
    edge += "end";
    const char* edgeText = edge.c_str();
    const char* tail = "yend";
    dbQuery q;
    q.add("").bind(tail).append(dbQueryElement::Text, " in ").bind(edgeText);
    EXPECT_EQ(selectIds<Sample>(q).size(), 1u);
}

TEST_F(EvalTest, ArraysReferencesAndExists)
{
    oid_t child = addSample([](Sample& s) {
        s.id = 8;
        s.name = "child";
    });
    {
        dbCursor<Sample> c(dbCursorForUpdate);
        dbQuery q("id = 7");
        ASSERT_EQ(c.select(q), 1u);
        dbReference<Sample> kids[] = {dbReference<Sample>(child)};
        c->children.setData(kids, 1);
        c->parent = dbReference<Sample>(child);
        ASSERT_TRUE(c.update());
    }
    ASSERT_TRUE(db.commit());
    std::vector<oid_t> found = selectIds<Sample>("parent != null and parent.name = 'child'");
    EXPECT_EQ(found, std::vector<oid_t>{self});
    found = selectIds<Sample>("parent is null");
    EXPECT_EQ(found, std::vector<oid_t>{child});
    // The child has no array elements: the id in front keeps its indexes
    // from being evaluated.
    for (const char* c : {"length(tags) = 3", "id = 7 and tags[1] = 'green'", "id = 7 and numbers[2] = 30",
                          "id = 7 and bytes[1] = -1", "id = 7 and weights[1] = 1.25", "id = 7 and flags[1] = true",
                          "length(children) > 0 and children[0].name = 'child'", "exists i: tags[i] = 'blue'",
                          "exists i: exists j: numbers[i] + numbers[j] = 50",
                          "exists i: exists j: (tags[i] = 'red' and numbers[j] = 30)"}) {
        found = selectIds<Sample>(c);
        EXPECT_EQ(found, std::vector<oid_t>{self}) << c;
    }
    found = selectIds<Sample>("not exists i: tags[i] = 'black'");
    EXPECT_EQ(found.size(), 2u);
    EXPECT_TRUE(takeMessages().empty());
    found = selectIds<Sample>("current = parent");
    EXPECT_TRUE(found.empty());
    found = selectIds<Sample>("parent != null and parent.parent is null");
    EXPECT_EQ(found, std::vector<oid_t>{self});
}

TEST_F(EvalTest, BooleanArrayElementsMatchTrueOnlyAsOne)
{
    // A stored boolean byte of 2 reads as true, but IN compares with 1.
    addSample([](Sample& s) {
        s.id = 9;
        static const bool one[] = {true};
        s.flags.setData(one, 1);
        reinterpret_cast<unsigned char*>(s.flags.get())[0] = 2;
    });
    ASSERT_TRUE(db.commit());
    std::vector<oid_t> ids = selectIds<Sample>("id = 9 and flags[0]");
    EXPECT_EQ(ids.size(), 1u);
    ids = selectIds<Sample>("id = 9 and true in flags");
    EXPECT_TRUE(ids.empty());
}

TEST_F(EvalTest, DateMethodsAndOrderByExpressionKeys)
{
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_TRUE(holds("when.year = 2000 and when.month = 2 and when.day = 29"));
    EXPECT_TRUE(holds("when.dayOfWeek = 3 and when.dayOfYear = 60 and when.hour = 0"));
    // Months 2 (self), 12, 1 and 7; card-like byte arrays of 3, 0, 5 and 1 bytes.
    const std::pair<std::int32_t, int> more[] = {{1701388800, 0}, {1704067200, 5}, {1688169600, 1}};
    std::vector<oid_t> byMonth = {0, self, 0, 0};
    int k = 0;
    for (auto [stamp, nBytes] : more) {
        oid_t id = addSample([&](Sample& s) {
            s.id = 100 + k;
            s.when = dbDateTime(stamp);
            s.bytes.resize(std::size_t(nBytes));
        });
        k += 1;
        if (k == 1) {
            byMonth[3] = id; // December
        } else if (k == 2) {
            byMonth[0] = id; // January
        } else {
            byMonth[2] = id; // July
        }
    }
    ASSERT_TRUE(db.commit());
    dbQuery q("order by when.month");
    EXPECT_EQ(selectIds<Sample>(q), byMonth);
    EXPECT_EQ(dbLastQueryStatistics().sorts, 1u);
    std::vector<oid_t> byLength = selectIds<Sample>("order by length(bytes) desc");
    ASSERT_EQ(byLength.size(), 4u);
    EXPECT_EQ(byLength[0], byMonth[0]); // 5 bytes
    EXPECT_EQ(byLength[1], self);        // 3
    EXPECT_EQ(byLength[2], byMonth[2]); // 1
    EXPECT_EQ(byLength[3], byMonth[3]); // 0
    std::vector<oid_t> byText = selectIds<Sample>("order by string(id) desc");
    ASSERT_EQ(byText.size(), 4u);
    EXPECT_EQ(byText[0], self); // "7" sorts after "102"
    EXPECT_TRUE(takeMessages().empty());
}

} // namespace
