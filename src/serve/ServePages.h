// The server's own pages: the report list, a report's parameter form, the login form, the page
// shown while a report renders, error pages, and the bar put on top of a rendered report. Plain
// HTML and CSS; the form's date fields use a few lines of script to copy a picked date into the
// field, which works without it too. Every text from a report, a user or a request is escaped.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serve/ReportRender.h"

namespace orvik::serve {

using Values = std::vector<std::pair<std::string, std::string>>;

// `text` percent-encoded for a URL path (slashes kept) or a query (`query`: everything but
// unreserved characters encoded).
std::string UrlEncode(std::string_view text, bool query);
// "/r/<name>?a=1&b=2" for the values given.
std::string ReportUrl(std::string_view name, std::string_view suffix, const Values& values);

// Who is looking, for the header of each page.
struct Viewer {
    std::string user;  // "" when nobody logs in
    std::string csrf;  // the session's token, for the forms that change something
};

struct ListedReport {
    std::string name;
    std::string folder;
    std::string title;
    std::string lastRendered;  // "" = not yet
};

std::string ListPage(const Viewer& viewer, const std::vector<ListedReport>& reports,
                     std::string_view search);

struct TaskButton {
    std::string name;
};

// The form of report `name`; `given` are values of an earlier attempt, `problems` why they were
// refused.
std::string FormPage(const Viewer& viewer, std::string_view name,
                     const ReportDescription& description, const Values& given,
                     const std::vector<std::string>& problems,
                     const std::vector<std::string>& tasks);

std::string LoginPage(std::string_view csrf, std::string_view problem, std::string_view next);

// The page a report's long render shows: it reloads `refresh` every second.
std::string ProgressPage(std::string_view title, double seconds, std::string_view refresh);

std::string MessagePage(const Viewer& viewer, std::string_view title, std::string_view message);

struct BarLink {
    std::string label;
    std::string href;
};

// The rendered `page` with the bar after its body tag and a base for its pictures (`base`, a
// folder URL). The bar is written in ASCII (other characters as references), so it reads the
// same whatever charset the page declares.
std::string DecoratePage(std::string page, std::string_view base, std::string_view title,
                         const Values& values, const std::vector<BarLink>& links,
                         std::string_view renderedAt);

// A date text for a date input (YYYY-MM-DD) from a parameter's value or date expression; "" when
// it gives none.
std::string DateForPicker(std::string_view value);

}  // namespace orvik::serve
