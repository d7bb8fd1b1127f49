// A task or a step: a top-level task is a named list of steps; a step points to its task and
// says by its type what to do (export the page, mail it, upload it, run a command).
#pragma once

#include "model/OvInfoObject.h"

class COvInfoAct : public COvInfoObject {
  public:
    explicit COvInfoAct(int group);

    void ShowProp();

    // Turns the open report into the page "Orvik.htm" in the HTML work folder (for "HTML" and
    // "HTMFile" steps; other types only gather the parameter panels and plug-in parts). Returns
    // 0 when the report has no sheets or a plug-in refused a sheet, else 1. (Defined with the
    // export.)
    int DoExport();

    // Delivers the exported page: as an HTML mail with its pictures inline and the task's files
    // attached ("SMTP"), or as the page and its pictures uploaded to an FTP server ("FTP").
    // Throws CZelSMTPException when the mail server fails. (Defined with the delivery.)
    void SendExport();

    // SendAfterFailure "1" on a task: its mail and upload steps run even when a data source
    // failed in the run (by default they are skipped then).
    COvInfoProp Name, AType, SendAfterFailure;
    COvInfoAct* Parent = nullptr;  // null for a top-level task
};
