// A contact as the benchmarks that fill the program's list make them: the
// stored Customer that shows it (its texts point into the contact, which
// must outlive it), and the same contact as a row of the SQLite peer's table.
#pragma once

#include "appcore/schema.h"

#include <sqlite3.h>

#include <string>

struct Contact {
    std::string name, person, telephone, mobile, fax, email, website, a1, a2, a3, remark;
    int id;
    double amount;
    std::string category = {};
    int categoryIndex = -1;  // -1: none
};

inline Customer customerOf(const Contact& c)
{
    Customer r;
    r.id = c.id;
    r.name = c.name.c_str();
    r.person = c.person.c_str();
    r.telephone = c.telephone.c_str();
    r.mobile = c.mobile.c_str();
    r.fax = c.fax.c_str();
    r.email = c.email.c_str();
    r.website = c.website.c_str();
    r.address1 = c.a1.c_str();
    r.address2 = c.a2.c_str();
    r.address3 = c.a3.c_str();
    r.remark = c.remark.c_str();
    r.amount = static_cast<real4>(c.amount);
    return r;
}

// The peer's table, indexed as the program's is (ID and name).
inline constexpr const char* kPeerCustomerTable =
    "CREATE TABLE customer(id INTEGER, name TEXT, address1 TEXT, address2 TEXT, address3 TEXT,"
    " person TEXT, telephone TEXT, fax TEXT, remark TEXT, email TEXT, mobile TEXT, website TEXT,"
    " amount REAL, category TEXT);"
    "CREATE INDEX customer_id ON customer(id); CREATE INDEX customer_name ON customer(name);";
inline constexpr const char* kPeerCustomerInsert = "INSERT INTO customer VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// Binds the contact to kPeerCustomerInsert and runs it.
inline void insertPeerRow(sqlite3_stmt* insert, const Contact& c)
{
    const std::string* texts[] = {&c.name,  &c.a1,     &c.a2,    &c.a3,     &c.person, &c.telephone,
                                  &c.fax,   &c.remark, &c.email, &c.mobile, &c.website};
    sqlite3_bind_int(insert, 1, c.id);
    for (int k = 0; k < 11; ++k)
        sqlite3_bind_text(insert, k + 2, texts[k]->c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 13, c.amount);
    if (c.categoryIndex >= 0)
        sqlite3_bind_text(insert, 14, c.category.c_str(), -1, SQLITE_TRANSIENT);
    else
        sqlite3_bind_null(insert, 14);
    sqlite3_step(insert);
    sqlite3_reset(insert);
}
