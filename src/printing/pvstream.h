// Keyed value lists: the records of which preview documents are made. A list
// collects entries (an extended key and a value), writes them as one record
// and clears itself, so one list serves record after record; reading a record
// fills the list for look-up by key. Keys are 80-bit extended values and match
// only by their exact 10 bytes: pass them as long double literals (10.03L),
// never as doubles (PvKey refuses a double at compile time).
//
// Record format (little-endian): Int32 body length L, then L bytes of body. The
// body is a run of entries, each an Int32 type tag, the 10-byte key and the
// value, grouped by tag in the order 1000..1005 and, within a tag, in the order
// added:
//   1000 extended   10 bytes
//   1001 integer    Int32 (Booleans as 0 or 1)
//   1002 string     Int32 length n, then n bytes
//   1003 brush      a nested record: integers 20.0 Color, 20.01 Style
//   1004 font       a nested record: 30.05 extended Angle; integers 30.01 Size,
//                   30.03 Color; strings 30.0 Name, 30.02 style letters
//   1005 pen        a nested record: integers 40.0 Color, 40.02 Width,
//                   40.01 Style, 40.03 Mode
// Style letters: "B" bold, "I" italic, "U" underline, "S" strikeout, in that order.
// Reading: the body length is checked against the bytes left; an entry with a
// tag this list does not know ends the record (the rest of the body is passed
// over); a truncated entry makes the record malformed (StreamReadError, the list
// left empty); nested records hold no nested records of their own.
#pragma once

#include "printing/bytestream.h"
#include "printing/pvtypes.h"

#include <QString>
#include <vector>

namespace printing {

// A record key: the exact 10 bytes of an extended value.
class PvKey {
public:
    PvKey(long double value) : bytes_(EncodeExtended(value)) {}
    // Doubles would carry the double's rounding of the decimal literal, not the key.
    PvKey(double) = delete;
    PvKey(float) = delete;
    explicit PvKey(const ExtendedBytes& bytes) : bytes_(bytes) {}

    const ExtendedBytes& Bytes() const { return bytes_; }
    long double Value() const { return DecodeExtended(bytes_); }
    friend bool operator==(const PvKey&, const PvKey&) = default;

private:
    ExtendedBytes bytes_;
};

// One entry of a keyed value list.
template <typename T> struct TPvFileRec {
    PvKey Key;
    T Value;
};
using TPvExtFileRec = TPvFileRec<long double>;
using TPvIntFileRec = TPvFileRec<std::int32_t>;
using TPvStrFileRec = TPvFileRec<QByteArray>;
using TPvBrushFileRec = TPvFileRec<TPvBrush>;
using TPvFontFileRec = TPvFileRec<TPvFont>;
using TPvPenFileRec = TPvFileRec<TPvPen>;

enum : std::int32_t { kTagExtended = 1000, kTagInteger, kTagString, kTagBrush, kTagFont, kTagPen };

// The extended, integer and string entries and the record framing that both
// generations of keyed lists share.
class KeyedValueList {
public:
    virtual ~KeyedValueList() = default;

    void AddExtVal(PvKey key, long double value) { ext_.push_back({key, value}); }
    void AddIntVal(PvKey key, std::int32_t value) { int_.push_back({key, value}); }
    void AddStrVal(PvKey key, const QByteArray& value) { str_.push_back({key, value}); }
    void AddStrVal(PvKey key, const QString& value) { AddStrVal(key, value.toUtf8()); }
    void AddStrVal(PvKey key, const char* value) { AddStrVal(key, QByteArray(value)); }

    // The first entry of the kind with an equal key; 0 or empty when there is none.
    long double GetExtValue(PvKey key) const;
    std::int32_t GetIntValue(PvKey key) const { return GetIntValueDef(key, 0); }
    std::int32_t GetIntValueDef(PvKey key, std::int32_t def) const;
    QByteArray GetStrValue(PvKey key) const;

    void Clear();
    // Writes the entries as one record and clears the list.
    void SaveToStream(ByteStream& stream);
    // Clears the list and reads one record. Throws StreamReadError (the list
    // then empty) when the record is cut short or malformed.
    void LoadFromStream(ByteStream& stream);

protected:
    // Hooks for the entry kinds a subclass adds beyond tags 1000 to 1002.
    virtual void WriteMoreEntries(ByteStream& body) const {}
    // Reads the value of an entry with this tag; false when the tag is not one of the list's.
    virtual bool ReadMoreEntry(std::int32_t tag, const PvKey& key, ByteStream& body) { return false; }
    virtual void ClearMore() {}

private:
    std::vector<TPvExtFileRec> ext_;
    std::vector<TPvIntFileRec> int_;
    std::vector<TPvStrFileRec> str_;
};

// The entry with the given key in a list of entries; nullptr when none.
template <typename T> const T* FindEntry(const std::vector<TPvFileRec<T>>& list, const PvKey& key)
{
    for (const auto& e : list)
        if (e.Key == key)
            return &e.Value;
    return nullptr;
}

// A stored ordinal held to 0..max.
inline std::uint8_t ClampOrdinal(std::int64_t value, int max)
{
    return std::uint8_t(value < 0 ? 0 : value > max ? max : value);
}
// The highest stored ordinals of brush style, pen style and pen mode.
constexpr int kPvBrushStyleMax = PvBsDiagCross;
constexpr int kPvPenStyleMax = PvPsInsideFrame;
constexpr int kPvPenModeMax = 15;

QByteArray FontStyleToString(std::uint8_t styles);
std::uint8_t FontStringToStyle(const QByteArray& text);

// The keyed list of the current document generation: also brushes, fonts and
// pens, each as a nested record.
class TPvExtValueList : public KeyedValueList {
public:
    TPvExtValueList() = default;

    void AddBoolVal(PvKey key, bool value) { AddIntVal(key, value ? 1 : 0); }
    void AddPvBrush(PvKey key, const TPvBrush& brush) { brushes_.push_back({key, brush}); }
    void AddPvFont(PvKey key, const TPvFont& font) { fonts_.push_back({key, font}); }
    void AddPvPen(PvKey key, const TPvPen& pen) { pens_.push_back({key, pen}); }

    // The low byte of the integer entry, non-zero is true; false when missing.
    bool GetBoolValue(PvKey key) const { return (GetIntValue(key) & 0xFF) != 0; }
    // These leave the record as it was when the key is missing.
    void GetPvBrush(PvKey key, TPvBrush& brush) const;
    void GetPvFont(PvKey key, TPvFont& font) const;
    void GetPvPen(PvKey key, TPvPen& pen) const;

    // The nested records on their own. A reader fills the fields the record
    // lacks with the defaults: brush Color 0, Style 0; font Size 12, Color 0,
    // Angle 0, Name empty, no style, Charset 0; pen Color 0, Width 1, Style 0, Mode 4.
    static void BrushToStream(ByteStream& stream, const TPvBrush& brush);
    static TPvBrush BrushFromStream(ByteStream& stream);
    static void FontToStream(ByteStream& stream, const TPvFont& font);
    static TPvFont FontFromStream(ByteStream& stream);
    static void PenToStream(ByteStream& stream, const TPvPen& pen);
    static TPvPen PenFromStream(ByteStream& stream);

protected:
    void WriteMoreEntries(ByteStream& body) const override;
    bool ReadMoreEntry(std::int32_t tag, const PvKey& key, ByteStream& body) override;
    void ClearMore() override;

private:
    struct NestedTag {};
    explicit TPvExtValueList(NestedTag) : nested_(true) {}

    bool nested_ = false;  // a nested record: brush, font and pen tags end it
    std::vector<TPvBrushFileRec> brushes_;
    std::vector<TPvFontFileRec> fonts_;
    std::vector<TPvPenFileRec> pens_;
};

}  // namespace printing
