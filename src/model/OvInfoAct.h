// A task or a step: a top-level task is a named list of steps; a step points to its task and
// says by its type what to do (export the page, mail it, upload it, run a command).
#pragma once

#include "model/OvInfoObject.h"

class COvInfoAct : public COvInfoObject {
  public:
    COvInfoAct(CRegistries* registries, int group);

    void ShowProp(orvik::FrontEnd& front);

    // SendAfterFailure "1" on a task: its mail and upload steps run even when a data source
    // failed in the run (by default they are skipped then).
    COvInfoProp Name, AType, SendAfterFailure;
    COvInfoAct* Parent = nullptr;  // null for a top-level task
};
