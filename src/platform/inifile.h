// A settings file in the INI format that keeps sections and keys in the order
// they were read or first written (QSettings sorts them).
//
// Format: lines "[Section]" open a section; "Key=Value" lines belong to the
// section above them (the value is everything after the first "=", the key is
// trimmed); lines starting with ";" or "#" and blank lines are skipped; a line
// before the first section or without "=" is ignored. Section and key names
// compare without regard to ASCII case. Written as UTF-8 with "\n" line ends,
// a blank line between sections. Saving writes a temporary file in the same
// folder and renames it over the target, so a failed save leaves the old file.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace platform {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(QString path);  // reads the file when it exists

    const QString& Path() const { return path_; }
    bool Load(const QString& path);  // false when the file cannot be read (the content is then empty)
    bool Save() const;               // to Path(); false on any failure
    bool SaveAs(const QString& path) const;
    QString ToText() const;
    void FromText(const QString& text);

    QString ReadString(const QString& section, const QString& key, const QString& def = {}) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    // Digits with an optional sign; anything else gives def.
    int ReadInteger(const QString& section, const QString& key, int def = 0) const;
    void WriteInteger(const QString& section, const QString& key, int value);
    // "1" / "0" as written; also true/false, yes/no.
    bool ReadBool(const QString& section, const QString& key, bool def = false) const;
    void WriteBool(const QString& section, const QString& key, bool value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSections() const;
    QStringList ReadSection(const QString& section) const;  // the keys, in order
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& key);

private:
    struct Entry { QString key, value; };
    struct Section { QString name; std::vector<Entry> entries; };
    const Section* find(const QString& section) const;
    Section& findOrAdd(const QString& section);

    QString path_;
    std::vector<Section> sections_;
};

}  // namespace platform
