// Parameter substitution. The text is kept as a list of pieces: what the report's author wrote,
// and the parameter values put in at the placeholders. The later steps (date expressions, the
// program folder, options, markers) work on the author's pieces only; a value gets the same steps
// on its own before it is put in, so a value holding "~date(d-1)~" still becomes a date, but
// nothing in a value can complete or close anything the author wrote. At the end the target's
// placement writes each value for the spot it stands in.
//
// The parameter and option lists are read as they stand at each call, never cached, because the
// property bar changes them between runs.
#include "params/ParamSubstitution.h"

#include <algorithm>
#include <vector>

#include "core/Log.h"
#include "core/LogText.h"
#include "core/Run.h"
#include "core/TextEncoding.h"
#include "core/TextReplace.h"
#include "model/Registries.h"
#include "model/Report.h"
#include "params/DateExpression.h"

namespace {

using orvik::PlacementOptions;
using orvik::SubstitutionTarget;

constexpr std::string_view kDateOpener = "~date(";
constexpr std::string_view kDateCloser = ")~";
constexpr std::string_view kMarkers[] = {"#Дата#", "#Период_начало#", "#Период_конец#"};

struct Piece {
    std::string Text;
    const std::string* Name = nullptr;  // the parameter whose value this is; null: author's text
    bool IsValue() const { return Name != nullptr; }
};

// A parameter as substitution sees it: the report property that holds its value.
struct Candidate {
    const COvInfoProp* Prop;
    std::string Key;
};

std::vector<Candidate> Candidates(const CReport& report) {
    std::vector<Candidate> candidates;
    if (!report.ReportObject) return candidates;
    for (const COvInfoProp* prop : report.ReportObject->Props) {
        // A parameter without a name would have the key "`" alone and swallow every backquote,
        // the identifier quote of several SQL dialects, so it takes part in nothing.
        if (prop->Caption.empty() || !prop->IsVisible()) continue;
        candidates.push_back({prop, "`" + prop->Caption});
    }
    return candidates;
}

// A parameter bound to another report property is edited through it, so that property holds the
// value the user sees.
const std::string& RawValue(const COvInfoProp& prop) {
    const auto* target = static_cast<const COvInfoProp*>(prop.SelectedCombo);
    return prop.Kind == PropKind::Reference && target ? target->Value : prop.Value;
}

// Always takes the first opener left in the text. Text before an edit holds no opener, so the
// next search starts just before the edit: a new opener can only begin there, where the edit's
// text may complete one.
size_t NextOpenerFrom(size_t edited) {
    return edited >= kDateOpener.size() ? edited - kDateOpener.size() + 1 : 0;
}

// The longest fragment of the author's text a message quotes.
constexpr size_t kShownCharacters = 200;

// One substitution pass: the run it works for, and whether a date expression that cannot be
// worked out fails the text (Strict) or is told to the run's front end and marked.
struct Strictness {
    bool Strict;
    orvik::Run& ForRun;
};

// A date expression that cannot be worked out. On the page it is reported and shown marked, and
// the page goes on; a text that leaves the program (a query, a command, a mail) must not go out
// with it, so there it is the caller's error.
void DateProblem(const std::string& message, const Strictness& strict) {
    if (strict.Strict) throw orvik::SubstitutionError(message);
    orvik::ShowMessage(strict.ForRun, message, {}, orvik::MessageBoxButtons::Ok,
                       orvik::MessageBoxIcon::Error);
}

// The message shows the opener, the expression up to the next "~" and two characters more (four
// when no "~" follows). Counted in characters, not bytes, so a Cyrillic letter at the edge is
// never cut in half.
std::string UnterminatedMessage(std::string_view rest) {
    const size_t tilde = rest.find('~', kDateOpener.size());
    const size_t shown =
        kDateOpener.size() + 2 +
        (tilde == std::string::npos
             ? 2
             : orvik::Utf8Length(rest.substr(kDateOpener.size(), tilde - kDateOpener.size())));
    return "Ошибочный параметр <" + orvik::Utf8Prefix(rest, shown) +
           "> (a date expression begun with \"~date(\" has no \")~\" to end it)";
}

// `whole` runs from an opener through the first closer after it, and holds a second opener at
// byte `inner`. Such an expression would be worked out half, so it is refused whole.
std::string NestedMessage(std::string_view whole, size_t inner) {
    std::string shown = orvik::Utf8Prefix(whole, kShownCharacters);
    if (shown.size() < whole.size()) shown += "...";
    return "Ошибочный параметр <" + shown +
           "> (a date expression cannot hold another one: \"~date(\" stands at character " +
           std::to_string(orvik::Utf8Length(whole.substr(0, inner)) + 1) + " of it)";
}

// Marks every opener within [from, to) of `text` as "~-date(", in one pass however many there
// are; returns where the marked stretch now ends. The "~" of a closer that ends at `to` is the
// closer's, even where "date(" follows it.
size_t MarkOpeners(std::string& text, size_t from, size_t to) {
    std::string marked;
    marked.reserve(to - from + 16);
    size_t copied = from;
    for (size_t at = text.find(kDateOpener, from);
         at != std::string::npos && at + kDateOpener.size() <= to;
         at = text.find(kDateOpener, at + kDateOpener.size())) {
        marked.append(text, copied, at + 1 - copied);
        marked += '-';
        copied = at + 1;
    }
    marked.append(text, copied, to - copied);
    text.replace(from, to - from, marked);
    return from + marked.size();
}

std::string DateText(std::string_view expression, const Strictness& strict,
                     orvik::DateArithmetic arithmetic) {
    orvik::DateEvaluation result = orvik::EvaluateDateExpression(expression, arithmetic);
    if (!result.Error.empty()) DateProblem(result.Error, strict);
    return std::move(result.Text);
}

void SubstituteDateExpressions(std::string& text, const Strictness& strict,
                               orvik::DateArithmetic arithmetic) {
    size_t next = 0;
    for (size_t at = text.find(kDateOpener); at != std::string::npos;
         at = text.find(kDateOpener, next)) {
        const size_t start = at + kDateOpener.size();
        const size_t close = text.find(kDateCloser, start);
        if (close == std::string::npos) {
            // No ")~" follows this opener, so none follows a later one either.
            DateProblem(UnterminatedMessage(std::string_view(text).substr(at)), strict);
            MarkOpeners(text, at, text.size());
            return;
        }
        const size_t end = close + kDateCloser.size();
        const size_t inner = std::string_view(text).substr(start, close - start).find(kDateOpener);
        if (inner != std::string::npos) {
            DateProblem(NestedMessage(std::string_view(text).substr(at, end - at),
                                      inner + kDateOpener.size()),
                        strict);
            next = MarkOpeners(text, at, end);
            continue;
        }
        text.replace(
            at, end - at,
            DateText(std::string_view(text).substr(start, close - start), strict, arithmetic));
        next = NextOpenerFrom(at);
    }
}

void SubstituteOptions(std::string& text, const CRegistries& registries) {
    for (const auto& option : registries.ProgramSettings) {
        // A secret would otherwise be one placeholder away from a mail subject or a log line.
        if (option->IsOption(PropFlag::Secret)) continue;
        const std::string key = "~" + option->Name + "~";
        if (text.find(key) == std::string::npos) continue;
        // An empty option leaves its placeholder, so a missing setting shows in the output
        // instead of silently vanishing from a path or an address.
        const std::string& value = option->Value;
        if (!value.empty()) orvik::ReplaceAll(text, key, value);
    }
}

// Writes `message` to the run's log unless `logged` says it is there already.
void LogOnce(orvik::Run& run, bool& logged, const char* message) {
    if (logged) return;
    logged = true;
    UxSaveLog(run, message, __FILE__, __LINE__);
}

// The report's choice of date arithmetic; the older one, without carrying, is noted in the log
// the first time it is used.
orvik::DateArithmetic ArithmeticOf(orvik::Run& run) {
    const CReport& report = run.Report();
    if (!report.ReportObject ||
        !orvik::EqualsIgnoringAsciiCase(report.ReportObject->Get("DateArithmetic"), "NoCarry"))
        return orvik::DateArithmetic::Carry;
    LogOnce(run, run.DateArithmeticLogged,
            "DateArithmetic is NoCarry: date expressions work out each component on its own, so "
            "d-1 on the first of a month is an invalid date");
    return orvik::DateArithmetic::NoCarry;
}

// The steps after the parameters, for one text: date expressions, folder, options, markers.
void SubstituteTildesAndMarkers(std::string& text, const Strictness& strict) {
    if (text.find('~') != std::string::npos) {
        orvik::ReplaceAll(text, "~дата(", kDateOpener);
        SubstituteDateExpressions(text, strict, ArithmeticOf(strict.ForRun));
        // The folder keeps its case and its trailing "/", so "~Dir~HTML/x.htm" is a path. An
        // installed copy writes in the user's state folder, so that is the one commands get.
        orvik::ReplaceAll(text, "~Dir~", strict.ForRun.StateFolder());
        SubstituteOptions(text, strict.ForRun.Registries());
    }
    for (const std::string_view marker : kMarkers) {
        if (text.find(marker) != std::string::npos)
            orvik::ReplaceAll(text, marker, EvalDateExpr(strict.ForRun, {}));
    }
}

// The value of candidate `index` with the placeholders of the parameters after it in the list
// (the ones a value could always name) and its own date expressions, folder, options and markers
// worked out.
std::string ExpandedValue(const std::vector<Candidate>& candidates, size_t index,
                          const Strictness& strict) {
    std::string value = RawValue(*candidates[index].Prop);
    if (value.find('`') != std::string::npos) {
        for (size_t later = index + 1; later < candidates.size(); ++later) {
            if (value.find(candidates[later].Key) != std::string::npos)
                orvik::ReplaceAll(value, candidates[later].Key, RawValue(*candidates[later].Prop));
        }
    }
    SubstituteTildesAndMarkers(value, strict);
    return value;
}

// Placeholders are bare prefixes ("`Region" also matches the front of "`RegionCode") taken in
// list order. Existing reports are written against exactly that, so keys need no terminator.
std::vector<Piece> SplitAtParameters(std::string_view text, const Strictness& strict) {
    std::vector<Piece> pieces{{std::string(text)}};
    if (text.find('`') == std::string_view::npos) return pieces;
    const std::vector<Candidate> candidates = Candidates(strict.ForRun.Report());
    for (size_t i = 0; i < candidates.size(); ++i) {
        const std::string& key = candidates[i].Key;
        const bool placed = std::any_of(pieces.begin(), pieces.end(), [&key](const Piece& piece) {
            return !piece.IsValue() && piece.Text.find(key) != std::string::npos;
        });
        if (!placed) continue;
        std::optional<std::string> value;
        std::vector<Piece> split;
        for (Piece& piece : pieces) {
            if (piece.IsValue() || piece.Text.find(key) == std::string::npos) {
                split.push_back(std::move(piece));
                continue;
            }
            if (!value) value = ExpandedValue(candidates, i, strict);
            size_t start = 0;
            for (size_t at = piece.Text.find(key); at != std::string::npos;
                 at = piece.Text.find(key, start)) {
                split.push_back({piece.Text.substr(start, at - start)});
                split.push_back({*value, &candidates[i].Prop->Caption});
                start = at + key.size();
            }
            split.push_back({piece.Text.substr(start)});
        }
        pieces = std::move(split);
    }
    return pieces;
}

// A value inside a date expression is part of the arithmetic ("~date(d-`Days)~"): only the
// expression's own characters may come from it, or its format would write anything at all.
void CheckDateExpressionValue(const Piece& piece, const PlacementOptions& options) {
    if (options.Target == SubstitutionTarget::Text) return;
    std::string_view rest = piece.Text;
    while (!rest.empty()) {
        if (std::string_view("0123456789 +-,;dmywDMYW").find(rest.front()) != std::string::npos) {
            rest.remove_prefix(1);
            continue;
        }
        bool letter = false;
        for (std::string_view cyrillic : {"д", "м", "г", "н"}) {
            if (rest.substr(0, cyrillic.size()) == cyrillic) {
                rest.remove_prefix(cyrillic.size());
                letter = true;
                break;
            }
        }
        if (!letter)
            orvik::RefuseValue(*piece.Name, "date expression",
                               "only digits, signs, ',', ';' and the letters d m y w may stand "
                               "there");
    }
}

// Date expressions in the author's pieces. An expression may hold values ("d-`Days"); its
// opener and closer are always the author's.
void SubstituteDateExpressions(std::vector<Piece>& pieces, const PlacementOptions& options,
                               const Strictness& strict, orvik::DateArithmetic arithmetic) {
    for (size_t p = 0; p < pieces.size(); ++p) {
        if (pieces[p].IsValue()) continue;
        size_t next = 0;
        for (size_t at = pieces[p].Text.find(kDateOpener); at != std::string::npos;
             at = pieces[p].Text.find(kDateOpener, next)) {
            std::string expression;
            size_t closePiece = p, close = std::string::npos;
            size_t from = at + kDateOpener.size();
            for (size_t q = p; q < pieces.size(); ++q, from = 0) {
                if (pieces[q].IsValue()) {
                    CheckDateExpressionValue(pieces[q], options);
                    expression += pieces[q].Text;
                    continue;
                }
                close = pieces[q].Text.find(kDateCloser, from);
                expression += pieces[q].Text.substr(
                    from, close == std::string::npos ? std::string::npos : close - from);
                if (close != std::string::npos) {
                    closePiece = q;
                    break;
                }
            }
            if (close == std::string::npos) {
                // No ")~" follows this opener, so none follows a later one either.
                std::string rest = pieces[p].Text.substr(at);
                for (size_t q = p + 1; q < pieces.size(); ++q) rest += pieces[q].Text;
                DateProblem(UnterminatedMessage(rest), strict);
                MarkOpeners(pieces[p].Text, at, pieces[p].Text.size());
                for (size_t q = p + 1; q < pieces.size(); ++q)
                    if (!pieces[q].IsValue()) MarkOpeners(pieces[q].Text, 0, pieces[q].Text.size());
                return;
            }
            if (const size_t inner = expression.find(kDateOpener); inner != std::string::npos) {
                DateProblem(
                    NestedMessage(std::string(kDateOpener) + expression + std::string(kDateCloser),
                                  inner + kDateOpener.size()),
                    strict);
                const size_t end = close + kDateCloser.size();
                if (closePiece == p) {
                    next = MarkOpeners(pieces[p].Text, at, end);
                    continue;
                }
                MarkOpeners(pieces[p].Text, at, pieces[p].Text.size());
                for (size_t q = p + 1; q < closePiece; ++q)
                    if (!pieces[q].IsValue()) MarkOpeners(pieces[q].Text, 0, pieces[q].Text.size());
                MarkOpeners(pieces[closePiece].Text, 0, end);
                break;  // the rest of this piece is marked; the pieces after it go on
            }
            const std::string date = DateText(expression, strict, arithmetic);
            pieces[p].Text = pieces[p].Text.substr(0, at) + date +
                             pieces[closePiece].Text.substr(close + kDateCloser.size());
            pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(p) + 1,
                         pieces.begin() + static_cast<std::ptrdiff_t>(closePiece) + 1);
            next = NextOpenerFrom(at);
        }
    }
}

void SubstituteAuthorPieces(std::vector<Piece>& pieces, const PlacementOptions& options,
                            const Strictness& strict) {
    const auto authorPieces = [&pieces](auto&& step) {
        for (Piece& piece : pieces)
            if (!piece.IsValue()) step(piece.Text);
    };
    const bool tilde = std::any_of(pieces.begin(), pieces.end(), [](const Piece& piece) {
        return !piece.IsValue() && piece.Text.find('~') != std::string::npos;
    });
    if (tilde) {
        authorPieces([](std::string& text) { orvik::ReplaceAll(text, "~дата(", kDateOpener); });
        SubstituteDateExpressions(pieces, options, strict, ArithmeticOf(strict.ForRun));
        authorPieces([&strict](std::string& text) {
            orvik::ReplaceAll(text, "~Dir~", strict.ForRun.StateFolder());
            SubstituteOptions(text, strict.ForRun.Registries());
        });
    }
    authorPieces([&strict](std::string& text) {
        for (const std::string_view marker : kMarkers) {
            if (text.find(marker) != std::string::npos)
                orvik::ReplaceAll(text, marker, EvalDateExpr(strict.ForRun, {}));
        }
    });
}

// The report's choice of plain substitution, noted in the log the first time it is used.
bool PlainParameters(orvik::Run& run) {
    const CReport& report = run.Report();
    if (!report.ReportObject || report.ReportObject->Get("PlainParams") != "1") return false;
    LogOnce(run, run.PlainParamsLogged,
            "PlainParams is set: parameter values go into queries, commands and file names as "
            "they stand, unquoted");
    return true;
}

}  // namespace

std::string DSetParam(orvik::Run& run, std::string_view text) {
    return DSetParam(run, text, PlacementOptions{SubstitutionTarget::Text});
}

std::string DSetParam(orvik::Run& run, std::string_view source, const PlacementOptions& requested) {
    // Only what is shown on the page goes on past a date expression that cannot be worked out.
    const Strictness strict{requested.Target != SubstitutionTarget::Text, run};
    std::vector<Piece> pieces = SplitAtParameters(source, strict);
    if (pieces.size() == 1) {
        SubstituteTildesAndMarkers(pieces.front().Text, strict);
        return std::move(pieces.front().Text);
    }
    PlacementOptions options = requested;
    if (options.Target != SubstitutionTarget::Text && PlainParameters(run))
        options.Target = SubstitutionTarget::Text;
    SubstituteAuthorPieces(pieces, options, strict);

    const auto placement = orvik::MakeValuePlacement(options);
    std::string text;
    for (const Piece& piece : pieces) {
        if (piece.IsValue()) {
            placement->AppendValue(*piece.Name, piece.Text, text);
        } else {
            placement->AppendAuthorText(piece.Text, text);
        }
    }
    return text;
}
