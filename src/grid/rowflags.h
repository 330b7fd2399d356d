// The flags of a list's selected rows, one per row from the first, with
// their number and the span they lie in, so that counting them, clearing
// them and stretching a range of them cost what the flagged rows cost, not
// what the list holds: a list of a million rows answers each key alike.
//
// The caller keeps the flags as long as its rows, or shorter (a row past
// the end is not flagged), and calls insert, erase and swap as its rows
// move, so that each flag stays with its row.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

namespace grid {

class TRowFlags {
public:
    int size() const { return static_cast<int>(flags_.size()); }
    bool operator[](int row) const { return flags_[static_cast<std::size_t>(row)] != 0; }
    bool flagged(int row) const { return row >= 0 && row < size() && (*this)[row]; }
    // The flagged rows before `rows`.
    int countBelow(int rows) const
    {
        if (rows >= size())
            return count_;
        int n = 0;
        for (int r = std::max(low_, 0); r < rows && r <= high_; ++r)
            n += (*this)[r];
        return n;
    }

    // At least `rows` long; new rows are not flagged.
    void reach(int rows)
    {
        if (size() < rows)
            flags_.resize(static_cast<std::size_t>(rows), 0);
    }
    // No longer than `rows`: the flags past it go.
    void cut(int rows)
    {
        if (size() <= rows)
            return;
        for (int r = std::max(rows, low_); r < size() && r <= high_; ++r)
            count_ -= (*this)[r];
        flags_.resize(static_cast<std::size_t>(std::max(rows, 0)));
        high_ = std::min(high_, size() - 1);
    }
    // Whether the flag changed.
    bool set(int row, bool value)
    {
        reach(row + 1);
        char& f = flags_[static_cast<std::size_t>(row)];
        if ((f != 0) == value)
            return false;
        f = value ? 1 : 0;
        count_ += value ? 1 : -1;
        if (value)
            widen(row);
        return true;
    }
    // Clears the flags of rows from `first` on that lie outside [from, to]
    // (all of them when the range is empty), handing each cleared row to
    // changed(row). Only the flagged span outside the range is read.
    template <typename Changed>
    void clear(int first, int from, int to, Changed changed)
    {
        const int lowest = std::max({low_, first, 0}), highest = std::min(high_, size() - 1);
        auto clearIn = [&](int a, int b) {
            for (int r = a; r <= b && count_ > 0; ++r)
                if ((*this)[r]) {
                    flags_[static_cast<std::size_t>(r)] = 0;
                    count_ -= 1;
                    changed(r);
                }
        };
        if (from > to) {
            clearIn(lowest, highest);
        } else {
            clearIn(lowest, std::min(from - 1, highest));
            clearIn(std::max(to + 1, lowest), highest);
        }
        if (count_ == 0) {
            forgetSpan();
            return;
        }
        // What is left lies before `first`, or in the range.
        high_ = std::min(high_, std::max(from > to ? -1 : to, first - 1));
        if (first <= low_ && from <= to)
            low_ = std::max(low_, from);
    }
    // Flags rows [from, to], handing each newly flagged row to changed(row).
    // Rows outside the flagged span are known to be clear; those inside it
    // are read only when the flags there may not cover them all.
    template <typename Changed>
    void flag(int from, int to, Changed changed)
    {
        if (from > to)
            return;
        reach(to + 1);
        const bool allInside = count_ == 0 || (low_ >= from && high_ <= to);
        const int insideFrom = std::max(from, low_), insideTo = std::min(to, high_);
        const bool insideFull = allInside && count_ == std::max(0, insideTo - insideFrom + 1);
        auto flagIn = [&](int a, int b) {
            for (int r = a; r <= b; ++r)
                if (set(r, true))
                    changed(r);
        };
        if (insideFrom > insideTo) {
            flagIn(from, to);
            return;
        }
        flagIn(from, insideFrom - 1);
        if (!insideFull)
            flagIn(insideFrom, insideTo);
        flagIn(insideTo + 1, to);
    }
    // `n` unflagged rows before `row`, when the flags reach it.
    void insert(int row, int n)
    {
        if (row >= size() || n <= 0)
            return;
        flags_.insert(flags_.begin() + row, static_cast<std::size_t>(n), 0);
        if (row <= high_)
            high_ += n;
        if (row <= low_ && low_ <= high_)
            low_ += n;
    }
    // Row `row` goes, when the flags reach it; those after it move up.
    void erase(int row)
    {
        if (row >= size())
            return;
        count_ -= (*this)[row];
        flags_.erase(flags_.begin() + row);
        if (high_ < 0)
            return;
        if (row < low_)
            low_ -= 1;
        if (row <= high_)
            high_ -= 1;
    }
    void swap(int a, int b)
    {
        if (flagged(a) == flagged(b))
            return;
        reach(std::max(a, b) + 1);
        std::swap(flags_[static_cast<std::size_t>(a)], flags_[static_cast<std::size_t>(b)]);
        widen(std::min(a, b));
        widen(std::max(a, b));
    }

private:
    void forgetSpan()
    {
        low_ = std::numeric_limits<int>::max();
        high_ = -1;
    }
    void widen(int row)
    {
        low_ = std::min(low_, row);
        high_ = std::max(high_, row);
    }

    std::vector<char> flags_;
    int count_ = 0;
    // Every flagged row lies in [low_, high_]; rows in it need not be flagged.
    int low_ = std::numeric_limits<int>::max(), high_ = -1;
};

}  // namespace grid
