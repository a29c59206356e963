// The options dialog "환경설정" (CDlg_SetEnvironment): edits copies of the
// settings and writes them back only on OK.
#pragma once

#include <wx/wx.h>

#include "app_config.h"

// The 16 swatch colours (red in the low byte), in control order.
extern const int32_t kSwatchColours[16];

// Applies the OK rules to the dialog's values; exposed for tests.
struct OptionsValues {
    int gridGapText = 16;      // the number typed in the edit box
    int32_t gridColour = 0, pathSeg = 0, pathPoint = 0;
    int backdrop = 3;          // 0-5
    int cursorButton = 0;      // 0-4
    bool showBrowser = false, tintedSelection = false, startupOption = false;
};
void ApplyOptions(const OptionsValues& v, AppSettings& s);

// True when OK was pressed (settings then changed).
bool RunOptionsDialog(wxWindow* parent, AppSettings& settings);
