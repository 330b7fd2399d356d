// Fonts: the face-name table, the one conversion to QFont, and the 60-byte record.
#include "platform/canvas.h"
#include "platform/logfont.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringDecoder>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace platform {

namespace {

// Faces the layouts and the grid name, and the installed family drawn for each.
// Arial, Times New Roman and Courier New have metric-compatible stand-ins.
struct FaceMapping {
    const char* face;
    const char* family;
};
constexpr FaceMapping kFaceTable[] = {
    {"Tahoma", "DejaVu Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"MS Shell Dlg", "Liberation Sans"},
    {"MS Shell Dlg 2", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"Symbol", "DejaVu Sans"},
    {"Arial", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Century Gothic", "URW Gothic"},
    {"MingLiU", "Noto Serif CJK TC"},
    {"PMingLiU", "Noto Serif CJK TC"},
    {"\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94", "Noto Serif CJK TC"},              // MingLiU
    {"\xE6\x96\xB0\xE7\xB4\xB0\xE6\x98\x8E\xE9\xAB\x94", "Noto Serif CJK TC"},  // PMingLiU
    {"DFKai-SB", "Noto Serif CJK TC"},
    {"\xE6\xA8\x99\xE6\xA5\xB7\xE9\xAB\x94", "Noto Serif CJK TC"},              // DFKai-SB
    {"Microsoft JhengHei", "Noto Sans CJK TC"},
    {"SimSun", "Noto Serif CJK SC"},
    {"SimHei", "Noto Sans CJK SC"},
};

bool isChineseCharset(int charset) { return charset == 136 || charset == 134; }

constexpr int kLayoutDpi = 96;

// The one place a font description becomes a QFont. pixelHeight follows the
// record's rule (negative em height, positive cell height, 0 default) and is
// already scaled to the device.
QFont makeQFont(const QString& face, double pixelHeight, int weight, bool italic, bool underline, bool strikeOut,
                int charset)
{
    QFont f;
    QStringList families{MapFaceName(face.isEmpty() ? QStringLiteral("MS Sans Serif") : face)};
    if (isChineseCharset(charset)) families << QStringLiteral("Noto Sans CJK TC");
    f.setFamilies(families);
    f.setStyleStrategy(QFont::PreferDefault);
    double em = pixelHeight < 0 ? -pixelHeight : pixelHeight;
    if (pixelHeight == 0) em = 12.0;
    if (pixelHeight > 0) {
        // A cell height: find the em size whose ascent + descent is that height.
        QFont probe = f;
        probe.setPixelSize(100);
        const double h = QFontMetricsF(probe).height();
        if (h > 0) em = pixelHeight * 100.0 / h;
    }
    f.setPixelSize(std::max(1, int(std::lrint(em))));
    int w = weight <= 0 ? 400 : std::clamp(weight, 1, 1000);
    w = std::clamp(int(std::lrint(w / 100.0)) * 100, 100, 900);
    f.setWeight(QFont::Weight(w));
    f.setItalic(italic);
    f.setUnderline(underline);
    f.setStrikeOut(strikeOut);
    return f;
}

}  // namespace

QString MapFaceName(const QString& face)
{
    for (const auto& m : kFaceTable)
        if (face.compare(QString::fromUtf8(m.face), Qt::CaseInsensitive) == 0) return QString::fromUtf8(m.family);
    return face;
}

// ---------------------------------------------------------------- Font

Font::Font() = default;

int Font::Size() const
{
    if (Height == 0) return 0;
    const double pts = std::abs(Height) * 72.0 / PixelsPerInch;
    return int(std::lrint(Height < 0 ? pts : -pts));
}

void Font::SetSize(int points) { Height = -int(std::lrint(points * double(PixelsPerInch) / 72.0)); }

QFont Font::ToQFont(int deviceDpi) const
{
    const double scaled = Height * double(deviceDpi) / PixelsPerInch;
    QFont f = makeQFont(Name, scaled, (Style & fsBold) ? 700 : 400, Style & fsItalic, Style & fsUnderline,
                        Style & fsStrikeOut, Charset);
    if (Pitch == fpFixed) f.setFixedPitch(true);
    return f;
}

Font Font::FromQFont(const QFont& q, int pixelsPerInch)
{
    Font f;
    f.Name = q.family();
    f.PixelsPerInch = pixelsPerInch;
    if (q.pointSizeF() > 0)
        f.Height = -int(std::lrint(q.pointSizeF() * pixelsPerInch / 72.0));
    else
        f.Height = -q.pixelSize();
    f.Style = (q.weight() >= QFont::DemiBold ? FontStyles(fsBold) : 0u) | (q.italic() ? FontStyles(fsItalic) : 0u) |
              (q.underline() ? FontStyles(fsUnderline) : 0u) | (q.strikeOut() ? FontStyles(fsStrikeOut) : 0u);
    f.Pitch = q.fixedPitch() ? fpFixed : fpDefault;
    return f;
}

LogFont Font::ToLogFont() const
{
    LogFont lf;
    lf.SetHeight(int(std::lrint(Height * double(kLayoutDpi) / PixelsPerInch)));
    lf.SetWeight((Style & fsBold) ? 700 : 400);
    lf.SetItalic((Style & fsItalic) ? 1 : 0);
    lf.SetUnderline((Style & fsUnderline) ? 1 : 0);
    lf.SetStrikeOut((Style & fsStrikeOut) ? 1 : 0);
    lf.SetCharSet(std::uint8_t(Charset));
    lf.SetEscapement(Orientation);
    lf.SetOrientation(Orientation);
    lf.SetPitchAndFamily(Pitch == fpFixed ? 1 : Pitch == fpVariable ? 2 : 0);
    lf.SetFaceName(Name);
    return lf;
}

Font Font::FromLogFont(const LogFont& lf, int pixelsPerInch)
{
    Font f;
    f.Name = lf.FaceName();
    f.PixelsPerInch = pixelsPerInch;
    f.Height = int(std::lrint(lf.Height() * double(pixelsPerInch) / kLayoutDpi));
    f.Style = (lf.Weight() >= 700 ? FontStyles(fsBold) : 0u) | (lf.Italic() ? FontStyles(fsItalic) : 0u) | (lf.Underline() ? FontStyles(fsUnderline) : 0u) |
              (lf.StrikeOut() ? FontStyles(fsStrikeOut) : 0u);
    f.Charset = lf.CharSet();
    const int pitch = lf.PitchAndFamily() & 3;
    f.Pitch = pitch == 1 ? fpFixed : pitch == 2 ? fpVariable : fpDefault;
    f.Orientation = lf.Escapement();
    return f;
}

// ---------------------------------------------------------------- LogFont

LogFont::LogFont()
{
    SetHeight(-16);
    SetWeight(400);
    SetCharSet(1);
    SetFaceName(QStringLiteral("Arial"));
}

std::optional<LogFont> LogFont::FromBytes(const void* data, std::size_t size)
{
    if (size != kSize || data == nullptr) return std::nullopt;
    LogFont lf;
    std::memcpy(lf.bytes_.data(), data, kSize);
    return lf;
}

std::optional<LogFont> LogFont::FromBytes(const QByteArray& bytes)
{
    return FromBytes(bytes.constData(), std::size_t(bytes.size()));
}

QByteArray LogFont::ToBytes() const { return QByteArray(reinterpret_cast<const char*>(bytes_.data()), kSize); }

std::int32_t LogFont::i32(int at) const
{
    const std::uint32_t v = std::uint32_t(bytes_[at]) | std::uint32_t(bytes_[at + 1]) << 8 |
                            std::uint32_t(bytes_[at + 2]) << 16 | std::uint32_t(bytes_[at + 3]) << 24;
    return std::int32_t(v);
}

void LogFont::set32(int at, std::int32_t v)
{
    const auto u = std::uint32_t(v);
    for (int i = 0; i < 4; ++i) bytes_[at + i] = std::uint8_t(u >> (8 * i));
}

QString LogFont::FaceName() const
{
    const char* p = reinterpret_cast<const char*>(bytes_.data() + 28);
    const std::size_t n = strnlen(p, 32);
    const QByteArray raw(p, qsizetype(std::min<std::size_t>(n, 31)));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8(raw);
    if (utf8.hasError()) return QString::fromLatin1(raw);
    return s;
}

void LogFont::SetFaceName(const QString& name)
{
    QByteArray utf8 = name.toUtf8();
    // Cut to 31 bytes without splitting a character.
    int n = std::min<int>(int(utf8.size()), 31);
    while (n > 0 && n < utf8.size() && (std::uint8_t(utf8[n]) & 0xC0) == 0x80) --n;
    std::fill(bytes_.begin() + 28, bytes_.end(), 0);
    std::memcpy(bytes_.data() + 28, utf8.constData(), std::size_t(n));
}

QFont LogFont::ToQFont(int deviceDpi) const
{
    const double scaled = Height() * double(deviceDpi) / kLayoutDpi;
    QFont f = makeQFont(FaceName(), scaled, Weight(), Italic() != 0, Underline() != 0, StrikeOut() != 0, CharSet());
    if ((PitchAndFamily() & 3) == 1) f.setFixedPitch(true);
    return f;
}

LogFont LogFont::FromQFont(const QFont& font, int dpi)
{
    LogFont lf;
    double px = font.pointSizeF() > 0 ? font.pointSizeF() * dpi / 72.0 : font.pixelSize();
    lf.SetHeight(-int(std::lrint(px)));
    lf.SetWeight(font.weight() > 0 ? std::clamp(int(font.weight()), 100, 900) : 400);
    lf.SetItalic(font.italic() ? 1 : 0);
    lf.SetUnderline(font.underline() ? 1 : 0);
    lf.SetStrikeOut(font.strikeOut() ? 1 : 0);
    lf.SetCharSet(1);
    lf.SetFaceName(font.family());
    return lf;
}

}  // namespace platform
