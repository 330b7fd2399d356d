// Shared by the query tests: a database whose error handler records query
// errors instead of printing them, a record class with one field of every
// kind the query language can reach, and a helper that compiles a text.
#pragma once

#include <string>
#include <vector>

#include "engine/class.h"
#include "engine/compiler.h"
#include "engine/database.h"
#include "engine/query.h"

struct ReportedError {
    std::string message;
    int position;
};

class CapturingDatabase : public dbDatabase {
  public:
    std::vector<ReportedError> errors;

    void handleError(int errorClass, const char* msg, int arg) override
    {
        if (errorClass == QueryError) {
            errors.push_back({msg, arg});
        } else {
            dbDatabase::handleError(errorClass, msg, arg);
        }
    }
};

struct Item {
    bool flag;
    std::int8_t small;
    std::int16_t medium;
    std::int32_t id;
    std::int64_t big;
    float price;
    double total;
    const char* name;
    const char* note;
    dbReference<Item> parent;
    dbArray<std::int8_t> bytes;
    dbArray<dbReference<Item>> children;
    dbArray<const char*> tags;
    dbDateTime when;

    DB_FIELDS(Item, DB_FIELD(flag), DB_FIELD(small), DB_FIELD(medium), DB_KEY(id, dbHashed),
              DB_FIELD(big), DB_FIELD(price), DB_FIELD(total), DB_KEY(name, dbIndexed),
              DB_FIELD(note), DB_FIELD(parent), DB_FIELD(bytes), DB_FIELD(children),
              DB_FIELD(tags), DB_FIELD(when))
};

// A second table, the target of Item-unrelated references in START FROM.
struct Other {
    std::int32_t code;
    DB_FIELDS(Other, DB_FIELD(code))
};

#ifdef QUERY_FIXTURES_DEFINE_TABLES
DB_TABLE(Item);
DB_TABLE(Other);
#endif

// Compiles one query against a table and keeps what the handler received.
class CompileHelper {
  public:
    CapturingDatabase db;
    dbCompiler compiler{&db};

    bool compile(dbQuery& q, dbTableDescriptor* table = &Item::dbDescriptor)
    {
        db.errors.clear();
        return compiler.compile(table, q);
    }
    // The dump of the compiled condition, or "error: <message> @<pos>".
    std::string tree(const char* text, dbTableDescriptor* table = &Item::dbDescriptor)
    {
        dbQuery q(text);
        return treeOf(q, table);
    }
    std::string treeOf(dbQuery& q, dbTableDescriptor* table = &Item::dbDescriptor)
    {
        if (!compile(q, table)) {
            return lastError();
        }
        return dbDumpExpr(q.tree);
    }
    std::string lastError() const
    {
        if (db.errors.empty()) {
            return "error: (none reported)";
        }
        const ReportedError& e = db.errors.back();
        return "error: " + e.message + " @" + std::to_string(e.position);
    }
};
