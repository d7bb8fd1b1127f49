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
#include "core/TextEncoding.h"
#include "core/TextReplace.h"
#include "model/AppContext.h"
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

// Always takes the first opener left in the text. An unterminated one is reported and defused by
// turning it into "~-date(", so the loop moves on and the user sees the fragment where it was.
// Text before an edit holds no opener, so the next search starts just before the edit: a new
// opener can only begin there, where the edit's text may complete one.
size_t NextOpenerFrom(size_t edited) {
    return edited >= kDateOpener.size() ? edited - kDateOpener.size() + 1 : 0;
}

// The message shows the opener, the expression up to the next "~" and two characters more (four
// when no "~" follows). Counted in characters, not bytes, so a Cyrillic letter at the edge is
// never cut in half.
void ReportBrokenExpression(std::string_view rest) {
    const size_t tilde = rest.find('~', kDateOpener.size());
    const size_t shown =
        kDateOpener.size() + 2 +
        (tilde == std::string::npos
             ? 2
             : orvik::Utf8Length(rest.substr(kDateOpener.size(), tilde - kDateOpener.size())));
    orvik::ShowMessage("Ошибочный параметр <" + orvik::Utf8Prefix(rest, shown) +
                           "> (a date expression begun with \"~date(\" has no \")~\" to end it)",
                       {}, orvik::MessageBoxButtons::Ok, orvik::MessageBoxIcon::Error);
}

void SubstituteDateExpressions(std::string& text) {
    bool closerLeft = true;  // once no ")~" follows an opener, none follows the later ones
    for (size_t at = text.find(kDateOpener); at != std::string::npos;
         at = text.find(kDateOpener, NextOpenerFrom(at))) {
        const size_t start = at + kDateOpener.size();
        const size_t close = closerLeft ? text.find(kDateCloser, start) : std::string::npos;
        closerLeft = close != std::string::npos;
        if (close != std::string::npos) {
            const std::string date =
                EvalDateExpr(std::string_view(text).substr(start, close - start));
            text.replace(at, close + kDateCloser.size() - at, date);
            continue;
        }
        ReportBrokenExpression(std::string_view(text).substr(at));
        text.insert(at + 1, "-");
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
        const std::string value = GetPropS(option->Name);
        if (!value.empty()) orvik::ReplaceAll(text, key, value);
    }
}

// The steps after the parameters, for one text: date expressions, folder, options, markers.
void SubstituteTildesAndMarkers(std::string& text, orvik::AppContext* context) {
    if (text.find('~') != std::string::npos) {
        orvik::ReplaceAll(text, "~дата(", kDateOpener);
        SubstituteDateExpressions(text);
        if (context) {
            // The folder keeps its case and its trailing "/", so "~Dir~HTML/x.htm" is a path. An
            // installed copy writes in the user's state folder, so that is the one commands get.
            orvik::ReplaceAll(text, "~Dir~", context->StateFolder());
            SubstituteOptions(text, context->Registries());
        }
    }
    for (const std::string_view marker : kMarkers) {
        if (text.find(marker) != std::string::npos)
            orvik::ReplaceAll(text, marker, EvalDateExpr({}));
    }
}

// The value of candidate `index` with the placeholders of the parameters after it in the list
// (the ones a value could always name) and its own date expressions, folder, options and markers
// worked out.
std::string ExpandedValue(const std::vector<Candidate>& candidates, size_t index,
                          orvik::AppContext* context) {
    std::string value = RawValue(*candidates[index].Prop);
    if (value.find('`') != std::string::npos) {
        for (size_t later = index + 1; later < candidates.size(); ++later) {
            if (value.find(candidates[later].Key) != std::string::npos)
                orvik::ReplaceAll(value, candidates[later].Key, RawValue(*candidates[later].Prop));
        }
    }
    SubstituteTildesAndMarkers(value, context);
    return value;
}

// Placeholders are bare prefixes ("`Region" also matches the front of "`RegionCode") taken in
// list order. Existing reports are written against exactly that, so keys need no terminator.
std::vector<Piece> SplitAtParameters(std::string_view text, orvik::AppContext* context) {
    std::vector<Piece> pieces{{std::string(text)}};
    if (!context || text.find('`') == std::string_view::npos) return pieces;
    const std::vector<Candidate> candidates = Candidates(context->Report());
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
            if (!value) value = ExpandedValue(candidates, i, context);
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
void SubstituteDateExpressions(std::vector<Piece>& pieces, const PlacementOptions& options) {
    for (size_t p = 0; p < pieces.size(); ++p) {
        if (pieces[p].IsValue()) continue;
        for (size_t at = pieces[p].Text.find(kDateOpener); at != std::string::npos;
             at = pieces[p].Text.find(kDateOpener, NextOpenerFrom(at))) {
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
                std::string rest = pieces[p].Text.substr(at);
                for (size_t q = p + 1; q < pieces.size(); ++q) rest += pieces[q].Text;
                ReportBrokenExpression(rest);
                pieces[p].Text.insert(at + 1, "-");
                continue;
            }
            const std::string date = EvalDateExpr(expression);
            pieces[p].Text = pieces[p].Text.substr(0, at) + date +
                             pieces[closePiece].Text.substr(close + kDateCloser.size());
            pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(p) + 1,
                         pieces.begin() + static_cast<std::ptrdiff_t>(closePiece) + 1);
        }
    }
}

void SubstituteAuthorPieces(std::vector<Piece>& pieces, const PlacementOptions& options,
                            orvik::AppContext* context) {
    const auto authorPieces = [&pieces](auto&& step) {
        for (Piece& piece : pieces)
            if (!piece.IsValue()) step(piece.Text);
    };
    const bool tilde = std::any_of(pieces.begin(), pieces.end(), [](const Piece& piece) {
        return !piece.IsValue() && piece.Text.find('~') != std::string::npos;
    });
    if (tilde) {
        authorPieces([](std::string& text) { orvik::ReplaceAll(text, "~дата(", kDateOpener); });
        SubstituteDateExpressions(pieces, options);
        if (context) {
            authorPieces([context](std::string& text) {
                orvik::ReplaceAll(text, "~Dir~", context->StateFolder());
                SubstituteOptions(text, context->Registries());
            });
        }
    }
    authorPieces([](std::string& text) {
        for (const std::string_view marker : kMarkers) {
            if (text.find(marker) != std::string::npos)
                orvik::ReplaceAll(text, marker, EvalDateExpr({}));
        }
    });
}

// The report's choice of plain substitution, noted in the log the first time it is used.
bool PlainParameters(orvik::AppContext* context) {
    if (!context || !context->Report().ReportObject) return false;
    CReport& report = context->Report();
    if (report.ReportObject->Get("PlainParams") != "1") return false;
    if (!report.PlainParamsLogged) {
        report.PlainParamsLogged = true;
        UxSaveLog(
            "PlainParams is set: parameter values go into queries, commands and file names as "
            "they stand, unquoted",
            __FILE__, __LINE__);
    }
    return true;
}

}  // namespace

std::string DSetParam(const char* text) {
    return text ? DSetParam(std::string_view(text)) : std::string();
}

std::string DSetParam(std::string_view text) {
    return DSetParam(text, PlacementOptions{SubstitutionTarget::Text});
}

std::string DSetParam(std::string_view source, const PlacementOptions& requested) {
    orvik::AppContext* context = orvik::AppContext::Current();
    std::vector<Piece> pieces = SplitAtParameters(source, context);
    if (pieces.size() == 1) {
        SubstituteTildesAndMarkers(pieces.front().Text, context);
        return std::move(pieces.front().Text);
    }
    PlacementOptions options = requested;
    if (options.Target != SubstitutionTarget::Text && PlainParameters(context))
        options.Target = SubstitutionTarget::Text;
    SubstituteAuthorPieces(pieces, options, context);

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
