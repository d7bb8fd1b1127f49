// Formula evaluation on muParser, and PGetParsedValue for the property class, which lives in
// the model layer, which cannot see this one, so its formula member is defined here, beside the
// parser it needs (both end up in the same core library).
//
// Text-valued functions cannot hand text through the numeric evaluator: they return the marker
// -999 and leave their text in the evaluation context, from where a formula whose result is the
// marker takes it.
#include "params/Formula.h"

#include <muParser.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <exception>
#include <iterator>
#include <string_view>
#include <vector>

#include "core/CellNumber.h"
#include "core/Run.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoProp.h"
#include "model/OvInfoSheet.h"
#include "model/Report.h"

namespace {

constexpr double kTextMarker = -999.0;
// What fGetColMaxValue gives when it found no value at all.
constexpr int kNoMaximum = -2147483647;

// What the formula functions read. One evaluation's context is current at a time; a message box
// shown during an evaluation runs the event loop, which may evaluate another value meanwhile, so
// each evaluation installs its own and puts back the one before.
struct FormulaContext {
    orvik::Run& ForRun;
    COvInfoDS* DataSource = nullptr;
    std::vector<COvInfoProp*> Lookup;
    std::string TextResult;
};

// Per thread: runs on other threads evaluate formulas of their own.
thread_local FormulaContext* current = nullptr;

class ContextScope {
  public:
    explicit ContextScope(FormulaContext& context) : previous_(current) { current = &context; }
    ~ContextScope() { current = previous_; }
    ContextScope(const ContextScope&) = delete;
    ContextScope& operator=(const ContextScope&) = delete;

  private:
    FormulaContext* previous_;
};

// A formula's number as a row or column: truncated toward zero, and for numbers no int holds
// (and NaN) a value outside every range the callers accept.
int ToIndex(double number) {
    if (!(number > -2147483649.0 && number < 2147483648.0)) return number > 0 ? INT_MAX : INT_MIN;
    return static_cast<int>(number);
}

std::string FormatNumber(double number) {
    const int length = std::snprintf(nullptr, 0, "%f", number);
    if (length <= 0) return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%f", number);
    text.resize(static_cast<size_t>(length));
    return text;
}

// The functions run inside the parser's evaluation: nothing may leave them as an exception.
double GetPrmText(const char* key) {
    FormulaContext* context = current;
    if (!context) return kTextMarker;
    context->TextResult.clear();
    if (!key) return kTextMarker;
    try {
        for (const COvInfoProp* prop : context->Lookup) {
            if (prop && prop->Name == key) {
                context->TextResult = prop->Value;
                break;
            }
        }
    } catch (...) {
        context->TextResult.clear();
    }
    return kTextMarker;
}

// With -999 for the row (and the column), both are read from the last text result written as
// "row,column", so one property can name the cell.
double GetGridText(double row, double column) {
    FormulaContext* context = current;
    if (!context) return kTextMarker;
    int rowIndex = ToIndex(row);
    int columnIndex = ToIndex(column);
    const std::string& last = context->TextResult;
    const size_t comma = last.find(',');
    if (row == kTextMarker) rowIndex = CellNumber(std::string_view(last).substr(0, comma));
    if (column == kTextMarker && comma != std::string::npos && comma > 0)
        columnIndex = CellNumber(std::string_view(last).substr(comma + 1));
    context->TextResult.clear();
    if (COvInfoDS* source = context->DataSource) {
        try {
            if (rowIndex > 0 && rowIndex <= source->GetDSRowCount(context->ForRun) &&
                columnIndex >= 0 && columnIndex < source->GetDSColCount())
                context->TextResult = source->GetDSTextRC(context->ForRun, rowIndex, columnIndex);
        } catch (...) {
            context->TextResult.clear();
        }
    }
    return kTextMarker;
}

// The smallest power of ten from 1 up that is not below x. Worked out in doubles, so it keeps
// going past 10^9 (10^10, 10^11, ...); for an infinite x the power overflows to infinity too and
// the loop ends, and NaN (never above anything) gives 1.
double FloorDec(double x) {
    double power = 1;
    while (power < x) power *= 10;
    return power;
}

// Without a data source nothing is found, so the result is the same as for a column without
// rows: 0 would pass for a real largest value (a column of zeros) where there is none.
double GetColMaxValue(double column) {
    FormulaContext* context = current;
    int maximum = kNoMaximum;
    if (!context || !context->DataSource) return maximum;
    try {
        COvInfoDS& source = *context->DataSource;
        const int columnIndex = ToIndex(column);
        const int rows = source.GetDSRowCount(context->ForRun);
        for (int row = 1; row <= rows; ++row) {
            const int value = CellNumber(source.GetDSTextRC(context->ForRun, row, columnIndex));
            if (value > maximum) maximum = value;
        }
    } catch (...) {
    }
    return maximum;
}

// The data source of the sheet that owns `view`: every view belongs to a sheet of the open
// report, which owns it.
COvInfoDS* DataSourceOf(orvik::Run& run, const CSheetView* view) {
    if (!view) return nullptr;
    CReport& report = run.Report();
    for (const auto& sheet : report.Sheets) {
        if (sheet && sheet->OwnedView.get() == view) return sheet->GetDS(report.DataSources);
    }
    return nullptr;
}

// Formulas come from report texts and plug-ins. muParser keeps its own stacks and refuses texts
// over its length limit, but nothing a report needs nests this deep, and a limit of our own says
// where the input went wrong instead of only that it is long.
constexpr int kMaxFormulaDepth = 100;
// The longest stretch of a formula an error message quotes.
constexpr size_t kShownFormula = 200;

// Why `formula` nests its parentheses deeper than kMaxFormulaDepth, or "" when it does not.
// Parentheses inside a string ("...") are text, not nesting.
std::string NestingProblem(std::string_view formula) {
    int depth = 0;
    bool inString = false;
    for (size_t i = 0; i < formula.size(); ++i) {
        const char c = formula[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '(' && ++depth > kMaxFormulaDepth) {
            return "parentheses nest deeper than " + std::to_string(kMaxFormulaDepth) +
                   " levels at character " + std::to_string(i + 1);
        } else if (c == ')' && depth > 0) {
            --depth;
        }
    }
    return {};
}

// The formula as an error message shows it: whole when short, otherwise its start.
std::string ShownFormula(std::string_view formula) {
    if (formula.size() <= kShownFormula) return std::string(formula);
    return std::string(formula.substr(0, kShownFormula)) + "... (" +
           std::to_string(formula.size()) + " characters)";
}

// Hands `formula` to `parser`, or throws mu::ParserError when it nests too deep.
void SetFormula(mu::Parser& parser, const std::string& formula) {
    if (const std::string problem = NestingProblem(formula); !problem.empty())
        throw mu::Parser::exception_type(problem);
    parser.SetExpr(formula);
}

void ShowParserError(orvik::Run& run, const std::string& text) {
    orvik::ShowMessage(run, text, {}, orvik::MessageBoxButtons::Ok, orvik::MessageBoxIcon::Error);
}

// Why an evaluation failed: the parser's message, or what any other exception says.
std::string ReasonOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const mu::Parser::exception_type& parserError) {
        return parserError.GetMsg();
    } catch (const std::exception& other) {
        return other.what();
    } catch (...) {
        return "unknown error";
    }
}

}  // namespace

std::string PGetParsedValue(orvik::Run& run, const COvInfoProp& prop, CSheetView* view) {
    const std::string& Value = prop.Value;
    if (prop.Kind != PropKind::Text || Value.find('~') == std::string::npos) return Value;

    FormulaContext context{run, nullptr, {}, {}};
    // The text is built up as it is processed, and scanning goes on in the original value after
    // each formula, never through an inserted result: a result is data (a cell, a property's
    // value), and a "~" in it must neither run as a formula nor start the same replacement over
    // for ever. Building it up also keeps a value with very many formulas linear.
    std::string text;
    size_t from = 0;  // where the unprocessed rest of Value begins
    std::string formula;
    try {
        context.DataSource = DataSourceOf(run, view);
        context.Lookup = run.Front().ShownPropertyList();
        ContextScope scope(context);
        mu::Parser parser;
        // Not optimisable: each call must happen at every evaluation, as their results come from
        // the data and the property bar, not from their arguments alone.
        parser.DefineFun("fGetPrmText", GetPrmText, false);
        parser.DefineFun("fGetGridText", GetGridText, false);
        parser.DefineFun("fFloorDec", FloorDec, false);
        parser.DefineFun("fGetColMaxValue", GetColMaxValue, false);
        while (true) {
            const size_t open = Value.find('~', from);
            if (open == std::string::npos) break;
            const size_t close = Value.find('~', open + 1);
            if (close == std::string::npos) {
                // A lone tilde: the rest loses its tildes; inserted results keep theirs.
                text.append(Value, from, open - from);
                std::remove_copy(Value.begin() + static_cast<std::ptrdiff_t>(open), Value.end(),
                                 std::back_inserter(text), '~');
                from = Value.size();
                break;
            }
            formula.assign(Value, open + 1, close - open - 1);
            // A formula's text comes from the text functions it calls itself, not from one before.
            context.TextResult.clear();
            SetFormula(parser, formula);
            const double result = parser.Eval();
            text.append(Value, from, open - from);
            text += result == kTextMarker ? context.TextResult : FormatNumber(result);
            from = close + 1;
        }
    } catch (...) {
        ShowParserError(run, "Parser Error: in formula\n" + ShownFormula(formula) + "\n" +
                                 ReasonOf(std::current_exception()));
    }
    // After a failure the failing formula and everything after it stay as they were.
    text.append(Value, from, std::string::npos);
    return text;
}

std::string ParseValue(orvik::Run& run, const char* expression) {
    if (!expression) return {};
    try {
        mu::Parser parser;
        double sRet = 0;
        SetFormula(parser, expression);
        parser.DefineVar("sRet", &sRet);
        return FormatNumber(parser.Eval());
    } catch (...) {
        ShowParserError(run, "Parser Error: " + ReasonOf(std::current_exception()));
    }
    return {};
}
