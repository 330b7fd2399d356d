#include "printing/pvstream.h"

namespace printing {

namespace {

void WriteEntryHead(ByteStream& body, std::int32_t tag, const PvKey& key)
{
    IntToStream(body, tag);
    body.Write(key.Bytes().data(), qint64(key.Bytes().size()));
}

// Every entry of one kind: its tag and key, then the value as `write` puts it.
template <typename T, typename Write>
void WriteEntries(ByteStream& body, std::int32_t tag, const std::vector<TPvFileRec<T>>& entries, Write write)
{
    for (const auto& e : entries) {
        WriteEntryHead(body, tag, e.Key);
        write(body, e.Value);
    }
}

}  // namespace

long double KeyedValueList::GetExtValue(PvKey key) const
{
    const long double* v = FindEntry(ext_, key);
    return v ? *v : 0;
}

std::int32_t KeyedValueList::GetIntValueDef(PvKey key, std::int32_t def) const
{
    const std::int32_t* v = FindEntry(int_, key);
    return v ? *v : def;
}

QByteArray KeyedValueList::GetStrValue(PvKey key) const
{
    const QByteArray* v = FindEntry(str_, key);
    return v ? *v : QByteArray();
}

void KeyedValueList::Clear()
{
    ext_.clear();
    int_.clear();
    str_.clear();
    ClearMore();
}

void KeyedValueList::SaveToStream(ByteStream& stream)
{
    ByteStream body;
    WriteEntries(body, kTagExtended, ext_, FloatToStream);
    WriteEntries(body, kTagInteger, int_, IntToStream);
    WriteEntries(body, kTagString, str_, StrToStream);
    WriteMoreEntries(body);
    StrToStream(stream, body.Bytes());  // Int32 length, then the body
    Clear();
}

void KeyedValueList::LoadFromStream(ByteStream& stream)
{
    Clear();
    ByteStream body(StrFromStream(stream));
    try {
        while (body.Remaining() > 0) {
            const std::int32_t tag = IntFromStream(body);
            if (tag < kTagExtended || tag > kTagPen)
                break;
            ExtendedBytes keyBytes;
            body.Read(keyBytes.data(), qint64(keyBytes.size()));
            const PvKey key(keyBytes);
            if (tag == kTagExtended)
                AddExtVal(key, FloatFromStream(body));
            else if (tag == kTagInteger)
                AddIntVal(key, IntFromStream(body));
            else if (tag == kTagString)
                AddStrVal(key, StrFromStream(body));
            else if (!ReadMoreEntry(tag, key, body))
                break;
        }
    } catch (...) {
        Clear();
        throw;
    }
}

QByteArray FontStyleToString(std::uint8_t styles)
{
    QByteArray s;
    if (styles & PvFsBold)
        s += 'B';
    if (styles & PvFsItalic)
        s += 'I';
    if (styles & PvFsUnderline)
        s += 'U';
    if (styles & PvFsStrikeOut)
        s += 'S';
    return s;
}

std::uint8_t FontStringToStyle(const QByteArray& text)
{
    std::uint8_t styles = 0;
    if (text.contains('B'))
        styles |= PvFsBold;
    if (text.contains('I'))
        styles |= PvFsItalic;
    if (text.contains('U'))
        styles |= PvFsUnderline;
    if (text.contains('S'))
        styles |= PvFsStrikeOut;
    return styles;
}

void TPvExtValueList::GetPvBrush(PvKey key, TPvBrush& brush) const
{
    if (const TPvBrush* v = FindEntry(brushes_, key))
        brush = *v;
}

void TPvExtValueList::GetPvFont(PvKey key, TPvFont& font) const
{
    if (const TPvFont* v = FindEntry(fonts_, key))
        font = *v;
}

void TPvExtValueList::GetPvPen(PvKey key, TPvPen& pen) const
{
    if (const TPvPen* v = FindEntry(pens_, key))
        pen = *v;
}

void TPvExtValueList::BrushToStream(ByteStream& stream, const TPvBrush& brush)
{
    TPvExtValueList list(NestedTag{});
    list.AddIntVal(20.0L, brush.Color);
    list.AddIntVal(20.01L, brush.Style);
    list.SaveToStream(stream);
}

TPvBrush TPvExtValueList::BrushFromStream(ByteStream& stream)
{
    TPvExtValueList list(NestedTag{});
    list.LoadFromStream(stream);
    TPvBrush brush;
    brush.Color = list.GetIntValue(20.0L);
    brush.Style = ClampOrdinal(list.GetIntValue(20.01L), kPvBrushStyleMax);
    return brush;
}

void TPvExtValueList::FontToStream(ByteStream& stream, const TPvFont& font)
{
    TPvExtValueList list(NestedTag{});
    list.AddExtVal(30.05L, font.Angle);
    list.AddIntVal(30.01L, font.Size);
    list.AddIntVal(30.03L, font.Color);
    list.AddStrVal(30.0L, font.Name);
    list.AddStrVal(30.02L, FontStyleToString(font.Style));
    list.SaveToStream(stream);
}

TPvFont TPvExtValueList::FontFromStream(ByteStream& stream)
{
    TPvExtValueList list(NestedTag{});
    list.LoadFromStream(stream);
    TPvFont font;
    font.Angle = list.GetExtValue(30.05L);
    font.Size = list.GetIntValueDef(30.01L, 12);
    font.Color = list.GetIntValue(30.03L);
    font.Name = QString::fromUtf8(list.GetStrValue(30.0L));
    font.Style = FontStringToStyle(list.GetStrValue(30.02L));
    font.Charset = 0;
    return font;
}

void TPvExtValueList::PenToStream(ByteStream& stream, const TPvPen& pen)
{
    TPvExtValueList list(NestedTag{});
    list.AddIntVal(40.0L, pen.Color);
    list.AddIntVal(40.02L, pen.Width);
    list.AddIntVal(40.01L, pen.Style);
    list.AddIntVal(40.03L, pen.Mode);
    list.SaveToStream(stream);
}

TPvPen TPvExtValueList::PenFromStream(ByteStream& stream)
{
    TPvExtValueList list(NestedTag{});
    list.LoadFromStream(stream);
    TPvPen pen;
    pen.Color = list.GetIntValue(40.0L);
    pen.Width = list.GetIntValueDef(40.02L, 1);
    pen.Style = ClampOrdinal(list.GetIntValue(40.01L), kPvPenStyleMax);
    pen.Mode = ClampOrdinal(list.GetIntValueDef(40.03L, kPvPenModeCopy), kPvPenModeMax);
    return pen;
}

void TPvExtValueList::WriteMoreEntries(ByteStream& body) const
{
    WriteEntries(body, kTagBrush, brushes_, BrushToStream);
    WriteEntries(body, kTagFont, fonts_, FontToStream);
    WriteEntries(body, kTagPen, pens_, PenToStream);
}

bool TPvExtValueList::ReadMoreEntry(std::int32_t tag, const PvKey& key, ByteStream& body)
{
    if (nested_)
        return false;
    if (tag == kTagBrush)
        AddPvBrush(key, BrushFromStream(body));
    else if (tag == kTagFont)
        AddPvFont(key, FontFromStream(body));
    else if (tag == kTagPen)
        AddPvPen(key, PenFromStream(body));
    else
        return false;
    return true;
}

void TPvExtValueList::ClearMore()
{
    brushes_.clear();
    fonts_.clear();
    pens_.clear();
}

}  // namespace printing
