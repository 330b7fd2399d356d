// Compiled trees of the query compiler, shown through their dump.
#define QUERY_FIXTURES_DEFINE_TABLES
#include "query_fixtures.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class CompileTest : public ::testing::Test, protected CompileHelper {};

TEST_F(CompileTest, OrderByAloneIsAnEmptyConditionWithKeys)
{
    dbQuery q("order by name desc");
    ASSERT_TRUE(compile(q));
    EXPECT_EQ(dbDumpExpr(q.tree), "opVoid");
    EXPECT_EQ(q.table, &Item::dbDescriptor);
    ASSERT_NE(q.order, nullptr);
    EXPECT_STREQ(q.order->field->name, "name");
    EXPECT_EQ(q.order->expr, nullptr);
    EXPECT_FALSE(q.order->ascent);
    EXPECT_EQ(q.order->next, nullptr);
    EXPECT_EQ(q.startFrom, dbCompiledQuery::StartFromAny);

    dbQuery empty("");
    ASSERT_TRUE(compile(empty));
    EXPECT_EQ(dbDumpExpr(empty.tree), "opVoid");
    EXPECT_EQ(empty.order, nullptr);
}

TEST_F(CompileTest, ParametersStandOnTheRightOfComparisons)
{
    std::int32_t id = 5;
    dbQuery q;
    q.add("id=").bind(id);
    EXPECT_EQ(treeOf(q), "opEqInt(opLoadSelfInt4 id, opParamInt4)");
    EXPECT_EQ(q.tree->operand[1]->param.var, &id);

    dbQuery swapped;
    swapped.bind(id).add(" < id");
    EXPECT_EQ(treeOf(swapped), "opGtInt(opLoadSelfInt4 id, opParamInt4)");
    dbQuery swappedGe;
    swappedGe.bind(id).add(" >= id");
    EXPECT_EQ(treeOf(swappedGe), "opLeInt(opLoadSelfInt4 id, opParamInt4)");

    // Literal constants keep their place.
    EXPECT_EQ(tree("5 < id"), "opLtInt(opIntConst 5, opLoadSelfInt4 id)");

    // A string added after a text is bound, not parsed: a quote inside
    // stays data.
    dbQuery bound;
    bound.add("name=").add("O'Brien");
    EXPECT_EQ(treeOf(bound), "opEqString(opLoadSelfString name, opParamString)");

    const char* typed = "x";
    dbQuery text;
    text.bind(typed).add(" > name");
    EXPECT_EQ(treeOf(text), "opLtString(opLoadSelfString name, opParamStringPtr)");
}

TEST_F(CompileTest, ReferencePathsAndNullTests)
{
    EXPECT_EQ(tree("parent!=null and parent.name='x'"),
              "opAndBool(opNeReference(opLoadSelfReference parent, opNull), "
              "opEqString(opLoadString name(opDeref(opLoadSelfReference parent)), opStringConst 'x'))");
    EXPECT_EQ(tree("parent.parent.id = 1"),
              "opEqInt(opLoadInt4 id(opDeref(opLoadReference parent(opDeref(opLoadSelfReference "
              "parent)))), opIntConst 1)");
    EXPECT_EQ(tree("parent is null"), "opIsNull(opLoadSelfReference parent)");
    EXPECT_EQ(tree("parent is not null"), "opNotBool(opIsNull(opLoadSelfReference parent))");
    EXPECT_EQ(tree("parent = 3"),
              "opEqReference(opLoadSelfReference parent, opIntToReference(opIntConst 3))");
    EXPECT_EQ(tree("current = parent"), "opEqReference(opCurrent, opLoadSelfReference parent)");
    EXPECT_EQ(tree("first.id = 1"), "opEqInt(opLoadInt4 id(opDeref(opFirst)), opIntConst 1)");

    std::uint32_t ref = 9;
    dbQuery q;
    q.add("parent=").bindReference(ref, &Item::dbDescriptor);
    EXPECT_EQ(treeOf(q), "opEqReference(opLoadSelfReference parent, opParamReference)");
    dbQuery through;
    through.bindReference(ref, &Item::dbDescriptor).add(".id = 2");
    EXPECT_EQ(treeOf(through), "opEqInt(opLoadInt4 id(opDeref(opParamReference)), opIntConst 2)");
}

TEST_F(CompileTest, LikeAndStringFunctions)
{
    EXPECT_EQ(tree("upper(name) like 'A%'"),
              "opLike(opUpper(opLoadSelfString name), opStringConst 'A%')");
    EXPECT_EQ(tree("name like 'a!%' escape '!'"),
              "opLikeEscape(opLoadSelfString name, opStringConst 'a!%', opStringConst '!')");
    EXPECT_EQ(tree("not name like 'a%'"), "opNotBool(opLike(opLoadSelfString name, opStringConst 'a%'))");
    EXPECT_EQ(tree("name not like 'a%'"), "opNotBool(opLike(opLoadSelfString name, opStringConst 'a%'))");
    EXPECT_EQ(tree("name in ('abc')"), "opInString(opLoadSelfString name, opStringConst 'abc')");
    EXPECT_EQ(tree("name || 'x' = note + 'y'"),
              "opEqString(opConcat(opLoadSelfString name, opStringConst 'x'), "
              "opConcat(opLoadSelfString note, opStringConst 'y'))");
    EXPECT_EQ(tree("length(name) > 2"), "opGtInt(opStringLength(opLoadSelfString name), opIntConst 2)");
    EXPECT_EQ(tree("name[0] = 65"),
              "opEqInt(opStringChar(opLoadSelfString name, opIntConst 0), opIntConst 65)");
    EXPECT_EQ(tree("lower('AB')[1] = 98"),
              "opEqInt(opStringChar(opLower(opStringConst 'AB'), opIntConst 1), opIntConst 98)");
    EXPECT_EQ(tree("string(id) = '1'"),
              "opEqString(opIntToString(opLoadSelfInt4 id), opStringConst '1')");
    EXPECT_EQ(tree("name between 'a' and 'b'"),
              "opBetweenString(opLoadSelfString name, opStringConst 'a', opStringConst 'b')");
}

TEST_F(CompileTest, InListsBecomeChainsOfEqualities)
{
    EXPECT_EQ(tree("id in (1, 2, 3)"),
              "opOrBool(opOrBool(opEqInt(opLoadSelfInt4 id, opIntConst 1), "
              "opEqInt(opLoadSelfInt4 id, opIntConst 2)), opEqInt(opLoadSelfInt4 id, opIntConst 3))");
    // Every comparison has its own copy of the left side.
    dbQuery q("upper(name) in ('A', 'B')");
    ASSERT_TRUE(compile(q));
    ASSERT_EQ(q.tree->cop, opOrBool);
    EXPECT_NE(q.tree->operand[0]->operand[0], q.tree->operand[1]->operand[0]);
    EXPECT_EQ(dbDumpExpr(q.tree->operand[1]), "opEqString(opUpper(opLoadSelfString name), opStringConst 'B')");
    EXPECT_EQ(tree("price in (1, 2.5)"),
              "opOrBool(opEqReal(opLoadSelfReal4 price, opRealConst 1), "
              "opEqReal(opLoadSelfReal4 price, opRealConst 2.5))");
    EXPECT_EQ(tree("not id in (1, 2)"),
              "opNotBool(opOrBool(opEqInt(opLoadSelfInt4 id, opIntConst 1), "
              "opEqInt(opLoadSelfInt4 id, opIntConst 2)))");
}

TEST_F(CompileTest, InArraysCompareWithElements)
{
    EXPECT_EQ(tree("small in bytes"), "opInArrayInt1(opLoadSelfInt1 small, opLoadSelfArray bytes)");
    EXPECT_EQ(tree("parent in children"),
              "opInArrayReference(opLoadSelfReference parent, opLoadSelfArray children)");
    EXPECT_EQ(tree("id in children"),
              "opInArrayReference(opIntToReference(opLoadSelfInt4 id), opLoadSelfArray children)");
    EXPECT_EQ(tree("'a' in tags"), "opInArrayString(opStringConst 'a', opLoadSelfArray tags)");
    EXPECT_EQ(tree("length(children) = 0"),
              "opEqInt(opArrayLength(opLoadSelfArray children), opIntConst 0)");
    EXPECT_EQ(tree("children[1].id = 4"),
              "opEqInt(opLoadInt4 id(opDeref(opLoadReference [](opArrayElement(opLoadSelfArray "
              "children, opIntConst 1)))), opIntConst 4)");
    dbQuery q("bytes[2] = 1");
    ASSERT_TRUE(compile(q));
    EXPECT_EQ(q.tree->operand[0]->ref.base->offs, 1); // element size of a byte array
}

TEST_F(CompileTest, ArithmeticTypesAndConstantFolding)
{
    EXPECT_EQ(tree("2 ^ 3 = 8"), "opEqInt(opPowerInt(opIntConst 2, opIntConst 3), opIntConst 8)");
    EXPECT_EQ(tree("2.0 ^ 3 = 8"),
              "opEqReal(opPowerRealInt(opRealConst 2, opIntConst 3), opRealConst 8)");
    EXPECT_EQ(tree("2 ^ 0.5 > 1"),
              "opGtReal(opPowerReal(opRealConst 2, opRealConst 0.5), opRealConst 1)");
    // Power is right-associative, the others left-associative.
    EXPECT_EQ(tree("2 ^ 3 ^ 2 = id"),
              "opEqInt(opPowerInt(opIntConst 2, opPowerInt(opIntConst 3, opIntConst 2)), opLoadSelfInt4 id)");
    EXPECT_EQ(tree("id - 1 - 2 = 0"),
              "opEqInt(opSubInt(opSubInt(opLoadSelfInt4 id, opIntConst 1), opIntConst 2), opIntConst 0)");
    EXPECT_EQ(tree("id + 2 * 3 = 0"),
              "opEqInt(opAddInt(opLoadSelfInt4 id, opMulInt(opIntConst 2, opIntConst 3)), opIntConst 0)");
    EXPECT_EQ(tree("-5 = id"), "opEqInt(opIntConst -5, opLoadSelfInt4 id)");
    EXPECT_EQ(tree("- id = 1"), "opEqInt(opNegInt(opLoadSelfInt4 id), opIntConst 1)");
    EXPECT_EQ(tree("-total < -1.5"), "opLtReal(opNegReal(opLoadSelfReal8 total), opRealConst -1.5)");
    EXPECT_EQ(tree("id / 2 > price"),
              "opGtReal(opIntToReal(opDivInt(opLoadSelfInt4 id, opIntConst 2)), opLoadSelfReal4 price)");
    EXPECT_EQ(tree("(not 0) = id"), "opEqInt(opIntConst -1, opLoadSelfInt4 id)");
    EXPECT_EQ(tree("not id = 0"), "opNotBool(opEqInt(opLoadSelfInt4 id, opIntConst 0))");
    EXPECT_EQ(tree("(not id) = 0"), "opEqInt(opNotInt(opLoadSelfInt4 id), opIntConst 0)");
    EXPECT_EQ(tree("(id and 1) = 1 or (big or 2) = 2"),
              "opOrBool(opEqInt(opAndInt(opLoadSelfInt4 id, opIntConst 1), opIntConst 1), "
              "opEqInt(opOrInt(opLoadSelfInt8 big, opIntConst 2), opIntConst 2))");
    EXPECT_EQ(tree("abs(id) = integer(total)"),
              "opEqInt(opAbsInt(opLoadSelfInt4 id), opRealToInt(opLoadSelfReal8 total))");
    EXPECT_EQ(tree("real(id) = 1"), "opEqReal(opIntToReal(opLoadSelfInt4 id), opRealConst 1)");
    EXPECT_EQ(tree("medium between 1 and 2.5"),
              "opBetweenReal(opIntToReal(opLoadSelfInt2 medium), opRealConst 1, opRealConst 2.5)");
}

TEST_F(CompileTest, BooleansNotAndPrecedence)
{
    EXPECT_EQ(tree("flag"), "opLoadSelfBool flag");
    EXPECT_EQ(tree("flag = true"), "opEqBool(opLoadSelfBool flag, opTrue)");
    EXPECT_EQ(tree("not id = 1"), "opNotBool(opEqInt(opLoadSelfInt4 id, opIntConst 1))");
    EXPECT_EQ(tree("flag or id = 1 and id = 2"),
              "opOrBool(opLoadSelfBool flag, opAndBool(opEqInt(opLoadSelfInt4 id, opIntConst 1), "
              "opEqInt(opLoadSelfInt4 id, opIntConst 2)))");
    EXPECT_EQ(tree("(flag or false) and true"),
              "opAndBool(opOrBool(opLoadSelfBool flag, opFalse), opTrue)");
    EXPECT_EQ(tree("where id = 1"), "opEqInt(opLoadSelfInt4 id, opIntConst 1)");
}

TEST_F(CompileTest, DateMethodsAndStructureComponents)
{
    EXPECT_EQ(tree("when.year = 2024"), "opEqInt(opInvokeSelfInt4 year, opIntConst 2024)");
    EXPECT_EQ(tree("parent.when.stamp > when.stamp"),
              "opGtInt(opLoadInt4 stamp(opDeref(opLoadSelfReference parent)), opLoadSelfInt4 stamp)");
    EXPECT_EQ(tree("parent.when.month = 12"),
              "opEqInt(opInvokeInt4 month(opDeref(opLoadSelfReference parent)), opIntConst 12)");
    std::int32_t from = 0, to = 100;
    dbQuery q;
    dbQueryFragment range("when", "stamp");
    range.add("between").bind(from).add("and").bind(to);
    q.addParenthesized(range);
    q.add(" order by");
    dbQueryFragment key("when", "stamp");
    key.add("desc");
    q.addParenthesized(key);
    ASSERT_EQ(treeOf(q), "opBetweenInt(opLoadSelfInt4 stamp, opParamInt4, opParamInt4)");
    ASSERT_NE(q.order, nullptr);
    EXPECT_STREQ(q.order->field->name, "stamp");
    EXPECT_FALSE(q.order->ascent);
    EXPECT_EQ(q.order->next, nullptr);
}

TEST_F(CompileTest, ExistsLoops)
{
    EXPECT_EQ(tree("exists i: children[i] = current"),
              "opExists#0(opEqReference(opLoadReference [](opArrayElement(opLoadSelfArray children, "
              "opVariable#0)), opCurrent))");
    EXPECT_EQ(tree("exists i: true"), "opTrue");
    EXPECT_EQ(tree("exists i: exists j: children[i] = children[j]"),
              "opExists#0(opExists#1(opEqReference(opLoadReference [](opArrayElement(opLoadSelfArray "
              "children, opVariable#0)), opLoadReference [](opArrayElement(opLoadSelfArray children, "
              "opVariable#1)))))");
    EXPECT_EQ(tree("exists i: (tags[i] = 'a') and flag"),
              "opAndBool(opExists#0(opEqString(opLoadString [](opArrayElement(opLoadSelfArray tags, "
              "opVariable#0)), opStringConst 'a')), opLoadSelfBool flag)");
}

TEST_F(CompileTest, OrderByKeys)
{
    dbQuery q("id > 0 order by name, id desc, (price asc)");
    ASSERT_TRUE(compile(q));
    dbOrderByNode* k = q.order;
    ASSERT_NE(k, nullptr);
    EXPECT_STREQ(k->field->name, "name");
    EXPECT_TRUE(k->ascent);
    ASSERT_NE(k = k->next, nullptr);
    EXPECT_STREQ(k->field->name, "id");
    EXPECT_FALSE(k->ascent);
    ASSERT_NE(k = k->next, nullptr);
    EXPECT_STREQ(k->field->name, "price");
    EXPECT_TRUE(k->ascent);
    EXPECT_EQ(k->next, nullptr);

    // The length of an array sorts by its element count, a method by its
    // value: both are evaluated per record.
    dbQuery len("order by length(bytes) desc, when.month");
    ASSERT_TRUE(compile(len));
    ASSERT_NE(len.order, nullptr);
    EXPECT_EQ(len.order->field, nullptr);
    EXPECT_EQ(dbDumpExpr(len.order->expr), "opArrayLength(opLoadSelfArray bytes)");
    EXPECT_FALSE(len.order->ascent);
    ASSERT_NE(len.order->next, nullptr);
    EXPECT_EQ(dbDumpExpr(len.order->next->expr), "opInvokeSelfInt4 month");
    EXPECT_EQ(len.order->next->table, &Item::dbDescriptor);

    dbQuery through("order by parent.name");
    ASSERT_TRUE(compile(through));
    EXPECT_EQ(dbDumpExpr(through.order->expr), "opLoadString name(opDeref(opLoadSelfReference parent))");
}

TEST_F(CompileTest, StartFromAndFollowBy)
{
    dbQuery q("start from first follow by parent, children");
    ASSERT_TRUE(compile(q));
    EXPECT_EQ(q.startFrom, dbCompiledQuery::StartFromFirst);
    ASSERT_NE(q.follow, nullptr);
    EXPECT_STREQ(q.follow->field->name, "children"); // reverse text order
    ASSERT_NE(q.follow->next, nullptr);
    EXPECT_STREQ(q.follow->next->field->name, "parent");

    std::uint32_t root = 1;
    dbQuery r;
    r.add("flag start from").bindReference(root, &Item::dbDescriptor).add(" order by id");
    ASSERT_TRUE(compile(r));
    EXPECT_EQ(r.startFrom, dbCompiledQuery::StartFromRef);
    EXPECT_EQ(r.startParameter, &root);
    EXPECT_EQ(dbDumpExpr(r.tree), "opLoadSelfBool flag");
    ASSERT_NE(r.order, nullptr);

    dbQuery last("start from last");
    ASSERT_TRUE(compile(last));
    EXPECT_EQ(last.startFrom, dbCompiledQuery::StartFromLast);
}

TEST_F(CompileTest, RecompilingReplacesTheFormerTreeWithoutLeaking)
{
    dbExprNodeAllocator& pool = dbExprNodeAllocator::instance();
    dbQuery q("name like 'a%' and id in (1, 2) order by length(bytes)");
    ASSERT_TRUE(compile(q));
    std::size_t compiledOnce = pool.freeCount();
    for (int i = 0; i < 5; i++) {
        ASSERT_TRUE(compile(q));
    }
    EXPECT_EQ(pool.freeCount(), compiledOnce);
    q.reset();
    EXPECT_EQ(q.tree, nullptr);
    EXPECT_EQ(q.order, nullptr);
    EXPECT_EQ(q.table, nullptr);
    EXPECT_GT(pool.freeCount(), compiledOnce);

    // Another table, another compilation.
    dbQuery code("code = 1");
    ASSERT_TRUE(compile(code, &Other::dbDescriptor));
    EXPECT_EQ(dbDumpExpr(code.tree), "opEqInt(opLoadSelfInt4 code, opIntConst 1)");
    EXPECT_FALSE(compile(code, &Item::dbDescriptor));
    EXPECT_EQ(code.tree, nullptr);
    EXPECT_EQ(code.table, nullptr);
}

TEST(ExprNodes, CompilersOfSeveralThreadsShareThePoolAndTheSymbols)
{
    dbExprNodeAllocator& pool = dbExprNodeAllocator::instance();
    CapturingDatabase db;
    {
        // One compilation first, so that the pool holds enough nodes.
        dbCompiler warm(&db);
        std::vector<std::unique_ptr<dbQuery>> held;
        for (int i = 0; i < 4; i++) {
            held.push_back(std::make_unique<dbQuery>("upper(name) like 'A%' and id in (1, 2, 3) order by name"));
            ASSERT_TRUE(warm.compile(&Item::dbDescriptor, *held.back()));
        }
    }
    std::size_t before = pool.freeCount();
    std::vector<std::thread> threads;
    std::vector<int> compiled(4, 0);
    std::vector<std::size_t> refused(4, 0);
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([t, &compiled, &refused] {
            CapturingDatabase own;
            dbCompiler compiler(&own);
            std::string name = "thread" + std::to_string(t) + "name";
            for (int i = 0; i < 2000; i++) {
                dbQuery q("upper(name) like 'A%' and id in (1, 2, 3) order by name");
                if (compiler.compile(&Item::dbDescriptor, q) && q.tree->cop == opAndBool) {
                    compiled[t] += 1;
                }
                // Names new to the symbol table, interned while others look up.
                std::string text = name + std::to_string(i % 50) + " = 1";
                dbQuery unknown(text.c_str());
                compiler.compile(&Item::dbDescriptor, unknown);
            }
            refused[t] = own.errors.size();
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(compiled, std::vector<int>(4, 2000));
    EXPECT_EQ(pool.freeCount(), before);
    EXPECT_EQ(refused, std::vector<std::size_t>(4, 2000));
}

TEST(ExprNodes, OpcodeTablesAgreeWithTheInstructionSet)
{
    EXPECT_EQ(dbExprNode::mirror(opGtInt), opLtInt);
    EXPECT_EQ(dbExprNode::mirror(opLeReal), opGeReal);
    EXPECT_EQ(dbExprNode::mirror(opGeString), opLeString);
    EXPECT_EQ(dbExprNode::mirror(opLtBinary), opGtBinary);
    EXPECT_EQ(dbExprNode::mirror(opEqReference), opEqReference);
    EXPECT_EQ(dbExprNode::mirror(opNeBool), opNeBool);
    EXPECT_EQ(dbExprNode::operandCount(opBetweenString), 3);
    EXPECT_EQ(dbExprNode::operandCount(opLikeEscape), 3);
    EXPECT_EQ(dbExprNode::operandCount(opStringConst), 0);
    EXPECT_EQ(dbExprNode::resultType(opArrayElement), tpInteger);
    EXPECT_EQ(dbExprNode::resultType(opDeref), tpReference);
    EXPECT_EQ(dbExprNode::resultType(opParamUnknown), tpString);
    EXPECT_EQ(dbExprNode::resultType(opVoid), tpVoid);
    EXPECT_STREQ(dbOpcodeName(opVoid), "opVoid");
    EXPECT_STREQ(dbOpcodeName(opList), "opList");
    EXPECT_EQ(opVoid, 169);
    EXPECT_EQ(opParamUnknown, 67);
}

TEST(ExprNodes, PoolHandsOutChunksAndRecyclesNodes)
{
    dbExprNodeAllocator& pool = dbExprNodeAllocator::instance();
    std::vector<dbExprNode*> nodes;
    std::size_t before = pool.freeCount();
    for (std::size_t i = 0; i < before + 1; i++) {
        nodes.push_back(pool.allocate());
    }
    // The free list ran dry once: a new chunk put 1023 nodes on it.
    EXPECT_EQ(pool.freeCount(), dbExprNodeAllocator::chunkSize - 1);
    for (dbExprNode* n : nodes) {
        n->cop = opTrue;
        pool.deleteTree(n);
    }
    EXPECT_EQ(pool.freeCount(), before + dbExprNodeAllocator::chunkSize);
}

} // namespace
