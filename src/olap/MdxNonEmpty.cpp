// NON EMPTY without the product: an axis that is NON EMPTY over a crossjoin of levels keeps only
// tuples whose cells can hold a value, and where every cell of the query is a stored measure over
// stored members, a cell can hold a value only where facts are. So the database is asked which
// combinations have facts, and only those are built. Cells are still evaluated and empty ones
// still dropped afterwards (a measure over a column that is NULL in every fact row is empty
// although the rows exist): asking the facts only narrows what is evaluated, it never decides
// what the answer is. A calculated member anywhere in the query (one can be non-empty where no
// fact is) keeps the whole crossjoin.
#include <algorithm>
#include <set>

#include "olap/MdxEvaluator.h"
#include "olap/NameCase.h"
#include "olap/TupleSets.h"

namespace orvik::cube {

using mdx::Expr;

namespace {

// More tuples than this on one axis are refused (the query's whole cell limit).
constexpr size_t kMaxAxisTuples = 5'000'000;
// A single set smaller than this is not worth a query of its own before its cells are read.
constexpr size_t kSingleSetWorthAsking = 10'000;

// The sets `expr` crossjoins, in order: `a * b`, Crossjoin(a, b, ...) and braces around one of
// them; a set that is no crossjoin is its own one part.
void CrossjoinParts(const Expr& expr, std::vector<const Expr*>& parts) {
    if (expr.What == Expr::Kind::Braces && expr.Args.size() == 1)
        return CrossjoinParts(*expr.Args[0], parts);
    if (expr.What == Expr::Kind::Operator && expr.Text == "*" && expr.Args.size() == 2) {
        CrossjoinParts(*expr.Args[0], parts);
        return CrossjoinParts(*expr.Args[1], parts);
    }
    if (expr.What == Expr::Kind::Call && LowerAscii(expr.Text) == "crossjoin" &&
        expr.Args.size() >= 2) {
        for (const auto& arg : expr.Args) CrossjoinParts(*arg, parts);
        return;
    }
    parts.push_back(&expr);
}

// True when the facts can say which tuples of the operands' crossjoin have cells: every operand
// holds stored members of one hierarchy at one depth (no All member, no measures), or is a whole
// level read in part (`partial`), each operand its own hierarchy.
bool FactsCanAnswer(const std::vector<TupleList>& operands,
                    const std::vector<const Level*>& partial = {}) {
    std::set<const Hierarchy*> seen;
    for (size_t i = 0; i < operands.size(); ++i) {
        if (i < partial.size() && partial[i]) {
            if (!seen.insert(partial[i]->Owner).second) return false;
            continue;
        }
        const TupleList& operand = operands[i];
        if (operand.empty()) return false;
        const Member* first = operand.front().size() == 1 ? operand.front().front() : nullptr;
        if (!first || !seen.insert(first->Owner).second) return false;
        for (const Tuple& tuple : operand) {
            if (tuple.size() != 1) return false;
            const Member* member = tuple.front();
            if (!member || member->Calculated || member->IsAll || member->Owner != first->Owner ||
                member->Depth != first->Depth || member->Owner->IsMeasures)
                return false;
        }
    }
    return true;
}

std::vector<std::vector<Member*>> OperandMembers(const std::vector<TupleList>& operands) {
    std::vector<std::vector<Member*>> members(operands.size());
    for (size_t i = 0; i < operands.size(); ++i) {
        members[i].reserve(operands[i].size());
        for (const Tuple& tuple : operands[i]) members[i].push_back(tuple.front());
    }
    return members;
}

// Notes the hierarchies and stored measures of `tuples`; false at a calculated member.
bool NoteMembers(const TupleList& tuples, std::set<const Hierarchy*>& hierarchies,
                 std::set<std::string>& cubes, std::vector<const Member*>* measures = nullptr) {
    for (const Tuple& tuple : tuples)
        for (const Member* member : tuple) {
            if (!member) continue;
            if (member->Calculated) return false;
            hierarchies.insert(member->Owner);
            if (!member->Measure) continue;
            cubes.insert(member->Measure->Cube);
            if (measures &&
                std::find(measures->begin(), measures->end(), member) == measures->end())
                measures->push_back(member);
        }
    return true;
}

}  // namespace

std::vector<std::string> QueryEvaluator::FactCubes(const std::vector<Member*>& context,
                                                   const std::set<std::string>& measureCubes) {
    for (const Member* member : context)
        if (member && member->Calculated) return {};
    if (!measureCubes.empty()) return {measureCubes.begin(), measureCubes.end()};
    const Member* measure = context.empty() ? nullptr : context.front();
    if (!measure || !measure->Measure) return {};
    return {measure->Measure->Cube};
}

const Level* QueryEvaluator::LevelReadInPart(const Expr& expr) {
    if (expr.What != Expr::Kind::Call || !expr.IsMethod || expr.Args.size() != 1 ||
        expr.Args[0]->What != Expr::Kind::Name || LowerAscii(expr.Text) != "members")
        return nullptr;
    Resolved resolved;
    if (!TryResolve(expr.Args[0]->Segments, resolved) || !resolved.TheLevel) return nullptr;
    return cube_.ReadsInPart(*resolved.TheLevel) ? resolved.TheLevel : nullptr;
}

TupleList QueryEvaluator::CrossjoinOperands(std::vector<TupleList> operands,
                                            const std::vector<const Level*>& partial,
                                            const std::vector<Member*>& context,
                                            const std::vector<std::string>& cubes,
                                            const std::vector<const Member*>& measures) {
    if (operands.empty()) return {};
    const bool single = operands.size() == 1;
    const bool anyPartial = std::any_of(partial.begin(), partial.end(),
                                        [](const Level* level) { return level != nullptr; });
    if (cubes.empty() ||
        (single && !anyPartial && operands.front().size() < kSingleSetWorthAsking) ||
        !FactsCanAnswer(operands, partial)) {
        // The facts cannot answer: a level read in part is read whole after all.
        for (size_t i = 0; i < partial.size(); ++i)
            if (partial[i]) operands[i] = Singles(LevelMembers(*partial[i]));
        TupleList result = operands.front();
        for (size_t i = 1; i < operands.size(); ++i) result = CrossjoinSets(result, operands[i]);
        return result;
    }
    const FactQuestion question{OperandMembers(operands),
                                context,
                                compound_,
                                cubes,
                                measures,
                                kMaxAxisTuples,
                                anyPartial ? partial : std::vector<const Level*>{}};
    const std::optional<FactCombinations> found = fetcher_.CombinationsWithFacts(question);
    if (!found) {
        std::string where;
        if (evaluatingAxis_) where = " on axis " + std::to_string(evaluatingAxis_->Ordinal);
        throw MdxEvaluationError("The crossjoin" + where + " has more than " +
                                 std::to_string(kMaxAxisTuples) +
                                 " tuples with facts, after NON EMPTY; narrow it with a filter "
                                 "or a slicer");
    }
    // The cells the measures were read for: the current members, the tuple's in their places,
    // the measure's place empty as a stored cell's coordinate has it.
    std::vector<Member*> coordinate = context_;
    if (!coordinate.empty()) coordinate.front() = nullptr;
    const size_t valuesEach = found->ValuesEach;
    std::vector<int> measureIndexes;
    for (size_t m = 0; m < valuesEach; ++m)
        measureIndexes.push_back(question.Measures[m]->MeasureIndex);
    if (valuesEach) fetcher_.ReserveCells(found->Count());
    TupleList result;
    result.reserve(found->Count());
    for (size_t c = 0; c < found->Count(); ++c) {
        CheckStop();
        Tuple tuple;
        tuple.reserve(operands.size());
        for (size_t i = 0; i < operands.size(); ++i) {
            const uint32_t position = found->Positions[c * found->Width + i];
            Member* member = question.PartialLevel(i) ? found->Members[i][position]
                                                      : operands[i][position].front();
            tuple.push_back(member);
            coordinate[static_cast<size_t>(member->Owner->Index)] = member;
        }
        if (valuesEach)
            fetcher_.Prefill(
                coordinate, compound_, measureIndexes,
                std::span<const Variant>(found->Values).subspan(c * valuesEach, valuesEach));
        result.push_back(std::move(tuple));
    }
    return result;
}

TupleList QueryEvaluator::ExistingWithFacts(const TupleList& set, const TupleList& others,
                                            const std::string& cubeName, const Expr& at) {
    std::string cube;
    for (const MeasureDefinition& measure : cube_.Definition().Measures)
        if (SameName(measure.Cube, cubeName)) cube = measure.Cube;
    if (cube.empty())
        Fail(at, "The cube '" + cube_.Definition().Name + "' has no measures of a cube named '" +
                     cubeName + "'");
    if (set.empty()) return {};
    std::set<const Hierarchy*> hierarchies;
    std::set<std::string> unused;
    if (!FactsCanAnswer({set}) || !NoteMembers(others, hierarchies, unused))
        Fail(at,
             "Exists with a cube needs members of one level as its first set and stored "
             "members in its second");
    const int compound = fetcher_.AddCompound(others);
    const std::optional<FactCombinations> found = fetcher_.CombinationsWithFacts(
        FactQuestion{OperandMembers({set}), {}, compound, {cube}, {}, kMaxAxisTuples, {}});
    if (!found) Fail(at, "Exists found more than " + std::to_string(kMaxAxisTuples) + " tuples");
    TupleList result;
    result.reserve(found->Count());
    for (uint32_t position : found->Positions) result.push_back(set[position]);
    return result;
}

void QueryEvaluator::EvaluateAxes(const std::vector<const mdx::AxisSpec*>& axes,
                                  const std::vector<Member*>& sliced, bool emptySlicer,
                                  std::vector<TupleList>& positions) {
    // NON EMPTY crossjoins wait for the other axes: which cubes' facts decide, and which
    // hierarchies the other axes set, is known only then.
    std::vector<std::vector<TupleList>> operands(axes.size());
    std::vector<std::vector<const Level*>> partial(axes.size());
    std::vector<bool> waiting(axes.size(), false);
    std::vector<std::set<const Hierarchy*>> hierarchies(axes.size());
    std::set<std::string> measureCubes;
    std::vector<const Member*> measures;
    bool stored = !emptySlicer;
    for (size_t a = 0; a < axes.size(); ++a) {
        context_ = sliced;
        evaluatingAxis_ = axes[a];
        std::vector<const Expr*> parts;
        if (axes[a]->NonEmpty) CrossjoinParts(*axes[a]->Set, parts);
        waiting[a] = !parts.empty();
        if (waiting[a]) {
            for (const Expr* part : parts) {
                // A whole level over a large table waits too: the facts say which of its
                // members to read.
                const Level* level = LevelReadInPart(*part);
                partial[a].push_back(level);
                if (level) {
                    operands[a].emplace_back();
                    hierarchies[a].insert(level->Owner);
                    continue;
                }
                operands[a].push_back(EvalSet(*part));
                stored = NoteMembers(operands[a].back(), hierarchies[a], measureCubes) && stored;
            }
        } else {
            positions[a] = EvalSet(*axes[a]->Set);
            stored = NoteMembers(positions[a], hierarchies[a], measureCubes, &measures) && stored;
        }
        evaluatingAxis_ = nullptr;
    }
    const std::vector<std::string> cubes =
        stored ? FactCubes(sliced, measureCubes) : std::vector<std::string>{};
    for (size_t a = 0; a < axes.size(); ++a) {
        if (!waiting[a]) continue;
        // The facts are asked under the slicer, leaving out what the other axes set: whatever
        // they hold, a cell of this axis's tuple has facts only where the tuple has some.
        std::vector<Member*> context = sliced;
        bool measuresOnly = true;  // then each cell's coordinate is known here
        for (size_t b = 0; b < axes.size(); ++b)
            if (b != a)
                for (const Hierarchy* hierarchy : hierarchies[b]) {
                    context[static_cast<size_t>(hierarchy->Index)] = nullptr;
                    measuresOnly = measuresOnly && hierarchy->IsMeasures;
                }
        context_ = sliced;
        evaluatingAxis_ = axes[a];
        positions[a] = CrossjoinOperands(std::move(operands[a]), partial[a], context, cubes,
                                         measuresOnly ? measures : std::vector<const Member*>{});
        evaluatingAxis_ = nullptr;
    }
}

}  // namespace orvik::cube
