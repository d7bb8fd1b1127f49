// Member properties: the ones every member has (MEMBER_CAPTION, LEVEL_NUMBER, PARENT_UNIQUE_NAME,
// ...) and the ones a level declares with <Property>, read with the members and kept as values
// of their declared type. MDX reads one with <member>.Properties("name"); an axis asks for some
// with DIMENSION PROPERTIES, and its members carry them into the cell set.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/AdoCellSet.h"
#include "data/Variant.h"
#include "olap/CubeModel.h"
#include "olap/MdxAst.h"

namespace orvik::cube {

// The declared properties of `level` from a row of the member query, as their numbers in
// `pool`: `columns` holds each property's column in `row` (-1: none). Values are converted to
// the property's declared type; a value that does not read as that type is kept as it came.
std::vector<uint32_t> ReadMemberProperties(const LevelDefinition& level,
                                           const std::vector<Variant>& row,
                                           const std::vector<int>& columns,
                                           PropertyValuePool& pool);

// The value of the property `name` (in any case) of `member`; nothing when the member has no
// such property. A property the member has but holds no value for is a null value.
std::optional<Variant> MemberProperty(const Member& member, std::string_view name);

// The DIMENSION PROPERTIES of one axis, resolved against a cube. A name is an intrinsic one
// (MEMBER_CAPTION) or a declared one, either alone or qualified by a hierarchy or a level:
// [Store].[Store Sqft], [Store].[Store Name].[Store Sqft].
class AxisProperties {
  public:
    AxisProperties() = default;
    // Throws MdxEvaluationError naming a property no level in scope has, or a qualifier that
    // is neither a hierarchy nor a level of the cube; `axis` names the axis in that message.
    AxisProperties(CubeModel& cube, const std::vector<std::vector<mdx::NameSegment>>& names,
                   const std::string& axis);

    // The asked properties `member` has, in the order asked.
    std::vector<CellSetProperty> Of(const Member& member) const;
    // The asked properties that may apply to members of `hierarchy`.
    CellSetHierarchyInfo InfoFor(const Hierarchy& hierarchy) const;

  private:
    struct Asked {
        std::string Name;  // the intrinsic name, or the declared one as its level spells it
        bool Intrinsic = false;
        const Hierarchy* Scope = nullptr;   // null: any hierarchy
        const Level* ScopeLevel = nullptr;  // null: any level of the scope
    };
    bool Applies(const Asked& asked, const Member& member) const;
    // Why `property` is unknown where `asked` looks for it.
    static std::string NoneDeclares(const Asked& asked, CubeModel& cube,
                                    const std::string& property);

    std::vector<Asked> asked_;
};

}  // namespace orvik::cube
