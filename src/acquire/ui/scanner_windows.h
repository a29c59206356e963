// The scanner's windows in the editor: the device list (the source
// manager's choice dialog), the scan dialog built from the device's own
// options, and the progress window with its cancel button. They only show
// and collect; the device is driven by CTwain.
#pragma once

#include <wx/dialog.h>

#include <functional>
#include <string>
#include <vector>

#include "CTwain.h"

class wxGauge;
class wxStaticText;
class wxScrolledWindow;
class wxSpinCtrl;

namespace acquire {

// Device list: vendor, model, type and name of each device; `chosen` comes
// in as the device to select first and goes out as the user's choice.
// False when the user cancelled or there is no device.
bool RunDeviceListDialog(wxWindow* parent, const std::vector<SourceIdentity>& devices, SourceIdentity& chosen);

// The scan dialog: every option the device lets the user set, each with
// its constraint; values go to the device as they change. `pages` is the
// number of pages wanted from a document feeder (0 all). True for "스캔".
class ScanDialog : public wxDialog {
public:
    ScanDialog(wxWindow* parent, const SourceIdentity& device, ScanOptions& options, int pages);
    int Pages() const;

private:
    void Build();
    void AddOption(const ScanOption& o);
    void Apply(const std::string& name, const std::string& value);
    void ApplyTexts();
    void OnScan(wxCommandEvent& event);

    ScanOptions& options_;
    wxScrolledWindow* panel_ = nullptr;
    wxStaticText* error_ = nullptr;
    wxSpinCtrl* pages_ = nullptr;
    // Free-text options, applied when they lose the focus and before the scan.
    std::vector<std::pair<std::string, wxWindow*>> texts_;
    bool rebuilding_ = false;
};

// Progress of the pages being scanned, with a cancel button. The owner ends
// it with Finish() when the transfers are over.
class ScanProgressDialog : public wxDialog {
public:
    ScanProgressDialog(wxWindow* parent, std::function<void()> onCancel);
    void SetPage(int page, int percent);
    void Finish();

private:
    void Cancel();

    wxGauge* gauge_ = nullptr;
    wxStaticText* label_ = nullptr;
    std::function<void()> onCancel_;
    bool cancelled_ = false, finished_ = false;
};

}  // namespace acquire
