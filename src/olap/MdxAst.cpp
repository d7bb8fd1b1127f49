#include "olap/MdxAst.h"

#include <cstdio>

namespace orvik::mdx {

std::string SegmentsToString(const std::vector<NameSegment>& segments) {
    std::string text;
    for (size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) text += '.';
        if (segments[i].IsKey) text += '&';
        text += '[';
        for (char c : segments[i].Name) {
            text += c;
            if (c == ']') text += ']';
        }
        text += ']';
    }
    return text;
}

namespace {

std::string Joined(const std::vector<ExprPtr>& args, size_t from) {
    std::string text;
    for (size_t i = from; i < args.size(); ++i) {
        if (i > from) text += ", ";
        text += args[i]->ToString();
    }
    return text;
}

}  // namespace

std::string Expr::Operand(const Expr& operand) const {
    // A range binds tighter than a sign: "+(a) : b" reads back as "+(a : b)", and a sign cannot
    // start a range's second member at all. A signed member of a range keeps its own parentheses.
    const bool wrap = Text == ":" && operand.What == Kind::Operator && operand.Args.size() == 1;
    return wrap ? "(" + operand.ToString() + ")" : operand.ToString();
}

std::string Expr::ToString() const {
    switch (What) {
        case Kind::Name:
            return SegmentsToString(Segments);
        case Kind::Number:
            return Text.empty() ? std::to_string(Number) : Text;
        case Kind::String: {
            std::string text = "\"";
            for (char c : Text) text += c == '"' ? std::string("\"\"") : std::string(1, c);
            return text + "\"";
        }
        case Kind::Call:
            if (IsMethod) {
                // An operator's result gets parentheses of its own: in "+(x).Name" or
                // "NOT x.Name" the method would bind to x alone.
                const bool wrap = Args[0]->What == Kind::Operator;
                std::string text =
                    (wrap ? "(" : "") + Args[0]->ToString() + (wrap ? ")" : "") + "." + Text;
                if (HasParens) text += "(" + Joined(Args, 1) + ")";
                return text;
            }
            return Text + "(" + Joined(Args, 0) + ")";
        case Kind::Operator:
            // A sign keeps its operand in parentheses: "--5" would read back as a comment.
            if (Args.size() == 1 && (Text == "u-" || Text == "u+"))
                return std::string(Text == "u-" ? "-(" : "+(") + Args[0]->ToString() + ")";
            if (Args.size() == 1) return Text + " " + Args[0]->ToString();
            return "(" + Operand(*Args[0]) + " " + Text + " " + Operand(*Args[1]) + ")";
        case Kind::Braces:
            return "{" + Joined(Args, 0) + "}";
        case Kind::Tuple:
            return "(" + Joined(Args, 0) + ")";
        case Kind::Case: {
            std::string text = "CASE";
            if (!Args.empty()) text += " " + Args[0]->ToString();
            for (const auto& [when, then] : Whens)
                text += " WHEN " + when->ToString() + " THEN " + then->ToString();
            if (Else) text += " ELSE " + Else->ToString();
            return text + " END";
        }
        case Kind::Empty:
            return "";
    }
    return "";
}

}  // namespace orvik::mdx
