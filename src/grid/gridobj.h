// Small companion classes of the list grid: integer lists with a change event,
// the sort column list, the hidden-row items, filter conditions, the change
// notifier interface and the grid's own error.
// A TIntList's change event fires after every set, add and delete; the two
// integers given to its constructor are passed along so that one handler can
// serve several lists.
#pragma once

#include "grid/griderror.h"
#include "platform/canvas.h"
#include "platform/geometry.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace grid {

class TIntList {
public:
    using ChangeEvent = std::function<void(TIntList* Sender, int Param1, int Param2)>;

    TIntList(int Param1 = 0, int Param2 = 0) : param1_(Param1), param2_(Param2) {}
    virtual ~TIntList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    int Item(int Index) const { return items_.at(Index); }
    void SetItem(int Index, int Value);
    void Add(int Value);
    void Delete(int Index);
    void Clear();

    ChangeEvent OnChange;

private:
    void changed();

    std::vector<int> items_;
    int param1_, param2_;
};

// Sort columns: the column number, with bit 31 set for a descending column.
class TSortIndexList : public TIntList {
public:
    static constexpr std::uint32_t DescendingBit = 0x80000000u;

    void AddIndex(int ACol, bool Ascending);
    int FindIndex(int ACol) const;  // position of the entry, -1 when absent
    void ToggleIndex(int ACol);
};

// Receives the rectangle of changed cells after the grid raised OnCellsChanged.
class TGridChangeNotifier {
public:
    virtual ~TGridChangeNotifier() = default;
    virtual void CellsChanged(const platform::Rect& R) {}
};

// A picture kept as a file name: only its size is remembered; the file is
// read again each time it is drawn.
class TFilePicture : public platform::Object {
public:
    const QString& FileName() const { return fileName_; }
    void SetFileName(const QString& Value);  // reads the file once for its size
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Stretches the picture into R; nothing without a name or a readable file.
    void DrawPicture(platform::Canvas& Canvas, const platform::Rect& R) const;

private:
    QString fileName_;
    int width_ = 0, height_ = 0;
};

// A hidden row: its index before it was hidden and all its cells.
struct TGridItem {
    int Idx = 0;
    std::vector<std::string> Items;
};

struct TFilterData {
    std::int16_t Column = 0;
    std::string Condition;
    bool CaseSensitive = true;
};

}  // namespace grid
