// Helpers for driving real windows deterministically: events are processed until the queue is
// empty, never waited for with a sleep.
#pragma once

#include <wx/wx.h>

namespace orvik::test {

// Handles every pending event (and the idle events they cause) of the running application.
inline void ProcessPendingEvents() {
    // A handled event may post further ones (a refill after an edit), so a few rounds.
    for (int round = 0; round < 8; ++round) {
        wxTheApp->ProcessPendingEvents();
        wxTheApp->Yield(true);
    }
}

}  // namespace orvik::test
