// The image browser in the editor: a dockable panel made once at start-up,
// hidden (or shown at start when the configuration asks for it), and the
// open command's browser mode.
#pragma once

class CMainFrame;

// Shows the browser with the remembered folder when it is hidden, hides it
// otherwise; false when there is no browser panel.
bool ToggleImageBrowser(CMainFrame& frame);
