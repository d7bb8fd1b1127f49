// The front end of an unattended run: nobody is there to click, so every message box becomes a
// log line and is answered with its safe default (No, Cancel, OK).
#pragma once

#include "core/FrontEnd.h"

namespace orvik {

class Run;

class BatchFrontEnd : public FrontEnd {
  public:
    // Message boxes go to `run`'s log.
    explicit BatchFrontEnd(Run& run) : run_(run) {}

    MessageBoxResult ShowMessageBox(std::string_view text, std::string_view caption,
                                    MessageBoxButtons buttons, MessageBoxIcon icon) override;

  private:
    Run& run_;
};

// The answer a message box gets when nobody is there to choose.
MessageBoxResult DefaultAnswer(MessageBoxButtons buttons);

}  // namespace orvik
