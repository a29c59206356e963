#include "single_instance.h"

#include <wx/filename.h>
#include <wx/ipc.h>
#include <wx/snglinst.h>
#include <wx/utils.h>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace {

const char* kTopic = "open";

// "<folder>/pimlora-<display>.sock" with the display's ':' and '.' kept out
// of the name.
wxString KeyFor(const std::string& folder, const char* suffix) {
    wxString display = wxGetenv("DISPLAY");
    if (display.empty()) display = wxGetenv("WAYLAND_DISPLAY");
    wxString key;
    for (wxUniChar c : display) key += wxIsalnum(c) ? c : wxUniChar('_');
    return wxString::FromUTF8(folder) + "/pimlora-" + key + suffix;
}

class OpenConnection : public wxConnection {
public:
    explicit OpenConnection(std::function<void(const std::vector<wxString>&)> open) : open_(std::move(open)) {}

    // One execute: the file names, separated by '\n' (an empty text brings
    // the editor to the front).
    bool OnExecute(const wxString&, const void* data, size_t size, wxIPCFormat format) override {
        wxString text = GetTextFromData(data, size, format);
        std::vector<wxString> files;
        for (const wxString& line : wxSplit(text, '\n', 0))
            if (!line.empty()) files.push_back(line);
        // Opening shows windows and may ask questions: not inside the
        // socket's own event.
        auto open = open_;
        wxTheApp->CallAfter([open, files] { open(files); });
        return true;
    }

private:
    std::function<void(const std::vector<wxString>&)> open_;
};

class OpenServer : public wxServer {
public:
    explicit OpenServer(std::function<void(const std::vector<wxString>&)> open) : open_(std::move(open)) {}
    wxConnectionBase* OnAcceptConnection(const wxString& topic) override {
        return topic == kTopic ? new OpenConnection(open_) : nullptr;
    }

private:
    std::function<void(const std::vector<wxString>&)> open_;
};

}  // namespace

SingleInstance::SingleInstance(std::function<void(const std::vector<wxString>&)> open) : open_(std::move(open)) {}

SingleInstance::~SingleInstance() {
    server_.reset();
    checker_.reset();
}

bool SingleInstance::HandOver(const std::vector<wxString>& files, const std::string& userFolder) {
    const wxString socket = KeyFor(userFolder, ".sock");
    const wxFileName lock(KeyFor(userFolder, ".lock"));
    checker_ = std::make_unique<wxSingleInstanceChecker>(lock.GetFullName(), lock.GetPath());
    if (checker_->IsAnotherRunning()) {
        wxString text;
        for (const wxString& f : files) {
            wxFileName name(f);
            name.MakeAbsolute();
            text += name.GetFullPath() + "\n";
        }
        // The running editor may still be starting: its socket comes a
        // moment after its lock.
        wxClient client;
        for (int attempt = 0; attempt < 40; ++attempt) {
            std::unique_ptr<wxConnectionBase> c(client.MakeConnection("localhost", socket, kTopic));
            if (c) {
                const bool sent = c->Execute(text);
                c->Disconnect();
                if (sent) return true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        // Nobody answers: the other editor hangs or is not ours; this one
        // runs on its own and serves nobody.
        checker_.reset();
        return false;
    }
    // This editor serves later starts. A socket file left by an editor that
    // ended without removing it is stale: we hold the lock now.
    std::error_code ec;
    std::filesystem::remove(std::string(socket.utf8_str()), ec);
    server_ = std::make_unique<OpenServer>(open_);
    if (!server_->Create(socket)) server_.reset();
    return false;
}
