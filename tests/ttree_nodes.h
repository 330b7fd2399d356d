// Finding nodes of a stored T-tree, for tests that damage one on purpose.
#pragma once

#include "engine/database.h"
#include "engine/ttree.h"

#include <vector>

// A node of the tree with two children of the same height (balance 0), so
// that exchanging its child links passes every check of heights and
// balances; 0 when there is none.
inline oid_t EvenTreeNode(dbDatabase& db, oid_t treeId)
{
    std::vector<oid_t> todo{reinterpret_cast<const dbTtree*>(db.get(treeId))->root};
    while (!todo.empty()) {
        const oid_t id = todo.back();
        todo.pop_back();
        if (id == 0)
            continue;
        const auto* node = reinterpret_cast<const dbTtreeNode*>(db.get(id));
        if (node->left != 0 && node->right != 0 && node->balance == 0)
            return id;
        todo.push_back(node->left);
        todo.push_back(node->right);
    }
    return 0;
}
