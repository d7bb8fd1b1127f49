// Running a whole SELECT: the slicer, the axes, the passes that read stored cells in bulk, and
// NON EMPTY.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include "core/StopRequest.h"
#include "olap/FormatString.h"
#include "olap/MdxEvaluator.h"
#include "olap/MdxParser.h"
#include "olap/MdxValueRules.h"
#include "olap/NameCase.h"

namespace orvik::cube {

using mdx::Expr;
using namespace mdxvalue;

// --- the query -----------------------------------------------------------------------------------

namespace {

CellSetMember Describe(const Member* member, const AxisProperties& properties) {
    CellSetMember out;
    out.Caption = member->Caption;
    out.UniqueName = member->UniqueName;
    out.Name = member->Name;
    const auto& levels = member->Owner->Levels;
    const size_t depth = std::min(static_cast<size_t>(member->Depth), levels.size() - 1);
    out.LevelUniqueName = levels[depth].UniqueName;
    out.LevelNumber = member->Depth;
    if (member->Parent) out.ParentUniqueName = member->Parent->UniqueName;
    out.Properties = properties.Of(*member);
    return out;
}

// `shape` is a tuple of the axis before NON EMPTY, which names its hierarchies even when no
// position is kept.
CellSetAxis DescribeAxis(const TupleList& tuples, const std::vector<size_t>* kept,
                         const Tuple* shape, const AxisProperties& properties) {
    CellSetAxis axis;
    if (shape)
        for (const Member* member : *shape)
            axis.Hierarchies.push_back(properties.InfoFor(*member->Owner));
    const size_t count = kept ? kept->size() : tuples.size();
    axis.Positions.reserve(count);
    // Described once for the axis, however many of its tuples hold the member.
    std::unordered_map<const Member*, CellSetMembers::Shared> described;
    described.reserve(count);
    for (size_t p = 0; p < count; ++p) {
        const Tuple& tuple = tuples[kept ? (*kept)[p] : p];
        CellSetPosition position;
        position.Members.reserve(tuple.size());
        for (const Member* member : tuple) {
            CellSetMembers::Shared& shared = described[member];
            if (!shared)
                shared = std::make_shared<const CellSetMember>(Describe(member, properties));
            position.Members.push_back(shared);
        }
        axis.Positions.push_back(std::move(position));
    }
    return axis;
}

const char* const kAxisNames[] = {"COLUMNS", "ROWS", "PAGES", "SECTIONS", "CHAPTERS"};

// "axis 1 (ROWS)", for messages.
std::string AxisName(int ordinal) {
    const auto index = static_cast<size_t>(ordinal);
    return "axis " + std::to_string(ordinal) +
           (index < std::size(kAxisNames) ? std::string(" (") + kAxisNames[index] + ")"
                                          : std::string());
}

// More cells than this are refused: a crossjoin that large is a mistake, not a report.
constexpr size_t kMaxCells = 5'000'000;

// The statement's axes by number; they must run from 0 without gaps or repeats.
std::vector<const mdx::AxisSpec*> AxesInOrder(const mdx::SelectStatement& statement,
                                              const std::string& text) {
    std::vector<const mdx::AxisSpec*> axes(statement.Axes.size(), nullptr);
    for (const mdx::AxisSpec& axis : statement.Axes) {
        if (static_cast<size_t>(axis.Ordinal) >= axes.size() ||
            axes[static_cast<size_t>(axis.Ordinal)])
            throw MdxEvaluationError(
                "The query's axes must be numbered from 0 without gaps or "
                "repeats (at " +
                mdx::DescribePosition(text, axis.Position) + ")");
        axes[static_cast<size_t>(axis.Ordinal)] = &axis;
    }
    return axes;
}

// NON EMPTY: the positions of each axis to keep, dropping on a NON EMPTY axis those whose every
// cell is empty.
std::vector<std::vector<size_t>> KeptPositions(const std::vector<const mdx::AxisSpec*>& axes,
                                               const std::vector<TupleList>& positions,
                                               const std::vector<MdxValue>& values) {
    std::vector<std::vector<size_t>> kept(axes.size());
    for (size_t a = 0; a < axes.size(); ++a) {
        std::vector<bool> any(positions[a].size(), !axes[a]->NonEmpty);
        if (axes[a]->NonEmpty) {
            size_t stride = 1;
            for (size_t b = 0; b < a; ++b) stride *= positions[b].size();
            for (size_t ordinal = 0; ordinal < values.size(); ++ordinal)
                if (!values[ordinal].IsEmpty())
                    any[(ordinal / stride) % positions[a].size()] = true;
        }
        for (size_t p = 0; p < any.size(); ++p)
            if (any[p]) kept[a].push_back(p);
    }
    return kept;
}

CellSetCell CellOf(const MdxValue& value, const std::string& format) {
    CellSetCell cell;
    switch (value.What) {
        case MdxValue::Type::Empty:
            break;
        case MdxValue::Type::String:
            cell.Value = Variant::MakeString(value.Text);
            cell.FormattedValue = value.Text;
            break;
        case MdxValue::Type::Bool:
            cell.Value = Variant::MakeBool(value.Number != 0);
            cell.FormattedValue = value.Number != 0 ? "true" : "false";
            break;
        case MdxValue::Type::Number:
            if (value.Integer && std::fabs(value.Number) < 2147483648.0)
                cell.Value = Variant::MakeI4(static_cast<int32_t>(value.Number));
            else if (value.Integer && std::fabs(value.Number) < 9.2e18)
                cell.Value = Variant::MakeI8(static_cast<int64_t>(value.Number));
            else
                cell.Value = Variant::MakeR8(value.Number);
            cell.FormattedValue = FormatNumber(value.Number, format);
            break;
    }
    return cell;
}

// The cell set: the kept positions of each axis and their cells, laid out again.
CellSetData LayOut(const std::vector<const mdx::AxisSpec*>& axes,
                   const std::vector<TupleList>& positions, const TupleList& slicer,
                   const std::vector<MdxValue>& values, const std::vector<std::string>& formats,
                   const std::vector<AxisProperties>& properties) {
    const std::vector<std::vector<size_t>> kept = KeptPositions(axes, positions, values);
    static const AxisProperties kNone;
    CellSetData data;
    for (size_t a = 0; a < axes.size(); ++a) {
        const Tuple* shape = positions[a].empty() ? nullptr : &positions[a].front();
        data.Axes.push_back(DescribeAxis(positions[a], &kept[a], shape,
                                         a < properties.size() ? properties[a] : kNone));
    }
    data.Slicer = DescribeAxis(slicer, nullptr, slicer.empty() ? nullptr : &slicer.front(), kNone);
    size_t count = 1;
    for (const auto& k : kept) count *= k.size();
    data.Cells.resize(count);
    for (size_t out = 0; out < count; ++out) {
        size_t rest = out, ordinal = 0, stride = 1;
        for (size_t a = 0; a < axes.size(); ++a) {
            const size_t i = rest % kept[a].size();
            rest /= kept[a].size();
            ordinal += kept[a][i] * stride;
            stride *= positions[a].size();
        }
        data.Cells[out] = CellOf(values[ordinal], formats[ordinal]);
    }
    return data;
}

}  // namespace

std::vector<AxisProperties> QueryEvaluator::AskedProperties(const mdx::SelectStatement& statement) {
    std::vector<AxisProperties> asked(statement.Axes.size());
    for (const mdx::AxisSpec& axis : statement.Axes)
        if (static_cast<size_t>(axis.Ordinal) < asked.size() && !axis.Properties.empty())
            asked[static_cast<size_t>(axis.Ordinal)] =
                AxisProperties(cube_, axis.Properties, AxisName(axis.Ordinal));
    return asked;
}

CellSetData QueryEvaluator::Run(const mdx::SelectStatement& statement) {
    try {
        // Before any SQL runs: a misspelt property fails at once.
        askedProperties_ = AskedProperties(statement);
        return RunStatement(statement);
    } catch (const std::bad_alloc&) {
        // Whatever the query held is released by now: there is room to say what happened.
        throw MdxEvaluationError(
            "The query ran out of memory; narrow it with NON EMPTY, a filter or a slicer");
    }
}

void QueryEvaluator::CheckCrossjoinSize(size_t left, size_t right) const {
    if (right == 0 || left <= kMaxCells / right) return;
    std::string where;
    if (evaluatingAxis_) {
        where = " on " + AxisName(evaluatingAxis_->Ordinal) +
                (evaluatingAxis_->NonEmpty
                     ? ", although it is NON EMPTY: empty positions are dropped only after the "
                       "crossjoin is made"
                     : "");
    }
    throw MdxEvaluationError("A crossjoin of " + std::to_string(left) + " and " +
                             std::to_string(right) + " tuples would hold more than " +
                             std::to_string(kMaxCells) + where +
                             "; narrow it with a filter or a slicer");
}

void QueryEvaluator::Prepare(const mdx::SelectStatement& statement) {
    const CubeDefinition& cube = cube_.Definition();
    for (const NamedSetDefinition& set : cube.NamedSets) {
        try {
            sets_[LowerAscii(set.Name)].Formula = mdx::ParseExpression(set.Formula);
        } catch (const mdx::MdxSyntaxError& error) {
            throw MdxEvaluationError("The named set '" + set.Name + "' of cube '" + cube.Name +
                                     "' cannot be read: " + error.what());
        }
    }
    const size_t hierarchyCount = cube_.Hierarchies().size();
    context_.assign(hierarchyCount, nullptr);
    for (size_t h = 0; h < hierarchyCount; ++h)
        context_[h] = cube_.DefaultMember(*cube_.Hierarchies()[h]);
    for (const mdx::FormulaDefinition& definition : statement.With) {
        if (definition.IsSet) {
            NamedSet& set = sets_[LowerAscii(definition.Name.back().Name)];
            set.Formula = std::shared_ptr<const Expr>(definition.Formula.get(), [](const Expr*) {});
            set.Done = false;
        } else {
            DefineMember(definition);
        }
    }
}

int QueryEvaluator::Slice(const TupleList& slicer) {
    if (slicer.size() == 1) {
        for (Member* member : slicer.front())
            context_[static_cast<size_t>(member->Owner->Index)] = member;
        return -1;
    }
    if (slicer.size() <= 1) return -1;
    for (const Tuple& t : slicer)
        for (Member* member : t)
            if (member->Calculated)
                throw MdxEvaluationError(
                    "A WHERE clause of several tuples may hold only stored "
                    "members");
    for (const Tuple& t : slicer)
        for (Member* member : t) {
            if (member->Owner->IsMeasures)
                context_.front() = member;
            else
                context_[static_cast<size_t>(member->Owner->Index)] = nullptr;
        }
    TupleList withoutMeasures;
    for (const Tuple& t : slicer) {
        Tuple kept;
        for (Member* member : t)
            if (!member->Owner->IsMeasures) kept.push_back(member);
        withoutMeasures.push_back(kept);
    }
    const int compound = fetcher_.AddCompound(withoutMeasures);
    compound_ = compound;
    return compound;
}

CellSetData QueryEvaluator::RunStatement(const mdx::SelectStatement& statement) {
    Prepare(statement);
    const std::vector<Member*> base = context_;
    const std::vector<const mdx::AxisSpec*> axes = AxesInOrder(statement, text_);

    TupleList slicer;
    std::vector<TupleList> positions(axes.size());
    std::vector<MdxValue> values;
    std::vector<std::string> formats;
    int slicerCompound = -1;
    bool emptySlicer = false;
    // Each pass notes the stored cells it lacks; they are read together before the next.
    for (int pass = 0;; ++pass) {
        if (pass > 20)
            throw MdxEvaluationError("The query's cells depend on each other too deeply to read");
        for (auto& [name, set] : sets_) set.Done = false;
        context_ = base;
        setContext_ = base;
        compound_ = -1;
        slicer = statement.Where ? EvalSet(*statement.Where) : TupleList{Tuple{}};
        emptySlicer = slicer.empty();
        slicerCompound = Slice(slicer);
        const std::vector<Member*> sliced = context_;
        setContext_ = sliced;
        EvaluateAxes(axes, sliced, emptySlicer, positions);
        size_t total = 1;
        for (size_t a = 0; a < axes.size(); ++a) {
            std::erase_if(positions[a], [](const Tuple& t) {
                return std::find(t.begin(), t.end(), nullptr) != t.end();
            });
            total *= positions[a].size();
            if (total > kMaxCells)
                throw MdxEvaluationError("The query asks for more than " +
                                         std::to_string(kMaxCells) +
                                         " cells; narrow it with NON EMPTY, a filter or a slicer");
        }
        values.assign(total, MdxValue{});
        formats.assign(total, std::string());
        for (size_t ordinal = 0; ordinal < total; ++ordinal) {
            CheckStop();
            size_t rest = ordinal;
            context_ = sliced;
            compound_ = slicerCompound;
            for (size_t a = 0; a < axes.size(); ++a) {
                const size_t count = positions[a].size();
                for (Member* member : positions[a][rest % count])
                    context_[static_cast<size_t>(member->Owner->Index)] = member;
                rest /= count;
            }
            if (emptySlicer) continue;
            values[ordinal] = CellValue();
            formats[ordinal] = CellFormat();
        }
        if (!fetcher_.HasPending()) break;
        fetcher_.FetchPending();
    }
    fetcher_.ReleaseCells();  // every value is in `values`: their room goes to the cell set
    return LayOut(axes, positions, slicer, values, formats, askedProperties_);
}

}  // namespace orvik::cube
