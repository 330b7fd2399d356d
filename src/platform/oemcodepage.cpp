#include "platform/oemcodepage.h"

#include <QHash>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include <iconv.h>

namespace platform {

namespace {

// Page 437 decoded once through iconv: the text of every byte, and the byte
// of every character the page holds.
struct Page437 {
    std::array<QString, 256> text;
    QHash<char32_t, unsigned char> byte;

    Page437()
    {
        iconv_t cd = iconv_open("UTF-8", "CP437");
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char out[8] = {};
            char* inp = &in;
            char* outp = out;
            size_t inLeft = 1, outLeft = sizeof out;
            if (cd != reinterpret_cast<iconv_t>(-1) && iconv(cd, &inp, &inLeft, &outp, &outLeft) != size_t(-1))
                text[static_cast<size_t>(b)] = QString::fromUtf8(out, outp - out);
            else
                text[static_cast<size_t>(b)] = b < 128 ? QString(QChar(b)) : QStringLiteral("?");
            const QList<uint> points = text[static_cast<size_t>(b)].toUcs4();
            if (points.size() == 1 && !byte.contains(points[0]))
                byte.insert(points[0], static_cast<unsigned char>(b));
        }
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
};

const Page437& page()
{
    static const Page437 table;
    return table;
}

// Whether no byte has its high bit set; eight bytes at a time.
bool isAscii(std::string_view text)
{
    std::uint64_t high = 0;
    size_t k = 0;
    for (; k + 8 <= text.size(); k += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + k, 8);
        high |= word;
    }
    for (; k < text.size(); ++k)
        high |= static_cast<unsigned char>(text[k]);
    return (high & 0x8080808080808080ull) == 0;
}

} // namespace

std::string Utf8ToOem(std::string_view utf8)
{
    const Page437& p = page();
    std::string out;
    out.reserve(utf8.size());
    for (const char32_t c : QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUcs4())
        out += static_cast<char>(p.byte.value(c, '?'));
    return out;
}

std::string OemToUtf8(std::string_view oem)
{
    const Page437& p = page();
    QString out;
    out.reserve(static_cast<qsizetype>(oem.size()));
    for (const char c : oem)
        out += p.text[static_cast<unsigned char>(c)];
    return out.toStdString();
}

char32_t Cp1252Char(unsigned char byte)
{
    static const char16_t kHigh[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                       0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

bool IsUtf8(std::string_view text)
{
    // Runs of ASCII are only looked at; the rest is decoded in pieces that
    // never cut a sequence: a piece ends before a byte that can start one.
    constexpr size_t kPiece = 1 << 16;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    std::vector<QChar> decoded;
    for (size_t from = 0; from < text.size();) {
        size_t to = std::min(text.size(), from + kPiece);
        while (to < text.size() && (static_cast<unsigned char>(text[to]) & 0xC0) == 0x80)
            ++to;
        const std::string_view piece = text.substr(from, to - from);
        if (!isAscii(piece)) {
            const QByteArrayView bytes(piece.data(), static_cast<qsizetype>(piece.size()));
            decoded.resize(static_cast<size_t>(utf8.requiredSpace(bytes.size())));
            utf8.appendToBuffer(decoded.data(), bytes);
            if (utf8.hasError())
                return false;
        }
        from = to;
    }
    return true;
}

std::string Utf8OrCp1252(std::string_view text)
{
    if (IsUtf8(text))
        return std::string(text);
    std::u32string wide;
    wide.reserve(text.size());
    for (const char c : text)
        wide += Cp1252Char(static_cast<unsigned char>(c));
    return QString::fromUcs4(wide.data(), static_cast<qsizetype>(wide.size())).toStdString();
}

} // namespace platform
