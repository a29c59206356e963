#include "CTwain.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "VaZavi.h"
#include "frame_assembler.h"

namespace acquire {

namespace {
// Bytes asked of the device per read.
constexpr SANE_Int kReadChunk = 1 << 20;
}  // namespace

CTwain::CTwain() = default;

CTwain::~CTwain() { ReleaseScannerManager(); }

void CTwain::FillAppIdentity() {
    appIdentity = AppIdentity{};
    appIdentity.id = 0;
    appIdentity.versionMajor = 1;
    appIdentity.versionMinor = 1;
    appIdentity.versionInfo = "1.1";
    appIdentity.language = 13;   // TWLG_ENGLISH_USA
    appIdentity.country = 1;     // TWCY_USA
    appIdentity.protocolMajor = 1;
    appIdentity.protocolMinor = 8;
    appIdentity.supportedGroups = 3;   // DG_CONTROL | DG_IMAGE
    appIdentity.manufacturer = appIdentity.productFamily = appIdentity.productName = "vor";
}

bool CTwain::Call(SANE_Status status) {
    lastReturnCode = int(status);
    if (status != SANE_STATUS_GOOD) lastCondition = sane_.StatusText(status);
    return status == SANE_STATUS_GOOD;
}

bool CTwain::StartScannerManager(void* parent) {
    if (sane_.Loaded()) return true;
    appIdentity = AppIdentity{};
    parentWindow = parent;
    if (!sane_.Load()) {
        lastReturnCode = 1;
        lastCondition = sane_.Error();
        return false;   // the program simply cannot scan
    }
    FillAppIdentity();
    SANE_Int version = 0;
    managerOpen = Call(sane_.init(&version, nullptr));
    return true;
}

void CTwain::ReleaseScannerManager() {
    if (!sane_.Loaded()) return;
    if (managerOpen) {
        if (sourceEnabled) StopScannerUI();
        CloseSource();
        sane_.exit();
        managerOpen = false;
    }
    sane_.Unload();
}

std::vector<SourceIdentity> CTwain::Devices() {
    std::vector<SourceIdentity> out;
    if (!sane_.Loaded() || !managerOpen) {
        lastReturnCode = 1;
        return out;
    }
    const SANE_Device** list = nullptr;
    if (!Call(sane_.get_devices(&list, SANE_FALSE)) || !list) return out;
    for (int i = 0; list[i] && i < 1000; ++i) {
        const SANE_Device* d = list[i];
        if (!d->name) continue;
        out.push_back({d->name, d->vendor ? d->vendor : "", d->model ? d->model : "", d->type ? d->type : ""});
    }
    return out;
}

bool CTwain::TakeDefaultSource() {
    if (!sane_.Loaded() || !managerOpen) {
        lastReturnCode = 1;
        return false;
    }
    const std::string remembered = DefaultSourceName();
    if (!remembered.empty()) {
        sourceIdentity = {remembered, "", "", ""};
        for (const SourceIdentity& d : Devices())
            if (d.name == remembered) sourceIdentity = d;
        lastReturnCode = 0;
        return true;
    }
    std::vector<SourceIdentity> devices = Devices();
    if (devices.empty()) {
        lastCondition = "no scanner found";
        return false;
    }
    sourceIdentity = devices.front();
    return true;
}

bool CTwain::SelectSource(const std::vector<SourceIdentity>&, SourceIdentity&) { return false; }

bool CTwain::ChooseScanner() {
    sourceIdentity = SourceIdentity{};
    if (!sourceKnown) sourceKnown = TakeDefaultSource();
    if (!sane_.Loaded() || !managerOpen) return sourceKnown;
    SourceIdentity chosen = sourceIdentity;
    if (SelectSource(Devices(), chosen) && !chosen.Empty()) {
        sourceIdentity = chosen;
        sourceKnown = true;
    }
    return sourceKnown;
}

bool CTwain::OpenScanner(const SourceIdentity* source) {
    if (source) {
        if (sourceOpen && source->name != sourceIdentity.name) CloseSource();
        sourceIdentity = *source;
        sourceKnown = !sourceIdentity.Empty();
    }
    if (sane_.Loaded() && managerOpen && !sourceOpen) {
        const bool wasKnown = sourceKnown && !sourceIdentity.Empty();
        if (!wasKnown) sourceKnown = TakeDefaultSource();
        if (sourceKnown && !sourceIdentity.Empty()) {
            SANE_Handle h = nullptr;
            sourceOpen = Call(sane_.open(sourceIdentity.name.c_str(), &h)) && h;
            if (sourceOpen) {
                handle_ = h;
                options_ = std::make_unique<ScanOptions>(sane_, handle_);
                options_->Reload();
            } else if (wasKnown) {
                ShowMessage(kCannotConnect);
            }
        }
    }
    return sane_.Loaded() && managerOpen && sourceOpen;
}

void CTwain::CloseSource() {
    if (!sourceOpen) return;
    if (sourceEnabled) StopScannerUI();
    options_.reset();
    if (handle_) sane_.close(handle_);
    handle_ = nullptr;
    sourceOpen = false;
}

int CTwain::DecideTransfer(const ImageInfo&) { return 0; }

void CTwain::StopScannerUI() {
    if (sourceEnabled) {
        sourceEnabled = false;
        modalUI = 1;
    }
}

bool CTwain::MayCloseScanner() { return true; }

void CTwain::ReceiveScannedImage(std::unique_ptr<VaZavi>, const ImageInfo&) {}

ScannerEvent CTwain::ShowSourceInterface() { return ScannerEvent::TransferReady; }

void CTwain::BeginTransfers() {
    TransferImages();
    HandleScannerEvent(ScannerEvent::CloseRequest);
}

void CTwain::TransferProgress(int, int) {}

void CTwain::ShowMessage(const std::string&) {}

bool CTwain::Scan() {
    // 1. The source, unless it is open already.
    if (!sourceOpen && !OpenScanner(nullptr)) return false;
    // 2. The transfer count.
    imageCount = int16_t(pagesWanted > 0 ? std::min(pagesWanted, 32767) : -1);
    // 3. Enable the source with its own interface.
    if (sourceEnabled) return false;
    sourceEnabled = true;
    modalUI = 1;
    const ScannerEvent event = ShowSourceInterface();
    HandleScannerEvent(event == ScannerEvent::None ? ScannerEvent::CloseRequest : event);
    return true;
}

bool CTwain::HandleScannerEvent(ScannerEvent event) {
    if (!sourceEnabled) return false;
    switch (event) {
        case ScannerEvent::TransferReady: BeginTransfers(); return true;
        case ScannerEvent::CloseRequest:
            if (MayCloseScanner()) {
                StopScannerUI();
                CloseSource();
            }
            return true;
        default: return false;
    }
}

std::unique_ptr<VaZavi> CTwain::ReadPicture(const SANE_Parameters& first, int page, bool keep) {
    FrameAssembler frames;
    frames.SetResolution(options_ ? options_->Resolution() : 0);
    std::vector<uint8_t> buffer(static_cast<size_t>(kReadChunk));
    SANE_Parameters params = first;
    int lastPercent = -1;
    for (;;) {
        if (keep && !frames.BeginFrame(params)) {
            transferError = frames.Error();
            return nullptr;
        }
        for (;;) {
            if (cancelRequested_) {
                transferCancelled = true;
                return nullptr;
            }
            SANE_Int length = 0;
            const SANE_Status s = sane_.read(handle_, buffer.data(), kReadChunk, &length);
            if (s == SANE_STATUS_EOF) break;
            if (s == SANE_STATUS_CANCELLED) {
                lastReturnCode = int(s);
                transferCancelled = true;
                return nullptr;
            }
            if (s != SANE_STATUS_GOOD) {
                Call(s);
                transferError = lastCondition;
                return nullptr;
            }
            if (length < 0 || length > kReadChunk) {
                transferError = "the scanner returned a read of impossible length";
                return nullptr;
            }
            if (keep && length > 0) {
                if (!frames.Feed(buffer.data(), size_t(length))) {
                    transferError = frames.Error();
                    return nullptr;
                }
                if (frames.ExpectedBytes() > 0) {
                    const int percent = int(std::min<int64_t>(100, frames.ReceivedBytes() * 100 / frames.ExpectedBytes()));
                    if (percent != lastPercent) TransferProgress(page, lastPercent = percent);
                }
            }
        }
        if (!keep) {
            if (params.last_frame) return nullptr;
        } else {
            frames.EndFrame();
            if (!frames.NeedsMoreFrames()) break;
            if (params.last_frame) {
                transferError = "the scanner ended before it sent every colour";
                return nullptr;
            }
        }
        // The next frame of a three-pass scan.
        if (!Call(sane_.start(handle_)) || !Call(sane_.get_parameters(handle_, &params))) {
            if (lastReturnCode == SANE_STATUS_CANCELLED) transferCancelled = true;
            else transferError = lastCondition;
            return nullptr;
        }
    }
    std::unique_ptr<VaZavi> picture = frames.Finish();
    if (!picture) transferError = frames.Error();
    return picture;
}

void CTwain::TransferImages() {
    pagesReceived = 0;
    transferCancelled = false;
    transferError.clear();
    cancelRequested_ = false;
    if (!sourceOpen || !handle_ || !sourceEnabled) {
        transferError = "the scanner is not open";
        return;
    }
    const bool feeder = options_ && options_->SourceIsFeeder();
    const int resolution = options_ ? options_->Resolution() : 0;
    bool pending = true;
    int page = 0;
    while (pending) {
        if (imageCount > 0 && page >= imageCount) break;
        if (cancelRequested_) {
            transferCancelled = true;
            break;
        }
        // 1. The image information: the start of the page and its parameters.
        const SANE_Status started = sane_.start(handle_);
        if (started != SANE_STATUS_GOOD) {
            Call(started);
            if (started == SANE_STATUS_CANCELLED) transferCancelled = true;
            // An empty feeder after the first page is the normal end.
            else if (!(started == SANE_STATUS_NO_DOCS && page > 0)) transferError = lastCondition;
            break;
        }
        SANE_Parameters params{};
        if (!Call(sane_.get_parameters(handle_, &params))) {
            transferError = lastCondition;
            break;
        }
        ++page;
        ImageInfo info;
        info.width = params.pixels_per_line;
        info.height = params.lines;
        info.bitsPerSample = params.depth;
        // Read as a number: a device may send a format the enum lacks
        // (the packer refuses it).
        int format = 0;
        std::memcpy(&format, &params.format, sizeof format);
        info.samplesPerPixel = format == SANE_FRAME_GRAY ? 1 : 3;
        info.resolution = resolution;
        info.format = format >= SANE_FRAME_GRAY && format <= SANE_FRAME_BLUE ? SANE_Frame(format) : SANE_FRAME_GRAY;
        // 2. The program's decision.
        const int decision = DecideTransfer(info);
        if (decision == 2) break;
        // 3. The transfer (a skipped page is read and dropped).
        std::unique_ptr<VaZavi> picture = ReadPicture(params, page, decision == 0);
        if (transferCancelled || !transferError.empty()) break;
        if (picture) {
            ++pagesReceived;
            TransferProgress(page, 100);
            ReceiveScannedImage(std::move(picture), info);
        }
        // 4. More pages while the source is a document feeder.
        pending = feeder;
    }
    // Reset the pending transfers: the device leaves its scanning state.
    sane_.cancel(handle_);
}

}  // namespace acquire
