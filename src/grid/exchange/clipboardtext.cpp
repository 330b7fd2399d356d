#include "grid/exchange/clipboardtext.h"

#include "grid/vurirod.h"

#include <algorithm>

namespace grid::exchange {

namespace {

// The lines of a pasted text, as described in the header; a text that ends
// with a line end has no empty line after it.
class PasteLines {
public:
    PasteLines(std::string_view Text, bool Quoted) : text_(Text), quoted_(Quoted) {}

    // The next line; false after the last one.
    bool Next(std::string_view& Line)
    {
        if (pos_ >= text_.size())
            return false;
        const std::size_t end = lineEnd();
        Line = text_.substr(pos_, end - pos_);
        ended_ = end < text_.size();
        pos_ = end + (text_.substr(end, 2) == "\r\n" ? 2 : 1);
        return true;
    }
    // Whether the line given last ended with a line end.
    bool Ended() const { return ended_; }
    bool AtEnd() const { return pos_ >= text_.size(); }

private:
    std::size_t lineEnd()
    {
        bool fieldStart = true;
        for (std::size_t i = pos_; i < text_.size(); ++i) {
            const char c = text_[i];
            if (quoted_ && fieldStart && c == '"') {
                if (const std::size_t close = closingQuote(i); close != std::string_view::npos) {
                    i = close;
                    fieldStart = false;
                    continue;
                }
            }
            if (c == '\r' || c == '\n')
                return i;
            fieldStart = c == '\t';
        }
        return text_.size();
    }
    // The quote after Open that is followed by a tab, a line end or the end,
    // when no tab or CR comes first. A search that failed up to some place
    // fails from every quote before it as well, so none is made twice.
    std::size_t closingQuote(std::size_t Open)
    {
        if (Open < noCloseBefore_)
            return std::string_view::npos;
        for (std::size_t i = Open + 1; i < text_.size(); ++i) {
            const char c = text_[i];
            if (c == '\t' || c == '\r')
                break;
            if (c == '"' && (i + 1 == text_.size() || text_[i + 1] == '\t' || text_[i + 1] == '\r' ||
                             text_[i + 1] == '\n'))
                return i;
            noCloseBefore_ = i + 1;
        }
        noCloseBefore_ = std::max(noCloseBefore_, Open + 1);
        return std::string_view::npos;
    }

    std::string_view text_;
    bool quoted_;
    std::size_t pos_ = 0;
    std::size_t noCloseBefore_ = 0;
    bool ended_ = false;
};

}  // namespace

std::string_view BeforeZero(std::string_view Text) { return Text.substr(0, Text.find('\0')); }

std::string ClipboardText(const CellTable& T, int Left, int Right, int Top, int Bottom,
                          const std::function<bool(int Row)>& Row, bool LineEnds, bool QuoteLines, bool Multiline)
{
    std::string out, field;
    for (int r = Top; r <= Bottom; ++r) {
        if (Row && !Row(r))
            continue;
        for (int c = Left; c <= Right; ++c) {
            field = T.SaveText(T.RemapCol(c), r);
            if (QuoteLines && LinesInText(field, Multiline) > 1)
                LineFeedsToCSV(field);
            out += field;
            if (c < Right)
                out += '\t';
        }
        if (LineEnds)
            out += "\r\n";
    }
    return out;
}

void ClipboardTextSize(std::string_view Text, bool QuoteLines, int& Cols, int& Rows)
{
    PasteLines lines(BeforeZero(Text), QuoteLines);
    Rows = 0;
    std::ptrdiff_t columns = 0;
    for (std::string_view line; lines.Next(line); ++Rows)
        columns = std::max<std::ptrdiff_t>(columns, std::count(line.begin(), line.end(), '\t') + 1);
    Cols = static_cast<int>(columns);
}

int SplitClipboardText(std::string_view Text, bool QuoteLines,
                       const std::function<void(int Col, int Row, std::string_view Field)>& Field, int& LastCol,
                       int& LastRow)
{
    int fields = 0, row = 0;
    LastCol = 0;
    PasteLines lines(BeforeZero(Text), QuoteLines);
    for (std::string_view line; lines.Next(line); ++row) {
        int col = 0;
        for (std::size_t from = 0;; ++col) {
            const std::size_t tab = line.find('\t', from);
            ++fields;
            Field(col, row, line.substr(from, tab == std::string_view::npos ? tab : tab - from));
            if (tab == std::string_view::npos)
                break;
            from = tab + 1;
        }
        LastCol = std::max(LastCol, col);
        if (lines.AtEnd()) {
            if (lines.Ended())
                ++fields;  // the empty field after the final line end, never stored
            break;
        }
    }
    LastRow = row;
    return fields;
}

void PastedField(std::string_view Field, bool QuoteLines, std::string& Cell)
{
    Cell.assign(Field);
    if (QuoteLines && Cell.find('\n') != std::string::npos && Cell.size() >= 2 && Cell.front() == '"' &&
        Cell.back() == '"') {
        Cell = Cell.substr(1, Cell.size() - 2);
        CSVToLineFeeds(Cell);
    }
}

}  // namespace grid::exchange
