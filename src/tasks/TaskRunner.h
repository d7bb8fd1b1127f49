// Runs tasks: a top-level task is a named list of steps, its steps are the entries of the
// report's task list whose parent it is, run in list order. Each step is dispatched by its type:
// a plug-in's type to the plug-in, then "GRP", "CMD", "HTML", "HTMFile", "SMTP", "FTP".
#pragma once

#include <string>

class CReport;
class COvInfoAct;

// Runs the top-level tasks named `name` (all of them when `name` is null or empty), in list
// order. Returns how many ran.
int DoAct(CReport& report, const char* name);
// Runs every top-level task.
int DoActs(CReport& report);
// Runs the steps of `task`, logging "Step <name> Type=<type> " before each.
void RunAllSteps(CReport& report, const COvInfoAct& task);

// Runs a "CMD" step: the command (after substitution) through /bin/sh -c, its output logged as
// one line "CMD Output: <...>" with line breaks removed; a failing command is a failed step. A
// command still running after the "CmdTimeout" setting's seconds (0: no limit) is stopped with
// everything it started, and the step fails.
void RunCommandStep(const COvInfoAct& step);
