// The rows of a fetched result, held in memory for a client-side static cursor. Reports read a
// result again and again by row number (grids, formulas, the page), so every cell must be reachable
// in constant time, and a result of a million rows must cost about what its data costs: each cell
// is a one-byte type tag and an eight-byte payload; numbers live in the payload, texts and
// decimals in a shared arena the payload points into. Rows are kept in chunks that never move, so
// appending never copies what was already fetched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/Variant.h"

// What a result column is called and what type its values usually have.
struct FieldInfo {
    std::string Name;
    VariantType Type = VariantType::Empty;
};

class RowStore {
  public:
    RowStore() = default;
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;

    // Describes the columns; must be called before the first row and drops any rows held.
    void SetFields(std::vector<FieldInfo> fields);
    const std::vector<FieldInfo>& Fields() const { return fields_; }
    size_t FieldCount() const { return fields_.size(); }
    size_t RowCount() const { return rowCount_; }

    // Appends a row whose cells are all empty; the Put calls then fill it.
    void AppendRow();
    // Fill cell `column` of the last row. The type must suit the call (integers and bools for
    // PutInteger, R4/R8/Date for PutReal).
    void PutNull(size_t column);
    void PutInteger(size_t column, VariantType type, int64_t value);
    void PutUnsigned(size_t column, uint64_t value);
    void PutReal(size_t column, VariantType type, double value);
    void PutText(size_t column, std::string_view text);
    void PutDecimal(size_t column, const DecimalValue& value);
    void Put(size_t column, const Variant& value);

    // The value of a cell; `row` counts from 0. Both must be in range.
    Variant Get(size_t row, size_t column) const;
    // The type of a cell without building its value.
    VariantType TypeAt(size_t row, size_t column) const;

    // Bytes held by the rows and the arena (for the benchmark and the memory test).
    size_t MemoryBytes() const;

  private:
    struct Chunk {
        size_t FirstRow;
        size_t Capacity;
        std::unique_ptr<uint8_t[]> Tags;
        std::unique_ptr<uint64_t[]> Payload;
    };
    struct Block {
        std::unique_ptr<char[]> Bytes;
        size_t Size;
        size_t Used;
    };

    size_t Slot(size_t row, size_t column, const Chunk*& chunk) const;
    size_t SlotForWrite(size_t column, Chunk*& chunk);
    uint64_t Store(const void* bytes, size_t length, bool withLength);
    const char* At(uint64_t reference) const;

    std::vector<FieldInfo> fields_;
    std::vector<Chunk> chunks_;
    std::vector<Block> blocks_;
    size_t rowCount_ = 0;
};
