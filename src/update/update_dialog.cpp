#include "update_dialog.h"

#include "process.h"
#include "startup_check.h"
#include "update_config.h"
#include "version_info.h"

namespace update {
namespace {
wxString U(const std::string& s) { return wxString::FromUTF8(s.c_str()); }
}  // namespace

CDlg_UpdateCheck::CDlg_UpdateCheck(wxWindow* parent, long long currentScaled, long long onlineScaled,
                                   const wxFont* uiFont)
    : CBDialog(parent, "Pimlora update", wxSize(344, 166), wxColour(214, 232, 224)) {
    (void)currentScaled;   // the editor's own version is not shown
    auto* ok = new MyShadeBtn(this, 5161, U("확 인"), wxPoint(105, 120), wxSize(60, 23));
    auto* cancel = new MyShadeBtn(this, 5162, U("취 소"), wxPoint(185, 120), wxSize(60, 23));
    for (MyShadeBtn* b : {ok, cancel}) b->SetShade(4, 8, 10, 50, wxColour(200, 240, 220));
    auto* question = new CMyTransStatic(this, 5000, U("Pimlora 신버전을 다운로드 후 설치하시겠습니까"),
                                        wxPoint(35, 80), wxSize(290, 15));
    auto* version = new CMyTransStatic(this, 5000, U(NewVersionText(onlineScaled)), wxPoint(145, 98), wxSize(100, 15));
    wxFont font = uiFont && uiFont->IsOk() ? *uiFont : wxFont(wxFontInfo(wxSize(0, 12)).FaceName(KoreanFaceName()));
    for (wxWindow* w : {static_cast<wxWindow*>(question), static_cast<wxWindow*>(version),
                        static_cast<wxWindow*>(ok), static_cast<wxWindow*>(cancel)})
        w->SetFont(font);
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_OK); });
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { EndModal(wxID_CANCEL); });
    SetEscapeId(5162);
    ok->SetFocus();
    // Enter takes the first button, Escape the second.
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_RETURN || e.GetKeyCode() == WXK_NUMPAD_ENTER) EndModal(wxID_OK);
        else if (e.GetKeyCode() == WXK_ESCAPE) EndModal(wxID_CANCEL);
        else e.Skip();
    });
}

bool RunStartupUpdateCheck(wxWindow* mainFrame, bool enabled) {
    if (!enabled) return true;
    StartupHooks hooks;
    hooks.offer = [mainFrame](long long current, long long online) {
        const wxFont* font = nullptr;
        wxFont frameFont;
        if (mainFrame) {
            frameFont = mainFrame->GetFont();
            font = &frameFont;
        }
        CDlg_UpdateCheck dlg(nullptr, current, online, font);
        return dlg.ShowModal() == wxID_OK;
    };
    hooks.startSetupfetch = [] { return StartSetupfetch(ExecutableFolder()); };
    return StartupUpdateCheck(LoadConfig(), ExecutablePath(), hooks);
}

}  // namespace update
