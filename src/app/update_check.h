// The start-up update check (src/update) with the main frame's settings:
// the options dialog's "UD" check box turns it off.
#pragma once

#include "CMainFrame.h"
#include "CVexoApp.h"
#include "update_dialog.h"

// False when the user accepted the new version and setupfetch was started:
// start-up then ends without showing the main window.
inline bool RunStartupUpdateCheck() {
    CMainFrame* frame = wxGetApp().MainFrame();
    bool enabled = !frame || frame->settings.ud == 0;
    return update::RunStartupUpdateCheck(frame, enabled);
}
