// Bars, lines and pies as SVG. Sizes are in the chart's own pixels; the page may scale the whole
// drawing to its placeholder through the viewBox, so nothing here depends on the final size.
#include "ChartSvg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <numbers>
#include <vector>

namespace orvik_chart {
namespace {

// A font's average character width over its height, for fitting labels without measuring them.
constexpr double kCharWidth = 0.58;
// The same for deciding whether a label fits under its bars: most labels are narrower than the
// widest letters, and cutting one that would have fitted reads worse than touching a neighbour.
constexpr double kFitCharWidth = 0.52;
constexpr size_t kMaxLabelChars = 18;
constexpr size_t kMaxLegendChars = 24;
constexpr size_t kMaxTitleChars = 90;
constexpr size_t kMaxPieLegendRows = 14;
// More series than colours could not be told apart; the rest are left out, and said to be.
constexpr size_t kMaxSeries = 10;
// Slices beyond this many would be slivers: the smallest share one slice.
constexpr size_t kMaxPieSlices = 12;

// Series colours that stay apart from each other in print and for most colour-blind readers.
constexpr const char* kPalette[] = {"#4472c4", "#ed7d31", "#70ad47", "#ffc000", "#5b9bd5",
                                    "#a5a5a5", "#9e480e", "#264478", "#7e3f8f", "#43a8a0"};
constexpr size_t kPaletteSize = sizeof kPalette / sizeof kPalette[0];

struct Font {
    std::string Face = "Arial";
    double Pixels = 12;
    bool Bold = false;
    bool Italic = false;
};

// "face,size in tenths of a point,style,..." as the font properties hold it, on a 96 dpi page.
Font ParseFont(std::string_view text, double fallbackPixels) {
    Font font;
    font.Pixels = fallbackPixels;
    const size_t comma = text.find(',');
    const std::string_view face = text.substr(0, comma);
    if (!face.empty()) font.Face = std::string(face);
    if (comma == std::string_view::npos) return font;
    const std::string rest(text.substr(comma + 1));
    const int tenths = std::atoi(rest.c_str());
    if (tenths >= 40 && tenths <= 720) font.Pixels = tenths * 96.0 / 720.0;
    const size_t second = rest.find(',');
    if (second != std::string::npos) {
        const std::string style = rest.substr(second + 1, rest.find(',', second + 1) - second - 1);
        font.Bold = !style.empty() && style[0] == 'B';
        font.Italic = style.find('I') != std::string::npos;
    }
    return font;
}

std::string FontAttributes(const Font& font) {
    std::string out = " font-family=\"" + EscapeXml(font.Face) + ", sans-serif\" font-size=\"";
    char size[32];
    std::snprintf(size, sizeof size, "%.1f", font.Pixels);
    out += size;
    out += '"';
    if (font.Bold) out += " font-weight=\"bold\"";
    if (font.Italic) out += " font-style=\"italic\"";
    return out;
}

// "#rrggbb" for a colour text "r,g,b"; "" when the text holds no colour.
std::string HexColour(std::string_view text) {
    if (text.empty()) return {};
    int channels[3] = {0, 0, 0};
    std::string copy(text);
    const char* at = copy.c_str();
    for (int& channel : channels) {
        channel = std::clamp(std::atoi(at), 0, 255);
        const char* comma = std::strchr(at, ',');
        if (!comma) break;
        at = comma + 1;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "#%02x%02x%02x", channels[0], channels[1], channels[2]);
    return hex;
}

// A coordinate to the tenth of a pixel the drawing is written with.
double Round(double value) {
    return std::round(value * 10) / 10;
}

std::string Num(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.1f", Round(value));
    return text;
}

// A value as an axis or a tooltip shows it: `decimals` places, thousands grouped by spaces.
std::string FormatValue(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::fabs(value) < 1e-12 ? 0.0 : value);
    std::string raw = text;
    const bool negative = raw[0] == '-';
    if (negative) raw.erase(0, 1);
    const size_t point = raw.find('.');
    std::string whole = raw.substr(0, point);
    const std::string fraction = point == std::string::npos ? std::string() : raw.substr(point);
    for (int at = static_cast<int>(whole.size()) - 3; at > 0; at -= 3)
        whole.insert(static_cast<size_t>(at), " ");
    return (negative ? "-" : "") + whole + fraction;
}

// Decimals enough to tell tick values `step` apart.
int DecimalsFor(double step) {
    if (step >= 1) return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 8);
}

// Round ticks covering [low, high]: about five steps of 1, 2 or 5 times a power of ten.
struct Axis {
    double Low = 0;
    double High = 1;
    double Step = 0.2;
};

Axis NiceAxis(double low, double high) {
    Axis axis;
    if (!(high > low)) {
        if (low == 0) return axis;
        // One value: the axis still runs from zero, the way bars read.
        low = std::min(low, 0.0);
        high = std::max(high, 0.0);
    }
    const double raw = (high - low) / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double fraction = raw / power;
    const double nice = fraction <= 1 ? 1 : fraction <= 2 ? 2 : fraction <= 5 ? 5 : 10;
    axis.Step = nice * power;
    axis.Low = std::floor(low / axis.Step + 1e-9) * axis.Step;
    axis.High = std::ceil(high / axis.Step - 1e-9) * axis.Step;
    if (axis.High <= axis.Low) axis.High = axis.Low + axis.Step;
    return axis;
}

class SvgWriter {
  public:
    SvgWriter(const ChartData& data, const ChartStyle& style)
        : data_(data),
          style_(style),
          titleFont_(ParseFont(style.TitleFont, 13.3)),
          labelFont_(ParseFont(style.LabelFont, 12)) {}

    std::string Chart() {
        width_ = std::clamp(style_.Width, 120, 8000);
        height_ = std::clamp(style_.Height, 80, 8000);
        if (data_.Categories.empty()) return Note("No rows to chart.");
        if (data_.Series.empty()) return Note("No numeric column to chart.");
        Open(height_);
        if (static_cast<int>(data_.Categories.size()) < data_.TotalCategories) {
            note_ = "first " + std::to_string(data_.Categories.size()) + " of " +
                    std::to_string(data_.TotalCategories);
        }
        series_ = std::min(data_.Series.size(), kMaxSeries);
        if (style_.Kind != ChartKind::Pie && series_ < data_.Series.size()) {
            note_ += note_.empty() ? "" : ", ";
            note_ += "first " + std::to_string(series_) + " of " +
                     std::to_string(data_.Series.size()) + " series";
        }
        if (!note_.empty())
            Text(width_ - 6, TitleHeight() + labelFont_.Pixels, "end", "note", note_);
        if (style_.Kind == ChartKind::Pie) {
            Pie();
        } else {
            Cartesian();
        }
        out_ += "</svg>";
        return out_;
    }

    std::string Note(const std::string& note) {
        width_ = std::clamp(style_.Width, 120, 8000);
        Open(static_cast<int>(TitleHeight() + labelFont_.Pixels * 3));
        Text(width_ / 2.0, TitleHeight() + labelFont_.Pixels * 1.8, "middle", "note", note);
        out_ += "</svg>";
        return out_;
    }

  private:
    double TitleHeight() const {
        return style_.Title.empty() ? 6 : std::ceil(titleFont_.Pixels * 1.9);
    }

    // Where the plot starts: below the title, and below the note when there is one.
    double PlotTop() const { return TitleHeight() + labelFont_.Pixels * (note_.empty() ? 1 : 1.8); }

    void Open(int height) {
        height_ = height;
        out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                std::to_string(width_) + " " + std::to_string(height_) + "\"";
        if (style_.FillWidth) {
            out_ += " width=\"100%\" preserveAspectRatio=\"xMidYMid meet\"";
        } else {
            out_ += " width=\"" + std::to_string(width_) + "\" height=\"" +
                    std::to_string(height_) + "\"";
        }
        out_ += " role=\"img\"" + FontAttributes(labelFont_) + " fill=\"#222\">";
        if (!style_.Title.empty()) out_ += "<title>" + EscapeXml(style_.Title) + "</title>";
        if (const std::string background = HexColour(style_.Background); !background.empty())
            out_ += "<rect width=\"100%\" height=\"100%\" fill=\"" + background + "\"/>";
        if (!style_.Title.empty()) {
            if (const std::string band = HexColour(style_.TitleBackground); !band.empty()) {
                out_ += "<rect class=\"titleband\" width=\"100%\" height=\"" +
                        Num(TitleHeight() - 2) + "\" fill=\"" + band + "\"/>";
            }
            out_ += "<text class=\"title\" x=\"" + Num(width_ / 2.0) + "\" y=\"" +
                    Num(titleFont_.Pixels * 1.3) + "\" text-anchor=\"middle\"" +
                    FontAttributes(titleFont_) + ">" +
                    EscapeXml(Ellipsize(style_.Title, kMaxTitleChars)) + "</text>";
        }
    }

    void Text(double x, double y, const char* anchor, const char* cls, const std::string& text,
              const std::string& extra = std::string()) {
        out_ += "<text class=\"";
        out_ += cls;
        out_ += "\" x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor + "\"" +
                extra + ">" + EscapeXml(text) + "</text>";
    }

    // Colour swatches and series names along the bottom, in as many lines as they need; with
    // `draw` false only counts the lines.
    int Legend(double firstBaseline, bool draw) {
        const double px = labelFont_.Pixels;
        const double box = px * 0.8;
        double x = 10;
        int lines = 1;
        for (size_t s = 0; s < series_; ++s) {
            const std::string name = Ellipsize(data_.Series[s].Name, kMaxLegendChars);
            const double entry = box + 16 + static_cast<double>(CharCount(name)) * px * kCharWidth;
            if (x > 10 && x + entry > width_ - 6) {
                x = 10;
                ++lines;
            }
            const double y = firstBaseline + px * 1.4 * (lines - 1);
            if (draw) {
                out_ += "<rect class=\"legend\" x=\"" + Num(x) + "\" y=\"" + Num(y - box) +
                        "\" width=\"" + Num(box) + "\" height=\"" + Num(box) + "\" fill=\"" +
                        kPalette[s % kPaletteSize] + "\"/>";
                Text(x + box + 4, y, "start", "legendtext", name);
            }
            x += entry;
        }
        return lines;
    }

    static size_t CharCount(std::string_view text) {
        size_t count = 0;
        for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        return count;
    }

    void Cartesian() {
        double low = 0, high = 0;
        for (size_t s = 0; s < series_; ++s) {
            for (const auto& value : data_.Series[s].Values) {
                if (!value) continue;
                low = std::min(low, *value);
                high = std::max(high, *value);
            }
        }
        const Axis axis = NiceAxis(low, high);
        const int decimals = DecimalsFor(axis.Step);
        size_t tickChars = 1;
        for (double v = axis.Low; v <= axis.High + axis.Step / 2; v += axis.Step)
            tickChars = std::max(tickChars, FormatValue(v, decimals).size());

        const size_t n = data_.Categories.size();
        const double px = labelFont_.Pixels;
        size_t longest = 1;
        for (const std::string& category : data_.Categories)
            longest = std::max(longest, std::min(CharCount(category), kMaxLabelChars));
        double left = 12 + static_cast<double>(tickChars) * px * kCharWidth;
        const double right = width_ - 16;
        double slot = (right - left) / static_cast<double>(n);
        // Labels that do not fit their slot lie at an angle, and only every few slots get one.
        const bool slanted = static_cast<double>(longest) * px * kFitCharWidth > slot - 4;
        if (slanted) {
            // Room on the left for the first slanted label, which reaches back past its slot.
            const double reach = static_cast<double>(longest) * px * kCharWidth * 0.72 - slot / 2;
            left = std::clamp(reach, left, width_ / 3.0);
            slot = (right - left) / static_cast<double>(n);
        }
        const size_t labelChars =
            slanted ? kMaxLabelChars
                    : std::max<size_t>(1, static_cast<size_t>((slot - 4) / (px * kFitCharWidth)));
        const size_t every =
            slanted ? std::max<size_t>(1, static_cast<size_t>(std::ceil(px * 1.3 / slot))) : 1;
        const double labelHeight =
            slanted
                ? static_cast<double>(std::min(longest, labelChars)) * px * kCharWidth * 0.72 + px
                : px * 1.6;
        const int legendLines = Legend(0, false);
        const double legendHeight = px * (0.6 + 1.4 * legendLines);
        const double top = PlotTop();
        const double bottom = height_ - legendHeight - labelHeight - 6;
        const double plotBottom = std::max(bottom, top + 20);
        const auto Y = [&](double v) {
            return top + (axis.High - v) / (axis.High - axis.Low) * (plotBottom - top);
        };

        // Grid lines and tick values.
        out_ += "<g class=\"axis\" stroke=\"#d9d9d9\" stroke-width=\"1\">";
        for (double v = axis.Low; v <= axis.High + axis.Step / 2; v += axis.Step) {
            out_ += "<line x1=\"" + Num(left) + "\" x2=\"" + Num(right) + "\" y1=\"" + Num(Y(v)) +
                    "\" y2=\"" + Num(Y(v)) + "\"/>";
        }
        out_ += "</g>";
        for (double v = axis.Low; v <= axis.High + axis.Step / 2; v += axis.Step)
            Text(left - 6, Y(v) + px * 0.35, "end", "tick", FormatValue(v, decimals));
        out_ += "<line class=\"zero\" x1=\"" + Num(left) + "\" x2=\"" + Num(right) + "\" y1=\"" +
                Num(Y(0)) + "\" y2=\"" + Num(Y(0)) + "\" stroke=\"#595959\" stroke-width=\"1\"/>";

        for (size_t i = 0; i < n; i += every) {
            const double x = left + slot * (static_cast<double>(i) + 0.5);
            const std::string label = Ellipsize(data_.Categories[i], labelChars);
            if (slanted) {
                const double y = plotBottom + px;
                Text(x, y, "end", "category", label,
                     " transform=\"rotate(-45 " + Num(x) + " " + Num(y) + ")\"");
            } else {
                Text(x, plotBottom + px * 1.3, "middle", "category", label);
            }
        }

        const size_t count = series_;
        for (size_t s = 0; s < count; ++s) {
            const ChartSeries& series = data_.Series[s];
            const char* colour = kPalette[s % kPaletteSize];
            out_ += "<g class=\"series\" fill=\"";
            out_ += colour;
            out_ += "\">";
            std::string points;
            for (size_t i = 0; i < n && i < series.Values.size(); ++i) {
                if (!series.Values[i]) continue;
                const double value = *series.Values[i];
                const std::string tip = data_.Categories[i] + " \xE2\x80\x94 " + series.Name +
                                        ": " + FormatValue(value, DecimalsOf(value));
                if (style_.Kind == ChartKind::Bar) {
                    const double inner = slot * 0.8 / static_cast<double>(count);
                    const double x = left + slot * (static_cast<double>(i) + 0.1) +
                                     inner * static_cast<double>(s);
                    // Both ends rounded as the zero line is, so a bar meets it exactly.
                    const double y = Round(std::min(Y(value), Y(0)));
                    const double end = Round(std::max(Y(value), Y(0)));
                    out_ += "<rect class=\"bar\" x=\"" + Num(x) + "\" y=\"" + Num(y) +
                            "\" width=\"" + Num(std::max(inner, 0.5)) + "\" height=\"" +
                            Num(end - y) + "\"><title>" + EscapeXml(tip) + "</title></rect>";
                } else {
                    const double x = left + slot * (static_cast<double>(i) + 0.5);
                    points += Num(x) + "," + Num(Y(value)) + " ";
                    out_ += "<circle class=\"point\" cx=\"" + Num(x) + "\" cy=\"" + Num(Y(value)) +
                            "\" r=\"3\"><title>" + EscapeXml(tip) + "</title></circle>";
                }
            }
            out_ += "</g>";
            if (style_.Kind == ChartKind::Line && !points.empty()) {
                points.pop_back();
                out_ += "<polyline class=\"line\" fill=\"none\" stroke=\"";
                out_ += colour;
                out_ += "\" stroke-width=\"2\" points=\"" + points + "\"/>";
            }
        }
        Legend(height_ - legendHeight + px * 1.1, true);
    }

    // Decimals a value needs to be shown as the data gave it, up to four.
    static int DecimalsOf(double value) {
        for (int decimals = 0; decimals < 4; ++decimals) {
            const double scale = std::pow(10.0, decimals);
            if (std::fabs(std::round(value * scale) - value * scale) < 1e-6) return decimals;
        }
        return 4;
    }

    void Pie() {
        const ChartSeries& series = data_.Series.front();
        struct Slice {
            std::string Label;
            double Value;
        };
        std::vector<Slice> slices;
        double total = 0;
        bool skipped = false;
        const size_t n = std::min(series.Values.size(), data_.Categories.size());
        for (size_t i = 0; i < n; ++i) {
            if (!series.Values[i]) continue;
            if (*series.Values[i] > 0) {
                slices.push_back({data_.Categories[i], *series.Values[i]});
                total += *series.Values[i];
            } else {
                skipped = true;
            }
        }
        const double px = labelFont_.Pixels;
        const double top = PlotTop() - px * 0.5;
        if (!(total > 0)) {
            Text(width_ / 2.0, top + px * 2, "middle", "note", "No positive values to chart.");
            return;
        }
        if (slices.size() > kMaxPieSlices) {
            // The largest keep their slices in the data's order; the rest share one.
            std::vector<double> values;
            for (const Slice& slice : slices) values.push_back(slice.Value);
            std::nth_element(values.begin(), values.begin() + (kMaxPieSlices - 2), values.end(),
                             std::greater<double>());
            const double smallestKept = values[kMaxPieSlices - 2];
            std::vector<Slice> kept;
            double rest = 0;
            size_t merged = 0;
            for (const Slice& slice : slices) {
                if (slice.Value >= smallestKept && kept.size() < kMaxPieSlices - 1) {
                    kept.push_back(slice);
                } else {
                    rest += slice.Value;
                    ++merged;
                }
            }
            kept.push_back({"Other (" + std::to_string(merged) + ")", rest});
            slices = std::move(kept);
        }
        const double legendWidth = std::min(width_ * 0.45, px * kCharWidth * 34 + 24);
        const double areaWidth = width_ - legendWidth;
        const double radius = std::max(10.0, std::min(areaWidth, height_ - top - px) / 2 - 12);
        const double cx = areaWidth / 2;
        const double cy = top + (height_ - top - px) / 2;
        Text(cx, height_ - px * 0.4, "middle", "seriesname", Ellipsize(series.Name, 40));

        double angle = -std::numbers::pi / 2;
        size_t legendRow = 0;
        size_t colour = 0;
        for (const Slice& slice : slices) {
            const double value = slice.Value;
            const double share = value / total;
            const double sweep = share * 2 * std::numbers::pi;
            const char* fill = kPalette[colour++ % kPaletteSize];
            char percent[32];
            std::snprintf(percent, sizeof percent, "%.1f%%", share * 100);
            const std::string tip =
                slice.Label + ": " + FormatValue(value, DecimalsOf(value)) + " (" + percent + ")";
            if (share > 0.999999) {
                out_ += "<circle class=\"slice\" cx=\"" + Num(cx) + "\" cy=\"" + Num(cy) +
                        "\" r=\"" + Num(radius) + "\" fill=\"" + fill + "\"><title>" +
                        EscapeXml(tip) + "</title></circle>";
            } else {
                const double end = angle + sweep;
                out_ += "<path class=\"slice\" d=\"M" + Num(cx) + "," + Num(cy) + " L" +
                        Num(cx + radius * std::cos(angle)) + "," +
                        Num(cy + radius * std::sin(angle)) + " A" + Num(radius) + "," +
                        Num(radius) + " 0 " + (sweep > std::numbers::pi ? "1" : "0") + ",1 " +
                        Num(cx + radius * std::cos(end)) + "," + Num(cy + radius * std::sin(end)) +
                        " Z\" fill=\"" + fill + "\" stroke=\"#fff\" stroke-width=\"1\"><title>" +
                        EscapeXml(tip) + "</title></path>";
            }
            // Percentages only on slices wide enough to hold them.
            if (sweep > 0.3) {
                const double mid = angle + sweep / 2;
                Text(cx + radius * 0.65 * std::cos(mid),
                     cy + radius * 0.65 * std::sin(mid) + px / 3, "middle", "percent", percent,
                     " fill=\"#fff\"");
            }
            if (legendRow < kMaxPieLegendRows) {
                const double y = top + px * 1.5 * static_cast<double>(legendRow + 1);
                const double box = px * 0.8;
                out_ += "<rect class=\"legend\" x=\"" + Num(areaWidth + 8) + "\" y=\"" +
                        Num(y - box) + "\" width=\"" + Num(box) + "\" height=\"" + Num(box) +
                        "\" fill=\"" + fill + "\"/>";
                Text(areaWidth + 12 + box, y, "start", "legendtext",
                     Ellipsize(slice.Label, kMaxLegendChars) + " " + percent);
            } else if (legendRow == kMaxPieLegendRows) {
                Text(areaWidth + 8, top + px * 1.5 * static_cast<double>(legendRow + 1), "start",
                     "legendtext", "\xE2\x80\xA6");
            }
            ++legendRow;
            angle += sweep;
        }
        if (skipped) Text(6, height_ - 4, "start", "note", "Values of zero or less left out.");
    }

    const ChartData& data_;
    const ChartStyle& style_;
    Font titleFont_;
    Font labelFont_;
    int width_ = 0;
    int height_ = 0;
    size_t series_ = 0;  // how many series are drawn
    std::string note_;   // what the chart leaves out, shown above the plot
    std::string out_;
};

// The length of the well-formed UTF-8 sequence at `at`, 0 when there is none.
size_t Utf8SequenceLength(std::string_view text, size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

}  // namespace

ChartKind ChartKindFromName(std::string_view name) {
    if (name == "line") return ChartKind::Line;
    if (name == "pie") return ChartKind::Pie;
    return ChartKind::Bar;
}

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        const size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            // Bytes that are no UTF-8 would make the whole drawing unreadable to an XML reader.
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        ++i;
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                // Control characters are not allowed in XML at all; they show as nothing.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') out += c;
        }
    }
    return out;
}

std::string Ellipsize(std::string_view text, size_t maxChars) {
    if (maxChars == 0) return text.empty() ? std::string() : "\xE2\x80\xA6";
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars == maxChars) {
            size_t keep = i;
            // Room for the ellipsis: the last kept character goes.
            do {
                --keep;
            } while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80);
            return std::string(text.substr(0, keep)) + "\xE2\x80\xA6";
        }
        ++chars;
    }
    return std::string(text);
}

std::string DrawChartSvg(const ChartData& data, const ChartStyle& style) {
    return SvgWriter(data, style).Chart();
}

std::string DrawChartNote(const ChartStyle& style, const std::string& note) {
    const ChartData none;
    return SvgWriter(none, style).Note(note);
}

}  // namespace orvik_chart
