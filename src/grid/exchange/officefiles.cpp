#include "grid/exchange/officefiles.h"

#include "grid/exchange/fileio.h"
#include "grid/vurirod.h"

#include <algorithm>
#include <climits>

namespace grid::exchange {

namespace qf = queryframes;

const WorkbookSheet* PickSheet(const std::vector<WorkbookSheet>& Sheets, const QString& Name)
{
    const WorkbookSheet* sheet = &Sheets.front();
    for (const WorkbookSheet& s : Sheets)
        if (Name.isEmpty() ? s.active : s.name == Name)
            sheet = &s;
    return !Name.isEmpty() && sheet->name != Name ? nullptr : sheet;
}

void SheetIntoTable(const WorkbookSheet& Sheet, CellTable& T, int ColOffset, int RowOffset)
{
    int top = INT_MAX, left = INT_MAX, bottom = 0, right = 0;
    auto widen = [&](std::pair<int, int> at) {
        top = std::min(top, at.first);
        bottom = std::max(bottom, at.first);
        left = std::min(left, at.second);
        right = std::max(right, at.second);
    };
    for (const auto& [at, value] : Sheet.cells)
        if (!workbookfiles::CellText(value).isEmpty())
            widen(at);
    for (const auto& at : Sheet.errors)
        widen(at);
    if (bottom <= 0)
        return;
    T.SetColCount(right - left + 1 + ColOffset);
    T.SetRowCount(bottom - top + 1 + RowOffset);
    for (const auto& [at, value] : Sheet.cells) {
        const QString text = workbookfiles::CellText(value);
        if (!text.isEmpty() && !Sheet.errors.count(at))
            T.SetText(at.second - left + ColOffset, at.first - top + RowOffset, text.toStdString());
    }
}

void CopyToSheet(int ColCount, int RowCount, const SheetCopy& Copy, const SheetCellText& Text,
                 const SheetCellPut& Put)
{
    for (int r = Copy.firstRow; r < RowCount; ++r)
        for (int c = Copy.firstCol; c < ColCount; ++c) {
            const std::string cell = Copy.dropReturns ? LineFeedsToXLS(Text(c, r)) : Text(c, r);
            if (!cell.empty())
                Put(c - Copy.firstCol + 1, r - Copy.firstRow + 1, cell);
        }
}

WorkbookSheet TableSheet(const CellTable& T, int ColOffset, int RowOffset, const QString& Name)
{
    WorkbookSheet sheet;
    sheet.name = Name;
    // a cell beyond the sheet's last row or column fails the writer
    CopyToSheet(T.ColCount(), T.RowCount(), {ColOffset, RowOffset, true},
                [&T](int c, int r) { return T.SaveText(T.RemapCol(c), r); },
                [&sheet](int column, int row, const std::string& text) {
                    sheet.cells[{row, column}] = QString::fromStdString(text);
                });
    return sheet;
}

std::vector<std::vector<docx::TableCell>> DocxRows(const CellTable& T)
{
    std::vector<std::vector<docx::TableCell>> rows(static_cast<size_t>(std::max(T.RowCount(), 0)));
    for (int r = 0; r < T.RowCount(); ++r) {
        auto& row = rows[static_cast<size_t>(r)];
        row.resize(static_cast<size_t>(std::max(T.ColCount(), 0)));
        for (int c = 0; c < T.ColCount(); ++c) {
            const int real = T.RemapCol(c);
            docx::TableCell& cell = row[static_cast<size_t>(c)];
            for (const QByteArray& line : fileio::SplitLines(QByteArray::fromStdString(T.SaveText(real, r))))
                cell.paragraphs << QString::fromUtf8(line);
            const int align = T.Alignment(real, r);
            cell.alignment = align == 1 ? docx::Alignment::Right
                             : align == 2 ? docx::Alignment::Center
                                          : docx::Alignment::Left;
        }
    }
    return rows;
}

bool QueryAnswer::Feed(const QByteArray& Piece)
{
    reader_.feed(Piece);
    qf::Frame frame;
    for (;;) {
        const qf::Reader::Result got = reader_.next(frame);
        if (got == qf::Reader::NeedMore)
            return true;
        if (got == qf::Reader::Damaged || ended_ ||
            (fields_ < 0 && frame.kind != qf::Names && frame.kind != qf::Failure))
            return bad();
        if (!take(frame))
            return false;
    }
}

bool QueryAnswer::take(const qf::Frame& Frame)
{
    switch (Frame.kind) {
    case qf::Names: {
        QStringList names;
        if (fields_ >= 0 || !qf::ReadNames(Frame.payload, names))
            return bad();
        fields_ = names.size();
        t_.SetColCount(t_.FixedCols() + static_cast<int>(fields_));
        if (t_.FixedRows() > 0)
            for (qsizetype i = 0; i < fields_; ++i)
                t_.SetText(t_.FixedCols() + static_cast<int>(i), t_.FixedRows() - 1, names[i].toStdString());
        break;
    }
    case qf::Count: {
        int64_t count = 0;
        if (!qf::ReadCount(Frame.payload, count))
            return bad();
        // a count too large to hold is left to the records themselves
        if (count > 0 && count <= workbookfiles::kMaxCells / std::max<qsizetype>(fields_, 1))
            t_.SetRowCount(t_.FixedRows() + static_cast<int>(count));
        break;
    }
    case qf::Record:
        if (!qf::ReadRecord(Frame.payload, static_cast<size_t>(fields_), values_))
            return bad();
        cells_ += std::max<qsizetype>(fields_, 1);
        if (cells_ > workbookfiles::kMaxCells) {
            driverText_ = QString("The query gives more than %1 cells.").arg(workbookfiles::kMaxCells);
            return false;
        }
        if (row_ >= t_.RowCount())
            t_.SetRowCount(row_ + 1);
        for (qsizetype i = 0; i < fields_; ++i) {
            const qf::Value& v = values_[static_cast<size_t>(i)];
            t_.SetText(t_.FixedCols() + static_cast<int>(i), row_, v ? v->toStdString() : std::string());
        }
        ++row_;
        break;
    case qf::Failure:
        driverText_ = QString::fromUtf8(Frame.payload).trimmed();
        ended_ = true;
        break;
    case qf::Done:
        if (!Frame.payload.isEmpty())
            return bad();
        ended_ = done_ = true;
        break;
    }
    return true;
}

}  // namespace grid::exchange
