#include "tasks/MailRendering.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Log.h"
#include "core/Paths.h"
#include "core/Run.h"
#include "model/OvInfoAct.h"
#include "model/Registries.h"
#include "model/TaskStep.h"
#include "tasks/HtmlExport.h"

namespace orvik {
namespace {

// Markup is matched without regard to case; only ASCII letters are folded, so offsets stay put.
std::string ToLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// Where the rendered pictures and the PDF go, inside the work folder (which every run empties).
constexpr char kFolder[] = "mail/";

// A mail that cannot be made as asked: reported like any failed delivery, or handed back to a
// caller that mails many times over (`failure` not null).
void Fail(Run& run, const std::string& message, std::string* failure) {
    if (failure) {
        *failure = message;
        return;
    }
    run.NoteError(message);
    if (run.BatchMode)
        UxSaveLog(run, message, __FILE__, __LINE__);
    else
        ShowMessage(run, message);
}

// Runs a step of the plug-in type `type` that writes `output` (relative to the work folder),
// with `properties` set on it. True when the file is there afterwards.
bool RunRenderStep(Run& run, const COvInfoAct& step, const std::string& type,
                   const std::vector<std::pair<std::string, std::string>>& properties,
                   const std::string& output, std::string* failure) {
    TaskStep* kind = run.Registries().Types.Steps.Find(type);
    const std::string option = type == "PDF" ? "AttachPdf" : "BodyPictures";
    if (!kind) {
        Fail(run,
             "Error: " + option + " of the step " + step.Name.Value +
                 " needs the plug-in Pdf.rll (its step type " + type +
                 "), which is not loaded: the mail was not sent",
             failure);
        return false;
    }
    COvInfoAct render(&run.Registries(), GroupId::Task);
    render.Name.Value = step.Name.Value + " (" + option + ")";
    render.AType.Value = type;
    run.Registries().PrepareNewCombo(render.AType, render.Props, true);
    for (const auto& [name, value] : properties) {
        if (COvInfoProp* prop = render.GetPropByName(name)) prop->Value = value;
    }
    if (COvInfoProp* timeout = render.GetPropByName("Timeout"))
        timeout->Value = step.Get("RenderTimeout");
    const std::string path = run.Registries().HtmlFolder + output;
    std::error_code error;
    std::filesystem::remove(path, error);
    const int errorsBefore = run.ErrorCount();
    kind->Run(run, render, 0);
    if (run.ErrorCount() == errorsBefore && std::filesystem::is_regular_file(path, error))
        return true;
    // The render step reported its own failure; a caller mailing many gets the reason too.
    if (failure)
        *failure = "Error: " + option + " of the step " + step.Name.Value + ": the " + type +
                   " could not be made (see the lines before)";
    return false;
}

// The value of attribute `name` in the start tag `tag` ("" when absent).
std::string AttributeOf(const std::string& tag, const std::string& name) {
    const std::string lower = ToLower(tag);
    for (size_t at = lower.find(name); at != std::string::npos; at = lower.find(name, at + 1)) {
        const char before = lower[at - 1];
        size_t i = at + name.size();
        if (before != ' ' && before != '\t' && before != '\n') continue;
        while (i < lower.size() && lower[i] == ' ') ++i;
        if (i >= lower.size() || lower[i] != '=') continue;
        ++i;
        while (i < lower.size() && lower[i] == ' ') ++i;
        const char quote = i < lower.size() && (lower[i] == '"' || lower[i] == '\'') ? lower[i] : 0;
        if (quote) ++i;
        const size_t end = quote ? tag.find(quote, i) : tag.find_first_of(" >\t\n/", i);
        return tag.substr(i, end == std::string::npos ? std::string::npos : end - i);
    }
    return {};
}

// A whole number of pixels from an SVG size attribute ("640", "640px"); false for anything else
// ("100%", "12em").
bool Pixels(const std::string& value, int& out) {
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (end == value.c_str() || (*end != '\0' && std::string_view(end) != "px") || number < 1 ||
        number > 10000)
        return false;
    out = static_cast<int>(number);
    return true;
}

// The size a chart is drawn at, in pixels: its width and height attributes, else its viewBox's (a
// chart that fills its layout's placeholder is written width="100%" over a viewBox of the size
// it was drawn for), else the chart plug-in's default size.
void ChartSize(const std::string& tag, int& width, int& height) {
    double box[4] = {0, 0, 640, 320};
    std::string viewBox = AttributeOf(tag, "viewbox");
    std::replace(viewBox.begin(), viewBox.end(), ',', ' ');
    const bool boxed =
        !viewBox.empty() &&
        std::sscanf(viewBox.c_str(), "%lf %lf %lf %lf", &box[0], &box[1], &box[2], &box[3]) == 4 &&
        box[2] >= 1 && box[3] >= 1 && box[2] <= 10000 && box[3] <= 10000;
    if (!boxed) box[2] = 640, box[3] = 320;
    if (!Pixels(AttributeOf(tag, "width"), width)) width = static_cast<int>(box[2]);
    if (!Pixels(AttributeOf(tag, "height"), height))
        height = static_cast<int>(width * box[3] / box[2]);
}

}  // namespace

bool ChartsAsPictures(Run& run, const COvInfoAct& step, std::string& html, std::string* failure) {
    const std::string lower = ToLower(html);
    std::string out;
    size_t copied = 0;
    int number = 0;
    for (size_t start = lower.find("<svg"); start != std::string::npos;
         start = lower.find("<svg", start + 1)) {
        const size_t end = lower.find("</svg>", start);
        const size_t tagEnd = lower.find('>', start);
        if (end == std::string::npos || tagEnd == std::string::npos) break;
        const std::string svg = html.substr(start, end + 6 - start);
        const std::string tag = html.substr(start, tagEnd + 1 - start);
        int width = 0, height = 0;
        ChartSize(tag, width, height);
        const std::string name = kFolder + std::string("chart") + std::to_string(++number);
        // The chart alone on a page of its own size, white behind it as on the page.
        const std::string page =
            "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>html,body{margin:0;"
            "padding:0;background:#fff}svg{display:block}</style></head><body>" +
            svg + "</body></html>";
        std::filesystem::create_directories(run.Registries().HtmlFolder + kFolder);
        UxWriteFile(run, run.Registries().HtmlFolder + name + ".htm", page);
        if (!RunRenderStep(run, step, "PNG",
                           {{"OutFile", name + ".png"},
                            {"Page", name + ".htm"},
                            {"Width", std::to_string(width)},
                            {"Scale", "1"}},
                           name + ".png", failure))
            return false;
        out.append(html, copied, start - copied);
        out += "<img src=\"" + name + ".png\" width=\"" + std::to_string(width) + "\" height=\"" +
               std::to_string(height) + "\" alt=\"chart " + std::to_string(number) + "\">";
        copied = end + 6;
        start = end;
    }
    if (number == 0) return true;
    out.append(html, copied, std::string::npos);
    html = std::move(out);
    UxSaveLog(run,
              "Mail step " + step.Name.Value + ": " + std::to_string(number) +
                  (number == 1 ? " chart goes" : " charts go") + " as pictures (BodyPictures)",
              __FILE__, __LINE__);
    return true;
}

std::string PageAsPdf(Run& run, const COvInfoAct& step, std::string* failure) {
    const std::string page = PageFilePath(run);
    std::string bytes;
    if (!ReadWholeFile(page, bytes)) {
        Fail(run,
             "Error: AttachPdf of the step " + step.Name.Value + ": the page " + page +
                 " cannot be read",
             failure);
        return {};
    }
    // The PDF of this very page may have been made already: a key file beside it names the page
    // it was made from (the work folder is the run's own, emptied when a report starts). What
    // goes out is a copy, since a mail removes the one file it attaches once it is sent.
    const std::string folder = run.Registries().HtmlFolder + kFolder;
    const std::string rendered = kFolder + std::string("rendered/Orvik.pdf");
    const std::string keyPath = folder + "rendered/page-key";
    const std::string key = std::to_string(std::hash<std::string>{}(bytes));
    std::string known;
    std::error_code error;
    if (ReadWholeFile(keyPath, known) && known == key &&
        std::filesystem::is_regular_file(run.Registries().HtmlFolder + rendered, error)) {
        UxSaveLog(
            run, "Mail step " + step.Name.Value + ": attaches the PDF made before of the same page",
            __FILE__, __LINE__);
    } else {
        std::filesystem::remove(keyPath, error);
        if (!RunRenderStep(run, step, "PDF", {{"OutFile", rendered}}, rendered, failure)) return {};
        std::ofstream(keyPath, std::ios::binary | std::ios::trunc) << key;
    }
    const std::string attached = folder + "Orvik.pdf";
    std::filesystem::copy_file(run.Registries().HtmlFolder + rendered, attached,
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        Fail(run,
             "Error: AttachPdf of the step " + step.Name.Value + ": cannot copy the PDF to " +
                 attached + ": " + error.message(),
             failure);
        return {};
    }
    return attached;
}

}  // namespace orvik
