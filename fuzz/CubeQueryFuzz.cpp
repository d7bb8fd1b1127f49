// Feeds arbitrary bytes to the readers of the cube engine: the MDX statement parser, the
// expression parser, and the cube schema reader. None may crash, hang or leak on any input.
//
// An expression that parses is also written back as MDX and parsed again: that text must read
// back to the same expression (the writer is what error messages and the query builder show, so
// it has to stay faithful).
#include <cstddef>
#include <cstdint>
#include <string>

#include "olap/CubeSchema.h"
#include "olap/MdxParser.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        (void)orvik::mdx::ParseSelect(text);
    } catch (const orvik::mdx::MdxSyntaxError&) {
    }
    try {
        const orvik::mdx::ExprPtr expr = orvik::mdx::ParseExpression(text);
        const std::string written = expr->ToString();
        const orvik::mdx::ExprPtr again = orvik::mdx::ParseExpression(written);
        Check(again->ToString() == written);
    } catch (const orvik::mdx::MdxSyntaxError&) {
    }
    if (!text.empty() && text.front() == '<') {
        try {
            (void)orvik::cube::ParseCubeSchema(text, "fuzz.xml", "sqlite");
        } catch (const orvik::cube::CubeSchemaError&) {
        }
    }
    return 0;
}
