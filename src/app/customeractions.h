// The main window's actions that change the contact table: insert, update
// and delete of contacts (with their issued cheques), and the rebuild of the
// window's category filter list after the editor changed categories.
//
// Insert and update show the contact editor until the user saves something
// that passes the checks (the ID and the e-mail address not yet taken by
// another contact; a question before a second contact of the same name) or
// cancels. Every check binds the typed value as a query parameter; a check
// whose query fails refuses the save. A refused save rolls back and shows
// the editor again with everything typed. Delete removes the selected
// contacts with their cheques in one transaction, as long work
// (platform/longwork.h) with its progress in the status bar: all of them, or
// none when it fails. Insert and delete refresh the list; update rewrites
// its row and keeps the list as it is.
#pragma once

#include "appcore/schema.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

class TMainListForm;

namespace grid {
class RIvuZuvuzoZuvu;
}

void insertActionExecute(TMainListForm& window);
void updateActionExecute(TMainListForm& window);
void deleteActionExecute(TMainListForm& window);

// Clears the filter list, adds "All" and every category by name and selects
// entry editorIndex + 1 (-1, no category chosen in the editor, selects
// "All"). The list of contacts is not run again. A screen reader is told
// the filter's new entry when it differs from the one it replaces.
void RebuildCategoryFilter(TMainListForm& window, int editorIndex);

// Writes a contact into the cells of a grid row as the contact list shows it:
// column 0 the object id, then ID, name, person, telephone, mobile, fax,
// e-mail, web site, the three address lines joined by blanks, remark, the
// amount as money text and the category's name.
void ShowCustomerRow(grid::RIvuZuvuzoZuvu& grid, int row, oid_t oid, const Customer& customer);

// Writes contacts into rows of a grid as ShowCustomerRow does, row after
// row: each row's texts are set at once, made in buffers that serve every
// row, and each category's name is read once. Keep it within the
// transaction whose records it shows (the names it keeps were read there).
class CustomerRows {
public:
    explicit CustomerRows(grid::RIvuZuvuzoZuvu& grid) : grid_(grid) {}
    void show(int row, oid_t oid, const Customer& customer);

private:
    std::string_view categoryName(const dbReference<Category>& category);

    grid::RIvuZuvuzoZuvu& grid_;
    char oid_[16] = {}, id_[16] = {};
    std::string address_, amount_;
    std::unordered_map<oid_t, std::string> categories_;  // by object id: the names read
};

// Test seam: when set, it is asked before each uniqueness check ("id",
// "email" or "name"); true makes that check fail as a failed query would.
// Returns the previous one.
using CheckFault = std::function<bool(const char* check)>;
CheckFault SetCheckFault(CheckFault fault);
