// The workbook writer: styles from the sheet's properties, header rows with their merges, data
// rows with numbers as numbers, and column widths fitted to what was written.
#include "XlsxWorkbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>

#include "XlsxCells.h"

namespace xlsx {
namespace {

constexpr long long kMaxRows = 1048576;
constexpr size_t kMaxColumns = 16384;
constexpr size_t kMaxTextBytes = 32767;
// Column widths in characters of the default font: never too narrow to click, never wider than
// a screen.
constexpr double kMinWidth = 4;
constexpr double kMaxWidth = 80;
// Beyond about this much sheet data the zip entries may pass 4 GB and need ZIP64.
constexpr long long kZip64Bytes = 2'000'000'000;

struct Font {
    std::string Face;
    double Points = 10;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
};

std::vector<std::string> SplitFields(const std::string& text) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(text.substr(start, comma - start));
    fields.push_back(text.substr(start));
    return fields;
}

// A font property: "face,size in tenths of a point,style letters (B or -, then I, U, S),...".
Font ReadFont(const std::string& text) {
    const std::vector<std::string> fields = SplitFields(text);
    Font font;
    font.Face = ValidUtf8(fields[0]);
    if (fields.size() > 1) {
        const long tenths = std::strtol(fields[1].c_str(), nullptr, 10);
        if (tenths > 0 && tenths <= 4090) font.Points = static_cast<double>(tenths) / 10;
    }
    if (fields.size() > 2 && !fields[2].empty()) {
        const std::string& style = fields[2];
        font.Bold = style[0] == 'B';
        for (size_t i = 1; i < style.size(); ++i) {
            font.Italic |= style[i] == 'I';
            font.Underline |= style[i] == 'U';
            font.StrikeOut |= style[i] == 'S';
        }
    }
    return font;
}

// A colour property "r,g,b" as 0xRRGGBB; each part read as atoi reads it and kept to 0..255.
lxw_color_t ReadColour(const std::string& text) {
    const std::vector<std::string> fields = SplitFields(text);
    lxw_color_t colour = 0;
    for (size_t i = 0; i < 3; ++i) {
        const long part = i < fields.size() ? std::strtol(fields[i].c_str(), nullptr, 10) : 0;
        colour = (colour << 8) | static_cast<lxw_color_t>(std::clamp(part, 0L, 255L));
    }
    return colour;
}

void ApplyFont(lxw_format* format, const Font& font) {
    if (!font.Face.empty()) format_set_font_name(format, font.Face.c_str());
    format_set_font_size(format, font.Points);
    if (font.Bold) format_set_bold(format);
    if (font.Italic) format_set_italic(format);
    if (font.Underline) format_set_underline(format, LXW_UNDERLINE_SINGLE);
    if (font.StrikeOut) format_set_font_strikeout(format);
}

bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The formats of one sheet, made as they are first needed.
class SheetStyles {
  public:
    SheetStyles(lxw_workbook* workbook, const SheetSource& sheet)
        : workbook_(workbook),
          headerFont_(ReadFont(sheet.HeaderFont)),
          dataFont_(ReadFont(sheet.DataFont)),
          headerColour_(ReadColour(sheet.HeaderColour)),
          dataColour_(ReadColour(sheet.DataColour)) {}

    lxw_format* Title() {
        if (!title_) {
            title_ = workbook_add_format(workbook_);
            Font font = headerFont_;
            font.Bold = true;
            font.Points += 2;
            ApplyFont(title_, font);
        }
        return title_;
    }
    lxw_format* Header() {
        if (!header_) {
            header_ = workbook_add_format(workbook_);
            ApplyFont(header_, headerFont_);
            format_set_bg_color(header_, headerColour_);
            format_set_border(header_, LXW_BORDER_THIN);
            format_set_align(header_, LXW_ALIGN_VERTICAL_CENTER);
        }
        return header_;
    }
    lxw_format* Text() { return Data(""); }
    // The data format showing numbers as `numberFormat` ("" for texts).
    lxw_format* Data(const std::string& numberFormat) {
        lxw_format*& format = data_[numberFormat];
        if (!format) {
            format = workbook_add_format(workbook_);
            ApplyFont(format, dataFont_);
            // White is what a cell is anyway; a fill would only hide the grid lines.
            if (dataColour_ != 0xFFFFFF) format_set_bg_color(format, dataColour_);
            if (!numberFormat.empty()) format_set_num_format(format, numberFormat.c_str());
        }
        return format;
    }

  private:
    lxw_workbook* workbook_;
    Font headerFont_, dataFont_;
    lxw_color_t headerColour_, dataColour_;
    lxw_format* title_ = nullptr;
    lxw_format* header_ = nullptr;
    std::map<std::string, lxw_format*> data_;
};

class SheetWriter {
  public:
    SheetWriter(lxw_workbook* workbook, lxw_worksheet* worksheet, const SheetSource& sheet)
        : worksheet_(worksheet), sheet_(sheet), grid_(sheet.Grid), styles_(workbook, sheet) {}

    // Writes the sheet; "" or what went wrong.
    std::string Write(WorkbookSummary& summary) {
        rows_ = GV_getRowCount(grid_);
        fixedRows_ = std::max(0, GV_getFixedRowCount(grid_));
        fixedColumns_ = std::max(0, GV_getFixedColCount(grid_));
        end_ = std::max(0, GV_getColCount(grid_) - (sheet_.DropLastColumn ? 1 : 0));
        for (int c = 0; c < end_; ++c) {
            if (GV_getColWidth(grid_, c) != 0) columns_.push_back(c);
        }
        if (columns_.size() > kMaxColumns) {
            summary.Warnings.push_back("sheet " + sheet_.Name + " has " +
                                       std::to_string(columns_.size()) +
                                       " columns, more than a worksheet holds: only the first " +
                                       std::to_string(kMaxColumns) + " were written");
            columns_.resize(kMaxColumns);
        }
        widths_.assign(columns_.size(), 0);
        spans_.assign(static_cast<size_t>(fixedColumns_), Span{});
        if (!sheet_.Title.empty()) {
            Note(worksheet_write_string(worksheet_, 0, 0, Clean(sheet_.Title).c_str(),
                                        styles_.Title()));
            row_ = 1;
        }
        last_ = rows_;
        if (row_ + rows_ > kMaxRows) {
            last_ = static_cast<int>(kMaxRows - row_);
            summary.Warnings.push_back("sheet " + sheet_.Name + " has " + std::to_string(rows_) +
                                       " rows, more than a worksheet holds: only the first " +
                                       std::to_string(last_) + " were written");
        }
        for (int r = 0; r < last_; ++r, ++row_) {
            if (r < fixedRows_)
                HeaderRow(r);
            else
                DataRow(r);
        }
        for (size_t i = 0; i < columns_.size(); ++i) {
            const double width = std::clamp(widths_[i] * 1.1 + 2, kMinWidth, kMaxWidth);
            Note(worksheet_set_column(worksheet_, static_cast<lxw_col_t>(i),
                                      static_cast<lxw_col_t>(i), width, nullptr));
        }
        summary.Rows += last_;
        if (error_ != LXW_NO_ERROR) return std::string("libxlsxwriter: ") + lxw_strerror(error_);
        return {};
    }

  private:
    // A cell's text as the page shows it, made fit for the workbook.
    std::string Cell(int row, int column) const {
        return Clean(GV_getCellText(grid_, row, column));
    }

    static std::string Clean(std::string text) {
        if (!IsAscii(text)) text = ValidUtf8(text);
        if (text.size() > kMaxTextBytes) text = std::string(CutUtf8(text, kMaxTextBytes));
        return text;
    }

    void Note(lxw_error error) {
        if (error_ == LXW_NO_ERROR) error_ = error;
    }

    void Fit(size_t column, const std::string& text) {
        widths_[column] = std::max(widths_[column], static_cast<double>(CharacterCount(text)));
    }

    lxw_col_t Out(size_t column) const { return static_cast<lxw_col_t>(column); }

    // A header row: a text followed by blank header cells spans them, as on the page; hidden
    // columns are passed over, and a text in one ends the span as it does there.
    void HeaderRow(int r) {
        int coveredUntil = -1;
        for (size_t i = 0; i < columns_.size(); ++i) {
            const int c = columns_[i];
            const std::string text = Cell(r, c);
            size_t span = 1;
            if (c >= fixedColumns_) {
                if (text.empty() && c < coveredUntil) continue;
                if (!text.empty()) {
                    int next = c + 1;
                    for (; next < end_ && GV_getCellText(grid_, r, next).empty(); ++next) {
                        if (GV_getColWidth(grid_, next) != 0) ++span;
                    }
                    coveredUntil = next;
                    span = std::min(span, columns_.size() - i);
                }
            }
            if (span > 1) {
                Note(worksheet_merge_range(worksheet_, row_, Out(i), row_, Out(i + span - 1),
                                           text.c_str(), styles_.Header()));
            } else {
                Note(worksheet_write_string(worksheet_, row_, Out(i), text.c_str(),
                                            styles_.Header()));
                Fit(i, text);
            }
        }
    }

    // A data row. A row-header text spans the blank cells below it; the merge is declared on
    // the span's last row, since rows already written cannot be touched again. It goes last, with
    // the span's own text: while nothing else of its row is written, the row before (the span's
    // first, perhaps) is still open, and the merge writes its text there again.
    void DataRow(int r) {
        std::vector<size_t> spansEnding;
        for (size_t i = 0; i < columns_.size(); ++i) {
            const int c = columns_[i];
            const std::string text = Cell(r, c);
            if (c < fixedColumns_) {
                Span& span = spans_[static_cast<size_t>(c)];
                if (!text.empty() || r == fixedRows_) {
                    span = {row_, text};
                    Note(worksheet_write_string(worksheet_, row_, Out(i), text.c_str(),
                                                styles_.Header()));
                    Fit(i, text);
                }
                const bool ends = r + 1 >= last_ || !GV_getCellText(grid_, r + 1, c).empty();
                if (ends && span.Start < row_) spansEnding.push_back(i);
                continue;
            }
            if (text.empty()) continue;
            ShownNumber number;
            if (ReadShownNumber(text, number)) {
                Note(worksheet_write_number(worksheet_, row_, Out(i), number.Value,
                                            styles_.Data(NumberFormatFor(number))));
            } else {
                Note(
                    worksheet_write_string(worksheet_, row_, Out(i), text.c_str(), styles_.Text()));
            }
            Fit(i, text);
        }
        for (const size_t i : spansEnding) {
            const Span& span = spans_[static_cast<size_t>(columns_[i])];
            // Writing into rows already gone out is refused, which is expected here: only the
            // merge itself is wanted.
            worksheet_merge_range(worksheet_, span.Start, Out(i), row_, Out(i), span.Text.c_str(),
                                  styles_.Header());
        }
    }

    struct Span {
        lxw_row_t Start = 0;
        std::string Text;
    };

    lxw_worksheet* worksheet_;
    const SheetSource& sheet_;
    CGridView* grid_;
    SheetStyles styles_;
    int rows_ = 0, fixedRows_ = 0, fixedColumns_ = 0, end_ = 0;
    int last_ = 0;              // the first grid row not written
    lxw_row_t row_ = 0;         // the worksheet row being written
    std::vector<int> columns_;  // the grid columns written, in order
    std::vector<double> widths_;
    std::vector<Span> spans_;  // per row-header column: its current span
    lxw_error error_ = LXW_NO_ERROR;
};

}  // namespace

std::string WriteWorkbook(const std::string& path, const std::string& scratchFolder,
                          const std::vector<SheetSource>& sheets, WorkbookSummary& summary) {
    long long cells = 0;
    for (const SheetSource& sheet : sheets)
        cells += static_cast<long long>(GV_getRowCount(sheet.Grid)) * GV_getColCount(sheet.Grid);
    std::string scratch = scratchFolder;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = scratch.empty() ? nullptr : scratch.data();
    // What a cell costs in the sheet's XML, generously.
    options.use_zip64 = cells * 80 > kZip64Bytes ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
    if (!workbook) return "libxlsxwriter could not start the workbook";
    std::set<std::string> taken;
    std::string failure;
    for (const SheetSource& sheet : sheets) {
        const std::string name = UniqueSheetName(sheet.Name, taken);
        lxw_worksheet* worksheet = workbook_add_worksheet(workbook, name.c_str());
        if (!worksheet) {
            // A name it refuses, or (in constant-memory mode) no room for the sheet's own
            // temporary file: what it printed says which.
            failure = "libxlsxwriter could not add the worksheet '" + name + "'";
            break;
        }
        failure = SheetWriter(workbook, worksheet, sheet).Write(summary);
        if (!failure.empty()) break;
        ++summary.Sheets;
    }
    const lxw_error closed = workbook_close(workbook);
    if (failure.empty() && closed != LXW_NO_ERROR)
        failure = std::string("libxlsxwriter: ") + lxw_strerror(closed);
    return failure;
}

}  // namespace xlsx
