// The step types a task can hold ("HTML", "HTMFile", "GRP", "CMD", "SMTP", "FTP"), each one class
// registered by its type name. The task runner looks a step's type up here instead of comparing
// names, so a new step type is one new file with its registration line (TaskStepRegistration).
// A program copies these and adds an entry for each step type a plug-in brings (TypeRegistries).
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "core/NamedRegistry.h"
#include "model/TypeEntry.h"

class COvInfoAct;
class CReport;

namespace orvik {

class Run;

class TaskStep : public TypeEntry {
  public:
    // Runs `step`, which stands at `position` in the report's task list.
    virtual void Run(orvik::Run& run, COvInfoAct& step, size_t position) = 0;

    // True when the step reads the sheets' results (their sources must have run).
    virtual bool NeedsData() const { return false; }
    // True when the step delivers the page an earlier step built (it is built first when none
    // has been yet).
    virtual bool NeedsPage() const { return false; }
    // True when the step builds the page itself (later steps deliver that one).
    virtual bool BuildsPage() const { return false; }
    // True for a step that sends or publishes what the run made (mail, upload).
    virtual bool Delivers() const { return false; }

    // True when an export by a step of this type makes each sheet's part its own way
    // (ExportSheetItself) instead of the program's tables; such a page is never streamed.
    virtual bool ExportsSheetsItself() const { return false; }
    virtual void ExportSheetItself(orvik::Run& /*run*/, COvInfoAct& /*step*/) {}
    // Delivers `step` its own way; false leaves it to the program's mail and upload.
    virtual bool Deliver(orvik::Run& /*run*/, COvInfoAct& /*step*/) { return false; }
};

class TaskStepRegistry : public NamedRegistry<TaskStep> {
  public:
    // The step types built into the program, each registered by its own file.
    static TaskStepRegistry& Builtin();

    // The step type named `type`, or null when there is none.
    TaskStep* Find(std::string_view type) const { return Lookup(type); }
};

// Registers a built-in step type when the program starts: one line at the end of its file,
// `static const orvik::TaskStepRegistration<CommandStep> kCommand("CMD");`.
template <typename Step>
struct TaskStepRegistration {
    explicit TaskStepRegistration(std::string_view type) {
        TaskStepRegistry::Builtin().Register(type, std::make_unique<Step>());
    }
};

}  // namespace orvik
