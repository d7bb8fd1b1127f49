#include "olap/MdxEvaluator.h"
#include "olap/NameCase.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "core/StopRequest.h"
#include "olap/FormatString.h"
#include "olap/MdxLexer.h"
#include "olap/MdxParser.h"
#include "olap/TupleSets.h"

namespace orvik::cube {
namespace {

using mdx::Expr;

// A single bare word used as a flag argument (PRE, POST, DESC, SELF_AND_AFTER, ...).
std::string Flag(const Expr& expr) {
    if (expr.What == Expr::Kind::Name && expr.Segments.size() == 1 && !expr.Segments[0].Quoted)
        return LowerAscii(expr.Segments[0].Name);
    if (expr.What == Expr::Kind::String) return LowerAscii(expr.Text);
    return "";
}

MdxValue Number(double value, bool integer = false) {
    MdxValue result;
    result.What = MdxValue::Type::Number;
    result.Number = value;
    result.Integer = integer;
    return result;
}

MdxValue Text(std::string text) {
    MdxValue result;
    result.What = MdxValue::Type::String;
    result.Text = std::move(text);
    return result;
}

MdxValue Truth(bool value) {
    MdxValue result;
    result.What = MdxValue::Type::Bool;
    result.Number = value ? 1 : 0;
    return result;
}

bool IsTrue(const MdxValue& value) {
    switch (value.What) {
        case MdxValue::Type::Empty:
            return false;
        case MdxValue::Type::String:
            return !value.Text.empty();
        default:
            return value.Number != 0;
    }
}

double AsNumber(const MdxValue& value) {
    if (value.What == MdxValue::Type::String) return std::strtod(value.Text.c_str(), nullptr);
    return value.What == MdxValue::Type::Empty ? 0 : value.Number;
}

std::string AsText(const MdxValue& value) {
    switch (value.What) {
        case MdxValue::Type::Empty:
            return "";
        case MdxValue::Type::String:
            return value.Text;
        case MdxValue::Type::Bool:
            return value.Number != 0 ? "true" : "false";
        case MdxValue::Type::Number: {
            // Plain digits: a number joined into a text ("Total " || 3405) is not a cell to be
            // formatted, and a grouping comma there would read as a list separator.
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%.15g", value.Number);
            return buffer;
        }
    }
    return "";
}

// Order values: empty first, then numbers, then strings.
int Compare(const MdxValue& a, const MdxValue& b) {
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() == b.IsEmpty() ? 0 : (a.IsEmpty() ? -1 : 1);
    if (a.What == MdxValue::Type::String && b.What == MdxValue::Type::String)
        return a.Text < b.Text ? -1 : (a.Text > b.Text ? 1 : 0);
    const double x = AsNumber(a), y = AsNumber(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

// Order's ASC and DESC keep the hierarchy: members are ranked among their siblings by their
// own values and each comes before its descendants, so cities come out grouped under their
// states and countries, which are ranked by their own totals. `keyOf` gives the value of a tuple
// whose last member may be an ancestor of the member the set holds.
TupleList OrderHierarchically(TupleList set, const std::function<MdxValue(const Tuple&)>& keyOf,
                              bool descending) {
    // Each member's line of ancestors from the top of its hierarchy down to itself.
    std::vector<std::vector<std::vector<Member*>>> chains(set.size());
    for (size_t i = 0; i < set.size(); ++i)
        for (Member* member : set[i]) {
            std::vector<Member*> chain;
            for (Member* m = member; m; m = m->Parent) chain.push_back(m);
            std::reverse(chain.begin(), chain.end());
            chains[i].push_back(std::move(chain));
        }
    std::map<Tuple, MdxValue> keys;
    auto key = [&](const Tuple& tuple, size_t position, Member* ancestor) -> const MdxValue& {
        Tuple prefix(tuple.begin(), tuple.begin() + static_cast<long>(position));
        prefix.push_back(ancestor);
        auto found = keys.find(prefix);
        if (found == keys.end()) found = keys.emplace(prefix, keyOf(prefix)).first;
        return found->second;
    };
    auto before = [&](size_t x, size_t y) {
        const Tuple &a = set[x], &b = set[y];
        for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
            if (a[i] == b[i]) continue;
            const auto &left = chains[x][i], &right = chains[y][i];
            size_t d = 0;
            while (d < left.size() && d < right.size() && left[d] == right[d]) ++d;
            if (d == left.size()) return true;  // an ancestor before its descendants
            if (d == right.size()) return false;
            const int c = Compare(key(a, i, left[d]), key(b, i, right[d]));
            if (c != 0) return descending ? c > 0 : c < 0;
            return left[d]->Ordinal < right[d]->Ordinal;
        }
        return false;
    };
    std::vector<size_t> order(set.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), before);
    TupleList sorted;
    sorted.reserve(set.size());
    for (size_t i : order) sorted.push_back(std::move(set[i]));
    return sorted;
}

const char* const kSetFunctions[] = {
    "members",  "allmembers",  "children",  "siblings", "crossjoin",     "hierarchize",
    "union",    "except",      "intersect", "distinct", "filter",        "order",
    "topcount", "bottomcount", "head",      "tail",     "descendants",   "nonempty",
    "generate", "ytd",         "qtd",       "mtd",      "periodstodate", "nonemptycrossjoin"};

const char* const kMemberFunctions[] = {
    "parent",        "prevmember",    "nextmember",  "firstchild",     "lastchild",
    "currentmember", "defaultmember", "ancestor",    "parallelperiod", "lead",
    "lag",           "firstsibling",  "lastsibling", "datamember",     "cousin"};

bool InList(const std::string& name, const char* const* list, size_t count) {
    const std::string lower = LowerAscii(name);
    return std::any_of(list, list + count, [&](const char* item) { return lower == item; });
}

}  // namespace

QueryEvaluator::QueryEvaluator(CubeModel& cube, CellFetcher& fetcher, std::string text)
    : cube_(cube), fetcher_(fetcher), text_(std::move(text)) {}

void QueryEvaluator::Fail(const Expr& at, const std::string& what) const {
    throw MdxEvaluationError(what + " (at " + mdx::DescribePosition(text_, at.Position) + ")");
}

QueryEvaluator::Nesting::Nesting(QueryEvaluator& evaluator, const Expr& at)
    : evaluator_(evaluator) {
    if (++evaluator_.nesting_ > kMaxEvaluationNesting) {
        --evaluator_.nesting_;
        evaluator_.Fail(at, "The query's evaluation nests deeper than the limit of " +
                                std::to_string(kMaxEvaluationNesting) +
                                " levels (formulas that use each other count too)");
    }
    evaluator_.CheckStop();
}

void QueryEvaluator::CheckStop() {
    // The clock is read once in a while, not on every expression.
    if ((++steps_ & 0xFF) == 0) ThrowIfStopped("The query");
}

bool QueryEvaluator::IsMemberFunction(const std::string& name) const {
    return InList(name, kMemberFunctions, std::size(kMemberFunctions));
}

// --- names ---------------------------------------------------------------------------------------

Hierarchy* QueryEvaluator::FindHierarchy(const std::string& name) {
    for (auto& hierarchy : cube_.Hierarchies())
        if (!hierarchy->IsMeasures && SameName(hierarchy->DimensionName, name))
            return hierarchy.get();
    // "[Time.Weekly]": a dimension's further hierarchy written in one part.
    const size_t dot = name.find('.');
    if (dot != std::string::npos)
        for (auto& hierarchy : cube_.Hierarchies())
            if (SameName(hierarchy->DimensionName, name.substr(0, dot)) &&
                SameName(hierarchy->Name, name.substr(dot + 1)))
                return hierarchy.get();
    return nullptr;
}

Member* QueryEvaluator::FindCalculated(Hierarchy& hierarchy, Member* parent,
                                       const std::string& name) {
    const Member* wanted = parent && parent->IsAll ? nullptr : parent;
    auto matches = [&](Member* member) {
        const Member* owner = member->Parent && member->Parent->IsAll ? nullptr : member->Parent;
        return member->Owner == &hierarchy && owner == wanted && SameName(member->Name, name);
    };
    for (auto it = queryCalculated_.rbegin(); it != queryCalculated_.rend(); ++it)
        if (matches(*it)) return *it;
    for (Member* member : hierarchy.CalculatedMembers)
        if (matches(member)) return member;
    return nullptr;
}

Member* QueryEvaluator::FindChild(Hierarchy& hierarchy, Member* parent,
                                  const mdx::NameSegment& segment) {
    if (!hierarchy.IsMeasures) cube_.Load(hierarchy);
    const std::vector<Member*>* candidates = nullptr;
    if (parent) {
        candidates = &parent->Children;
    } else {
        Member* all = hierarchy.All();
        if (all && !segment.IsKey && SameName(all->Name, segment.Name)) return all;
        candidates = all ? &all->Children : &hierarchy.Roots;
    }
    for (Member* member : *candidates)
        if (segment.IsKey ? member->Key == segment.Name : member->Name == segment.Name)
            return member;
    if (!segment.IsKey) {
        for (Member* member : *candidates)
            if (SameName(member->Name, segment.Name)) return member;
        return FindCalculated(hierarchy, parent, segment.Name);
    }
    return nullptr;
}

Member* QueryEvaluator::FindInLevel(Level& level, const mdx::NameSegment& segment) {
    for (Member* member : LevelMembers(level))
        if (segment.IsKey ? member->Key == segment.Name : SameName(member->Name, segment.Name))
            return member;
    Hierarchy& hierarchy = *level.Owner;
    if (segment.IsKey && static_cast<size_t>(level.Depth) + 1 == hierarchy.Levels.size()) {
        auto found = hierarchy.ByPrimaryKey.find(segment.Name);
        if (found != hierarchy.ByPrimaryKey.end()) return found->second;
    }
    return nullptr;
}

std::vector<Member*> QueryEvaluator::LevelMembers(const Level& level) {
    if (!level.Owner->IsMeasures) cube_.Load(*level.Owner);
    if (level.Owner->IsMeasures) {
        std::vector<Member*> visible;
        for (Member* member : level.Owner->Roots)
            if (member->Visible) visible.push_back(member);
        return visible;
    }
    return level.Owner->ByLevel[static_cast<size_t>(level.Depth)];
}

bool QueryEvaluator::TryResolve(const std::vector<mdx::NameSegment>& segments, Resolved& out) {
    if (segments.empty()) return false;
    const mdx::NameSegment& first = segments[0];
    if (segments.size() == 1 && !first.IsKey) {
        auto set = sets_.find(LowerAscii(first.Name));
        if (set != sets_.end()) {
            out.SetFormula = set->second.Formula.get();
            out.SetName = set->first;
            return true;
        }
    }
    size_t i = 0;
    Hierarchy* hierarchy = nullptr;
    Member* member = nullptr;
    if (!first.IsKey && SameName(first.Name, "Measures")) {
        hierarchy = &cube_.Measures();
        i = 1;
    } else if (!first.IsKey && (hierarchy = FindHierarchy(first.Name))) {
        i = 1;
        if (i < segments.size() && !segments[i].IsKey) {
            const bool isLevel = std::any_of(
                hierarchy->Levels.begin(), hierarchy->Levels.end(),
                [&](const Level& level) { return SameName(level.Name, segments[1].Name); });
            if (!isLevel)
                for (auto& other : cube_.Hierarchies())
                    if (other->DimensionName == hierarchy->DimensionName &&
                        SameName(other->Name, segments[1].Name)) {
                        hierarchy = other.get();
                        ++i;
                        break;
                    }
        }
    } else {
        // A member named without its dimension: [1997].[Q1].
        for (auto& candidate : cube_.Hierarchies()) {
            if (candidate->IsMeasures) continue;
            if ((member = FindChild(*candidate, nullptr, first))) {
                hierarchy = candidate.get();
                i = 1;
                break;
            }
        }
        if (!member) return false;
    }
    if (!member && i == segments.size()) {
        out.TheHierarchy = hierarchy;
        return true;
    }
    if (!member && hierarchy->IsMeasures) {
        for (Member* measure : hierarchy->Roots)
            if (SameName(measure->Name, segments[i].Name)) member = measure;
        if (!member) member = FindCalculated(*hierarchy, nullptr, segments[i].Name);
        if (!member || i + 1 != segments.size()) return false;
        out.TheMember = member;
        return true;
    }
    if (!member && !segments[i].IsKey) {
        for (Level& level : hierarchy->Levels) {
            if (!SameName(level.Name, segments[i].Name)) continue;
            ++i;
            if (i == segments.size()) {
                out.TheLevel = &level;
                return true;
            }
            member = FindInLevel(level, segments[i]);
            if (!member) return false;
            ++i;
            break;
        }
    }
    if (!member) {
        member = FindChild(*hierarchy, nullptr, segments[i]);
        if (!member) return false;
        ++i;
    }
    for (; i < segments.size(); ++i) {
        member = FindChild(*hierarchy, member, segments[i]);
        if (!member) return false;
    }
    out.TheMember = member;
    return true;
}

QueryEvaluator::Resolved QueryEvaluator::Resolve(const Expr& name) {
    Resolved resolved;
    if (!TryResolve(name.Segments, resolved))
        Fail(name, "MDX object '" + mdx::SegmentsToString(name.Segments) + "' not found in cube '" +
                       cube_.Definition().Name + "'");
    return resolved;
}

void QueryEvaluator::DefineMember(const mdx::FormulaDefinition& definition) {
    const std::vector<mdx::NameSegment>& name = definition.Name;
    Hierarchy* hierarchy = nullptr;
    Member* parent = nullptr;
    if (name.size() >= 2) {
        Resolved owner;
        const std::vector<mdx::NameSegment> head(name.begin(), name.end() - 1);
        if (TryResolve(head, owner)) {
            hierarchy = owner.TheHierarchy;
            if (owner.TheMember) {
                parent = owner.TheMember;
                hierarchy = parent->Owner;
            }
        }
    }
    if (!hierarchy)
        throw MdxEvaluationError("The calculated member " + mdx::SegmentsToString(name) +
                                 " does not name a dimension of cube '" + cube_.Definition().Name +
                                 "' (at " + mdx::DescribePosition(text_, definition.Position) +
                                 ")");
    Member& member = queryMembers_.emplace_back();
    // The formula stays owned by the statement, which outlives this evaluator's run.
    std::shared_ptr<const Expr> formula(definition.Formula.get(), [](const Expr*) {});
    InitCalculated(member, *hierarchy, parent, name.back().Name, formula,
                   1000000 + queryCalculated_.size());
    for (const auto& [property, value] : definition.Properties) {
        if (property == "FORMAT_STRING" || property == "FORMAT") {
            member.FormatString = AsText(EvalValue(*value));
        } else if (property == "SOLVE_ORDER") {
            member.SolveOrder = static_cast<int>(AsNumber(EvalValue(*value)));
        } else if (property == "VISIBLE") {
            member.Visible = IsTrue(EvalValue(*value));
        }
    }
    queryCalculated_.push_back(&member);
}

// --- members -------------------------------------------------------------------------------------

Level* QueryEvaluator::LevelOf(Member* member) const {
    auto& levels = member->Owner->Levels;
    const size_t depth = std::min(static_cast<size_t>(member->Depth), levels.size() - 1);
    return &levels[depth];
}

bool QueryEvaluator::IsAncestor(const Member* ancestor, const Member* member) const {
    for (const Member* m = member ? member->Parent : nullptr; m; m = m->Parent)
        if (m == ancestor) return true;
    return false;
}

Member* QueryEvaluator::Lead(Member* member, long offset) {
    if (!member || member->Calculated) return nullptr;
    if (!member->Owner->IsMeasures) cube_.Load(*member->Owner);
    const auto& level = member->Owner->ByLevel[static_cast<size_t>(member->Depth)];
    const long index = static_cast<long>(member->LevelIndex) + offset;
    if (index < 0 || index >= static_cast<long>(level.size())) return nullptr;
    return level[static_cast<size_t>(index)];
}

Member* QueryEvaluator::Ancestor(Member* member, int depth) {
    while (member && member->Depth > depth) member = member->Parent;
    return member && member->Depth == depth ? member : nullptr;
}

// The member in the same position under `ancestor` as `member` has under its own ancestor.
Member* QueryEvaluator::Cousin(Member* member, Member* ancestor) {
    if (!member || !ancestor) return nullptr;
    std::vector<size_t> path;
    Member* m = member;
    for (; m && m->Depth > ancestor->Depth; m = m->Parent) {
        const auto& siblings = m->Parent ? m->Parent->Children : m->Owner->Roots;
        path.push_back(
            static_cast<size_t>(std::find(siblings.begin(), siblings.end(), m) - siblings.begin()));
    }
    Member* cousin = ancestor;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (*it >= cousin->Children.size()) return nullptr;
        cousin = cousin->Children[*it];
    }
    return cousin;
}

Member* QueryEvaluator::CurrentMember(Hierarchy& hierarchy) {
    Member* member = context_[static_cast<size_t>(hierarchy.Index)];
    return member ? member : cube_.DefaultMember(hierarchy);
}

std::vector<Member*> QueryEvaluator::Members(Hierarchy& hierarchy) {
    if (hierarchy.IsMeasures) return LevelMembers(hierarchy.Levels.front());
    cube_.Load(hierarchy);
    std::vector<Member*> members;
    std::function<void(Member*)> walk = [&](Member* member) {
        members.push_back(member);
        for (Member* child : member->Children) walk(child);
    };
    for (Member* root : hierarchy.Roots) walk(root);
    return members;
}

Hierarchy* QueryEvaluator::EvalHierarchy(const Expr& expr) {
    if (expr.What == Expr::Kind::Name) {
        Resolved resolved = Resolve(expr);
        if (resolved.TheHierarchy) return resolved.TheHierarchy;
        if (resolved.TheLevel) return resolved.TheLevel->Owner;
        if (resolved.TheMember) return resolved.TheMember->Owner;
    }
    if (expr.What == Expr::Kind::Call && expr.IsMethod &&
        (SameName(expr.Text, "Hierarchy") || SameName(expr.Text, "Dimension")))
        return EvalHierarchy(*expr.Args[0]);
    if (Member* member = EvalMember(expr)) return member->Owner;
    Fail(expr, "A hierarchy was expected: " + expr.ToString());
}

Level* QueryEvaluator::EvalLevel(const Expr& expr) {
    if (expr.What == Expr::Kind::Name) {
        Resolved resolved = Resolve(expr);
        if (resolved.TheLevel) return resolved.TheLevel;
    }
    if (expr.What == Expr::Kind::Call && expr.IsMethod && SameName(expr.Text, "Level")) {
        Member* member = EvalMember(*expr.Args[0]);
        return member ? LevelOf(member) : nullptr;
    }
    Fail(expr, "A level was expected: " + expr.ToString());
}

Member* QueryEvaluator::EvalMember(const Expr& expr) {
    const Nesting nesting(*this, expr);
    switch (expr.What) {
        case Expr::Kind::Name: {
            Resolved resolved = Resolve(expr);
            if (resolved.TheMember) return resolved.TheMember;
            // A hierarchy where a member belongs means its current member: [Time].PrevMember.
            if (resolved.TheHierarchy) return CurrentMember(*resolved.TheHierarchy);
            Fail(expr, "A member was expected, but " + expr.ToString() + " is a " +
                           (resolved.TheLevel ? "level" : "set"));
        }
        case Expr::Kind::Call:
            if (IsMemberFunction(expr.Text)) return MemberFunction(expr);
            break;
        default:
            break;
    }
    Fail(expr, "A member was expected: " + expr.ToString());
}

Member* QueryEvaluator::MemberFunction(const Expr& call) {
    const std::string name = LowerAscii(call.Text);
    auto arg = [&](size_t i) -> const Expr* {
        return i < call.Args.size() && call.Args[i]->What != Expr::Kind::Empty ? call.Args[i].get()
                                                                               : nullptr;
    };
    if (name == "currentmember" || name == "defaultmember") {
        if (!arg(0)) Fail(call, call.Text + " needs a hierarchy");
        Hierarchy* hierarchy = EvalHierarchy(*arg(0));
        return name == "currentmember" ? CurrentMember(*hierarchy)
                                       : cube_.DefaultMember(*hierarchy);
    }
    if (name == "parallelperiod") {
        Hierarchy* time = nullptr;
        Member* member = nullptr;
        if (arg(2)) {
            member = EvalMember(*arg(2));
        } else {
            Level* level = arg(0) ? EvalLevel(*arg(0)) : nullptr;
            time = level ? level->Owner : nullptr;
            if (!time)
                for (auto& h : cube_.Hierarchies())
                    if (h->IsTime && !time) time = h.get();
            if (!time) Fail(call, "ParallelPeriod needs a time dimension");
            member = CurrentMember(*time);
        }
        if (!member) return nullptr;
        const int depth = arg(0) ? EvalLevel(*arg(0))->Depth : member->Depth - 1;
        const long lag = arg(1) ? static_cast<long>(AsNumber(EvalValue(*arg(1)))) : 1;
        Member* ancestor = Ancestor(member, depth);
        return Cousin(member, Lead(ancestor, -lag));
    }
    if (!arg(0)) Fail(call, call.Text + " needs a member");
    Member* member = EvalMember(*arg(0));
    if (!member) return nullptr;
    if (name == "parent") return member->Parent;
    if (name == "datamember") return member;
    if (name == "prevmember") return Lead(member, -1);
    if (name == "nextmember") return Lead(member, 1);
    if (name == "lead" || name == "lag") {
        if (!arg(1)) Fail(call, call.Text + " needs a distance");
        const long offset = static_cast<long>(AsNumber(EvalValue(*arg(1))));
        return Lead(member, name == "lead" ? offset : -offset);
    }
    if (name == "firstchild" || name == "lastchild") {
        if (!member->Owner->IsMeasures) cube_.Load(*member->Owner);
        if (member->Children.empty()) return nullptr;
        return name == "firstchild" ? member->Children.front() : member->Children.back();
    }
    if (name == "firstsibling" || name == "lastsibling") {
        const auto& siblings = member->Parent ? member->Parent->Children : member->Owner->Roots;
        if (siblings.empty()) return nullptr;
        return name == "firstsibling" ? siblings.front() : siblings.back();
    }
    if (name == "ancestor") {
        if (!arg(1)) Fail(call, "Ancestor needs a level or a distance");
        const Expr& target = *arg(1);
        const int depth = target.What == Expr::Kind::Number
                              ? member->Depth - static_cast<int>(target.Number)
                              : EvalLevel(target)->Depth;
        return Ancestor(member, depth);
    }
    if (name == "cousin") {
        if (!arg(1)) Fail(call, "Cousin needs an ancestor member");
        return Cousin(member, EvalMember(*arg(1)));
    }
    Fail(call, "Unknown member function " + call.Text);
}

// --- sets ----------------------------------------------------------------------------------------

Tuple QueryEvaluator::EvalTuple(const Expr& expr) {
    const Nesting nesting(*this, expr);
    Tuple tuple;
    if (expr.What == Expr::Kind::Tuple) {
        for (const auto& item : expr.Args) {
            Tuple part = EvalTuple(*item);
            // ([Store].[USA], [Store].[Canada]) would silently show Canada alone.
            for (const Member* member : part)
                for (const Member* earlier : tuple)
                    if (member && earlier && member->Owner == earlier->Owner)
                        Fail(*item, "The tuple " + expr.ToString() +
                                        " names more than one member of " +
                                        member->Owner->UniqueName);
            tuple.insert(tuple.end(), part.begin(), part.end());
        }
        return tuple;
    }
    tuple.push_back(EvalMember(expr));
    return tuple;
}

TupleList QueryEvaluator::EvalSet(const Expr& expr) {
    const Nesting nesting(*this, expr);
    switch (expr.What) {
        case Expr::Kind::Braces: {
            TupleList set;
            for (const auto& item : expr.Args) {
                TupleList part = EvalSet(*item);
                set.insert(set.end(), part.begin(), part.end());
            }
            return set;
        }
        case Expr::Kind::Tuple: {
            Tuple tuple = EvalTuple(expr);
            if (std::find(tuple.begin(), tuple.end(), nullptr) != tuple.end()) return {};
            return {tuple};
        }
        case Expr::Kind::Name: {
            Resolved resolved = Resolve(expr);
            if (resolved.SetFormula) {
                NamedSet& set = sets_[resolved.SetName];
                if (!set.Done) {
                    if (set.Evaluating)
                        Fail(expr, "The set " + expr.ToString() + " refers to itself");
                    set.Evaluating = true;
                    // A named set is fixed for the whole query: it is evaluated where the query
                    // starts, not in the cell or calculated member that first uses it.
                    std::vector<Member*> saved = context_;
                    const int savedCompound = compound_;
                    context_ = setContext_;
                    compound_ = -1;
                    set.Cached = EvalSet(*set.Formula);
                    context_ = std::move(saved);
                    compound_ = savedCompound;
                    set.Evaluating = false;
                    set.Done = true;
                }
                return set.Cached;
            }
            if (resolved.TheLevel) {
                TupleList set;
                for (Member* member : LevelMembers(*resolved.TheLevel)) set.push_back({member});
                return set;
            }
            if (resolved.TheHierarchy) return {{cube_.DefaultMember(*resolved.TheHierarchy)}};
            return {{resolved.TheMember}};
        }
        case Expr::Kind::Operator: {
            if (expr.Args.size() != 2) break;
            if (expr.Text == "*") {
                const TupleList left = EvalSet(*expr.Args[0]);
                const TupleList right = EvalSet(*expr.Args[1]);
                CheckCrossjoinSize(left.size(), right.size());
                TupleList set;
                set.reserve(left.size() * right.size());
                for (const Tuple& a : left) {
                    CheckStop();
                    for (const Tuple& b : right) {
                        Tuple tuple = a;
                        tuple.insert(tuple.end(), b.begin(), b.end());
                        set.push_back(std::move(tuple));
                    }
                }
                return set;
            }
            if (expr.Text == ":") {
                Member* from = EvalMember(*expr.Args[0]);
                Member* to = EvalMember(*expr.Args[1]);
                if (!from || !to) return {};
                if (from->Owner != to->Owner || from->Depth != to->Depth)
                    Fail(expr, "A range needs two members of one level");
                size_t a = from->LevelIndex, b = to->LevelIndex;
                if (a > b) std::swap(a, b);
                const auto& level = from->Owner->ByLevel[static_cast<size_t>(from->Depth)];
                TupleList set;
                for (size_t i = a; i <= b && i < level.size(); ++i) set.push_back({level[i]});
                return set;
            }
            if (expr.Text == "+" || expr.Text == "-") {
                TupleList left = EvalSet(*expr.Args[0]);
                const TupleList right = EvalSet(*expr.Args[1]);
                if (expr.Text == "+") {
                    for (const Tuple& t : right)
                        if (std::find(left.begin(), left.end(), t) == left.end()) left.push_back(t);
                    return left;
                }
                std::erase_if(left, [&](const Tuple& t) {
                    return std::find(right.begin(), right.end(), t) != right.end();
                });
                return left;
            }
            break;
        }
        case Expr::Kind::Call: {
            if (InList(expr.Text, kSetFunctions, std::size(kSetFunctions)))
                return SetFunction(expr);
            if (IsMemberFunction(expr.Text)) {
                Member* member = MemberFunction(expr);
                if (!member) return {};
                return {{member}};
            }
            break;
        }
        default:
            break;
    }
    Fail(expr, "A set was expected: " + expr.ToString());
}

TupleList QueryEvaluator::SetFunction(const Expr& call) {
    const std::string name = LowerAscii(call.Text);
    auto arg = [&](size_t i) -> const Expr* {
        return i < call.Args.size() && call.Args[i]->What != Expr::Kind::Empty ? call.Args[i].get()
                                                                               : nullptr;
    };
    auto need = [&](size_t count) {
        if (call.Args.size() < count)
            Fail(call, call.Text + " needs " + std::to_string(count) + " argument" +
                           (count > 1 ? "s" : ""));
    };
    auto singles = [](const std::vector<Member*>& members) {
        TupleList set;
        set.reserve(members.size());
        for (Member* member : members) set.push_back({member});
        return set;
    };
    // Evaluates `value` in the context of `tuple`.
    auto valueAt = [&](const Tuple& tuple, const Expr& value) {
        std::vector<Member*> saved = context_;
        for (Member* member : tuple)
            if (member) context_[static_cast<size_t>(member->Owner->Index)] = member;
        MdxValue result = EvalValue(value);
        context_ = std::move(saved);
        return result;
    };

    if (name == "members" || name == "allmembers") {
        need(1);
        const Expr& target = *call.Args[0];
        std::vector<Member*> members;
        Hierarchy* hierarchy = nullptr;
        int depth = -1;
        if (target.What == Expr::Kind::Name) {
            Resolved resolved = Resolve(target);
            if (resolved.TheLevel) {
                members = LevelMembers(*resolved.TheLevel);
                hierarchy = resolved.TheLevel->Owner;
                depth = resolved.TheLevel->Depth;
            } else if (resolved.TheHierarchy) {
                hierarchy = resolved.TheHierarchy;
                members = Members(*hierarchy);
            } else {
                Fail(call, call.Text + " needs a level or a hierarchy, not " + target.ToString());
            }
        } else {
            Level* level = EvalLevel(target);
            members = LevelMembers(*level);
            hierarchy = level->Owner;
            depth = level->Depth;
        }
        if (name == "allmembers") {
            std::vector<Member*> calculated = hierarchy->CalculatedMembers;
            for (Member* member : queryCalculated_)
                if (member->Owner == hierarchy) calculated.push_back(member);
            std::stable_sort(
                calculated.begin(), calculated.end(),
                [](const Member* a, const Member* b) { return a->Ordinal < b->Ordinal; });
            for (Member* member : calculated)
                if (depth < 0 || member->Depth == depth) members.push_back(member);
        }
        return singles(members);
    }
    if (name == "children") {
        need(1);
        Member* member = EvalMember(*call.Args[0]);
        if (!member) return {};
        if (!member->Owner->IsMeasures) cube_.Load(*member->Owner);
        return singles(member->Children);
    }
    if (name == "siblings") {
        need(1);
        Member* member = EvalMember(*call.Args[0]);
        if (!member) return {};
        return singles(member->Parent ? member->Parent->Children : member->Owner->Roots);
    }
    if (name == "crossjoin" || name == "nonemptycrossjoin") {
        need(2);
        TupleList result = EvalSet(*call.Args[0]);
        for (size_t i = 1; i < call.Args.size(); ++i) {
            const TupleList right = EvalSet(*call.Args[i]);
            CheckCrossjoinSize(result.size(), right.size());
            TupleList next;
            next.reserve(result.size() * right.size());
            for (const Tuple& a : result) {
                CheckStop();
                for (const Tuple& b : right) {
                    Tuple tuple = a;
                    tuple.insert(tuple.end(), b.begin(), b.end());
                    next.push_back(std::move(tuple));
                }
            }
            result = std::move(next);
        }
        if (name == "nonemptycrossjoin")
            std::erase_if(result, [&](const Tuple& t) { return ValueAt(t).IsEmpty(); });
        return result;
    }
    if (name == "hierarchize") {
        need(1);
        TupleList set = EvalSet(*call.Args[0]);
        const bool post = arg(1) && Flag(*arg(1)) == "post";
        auto before = [&](const Member* a, const Member* b) {
            if (a == b) return false;
            if (post) {
                if (IsAncestor(a, b)) return false;
                if (IsAncestor(b, a)) return true;
            }
            return a->Ordinal < b->Ordinal;
        };
        std::stable_sort(set.begin(), set.end(), [&](const Tuple& x, const Tuple& y) {
            for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
                if (x[i] == y[i]) continue;
                return before(x[i], y[i]);
            }
            return false;
        });
        return set;
    }
    if (name == "union" || name == "except" || name == "intersect") {
        need(2);
        TupleList left = EvalSet(*call.Args[0]);
        const TupleList right = EvalSet(*call.Args[1]);
        const bool all = arg(2) && Flag(*arg(2)) == "all";
        if (name == "union") return UnionTuples(std::move(left), right, all);
        return name == "intersect" ? IntersectTuples(left, right, all)
                                   : ExceptTuples(left, right, all);
    }
    if (name == "distinct") {
        need(1);
        return DistinctTuples(EvalSet(*call.Args[0]));
    }
    if (name == "filter") {
        need(2);
        TupleList set = EvalSet(*call.Args[0]);
        std::erase_if(set, [&](const Tuple& t) { return !IsTrue(valueAt(t, *call.Args[1])); });
        return set;
    }
    if (name == "order" || name == "topcount" || name == "bottomcount") {
        need(2);
        TupleList set = EvalSet(*call.Args[0]);
        const Expr* key = name == "order" ? call.Args[1].get() : arg(2);
        bool descending = name == "topcount";
        bool hierarchical = name == "order";
        if (name == "order" && arg(2)) {
            const std::string flag = Flag(*arg(2));
            descending = flag == "desc" || flag == "bdesc";
            hierarchical = flag != "basc" && flag != "bdesc";
        }
        if (key && hierarchical) {
            set = OrderHierarchically(
                std::move(set), [&](const Tuple& tuple) { return valueAt(tuple, *key); },
                descending);
        } else if (key) {
            std::vector<std::pair<MdxValue, size_t>> keys;
            keys.reserve(set.size());
            for (size_t i = 0; i < set.size(); ++i) keys.emplace_back(valueAt(set[i], *key), i);
            std::stable_sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
                const int c = Compare(a.first, b.first);
                return descending ? c > 0 : c < 0;
            });
            TupleList sorted;
            sorted.reserve(set.size());
            for (const auto& [value, index] : keys) sorted.push_back(set[index]);
            set = std::move(sorted);
        }
        if (name != "order") {
            const double count = AsNumber(EvalValue(*call.Args[1]));
            const size_t n = count <= 0 ? 0 : static_cast<size_t>(count);
            if (set.size() > n) set.resize(n);
        }
        return set;
    }
    if (name == "head" || name == "tail") {
        need(1);
        TupleList set = EvalSet(*call.Args[0]);
        const double count = arg(1) ? AsNumber(EvalValue(*arg(1))) : 1;
        const size_t n = std::min(set.size(), count <= 0 ? size_t{0} : static_cast<size_t>(count));
        if (name == "head") return TupleList(set.begin(), set.begin() + static_cast<long>(n));
        return TupleList(set.end() - static_cast<long>(n), set.end());
    }
    if (name == "descendants") {
        need(1);
        TupleList roots = EvalSet(*call.Args[0]);
        std::string flag = arg(2) ? Flag(*arg(2)) : "";
        int distance = -1;
        const Level* level = nullptr;
        if (arg(1)) {
            if (arg(1)->What == Expr::Kind::Number)
                distance = static_cast<int>(arg(1)->Number);
            else
                level = EvalLevel(*arg(1));
            if (flag.empty()) flag = "self";
        } else if (flag.empty()) {
            flag = "self_before_after";
        }
        TupleList result;
        for (const Tuple& root : roots) {
            Member* member = root.empty() ? nullptr : root.front();
            if (!member) continue;
            if (!member->Owner->IsMeasures) cube_.Load(*member->Owner);
            // LEAVES without a level or distance means every leaf below, however deep.
            const int target = level ? level->Depth
                               : distance < 0 && flag == "leaves"
                                   ? INT_MAX
                                   : member->Depth + std::max(distance, 0);
            std::function<void(Member*)> walk = [&](Member* m) {
                const bool leaf = m->Children.empty();
                bool take = false;
                if (flag == "self")
                    take = m->Depth == target;
                else if (flag == "after")
                    take = m->Depth > target;
                else if (flag == "before")
                    take = m->Depth < target && m->Depth >= member->Depth;
                else if (flag == "before_and_after")
                    take = m->Depth != target;
                else if (flag == "self_and_after")
                    take = m->Depth >= target;
                else if (flag == "self_and_before")
                    take = m->Depth <= target;
                else if (flag == "self_before_after")
                    take = true;
                else if (flag == "leaves")
                    take = leaf && m->Depth <= target;
                else
                    Fail(call, "Descendants does not know the flag " + flag);
                if (take) result.push_back({m});
                if (flag == "self" && m->Depth >= target) return;
                for (Member* child : m->Children) walk(child);
            };
            walk(member);
        }
        return result;
    }
    if (name == "nonempty") {
        need(1);
        TupleList set = EvalSet(*call.Args[0]);
        const TupleList others = arg(1) ? EvalSet(*arg(1)) : TupleList{{}};
        std::erase_if(set, [&](const Tuple& t) {
            for (const Tuple& other : others) {
                Tuple both = t;
                both.insert(both.end(), other.begin(), other.end());
                if (!ValueAt(both).IsEmpty()) return false;
            }
            return true;
        });
        return set;
    }
    if (name == "generate") {
        need(2);
        const TupleList outer = EvalSet(*call.Args[0]);
        const bool all = arg(2) && Flag(*arg(2)) == "all";
        TupleList result;
        TupleSeen kept;
        for (const Tuple& t : outer) {
            std::vector<Member*> saved = context_;
            for (Member* member : t)
                if (member) context_[static_cast<size_t>(member->Owner->Index)] = member;
            TupleList inner = EvalSet(*call.Args[1]);
            context_ = std::move(saved);
            for (Tuple& u : inner)
                if (all || kept.Insert(u)) result.push_back(std::move(u));
        }
        return result;
    }
    if (name == "ytd" || name == "qtd" || name == "mtd" || name == "periodstodate") {
        Member* member = nullptr;
        const Expr* memberArg = name == "periodstodate" ? arg(1) : arg(0);
        const Level* level = name == "periodstodate" && arg(0) ? EvalLevel(*arg(0)) : nullptr;
        if (memberArg) {
            member = EvalMember(*memberArg);
        } else {
            Hierarchy* time = level ? level->Owner : nullptr;
            if (!time)
                for (auto& h : cube_.Hierarchies())
                    if (h->IsTime && !time) time = h.get();
            if (!time) Fail(call, call.Text + " needs a time dimension");
            member = CurrentMember(*time);
        }
        if (!member) return {};
        int depth = level ? level->Depth : (member->Depth > 0 ? member->Depth - 1 : 0);
        if (name != "periodstodate") {
            const char* wanted = name == "ytd"   ? "TimeYears"
                                 : name == "qtd" ? "TimeQuarters"
                                                 : "TimeMonths";
            depth = -1;
            for (const Level& l : member->Owner->Levels)
                if (l.Definition && l.Definition->LevelType == wanted) depth = l.Depth;
            if (depth < 0) Fail(call, call.Text + " needs a level of type " + wanted);
        }
        Member* ancestor = Ancestor(member, depth);
        if (!ancestor) return {};
        Member* first = ancestor;
        while (first && first->Depth < member->Depth)
            first = first->Children.empty() ? nullptr : first->Children.front();
        if (!first) return {};
        const auto& level_ = member->Owner->ByLevel[static_cast<size_t>(member->Depth)];
        TupleList set;
        for (size_t i = first->LevelIndex; i <= member->LevelIndex && i < level_.size(); ++i)
            set.push_back({level_[i]});
        return set;
    }
    Fail(call, "Unknown set function " + call.Text);
}

// --- values --------------------------------------------------------------------------------------

MdxValue QueryEvaluator::ValueAt(const Tuple& tuple) {
    std::vector<Member*> saved = context_;
    for (Member* member : tuple) {
        if (!member) {
            context_ = std::move(saved);
            return {};
        }
        context_[static_cast<size_t>(member->Owner->Index)] = member;
    }
    MdxValue value = CellValue();
    context_ = std::move(saved);
    return value;
}

MdxValue QueryEvaluator::CellValue() {
    Member* chosen = nullptr;
    for (Member* member : context_)
        if (member && member->Calculated && (!chosen || member->SolveOrder > chosen->SolveOrder))
            chosen = member;
    if (chosen) {
        // Each member costs a few levels of nesting: a loop among members is told as one well
        // before the nesting limit would stop it.
        if (depth_ > kMaxEvaluationNesting / 4)
            throw MdxEvaluationError("The calculated member " + chosen->UniqueName +
                                     " refers to itself without end");
        ++depth_;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{depth_};
        return EvalValue(*chosen->Formula);
    }
    Member* measure = context_.front();
    if (!measure || !measure->Measure) return {};
    std::vector<Member*> coordinate = context_;
    coordinate.front() = nullptr;
    Variant value;
    fetcher_.Lookup(coordinate, compound_, *measure, value);
    switch (value.Type()) {
        case VariantType::Empty:
        case VariantType::Null:
            return {};
        case VariantType::String:
            return Text(value.AsString());
        case VariantType::R4:
        case VariantType::R8:
        case VariantType::Decimal:
            return Number(value.AsDouble());
        default:
            return Number(static_cast<double>(value.AsInt64()), true);
    }
}

std::string QueryEvaluator::CellFormat() const {
    const Member* chosen = nullptr;
    for (const Member* member : context_)
        if (member && member->Calculated && !member->FormatString.empty() &&
            (!chosen || member->SolveOrder > chosen->SolveOrder))
            chosen = member;
    if (chosen) return chosen->FormatString;
    const Member* measure = context_.front();
    return measure ? measure->FormatString : "";
}

MdxValue QueryEvaluator::AggregateSet(const TupleList& set, const Expr* value,
                                      const std::string& how) {
    if (how == "count") {
        if (value && Flag(*value) == "excludeempty") {
            size_t count = 0;
            for (const Tuple& t : set) count += ValueAt(t).IsEmpty() ? 0 : 1;
            return Number(static_cast<double>(count), true);
        }
        return Number(static_cast<double>(set.size()), true);
    }
    // Aggregate(set, [Measures].[Customers]) is the same as Aggregate(set) with that measure
    // current: a distinct count must reach the database whole rather than be summed.
    if (how == "aggregate" && value && value->What == Expr::Kind::Name) {
        Resolved named;
        if (TryResolve(value->Segments, named) && named.TheMember && named.TheMember->Measure) {
            Member* saved = context_.front();
            context_.front() = named.TheMember;
            MdxValue result = AggregateSet(set, nullptr, how);
            context_.front() = saved;
            return result;
        }
    }
    Member* measure = context_.front();
    if (how == "aggregate" && !value && measure && measure->Measure && !set.empty()) {
        // Stored members aggregate in the database, so a distinct count stays distinct.
        bool stored = true;
        for (const Tuple& t : set)
            for (Member* member : t)
                if (!member || member->Calculated || member->Owner->IsMeasures) stored = false;
        if (stored) {
            // Under a compound slicer (or an outer aggregate) every one of its tuples meets
            // every tuple of the set, the set's member standing where both name a hierarchy;
            // summing the aggregate over the slicer's tuples would count a customer twice.
            TupleList cells;
            if (compound_ < 0) {
                cells = set;
            } else {
                for (const Tuple& outer : fetcher_.Compound(compound_))
                    for (const Tuple& inner : set) {
                        Tuple both;
                        for (Member* member : outer)
                            if (std::none_of(inner.begin(), inner.end(), [&](const Member* m) {
                                    return m->Owner == member->Owner;
                                }))
                                both.push_back(member);
                        both.insert(both.end(), inner.begin(), inner.end());
                        cells.push_back(std::move(both));
                    }
            }
            std::vector<Member*> saved = context_;
            const int savedCompound = compound_;
            for (const Tuple& t : cells)
                for (Member* member : t)
                    context_[static_cast<size_t>(member->Owner->Index)] = nullptr;
            compound_ = fetcher_.AddCompound(cells);
            MdxValue result = CellValue();
            compound_ = savedCompound;
            context_ = std::move(saved);
            return result;
        }
    }
    MdxValue total;
    size_t count = 0;
    for (const Tuple& t : set) {
        MdxValue item;
        if (value) {
            std::vector<Member*> saved = context_;
            for (Member* member : t)
                if (member) context_[static_cast<size_t>(member->Owner->Index)] = member;
            item = EvalValue(*value);
            context_ = std::move(saved);
        } else {
            item = ValueAt(t);
        }
        if (item.IsEmpty()) continue;
        ++count;
        if (total.IsEmpty()) {
            total = Number(AsNumber(item), item.Integer);
            continue;
        }
        const double x = AsNumber(item);
        if (how == "min")
            total.Number = std::min(total.Number, x);
        else if (how == "max")
            total.Number = std::max(total.Number, x);
        else
            total.Number += x;
        total.Integer = total.Integer && item.Integer;
    }
    if (how == "avg" && count > 0) return Number(total.Number / static_cast<double>(count));
    return total;
}

MdxValue QueryEvaluator::EvalOperator(const Expr& op) {
    if (op.Args.size() == 1) {
        const MdxValue value = EvalValue(*op.Args[0]);
        if (op.Text == "NOT") return Truth(!IsTrue(value));
        if (value.IsEmpty()) return value;
        return Number(op.Text == "u-" ? -AsNumber(value) : AsNumber(value), value.Integer);
    }
    const std::string& name = op.Text;
    if (name == "AND")
        return Truth(IsTrue(EvalValue(*op.Args[0])) && IsTrue(EvalValue(*op.Args[1])));
    if (name == "OR")
        return Truth(IsTrue(EvalValue(*op.Args[0])) || IsTrue(EvalValue(*op.Args[1])));
    if (name == "IS") {
        const Expr& right = *op.Args[1];
        const std::string flag = Flag(right);
        if (flag == "null" || flag == "empty") return Truth(EvalValue(*op.Args[0]).IsEmpty());
        return Truth(EvalMember(*op.Args[0]) == EvalMember(right));
    }
    const MdxValue left = EvalValue(*op.Args[0]);
    const MdxValue right = EvalValue(*op.Args[1]);
    if (name == "XOR") return Truth(IsTrue(left) != IsTrue(right));
    if (name == "||") return Text(AsText(left) + AsText(right));
    if (name == "=" || name == "<>" || name == "<" || name == ">" || name == "<=" || name == ">=") {
        MdxValue a = left, b = right;
        if (a.IsEmpty() && b.What != MdxValue::Type::String) a = Number(0);
        if (b.IsEmpty() && a.What != MdxValue::Type::String) b = Number(0);
        const int c = Compare(a, b);
        if (name == "=") return Truth(c == 0);
        if (name == "<>") return Truth(c != 0);
        if (name == "<") return Truth(c < 0);
        if (name == ">") return Truth(c > 0);
        if (name == "<=") return Truth(c <= 0);
        return Truth(c >= 0);
    }
    if (name == "+" &&
        (left.What == MdxValue::Type::String || right.What == MdxValue::Type::String))
        return Text(AsText(left) + AsText(right));
    if (name == "+" || name == "-") {
        // An empty operand counts as zero, unless both are empty.
        if (left.IsEmpty() && right.IsEmpty()) return {};
        const double x = AsNumber(left), y = AsNumber(right);
        return Number(name == "+" ? x + y : x - y, left.Integer && right.Integer);
    }
    if (name == "*" || name == "/") {
        if (left.IsEmpty() || right.IsEmpty()) return {};
        const double x = AsNumber(left), y = AsNumber(right);
        return Number(name == "*" ? x * y : x / y);
    }
    Fail(op, "The operator " + name + " cannot be used on values");
}

MdxValue QueryEvaluator::EvalCall(const Expr& call) {
    const std::string name = LowerAscii(call.Text);
    auto arg = [&](size_t i) -> const Expr& {
        if (i >= call.Args.size()) Fail(call, call.Text + " needs more arguments");
        return *call.Args[i];
    };
    if (name == "iif") {
        return IsTrue(EvalValue(arg(0))) ? EvalValue(arg(1)) : EvalValue(arg(2));
    }
    if (name == "coalesceempty") {
        for (const auto& item : call.Args) {
            MdxValue value = EvalValue(*item);
            if (!value.IsEmpty()) return value;
        }
        return {};
    }
    if (name == "isempty") return Truth(EvalValue(arg(0)).IsEmpty());
    if (name == "aggregate" || name == "sum" || name == "avg" || name == "min" || name == "max" ||
        name == "count") {
        if (call.IsMethod && name == "count")
            return Number(static_cast<double>(EvalSet(arg(0)).size()), true);
        const TupleList set = EvalSet(arg(0));
        return AggregateSet(set, call.Args.size() > 1 ? call.Args[1].get() : nullptr, name);
    }
    if (name == "abs") {
        MdxValue value = EvalValue(arg(0));
        if (!value.IsEmpty()) value.Number = std::fabs(AsNumber(value));
        return value;
    }
    if (call.IsMethod) {
        if (name == "value") return ValueAt(EvalTuple(arg(0)));
        if (name == "name" || name == "uniquename" || name == "caption") {
            const Expr& target = arg(0);
            if (target.What == Expr::Kind::Name) {
                Resolved resolved = Resolve(target);
                if (resolved.TheLevel)
                    return Text(name == "uniquename" ? resolved.TheLevel->UniqueName
                                                     : resolved.TheLevel->Name);
                if (resolved.TheHierarchy && !resolved.TheMember)
                    return Text(name == "uniquename" ? resolved.TheHierarchy->UniqueName
                                                     : resolved.TheHierarchy->Name);
            }
            if (target.What == Expr::Kind::Call && target.IsMethod &&
                SameName(target.Text, "Level")) {
                Level* level = EvalLevel(target);
                if (!level) return {};
                return Text(name == "uniquename" ? level->UniqueName : level->Name);
            }
            Member* member = EvalMember(target);
            if (!member) return {};
            if (name == "uniquename") return Text(member->UniqueName);
            return Text(name == "caption" ? member->Caption : member->Name);
        }
        if (name == "ordinal") {
            Level* level = EvalLevel(arg(0));
            return Number(level ? level->Depth : 0, true);
        }
    }
    if (IsMemberFunction(name)) {
        Member* member = MemberFunction(call);
        if (!member) return {};
        return ValueAt({member});
    }
    Fail(call, "Unknown function " + call.Text);
}

MdxValue QueryEvaluator::EvalValue(const Expr& expr) {
    const Nesting nesting(*this, expr);
    switch (expr.What) {
        case Expr::Kind::Number:
            return Number(expr.Number);
        case Expr::Kind::String:
            return Text(expr.Text);
        case Expr::Kind::Name: {
            Resolved resolved = Resolve(expr);
            if (resolved.TheMember) return ValueAt({resolved.TheMember});
            if (resolved.TheHierarchy) return CellValue();
            Fail(expr, "A value was expected, but " + expr.ToString() + " is a " +
                           (resolved.TheLevel ? "level" : "set"));
        }
        case Expr::Kind::Tuple:
            return ValueAt(EvalTuple(expr));
        case Expr::Kind::Operator:
            return EvalOperator(expr);
        case Expr::Kind::Call:
            return EvalCall(expr);
        case Expr::Kind::Case: {
            if (!expr.Args.empty()) {
                const MdxValue subject = EvalValue(*expr.Args[0]);
                for (const auto& [when, then] : expr.Whens)
                    if (Compare(subject, EvalValue(*when)) == 0) return EvalValue(*then);
            } else {
                for (const auto& [when, then] : expr.Whens)
                    if (IsTrue(EvalValue(*when))) return EvalValue(*then);
            }
            return expr.Else ? EvalValue(*expr.Else) : MdxValue{};
        }
        case Expr::Kind::Braces: {
            const TupleList set = EvalSet(expr);
            if (set.size() == 1) return ValueAt(set.front());
            Fail(expr, "A value was expected, but " + expr.ToString() + " is a set");
        }
        case Expr::Kind::Empty:
            return {};
    }
    return {};
}

// --- the query -----------------------------------------------------------------------------------

namespace {

CellSetMember Describe(const Member* member) {
    CellSetMember out;
    out.Caption = member->Caption;
    out.UniqueName = member->UniqueName;
    out.Name = member->Name;
    const auto& levels = member->Owner->Levels;
    const size_t depth = std::min(static_cast<size_t>(member->Depth), levels.size() - 1);
    out.LevelUniqueName = levels[depth].UniqueName;
    out.LevelNumber = member->Depth;
    if (member->Parent) out.ParentUniqueName = member->Parent->UniqueName;
    return out;
}

CellSetAxis DescribeAxis(const TupleList& tuples) {
    CellSetAxis axis;
    axis.Positions.reserve(tuples.size());
    for (const Tuple& tuple : tuples) {
        CellSetPosition position;
        for (const Member* member : tuple) position.Members.push_back(Describe(member));
        axis.Positions.push_back(std::move(position));
    }
    return axis;
}

// More cells than this are refused: a crossjoin that large is a mistake, not a report.
constexpr size_t kMaxCells = 5'000'000;

}  // namespace

CellSetData QueryEvaluator::Run(const mdx::SelectStatement& statement) {
    try {
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
        static const char* const kAxisNames[] = {"COLUMNS", "ROWS", "PAGES", "SECTIONS",
                                                 "CHAPTERS"};
        const auto ordinal = static_cast<size_t>(evaluatingAxis_->Ordinal);
        where = " on axis " + std::to_string(ordinal) +
                (ordinal < std::size(kAxisNames) ? std::string(" (") + kAxisNames[ordinal] + ")"
                                                 : std::string()) +
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

CellSetData QueryEvaluator::RunStatement(const mdx::SelectStatement& statement) {
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
    const std::vector<Member*> base = context_;

    std::vector<const mdx::AxisSpec*> axes(statement.Axes.size(), nullptr);
    for (const mdx::AxisSpec& axis : statement.Axes) {
        if (static_cast<size_t>(axis.Ordinal) >= axes.size() ||
            axes[static_cast<size_t>(axis.Ordinal)])
            throw MdxEvaluationError(
                "The query's axes must be numbered from 0 without gaps or "
                "repeats (at " +
                mdx::DescribePosition(text_, axis.Position) + ")");
        axes[static_cast<size_t>(axis.Ordinal)] = &axis;
    }

    TupleList slicer;
    std::vector<TupleList> positions(axes.size());
    std::vector<MdxValue> values;
    std::vector<std::string> formats;
    int slicerCompound = -1;
    bool emptySlicer = false;
    for (int pass = 0;; ++pass) {
        if (pass > 20)
            throw MdxEvaluationError("The query's cells depend on each other too deeply to read");
        for (auto& [name, set] : sets_) set.Done = false;
        context_ = base;
        setContext_ = base;
        compound_ = -1;
        slicer = statement.Where ? EvalSet(*statement.Where) : TupleList{Tuple{}};
        emptySlicer = slicer.empty();
        if (slicer.size() == 1) {
            for (Member* member : slicer.front())
                context_[static_cast<size_t>(member->Owner->Index)] = member;
        } else if (slicer.size() > 1) {
            bool stored = true;
            for (const Tuple& t : slicer)
                for (Member* member : t)
                    if (member->Calculated) stored = false;
            if (!stored)
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
            slicerCompound = fetcher_.AddCompound(withoutMeasures);
            compound_ = slicerCompound;
        }
        const std::vector<Member*> sliced = context_;
        setContext_ = sliced;
        size_t total = 1;
        for (size_t a = 0; a < axes.size(); ++a) {
            context_ = sliced;
            evaluatingAxis_ = axes[a];
            positions[a] = EvalSet(*axes[a]->Set);
            evaluatingAxis_ = nullptr;
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
        std::vector<size_t> index(axes.size(), 0);
        for (size_t ordinal = 0; ordinal < total; ++ordinal) {
            CheckStop();
            size_t rest = ordinal;
            context_ = sliced;
            compound_ = slicerCompound;
            for (size_t a = 0; a < axes.size(); ++a) {
                const size_t count = positions[a].size();
                index[a] = rest % count;
                rest /= count;
                for (Member* member : positions[a][index[a]])
                    context_[static_cast<size_t>(member->Owner->Index)] = member;
            }
            if (emptySlicer) continue;
            values[ordinal] = CellValue();
            formats[ordinal] = CellFormat();
        }
        if (!fetcher_.HasPending()) break;
        fetcher_.FetchPending();
    }

    // NON EMPTY: drop the positions whose every cell is empty, then lay the cells out again.
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
    CellSetData data;
    for (size_t a = 0; a < axes.size(); ++a) {
        TupleList chosen;
        for (size_t p : kept[a]) chosen.push_back(positions[a][p]);
        data.Axes.push_back(DescribeAxis(chosen));
    }
    data.Slicer = DescribeAxis(slicer);
    size_t count = 1;
    for (const auto& k : kept) count *= k.size();
    data.Cells.resize(count);
    std::vector<size_t> index(axes.size(), 0);
    for (size_t out = 0; out < count; ++out) {
        size_t rest = out, ordinal = 0, stride = 1;
        for (size_t a = 0; a < axes.size(); ++a) {
            const size_t i = rest % kept[a].size();
            rest /= kept[a].size();
            ordinal += kept[a][i] * stride;
            stride *= positions[a].size();
        }
        const MdxValue& value = values[ordinal];
        CellSetCell& cell = data.Cells[out];
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
                cell.FormattedValue = FormatNumber(value.Number, formats[ordinal]);
                break;
        }
    }
    return data;
}

}  // namespace orvik::cube
