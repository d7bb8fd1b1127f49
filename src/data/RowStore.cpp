#include "data/RowStore.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace {

// Chunk k holds rows [ChunkStart(k), ChunkStart(k) + ChunkCapacity(k)): 256 rows, then doubling
// up to 65536, then 65536 each. Small results stay small; large ones waste at most one chunk.
constexpr size_t kFirstRows = 256;
constexpr size_t kLargeRows = 65536;
constexpr size_t kDoublingChunks = 8;  // chunks 1..8 double; together with chunk 0: 65536 rows

size_t ChunkOf(size_t row) {
    if (row < kFirstRows) return 0;
    if (row < kLargeRows) return static_cast<size_t>(std::bit_width(row / kFirstRows));
    return kDoublingChunks + row / kLargeRows;
}

size_t ChunkStart(size_t chunk) {
    if (chunk == 0) return 0;
    if (chunk <= kDoublingChunks) return kFirstRows << (chunk - 1);
    return (chunk - kDoublingChunks) * kLargeRows;
}

size_t ChunkCapacity(size_t chunk) {
    return chunk == 0 ? kFirstRows : chunk <= kDoublingChunks ? ChunkStart(chunk) : kLargeRows;
}

// Cell tags beyond the variant types: values small enough to live in the payload itself, which
// spares the arena (and its eight-byte reference) for short texts and everyday decimals.
constexpr uint8_t kInlineDecimal = 0x80;   // payload: mantissa << 8 | scale
constexpr uint8_t kInlineNegative = 0x81;  // the same, negative
constexpr uint8_t kInlineText = 0x90;      // + length (0..8): the bytes are the payload
constexpr uint64_t kInlineMantissaLimit = uint64_t{1} << 56;

constexpr size_t kFirstBlock = 4096;
constexpr size_t kLargestBlock = 1 << 20;
constexpr size_t kDecimalBytes = 18;

}  // namespace

void RowStore::SetFields(std::vector<FieldInfo> fields) {
    fields_ = std::move(fields);
    chunks_.clear();
    blocks_.clear();
    rowCount_ = 0;
}

void RowStore::AppendRow() {
    const size_t chunk = ChunkOf(rowCount_);
    if (chunk == chunks_.size()) {
        const size_t cells = ChunkCapacity(chunk) * fields_.size();
        // Left uninitialised: pages of a chunk's tail are not touched until rows arrive.
        chunks_.push_back(Chunk{ChunkStart(chunk), ChunkCapacity(chunk),
                                std::unique_ptr<uint8_t[]>(new uint8_t[cells ? cells : 1]),
                                std::unique_ptr<uint64_t[]>(new uint64_t[cells ? cells : 1])});
    }
    Chunk& target = chunks_.back();
    const size_t base = (rowCount_ - target.FirstRow) * fields_.size();
    std::memset(target.Tags.get() + base, static_cast<int>(VariantType::Empty), fields_.size());
    std::memset(target.Payload.get() + base, 0, fields_.size() * sizeof(uint64_t));
    ++rowCount_;
}

size_t RowStore::Slot(size_t row, size_t column, const Chunk*& chunk) const {
    assert(row < rowCount_ && column < fields_.size());
    chunk = &chunks_[ChunkOf(row)];
    return (row - chunk->FirstRow) * fields_.size() + column;
}

size_t RowStore::SlotForWrite(size_t column, Chunk*& chunk) {
    assert(rowCount_ > 0 && column < fields_.size());
    chunk = &chunks_.back();
    return (rowCount_ - 1 - chunk->FirstRow) * fields_.size() + column;
}

uint64_t RowStore::Store(const void* bytes, size_t length, bool withLength) {
    unsigned char prefix[10];
    size_t prefixLength = 0;
    if (withLength) {
        uint64_t rest = length;
        do {
            prefix[prefixLength++] =
                static_cast<unsigned char>((rest & 0x7F) | (rest > 0x7F ? 0x80 : 0));
            rest >>= 7;
        } while (rest != 0);
    }
    const size_t needed = prefixLength + length;
    if (blocks_.empty() || blocks_.back().Size - blocks_.back().Used < needed) {
        const size_t next =
            blocks_.empty() ? kFirstBlock : std::min(blocks_.back().Size * 2, kLargestBlock);
        // A long text gets a block of its own rather than wasting the rest of a shared one.
        const size_t size = needed > next / 4 ? needed : next;
        blocks_.push_back(Block{std::unique_ptr<char[]>(new char[size]), size, 0});
    }
    Block& block = blocks_.back();
    const uint64_t reference = (static_cast<uint64_t>(blocks_.size() - 1) << 32) | block.Used;
    std::memcpy(block.Bytes.get() + block.Used, prefix, prefixLength);
    if (length) std::memcpy(block.Bytes.get() + block.Used + prefixLength, bytes, length);
    block.Used += needed;
    // A dedicated block is full now; the next text starts a shared one again.
    return reference;
}

const char* RowStore::At(uint64_t reference) const {
    return blocks_[reference >> 32].Bytes.get() + (reference & 0xFFFFFFFFu);
}

void RowStore::PutNull(size_t column) {
    Chunk* chunk;
    const size_t slot = SlotForWrite(column, chunk);
    chunk->Tags[slot] = static_cast<uint8_t>(VariantType::Null);
}

void RowStore::PutInteger(size_t column, VariantType type, int64_t value) {
    Chunk* chunk;
    const size_t slot = SlotForWrite(column, chunk);
    chunk->Tags[slot] = static_cast<uint8_t>(type);
    chunk->Payload[slot] = static_cast<uint64_t>(value);
}

void RowStore::PutUnsigned(size_t column, uint64_t value) {
    Chunk* chunk;
    const size_t slot = SlotForWrite(column, chunk);
    chunk->Tags[slot] = static_cast<uint8_t>(VariantType::UI8);
    chunk->Payload[slot] = value;
}

void RowStore::PutReal(size_t column, VariantType type, double value) {
    Chunk* chunk;
    const size_t slot = SlotForWrite(column, chunk);
    chunk->Tags[slot] = static_cast<uint8_t>(type);
    chunk->Payload[slot] = std::bit_cast<uint64_t>(value);
}

void RowStore::PutText(size_t column, std::string_view text) {
    if (text.size() <= sizeof(uint64_t)) {
        Chunk* chunk;
        const size_t slot = SlotForWrite(column, chunk);
        chunk->Tags[slot] = static_cast<uint8_t>(kInlineText + text.size());
        uint64_t payload = 0;
        std::memcpy(&payload, text.data(), text.size());
        chunk->Payload[slot] = payload;
        return;
    }
    const uint64_t reference = Store(text.data(), text.size(), true);
    Chunk* chunk;
    const size_t slot = SlotForWrite(column, chunk);
    chunk->Tags[slot] = static_cast<uint8_t>(VariantType::String);
    chunk->Payload[slot] = reference;
}

void RowStore::PutDecimal(size_t column, const DecimalValue& value) {
    if (value.Mantissa < kInlineMantissaLimit) {
        Chunk* chunk;
        const size_t slot = SlotForWrite(column, chunk);
        chunk->Tags[slot] = value.Negative ? kInlineNegative : kInlineDecimal;
        chunk->Payload[slot] = static_cast<uint64_t>(value.Mantissa) << 8 | value.Scale;
        return;
    }
    unsigned char bytes[kDecimalBytes];
    bytes[0] = value.Scale;
    bytes[1] = value.Negative ? 1 : 0;
    std::memcpy(bytes + 2, &value.Mantissa, 16);
    const uint64_t reference = Store(bytes, sizeof bytes, false);
    Chunk* chunk;
    const size_t slot = SlotForWrite(column, chunk);
    chunk->Tags[slot] = static_cast<uint8_t>(VariantType::Decimal);
    chunk->Payload[slot] = reference;
}

void RowStore::Put(size_t column, const Variant& value) {
    switch (value.Type()) {
        case VariantType::Empty:
            break;
        case VariantType::Null:
            PutNull(column);
            break;
        case VariantType::UI8:
            PutUnsigned(column, static_cast<uint64_t>(value.AsInt64()));
            break;
        case VariantType::R4:
        case VariantType::R8:
            PutReal(column, value.Type(), value.AsDouble());
            break;
        case VariantType::Date:
            PutReal(column, VariantType::Date, value.AsDate());
            break;
        case VariantType::Currency:
            PutInteger(column, VariantType::Currency, value.AsCurrency());
            break;
        case VariantType::Decimal:
            PutDecimal(column, value.AsDecimal());
            break;
        case VariantType::String:
            PutText(column, value.AsString());
            break;
        default:
            PutInteger(column, value.Type(), value.AsInt64());
            break;
    }
}

namespace {

VariantType TypeOfTag(uint8_t tag) {
    if (tag == kInlineDecimal || tag == kInlineNegative) return VariantType::Decimal;
    if (tag >= kInlineText && tag <= kInlineText + sizeof(uint64_t)) return VariantType::String;
    return static_cast<VariantType>(tag);
}

}  // namespace

VariantType RowStore::TypeAt(size_t row, size_t column) const {
    const Chunk* chunk;
    const size_t slot = Slot(row, column, chunk);
    return TypeOfTag(chunk->Tags[slot]);
}

Variant RowStore::Get(size_t row, size_t column) const {
    const Chunk* chunk;
    const size_t slot = Slot(row, column, chunk);
    const uint64_t payload = chunk->Payload[slot];
    const uint8_t tag = chunk->Tags[slot];
    if (tag == kInlineDecimal || tag == kInlineNegative) {
        DecimalValue value;
        value.Mantissa = payload >> 8;
        value.Scale = static_cast<uint8_t>(payload & 0xFF);
        value.Negative = tag == kInlineNegative;
        return Variant::MakeDecimal(value);
    }
    if (tag >= kInlineText && tag <= kInlineText + sizeof(uint64_t)) {
        char bytes[sizeof(uint64_t)];
        std::memcpy(bytes, &payload, sizeof bytes);
        return Variant::MakeString(std::string(bytes, tag - kInlineText));
    }
    const auto type = static_cast<VariantType>(tag);
    const auto integer = static_cast<int64_t>(payload);
    switch (type) {
        case VariantType::Empty:
            return Variant();
        case VariantType::Null:
            return Variant::MakeNull();
        case VariantType::Bool:
            return Variant::MakeBool(integer != 0);
        case VariantType::I1:
            return Variant::MakeI1(static_cast<int8_t>(integer));
        case VariantType::UI1:
            return Variant::MakeUI1(static_cast<uint8_t>(integer));
        case VariantType::I2:
            return Variant::MakeI2(static_cast<int16_t>(integer));
        case VariantType::UI2:
            return Variant::MakeUI2(static_cast<uint16_t>(integer));
        case VariantType::I4:
            return Variant::MakeI4(static_cast<int32_t>(integer));
        case VariantType::UI4:
            return Variant::MakeUI4(static_cast<uint32_t>(integer));
        case VariantType::I8:
            return Variant::MakeI8(integer);
        case VariantType::UI8:
            return Variant::MakeUI8(payload);
        case VariantType::Int:
            return Variant::MakeInt(static_cast<int>(integer));
        case VariantType::UInt:
            return Variant::MakeUInt(static_cast<unsigned>(integer));
        case VariantType::R4:
            return Variant::MakeR4(static_cast<float>(std::bit_cast<double>(payload)));
        case VariantType::R8:
            return Variant::MakeR8(std::bit_cast<double>(payload));
        case VariantType::Date:
            return Variant::MakeDate(std::bit_cast<double>(payload));
        case VariantType::Currency:
            return Variant::MakeCurrency(integer);
        case VariantType::Decimal: {
            const char* bytes = At(payload);
            DecimalValue value;
            value.Scale = static_cast<uint8_t>(bytes[0]);
            value.Negative = bytes[1] != 0;
            std::memcpy(&value.Mantissa, bytes + 2, 16);
            return Variant::MakeDecimal(value);
        }
        case VariantType::String: {
            const char* bytes = At(payload);
            uint64_t length = 0;
            int shift = 0;
            unsigned char byte;
            do {
                byte = static_cast<unsigned char>(*bytes++);
                length |= static_cast<uint64_t>(byte & 0x7F) << shift;
                shift += 7;
            } while (byte & 0x80);
            return Variant::MakeString(std::string(bytes, length));
        }
    }
    return Variant();
}

size_t RowStore::MemoryBytes() const {
    size_t bytes = 0;
    for (const Chunk& chunk : chunks_) bytes += chunk.Capacity * fields_.size() * 9;
    for (const Block& block : blocks_) bytes += block.Size;
    return bytes;
}
