// The grid a sheet's result is shown in, kept without any window: rows and columns of cells with a
// text and an alignment, fixed (header) rows and columns, column widths (0 hides a column) and the
// default look of fixed and ordinary cells. The grid filler writes it; the page writer and the
// formula functions read it; the designer shows it through a virtual table without copying.
//
// A result of a million rows passes through here, so a cell is one 64-bit word: where its text
// lies in the grid's text arena, how long it is, and the alignment bit. The arena is a list of
// blocks that never move, so filling never copies texts already stored; the rare text too long for
// a block gets a string of its own. Replaced and deleted texts leave holes that are swept up once
// they outweigh the live text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/PropertyEncoding.h"

// Which of the grid's three default cells a setting applies to.
enum class GridCellKind { FixedRow, FixedColumn, Ordinary };

// The look every cell of one kind takes unless a cell says otherwise.
struct GridDefaultCell {
    Rgb BackColour;
    FontChoice Font;  // a logical font: PixelHeight is negative, the cell height in pixels
};

class CGridCtrl {
  public:
    CGridCtrl();
    virtual ~CGridCtrl();
    CGridCtrl(const CGridCtrl&) = delete;
    CGridCtrl& operator=(const CGridCtrl&) = delete;

    // The number of rows, fixed ones included.
    int GetRowCount() const { return rows_; }
    // The number of columns, fixed ones included.
    int GetColumnCount() const { return columns_; }
    // The number of header rows at the top.
    int GetFixedRowCount() const { return fixedRows_; }
    // The number of row-header columns at the left.
    int GetFixedColumnCount() const { return fixedColumns_; }

    // Sets the number of rows: new rows are empty, rows beyond the count are dropped. The fixed
    // row count shrinks with it. False for a negative count.
    bool SetRowCount(int rows);
    // Sets the number of columns, keeping the texts of the columns that stay. False when negative.
    bool SetColumnCount(int columns);
    // Sets the number of fixed rows, adding empty rows when the grid has fewer. False when
    // negative.
    bool SetFixedRowCount(int rows);
    // Sets the number of fixed columns, adding empty columns when the grid has fewer.
    bool SetFixedColumnCount(int columns);
    // Inserts an empty row before `row` (-1 or the row count: at the end). Returns the new row's
    // index, or -1 when `row` is out of range or the grid has no columns.
    int InsertRow(int row = -1);
    // Deletes row `row`; false when there is no such row.
    bool DeleteRow(int row);
    // Removes every row, column and cell text; fixed counts become 0.
    void DeleteAllItems();
    // Makes room for `rows` rows, so that a fill whose size is known never regrows the cells.
    void ReserveRows(int rows);

    // True when (row, column) is inside the grid.
    bool IsValid(int row, int column) const {
        return row >= 0 && row < rows_ && column >= 0 && column < columns_;
    }
    // The cell's text; empty outside the grid. The view stays valid until the grid next changes.
    std::string_view GetItemText(int row, int column) const;
    // Sets the cell's text; false outside the grid.
    bool SetItemText(int row, int column, std::string_view text);
    // True when the cell is drawn right-aligned on a single line (numbers).
    bool IsItemRightAligned(int row, int column) const;
    // Sets or clears the right-aligned single-line format; false outside the grid.
    bool SetItemRightAligned(int row, int column, bool rightAligned);

    // The column's width in pixels; 0 means hidden, -1 outside the grid.
    int GetColumnWidth(int column) const;
    // Sets a column's width (0 hides it); false outside the grid or for a negative width.
    bool SetColumnWidth(int column, int width);
    // Widths from the longest text of each column in its cells' fonts; shows hidden columns.
    void AutoSizeColumns();
    // Auto-sizes the columns and sets the one height all rows share from the taller font.
    void AutoSize();
    // The height every row is drawn with.
    int GetRowHeight() const { return rowHeight_; }

    // The default cell of `kind`.
    GridDefaultCell& DefaultCell(GridCellKind kind) { return defaults_[static_cast<int>(kind)]; }
    const GridDefaultCell& DefaultCell(GridCellKind kind) const {
        return defaults_[static_cast<int>(kind)];
    }

    // Makes (row, column) the focus cell (no check: a viewer clips it).
    void SetFocusCell(int row, int column) {
        focusRow_ = row;
        focusColumn_ = column;
    }
    // The focus cell's row and column (-1 while there is none).
    int GetFocusRow() const { return focusRow_; }
    int GetFocusColumn() const { return focusColumn_; }

    // Marks the grid as changed so that a viewer repaints; counts the requests.
    void Refresh() { ++refreshCount_; }
    // How often the grid asked to be repainted; a viewer compares it with what it last drew.
    unsigned long RefreshCount() const { return refreshCount_; }

    // Bytes the cells and their texts take (for the benchmark and the memory test).
    size_t MemoryBytes() const;
    // The total length of all cell texts.
    size_t TextBytes() const;

    bool ListMode = false;  // whole rows are selected; a header click belongs to the owner
    bool Editable = true;   // cells may be edited in place

  private:
    struct Block {
        std::unique_ptr<char[]> Bytes;
        size_t Used = 0;
    };

    uint64_t& Cell(int row, int column) {
        return cells_[static_cast<size_t>(row) * columns_ + column];
    }
    uint64_t CellAt(int row, int column) const {
        return cells_[static_cast<size_t>(row) * columns_ + column];
    }
    std::string_view TextOf(uint64_t cell) const;
    // Stores `text` and returns the cell word for it (alignment bit clear).
    uint64_t StoreText(std::string_view text);
    // Gives the storage of a cell's text up (the bytes become a hole).
    void Release(uint64_t cell);
    // Sweeps the holes out of the arena once they outweigh the live text.
    void CompactIfWasteful();

    int rows_ = 0;
    int columns_ = 0;
    int fixedRows_ = 0;
    int fixedColumns_ = 0;
    std::vector<uint64_t> cells_;  // row-major, rows_ x columns_
    std::vector<int> widths_;
    std::vector<Block> blocks_;
    std::vector<std::string> longTexts_;
    std::vector<uint32_t> freeLongTexts_;
    size_t liveBytes_ = 0;
    size_t holeBytes_ = 0;
    GridDefaultCell defaults_[3];
    int rowHeight_ = 0;
    int focusRow_ = -1;
    int focusColumn_ = -1;
    unsigned long refreshCount_ = 0;
};
