// The headless grid: cell words, the text arena and the grid's shape.
#include "render/GridCtrl.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/HugePages.h"

namespace {

// A cell word: bit 0 right-aligned, bit 1 the text has a string of its own, bits 2..25 the text's
// length, bits 26..63 its arena offset (or the index of its own string).
constexpr uint64_t kRightAligned = 1;
constexpr uint64_t kLongText = 2;
constexpr int kLengthShift = 2;
constexpr uint64_t kLengthMask = (uint64_t{1} << 24) - 1;
constexpr int kPlaceShift = 26;

// 1 MiB blocks: a few dozen for a million rows, and a fresh grid costs one.
constexpr int kBlockBits = 20;
constexpr size_t kBlockSize = size_t{1} << kBlockBits;
// Longer texts (documents pasted into a cell) would leave too much of a block's tail unused.
constexpr size_t kLongTextSize = kBlockSize / 16;

constexpr int kDefaultColumnWidth = 64;
constexpr int kCellMargin = 4;

size_t LengthOf(uint64_t cell) {
    return static_cast<size_t>((cell >> kLengthShift) & kLengthMask);
}

uint64_t PlaceOf(uint64_t cell) {
    return cell >> kPlaceShift;
}

int AverageCharWidth(const FontChoice& font) {
    const int height = std::abs(font.PixelHeight);
    const int width = (height + 1) / 2 + (font.Weight >= 700 ? 1 : 0);
    return std::max(width, 1);
}

}  // namespace

CGridCtrl::CGridCtrl() {
    FontChoice arial;
    arial.Face = "Arial";
    arial.PixelHeight = -13;  // 10 pt on the 96 dpi screen
    DefaultCell(GridCellKind::FixedRow) = {Rgb{192, 192, 192}, arial};
    DefaultCell(GridCellKind::FixedColumn) = {Rgb{192, 192, 192}, arial};
    DefaultCell(GridCellKind::Ordinary) = {Rgb{255, 255, 255}, arial};
    rowHeight_ = 13 + 2 * kCellMargin;
}

CGridCtrl::~CGridCtrl() = default;

std::string_view CGridCtrl::TextOf(uint64_t cell) const {
    if (cell & kLongText) return longTexts_[PlaceOf(cell)];
    const size_t length = LengthOf(cell);
    if (length == 0) return {};
    const uint64_t place = PlaceOf(cell);
    return {blocks_[place >> kBlockBits].Bytes.get() + (place & (kBlockSize - 1)), length};
}

uint64_t CGridCtrl::StoreText(std::string_view text) {
    if (text.empty()) return 0;
    if (text.size() > kLongTextSize) {
        uint64_t index;
        if (!freeLongTexts_.empty()) {
            index = freeLongTexts_.back();
            freeLongTexts_.pop_back();
            longTexts_[index].assign(text);
        } else {
            index = longTexts_.size();
            longTexts_.emplace_back(text);
        }
        return (index << kPlaceShift) | kLongText;
    }
    if (blocks_.empty() || kBlockSize - blocks_.back().Used < text.size()) {
        // Uninitialised on purpose: every byte handed out is written first.
        blocks_.push_back(Block{std::unique_ptr<char[]>(new char[kBlockSize]), 0});
    }
    Block& block = blocks_.back();
    const uint64_t place = ((blocks_.size() - 1) << kBlockBits) | block.Used;
    std::memcpy(block.Bytes.get() + block.Used, text.data(), text.size());
    block.Used += text.size();
    liveBytes_ += text.size();
    return (place << kPlaceShift) | (static_cast<uint64_t>(text.size()) << kLengthShift);
}

void CGridCtrl::Release(uint64_t cell) {
    if (cell <= kRightAligned) return;  // an empty text holds nothing
    if (cell & kLongText) {
        const uint64_t index = PlaceOf(cell);
        std::string().swap(longTexts_[index]);
        freeLongTexts_.push_back(static_cast<uint32_t>(index));
        return;
    }
    const size_t length = LengthOf(cell);
    liveBytes_ -= length;
    holeBytes_ += length;
}

void CGridCtrl::CompactIfWasteful() {
    if (holeBytes_ <= kBlockSize || holeBytes_ <= liveBytes_) return;
    std::vector<Block> old;
    old.swap(blocks_);
    liveBytes_ = 0;
    holeBytes_ = 0;
    for (uint64_t& cell : cells_) {
        if ((cell & kLongText) || LengthOf(cell) == 0) continue;
        const uint64_t place = PlaceOf(cell);
        const std::string_view text(
            old[place >> kBlockBits].Bytes.get() + (place & (kBlockSize - 1)), LengthOf(cell));
        cell = StoreText(text) | (cell & kRightAligned);
    }
}

bool CGridCtrl::SetRowCount(int rows) {
    if (rows < 0) return false;
    if (rows < rows_) {
        for (size_t i = static_cast<size_t>(rows) * columns_; i < cells_.size(); ++i)
            Release(cells_[i]);
    }
    cells_.resize(static_cast<size_t>(rows) * columns_, 0);
    rows_ = rows;
    fixedRows_ = std::min(fixedRows_, rows_);
    CompactIfWasteful();
    return true;
}

bool CGridCtrl::SetColumnCount(int columns) {
    if (columns < 0) return false;
    if (columns == columns_) return true;
    std::vector<uint64_t> cells(static_cast<size_t>(rows_) * columns, 0);
    const int kept = std::min(columns, columns_);
    for (int row = 0; row < rows_; ++row) {
        for (int column = 0; column < columns_; ++column) {
            const uint64_t cell = CellAt(row, column);
            if (column < kept)
                cells[static_cast<size_t>(row) * columns + column] = cell;
            else
                Release(cell);
        }
    }
    cells_.swap(cells);
    columns_ = columns;
    widths_.resize(static_cast<size_t>(columns), kDefaultColumnWidth);
    fixedColumns_ = std::min(fixedColumns_, columns_);
    CompactIfWasteful();
    return true;
}

bool CGridCtrl::SetFixedRowCount(int rows) {
    if (rows < 0) return false;
    if (rows > rows_) SetRowCount(rows);
    fixedRows_ = rows;
    return true;
}

bool CGridCtrl::SetFixedColumnCount(int columns) {
    if (columns < 0) return false;
    if (columns > columns_) SetColumnCount(columns);
    fixedColumns_ = columns;
    return true;
}

int CGridCtrl::InsertRow(int row) {
    if (row == -1) row = rows_;
    if (row < 0 || row > rows_) return -1;
    if (row == rows_)
        cells_.resize(cells_.size() + static_cast<size_t>(columns_), 0);  // the common case
    else
        cells_.insert(cells_.begin() + static_cast<ptrdiff_t>(row) * columns_,
                      static_cast<size_t>(columns_), 0);
    ++rows_;
    return row;
}

bool CGridCtrl::DeleteRow(int row) {
    if (row < 0 || row >= rows_) return false;
    const auto first = cells_.begin() + static_cast<ptrdiff_t>(row) * columns_;
    for (auto cell = first; cell != first + columns_; ++cell) Release(*cell);
    cells_.erase(first, first + columns_);
    --rows_;
    fixedRows_ = std::min(fixedRows_, rows_);
    CompactIfWasteful();
    return true;
}

void CGridCtrl::DeleteAllItems() {
    std::vector<uint64_t>().swap(cells_);
    widths_.clear();
    blocks_.clear();
    longTexts_.clear();
    freeLongTexts_.clear();
    liveBytes_ = holeBytes_ = 0;
    rows_ = columns_ = fixedRows_ = fixedColumns_ = 0;
    focusRow_ = focusColumn_ = -1;
}

void CGridCtrl::ReserveRows(int rows) {
    if (rows <= 0) return;
    cells_.reserve(static_cast<size_t>(rows) * columns_);
    orvik::PreferHugePages(cells_.data() + cells_.size(),
                           (cells_.capacity() - cells_.size()) * sizeof(uint64_t));
}

std::string_view CGridCtrl::GetItemText(int row, int column) const {
    return IsValid(row, column) ? TextOf(CellAt(row, column)) : std::string_view();
}

bool CGridCtrl::SetItemText(int row, int column, std::string_view text) {
    if (!IsValid(row, column)) return false;
    uint64_t& cell = Cell(row, column);
    const size_t oldLength = LengthOf(cell);
    if (!(cell & kLongText) && !text.empty() && text.size() <= oldLength) {
        // Shorter or equal: the new text takes the old one's place (memmove: it may be a part of
        // the very text it replaces).
        const uint64_t place = PlaceOf(cell);
        std::memmove(blocks_[place >> kBlockBits].Bytes.get() + (place & (kBlockSize - 1)),
                     text.data(), text.size());
        liveBytes_ -= oldLength - text.size();
        holeBytes_ += oldLength - text.size();
        cell = (cell & ~(kLengthMask << kLengthShift)) |
               (static_cast<uint64_t>(text.size()) << kLengthShift);
        return true;
    }
    // Stored before the old text is given up: `text` may point into it.
    const uint64_t stored = StoreText(text);
    Release(cell);
    cell = stored | (cell & kRightAligned);
    CompactIfWasteful();
    return true;
}

bool CGridCtrl::IsItemRightAligned(int row, int column) const {
    return IsValid(row, column) && (CellAt(row, column) & kRightAligned);
}

bool CGridCtrl::SetItemRightAligned(int row, int column, bool rightAligned) {
    if (!IsValid(row, column)) return false;
    uint64_t& cell = Cell(row, column);
    cell = rightAligned ? (cell | kRightAligned) : (cell & ~kRightAligned);
    return true;
}

int CGridCtrl::GetColumnWidth(int column) const {
    return column >= 0 && column < columns_ ? widths_[column] : -1;
}

bool CGridCtrl::SetColumnWidth(int column, int width) {
    if (column < 0 || column >= columns_ || width < 0) return false;
    widths_[column] = width;
    return true;
}

void CGridCtrl::AutoSizeColumns() {
    // Lengths are bytes, which overstates texts outside ASCII a little; a column a bit too wide
    // costs nothing, and reading every text of a million rows again would.
    std::vector<size_t> fixedLength(columns_, 0), ordinaryLength(columns_, 0);
    for (int row = 0; row < rows_; ++row) {
        std::vector<size_t>& longest = row < fixedRows_ ? fixedLength : ordinaryLength;
        const uint64_t* cells = &cells_[static_cast<size_t>(row) * columns_];
        for (int column = 0; column < columns_; ++column) {
            const uint64_t cell = cells[column];
            const size_t length =
                (cell & kLongText) ? longTexts_[PlaceOf(cell)].size() : LengthOf(cell);
            longest[column] = std::max(longest[column], length);
        }
    }
    const int headerWidth = AverageCharWidth(DefaultCell(GridCellKind::FixedRow).Font);
    for (int column = 0; column < columns_; ++column) {
        const GridCellKind kind =
            column < fixedColumns_ ? GridCellKind::FixedColumn : GridCellKind::Ordinary;
        const int dataWidth = AverageCharWidth(DefaultCell(kind).Font);
        const size_t pixels =
            std::max(fixedLength[column] * headerWidth, ordinaryLength[column] * dataWidth);
        widths_[column] = static_cast<int>(std::min<size_t>(pixels, 4000)) + 2 * kCellMargin;
    }
}

void CGridCtrl::AutoSize() {
    AutoSizeColumns();
    int tallest = 0;
    for (const GridDefaultCell& cell : defaults_)
        tallest = std::max(tallest, std::abs(cell.Font.PixelHeight));
    rowHeight_ = tallest + 2 * kCellMargin;
}

size_t CGridCtrl::MemoryBytes() const {
    size_t bytes = cells_.capacity() * sizeof(uint64_t) + blocks_.size() * kBlockSize +
                   widths_.capacity() * sizeof(int);
    for (const std::string& text : longTexts_) bytes += text.capacity();
    return bytes;
}

size_t CGridCtrl::TextBytes() const {
    size_t bytes = liveBytes_;
    for (const std::string& text : longTexts_) bytes += text.size();
    return bytes;
}
