// Keeping the list grid's column widths and print settings outside the
// program, through the program's INI class.
//
// Column widths: with ColumnSize.Location clIniFile in the INI file named by
// ColumnSize.Key (a bare name lies in the working directory), section
// ColumnSize.Section; with clRegistry in "registry.ini" of the user's
// configuration folder, section Key + "\" + Section, standing in for the
// registry key. One value per column: "Col<index>" = width in pixels.
//
// Print settings: one section of an INI file, the keys below in this order;
// Booleans "Y"/"N", enumerations as ordinals, fonts as name, size in points,
// style bits (bold 1, italic 2, underline 4, strike-out 8) and colour, the
// title lines as one text with each line ending in the two characters "\n".
#include "grid/listgrid.h"

#include "platform/inifile.h"

#include <QDir>
#include <QStandardPaths>

namespace grid {

namespace {

// The file and section the column widths live in; false when Key or Section is empty.
bool columnStore(const TColumnSize& S, QString& File, QString& Section)
{
    const QString key = S.Key(), section = S.Section();
    if (key.isEmpty() || section.isEmpty())
        return false;
    if (S.Location() == clIniFile) {
        File = QDir::current().filePath(key);
        Section = section;
    } else {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        QDir().mkpath(folder);
        File = QDir(folder).filePath(QStringLiteral("registry.ini"));
        Section = key + QLatin1Char('\\') + section;
    }
    return true;
}

QString colKey(int C) { return QStringLiteral("Col") + QString::number(C); }

QString yesNo(bool B) { return B ? QStringLiteral("Y") : QStringLiteral("N"); }

}  // namespace

void RIvuZuvuzoZuvu::SaveColSizes()
{
    // Runs in the destructor: nothing may escape, and a file that cannot be
    // written keeps its old content.
    try {
        QString file, section;
        if (!columnStore(*ColumnSize, file, section))
            return;
        platform::IniFile ini(file);
        for (int c = 0; c < ColCount(); ++c)
            ini.WriteInteger(section, colKey(c), ColWidths(c));
        ini.Save();
    } catch (...) {
    }
}

void RIvuZuvuzoZuvu::LoadColSizes()
{
    QString file, section;
    if (!columnStore(*ColumnSize, file, section))
        return;
    const platform::IniFile ini(file);
    for (int c = 0; c < ColCount(); ++c) {
        const int w = ini.ReadInteger(section, colKey(c), -1);
        // A damaged or hand-edited value cannot make a column vanish or grow without bound.
        if (w >= 0 && w <= 65535)
            SetColWidths(c, w);
    }
}

void RIvuZuvuzoZuvu::SavePrintSettings(const QString& FileName, const QString& Section)
{
    const TPrintSettings& S = *PrintSettings;
    platform::IniFile ini(FileName);
    const auto integer = [&](const char* Key, int V) { ini.WriteInteger(Section, QLatin1String(Key), V); };
    const auto text = [&](const char* Key, const QString& V) { ini.WriteString(Section, QLatin1String(Key), V); };
    const auto font = [&](const char* Prefix, const platform::Font& F) {
        const QString p = QLatin1String(Prefix);
        ini.WriteString(Section, p + QStringLiteral("Name"), F.Name);
        ini.WriteInteger(Section, p + QStringLiteral("Size"), F.Size());
        ini.WriteInteger(Section, p + QStringLiteral("Style"), static_cast<int>(F.Style & 15u));
        ini.WriteInteger(Section, p + QStringLiteral("Color"), static_cast<int>(F.Color));
    };
    integer("ColumnSpacing", S.ColumnSpacing());
    integer("RowSpacing", S.RowSpacing());
    integer("TitleSpacing", S.TitleSpacing());
    integer("FixedHeight", S.FixedHeight());
    integer("FixedWidth", S.FixedWidth());
    text("Centered", yesNo(S.Centered()));
    text("NoAutoSize", yesNo(S.NoAutoSize()));
    text("UseFixedHeight", yesNo(S.UseFixedHeight()));
    text("UseFixedWidth", yesNo(S.UseFixedWidth()));
    text("RepeatFixedRows", yesNo(S.RepeatFixedRows()));
    text("RepeatFixedCols", yesNo(S.RepeatFixedCols()));
    integer("Borders", S.Borders());
    integer("BorderStyle", S.BorderStyle());
    integer("Date", S.Date());
    integer("PageNr", S.PageNr());
    integer("Title", S.Title());
    integer("Time", S.Time());
    text("DateFormat", S.DateFormat());
    text("TitleText", S.TitleText());
    integer("FooterSize", S.FooterSize());
    integer("HeaderSize", S.HeaderSize());
    integer("LeftSize", S.LeftSize());
    integer("RightSize", S.RightSize());
    integer("FitToPage", S.FitToPage());
    font("Font", S.Font());
    font("HeaderFont", S.HeaderFont());
    font("FooterFont", S.FooterFont());
    text("PageNumSep", S.PageNumSep());
    text("PageSuffix", S.PageSuffix());
    text("PagePrefix", S.PagePrefix());
    integer("Orientation", S.Orientation());
    std::string lines;
    for (const QString& line : S.TitleLines())
        lines += line.toStdString() + "\r\n";
    text("TitleLines", QString::fromStdString(LFToCLF(lines)));
    if (!ini.Save())
        throw DIdiZedoRorid("Cannot write the print settings to " + FileName.toStdString());
}

void RIvuZuvuzoZuvu::LoadPrintSettings(const QString& FileName, const QString& Section)
{
    TPrintSettings& S = *PrintSettings;
    const platform::IniFile ini(FileName);
    const auto integer = [&](const char* Key, int Def) { return ini.ReadInteger(Section, QLatin1String(Key), Def); };
    const auto text = [&](const char* Key, const QString& Def = {}) {
        return ini.ReadString(Section, QLatin1String(Key), Def);
    };
    const auto flag = [&](const char* Key, bool Def) { return text(Key, yesNo(Def)) == QLatin1String("Y"); };
    // An ordinal outside 0..Last leaves the setting as it was.
    const auto ordinal = [&](auto& Setting, const char* Key, int Last) {
        using E = std::decay_t<decltype(Setting())>;
        const int v = integer(Key, 0);
        if (v >= 0 && v <= Last)
            Setting = static_cast<E>(v);
    };
    const auto position = [&](Setting<TPrintPosition>& Setting, const char* Key) {
        const int v = integer(Key, 0);
        Setting = v >= ppTopLeft && v <= ppBottomCenter ? static_cast<TPrintPosition>(v) : ppNone;
    };
    const auto font = [&](Setting<platform::Font>& Setting, const char* Prefix) {
        const QString p = QLatin1String(Prefix);
        platform::Font f = Setting();
        f.Name = ini.ReadString(Section, p + QStringLiteral("Name"), QStringLiteral("Arial"));
        f.SetSize(ini.ReadInteger(Section, p + QStringLiteral("Size"), 10));
        // Exactly the stored bits: a font saved plain loads plain.
        f.Style = static_cast<platform::FontStyles>(ini.ReadInteger(Section, p + QStringLiteral("Style"), 0)) & 15u;
        f.Color = static_cast<TColor>(ini.ReadInteger(Section, p + QStringLiteral("Color"), 0));
        Setting = f;
    };
    S.ColumnSpacing = integer("ColumnSpacing", 20);
    S.RowSpacing = integer("RowSpacing", 20);
    S.TitleSpacing = integer("TitleSpacing", 20);
    S.FixedHeight = integer("FixedHeight", 0);
    S.FixedWidth = integer("FixedWidth", 0);
    S.Centered = flag("Centered", true);
    S.NoAutoSize = flag("NoAutoSize", false);
    S.UseFixedHeight = flag("UseFixedHeight", false);
    S.UseFixedWidth = flag("UseFixedWidth", false);
    S.RepeatFixedRows = flag("RepeatFixedRows", false);
    S.RepeatFixedCols = flag("RepeatFixedCols", false);
    ordinal(S.Borders, "Borders", pbCustom);
    ordinal(S.BorderStyle, "BorderStyle", platform::psInsideFrame);
    position(S.Date, "Date");
    position(S.PageNr, "PageNr");
    position(S.Title, "Title");
    position(S.Time, "Time");
    S.DateFormat = text("DateFormat");
    S.TitleText = text("TitleText");
    S.FooterSize = integer("FooterSize", 100);
    S.HeaderSize = integer("HeaderSize", 100);
    S.LeftSize = integer("LeftSize", 100);
    S.RightSize = integer("RightSize", 100);
    ordinal(S.FitToPage, "FitToPage", fpCustom);
    font(S.Font, "Font");
    font(S.HeaderFont, "HeaderFont");
    font(S.FooterFont, "FooterFont");
    S.PageNumSep = text("PageNumSep");
    S.PageSuffix = text("PageSuffix");
    S.PagePrefix = text("PagePrefix");
    ordinal(S.Orientation, "Orientation", poLandscape);
    QStringList lines;
    const std::string all = CLFToLF(text("TitleLines").toStdString());
    std::string line;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == '\r' || all[i] == '\n') {
            lines << QString::fromStdString(line);
            line.clear();
            if (all[i] == '\r' && i + 1 < all.size() && all[i + 1] == '\n')
                ++i;
        } else {
            line += all[i];
        }
    }
    if (!line.empty())
        lines << QString::fromStdString(line);
    S.TitleLines = lines;
}

}  // namespace grid
