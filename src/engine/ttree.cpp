#include "engine/ttree.h"

#include "engine/radixsort.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace {

constexpr int maxItems = dbTtreeNode::maxItems;
// A node that held fewer items than this before a removal takes one back
// from its subtree, so that inner nodes stay nearly full.
constexpr int minItems = maxItems - 1;

// A height-balanced tree of 2^32 nodes is less than 48 levels deep, and an
// insert or remove goes down at most twice per level: a deeper descent
// follows a loop in damaged links.
constexpr int maxDescent = 128;

// Whether keys of the type are integers that dbTtree::compare orders by
// their values, and such a key as an unsigned number of the same order.
bool integerKeyed(int type)
{
    switch (type) {
      case dbField::tpBool:
      case dbField::tpInt1:
      case dbField::tpInt2:
      case dbField::tpInt4:
      case dbField::tpInt8:
      case dbField::tpReference:
        return true;
      default:
        return false;
    }
}

std::uint64_t integerKey(int type, const byte* at)
{
    switch (type) {
      case dbField::tpBool:
        return dbOrderedKey<std::uint8_t, std::uint64_t>(at);
      case dbField::tpInt1:
        return dbOrderedKey<std::int8_t, std::uint64_t>(at);
      case dbField::tpInt2:
        return dbOrderedKey<std::int16_t, std::uint64_t>(at);
      case dbField::tpInt4:
        return dbOrderedKey<std::int32_t, std::uint64_t>(at);
      case dbField::tpInt8:
        return dbOrderedKey<std::int64_t, std::uint64_t>(at);
      default:
        return dbOrderedKey<oid_t, std::uint64_t>(at);
    }
}

// One operation on one tree: the key field's description and node access.
class Tree {
  public:
    Tree(dbDatabase* d, int t, std::size_t s, dbUDTComparator c, std::size_t o)
        : db(d), type(t), size(s), comparator(c), offs(o) {}

    // Held by every recursive step for the length of its descent.
    struct Descent {
        explicit Descent(Tree& t) : tree(t)
        {
            if (++tree.depth > maxDescent) {
                dbDamaged(tree.db);
            }
        }
        ~Descent() { tree.depth -= 1; }
        Tree& tree;
    };

    const dbTtreeNode* node(oid_t id)
    {
        const dbTtreeNode* n = reinterpret_cast<const dbTtreeNode*>(dbMustGet(db, id, dbTtree::nodeMarker));
        if (n->nItems == 0 || n->nItems > maxItems) {
            dbDamaged(db);
        }
        return n;
    }
    dbTtreeNode* writable(oid_t id) { return reinterpret_cast<dbTtreeNode*>(dbMustPut(db, id)); }
    int cmp(const void* key, oid_t item)
    {
        return dbTtree::compare(key, dbMustGet(db, item, 0), type, size, comparator, offs);
    }
    const void* keyOf(oid_t item) { return dbRecordKey(dbMustGet(db, item, 0), type, size, offs).data; }

    oid_t newNode(oid_t id)
    {
        oid_t n = dbMustAllocate(db, dbTtree::nodeMarker);
        dbTtreeNode* p = writable(n);
        p->left = p->right = 0;
        p->balance = 0;
        p->nItems = 1;
        p->item[0] = id;
        return n;
    }

    // Sides of a node: a child link by side, and the balance that says the
    // side is higher (-1 left, +1 right).
    enum Side { left = 0, right = 1 };
    static oid_t& child(dbTtreeNode* n, int side) { return side == left ? n->left : n->right; }
    static oid_t child(const dbTtreeNode* n, int side) { return side == left ? n->left : n->right; }
    static int heavier(int side) { return side == left ? -1 : 1; }

    // Asks the processor for the rows of a node's first and last items and
    // for its children, which lie anywhere in the file, before the descent
    // reads any of them: the waits for them overlap instead of adding up.
    void askForKeysAndChildren(const dbTtreeNode* nd)
    {
        db->prefetchRow(nd->item[0]);
        db->prefetchRow(nd->item[nd->nItems - 1]);
        for (oid_t c : {nd->left, nd->right}) {
            if (const byte* p = c != 0 ? db->addressHint(c) : nullptr) {
                dbPrefetch(p);
            }
        }
    }

    // Inserts id into the subtree rooted at nodeId (which a rotation may
    // change); true when the subtree grew in height.
    bool insert(oid_t& nodeId, oid_t id, const void* key)
    {
        Descent down(*this);
        oid_t n = nodeId;
        const dbTtreeNode* nd = node(n);
        int count = nd->nItems;
        int diff = cmp(key, nd->item[0]);
        if (diff > 0) {
            diff = cmp(key, nd->item[count - 1]);
            if (diff < 0) {
                // Inside the node's range: the first item not smaller.
                int l = 1, r = count - 1;
                while (l < r) {
                    int m = (l + r) >> 1;
                    int d = cmp(key, nd->item[m]);
                    if (d == 0) {
                        l = m;
                        break;
                    }
                    if (d > 0) {
                        l = m + 1;
                    } else {
                        r = m;
                    }
                }
                dbTtreeNode* w = writable(n);
                if (count < maxItems) {
                    std::memmove(&w->item[l + 1], &w->item[l], (count - l) * sizeof(oid_t));
                    w->item[l] = id;
                    w->nItems += 1;
                    return false;
                }
                // Full: the last item (left higher) or the first one makes
                // room and goes down again.
                oid_t moved;
                if (w->balance < 0) {
                    moved = w->item[count - 1];
                    std::memmove(&w->item[l + 1], &w->item[l], (count - 1 - l) * sizeof(oid_t));
                    w->item[l] = id;
                } else {
                    moved = w->item[0];
                    std::memmove(&w->item[0], &w->item[1], (l - 1) * sizeof(oid_t));
                    w->item[l - 1] = id;
                }
                return insert(nodeId, moved, keyOf(moved));
            }
            if ((nd->right == 0 || diff == 0) && count < maxItems) {
                dbTtreeNode* w = writable(n);
                w->item[count] = id;
                w->nItems += 1;
                return false;
            }
            return insertBelow(nodeId, right, id, key);
        }
        if ((nd->left == 0 || diff == 0) && count < maxItems) {
            dbTtreeNode* w = writable(n);
            std::memmove(&w->item[1], &w->item[0], count * sizeof(oid_t));
            w->item[0] = id;
            w->nItems += 1;
            return false;
        }
        return insertBelow(nodeId, left, id, key);
    }

    // Inserts into one subtree (a new child when there is none) and
    // rebalances; true when the whole subtree grew.
    bool insertBelow(oid_t& nodeId, int side, oid_t id, const void* key)
    {
        oid_t n = nodeId;
        oid_t c = child(node(n), side);
        if (c == 0) {
            child(writable(n), side) = newNode(id);
        } else {
            bool grew = insert(c, id, key);
            if (c != child(node(n), side)) {
                child(writable(n), side) = c;
            }
            if (!grew) {
                return false;
            }
        }
        int balance = node(n)->balance;
        if (balance != heavier(side)) {
            writable(n)->balance = std::int8_t(balance + heavier(side));
            return balance == 0;
        }
        oid_t grown = child(node(n), side);
        if (node(grown)->balance == heavier(side)) {
            rotate(nodeId, side);
            writable(n)->balance = 0;
            writable(grown)->balance = 0;
        } else {
            doubleRotate(nodeId, side);
        }
        return false;
    }

    // Single rotation: the child on `side` becomes the subtree's root.
    void rotate(oid_t& nodeId, int side)
    {
        oid_t n = nodeId;
        oid_t c = child(node(n), side);
        dbTtreeNode* wc = writable(c);
        dbTtreeNode* wn = writable(n);
        child(wn, side) = child(wc, 1 - side);
        child(wc, 1 - side) = n;
        nodeId = c;
    }

    // Double rotation through the inner grandchild G on `side` (the right
    // child's left child, or the mirror image); G becomes the root.
    void doubleRotate(oid_t& nodeId, int side)
    {
        oid_t n = nodeId;
        oid_t c = child(node(n), side);
        oid_t g = child(node(c), 1 - side);
        dbTtreeNode* wg = writable(g);
        dbTtreeNode* wc = writable(c);
        dbTtreeNode* wn = writable(n);
        child(wc, 1 - side) = child(wg, side);
        child(wg, side) = c;
        child(wn, side) = child(wg, 1 - side);
        child(wg, 1 - side) = n;
        int s = heavier(side);
        wn->balance = std::int8_t(wg->balance == s ? -s : 0);
        wc->balance = std::int8_t(wg->balance == -s ? s : 0);
        wg->balance = 0;
        nodeId = g;
    }

    // Removes id from the subtree rooted at nodeId: -1 not found, 0 height
    // unchanged, 1 height shrank.
    int remove(oid_t& nodeId, oid_t id, const void* key)
    {
        Descent down(*this);
        oid_t n = nodeId;
        const dbTtreeNode* nd = node(n);
        int count = nd->nItems;
        askForKeysAndChildren(nd);
        int dFirst = cmp(key, nd->item[0]);
        int dLast = count > 1 ? cmp(key, nd->item[count - 1]) : dFirst;
        if (dFirst >= 0 && dLast <= 0) {
            for (int i = 0; i < count; i++) {
                if (nd->item[i] == id) {
                    return removeAt(nodeId, i);
                }
            }
        }
        // Equal keys may continue on either side of the node.
        if (dFirst <= 0 && nd->left != 0) {
            int h = removeBelow(nodeId, left, id, key);
            if (h >= 0) {
                return h;
            }
        }
        if (dLast >= 0 && node(n)->right != 0) {
            return removeBelow(nodeId, right, id, key);
        }
        return -1;
    }

    int removeBelow(oid_t& nodeId, int side, oid_t id, const void* key)
    {
        oid_t n = nodeId;
        oid_t c = child(node(n), side);
        int h = remove(c, id, key);
        if (h < 0) {
            return h;
        }
        if (c != child(node(n), side)) {
            child(writable(n), side) = c;
        }
        return h > 0 ? shrank(nodeId, side) : 0;
    }

    int removeAt(oid_t& nodeId, int i)
    {
        oid_t n = nodeId;
        const dbTtreeNode* nd = node(n);
        int count = nd->nItems;
        if (count == 1 && (nd->left == 0 || nd->right == 0)) {
            nodeId = nd->left != 0 ? nd->left : nd->right;
            db->freeObject(n);
            return 1;
        }
        dbTtreeNode* w = writable(n);
        std::memmove(&w->item[i], &w->item[i + 1], (count - 1 - i) * sizeof(oid_t));
        w->nItems -= 1;
        if (count >= minItems || (w->left == 0 && w->right == 0)) {
            return 0;
        }
        // Take an item back: the greatest of the left subtree to the front,
        // or the least of the right subtree to the end.
        int side = w->balance <= 0 && w->left != 0 ? left : right;
        oid_t c = child(w, side);
        for (int steps = 0; child(node(c), 1 - side) != 0; steps++) {
            if (steps > maxDescent) {
                dbDamaged(db);
            }
            c = child(node(c), 1 - side);
        }
        const dbTtreeNode* extreme = node(c);
        oid_t moved = side == left ? extreme->item[extreme->nItems - 1] : extreme->item[0];
        w = writable(n);
        if (side == left) {
            std::memmove(&w->item[1], &w->item[0], w->nItems * sizeof(oid_t));
            w->item[0] = moved;
        } else {
            w->item[w->nItems] = moved;
        }
        w->nItems += 1;
        int h = removeBelow(nodeId, side, moved, keyOf(moved));
        if (h < 0) {
            dbDamaged(db);  // not where its key says
        }
        return h;
    }

    // Rebalancing after the subtree on `side` shrank; 1 when the whole
    // subtree shrank.
    int shrank(oid_t& nodeId, int side)
    {
        oid_t n = nodeId;
        int s = heavier(side);
        int balance = node(n)->balance;
        if (balance != -s) {
            writable(n)->balance = std::int8_t(balance - s);
            return balance == s ? 1 : 0;
        }
        int other = 1 - side;
        oid_t c = child(node(n), other);
        int cBalance = node(c)->balance;
        if (cBalance == s) {
            doubleRotate(nodeId, other);
            return 1;
        }
        rotate(nodeId, other);
        if (cBalance == 0) {
            writable(n)->balance = std::int8_t(-s);
            writable(c)->balance = std::int8_t(s);
            return 0;
        }
        writable(n)->balance = 0;
        writable(c)->balance = 0;
        return 1;
    }

    // Range search; false when the search is over.
    bool find(oid_t n, dbSearchContext& sc)
    {
        Descent down(*this);
        const dbTtreeNode* nd = node(n);
        sc.probes += 1;
        int count = nd->nItems;
        int start = 0;
        if (sc.firstKey == nullptr || lowerBoundBelow(sc, nd->item[0])) {
            if (nd->left != 0 && !find(nd->left, sc)) {
                return false;
            }
            nd = node(n);
        } else {
            int d = cmp(sc.firstKey, nd->item[count - 1]);
            if (d > 0 || (d == 0 && !sc.firstKeyInclusive)) {
                return nd->right == 0 || find(nd->right, sc);
            }
            // The first item within the lower bound.
            int l = 0, r = count - 1;
            while (l < r) {
                int m = (l + r) >> 1;
                if (lowerBoundBelow(sc, nd->item[m])) {
                    r = m;
                } else {
                    l = m + 1;
                }
            }
            start = l;
        }
        for (int i = start; i < count; i++) {
            oid_t item = nd->item[i];
            if (sc.lastKey != nullptr) {
                int d = cmp(sc.lastKey, item);
                if (d < 0 || (d == 0 && !sc.lastKeyInclusive)) {
                    return false;
                }
            } else if (isNotANumber(item)) {
                return false;  // NaN keys, last in the tree, lie in no range
            }
            if (sc.sink->accept(item) && !sc.sink->add(item)) {
                return false;
            }
        }
        return nd->right == 0 || find(nd->right, sc);
    }

    bool isNotANumber(oid_t item)
    {
        if (type == dbField::tpReal4) {
            float f;
            std::memcpy(&f, keyOf(item), sizeof f);
            return std::isnan(f);
        }
        if (type == dbField::tpReal8) {
            double d;
            std::memcpy(&d, keyOf(item), sizeof d);
            return std::isnan(d);
        }
        return false;
    }

    // Whether an item with this key satisfies the lower bound.
    bool lowerBoundBelow(dbSearchContext& sc, oid_t item)
    {
        int d = cmp(sc.firstKey, item);
        return d < 0 || (d == 0 && sc.firstKeyInclusive);
    }

    // Every item in key order (forward) or the reverse.
    bool walk(oid_t n, dbSearchSink* sink, bool forward)
    {
        Descent down(*this);
        const dbTtreeNode* nd = node(n);
        int first = forward ? left : right;
        if (child(nd, first) != 0 && !walk(child(nd, first), sink, forward)) {
            return false;
        }
        for (int k = 0; k < nd->nItems; k++) {
            oid_t item = nd->item[forward ? k : nd->nItems - 1 - k];
            dbMustGet(db, item, 0);  // an item that names no record is damage of this tree
            if (sink->accept(item) && !sink->add(item)) {
                return false;
            }
        }
        return child(nd, 1 - first) == 0 || walk(child(nd, 1 - first), sink, forward);
    }

    // What a check's walk met: the nodes in the order it entered them, every
    // item (in walk order, with the node each came from); then the items
    // rows.add took (the same way, with the first bytes of their text keys)
    // and those it refused; and whether all was sound.
    struct CheckWalk {
        static constexpr std::size_t noParent = SIZE_MAX;
        struct Node {
            std::size_t parent;  // index in nodes, noParent for the root
            bool reachedTwice;   // a second link leads to it
        };
        std::vector<Node> nodes;
        std::vector<oid_t> met;
        std::vector<std::uint32_t> metNode;  // per item met: index in nodes
        std::vector<oid_t> items;
        std::vector<std::uint32_t> itemNode;  // per item: index in nodes
        std::vector<dbTextPrefix> prefixes;    // per item, for text keys only
        std::vector<oid_t> refused;          // items of no row of the table, or of a row met before
        std::unordered_map<oid_t, std::size_t> entered;  // node id -> index in nodes
        bool sound = true;
    };

    // Reports damage the walk found itself, once per walk; the walk goes on.
    void fault(CheckWalk& walk)
    {
        if (walk.sound) {
            dbGuarded(db, [&] { dbDamaged(db); });
        }
        walk.sound = false;
    }

    // Walks the subtree at n as far as it can be read, past the damage it
    // meets (each fault marks the walk unsound), noting every item; returns
    // its height as read.
    int check(oid_t n, std::size_t parent, CheckWalk& walk)
    {
        if (depth >= maxDescent) {
            fault(walk);
            return 0;
        }
        if (auto met = walk.entered.find(n); met != walk.entered.end()) {  // a damaged link leads back, or across
            walk.nodes[met->second].reachedTwice = true;
            fault(walk);
            return 0;
        }
        const dbTtreeNode* nd = nullptr;
        if (!dbGuarded(db, [&] { nd = node(n); })) {
            walk.sound = false;  // reported as met
            return 0;
        }
        const std::size_t me = walk.nodes.size();
        walk.nodes.push_back({parent, false});
        walk.entered[n] = me;
        depth += 1;
        const int leftHeight = nd->left != 0 ? check(nd->left, me, walk) : 0;
        walk.met.insert(walk.met.end(), nd->item, nd->item + nd->nItems);
        walk.metNode.insert(walk.metNode.end(), nd->nItems, std::uint32_t(me));
        const int rightHeight = nd->right != 0 ? check(nd->right, me, walk) : 0;
        depth -= 1;
        if (nd->balance != rightHeight - leftHeight || nd->balance < -1 || nd->balance > 1) {
            fault(walk);
        }
        return std::max(leftHeight, rightHeight) + 1;
    }

    dbTextPrefix prefixOf(oid_t item)
    {
        return dbTextPrefix::of(dbRecordKey(dbMustGet(db, item, 0), type, size, offs));
    }

    // Takes the items the walk met with rows.add in the order of their ids
    // (mostly that of the rows' places in the file, and that of the marks
    // rows keeps by id) rather than in key order, which is anywhere; with
    // text keys, the prefix of each taken row's key is found in the same
    // pass, in `given` (by ascending id) when given, else in the row. What
    // was taken comes back in walk order; each item refused is a fault, and so is
    // every item of an id met before (the first in the walk is the one
    // taken, if any is).
    void takeRows(CheckWalk& walk, dbSearchSink& rows, const std::vector<dbRowKeyPrefix>* given)
    {
        const std::vector<oid_t>& met = walk.met;
        if (met.empty()) {
            return;
        }
        // Ids past the last id of the file (a damaged item may hold any)
        // are no rows: they are offered to rows.add with those met again,
        // and refused there, so that `place` spans the file's ids at most.
        const oid_t ids = db->getIndexSize();
        oid_t first = ids, last = 0;
        for (oid_t id : met) {
            if (id < ids) {
                first = std::min(first, id);
                last = std::max(last, id);
            }
        }
        std::vector<std::uint32_t> place(first < ids ? std::size_t(last - first) + 1 : 0, 0);  // by id: place in the walk + 1
        std::vector<std::uint32_t> again;  // places of ids met before, or past the last id
        // The walk's ids are anywhere in `place`, and `place` anywhere in
        // the walk: each place is asked for some steps before it is reached.
        constexpr std::size_t placesAhead = 16;
        for (std::size_t i = 0; i < met.size(); i++) {
            if (i + placesAhead < met.size() && met[i + placesAhead] < ids) {
                dbPrefetch(&place[met[i + placesAhead] - first]);
            }
            if (met[i] >= ids) {
                again.push_back(std::uint32_t(i));
                continue;
            }
            std::uint32_t& p = place[met[i] - first];
            if (p == 0) {
                p = std::uint32_t(i + 1);
            } else {
                again.push_back(std::uint32_t(i));
            }
        }
        const bool text = type == dbField::tpString;
        std::vector<dbTextPrefix> prefixes(text ? met.size() : 0);  // by place in the walk
        std::vector<std::uint32_t> refusedAt;
        static const std::vector<dbRowKeyPrefix> none;
        dbRowLookup<dbRowKeyPrefix> known(given != nullptr ? *given : none);
        auto prefixFor = [&](oid_t id) {
            if (given == nullptr) {
                return prefixOf(id);
            }
            // The prefixes are those of every row rows.add takes: a row taken
            // without one is a disagreement of the two checks, told as damage.
            const dbRowKeyPrefix* p = known.find(id);
            if (p == nullptr) {
                fault(walk);
                return prefixOf(id);
            }
            return p->prefix;
        };
        auto take = [&](oid_t id, std::uint32_t at) {
            if (!rows.add(id)) {
                walk.refused.push_back(id);
                refusedAt.push_back(at);
                fault(walk);
            } else if (text) {
                prefixes[at] = prefixFor(id);
            }
        };
        for (std::size_t k = 0; k < place.size(); k++) {
            if (text && k + placesAhead < place.size() && place[k + placesAhead] != 0) {
                dbPrefetch(&prefixes[place[k + placesAhead] - 1]);
            }
            if (place[k] != 0) {
                take(first + oid_t(k), place[k] - 1);
            }
        }
        for (std::uint32_t at : again) {
            take(met[at], at);
        }
        if (refusedAt.empty()) {  // every item was taken
            walk.items = std::move(walk.met);
            walk.itemNode = std::move(walk.metNode);
            walk.prefixes = std::move(prefixes);
            return;
        }
        std::sort(refusedAt.begin(), refusedAt.end());
        for (std::size_t i = 0, r = 0; i < met.size(); i++) {
            if (r < refusedAt.size() && refusedAt[r] == i) {
                r += 1;
                continue;
            }
            walk.items.push_back(met[i]);
            walk.itemNode.push_back(walk.metNode[i]);
            if (text) {
                walk.prefixes.push_back(prefixes[i]);
            }
        }
    }

    // How far ahead of the comparisons an order check asks for rows.
    static constexpr std::size_t keysAhead = 16;

    // Whether the keys of `order` ascend. Text keys are told apart by their
    // prefixes (one per item, or none for other keys) where they can be, and
    // read whole only where those are equal.
    bool ascends(const std::vector<oid_t>& order, const std::vector<dbTextPrefix>& prefixes)
    {
        if (order.size() < 2) {
            return true;
        }
        if (!prefixes.empty()) {
            for (std::size_t i = 1; i < order.size(); i++) {
                const int c = prefixes[i - 1].compare(prefixes[i]);
                if (c > 0 || (c == 0 && cmp(keyOf(order[i - 1]), order[i]) > 0)) {
                    return false;
                }
            }
            return true;
        }
        // The items' rows lie anywhere in the file: each is asked for well
        // before its key is compared, so that the walk does not wait for
        // each row in turn.
        for (std::size_t i = 0; i < std::min(order.size(), keysAhead); i++) {
            db->prefetchKey(order[i], offs, false);
        }
        for (std::size_t i = 1; i < order.size(); i++) {
            if (i + keysAhead < order.size()) {
                db->prefetchKey(order[i + keysAhead], offs, false);
            }
            if (cmp(keyOf(order[i - 1]), order[i]) > 0) {
                return false;
            }
        }
        return true;
    }

    // The positions of `order` that some longest run of ascending keys
    // leaves out (none when all ascend): each may be the one out of place.
    std::vector<std::size_t> outOfOrder(const std::vector<oid_t>& order, const std::vector<dbTextPrefix>& prefixes)
    {
        std::vector<std::size_t> result;
        const bool ascending = ascends(order, prefixes);
        if (ascending) {
            return result;
        }
        const std::size_t n = order.size();
        // By patience sorting: the longest ascending run ending at each item
        // (walking forwards) and starting at it (walking backwards).
        auto compareAt = [&](std::size_t a, std::size_t b) {
            const int c = prefixes.empty() ? 0 : prefixes[a].compare(prefixes[b]);
            return c != 0 ? c : cmp(keyOf(order[a]), order[b]);
        };
        auto runs = [&](bool forwards) {
            std::vector<std::size_t> length(n), tails;
            for (std::size_t k = 0; k < n; k++) {
                const std::size_t i = forwards ? k : n - 1 - k;
                auto at = std::upper_bound(tails.begin(), tails.end(), i, [&](std::size_t item, std::size_t tail) {
                    const int c = compareAt(tail, item);
                    return forwards ? c > 0 : c < 0;
                });
                length[i] = std::size_t(at - tails.begin()) + 1;
                if (at == tails.end()) {
                    tails.push_back(i);
                } else {
                    *at = i;
                }
            }
            return length;
        };
        const std::vector<std::size_t> ending = runs(true), starting = runs(false);
        const std::size_t longest = *std::max_element(ending.begin(), ending.end());
        // An item lies on every longest run when it lies on one and no other
        // item on one takes its place in the run.
        std::vector<std::size_t> onRunAt(longest + 1, 0);
        for (std::size_t i = 0; i < n; i++) {
            if (ending[i] + starting[i] - 1 == longest) {
                onRunAt[ending[i]] += 1;
            }
        }
        for (std::size_t i = 0; i < n; i++) {
            if (ending[i] + starting[i] - 1 != longest || onRunAt[ending[i]] > 1) {
                result.push_back(i);
            }
        }
        return result;
    }

    // The items whose place in the walk says something of their rows' keys,
    // with the node each came from and their text prefixes. Left out: an
    // item of a row the tree also holds elsewhere (one of the two links is
    // damaged, and either may be), and the items of a subtree that two links
    // lead to (the walk met it once, maybe in the wrong place). They are
    // taken out of the walk.
    void placedItems(CheckWalk& walk, std::vector<oid_t>& items, std::vector<std::uint32_t>& nodes,
                     std::vector<dbTextPrefix>& prefixes)
    {
        if (walk.refused.empty() && std::none_of(walk.nodes.begin(), walk.nodes.end(),
                                                 [](const CheckWalk::Node& n) { return n.reachedTwice; })) {
            items = std::move(walk.items);  // every item is placed
            nodes = std::move(walk.itemNode);
            prefixes = std::move(walk.prefixes);
            return;
        }
        std::vector<bool> twice(walk.nodes.size());
        for (std::size_t i = 0; i < walk.nodes.size(); i++) {  // parents come before their children
            const std::size_t parent = walk.nodes[i].parent;
            twice[i] = walk.nodes[i].reachedTwice || (parent != CheckWalk::noParent && twice[parent]);
        }
        std::vector<oid_t> refused = walk.refused;
        std::sort(refused.begin(), refused.end());
        for (std::size_t i = 0; i < walk.items.size(); i++) {
            if (!twice[walk.itemNode[i]] && !std::binary_search(refused.begin(), refused.end(), walk.items[i])) {
                items.push_back(walk.items[i]);
                nodes.push_back(walk.itemNode[i]);
                if (!walk.prefixes.empty()) {
                    prefixes.push_back(walk.prefixes[i]);
                }
            }
        }
    }

    // Tells apart the shapes of the walk's items out of key order. A row
    // whose key was changed puts one item out of place, among items that
    // keep their order; damage to the tree's links (child links exchanged,
    // say) moves whole subtrees: blocks of neighbours in the walk, each
    // ascending among themselves, from the first item of a node to the last
    // item of a node. A block of whole nodes that holds more than one item
    // is damage of the tree (a fault of the walk); the items of every other
    // shape are returned, a lone item that makes up a node of its own among
    // them (it may be a changed row, and so may each of several such).
    std::vector<oid_t> misplacedItems(CheckWalk& walk)
    {
        std::vector<oid_t> items;
        std::vector<std::uint32_t> nodes;
        std::vector<dbTextPrefix> prefixes;
        placedItems(walk, items, nodes, prefixes);
        const std::vector<std::size_t> out = outOfOrder(items, prefixes);
        auto startsNode = [&](std::size_t i) { return i == 0 || nodes[i - 1] != nodes[i]; };
        auto endsNode = [&](std::size_t i) { return i + 1 == nodes.size() || nodes[i + 1] != nodes[i]; };
        std::vector<oid_t> result;
        for (std::size_t from = 0; from < out.size();) {
            std::size_t to = from;  // the run of neighbours out[from] .. out[to]
            while (to + 1 < out.size() && out[to + 1] == out[to] + 1 &&
                   cmp(keyOf(items[out[to]]), items[out[to + 1]]) <= 0) {
                to += 1;
            }
            if (to > from && startsNode(out[from]) && endsNode(out[to])) {
                fault(walk);
            } else {
                for (std::size_t k = from; k <= to; k++) {
                    result.push_back(items[out[k]]);
                }
            }
            from = to + 1;
        }
        return result;
    }

    // Puts rows in ascending key order: text keys by their prefixes, and
    // by the whole keys where those are equal; integer keys by their values
    // in linear time; other keys by comparing the rows' keys.
    void sortByKey(std::vector<oid_t>& rows)
    {
        if (type == dbField::tpString) {
            struct Keyed {
                dbTextPrefix prefix;
                oid_t row;
            };
            std::vector<Keyed> keyed;
            keyed.reserve(rows.size());
            for (oid_t row : rows) {
                keyed.push_back({dbTextPrefix::of(dbRecordKey(dbMustGet(db, row, 0), type, size, offs)), row});
            }
            std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
                const int c = a.prefix.compare(b.prefix);
                return c != 0 ? c < 0 : cmp(keyOf(a.row), b.row) < 0;
            });
            std::transform(keyed.begin(), keyed.end(), rows.begin(), [](const Keyed& k) { return k.row; });
        } else if (integerKeyed(type)) {
            struct Keyed {
                std::uint64_t key;
                oid_t row;
            };
            std::vector<Keyed> keyed;
            keyed.reserve(rows.size());
            for (oid_t row : rows) {
                keyed.push_back({integerKey(type, dbRecordKey(dbMustGet(db, row, 0), type, size, offs).data), row});
            }
            dbRadixSort(keyed, [](const Keyed& k) { return k.key; });
            std::transform(keyed.begin(), keyed.end(), rows.begin(), [](const Keyed& k) { return k.row; });
        } else {
            std::stable_sort(rows.begin(), rows.end(), [&](oid_t a, oid_t b) { return cmp(keyOf(a), b) < 0; });
        }
    }

    // A subtree of the nodes [from, to) of `nodes` equal parts of the sorted
    // `rows`, node k holding rows [k * n / nodes, (k + 1) * n / nodes); its
    // root (0 for none) and its height.
    oid_t buildNodes(const std::vector<oid_t>& rows, std::size_t nodes, std::size_t from, std::size_t to, int& height)
    {
        if (from == to) {
            height = 0;
            return 0;
        }
        const std::size_t mid = (from + to) / 2;
        int below[2];
        const oid_t left = buildNodes(rows, nodes, from, mid, below[0]);
        const oid_t right = buildNodes(rows, nodes, mid + 1, to, below[1]);
        const std::size_t first = mid * rows.size() / nodes, last = (mid + 1) * rows.size() / nodes;
        const oid_t n = dbMustAllocate(db, dbTtree::nodeMarker);
        dbTtreeNode* w = writable(n);
        w->left = left;
        w->right = right;
        w->balance = std::int8_t(below[1] - below[0]);
        w->nItems = std::uint16_t(last - first);
        std::copy(rows.begin() + std::ptrdiff_t(first), rows.begin() + std::ptrdiff_t(last), w->item);
        height = std::max(below[0], below[1]) + 1;
        return n;
    }

    void purge(oid_t n)
    {
        Descent down(*this);
        const dbTtreeNode* nd = node(n);
        oid_t l = nd->left, r = nd->right;
        if (l != 0) {
            purge(l);
        }
        if (r != 0) {
            purge(r);
        }
        db->freeObject(n);
    }

    dbDatabase* db;
    int type;
    std::size_t size;
    dbUDTComparator comparator;
    std::size_t offs;
    int depth = 0;
};

// Reals in one total order: NaN after every number (equal to another NaN),
// so that a tree holding NaN keys stays searchable.
template <class T>
int compareReals(const byte* k, const byte* s)
{
    T a, b;
    std::memcpy(&a, k, sizeof a);
    std::memcpy(&b, s, sizeof b);
    if (std::isnan(a) || std::isnan(b)) {
        return int(std::isnan(a)) - int(std::isnan(b));
    }
    return a < b ? -1 : a > b ? 1 : 0;
}

oid_t rootOf(dbDatabase* db, oid_t treeId)
{
    return reinterpret_cast<const dbTtree*>(dbMustGet(db, treeId, dbTtree::treeMarker))->root;
}

void setRoot(dbDatabase* db, oid_t treeId, oid_t root)
{
    reinterpret_cast<dbTtree*>(dbMustPut(db, treeId))->root = root;
}

}  // namespace

dbTextPrefix dbTextPrefix::of(const dbKeyBytes& key)
{
    unsigned char bytes[16] = {};
    const char* text = reinterpret_cast<const char*>(key.data);
    std::memcpy(bytes, text, strnlen(text, std::min(key.size, sizeof bytes)));
    std::uint64_t high, low;
    std::memcpy(&high, bytes, 8);
    std::memcpy(&low, bytes + 8, 8);
    if constexpr (std::endian::native == std::endian::little) {
        high = __builtin_bswap64(high);
        low = __builtin_bswap64(low);
    }
    return {high, low};
}

int dbTtree::compare(const void* key, const byte* row, int type, std::size_t sizeofType, dbUDTComparator comparator,
                     std::size_t offs)
{
    dbKeyBytes stored = dbRecordKey(row, type, sizeofType, offs);
    const byte* k = static_cast<const byte*>(key);
    const byte* s = stored.data;
    switch (type) {
      case dbField::tpBool:
        return int(*k) - int(*s);
      case dbField::tpInt1:
        return int(std::int8_t(*k)) - int(std::int8_t(*s));
      case dbField::tpInt2: {
        std::int16_t a, b;
        std::memcpy(&a, k, 2);
        std::memcpy(&b, s, 2);
        return int(a) - int(b);
      }
      case dbField::tpInt4: {
        std::int32_t a, b;
        std::memcpy(&a, k, 4);
        std::memcpy(&b, s, 4);
        return a < b ? -1 : a > b ? 1 : 0;
      }
      case dbField::tpInt8: {
        std::int64_t a, b;
        std::memcpy(&a, k, 8);
        std::memcpy(&b, s, 8);
        return a < b ? -1 : a > b ? 1 : 0;
      }
      case dbField::tpReal4:
        return compareReals<float>(k, s);
      case dbField::tpReal8:
        return compareReals<double>(k, s);
      case dbField::tpReference: {
        oid_t a, b;
        std::memcpy(&a, k, 4);
        std::memcpy(&b, s, 4);
        return a < b ? -1 : a > b ? 1 : 0;
      }
      case dbField::tpString:
        return std::strcmp(static_cast<const char*>(key), reinterpret_cast<const char*>(s));
      default:
        return comparator(k, s, sizeofType);
    }
}

oid_t dbTtree::allocate(dbDatabase* db)
{
    oid_t treeId = 0;
    bool ok = dbGuarded(db, [&] {
        treeId = dbMustAllocate(db, treeMarker);
        setRoot(db, treeId, 0);
    });
    return ok ? treeId : 0;
}

bool dbTtree::insert(dbDatabase* db, oid_t treeId, oid_t rowId, int type, std::size_t sizeofType,
                     dbUDTComparator comparator, std::size_t offs)
{
    return dbGuarded(db, [&] {
        Tree tree(db, type, sizeofType, comparator, offs);
        oid_t root = rootOf(db, treeId);
        if (root == 0) {
            setRoot(db, treeId, tree.newNode(rowId));
            return;
        }
        oid_t newRoot = root;
        tree.insert(newRoot, rowId, tree.keyOf(rowId));
        if (newRoot != root) {
            setRoot(db, treeId, newRoot);
        }
    });
}

bool dbTtree::remove(dbDatabase* db, oid_t treeId, oid_t rowId, int type, std::size_t sizeofType,
                     dbUDTComparator comparator, std::size_t offs)
{
    return dbGuarded(db, [&] {
        Tree tree(db, type, sizeofType, comparator, offs);
        oid_t root = rootOf(db, treeId);
        if (root == 0) {
            return;
        }
        oid_t newRoot = root;
        tree.remove(newRoot, rowId, tree.keyOf(rowId));
        if (newRoot != root) {
            setRoot(db, treeId, newRoot);
        }
    });
}

void dbTtree::find(dbDatabase* db, oid_t treeId, dbSearchContext& sc)
{
    dbGuarded(db, [&] {
        if (oid_t root = rootOf(db, treeId)) {
            Tree(db, sc.type, sc.sizeofType, sc.comparator, sc.offs).find(root, sc);
        }
    });
}

void dbTtree::traverse(dbDatabase* db, oid_t treeId, dbSearchSink* sink, bool forward)
{
    dbGuarded(db, [&] {
        if (oid_t root = rootOf(db, treeId)) {
            Tree(db, 0, 0, nullptr, 0).walk(root, sink, forward);
        }
    });
}

bool dbTtree::check(dbDatabase* db, oid_t treeId, int type, std::size_t sizeofType, dbUDTComparator comparator,
                    std::size_t offs, dbSearchSink& rows, const std::vector<dbRowKeyPrefix>* prefixes,
                    std::vector<oid_t>& outOfOrder)
{
    return dbGuarded(db, [&] {
        if (oid_t root = rootOf(db, treeId)) {
            Tree tree(db, type, sizeofType, comparator, offs);
            Tree::CheckWalk walk;
            tree.check(root, Tree::CheckWalk::noParent, walk);
            tree.takeRows(walk, rows, prefixes);
            outOfOrder = tree.misplacedItems(walk);
            if (!walk.sound) {
                throw dbTransactionFailed{};  // reported where it was met
            }
        }
    });
}

bool dbTtree::build(dbDatabase* db, oid_t treeId, std::vector<oid_t> rows, int type, std::size_t sizeofType,
                    dbUDTComparator comparator, std::size_t offs)
{
    return dbGuarded(db, [&] {
        Tree tree(db, type, sizeofType, comparator, offs);
        tree.sortByKey(rows);
        const std::size_t nodes = (rows.size() + maxItems - 1) / maxItems;
        int height = 0;
        setRoot(db, treeId, tree.buildNodes(rows, nodes, 0, nodes, height));
    });
}

bool dbTtree::purge(dbDatabase* db, oid_t treeId)
{
    return dbGuarded(db, [&] {
        if (oid_t root = rootOf(db, treeId)) {
            Tree(db, 0, 0, nullptr, 0).purge(root);
            setRoot(db, treeId, 0);
        }
    });
}

bool dbTtree::drop(dbDatabase* db, oid_t treeId)
{
    if (!purge(db, treeId)) {
        return false;
    }
    db->freeObject(treeId);
    return !db->transactionFailed();
}
