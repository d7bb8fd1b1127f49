#include "olap/MdxParser.h"
#include "olap/NameCase.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace orvik::mdx {
namespace {

// Words that follow a "." as an operation on what stands before, not as the next part of a name.
bool IsMethodWord(std::string_view word) {
    static const char* const methods[] = {
        "Members",      "AllMembers",  "Children",      "Parent",        "PrevMember", "NextMember",
        "FirstChild",   "LastChild",   "CurrentMember", "Name",          "UniqueName", "Caption",
        "Value",        "Level",       "Hierarchy",     "Dimension",     "Siblings",   "Ordinal",
        "FirstSibling", "LastSibling", "DataMember",    "DefaultMember", "Count",      "Item",
        "Lead",         "Lag",         "Properties"};
    for (const char* method : methods)
        if (SameName(word, method)) return true;
    return false;
}

// Words that end an expression where they stand (so a bare name never swallows them).
bool IsReservedWord(std::string_view word) {
    static const char* const reserved[] = {
        "SELECT", "FROM",      "WHERE",      "ON",  "WITH",  "AS",   "MEMBER", "SET",
        "AND",    "OR",        "XOR",        "NOT", "WHEN",  "THEN", "ELSE",   "END",
        "CASE",   "DIMENSION", "PROPERTIES", "NON", "EMPTY", "CELL", "IS"};
    for (const char* word_ : reserved)
        if (SameName(word, word_)) return true;
    return false;
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text), tokens_(Tokenize(text)) {}

    SelectStatement Select() {
        SelectStatement statement;
        if (IsWord("WITH")) {
            Next();
            while (IsWord("MEMBER") || IsWord("SET")) statement.With.push_back(Definition());
            if (statement.With.empty()) Expected("MEMBER or SET after WITH");
        }
        ExpectWord("SELECT");
        if (!IsWord("FROM")) {
            for (;;) {
                statement.Axes.push_back(Axis());
                if (!IsSymbol(",")) break;
                Next();
            }
        }
        ExpectWord("FROM");
        statement.Cube = NameAfter();
        if (IsWord("WHERE")) {
            Next();
            statement.Where = Expression();
        }
        if (IsWord("CELL")) {  // CELL PROPERTIES VALUE, FORMATTED_VALUE, ...: we return both
            Next();
            ExpectWord("PROPERTIES");
            for (;;) {
                if (Peek().What != Token::Kind::Word && Peek().What != Token::Kind::BracketName)
                    Expected("a cell property name");
                Next();
                if (!IsSymbol(",")) break;
                Next();
            }
        }
        if (IsSymbol(";")) Next();
        if (Peek().What != Token::Kind::End) Expected("the end of the query");
        return statement;
    }

    ExprPtr WholeExpression() {
        ExprPtr expr = Expression();
        if (Peek().What != Token::Kind::End) Expected("the end of the expression");
        return expr;
    }

  private:
    const Token& Peek(size_t ahead = 0) const {
        return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    }
    const Token& Next() {
        const Token& token = tokens_[pos_];
        if (pos_ + 1 < tokens_.size()) ++pos_;
        return token;
    }
    bool IsWord(std::string_view word, size_t ahead = 0) const {
        return Peek(ahead).What == Token::Kind::Word && SameName(Peek(ahead).Text, word);
    }
    bool IsSymbol(std::string_view symbol, size_t ahead = 0) const {
        return Peek(ahead).What == Token::Kind::Symbol && Peek(ahead).Text == symbol;
    }

    [[noreturn]] void Expected(const std::string& what) const {
        const Token& found = Peek();
        std::string shown;
        switch (found.What) {
            case Token::Kind::End:
                shown = "the end of the query";
                break;
            case Token::Kind::BracketName:
                shown = "'[" + found.Text + "]'";
                break;
            case Token::Kind::String:
                shown = "the string '" + found.Text + "'";
                break;
            default:
                shown = "'" + found.Text + "'";
                break;
        }
        throw MdxSyntaxError("MDX syntax error at " + DescribePosition(text_, found.Position) +
                                 ": expected " + what + " but found " + shown,
                             found.Position);
    }
    void ExpectWord(std::string_view word) {
        if (!IsWord(word)) Expected(std::string(word));
        Next();
    }
    [[noreturn]] void TooDeep(size_t position) const {
        throw MdxSyntaxError("The MDX query nests deeper than the limit of " +
                                 std::to_string(kMaxMdxNesting) + " levels at " +
                                 DescribePosition(text_, position),
                             position);
    }

    // Counts one level of the parser's own recursion while it lives.
    class Nested {
      public:
        explicit Nested(Parser& parser) : parser_(parser) {
            if (++parser_.depth_ > kMaxMdxNesting) parser_.TooDeep(parser_.Peek().Position);
        }
        ~Nested() { --parser_.depth_; }
        Nested(const Nested&) = delete;
        Nested& operator=(const Nested&) = delete;

      private:
        Parser& parser_;
    };

    // Gives a finished node its height, refusing a tree deeper than the limit: operator chains
    // deepen the tree without deepening the parser's recursion.
    ExprPtr Seal(ExprPtr expr) const {
        int below = 0;
        for (const ExprPtr& arg : expr->Args)
            if (arg) below = std::max(below, arg->Height);
        for (const auto& [when, then] : expr->Whens)
            below = std::max({below, when ? when->Height : 0, then ? then->Height : 0});
        if (expr->Else) below = std::max(below, expr->Else->Height);
        expr->Height = below + 1;
        if (expr->Height > kMaxMdxNesting) TooDeep(expr->Position);
        return expr;
    }

    void ExpectSymbol(std::string_view symbol) {
        if (!IsSymbol(symbol)) Expected("'" + std::string(symbol) + "'");
        Next();
    }

    FormulaDefinition Definition() {
        FormulaDefinition definition;
        definition.IsSet = IsWord("SET");
        definition.Position = Next().Position;
        definition.Name = NameAfter();
        ExpectWord("AS");
        // Only a single-quoted string that is the whole formula quotes it: AS "Store " || ...
        // and AS "Yes" are string values, as the KPI queries write their names and captions.
        const Token& after = Peek(1);
        const bool wholeFormula = after.What == Token::Kind::End ||
                                  (after.What == Token::Kind::Symbol && after.Text == ",") ||
                                  IsWord("MEMBER", 1) || IsWord("SET", 1) || IsWord("SELECT", 1);
        if (Peek().What == Token::Kind::String && text_[Peek().Position] == '\'' && wholeFormula) {
            // A quoted formula: parsed on its own, positions counted inside the quotes.
            const Token& quoted = Next();
            try {
                definition.Formula = Parser(quoted.Text).WholeExpression();
            } catch (const MdxSyntaxError& error) {
                throw MdxSyntaxError(std::string(error.what()) + " (in the formula of " +
                                         SegmentsToString(definition.Name) + " at " +
                                         DescribePosition(text_, quoted.Position) + ")",
                                     quoted.Position);
            }
        } else {
            definition.Formula = Expression();
        }
        while (IsSymbol(",")) {
            Next();
            if (Peek().What != Token::Kind::Word) Expected("a property name such as FORMAT_STRING");
            std::string property = Next().Text;
            std::transform(property.begin(), property.end(), property.begin(),
                           [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
            ExpectSymbol("=");
            definition.Properties.emplace_back(property, Expression());
        }
        return definition;
    }

    AxisSpec Axis() {
        AxisSpec axis;
        axis.Position = Peek().Position;
        if (IsWord("NON") && IsWord("EMPTY", 1)) {
            Next();
            Next();
            axis.NonEmpty = true;
        }
        axis.Set = Expression();
        if (IsWord("DIMENSION") && IsWord("PROPERTIES", 1)) Next();
        if (IsWord("PROPERTIES")) {
            Next();
            axis.Properties = PropertyNames();
        }
        ExpectWord("ON");
        if (IsWord("COLUMNS")) {
            axis.Ordinal = 0;
        } else if (IsWord("ROWS")) {
            axis.Ordinal = 1;
        } else if (IsWord("PAGES")) {
            axis.Ordinal = 2;
        } else if (IsWord("SECTIONS")) {
            axis.Ordinal = 3;
        } else if (IsWord("CHAPTERS")) {
            axis.Ordinal = 4;
        } else if (IsWord("AXIS")) {
            Next();
            ExpectSymbol("(");
            if (Peek().What != Token::Kind::Number) Expected("an axis number");
            axis.Ordinal = static_cast<int>(Peek().Number);
            Next();
            if (!IsSymbol(")")) Expected("')'");
        } else if (Peek().What == Token::Kind::Number) {
            axis.Ordinal = static_cast<int>(Peek().Number);
        } else {
            Expected("COLUMNS, ROWS, PAGES, AXIS(n) or an axis number");
        }
        Next();
        if (axis.Ordinal < 0 || axis.Ordinal > 127) Expected("an axis number from 0 to 127");
        return axis;
    }

    // The names after DIMENSION PROPERTIES, up to ON.
    std::vector<std::vector<NameSegment>> PropertyNames() {
        std::vector<std::vector<NameSegment>> names;
        for (;;) {
            if (Peek().What == Token::Kind::Word && IsReservedWord(Peek().Text))
                Expected("a property name");
            names.push_back(NameAfter());
            if (!IsSymbol(",")) return names;
            Next();
        }
    }

    // A name as written after FROM, WITH MEMBER or DIMENSION PROPERTIES.
    std::vector<NameSegment> NameAfter() {
        std::vector<NameSegment> segments;
        for (;;) {
            NameSegment segment;
            if (IsSymbol("&")) {
                Next();
                segment.IsKey = true;
            }
            if (Peek().What == Token::Kind::BracketName) {
                segment.Quoted = true;
            } else if (Peek().What != Token::Kind::Word) {
                Expected("a name");
            }
            segment.Name = Next().Text;
            segments.push_back(std::move(segment));
            if (!IsSymbol(".")) break;
            Next();
        }
        return segments;
    }

    ExprPtr Make(Expr::Kind kind, size_t position) {
        auto expr = std::make_unique<Expr>();
        expr->What = kind;
        expr->Position = position;
        return expr;
    }
    ExprPtr Binary(std::string op, ExprPtr left, ExprPtr right, size_t position) {
        ExprPtr expr = Make(Expr::Kind::Operator, position);
        expr->Text = std::move(op);
        expr->Args.push_back(std::move(left));
        expr->Args.push_back(std::move(right));
        return Seal(std::move(expr));
    }

    ExprPtr Expression() {
        const Nested nested(*this);
        return OrExpression();
    }

    ExprPtr OrExpression() {
        ExprPtr left = AndExpression();
        while (IsWord("OR") || IsWord("XOR")) {
            const Token& op = Next();
            std::string name = SameName(op.Text, "OR") ? "OR" : "XOR";
            left = Binary(name, std::move(left), AndExpression(), op.Position);
        }
        return left;
    }
    ExprPtr AndExpression() {
        ExprPtr left = NotExpression();
        while (IsWord("AND")) {
            const size_t position = Next().Position;
            left = Binary("AND", std::move(left), NotExpression(), position);
        }
        return left;
    }
    ExprPtr NotExpression() {
        if (IsWord("NOT")) {
            ExprPtr expr = Make(Expr::Kind::Operator, Next().Position);
            expr->Text = "NOT";
            const Nested nested(*this);
            expr->Args.push_back(NotExpression());
            return Seal(std::move(expr));
        }
        return Comparison();
    }
    ExprPtr Comparison() {
        ExprPtr left = Concatenation();
        for (;;) {
            if (Peek().What == Token::Kind::Symbol &&
                (Peek().Text == "=" || Peek().Text == "<>" || Peek().Text == "<" ||
                 Peek().Text == ">" || Peek().Text == "<=" || Peek().Text == ">=")) {
                const Token& op = Next();
                std::string name = op.Text;
                left = Binary(name, std::move(left), Concatenation(), op.Position);
            } else if (IsWord("IS")) {
                const size_t position = Next().Position;
                left = Binary("IS", std::move(left), Concatenation(), position);
            } else {
                return left;
            }
        }
    }
    ExprPtr Concatenation() {
        ExprPtr left = Additive();
        while (IsSymbol("||")) {
            const size_t position = Next().Position;
            left = Binary("||", std::move(left), Additive(), position);
        }
        return left;
    }
    ExprPtr Additive() {
        ExprPtr left = Multiplicative();
        while (IsSymbol("+") || IsSymbol("-")) {
            const Token& op = Next();
            std::string name = op.Text;
            left = Binary(name, std::move(left), Multiplicative(), op.Position);
        }
        return left;
    }
    ExprPtr Multiplicative() {
        ExprPtr left = Unary();
        while (IsSymbol("*") || IsSymbol("/")) {
            const Token& op = Next();
            std::string name = op.Text;
            left = Binary(name, std::move(left), Unary(), op.Position);
        }
        return left;
    }
    ExprPtr Unary() {
        if (IsSymbol("-") || IsSymbol("+")) {
            const Token& op = Next();
            ExprPtr expr = Make(Expr::Kind::Operator, op.Position);
            expr->Text = op.Text == "-" ? "u-" : "u+";
            const Nested nested(*this);
            expr->Args.push_back(Unary());
            return Seal(std::move(expr));
        }
        return Range();
    }
    ExprPtr Range() {
        ExprPtr left = Postfix();
        if (IsSymbol(":")) {
            const size_t position = Next().Position;
            return Binary(":", std::move(left), Postfix(), position);
        }
        return left;
    }

    std::vector<ExprPtr> Arguments(std::string_view close) {
        std::vector<ExprPtr> args;
        if (IsSymbol(close)) {
            Next();
            return args;
        }
        for (;;) {
            if (IsSymbol(",")) {  // an omitted argument, as in ParallelPeriod(, 1)
                args.push_back(Make(Expr::Kind::Empty, Peek().Position));
            } else {
                args.push_back(Expression());
            }
            if (IsSymbol(close)) {
                Next();
                return args;
            }
            if (!IsSymbol(",")) Expected("',' or '" + std::string(close) + "'");
            Next();
        }
    }

    ExprPtr Postfix() {
        ExprPtr expr = Primary();
        while (IsSymbol(".")) {
            const Token& next = Peek(1);
            const bool key = next.What == Token::Kind::Symbol && next.Text == "&";
            if (expr->What == Expr::Kind::Name && !key && next.What == Token::Kind::Word &&
                !IsMethodWord(next.Text)) {
                Next();
                expr->Segments.push_back({Next().Text, false, false});
                continue;
            }
            if (expr->What == Expr::Kind::Name && (key || next.What == Token::Kind::BracketName)) {
                Next();
                NameSegment segment;
                if (key) {
                    Next();
                    segment.IsKey = true;
                }
                if (Peek().What == Token::Kind::BracketName) {
                    segment.Quoted = true;
                } else if (Peek().What != Token::Kind::Word && Peek().What != Token::Kind::Number) {
                    Expected("a name after '&'");
                }
                segment.Name = Next().Text;
                expr->Segments.push_back(std::move(segment));
                continue;
            }
            if (next.What != Token::Kind::Word) Expected("a name or a function after '.'");
            Next();
            const Token& method = Next();
            ExprPtr call = Make(Expr::Kind::Call, method.Position);
            call->Text = method.Text;
            call->IsMethod = true;
            call->Args.push_back(std::move(expr));
            if (IsSymbol("(")) {
                Next();
                call->HasParens = true;
                for (ExprPtr& arg : Arguments(")")) call->Args.push_back(std::move(arg));
            }
            expr = Seal(std::move(call));
        }
        return expr;
    }

    ExprPtr Primary() {
        const Token& token = Peek();
        switch (token.What) {
            case Token::Kind::Number: {
                ExprPtr expr = Make(Expr::Kind::Number, token.Position);
                expr->Number = token.Number;
                expr->Text = token.Text;
                Next();
                return expr;
            }
            case Token::Kind::String: {
                ExprPtr expr = Make(Expr::Kind::String, token.Position);
                expr->Text = token.Text;
                Next();
                return expr;
            }
            case Token::Kind::BracketName: {
                ExprPtr expr = Make(Expr::Kind::Name, token.Position);
                expr->Segments.push_back({token.Text, false, true});
                Next();
                return expr;
            }
            case Token::Kind::Word: {
                if (IsWord("CASE")) return Case();
                if (IsReservedWord(token.Text)) Expected("an expression");
                if (IsSymbol("(", 1)) {
                    ExprPtr call = Make(Expr::Kind::Call, token.Position);
                    call->Text = token.Text;
                    Next();
                    Next();
                    call->HasParens = true;
                    call->Args = Arguments(")");
                    return Seal(std::move(call));
                }
                ExprPtr expr = Make(Expr::Kind::Name, token.Position);
                expr->Segments.push_back({token.Text, false, false});
                Next();
                return expr;
            }
            case Token::Kind::Symbol: {
                if (token.Text == "{") {
                    ExprPtr expr = Make(Expr::Kind::Braces, token.Position);
                    Next();
                    expr->Args = Arguments("}");
                    return Seal(std::move(expr));
                }
                if (token.Text == "(") {
                    const size_t position = token.Position;
                    Next();
                    std::vector<ExprPtr> items = Arguments(")");
                    if (items.empty()) Expected("an expression inside '()'");
                    if (items.size() == 1 && items[0]->What != Expr::Kind::Empty) {
                        return std::move(items[0]);
                    }
                    ExprPtr expr = Make(Expr::Kind::Tuple, position);
                    expr->Args = std::move(items);
                    return Seal(std::move(expr));
                }
                if (token.Text == "&") {  // a key at the start of a name: &[1997]
                    ExprPtr expr = Make(Expr::Kind::Name, token.Position);
                    Next();
                    if (Peek().What != Token::Kind::BracketName && Peek().What != Token::Kind::Word)
                        Expected("a key after '&'");
                    expr->Segments.push_back({Next().Text, true, true});
                    return expr;
                }
                break;
            }
            case Token::Kind::End:
                break;
        }
        Expected("an expression");
    }

    ExprPtr Case() {
        ExprPtr expr = Make(Expr::Kind::Case, Next().Position);
        if (!IsWord("WHEN")) expr->Args.push_back(Expression());
        if (!IsWord("WHEN")) Expected("WHEN");
        while (IsWord("WHEN")) {
            Next();
            ExprPtr condition = Expression();
            ExpectWord("THEN");
            expr->Whens.emplace_back(std::move(condition), Expression());
        }
        if (IsWord("ELSE")) {
            Next();
            expr->Else = Expression();
        }
        ExpectWord("END");
        return Seal(std::move(expr));
    }

    std::string_view text_;
    std::vector<Token> tokens_;
    size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

SelectStatement ParseSelect(std::string_view text) {
    return Parser(text).Select();
}

ExprPtr ParseExpression(std::string_view text) {
    return Parser(text).WholeExpression();
}

}  // namespace orvik::mdx
