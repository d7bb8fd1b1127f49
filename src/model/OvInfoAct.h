// A task or a step: a top-level task is a named list of steps; a step points to its task and
// says by its type what to do (export the page, mail it, upload it, run a command).
#pragma once

#include "model/OvInfoObject.h"

class COvInfoAct : public COvInfoObject {
  public:
    explicit COvInfoAct(int group);

    void ShowProp();

    COvInfoProp Name, AType;
    COvInfoAct* Parent = nullptr;  // null for a top-level task
};
