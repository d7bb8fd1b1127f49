// The style rules and table of a sheet on the report page.
#include "render/SheetHtml.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "core/HugePages.h"
#include "core/Log.h"
#include "core/MarkupSanitizer.h"
#include "core/Paths.h"
#include "core/Run.h"
#include "model/DataSourceKind.h"
#include "model/OvInfoDS.h"
#include "model/OvInfoGCols.h"
#include "model/OvInfoSheet.h"
#include "params/ParamSubstitution.h"
#include "render/GridBase.h"
#include "render/HtmlColours.h"

namespace {

// Where the smallest and largest values and picture numbers start, so that any real value
// replaces them.
constexpr int kNoSmallest = 2147483647;
constexpr int kNoLargest = -2147483647;

constexpr double kBarWidth = 150;
// Rows per chunk when two threads write a table.
constexpr int kChunkRows = 4096;

bool IsSet(const COvInfoSheet* sheet, const char* key) {
    return sheet && std::atoi(sheet->Get(key).c_str()) != 0;
}

// The even rows' shade of the odd rows' colour: a little lighter, white becoming light grey.
int EvenChannel(int value) {
    return value == 255 ? 240 : (value + 20) & 0xFF;
}

void AppendInt(std::string& out, long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

void AppendWidth(std::string& out, double width) {
    char digits[40];
    const int length = std::snprintf(digits, sizeof digits, "%.0f", width);
    out.append(digits, static_cast<size_t>(length));
}

// `text` with every `from` written as `to`.
void AppendReplacing(std::string& out, std::string_view text, char from, std::string_view to) {
    size_t start = 0;
    for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, start)) {
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + 1;
    }
    out.append(text.substr(start));
}

// Spaces become "&nbsp;", so that grouped numbers and short labels never wrap.
void AppendNonBreaking(std::string& out, std::string_view text) {
    AppendReplacing(out, text, ' ', "&nbsp;");
}

// Text inside a double-quoted attribute value (a picture's alt text, its file name): markup means
// nothing there, but a quote would end the value and let the rest pose as attributes.
void AppendAttributeText(std::string& out, std::string_view text) {
    AppendReplacing(out, text, '"', "&quot;");
}

// A picture series: the files beside a column's picture whose names differ from it only in the
// number before the extension ("level1.gif", "level2.gif", ...).
struct PictureSeries {
    std::string Folder;  // with its trailing "/", or empty
    std::string Prefix;  // the file name up to its number
    std::string Extension;
    int Digits = 0;  // how many digits the configured file's number has
    int Smallest = kNoSmallest;
    int Largest = kNoLargest;

    void Split(const std::string& path) {
        const size_t slash = path.rfind('/');
        Folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        const std::string name = path.substr(Folder.size());
        const size_t dot = name.rfind('.');
        Extension = dot == std::string::npos ? std::string() : name.substr(dot);
        Prefix = name.substr(0, name.size() - Extension.size());
        size_t digitsStart = Prefix.size();
        while (digitsStart > 0 && Prefix[digitsStart - 1] >= '0' && Prefix[digitsStart - 1] <= '9')
            --digitsStart;
        Digits = static_cast<int>(Prefix.size() - digitsStart);
        Prefix.resize(digitsStart);
    }

    // Only names whose varying part is all digits count: "level_old.gif" is no member.
    void Scan() {
        std::error_code error;
        std::filesystem::directory_iterator entries(Folder.empty() ? "." : Folder, error);
        if (error) return;
        for (const auto& entry : entries) {
            const std::string name = entry.path().filename().string();
            if (name.size() <= Prefix.size() + Extension.size()) continue;
            if (name.compare(0, Prefix.size(), Prefix) != 0) continue;
            if (name.compare(name.size() - Extension.size(), Extension.size(), Extension) != 0)
                continue;
            const std::string number =
                name.substr(Prefix.size(), name.size() - Prefix.size() - Extension.size());
            if (number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos)
                continue;
            const int value = std::atoi(number.c_str());
            Smallest = std::min(Smallest, value);
            Largest = std::max(Largest, value);
        }
    }

    bool Found() const { return Smallest <= Largest; }

    // Written with as many digits as the configured file has, so "level01.gif" leads to
    // "level02.gif" and not to a "level2.gif" that is not there.
    std::string Member(int number) const {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%0*d", Digits, number);
        return Folder + Prefix + digits + Extension;
    }
};

// What a typed column needs while its cells are written.
struct ColumnSetup {
    const COvInfoGCols* Definition = nullptr;
    std::string Type;
    int Smallest = kNoSmallest;
    int Largest = kNoLargest;
    std::string PicturePath;  // substituted and resolved; empty without SPF
    std::string PictureType;
    PictureSeries Series;
    std::string PositiveColour;  // "\"#rrggbb\"", the quoted attribute value
    std::string NegativeColour;
};

std::string BarColour(const COvInfoGCols& definition, const char* key, const char* fallback) {
    std::string value = definition.Get(key);
    if (value.empty()) value = fallback;
    return "\"#" + ColourTextToHex(value) + "\"";
}

class SheetTableWriter {
  public:
    SheetTableWriter(const CGridBase& grid, int sheetNumber, int kpiFlag, std::string& out)
        : SheetTableWriter(grid, std::to_string(sheetNumber), kpiFlag != 0, out) {}
    SheetTableWriter(const CGridBase& grid, std::string number, bool kpi, std::string& out)
        : grid_(grid), sheet_(grid.Sheet), number_(std::move(number)), kpi_(kpi), out_(out) {}

    // Hands the table over in pieces: `flush` is called with the text written so far after every
    // chunk of rows and may take it (leaving `out` empty), so the whole table is never held.
    void SetFlush(const SheetTableFlush* flush) { flush_ = flush; }

    void Write() {
        if (!Setup()) return;
        Reserve();
        OpenTable();
        for (int row = 0; row < fixedRows_; ++row) HeaderRow(row);
        WriteDataRows();
        out_.append("</TABLE>\n");
    }

  private:
    // Reads the grid's shape and the column settings; false for an empty grid.
    bool Setup() {
        rows_ = grid_.GetRowCount();
        columns_ = grid_.GetColumnCount();
        if (static_cast<long long>(rows_) * columns_ == 0) return false;
        fixedRows_ = grid_.GetFixedRowCount();
        fixedColumns_ = grid_.GetFixedColumnCount();
        end_ = kpi_ ? columns_ - 1 : columns_;
        programFolder_ = grid_.ForRun ? grid_.ForRun->ProgramFolder() : std::string();
        if (kpi_) imagesFolder_ = programFolder_ + "Images/";
        kpiSource_ =
            grid_.DataSource ? grid_.DataSource->Kind().Page() == orvik::PageStyle::KpiList : kpi_;
        for (int c = 0; c < end_; ++c) {
            if (grid_.GetColumnWidth(c) != 0) visible_.push_back(c);
        }
        Prepare();
        return true;
    }

    // The data rows. A large plain table is written by two threads in alternate chunks of rows:
    // this one writes the even chunks straight into the page and appends each odd chunk, which a
    // helper wrote meanwhile, after its predecessor. Tables whose rows depend on the rows before
    // them (spanned row headers, KPI folders) are written in one go.
    void WriteDataRows() {
        const int count = rows_ - fixedRows_;
        if (count < 2 * kChunkRows || fixedColumns_ > 0 || kpi_ || kpiSource_ ||
            std::thread::hardware_concurrency() < 2) {
            for (int row = fixedRows_; row < rows_; ++row) {
                DataRow(row);
                if ((row - fixedRows_) % kChunkRows == kChunkRows - 1) Flush();
            }
            return;
        }
        std::string scratch;
        SheetTableWriter helper(grid_, number_, kpi_, scratch);
        helper.Setup();
        const int chunks = (count + kChunkRows - 1) / kChunkRows;
        const auto rowsOf = [&](int chunk) {
            const int first = fixedRows_ + chunk * kChunkRows;
            return std::pair(first, std::min(rows_, first + kChunkRows));
        };
        struct Handover {
            std::mutex Mutex;
            std::condition_variable Changed;
            std::string Text;
            bool Ready = false;   // Text holds the next odd chunk
            bool Failed = false;  // the helper stopped with an error
            std::exception_ptr Error;
        } handover;
        std::thread worker([&] {
            try {
                for (int chunk = 1; chunk < chunks; chunk += 2) {
                    scratch.clear();
                    const auto [first, end] = rowsOf(chunk);
                    for (int row = first; row < end; ++row) helper.DataRow(row);
                    std::unique_lock lock(handover.Mutex);
                    handover.Changed.wait(lock, [&] { return !handover.Ready; });
                    std::swap(handover.Text, scratch);
                    handover.Ready = true;
                    handover.Changed.notify_all();
                }
            } catch (...) {
                std::lock_guard lock(handover.Mutex);
                handover.Error = std::current_exception();
                handover.Failed = true;
                handover.Changed.notify_all();
            }
        });
        for (int chunk = 0; chunk < chunks; ++chunk) {
            if (chunk % 2 == 0) {
                const auto [first, end] = rowsOf(chunk);
                for (int row = first; row < end; ++row) DataRow(row);
                Flush();
                continue;
            }
            std::unique_lock lock(handover.Mutex);
            handover.Changed.wait(lock, [&] { return handover.Ready || handover.Failed; });
            if (!handover.Ready) break;
            out_.append(handover.Text);
            handover.Ready = false;
            handover.Changed.notify_all();
            lock.unlock();
            Flush();
        }
        worker.join();
        if (handover.Error) std::rethrow_exception(handover.Error);
    }

    std::string_view Text(int row, int column) const { return grid_.GetItemText(row, column); }

    void Prepare() {
        setupOf_.assign(static_cast<size_t>(columns_), nullptr);
        if (kpi_ || !sheet_) return;
        setups_.reserve(sheet_->GridColumns.size());
        for (const auto& definition : sheet_->GridColumns) {
            if (definition->ColT.Value == "DEF") continue;
            const size_t separator = definition->Key.find('_');
            if (separator == std::string::npos) continue;
            const int column = std::atoi(definition->Key.c_str() + separator + 1);
            if (column < 0 || column >= columns_) continue;
            ColumnSetup& setup = setups_.emplace_back();
            setup.Definition = definition.get();
            setup.Type = definition->ColT.Value;
            for (int row = fixedRows_; row < rows_; ++row) {
                const int value = CellNumber(Text(row, column));
                setup.Smallest = std::min(setup.Smallest, value);
                setup.Largest = std::max(setup.Largest, value);
            }
            if (const std::string file = definition->Get("SPF"); !file.empty()) {
                setup.PicturePath = PicturePath(file);
            }
            if (!setup.PicturePath.empty()) {
                setup.PictureType = definition->Get("SPT");
                setup.Series.Split(setup.PicturePath);
                setup.Series.Scan();
            }
            setup.PositiveColour = BarColour(*definition, "BCP", "0,255,0");
            setup.NegativeColour = BarColour(*definition, "BCN", "255,0,0");
        }
        // Pointers are taken once the list has stopped growing.
        for (const ColumnSetup& setup : setups_) {
            const int column =
                std::atoi(setup.Definition->Key.c_str() + setup.Definition->Key.find('_') + 1);
            if (!setupOf_[column]) setupOf_[column] = &setup;
        }
    }

    // The picture series' path; "" when a parameter in it would lead out of its folder.
    std::string PicturePath(const std::string& file) const {
        std::string path = file;
        if (orvik::Run* run = grid_.ForRun) {
            try {
                path = DSetParam(*run, file, orvik::SubstitutionTarget::FileName);
            } catch (const orvik::SubstitutionError& error) {
                UxError(*run, error, "sheethtml", __LINE__, file.c_str());
                return {};
            }
        }
        path = orvik::ToNativePath(path);
        if (!orvik::IsAbsolutePath(path)) path = programFolder_ + path;
        return path;
    }

    // One growth of the page text instead of a dozen copies of a text of a hundred megabytes:
    // the texts plus about what the markup of a row and of a cell costs.
    void Flush() {
        if (flush_ && *flush_) (*flush_)(out_);
    }

    void Reserve() {
        if (flush_ && *flush_) return;  // the text leaves in pieces
        const size_t cells = static_cast<size_t>(rows_) * visible_.size();
        out_.reserve(out_.size() + grid_.TextBytes() + cells * 20 +
                     static_cast<size_t>(rows_) * 24 + 1024);
        orvik::PreferHugePages(out_.data() + out_.size(), out_.capacity() - out_.size());
    }

    void OpenTable() {
        std::string border = "border=1";
        if (sheet_) {
            if (const std::string value = sheet_->Get("bTB"); !value.empty())
                border = "border=" + std::to_string(std::atoi(value.c_str())) +
                         " cellspacing=0 cellpadding=5 ";
        }
        out_.append("<TABLE id=OrvikSheet").append(number_).append(" ").append(border);
        out_.append(" class=sgo").append(number_).append(">\n");
        const std::string title = sheet_ ? sheet_->Get("Title") : std::string();
        if (!title.empty()) {
            out_.append("<CAPTION class=sh").append(number_).append(">");
            orvik::AppendSanitizedMarkup(out_,
                                         grid_.ForRun ? DSetParam(*grid_.ForRun, title) : title);
            out_.append("</CAPTION>\n");
        }
    }

    void HeaderRow(int row) {
        out_.append("<TR>");
        // A column up to which the previous header cell spans.
        int coveredUntil = -1;
        for (const int c : visible_) {
            const std::string_view text = Text(row, c);
            int span = 1;
            if (c >= fixedColumns_) {
                if (text.empty() && c < coveredUntil) continue;
                if (!text.empty()) {
                    // Hidden columns are passed over and not counted: they are not written.
                    int next = c + 1;
                    for (; next < end_ && Text(row, next).empty(); ++next) {
                        if (grid_.GetColumnWidth(next) != 0) ++span;
                    }
                    coveredUntil = next;
                }
            }
            out_.append("<TD class=sh").append(number_);
            if (span > 1) {
                out_.append(" colspan=\"");
                AppendInt(out_, span);
                out_.append("\"");
            }
            out_.append(">");
            AppendMarkup(text);
            out_.append("</TD>");
        }
        out_.append("</TR>\n");
    }

    void FolderRows(int row) {
        const std::string_view path = Text(row, 0);
        const size_t separator = path.find('\\');
        const std::string_view first = path.substr(0, separator);
        if (first != previousFirst_) {
            FolderRow(first, "");
            previousFirst_ = first;
        }
        if (separator != std::string_view::npos) {
            const std::string_view second = path.substr(separator + 1);
            if (second != previousSecond_) {
                FolderRow(second, "&nbsp;&nbsp;");
                previousSecond_ = second;
            }
        }
    }

    void FolderRow(std::string_view name, const char* indent) {
        out_.append("<TR bgcolor=\"gray\"><TD colspan=\"");
        AppendInt(out_, static_cast<long long>(visible_.size()));
        out_.append("\" align=\"left\">").append(indent).append("<img src=\"");
        out_.append(imagesFolder_).append("folder.gif\">&nbsp;");
        AppendMarkup(name);
        out_.append("</TD></TR>");
    }

    void DataRow(int row) {
        const std::string& rowClass = (row - fixedRows_) % 2 == 0 ? EvenClass() : OddClass();
        if (kpiSource_) FolderRows(row);
        out_.append("<TR class=").append(rowClass).append(">");
        for (const int c : visible_) {
            const std::string_view text = Text(row, c);
            const ColumnSetup* setup = setupOf_[c];
            if ((setup && setup->Type == "KP") || (kpi_ && (c == 1 || c == 4 || c == 5 || c == 7)))
                KpiCell(row, c, text);
            else if (setup && setup->Type == "BT")
                BarCell(*setup, text, rowClass);
            else if (setup && !setup->PicturePath.empty())
                PictureCell(*setup, text);
            else
                PlainCell(row, c, text);
        }
        out_.append("</TR>\n");
    }

    const std::string& EvenClass() {
        if (evenClass_.empty()) evenClass_ = "sge" + number_;
        return evenClass_;
    }
    const std::string& OddClass() {
        if (oddClass_.empty()) oddClass_ = "sgo" + number_;
        return oddClass_;
    }

    void KpiCell(int row, int c, std::string_view text) {
        if (kpi_ && c == 1) {
            out_.append("<TD align=right>");
            AppendMarkup(text);
            out_.append("&nbsp;<img src=\"");
            out_.append(imagesFolder_).append("kpi_icon.gif\"></TD>");
        } else if (kpi_ && c == 7) {
            out_.append("<TD align=center><img src=\"").append(imagesFolder_);
            out_.append("info.gif\" alt=\"");
            AppendAttributeText(out_, text);
            out_.append("\">");
        } else {
            const int value = CellNumber(text);
            out_.append("<TD align=center><img src=\"").append(imagesFolder_);
            AppendAttributeText(out_, Text(row, c + 4));
            AppendInt(out_, static_cast<long long>(value) + 1);
            out_.append(".gif\" alt=\"");
            AppendInt(out_, value);
            out_.append("\">");
        }
    }

    void BarCell(const ColumnSetup& setup, std::string_view text, const std::string& rowClass) {
        const double smallest = setup.Smallest;
        const double range = setup.Smallest < 0 ? setup.Largest - smallest : setup.Largest;
        // A column of zeros (or of one repeated negative value) has no extent to scale by: its
        // bars are drawn with no width rather than dividing by zero.
        const double scale = range != 0 ? kBarWidth / range : 0;
        const double value = CellNumber(text);
        out_.append("\n<TD><TABLE cellpadding=0 cellspacing=0 border=0 WIDTH=");
        AppendWidth(out_, kBarWidth * 1.4);
        out_.append("><TR class=").append(rowClass).append(">");
        if (smallest < 0 && value < 0) {
            out_.append("<TD Width=");
            AppendWidth(out_, (value - smallest) * scale);
            out_.append("></TD><TD bgcolor=").append(setup.NegativeColour).append(" Width=");
            AppendWidth(out_, -value * scale);
            out_.append("></TD>");
        } else {
            if (smallest < 0) {
                out_.append("<TD Width=");
                AppendWidth(out_, -smallest * scale);
                out_.append("></TD>");
            }
            out_.append("<TD Width=");
            AppendWidth(out_, value * scale);
            out_.append(" bgcolor=").append(setup.PositiveColour).append("></TD>");
        }
        out_.append("<TD>&nbsp;");
        AppendNonBreakingMarkup(text);
        out_.append("</TD></TR></TABLE></TD>");
    }

    void PictureCell(const ColumnSetup& setup, std::string_view text) {
        if (setup.PictureType == "GI") {
            out_.append("<TD align=center><img src=\"").append(setup.PicturePath);
            out_.append("\" alt=\"");
            AppendAttributeText(out_, text);
            out_.append("\">");
            return;
        }
        const std::string picture = SeriesPicture(setup, CellNumber(text));
        if (setup.PictureType == "GTSP") {
            out_.append("<TD align=right>");
            AppendNonBreakingMarkup(text);
            out_.append("&nbsp;<img src=\"").append(picture).append("\"></TD>");
        } else if (setup.PictureType == "GSPT") {
            out_.append("<TD><img src=\"").append(picture).append("\">&nbsp;");
            AppendNonBreakingMarkup(text);
            out_.append("</TD>");
        } else {
            // "GPO", and also the type's default "GP" and a column without any type: the user
            // chose a picture column and a file, so the picture is what they expect to see; the
            // text stays readable as its alternative.
            out_.append("<TD align=center><img src=\"").append(picture);
            out_.append("\" alt=\"");
            AppendAttributeText(out_, text);
            out_.append("\"></TD>");
        }
    }

    static std::string SeriesPicture(const ColumnSetup& setup, int value) {
        // Without series members on disk the configured file is all there is to show.
        if (value == 0 || !setup.Series.Found()) return setup.PicturePath;
        long long number = 0;
        const long long values = static_cast<long long>(setup.Largest) - setup.Smallest;
        if (values != 0) {
            const long long pictures =
                static_cast<long long>(setup.Series.Largest) - setup.Series.Smallest;
            number = setup.Series.Smallest +
                     (static_cast<long long>(value) - setup.Smallest) * pictures / values;
        }
        return setup.Series.Member(static_cast<int>(number));
    }

    void PlainCell(int row, int c, std::string_view text) {
        if (c < fixedColumns_) {
            if (coveredUntil_.empty()) coveredUntil_.assign(static_cast<size_t>(fixedColumns_), 0);
            int& covered = coveredUntil_[c];
            if (text.empty() && row < covered) return;
            int span = 1;
            while (row + span < rows_ && Text(row + span, c).empty()) ++span;
            covered = row + span;
            out_.append("<TD class=sh").append(number_);
            if (span > 1) {
                out_.append(" rowspan=\"");
                AppendInt(out_, span);
                out_.append("\"");
            }
        } else {
            out_.append("<TD");
        }
        if (grid_.IsItemRightAligned(row, c)) out_.append(" align=right");
        out_.append(">");
        if (text.empty())
            out_.append("&nbsp;");
        else if (text.find(' ') != std::string_view::npos && CellNumber(text) != 0)
            AppendNonBreakingMarkup(text);
        else
            AppendMarkup(text);
        out_.append("</TD>");
    }

    // Cell texts are markup by design: what could run in it is taken out, the rest kept.
    void AppendMarkup(std::string_view text) { orvik::AppendSanitizedMarkup(out_, text); }

    // The blanks become "&nbsp;" before the markup is checked, so the check sees the very text
    // the browser gets ("<b&nbsp;x" is no <b> tag to either).
    void AppendNonBreakingMarkup(std::string_view text) {
        if (!orvik::MayHoldMarkup(text)) {
            AppendNonBreaking(out_, text);
            return;
        }
        scratch_.clear();
        AppendNonBreaking(scratch_, text);
        orvik::AppendSanitizedMarkup(out_, scratch_);
    }

    const CGridBase& grid_;
    const COvInfoSheet* sheet_;
    const std::string number_;
    const bool kpi_;
    std::string& out_;
    const SheetTableFlush* flush_ = nullptr;
    int rows_ = 0, columns_ = 0, fixedRows_ = 0, fixedColumns_ = 0;
    int end_ = 0;  // the first column not written
    bool kpiSource_ = false;
    std::string programFolder_;
    std::string imagesFolder_;
    std::vector<int> visible_;
    std::vector<ColumnSetup> setups_;
    std::vector<const ColumnSetup*> setupOf_;
    std::vector<int> coveredUntil_;  // per row-header column: the first row not spanned
    std::string previousFirst_, previousSecond_;
    std::string evenClass_, oddClass_;
    std::string scratch_;  // a cell's text with its blanks made non-breaking
};

}  // namespace

std::string MakeSheetStyle(const CGridBase& grid, int sheetNumber) {
    const std::string number = std::to_string(sheetNumber);
    const GridDefaultCell& fixed = grid.DefaultCell(GridCellKind::FixedRow);
    const GridDefaultCell& ordinary = grid.DefaultCell(GridCellKind::Ordinary);
    const Rgb& odd = ordinary.BackColour;
    const Rgb even{EvenChannel(odd.Red), EvenChannel(odd.Green), EvenChannel(odd.Blue)};
    const bool rowGradient = IsSet(grid.Sheet, "bGCG");
    const std::string font = FontToCss(ordinary.Font);
    std::string style = ".sh" + number + " {border-style:outset; border-width:1px; " +
                        BackgroundCss(ColourToHex(fixed.BackColour), IsSet(grid.Sheet, "bGCH")) +
                        "; " + FontToCss(fixed.Font) + "}\n";
    style +=
        ".sgo" + number + " {" + BackgroundCss(ColourToHex(odd), rowGradient) + "; " + font + "}\n";
    style += ".sge" + number + " {" + BackgroundCss(ColourToHex(even), rowGradient) + "; " + font +
             "}\n";
    return style;
}

void MakeSheetTable(const CGridBase& grid, int sheetNumber, int kpiFlag, std::string& out,
                    const SheetTableFlush& flush) {
    SheetTableWriter writer(grid, sheetNumber, kpiFlag, out);
    writer.SetFlush(&flush);
    writer.Write();
}
