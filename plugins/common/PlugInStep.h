// What the plug-ins' export steps share: log lines and errors that name the step (and the
// plug-in's file as their source, since the path of the source file it was built from means
// nothing where it runs), and the rules for the file a step writes. Compiled into each plug-in
// that uses it; it calls nothing but the plug-in interface.
#pragma once

#include <string>

namespace plugin {

class PlugInStep {
  public:
    // A step of `type` ("XLSX", "PDF") named `name`, run by the plug-in in `plugInFile`
    // (`fallbackFile` while the program has not told it its file name).
    PlugInStep(std::string type, std::string name, const std::string& plugInFile,
               const char* fallbackFile);

    const std::string& Name() const { return name_; }
    const std::string& Type() const { return type_; }
    // Reports a failure of the step ("<TYPE> step <name>: <message>"); the run counts as failed.
    void Error(const std::string& message, int line) const;
    // Adds a line to the log as it stands.
    void Log(const std::string& message, int line) const;

    // The file the step writes for its OutFile value `stored` (`defaultName` when empty), or ""
    // after reporting why it may not. Backslashes of a report made on Windows become "/"; a
    // parameter may change where in the work folder the file goes but never lead out of it: no
    // ".." at all, and an absolute name only when the report itself wrote one.
    std::string OutFilePath(const std::string& stored, const char* defaultName) const;
    // Makes the folder of `target` when it is missing (and logs that); false after reporting why
    // it could not.
    bool MakeFolderOf(const std::string& target) const;

  private:
    std::string type_;
    std::string name_;
    std::string file_;
};

// The folder part of `path`, with its trailing "/" ("./" when there is none).
std::string FolderOf(const std::string& path);

}  // namespace plugin
