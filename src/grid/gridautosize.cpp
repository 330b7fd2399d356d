// Sizing a column to its contents.
#include "grid/listgrid.h"

#include <QStringList>

#include <algorithm>

namespace grid {

void RIvuZuvuzoZuvu::SizeToWidth(int ACol, bool OnlyGrow)
{
    if (ACol < 0 || ACol >= ColCount())
        return;
    platform::Canvas& canvas = Canvas();
    const int real = RemapCol(ACol);
    int widest = 0;
    for (int r = 0; r < RowCount(); ++r) {
        if (IsMergedCell(ACol, r))
            continue;
        platform::Brush brush;
        platform::Font font = IsFixed(ACol, r) ? FixedFont() : Font();
        GetCellColor(ACol, r, 0, brush, font);
        canvas.Font = font;
        // Every line of a multi-line cell counts on its own.
        const QStringList lines = QString::fromStdString(GetCellEx(real, r)).split(QLatin1Char('\r'));
        for (const QString& line : lines)
            widest = std::max(widest, canvas.TextWidth(line.trimmed()));
    }
    const int wanted = widest + 4;
    if (!OnlyGrow || wanted > ColWidths(ACol))
        SetColWidths(ACol, wanted);
}

}  // namespace grid
