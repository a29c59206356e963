// One editor per user and display: a second `pimlora FILE...` hands its
// files to the editor that already runs (which opens each as a new document
// window and comes to the front) and ends.
//
// wx's single-instance checker tells whether an editor runs; the hand-over
// goes through a local (Unix domain) socket of wx's IPC classes in the
// per-user folder, so nothing is reachable from another user or machine.
// Both are keyed by the per-user folder and the display, so an editor on
// another display, or with another $PIMLORA_HOME, is an editor of its own.
#pragma once

#include <wx/ipc.h>
#include <wx/snglinst.h>
#include <wx/string.h>

#include <functional>
#include <memory>
#include <vector>


class SingleInstance {
public:
    // `open` is called on the user-interface thread with the files another
    // start handed over (absolute paths; empty: just come to the front).
    explicit SingleInstance(std::function<void(const std::vector<wxString>&)> open);
    ~SingleInstance();

    // True when another editor took the files (this start must end). Else
    // this editor becomes the one that serves later starts.
    bool HandOver(const std::vector<wxString>& files, const std::string& userFolder);

private:
    std::function<void(const std::vector<wxString>&)> open_;
    std::unique_ptr<wxSingleInstanceChecker> checker_;
    std::unique_ptr<wxServer> server_;
};
