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
#include "olap/MdxValueRules.h"

namespace orvik::cube {
namespace {

using mdx::Expr;
using namespace mdxvalue;

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

}  // namespace orvik::cube
