// The list of named layouts (ChequeSetup, EnvelopeSetup) that the cheque and
// envelope windows keep in a combo box: one entry per record in select-all
// order, each carrying its record's object id. Renaming and deleting commit
// at once; a refusal rolls back first and says why.
#pragma once

#include "appcore/dialogs.h"
#include "appcore/schema.h"

#include <QComboBox>

#include <functional>
#include <string>

// The layout of the combo's current entry; null when none.
template <class Setup>
dbReference<Setup> ComboLayout(const QComboBox& combo)
{
    const int index = combo.currentIndex();
    return index < 0 ? dbReference<Setup>() : dbReference<Setup>(combo.itemData(index).toUInt());
}

// Fills the combo with every layout and selects `chosen`, or the first when it
// is null or gone. Returns the number of layouts.
template <class Setup>
int FillLayoutCombo(QComboBox& combo, dbReference<Setup> chosen)
{
    combo.clear();
    int position = 0;
    dbCursor<Setup> setups;
    if (setups.select() > 0) {
        do {
            if (setups.currentId() == chosen) position = combo.count();
            combo.addItem(QString::fromUtf8(setups->name ? setups->name : ""), setups.currentId().getOid());
        } while (setups.next());
    }
    if (combo.count() > 0) combo.setCurrentIndex(position);
    return combo.count();
}

// Stores `record` as a new layout named `name`, commits, and makes it the
// combo's current entry. False, with the change rolled back and the user told,
// when it could not be stored.
template <class Setup>
bool InsertLayout(QComboBox& combo, Setup& record, const QString& name, QWidget* owner)
{
    zarvoBuffer texts;
    const std::string stored = name.toStdString();
    record.name = texts.put(stored.c_str());
    const dbReference<Setup> added = insert(record);
    if (added.isNull() || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, owner);
        return false;
    }
    combo.addItem(name, added.getOid());
    combo.setCurrentIndex(combo.count() - 1);
    return true;
}

// Asks for a name, then stores the window's layout as a new one under it
// (InsertLayout); `read` fills the record from the window, raising before
// anything is stored. False when the request was cancelled or nothing was
// stored.
template <class Setup>
bool AddNamedLayout(QComboBox& combo, const std::function<void(Setup&)>& read, QWidget* owner)
{
    QString text;
    if (!InputText("Enter the name of setting:", text, owner)) return false;
    Setup record;
    read(record);
    return InsertLayout(combo, record, text, owner);
}

// Asks for the current entry's new name and stores it. `keepTexts` copies the
// record's other texts into the buffer so the record can be written back.
template <class Setup>
void RenameLayout(QComboBox& combo, const std::function<void(Setup&, zarvoBuffer&)>& keepTexts, QWidget* owner)
{
    const int index = combo.currentIndex();
    if (index < 0) return;
    QString text = combo.itemText(index);
    if (!InputText("Enter the setting: ", text, owner)) return;
    dbCursor<Setup> setups(dbCursorForUpdate);
    if (!setups.at(ComboLayout<Setup>(combo))) {
        database.rollback();
        return;
    }
    zarvoBuffer texts;
    const std::string name = text.toStdString();
    setups->name = texts.put(name.c_str());
    keepTexts(*setups, texts);
    if (!setups.update() || !database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, owner);
        return;
    }
    combo.setItemText(index, text);
}

// Deletes the current entry's layout after the question, unless it is the last
// one or a contact uses it (`contactField` is the contact's reference field
// followed by "=", e.g. "chequeSetup="). `beforeRemove` (may be empty) runs
// in the same transaction just before the removal and returns false, having
// said why, to refuse it. True when the list must be filled again (removed,
// or gone meanwhile).
template <class Setup>
bool DeleteLayout(QComboBox& combo, const char* contactField, const std::function<bool(oid_t)>& beforeRemove,
                  QWidget* owner)
{
    if (combo.count() == 1) {
        ShowInfo("Cannot delete the last setting.", owner);
        return false;
    }
    const int index = combo.currentIndex();
    if (index < 0) return false;
    if (!AskYesNo("Delete setting '" + combo.itemText(index) + "'?", owner)) return false;
    const dbReference<Setup> ref = ComboLayout<Setup>(combo);
    dbCursor<Setup> setups(dbCursorForUpdate);
    if (!setups.at(ref)) {
        database.rollback();
        return true;
    }
    dbCursor<Customer> users;
    dbQuery used;
    const oid_t oid = ref.getOid();  // bound by reference: lives until the select
    used.append(dbQueryElement::Text, contactField);
    used.bindReference(oid, &Setup::dbDescriptor);
    const std::size_t found = users.select(used);
    if (users.selectFailed() || found > 0) {
        database.rollback();
        ShowInfo(users.selectFailed() ? "The check could not be made; nothing was deleted."
                                      : "This setting has been used by some customers.",
                 owner);
        return false;
    }
    if (beforeRemove && !beforeRemove(oid)) {
        database.rollback();
        return false;
    }
    setups.remove();
    if (!database.commit()) {
        database.rollback();
        ShowInfo(kNotStored, owner);
    }
    return true;
}
