#include "engine/ttree.h"

namespace {

constexpr int maxItems = dbTtreeNode::maxItems;
// A node that held fewer items than this before a removal takes one back
// from its subtree, so that inner nodes stay nearly full.
constexpr int minItems = maxItems - 1;

// One operation on one tree: the key field's description and node access.
class Tree {
  public:
    Tree(dbDatabase* d, int t, std::size_t s, dbUDTComparator c, std::size_t o)
        : db(d), type(t), size(s), comparator(c), offs(o) {}

    const dbTtreeNode* node(oid_t id) { return reinterpret_cast<const dbTtreeNode*>(dbMustGet(db, id)); }
    dbTtreeNode* writable(oid_t id) { return reinterpret_cast<dbTtreeNode*>(dbMustPut(db, id)); }
    int cmp(const void* key, oid_t item)
    {
        return dbTtree::compare(key, dbMustGet(db, item), type, size, comparator, offs);
    }
    const void* keyOf(oid_t item) { return dbRecordKey(dbMustGet(db, item), type, size, offs).data; }

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

    // Inserts id into the subtree rooted at nodeId (which a rotation may
    // change); true when the subtree grew in height.
    bool insert(oid_t& nodeId, oid_t id, const void* key)
    {
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
            bool grew;
            if (nd->right == 0) {
                oid_t child = newNode(id);
                writable(n)->right = child;
                grew = true;
            } else {
                oid_t child = nd->right;
                grew = insert(child, id, key);
                if (child != node(n)->right) {
                    writable(n)->right = child;
                }
            }
            return grew && rightGrew(nodeId);
        }
        if ((nd->left == 0 || diff == 0) && count < maxItems) {
            dbTtreeNode* w = writable(n);
            std::memmove(&w->item[1], &w->item[0], count * sizeof(oid_t));
            w->item[0] = id;
            w->nItems += 1;
            return false;
        }
        bool grew;
        if (nd->left == 0) {
            oid_t child = newNode(id);
            writable(n)->left = child;
            grew = true;
        } else {
            oid_t child = nd->left;
            grew = insert(child, id, key);
            if (child != node(n)->left) {
                writable(n)->left = child;
            }
        }
        return grew && leftGrew(nodeId);
    }

    // Rebalancing after a subtree grew; true when the whole subtree grew.
    bool rightGrew(oid_t& nodeId)
    {
        oid_t n = nodeId;
        int balance = node(n)->balance;
        if (balance <= 0) {
            writable(n)->balance = std::int8_t(balance + 1);
            return balance == 0;
        }
        oid_t r = node(n)->right;
        if (node(r)->balance > 0) {
            rotateLeft(nodeId);
            writable(n)->balance = 0;
            writable(r)->balance = 0;
        } else {
            doubleRotateLeft(nodeId);
        }
        return false;
    }

    bool leftGrew(oid_t& nodeId)
    {
        oid_t n = nodeId;
        int balance = node(n)->balance;
        if (balance >= 0) {
            writable(n)->balance = std::int8_t(balance - 1);
            return balance == 0;
        }
        oid_t l = node(n)->left;
        if (node(l)->balance < 0) {
            rotateRight(nodeId);
            writable(n)->balance = 0;
            writable(l)->balance = 0;
        } else {
            doubleRotateRight(nodeId);
        }
        return false;
    }

    // Single rotations: the right (left) child becomes the subtree's root.
    void rotateLeft(oid_t& nodeId)
    {
        oid_t n = nodeId;
        oid_t r = node(n)->right;
        dbTtreeNode* wr = writable(r);
        dbTtreeNode* wn = writable(n);
        wn->right = wr->left;
        wr->left = n;
        nodeId = r;
    }

    void rotateRight(oid_t& nodeId)
    {
        oid_t n = nodeId;
        oid_t l = node(n)->left;
        dbTtreeNode* wl = writable(l);
        dbTtreeNode* wn = writable(n);
        wn->left = wl->right;
        wl->right = n;
        nodeId = l;
    }

    // Double rotations through the right child's left child G (mirror: the
    // left child's right child); G becomes the subtree's root.
    void doubleRotateLeft(oid_t& nodeId)
    {
        oid_t n = nodeId;
        oid_t r = node(n)->right;
        oid_t g = node(r)->left;
        dbTtreeNode* wg = writable(g);
        dbTtreeNode* wr = writable(r);
        dbTtreeNode* wn = writable(n);
        wr->left = wg->right;
        wg->right = r;
        wn->right = wg->left;
        wg->left = n;
        wn->balance = wg->balance > 0 ? -1 : 0;
        wr->balance = wg->balance < 0 ? 1 : 0;
        wg->balance = 0;
        nodeId = g;
    }

    void doubleRotateRight(oid_t& nodeId)
    {
        oid_t n = nodeId;
        oid_t l = node(n)->left;
        oid_t g = node(l)->right;
        dbTtreeNode* wg = writable(g);
        dbTtreeNode* wl = writable(l);
        dbTtreeNode* wn = writable(n);
        wl->right = wg->left;
        wg->left = l;
        wn->left = wg->right;
        wg->right = n;
        wn->balance = wg->balance < 0 ? 1 : 0;
        wl->balance = wg->balance > 0 ? -1 : 0;
        wg->balance = 0;
        nodeId = g;
    }

    // Removes id from the subtree rooted at nodeId: -1 not found, 0 height
    // unchanged, 1 height shrank.
    int remove(oid_t& nodeId, oid_t id, const void* key)
    {
        oid_t n = nodeId;
        const dbTtreeNode* nd = node(n);
        int count = nd->nItems;
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
            int h = removeFromLeft(nodeId, id, key);
            if (h >= 0) {
                return h;
            }
        }
        if (dLast >= 0 && node(n)->right != 0) {
            return removeFromRight(nodeId, id, key);
        }
        return -1;
    }

    int removeFromLeft(oid_t& nodeId, oid_t id, const void* key)
    {
        oid_t n = nodeId;
        oid_t child = node(n)->left;
        int h = remove(child, id, key);
        if (h < 0) {
            return h;
        }
        if (child != node(n)->left) {
            writable(n)->left = child;
        }
        return h > 0 ? leftShrank(nodeId) : 0;
    }

    int removeFromRight(oid_t& nodeId, oid_t id, const void* key)
    {
        oid_t n = nodeId;
        oid_t child = node(n)->right;
        int h = remove(child, id, key);
        if (h < 0) {
            return h;
        }
        if (child != node(n)->right) {
            writable(n)->right = child;
        }
        return h > 0 ? rightShrank(nodeId) : 0;
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
        if (w->balance <= 0 && w->left != 0) {
            // The greatest item of the left subtree moves to the front.
            oid_t c = w->left;
            const dbTtreeNode* cn;
            while ((cn = node(c))->right != 0) {
                c = cn->right;
            }
            oid_t moved = cn->item[cn->nItems - 1];
            w = writable(n);
            std::memmove(&w->item[1], &w->item[0], w->nItems * sizeof(oid_t));
            w->item[0] = moved;
            w->nItems += 1;
            int h = removeFromLeft(nodeId, moved, keyOf(moved));
            dbAssert(h >= 0);
            return h;
        }
        // The least item of the right subtree moves to the end.
        oid_t c = w->right;
        const dbTtreeNode* cn;
        while ((cn = node(c))->left != 0) {
            c = cn->left;
        }
        oid_t moved = cn->item[0];
        w = writable(n);
        w->item[w->nItems] = moved;
        w->nItems += 1;
        int h = removeFromRight(nodeId, moved, keyOf(moved));
        dbAssert(h >= 0);
        return h;
    }

    // Rebalancing after a subtree shrank; 1 when the whole subtree shrank.
    int leftShrank(oid_t& nodeId)
    {
        oid_t n = nodeId;
        int balance = node(n)->balance;
        if (balance <= 0) {
            writable(n)->balance = std::int8_t(balance + 1);
            return balance < 0 ? 1 : 0;
        }
        oid_t r = node(n)->right;
        int rBalance = node(r)->balance;
        if (rBalance < 0) {
            doubleRotateLeft(nodeId);
            return 1;
        }
        rotateLeft(nodeId);
        if (rBalance == 0) {
            writable(n)->balance = 1;
            writable(r)->balance = -1;
            return 0;
        }
        writable(n)->balance = 0;
        writable(r)->balance = 0;
        return 1;
    }

    int rightShrank(oid_t& nodeId)
    {
        oid_t n = nodeId;
        int balance = node(n)->balance;
        if (balance >= 0) {
            writable(n)->balance = std::int8_t(balance - 1);
            return balance > 0 ? 1 : 0;
        }
        oid_t l = node(n)->left;
        int lBalance = node(l)->balance;
        if (lBalance > 0) {
            doubleRotateRight(nodeId);
            return 1;
        }
        rotateRight(nodeId);
        if (lBalance == 0) {
            writable(n)->balance = -1;
            writable(l)->balance = 1;
            return 0;
        }
        writable(n)->balance = 0;
        writable(l)->balance = 0;
        return 1;
    }

    // Range search; false when the search is over.
    bool find(oid_t n, dbSearchContext& sc)
    {
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
            }
            if (sc.sink->accept(item) && !sc.sink->add(item)) {
                return false;
            }
        }
        return nd->right == 0 || find(nd->right, sc);
    }

    // Whether an item with this key satisfies the lower bound.
    bool lowerBoundBelow(dbSearchContext& sc, oid_t item)
    {
        int d = cmp(sc.firstKey, item);
        return d < 0 || (d == 0 && sc.firstKeyInclusive);
    }

    bool forward(oid_t n, dbSearchSink* sink)
    {
        const dbTtreeNode* nd = node(n);
        if (nd->left != 0 && !forward(nd->left, sink)) {
            return false;
        }
        for (int i = 0; i < nd->nItems; i++) {
            if (sink->accept(nd->item[i]) && !sink->add(nd->item[i])) {
                return false;
            }
        }
        return nd->right == 0 || forward(nd->right, sink);
    }

    bool backward(oid_t n, dbSearchSink* sink)
    {
        const dbTtreeNode* nd = node(n);
        if (nd->right != 0 && !backward(nd->right, sink)) {
            return false;
        }
        for (int i = nd->nItems; --i >= 0;) {
            if (sink->accept(nd->item[i]) && !sink->add(nd->item[i])) {
                return false;
            }
        }
        return nd->left == 0 || backward(nd->left, sink);
    }

    void purge(oid_t n)
    {
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
};

oid_t rootOf(dbDatabase* db, oid_t treeId)
{
    return reinterpret_cast<const dbTtree*>(dbMustGet(db, treeId))->root;
}

void setRoot(dbDatabase* db, oid_t treeId, oid_t root)
{
    reinterpret_cast<dbTtree*>(dbMustPut(db, treeId))->root = root;
}

}  // namespace

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
      case dbField::tpReal4: {
        float a, b;
        std::memcpy(&a, k, 4);
        std::memcpy(&b, s, 4);
        return a < b ? -1 : a > b ? 1 : 0;
      }
      case dbField::tpReal8: {
        double a, b;
        std::memcpy(&a, k, 8);
        std::memcpy(&b, s, 8);
        return a < b ? -1 : a > b ? 1 : 0;
      }
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
    try {
        oid_t treeId = dbMustAllocate(db, treeMarker);
        setRoot(db, treeId, 0);
        return treeId;
    } catch (dbTransactionFailed&) {
        return 0;
    }
}

bool dbTtree::insert(dbDatabase* db, oid_t treeId, oid_t rowId, int type, std::size_t sizeofType,
                     dbUDTComparator comparator, std::size_t offs)
{
    try {
        Tree tree(db, type, sizeofType, comparator, offs);
        oid_t root = rootOf(db, treeId);
        if (root == 0) {
            setRoot(db, treeId, tree.newNode(rowId));
        } else {
            oid_t newRoot = root;
            tree.insert(newRoot, rowId, tree.keyOf(rowId));
            if (newRoot != root) {
                setRoot(db, treeId, newRoot);
            }
        }
        return !db->transactionFailed();
    } catch (dbTransactionFailed&) {
        return false;
    }
}

bool dbTtree::remove(dbDatabase* db, oid_t treeId, oid_t rowId, int type, std::size_t sizeofType,
                     dbUDTComparator comparator, std::size_t offs)
{
    try {
        Tree tree(db, type, sizeofType, comparator, offs);
        oid_t root = rootOf(db, treeId);
        if (root == 0) {
            return true;
        }
        oid_t newRoot = root;
        tree.remove(newRoot, rowId, tree.keyOf(rowId));
        if (newRoot != root) {
            setRoot(db, treeId, newRoot);
        }
        return !db->transactionFailed();
    } catch (dbTransactionFailed&) {
        return false;
    }
}

void dbTtree::find(dbDatabase* db, oid_t treeId, dbSearchContext& sc)
{
    try {
        oid_t root = rootOf(db, treeId);
        if (root != 0) {
            Tree(db, sc.type, sc.sizeofType, sc.comparator, sc.offs).find(root, sc);
        }
    } catch (dbTransactionFailed&) {
    }
}

void dbTtree::traverseForward(dbDatabase* db, oid_t treeId, dbSearchSink* sink)
{
    try {
        oid_t root = rootOf(db, treeId);
        if (root != 0) {
            Tree(db, 0, 0, nullptr, 0).forward(root, sink);
        }
    } catch (dbTransactionFailed&) {
    }
}

void dbTtree::traverseBackward(dbDatabase* db, oid_t treeId, dbSearchSink* sink)
{
    try {
        oid_t root = rootOf(db, treeId);
        if (root != 0) {
            Tree(db, 0, 0, nullptr, 0).backward(root, sink);
        }
    } catch (dbTransactionFailed&) {
    }
}

bool dbTtree::purge(dbDatabase* db, oid_t treeId)
{
    try {
        oid_t root = rootOf(db, treeId);
        if (root != 0) {
            Tree(db, 0, 0, nullptr, 0).purge(root);
            setRoot(db, treeId, 0);
        }
        return !db->transactionFailed();
    } catch (dbTransactionFailed&) {
        return false;
    }
}

bool dbTtree::drop(dbDatabase* db, oid_t treeId)
{
    if (!purge(db, treeId)) {
        return false;
    }
    db->freeObject(treeId);
    return !db->transactionFailed();
}
