#include "platform/inifile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

namespace platform {

namespace {

bool sameName(const QString& a, const QString& b)
{
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        QChar x = a[i], y = b[i];
        if (x.unicode() < 128) x = x.toUpper();
        if (y.unicode() < 128) y = y.toUpper();
        if (x != y) return false;
    }
    return true;
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path))
{
    if (QFile::exists(path_)) Load(path_);
}

bool IniFile::Load(const QString& path)
{
    path_ = path;
    sections_.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    FromText(QString::fromUtf8(f.readAll()));
    return true;
}

void IniFile::FromText(const QString& text)
{
    sections_.clear();
    Section* current = nullptr;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#'))) continue;
        if (t.startsWith(QLatin1Char('[')) && t.endsWith(QLatin1Char(']'))) {
            current = &findOrAdd(t.mid(1, t.size() - 2).trimmed());
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!current || eq < 0) continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty()) continue;
        const QString value = line.mid(eq + 1);
        bool replaced = false;
        for (auto& e : current->entries)
            if (sameName(e.key, key)) {
                e.value = value;
                replaced = true;
            }
        if (!replaced) current->entries.push_back({key, value});
    }
}

QString IniFile::ToText() const
{
    QString out;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        if (i) out += QLatin1Char('\n');
        out += QLatin1Char('[') + sections_[i].name + QLatin1String("]\n");
        for (const auto& e : sections_[i].entries) out += e.key + QLatin1Char('=') + e.value + QLatin1Char('\n');
    }
    return out;
}

bool IniFile::Save() const { return SaveAs(path_); }

bool IniFile::SaveAs(const QString& path) const
{
    if (path.isEmpty()) return false;
    QSaveFile f(path);  // writes a temporary file beside the target and renames it on commit
    if (!f.open(QIODevice::WriteOnly)) return false;
    const QByteArray bytes = ToText().toUtf8();
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

const IniFile::Section* IniFile::find(const QString& section) const
{
    for (const auto& s : sections_)
        if (sameName(s.name, section)) return &s;
    return nullptr;
}

IniFile::Section& IniFile::findOrAdd(const QString& section)
{
    for (auto& s : sections_)
        if (sameName(s.name, section)) return s;
    sections_.push_back({section, {}});
    return sections_.back();
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    if (const Section* s = find(section))
        for (const auto& e : s->entries)
            if (sameName(e.key, key)) return e.value;
    return def;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    // A value is one line: line breaks would start new entries when read back.
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    Section& s = findOrAdd(section);
    for (auto& e : s.entries)
        if (sameName(e.key, key)) {
            e.value = v;
            return;
        }
    s.entries.push_back({key.trimmed(), v});
}

int IniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    bool ok = false;
    const int v = ReadString(section, key).trimmed().toInt(&ok, 10);
    return ok ? v : def;
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    const QString v = ReadString(section, key).trimmed().toLower();
    if (v == QLatin1String("1") || v == QLatin1String("true") || v == QLatin1String("yes")) return true;
    if (v == QLatin1String("0") || v == QLatin1String("false") || v == QLatin1String("no")) return false;
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok ? n != 0 : def;
}

void IniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::SectionExists(const QString& section) const { return find(section) != nullptr; }

bool IniFile::ValueExists(const QString& section, const QString& key) const
{
    if (const Section* s = find(section))
        for (const auto& e : s->entries)
            if (sameName(e.key, key)) return true;
    return false;
}

QStringList IniFile::ReadSections() const
{
    QStringList out;
    for (const auto& s : sections_) out << s.name;
    return out;
}

QStringList IniFile::ReadSection(const QString& section) const
{
    QStringList out;
    if (const Section* s = find(section))
        for (const auto& e : s->entries) out << e.key;
    return out;
}

void IniFile::EraseSection(const QString& section)
{
    for (auto it = sections_.begin(); it != sections_.end(); ++it)
        if (sameName(it->name, section)) {
            sections_.erase(it);
            return;
        }
}

void IniFile::DeleteKey(const QString& section, const QString& key)
{
    for (auto& s : sections_)
        if (sameName(s.name, section))
            std::erase_if(s.entries, [&](const Entry& e) { return sameName(e.key, key); });
}

}  // namespace platform
