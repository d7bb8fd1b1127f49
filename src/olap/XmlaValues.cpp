// Number parsing goes through std::from_chars, which ignores the process locale: a report run
// under a locale with a decimal comma must read "0.5" from a server as a half all the same.
#include "olap/XmlaValues.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <utility>

namespace orvik::xmla {
namespace {

struct XsdTypeEntry {
    std::string_view Name;
    VariantType Type;
};

constexpr XsdTypeEntry kXsdTypes[] = {
    {"string", VariantType::String},    {"boolean", VariantType::Bool},
    {"byte", VariantType::I1},          {"unsignedByte", VariantType::UI1},
    {"short", VariantType::I2},         {"unsignedShort", VariantType::UI2},
    {"int", VariantType::I4},           {"unsignedInt", VariantType::UI4},
    {"long", VariantType::I8},          {"integer", VariantType::I8},
    {"unsignedLong", VariantType::UI8}, {"float", VariantType::R4},
    {"double", VariantType::R8},        {"decimal", VariantType::Decimal},
    {"dateTime", VariantType::Date},    {"date", VariantType::Date},
};

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' ||
                             text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool ReadWhole(std::string_view text, int64_t& value) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// XML Schema writes infinities as INF and -INF; from_chars wants "inf". A decimal comma, which
// some servers write under a continental locale, is read as the point it stands for.
bool ReadReal(std::string_view text, double& value) {
    // The canonical form needs no copy; a million cells are read this way.
    if (!text.empty()) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size()) return true;
    }
    std::string canonical(text);
    if (canonical == "INF" || canonical == "+INF") canonical = "inf";
    if (canonical == "-INF") canonical = "-inf";
    if (canonical.find('.') == std::string::npos) {
        const size_t comma = canonical.find(',');
        if (comma != std::string::npos && canonical.find(',', comma + 1) == std::string::npos)
            canonical[comma] = '.';
    }
    if (!canonical.empty() && canonical.front() == '+') canonical.erase(0, 1);
    const char* begin = canonical.data();
    const auto [end, error] = std::from_chars(begin, begin + canonical.size(), value);
    return error == std::errc() && end == begin + canonical.size() && !canonical.empty();
}

template <typename T>
bool Fits(int64_t value) {
    return value >= static_cast<int64_t>(std::numeric_limits<T>::min()) &&
           static_cast<uint64_t>(value) <= static_cast<uint64_t>(std::numeric_limits<T>::max());
}

Variant WholeValue(std::string_view text, VariantType type) {
    if (type == VariantType::UI8) {
        uint64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc() && end == text.data() + text.size())
            return Variant::MakeUI8(value);
        return Variant::MakeString(std::string(text));
    }
    int64_t value = 0;
    if (!ReadWhole(text, value)) {
        // A whole-number column holding "12.0" or "1e3" still means a number.
        double real = 0;
        if (ReadReal(text, real)) return Variant::MakeR8(real);
        return Variant::MakeString(std::string(text));
    }
    switch (type) {
        case VariantType::I1:
            if (value >= -128 && value <= 127) return Variant::MakeI1(static_cast<int8_t>(value));
            break;
        case VariantType::UI1:
            if (value >= 0 && value <= 255) return Variant::MakeUI1(static_cast<uint8_t>(value));
            break;
        case VariantType::I2:
            if (Fits<int16_t>(value)) return Variant::MakeI2(static_cast<int16_t>(value));
            break;
        case VariantType::UI2:
            if (value >= 0 && Fits<uint16_t>(value))
                return Variant::MakeUI2(static_cast<uint16_t>(value));
            break;
        case VariantType::I4:
            if (Fits<int32_t>(value)) return Variant::MakeI4(static_cast<int32_t>(value));
            break;
        case VariantType::UI4:
            if (value >= 0 && Fits<uint32_t>(value))
                return Variant::MakeUI4(static_cast<uint32_t>(value));
            break;
        default:
            break;
    }
    // Too wide for the declared type: still the number the server sent.
    return Variant::MakeI8(value);
}

}  // namespace

VariantType XsdType(std::string_view typeName) {
    const size_t colon = typeName.rfind(':');
    if (colon != std::string_view::npos) typeName.remove_prefix(colon + 1);
    for (const XsdTypeEntry& entry : kXsdTypes)
        if (entry.Name == typeName) return entry.Type;
    return VariantType::String;
}

Variant XsdValue(std::string_view raw, VariantType type) {
    const std::string_view text = Trimmed(raw);
    switch (type) {
        case VariantType::Bool:
            if (text == "true" || text == "1") return Variant::MakeBool(true);
            if (text == "false" || text == "0") return Variant::MakeBool(false);
            break;
        case VariantType::I1:
        case VariantType::UI1:
        case VariantType::I2:
        case VariantType::UI2:
        case VariantType::I4:
        case VariantType::UI4:
        case VariantType::I8:
        case VariantType::UI8:
            return WholeValue(text, type);
        case VariantType::R4:
        case VariantType::R8: {
            double value = 0;
            if (ReadReal(text, value)) return Variant::MakeR8(value);
            break;
        }
        case VariantType::Decimal: {
            DecimalValue value;
            if (DecimalValue::Parse(text, value)) return Variant::MakeDecimal(value);
            double real = 0;
            if (ReadReal(text, real)) return Variant::MakeR8(real);
            break;
        }
        case VariantType::Date: {
            double days = 0;
            if (ParseIsoDate(text.substr(0, 19), days)) return Variant::MakeDate(days);
            break;
        }
        default:
            break;
    }
    return Variant::MakeString(std::string(raw));
}

std::string DecodeXmlName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned code = 0;
        if (name[i] == '_' && i + 6 < name.size() && name[i + 1] == 'x' && name[i + 6] == '_') {
            const auto [end, error] =
                std::from_chars(name.data() + i + 2, name.data() + i + 6, code, 16);
            if (error == std::errc() && end == name.data() + i + 6 && code != 0) {
                // UTF-8 of the code point; the escapes name characters of the Basic Plane.
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                i += 6;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

}  // namespace orvik::xmla
