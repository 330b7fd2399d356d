// Query execution: dbDatabase::select(cursor, query) (declared in
// database.h) fills a cursor with the rows of its table that satisfy a query,
// choosing the cheapest way to find them: the record a parameter names, an
// index search on a field of the table, an ordered T-tree walk, a traversal
// along references, or a scan of every row, and sorting only when that way
// did not already deliver the ORDER BY order.
//
// This header gives what the engine's tests and benchmarks read of a select:
// how the last one on the calling thread found its rows. The counters are
// per thread and start from zero at each select.
#pragma once

#include <cstddef>

struct dbQueryStatistics {
    enum Strategy {
        None,         // nothing ran (the query failed to compile)
        AllRecords,   // no condition, no order: the table's row list
        NamedRecord,  // "current = " a reference parameter
        Traversal,    // START FROM ... FOLLOW BY
        IndexSearch,  // an index answered the condition (or its left AND operand)
        IndexOrChain, // indexes answered every branch of an OR chain
        OrderedWalk,  // a T-tree walked in ORDER BY order, the condition as filter
        Scan          // every row, then a sort when ordered
    };

    Strategy strategy = None;
    std::size_t hashSearches = 0; // look-ups in hash indexes
    std::size_t hashItems = 0;    // hash items visited by them
    std::size_t treeSearches = 0; // range searches in T-trees
    std::size_t treeNodes = 0;    // T-tree nodes visited by them
    std::size_t treeWalks = 0;    // walks over whole T-trees
    std::size_t rowsScanned = 0;  // rows visited by a scan
    std::size_t evaluations = 0;  // conditions evaluated on a row
    std::size_t sorts = 0;        // sorts of the selection
    std::size_t reverses = 0;     // reversals of the selection
    bool failed = false;          // a run-time error ended the select
};

// The counters of the calling thread's last select.
const dbQueryStatistics& dbLastQueryStatistics();
