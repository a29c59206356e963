// The options dialog "환경설정" (CDlg_SetEnvironment): edits copies of the
// settings and writes them back only on OK.
#pragma once

#include <wx/wx.h>

#include "app_config.h"

// The 16 swatch colours (red in the low byte), in control order.
extern const int32_t kSwatchColours[16];

// The dialog's values and their OK rules (OptionsValues, ApplyOptions) are
// in app_config.h, without windows.

// True when OK was pressed (settings then changed).
bool RunOptionsDialog(wxWindow* parent, AppSettings& settings);
