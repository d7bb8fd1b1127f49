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

// Saves what `window` shows on the screen now as a PNG, for people to look at; false when it
// could not be written.
inline bool SaveWindowPicture(wxWindow& window, const wxString& path) {
    // A window just shown is mapped and painted by the X server in its own time; the picture is
    // for people, so a moment's grace decides nothing a test checks.
    window.Refresh();
    for (int round = 0; round < 30; ++round) {
        wxTheApp->Yield(true);
        wxMilliSleep(10);
    }
    window.Update();
    const wxRect area = window.GetScreenRect();
    wxBitmap shot(area.width, area.height);
    {
        wxScreenDC screen;
        wxMemoryDC memory(shot);
        memory.Blit(0, 0, area.width, area.height, &screen, area.x, area.y);
    }
    return shot.SaveFile(path, wxBITMAP_TYPE_PNG);
}

}  // namespace orvik::test
