// orvik-format-doc: writes the report-format reference from its template and the property schema.
//
//   orvik-format-doc [--template FILE] [--output FILE]
//
// The schema is built the way the program builds it at start-up, in a program folder of its own
// (a temporary one, removed afterwards): building it empties the HTML work folder and writes the
// settings back, neither of which may touch a real installation, and the page must not depend on
// the language files or settings of the machine it is made on. Anything the schema would show a
// person while it is built means the schema is broken, so the page is not written.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "FormatDoc.h"
#include "core/FrontEnd.h"
#include "core/Paths.h"
#include "model/AppContext.h"
#include "model/Registries.h"

#ifndef ORVIK_FORMAT_DOC_TEMPLATE
#define ORVIK_FORMAT_DOC_TEMPLATE "docs/report-format.md.in"
#endif

namespace {

class CollectingFrontEnd : public orvik::FrontEnd {
  public:
    orvik::MessageBoxResult ShowMessageBox(std::string_view text, std::string_view,
                                           orvik::MessageBoxButtons,
                                           orvik::MessageBoxIcon) override {
        Messages.emplace_back(text);
        return orvik::MessageBoxResult::Ok;
    }
    std::vector<std::string> Messages;
};

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvik-format-doc-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
        path_ = orvik::WithTrailingSlash(pattern);
    }
    ~TemporaryFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

int Usage(std::ostream& out, int status) {
    out << "usage: orvik-format-doc [--template FILE] [--output FILE]\n"
           "Writes the report-format reference (Markdown) from the template (default "
        << ORVIK_FORMAT_DOC_TEMPLATE << ") and the property schema, to FILE or standard output.\n";
    return status;
}

std::string Generate(const std::string& templateText) {
    TemporaryFolder home;
    auto front = std::make_unique<CollectingFrontEnd>();
    CollectingFrontEnd& messages = *front;
    orvik::AppContext context(
        orvik::AppContextOptions{home.Path(), home.Path() + "settings.ini", std::move(front)});
    BuildSchema(context.Registries(), context.Settings());
    orvik::formatdoc::FormatReference reference(context);
    std::string page = reference.Fill(templateText);
    if (!messages.Messages.empty())
        throw orvik::formatdoc::FormatDocError("building the schema said: " +
                                               messages.Messages.front());
    return page;
}

}  // namespace

int main(int argc, char** argv) {
    std::string templatePath = ORVIK_FORMAT_DOC_TEMPLATE;
    std::string outputPath;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") return Usage(std::cout, 0);
        if (i + 1 < args.size() && (args[i] == "--template" || args[i] == "-t")) {
            templatePath = args[++i];
        } else if (i + 1 < args.size() && (args[i] == "--output" || args[i] == "-o")) {
            outputPath = args[++i];
        } else {
            std::cerr << "orvik-format-doc: unknown argument '" << args[i] << "'\n";
            return Usage(std::cerr, 2);
        }
    }
    std::string templateText;
    if (!orvik::ReadWholeFile(templatePath, templateText)) {
        std::cerr << "orvik-format-doc: cannot read the template " << templatePath << "\n";
        return 1;
    }
    try {
        const std::string page = Generate(templateText);
        if (outputPath.empty()) {
            std::cout << page << std::flush;
            return std::cout ? 0 : 1;
        }
        if (const std::string problem = orvik::WriteFileAtomically(outputPath, page);
            !problem.empty()) {
            std::cerr << "orvik-format-doc: cannot write " << outputPath << ": " << problem << "\n";
            return 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "orvik-format-doc: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
