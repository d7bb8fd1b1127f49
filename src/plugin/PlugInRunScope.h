// The run a plug-in works for while the program calls into it. The plug-in interface is a set of
// plain functions (GetSheetCount, DSetParam, UxSaveLog, ...) that take no run; each finds the run
// of the calling thread, which the program sets around every call into a plug-in. Outside such a
// call (a thread of the plug-in's own) they see none and do nothing.
#pragma once

namespace orvik {

class Run;

class PlugInRunScope {
  public:
    explicit PlugInRunScope(Run& run);
    ~PlugInRunScope();
    PlugInRunScope(const PlugInRunScope&) = delete;
    PlugInRunScope& operator=(const PlugInRunScope&) = delete;

  private:
    Run* outer_;
};

}  // namespace orvik
