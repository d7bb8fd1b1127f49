// The chart plug-in: registers the sheet view type CHART and writes the page part of each sheet
// of that type as an SVG chart of the sheet's data source, placed where the sheet's table would
// stand (the layout page's placeholder included).
#include <cstdlib>
#include <string>

#include "ChartData.h"
#include "ChartSvg.h"
#include "orvik/PlugInBase.h"

namespace {

using namespace orvik_chart;

// More categories than this make bars thinner than a pixel; the chart says what it left out.
constexpr int kMaxCategories = 200;

// A chart sheet's view: the page draws the chart, so the view only marks that the sheet shows
// one (the sheet owns and deletes it).
class ChartView : public CSheetView {};

// A size a placeholder gave in pixels ("760px", "760"), or 0 for any other unit.
int PixelSize(const std::string& value) {
    if (value.empty()) return 0;
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    const std::string unit = end ? std::string(end) : std::string();
    if (!(number > 0) || (!unit.empty() && unit != "px" && unit != "PX")) return 0;
    return static_cast<int>(number);
}

int PositiveOr(const std::string& text, int fallback) {
    const int value = std::atoi(text.c_str());
    return value > 0 ? value : fallback;
}

ChartStyle StyleOf(COvInfoSheet* sheet) {
    ChartStyle style;
    style.Kind = ChartKindFromName(GetObjPropS(sheet, "ChartType"));
    style.Width = PositiveOr(GetObjPropS(sheet, "ChartWidth"), style.Width);
    style.Height = PositiveOr(GetObjPropS(sheet, "ChartHeight"), style.Height);
    const std::string title = GetObjPropS(sheet, "Title");
    if (!title.empty()) style.Title = DSetParam(title.c_str());
    if (std::string font = GetObjPropS(sheet, "hF"); !font.empty()) style.TitleFont = font;
    if (std::string font = GetObjPropS(sheet, "gF"); !font.empty()) style.LabelFont = font;
    style.TitleBackground = GetObjPropS(sheet, "hBC");
    style.Background = GetObjPropS(sheet, "gBC");
    // A placeholder with a size decides the drawing's: it is drawn at that size in pixels, or
    // scaled to fill a relative one, and spans the placeholder's width either way.
    std::string width, height;
    if (GetSheetPlaceholderSize(sheet, width, height) && (!width.empty() || !height.empty())) {
        style.FillWidth = true;
        if (const int pixels = PixelSize(width); pixels > 0) style.Width = pixels;
        if (const int pixels = PixelSize(height); pixels > 0) style.Height = pixels;
    }
    return style;
}

int SheetNumber(const COvInfoSheet* sheet) {
    for (int k = 0, count = GetSheetCount(); k < count; ++k) {
        if (GetSheetAt(k) == sheet) return k;
    }
    return -1;
}

class ChartDescriptor : public CRepPlugInBase {
  public:
    ChartDescriptor() : CRepPlugInBase("Chart", "1.0", "Sheets drawn as bar, line or pie charts") {}

    void Init() override {
        COvCombos* view = AddListType("CHART", "Chart");
        if (!view) return;
        const int group = AddPropGrpsInfo("Chart");
        const int kinds = AddUserCombo();
        AddUserComboValue(kinds, "bar", "Bars");
        AddUserComboValue(kinds, "line", "Lines");
        AddUserComboValue(kinds, "pie", "Pie");
        AddProp(view, group, "Title", "Title", "", 0, OrvikKind::Text, 0, nullptr);
        AddProp(view, group, "ChartType", "Chart Type", "bar", 0, OrvikKind::List,
                static_cast<unsigned>(kinds), nullptr);
        AddProp(view, group, "ChartWidth", "Width (pixels)", "640", 0, OrvikKind::Text, 0, nullptr);
        AddProp(view, group, "ChartHeight", "Height (pixels)", "320", 0, OrvikKind::Text, 0,
                nullptr);
        AddProp(view, group, "hF", "Title Font", "Arial,100", 0, OrvikKind::Font, 0, nullptr);
        AddProp(view, group, "hBC", "Title BG Color", "", 0, OrvikKind::Colour, 0, nullptr);
        AddProp(view, group, "gF", "Label Font", "Arial,90", 0, OrvikKind::Font, 0, nullptr);
        AddProp(view, group, "gBC", "BG Color", "255,255,255", 0, OrvikKind::Colour, 0, nullptr);
    }

    int ExportSheet(COvInfoSheet* sheet, COvInfoAct*, std::string& out) override {
        // A data source type of this plug-in would come here too; this plug-in has none.
        if (GetObjPropS(sheet, "tpVW") != "CHART") return 2;
        const ChartStyle style = StyleOf(sheet);
        COvInfoDS* source = GetSheetDS(sheet);
        std::string svg;
        if (!source) {
            svg = DrawChartNote(style, "No data source.");
        } else {
            svg = DrawChartSvg(ReadChartData(source, kMaxCategories), style);
        }
        const std::string number = std::to_string(SheetNumber(sheet));
        // The id the layout page's placeholder names, as a sheet's table carries it.
        out += "<DIV id=OrvikSheet" + number + " class=\"orvikchart sgo" + number + "\">" + svg +
               "</DIV>\n";
        return 1;
    }

    CSheetView* CreateView(COvInfoSheet*) override { return new ChartView; }
};

}  // namespace

ORVIK_PLUGIN_ENTRY(ChartDescriptor)
