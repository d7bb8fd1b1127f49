#include "serve/ServePages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "core/MarkupEscape.h"
#include "params/DateExpression.h"
#include "params/ParameterValueList.h"

namespace orvik::serve {
namespace {

std::string Esc(std::string_view text) {
    return EscapeMarkup(text, true);
}

constexpr char kStyle[] = R"(<style>
:root { color-scheme: light; --line: #d9dee7; --ink: #1f2933; --muted: #5f6b7a; --accent: #2f5fb3; }
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.5 system-ui, -apple-system, "Segoe UI", Roboto, sans-serif;
       color: var(--ink); background: #f5f7fa; }
header { display: flex; align-items: center; gap: 16px; padding: 10px 24px; background: #fff;
         border-bottom: 1px solid var(--line); }
header .brand { font-weight: 600; color: var(--ink); text-decoration: none; }
header .who { margin-left: auto; color: var(--muted); display: flex; gap: 10px; align-items: center; }
main { max-width: 880px; margin: 24px auto; padding: 0 24px; }
h1 { font-size: 22px; margin: 0 0 16px; }
h2 { font-size: 15px; margin: 24px 0 6px; color: var(--muted); font-weight: 600; }
.card { background: #fff; border: 1px solid var(--line); border-radius: 8px; padding: 16px 20px; }
table.list { width: 100%; border-collapse: collapse; background: #fff; border: 1px solid var(--line);
             border-radius: 8px; overflow: hidden; }
table.list th, table.list td { text-align: left; padding: 8px 12px; border-bottom: 1px solid var(--line); }
table.list th { background: #eef1f6; font-weight: 600; font-size: 13px; color: var(--muted); }
table.list td.when { color: var(--muted); font-size: 13px; white-space: nowrap; }
a { color: var(--accent); }
form.search { display: flex; gap: 8px; margin-bottom: 16px; }
input[type=text], input[type=search], input[type=password], input[type=date], select {
  font: inherit; padding: 6px 8px; border: 1px solid #b8c1cf; border-radius: 6px; background: #fff; }
input[type=search] { flex: 1; }
button { font: inherit; padding: 6px 16px; border-radius: 6px; border: 1px solid var(--accent);
         background: var(--accent); color: #fff; cursor: pointer; }
button.plain { background: #fff; color: var(--accent); }
.field { display: grid; grid-template-columns: 180px 1fr; gap: 12px; padding: 10px 0;
         border-bottom: 1px solid #eef1f6; align-items: start; }
.field:last-of-type { border-bottom: 0; }
.field label.name { font-weight: 600; padding-top: 6px; }
.field .hint { color: var(--muted); font-size: 12px; }
.checks { display: flex; flex-wrap: wrap; gap: 4px 16px; padding-top: 6px; }
.date { display: flex; gap: 8px; flex-wrap: wrap; }
.problems { background: #fdecec; border: 1px solid #f3b4b4; color: #8a1c1c; border-radius: 8px;
            padding: 10px 16px; margin-bottom: 16px; }
.actions { display: flex; gap: 8px; margin-top: 16px; }
.muted { color: var(--muted); }
</style>)";

std::string Frame(const Viewer& viewer, std::string_view title, const std::string& body,
                  std::string_view head = {}) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>" +
        Esc(title) + "</title>" + std::string(head) + kStyle + "</head><body>";
    page += "<header><a class=\"brand\" href=\"/\">Orvik reports</a>";
    if (!viewer.user.empty()) {
        page += "<span class=\"who\">" + Esc(viewer.user) +
                "<form method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"csrf\" "
                "value=\"" +
                Esc(viewer.csrf) +
                "\"><button class=\"plain\" type=\"submit\">Log out</button></form></span>";
    }
    page += "</header><main>" + body + "</main></body></html>\n";
    return page;
}

bool Contains(std::string_view text, std::string_view part) {
    const auto lower = [](char c) { return std::tolower(static_cast<unsigned char>(c)); };
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

std::vector<std::string> GivenValues(const Values& given, const std::string& name) {
    std::vector<std::string> values;
    for (const auto& [key, value] : given)
        if (key == name) values.push_back(value);
    return values;
}

std::string FieldFor(const FormParameter& parameter, const Values& given, bool haveGiven) {
    const std::string id = "p-" + UrlEncode(parameter.name, true);
    const std::vector<std::string> values = GivenValues(given, parameter.name);
    const std::string current =
        haveGiven ? (values.empty() ? "" : values.front()) : parameter.value;
    std::string field = "<div class=\"field\"><label class=\"name\" for=\"" + Esc(id) + "\">" +
                        Esc(parameter.title.empty() ? parameter.name : parameter.title) +
                        "</label><div>";
    const std::string name = Esc(parameter.name);
    if (!parameter.problem.empty()) {
        field += "<div class=\"hint\">" + Esc(parameter.problem) + "</div>";
    }
    if (parameter.secret) {
        field += "<input type=\"password\" id=\"" + Esc(id) + "\" name=\"" + name +
                 "\" autocomplete=\"off\">";
    } else if (parameter.type == "date") {
        const std::string picked = DateForPicker(current);
        field += "<div class=\"date\"><input type=\"text\" id=\"" + Esc(id) + "\" name=\"" + name +
                 "\" value=\"" + Esc(current) +
                 "\" size=\"28\" oninput=\"this.nextElementSibling.value=this.value\">"
                 "<input type=\"date\" aria-label=\"pick a date\" value=\"" +
                 Esc(picked) +
                 "\" oninput=\"this.previousElementSibling.value=this.value\"></div>"
                 "<div class=\"hint\">a date, or an expression such as ~date(d-1)~</div>";
    } else if (parameter.multiple) {
        field += "<div class=\"checks\" id=\"" + Esc(id) + "\">";
        for (const std::string& option : parameter.options) {
            const bool ticked =
                haveGiven ? std::find(values.begin(), values.end(), option) != values.end()
                          : IsEntryTicked(current, option);
            field += "<label><input type=\"checkbox\" name=\"" + name + "\" value=\"" +
                     Esc(option) + "\"" + (ticked ? " checked" : "") + "> " + Esc(option) +
                     "</label>";
        }
        field += "</div><div class=\"hint\">none ticked: the report's own choice</div>";
    } else if (parameter.type == "pcmb") {
        field += "<select id=\"" + Esc(id) + "\" name=\"" + name + "\">";
        for (const std::string& option : parameter.options) {
            field += "<option" + std::string(option == current ? " selected" : "") + ">" +
                     Esc(option) + "</option>";
        }
        field += "</select>";
    } else {
        field += "<input type=\"text\" id=\"" + Esc(id) + "\" name=\"" + name + "\" value=\"" +
                 Esc(current) + "\" size=\"40\">";
    }
    return field + "</div></div>";
}

// Characters outside ASCII as numeric references, after escaping markup.
std::string AsciiMarkup(std::string_view text) {
    const std::string escaped = Esc(text);
    std::string out;
    for (size_t i = 0; i < escaped.size();) {
        const auto byte = static_cast<unsigned char>(escaped[i]);
        if (byte < 0x80) {
            out += escaped[i++];
            continue;
        }
        const int length = byte >= 0xf0 ? 4 : byte >= 0xe0 ? 3 : byte >= 0xc0 ? 2 : 1;
        unsigned code = length == 1 ? 0xfffd : byte & (0x7f >> length);
        bool valid = length > 1 && i + length <= escaped.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(escaped[i + k]);
            if ((next & 0xc0) != 0x80) valid = false;
            code = (code << 6) | (next & 0x3f);
        }
        if (!valid) {
            code = 0xfffd;
            i += 1;
        } else {
            i += length;
        }
        out += "&#" + std::to_string(code) + ";";
    }
    return out;
}

size_t FindTagEnd(const std::string& page, std::string_view tag) {
    std::string lower(page.size(), ' ');
    std::transform(page.begin(), page.end(), lower.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    size_t at = 0;
    while ((at = lower.find(tag, at)) != std::string::npos) {
        const char after = at + tag.size() < lower.size() ? lower[at + tag.size()] : '>';
        if (after == '>' || std::isspace(static_cast<unsigned char>(after))) {
            const size_t end = page.find('>', at);
            return end == std::string::npos ? std::string::npos : end + 1;
        }
        at += tag.size();
    }
    return std::string::npos;
}

}  // namespace

std::string UrlEncode(std::string_view text, bool query) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~' ||
            (!query && c == '/')) {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string ReportUrl(std::string_view name, std::string_view suffix, const Values& values) {
    std::string url = "/r/" + UrlEncode(name, false) + std::string(suffix);
    char separator = '?';
    for (const auto& [key, value] : values) {
        url += separator + UrlEncode(key, true) + "=" + UrlEncode(value, true);
        separator = '&';
    }
    return url;
}

std::string ListPage(const Viewer& viewer, const std::vector<ListedReport>& reports,
                     std::string_view search) {
    std::string body =
        "<h1>Reports</h1><form class=\"search\" method=\"get\" action=\"/\">"
        "<input type=\"search\" name=\"q\" placeholder=\"Search titles and names\""
        " aria-label=\"Search\" value=\"" +
        Esc(search) + "\"><button type=\"submit\">Search</button></form>";
    std::map<std::string, std::vector<const ListedReport*>> byFolder;
    for (const ListedReport& report : reports) {
        if (!search.empty() && !Contains(report.title, search) && !Contains(report.name, search))
            continue;
        byFolder[report.folder].push_back(&report);
    }
    if (byFolder.empty()) body += "<p class=\"muted\">No report matches.</p>";
    for (const auto& [folder, entries] : byFolder) {
        body += "<h2>" + Esc(folder.empty() ? "/" : folder + "/") + "</h2>";
        body += "<table class=\"list\"><tr><th>Report</th><th>File</th><th>Last rendered</th></tr>";
        for (const ListedReport* report : entries) {
            body += "<tr><td><a href=\"" + Esc(ReportUrl(report->name, "", {})) + "\">" +
                    Esc(report->title.empty() ? report->name : report->title) + "</a></td><td>" +
                    Esc(report->name) + ".ovk</td><td class=\"when\">" +
                    Esc(report->lastRendered.empty() ? "not yet" : report->lastRendered) +
                    "</td></tr>";
        }
        body += "</table>";
    }
    return Frame(viewer, "Reports", body);
}

std::string FormPage(const Viewer& viewer, std::string_view name,
                     const ReportDescription& description, const Values& given,
                     const std::vector<std::string>& problems,
                     const std::vector<std::string>& tasks) {
    const std::string title = description.title.empty() ? std::string(name) : description.title;
    std::string body = "<h1>" + Esc(title) + "</h1>";
    if (!problems.empty()) {
        body += "<div class=\"problems\"><strong>The values were not accepted:</strong><ul>";
        for (const std::string& problem : problems) body += "<li>" + Esc(problem) + "</li>";
        body += "</ul></div>";
    }
    const std::string action = Esc(ReportUrl(name, "", {}));
    body += "<form class=\"card\" method=\"get\" action=\"" + action + "\">";
    body += "<input type=\"hidden\" name=\"_render\" value=\"1\">";
    const bool haveGiven = !given.empty();
    for (const FormParameter& parameter : description.parameters)
        body += FieldFor(parameter, given, haveGiven);
    if (description.parameters.empty())
        body += "<p class=\"muted\">This report has no parameters.</p>";
    body += "<div class=\"actions\"><button type=\"submit\">Render</button></div></form>";
    if (!tasks.empty()) {
        body +=
            "<h2>Tasks</h2><div class=\"card\"><p class=\"muted\">Runs the task with the "
            "report's own values.</p><div class=\"actions\">";
        for (const std::string& task : tasks) {
            body += "<form method=\"post\" action=\"" +
                    Esc(ReportUrl(name, "/task/" + UrlEncode(task, false), {})) +
                    "\"><input type=\"hidden\" name=\"csrf\" value=\"" + Esc(viewer.csrf) +
                    "\"><button class=\"plain\" type=\"submit\">Run " + Esc(task) +
                    "</button></form>";
        }
        body += "</div></div>";
    }
    return Frame(viewer, title, body);
}

std::string LoginPage(std::string_view csrf, std::string_view problem, std::string_view next) {
    std::string body = "<h1>Log in</h1>";
    if (!problem.empty()) body += "<div class=\"problems\">" + Esc(problem) + "</div>";
    body +=
        "<form class=\"card\" method=\"post\" action=\"/login\">"
        "<input type=\"hidden\" name=\"csrf\" value=\"" +
        Esc(csrf) + "\"><input type=\"hidden\" name=\"next\" value=\"" + Esc(next) +
        "\"><div class=\"field\"><label class=\"name\" for=\"user\">User</label><div>"
        "<input type=\"text\" id=\"user\" name=\"user\" autocomplete=\"username\" autofocus>"
        "</div></div><div class=\"field\"><label class=\"name\" for=\"password\">Password"
        "</label><div><input type=\"password\" id=\"password\" name=\"password\" "
        "autocomplete=\"current-password\"></div></div><div class=\"actions\">"
        "<button type=\"submit\">Log in</button></div></form>";
    return Frame({}, "Log in", body);
}

std::string ProgressPage(std::string_view title, double seconds, std::string_view refresh) {
    char elapsed[32];
    std::snprintf(elapsed, sizeof elapsed, "%.0f", seconds);
    const std::string body = "<h1>" + Esc(title) +
                             "</h1><div class=\"card\"><p>The report is being rendered (" +
                             elapsed +
                             " s so far). This page shows it as soon as it is ready.</p>"
                             "<p><a href=\"" +
                             Esc(refresh) + "\">Check now</a></p></div>";
    return Frame({}, title, body,
                 "<meta http-equiv=\"refresh\" content=\"1; url=" + Esc(refresh) + "\">");
}

std::string MessagePage(const Viewer& viewer, std::string_view title, std::string_view message) {
    return Frame(viewer, title,
                 "<h1>" + Esc(title) + "</h1><div class=\"card\"><p>" + Esc(message) +
                     "</p><p><a href=\"/\">All reports</a></p></div>");
}

std::string DecoratePage(std::string page, std::string_view base, std::string_view title,
                         const Values& values, const std::vector<BarLink>& links,
                         std::string_view renderedAt) {
    std::string bar =
        "<div id=\"orvik-serve-bar\" style=\"all:initial;display:flex;flex-wrap:wrap;gap:6px 18px;"
        "align-items:baseline;padding:8px 16px;margin:0 0 12px;background:#1f2933;color:#fff;"
        "font:13px/1.4 system-ui,sans-serif\"><a href=\"/\" style=\"color:#9fc2ff\">Reports</a>"
        "<strong style=\"font-size:14px\">" +
        AsciiMarkup(title) + "</strong><span>";
    bool first = true;
    for (const auto& [name, value] : values) {
        bar += std::string(first ? "" : ", ") + AsciiMarkup(name) + " = " + AsciiMarkup(value);
        first = false;
    }
    bar += "</span>";
    for (const BarLink& link : links) {
        bar += "<a style=\"color:#9fc2ff\" href=\"" + AsciiMarkup(link.href) + "\">" +
               AsciiMarkup(link.label) + "</a>";
    }
    bar += "<span style=\"margin-left:auto;color:#c5ccd6\">rendered " + AsciiMarkup(renderedAt) +
           "</span></div>";
    const std::string baseTag = "<base href=\"" + AsciiMarkup(base) + "\">";
    size_t head = FindTagEnd(page, "<head");
    if (head == std::string::npos) {
        page.insert(0, baseTag);
    } else {
        page.insert(head, baseTag);
    }
    const size_t body = FindTagEnd(page, "<body");
    page.insert(body == std::string::npos ? page.find('>', page.find(baseTag)) + 1 : body, bar);
    return page;
}

std::string DateForPicker(std::string_view value) {
    std::string text(value);
    // Only what a date parameter would take.
    if (WhyNotADate(text)) return {};
    if (text.size() == 10 && text[4] == '-' && text[7] == '-') return text;
    constexpr std::string_view open = "~date(";
    if (text.rfind(open, 0) != 0 || text.size() < open.size() + 2 ||
        text.compare(text.size() - 2, 2, ")~") != 0)
        return {};
    const std::string inner = text.substr(open.size(), text.size() - open.size() - 2);
    // The parts as written, in their order (a week form must come first), with our format.
    std::string expression;
    size_t start = 0;
    while (start <= inner.size()) {
        size_t end = inner.find(';', start);
        if (end == std::string::npos) end = inner.size();
        const std::string part = inner.substr(start, end - start);
        if (!part.empty() && part.rfind("f=", 0) != 0) expression += part + ";";
        start = end + 1;
    }
    expression += "f=%Y-%m-%d";
    const DateEvaluation date = EvaluateDateExpression(expression);
    return date.Error.empty() && date.Text.size() == 10 ? date.Text : std::string();
}

}  // namespace orvik::serve
