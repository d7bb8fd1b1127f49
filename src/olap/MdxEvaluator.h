// Runs a parsed SELECT against one cube: resolves names to members, levels and hierarchies,
// evaluates the axis sets, then every cell, with calculated members chosen by solve order.
// Stored cells come from the CellFetcher, which reads them in bulk between evaluation passes:
// a pass that meets cells not read yet notes them, they are fetched together, and the pass runs
// again until nothing is missing. Evaluation nests at most kMaxEvaluationNesting levels (formulas
// of calculated members and named sets that use each other count too) and ends early, with
// WorkStopped, when the run is asked to stop or the query's time limit passes.
#pragma once

#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "data/AdoCellSet.h"
#include "olap/CellFetcher.h"
#include "olap/CubeModel.h"
#include "olap/MdxAst.h"
#include "olap/MdxFunctionTable.h"
#include "olap/MemberProperties.h"

namespace orvik::cube {

// How deeply evaluation may nest, counting every expression entered on the way down: twice the
// parser's limit, room for formulas that use a few others. A level costs up to about 10 KiB of
// stack in a sanitizer build, so the main thread's 8 MiB are never at risk.
inline constexpr int kMaxEvaluationNesting = 256;

// A value in a formula: empty, a number, a string or a truth value.
struct MdxValue {
    enum class Type { Empty, Number, String, Bool };
    Type What = Type::Empty;
    double Number = 0;
    std::string Text;
    bool Integer = false;  // a count: shown without decimals, kept as an integer
    bool IsEmpty() const { return What == Type::Empty; }
};

// An error in a query that parsed: an unknown member, a function used wrongly. The message
// names the object and, where it can, the position in the query.
class MdxEvaluationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class QueryEvaluator {
  public:
    // `text` is the query's text, for positions in messages.
    QueryEvaluator(CubeModel& cube, CellFetcher& fetcher, std::string text);

    // Evaluates the statement into a cell set. Throws MdxEvaluationError (running out of memory
    // included) and CADOException.
    CellSetData Run(const mdx::SelectStatement& statement);

    // The members of `level` (for the catalog); loads the hierarchy.
    std::vector<Member*> LevelMembers(const Level& level);
    // The member a name such as [Store].[USA] stands for. Throws MdxEvaluationError.
    Member* ResolveMember(const mdx::Expr& name) { return EvalMember(name); }

  private:
    struct Resolved {
        Member* TheMember = nullptr;
        Level* TheLevel = nullptr;
        Hierarchy* TheHierarchy = nullptr;
        const mdx::Expr* SetFormula = nullptr;
        std::string SetName;
    };
    struct NamedSet {
        std::shared_ptr<const mdx::Expr> Formula;
        TupleList Cached;
        bool Done = false;
        bool Evaluating = false;
    };

    [[noreturn]] void Fail(const mdx::Expr& at, const std::string& what) const;

    // One level of evaluation, from entering an expression to leaving it.
    class Nesting {
      public:
        Nesting(QueryEvaluator& evaluator, const mdx::Expr& at);
        ~Nesting() { --evaluator_.nesting_; }
        Nesting(const Nesting&) = delete;
        Nesting& operator=(const Nesting&) = delete;

      private:
        QueryEvaluator& evaluator_;
    };
    // Ends the query with WorkStopped when it should stop; cheap, so loops call it freely.
    void CheckStop();

    // Names.
    Resolved Resolve(const mdx::Expr& name);
    bool TryResolve(const std::vector<mdx::NameSegment>& segments, Resolved& out);
    Hierarchy* FindHierarchy(const std::string& name);
    Member* FindChild(Hierarchy& hierarchy, Member* parent, const mdx::NameSegment& segment);
    Member* FindInLevel(Level& level, const mdx::NameSegment& segment);
    Member* FindCalculated(Hierarchy& hierarchy, Member* parent, const std::string& name);
    void DefineMember(const mdx::FormulaDefinition& definition);

    // Expressions.
    TupleList EvalSet(const mdx::Expr& expr);
    Tuple EvalTuple(const mdx::Expr& expr);
    Member* EvalMember(const mdx::Expr& expr);
    Hierarchy* EvalHierarchy(const mdx::Expr& expr);
    Level* EvalLevel(const mdx::Expr& expr);
    MdxValue EvalValue(const mdx::Expr& expr);
    MdxValue EvalCall(const mdx::Expr& call);
    MdxValue EvalOperator(const mdx::Expr& op);
    // A binary operator on sets: *, :, + and -.
    TupleList SetOperator(const mdx::Expr& expr);
    // The tuples of a named set, evaluated on first use; `at` is where it is named.
    const TupleList& NamedSetTuples(NamedSet& set, const mdx::Expr& at);
    // The body of the function `call` names, when that function gives what `Body` returns and
    // may be written as `call` is; null otherwise. A wrong number of arguments fails here,
    // before the body runs.
    template <class Body>
    Body BodyOf(const mdx::Expr& call);
    MdxValue AggregateSet(const TupleList& set, const mdx::Expr* value, const std::string& how);

    // The MDX functions, a family to a file: each family's bodies, and the entries of the
    // function table (MdxFunctionTable) that lead to them.
    struct SetFunctions;
    struct MemberFunctions;
    struct TimeFunctions;
    struct NumericFunctions;
    struct StringFunctions;
    struct KpiFunctions;
    friend class MdxFunctionTable;
    static std::span<const MdxFunction> SetFunctionEntries();
    static std::span<const MdxFunction> MemberFunctionEntries();
    static std::span<const MdxFunction> TimeFunctionEntries();
    static std::span<const MdxFunction> NumericFunctionEntries();
    static std::span<const MdxFunction> StringFunctionEntries();
    static std::span<const MdxFunction> KpiFunctionEntries();

    // Cells.
    MdxValue ValueAt(const Tuple& tuple);
    MdxValue CellValue();
    std::string CellFormat() const;
    // Evaluates `value` with the members of `tuple` current.
    MdxValue ValueWith(const Tuple& tuple, const mdx::Expr& value);
    // Makes the members of a tuple current until it goes out of scope.
    class TupleContext {
      public:
        TupleContext(QueryEvaluator& evaluator, const Tuple& tuple);
        ~TupleContext() { evaluator_.context_ = std::move(saved_); }
        TupleContext(const TupleContext&) = delete;
        TupleContext& operator=(const TupleContext&) = delete;

      private:
        QueryEvaluator& evaluator_;
        std::vector<Member*> saved_;
    };

    // Members.
    Member* CurrentMember(Hierarchy& hierarchy);
    std::vector<Member*> Members(Hierarchy& hierarchy);
    Member* Lead(Member* member, long offset);
    Member* Ancestor(Member* member, int depth);
    Member* Cousin(Member* member, Member* ancestor);
    // A member's children, its hierarchy loaded first.
    const std::vector<Member*>& ChildrenOf(Member& member);
    const std::vector<Member*>& SiblingsOf(const Member& member);
    Level* LevelOf(Member* member) const;
    bool IsAncestor(const Member* ancestor, const Member* member) const;

    // The DIMENSION PROPERTIES of each axis, by axis number. Throws MdxEvaluationError.
    std::vector<AxisProperties> AskedProperties(const mdx::SelectStatement& statement);
    // The query's own work, without the out-of-memory guard Run puts around it.
    CellSetData RunStatement(const mdx::SelectStatement& statement);
    // The cube's named sets and the query's WITH, over the default members.
    void Prepare(const mdx::SelectStatement& statement);
    // Makes the WHERE clause's members current; a slicer of several tuples becomes a compound,
    // whose number it returns (-1 for none).
    int Slice(const TupleList& slicer);
    // Refuses a crossjoin whose result would outgrow the cell limit, before it is built.
    void CheckCrossjoinSize(size_t left, size_t right) const;
    // Every tuple of `left` joined with every tuple of `right`.
    TupleList CrossjoinSets(const TupleList& left, const TupleList& right);

    // NON EMPTY through the facts (MdxNonEmpty.cpp).
    // The axes' sets, NON EMPTY crossjoins built from the combinations the facts hold.
    void EvaluateAxes(const std::vector<const mdx::AxisSpec*>& axes,
                      const std::vector<Member*>& sliced, bool emptySlicer,
                      std::vector<TupleList>& positions);
    // The base cubes whose facts decide which cells can hold a value, where `context` holds
    // and the axes' stored measures are `measureCubes` (none: the context's measure decides);
    // empty when a calculated member of `context` could hold a value without facts.
    std::vector<std::string> FactCubes(const std::vector<Member*>& context,
                                       const std::set<std::string>& measureCubes);
    // The crossjoin of `operands`: when `cubes` is not empty and the operands allow it, only
    // the tuples with facts in them where `context` holds; otherwise all of it. The stored
    // `measures` (the other axes' only members, when they are) are read along, their cells
    // filed for the cell pass. An operand whose `partial` entry is a level (rather than null)
    // stands for that whole level, of which only the members with facts are read.
    TupleList CrossjoinOperands(std::vector<TupleList> operands,
                                const std::vector<const Level*>& partial,
                                const std::vector<Member*>& context,
                                const std::vector<std::string>& cubes,
                                const std::vector<const Member*>& measures);
    // The level of `expr` when it is `<level>.Members` of a level best read only as far as the
    // facts reach; else null.
    const Level* LevelReadInPart(const mdx::Expr& expr);
    // The tuples of `set` with facts in the base cube `cubeName` together with some tuple of
    // `others` (Exists with a measure group); `at` is the call, for messages.
    TupleList ExistingWithFacts(const TupleList& set, const TupleList& others,
                                const std::string& cubeName, const mdx::Expr& at);

    CubeModel& cube_;
    CellFetcher& fetcher_;
    std::string text_;
    std::vector<Member*> context_;
    std::vector<Member*> setContext_;  // where named sets are evaluated: the query's start
    int compound_ = -1;
    int depth_ = 0;
    int nesting_ = 0;
    unsigned steps_ = 0;
    std::map<std::string, NamedSet> sets_;
    std::deque<Member> queryMembers_;
    std::vector<Member*> queryCalculated_;
    const mdx::AxisSpec* evaluatingAxis_ = nullptr;  // the axis whose set is being made, if any
    std::vector<AxisProperties> askedProperties_;    // by axis number
};

}  // namespace orvik::cube
