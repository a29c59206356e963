// The editor's side of the update: the offer dialog and the start-up step.
#pragma once

#include <wx/wx.h>

#include "skin.h"

namespace update {

// "Pimlora 신버전을 다운로드 후 설치하시겠습니까" with the new version; OK
// (5161) ends with wxID_OK, Cancel (5162) and every other way out with
// wxID_CANCEL. Numbers are scaled by 100.
class CDlg_UpdateCheck : public CBDialog {
public:
    CDlg_UpdateCheck(wxWindow* parent, long long currentScaled, long long onlineScaled, const wxFont* uiFont);
};

// The start-up step: false only when the user accepted and setupfetch was
// started from the editor's folder. enabled false (the user turned the
// check off) makes no request. mainFrame may be null; its font is used.
bool RunStartupUpdateCheck(wxWindow* mainFrame, bool enabled);

}  // namespace update
