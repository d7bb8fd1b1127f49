// The MDX cases over FoodMart as their files hold them: "# key: value" header lines, the query
// after "=== QUERY ===", and after "=== EXPECTED ===" the result another engine's developers
// expect, printed in one of three forms. The files come from outside the project, so every part
// the harness relies on is checked and a malformed file is refused with a reason, never guessed at.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvik::test {

// How a case's expected text is printed.
enum class MdxCaseForm {
    Traditional,  // "Axis #0:" slicer, "Axis #n:" tuples, then "Row #r: <formatted>" per cell
    AxisOnly,     // the positions of the columns axis only, one tuple per line
    Xmla,         // "Slicer:", "AxisN (k positions):", then every cell with Value and FmtValue
};

// core: inside the MDX subset the engine promises; edge: legal but unusual; stretch: beyond it.
enum class MdxCaseTier { Core, Edge, Stretch };

struct MdxCase {
    std::string Name;  // the file name without ".mdxcase"
    MdxCaseTier Tier = MdxCaseTier::Core;
    MdxCaseForm Form = MdxCaseForm::Traditional;
    std::string Note;  // the tier line's note
    // Formatted values written with "," as the decimal separator and "." for thousands.
    bool CommaDecimal = false;
    std::string Query;
    std::vector<std::string> Expected;  // lines without trailing white space
};

// Parses the text of the case file named `name`. Throws std::runtime_error naming the file and
// the fault when a section, the tier or the kind is missing or unknown.
MdxCase ParseMdxCase(const std::string& name, std::string_view text);

// Reads and parses `path`; throws std::runtime_error when it cannot be read or is malformed.
MdxCase LoadMdxCase(const std::string& path);

// The names (without ".mdxcase") of the case files in `folder`, sorted; empty when there is no
// such folder.
std::vector<std::string> MdxCaseNames(const std::string& folder);

// "core", "edge" or "stretch".
const char* MdxCaseTierName(MdxCaseTier tier);

}  // namespace orvik::test
