// The program's database opened in a scratch folder for the backup dialog
// tests: one folder per test program (the database remembers the folder of
// its first open), a Config record with chosen backup settings, and a few
// Category rows as marker data.
#pragma once

#include "appcore/schema.h"

#include <QString>
#include <QStringList>

namespace testing_backup {

// Makes a scratch folder the working directory and opens "Quillet" there
// with one Config record. Returns the folder.
QString openScratchDatabase();
// Closes the database if open and removes the scratch folder.
void closeScratchDatabase();

struct BackupSettings {
    bool everyday = false;
    bool everytime = false;
    int lastBackup = 0;
    int totalBackup = 7;
    int32_t lastBackupDate = -1;
};
void storeSettings(const BackupSettings &s);  // updates and commits
BackupSettings readSettings();

void addCategory(const char *name);  // inserts and commits
QStringList categories();
// The generation files "Quillet<g>.zbf" present in the folder.
QStringList generationFiles(const QString &dir);

}  // namespace testing_backup
