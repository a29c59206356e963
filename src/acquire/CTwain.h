// CTwain: the program's scanner interface. It keeps the operations and the
// states of a TWAIN client and carries them out with SANE, loaded at run
// time (sane_library.h):
//
//   TWAIN operation or state               here, with SANE
//   -------------------------------------  -----------------------------------------------
//   load the source manager (TWAIN_32.DLL)  dlopen("libsane.so.1") and its entry points
//   open the manager (MSG_OPENDSM)          sane_init
//   close the manager (MSG_CLOSEDSM)        sane_exit
//   application identity (TW_IDENTITY)      AppIdentity, filled by FillAppIdentity; SANE
//                                           asks for none, it is kept for the record
//   source identity                         SourceIdentity: a device of sane_get_devices
//                                           (name, vendor, model, type)
//   default source (MSG_GETDEFAULT)         the device remembered from the last choice
//                                           (DefaultSourceName), else the first device
//                                           sane_get_devices lists
//   the manager's choice dialog             SelectSource: the device list dialog of the
//     (MSG_USERSELECT)                      editor (vendor, model, type, name)
//   open the source (MSG_OPENDS)            sane_open, then its option descriptors
//   close the source (MSG_CLOSEDS)          sane_close
//   transfer count (CAP_XFERCOUNT)          imageCount: the number of pages wanted, -1
//                                           for as many as the source gives; SANE has
//                                           no capability to refuse it, so the
//                                           TWRC_CHECKSTATUS retry has no counterpart
//   enable the source with its own          ShowSourceInterface: the scan dialog built
//     interface (MSG_ENABLEDS)              from sane_get_option_descriptor (mode,
//                                           resolution, scan area, source, ...), each
//                                           with the device's constraint
//   disable the source (MSG_DISABLEDS)      StopScannerUI: the scan dialog is gone
//   process event (MSG_PROCESSEVENT)        HandleScannerEvent with the event the
//                                           interface ended with
//   MSG_XFERREADY                           ScannerEvent::TransferReady: "scan" pressed
//   MSG_CLOSEDSREQ                          ScannerEvent::CloseRequest: the interface was
//                                           closed, or the batch is over
//   image information (DAT_IMAGEINFO)       sane_start, then sane_get_parameters
//   native transfer (DAT_IMAGENATIVEXFER)   sane_read of every frame into a packed
//                                           bitmap (FrameAssembler: grey, colour, line
//                                           art, three-pass colour) handed to
//                                           ReceiveScannedImage
//   TWRC_XFERDONE / TWRC_CANCEL /           SANE_STATUS_EOF / SANE_STATUS_CANCELLED (or
//     TWRC_FAILURE                          the user's cancel) / any other status
//   end transfer, pending count             another sane_start while the source is a
//     (MSG_ENDXFER)                         document feeder, until it reports
//                                           SANE_STATUS_NO_DOCS or imageCount is reached
//   reset pending transfers (MSG_RESET)     sane_cancel
//   lastReturnCode, condition code          the last SANE_Status (1 while nothing is
//                                           loaded) and its sane_strstatus text
//
// States: manager not loaded -> loaded and open -> closed and unloaded;
// source none chosen -> chosen (sourceKnown) -> open (sourceOpen) -> enabled
// (sourceEnabled, its interface showing) -> transfers -> disabled and
// closed at the end of the batch. A closed source stays known, so the next
// scan opens the same device again without asking.
//
// One CTwain at a time in a process: SANE has one global state.
//
// Threads: TransferImages may run on a worker thread (the editor's does);
// ReceiveScannedImage and TransferProgress are then called on that thread,
// and only RequestCancel may be called from another one meanwhile.
#pragma once

#include <sane/sane.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sane_library.h"
#include "scan_options.h"

class VaZavi;

namespace acquire {

struct AppIdentity {
    uint32_t id = 0;
    uint16_t versionMajor = 0, versionMinor = 0, language = 0, country = 0;
    std::string versionInfo;
    uint16_t protocolMajor = 0, protocolMinor = 0;
    uint32_t supportedGroups = 0;
    std::string manufacturer, productFamily, productName;
};

struct SourceIdentity {
    std::string name, vendor, model, type;
    bool Empty() const { return name.empty(); }
};

// What the source tells about the picture about to come.
struct ImageInfo {
    int width = 0;            // pixels per line
    int height = 0;           // lines; -1 when the device does not know (hand scanner)
    int bitsPerSample = 0;
    int samplesPerPixel = 0;  // 1 grey, 3 colour
    int resolution = 0;       // dots per inch, 0 unknown
    SANE_Frame format = SANE_FRAME_GRAY;
};

enum class ScannerEvent { None, TransferReady, CloseRequest };

class CTwain {
public:
    CTwain();
    virtual ~CTwain();   // ReleaseScannerManager
    CTwain(const CTwain&) = delete;
    CTwain& operator=(const CTwain&) = delete;

    // --- virtual operations, in the order of the original slots -----------
    virtual void FillAppIdentity();
    // Zeroes the source identity, takes the default source when none is
    // known, then lets the user choose; returns sourceKnown.
    virtual bool ChooseScanner();
    // Opens the given source (or the known one, or the default source);
    // returns whether the source is open.
    virtual bool OpenScanner(const SourceIdentity* source = nullptr);
    // 0 transfer the picture, 1 skip it, 2 cancel all.
    virtual int DecideTransfer(const ImageInfo& info);
    virtual void StopScannerUI();
    virtual bool MayCloseScanner();
    virtual void ReceiveScannedImage(std::unique_ptr<VaZavi> image, const ImageInfo& info);

    // --- what a face of the program provides (the manager's and the source's
    // own windows in TWAIN). The defaults serve a program without windows.
    // The device the user last chose, for the default source ("" none).
    virtual std::string DefaultSourceName() { return ""; }
    // The manager's choice dialog: false when the user cancelled.
    virtual bool SelectSource(const std::vector<SourceIdentity>& devices, SourceIdentity& chosen);
    // The source's interface; returns the event it ended with.
    virtual ScannerEvent ShowSourceInterface();
    // Runs the transfers; the default runs them at once on this thread and
    // then closes the source. A windowed face starts a worker instead and
    // sends CloseRequest when it is done.
    virtual void BeginTransfers();
    // Percent of the current page (page counts from 1).
    virtual void TransferProgress(int page, int percent);
    // "외부 장치를 연결할 수 없음" and the like.
    virtual void ShowMessage(const std::string& text);

    // --- non-virtual operations -----------------------------------------
    bool StartScannerManager(void* parentWindow);
    void ReleaseScannerManager();
    bool Scan();
    bool HandleScannerEvent(ScannerEvent event);
    void TransferImages();
    // From any thread: the transfer under way ends as cancelled.
    void RequestCancel() { cancelRequested_ = true; }

    // The devices the manager knows (sane_get_devices).
    std::vector<SourceIdentity> Devices();
    // The open source's options (null while no source is open).
    ScanOptions* Options() { return options_.get(); }

    bool ManagerLoaded() const { return sane_.Loaded(); }
    const SaneLibrary& Library() const { return sane_; }

    // --- state -------------------------------------------------------------
    AppIdentity appIdentity;
    SourceIdentity sourceIdentity;
    void* parentWindow = nullptr;
    int lastReturnCode = 1;
    std::string lastCondition;   // text of the last failed call
    bool managerOpen = false, sourceKnown = false, sourceOpen = false, sourceEnabled = false;
    int16_t modalUI = 1;
    int16_t imageCount = -1;
    // Pages the next scan asks for (the transfer count; -1 all).
    int pagesWanted = -1;

    // Outcome of the last TransferImages.
    int pagesReceived = 0;
    bool transferCancelled = false;
    std::string transferError;   // empty when the batch ended normally

private:
    bool Call(SANE_Status status);
    bool TakeDefaultSource();
    void CloseSource();
    // Reads the frames of one picture after its start; null when it was
    // cancelled or failed (transferError tells which).
    std::unique_ptr<VaZavi> ReadPicture(const SANE_Parameters& first, int page, bool keep);

    SaneLibrary sane_;
    SANE_Handle handle_ = nullptr;
    std::unique_ptr<ScanOptions> options_;
    std::atomic<bool> cancelRequested_{false};
};

// The message of a known device that cannot be opened.
inline constexpr const char* kCannotConnect = "외부 장치를 연결할 수 없음";

}  // namespace acquire
