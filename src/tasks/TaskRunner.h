// Runs tasks: a top-level task is a named list of steps, its steps are the entries of the
// report's task list whose parent it is, run in list order. Each step is dispatched by its type:
// a plug-in's type to the plug-in, the others through the registry of step types
// (model/TaskStep.h); a type nobody knows does nothing.
#pragma once

#include <functional>
#include <string>

class CReport;
namespace orvik {
class Run;
}
class COvInfoAct;

// What a step is about to need.
struct StepNeeds {
    bool Data = false;        // the sheets' results (their sources must have run)
    bool Page = false;        // the page an earlier step built
    bool BuildsPage = false;  // the step builds the page itself
    bool Delivers = false;    // the step sends or publishes (mail, upload, a plug-in's step)
};

// What the runner tells whoever drives the run before each step, so that the sources run and the
// page is built once, when the first step needs them. BeforeStep returns false when the step must
// not run (it has said why).
struct StepHooks {
    std::function<bool(COvInfoAct& step, const StepNeeds& needs)> BeforeStep;
};

// Runs the top-level tasks named `name` (all of them when `name` is null or empty), in list
// order. Returns how many ran.
int DoAct(orvik::Run& run, const char* name);
int DoAct(orvik::Run& run, const char* name, const StepHooks& hooks);
// Runs every top-level task.
int DoActs(orvik::Run& run);
// Runs the steps of `task`, logging "Step <name> Type=<type> " before each.
void RunAllSteps(orvik::Run& run, const COvInfoAct& task);
void RunAllSteps(orvik::Run& run, const COvInfoAct& task, const StepHooks& hooks);

// Runs a "CMD" step: the command (after substitution) through /bin/sh -c, its output logged as
// one line "CMD Output: <...>" with line breaks removed; a failing command is a failed step. A
// command still running after the "CmdTimeout" setting's seconds (0: no limit) is stopped with
// everything it started, and the step fails.
void RunCommandStep(orvik::Run& run, const COvInfoAct& step);
