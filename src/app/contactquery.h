// The contact list's search: turns the search panel's fields into one query on
// Customer, with every typed text bound as a parameter (a quote or a
// backslash typed by the user is searched for, never read as query syntax;
// "%" and "_" keep their LIKE meaning). The query and the bound texts live in
// this object: keep it alive while the query runs.
#pragma once

#include "engine/zarvoCursor.h"

#include <QString>
#include <stdexcept>
#include <string>

// What the search panel holds.
struct ContactSearchFields {
    int categoryIndex = 0;   // 0 is "All"
    QString categoryName;
    QString name, person, telephone, mobile, id, email;
    int sortBy = 0;          // -1: no entry selected
    bool reverseSort = false;
};

// Raised when the ID field is not an integer.
struct ContactSearchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ContactQuery {
public:
    ContactQuery() = default;
    ContactQuery(const ContactQuery&) = delete;
    ContactQuery& operator=(const ContactQuery&) = delete;

    // Rebuilds the query from the fields. Throws ContactSearchError when the
    // ID field holds text that is not an integer; the query is then empty.
    void Build(const ContactSearchFields& fields);

    dbQuery& Query() { return query_; }
    // The query as one text, with the bound values written as quoted
    // literals, e.g. "upper(name) like 'SM%' order by name".
    const std::string& Text() const { return text_; }

private:
    void addCondition(const char* text, const std::string& value);

    dbQuery query_;
    std::string text_;
    bool first_ = true;
    // the bound values; the query points at them
    std::string category_, name_, person_, telephone_, mobile_, email_;
    int4 id_ = 0;
};

// Text with leading and trailing blanks and control characters removed.
std::string TrimText(const std::string& s);
// ASCII letters upper-cased, every other byte kept (the engine's upper()).
std::string UpperAscii(std::string s);
