// Opening by extension, the post-open step, flat-format saving, and the
// colour-format commands (convert to RGB 2091, reduce to 256 colours 2016).
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>

#include "CQuantizer.h"
#include "CVexoDoc.h"
#include "ImageStream.h"
#include "command_frame.h"
#include "commands.h"
#include "memory_budget.h"
#include "open_prefetch.h"
#include "prepared_layer.h"
#include "picture_gate.h"
#include "safe_file.h"

namespace {

constexpr const char* kPathTooLong = "그림파일명이 너무 깁니다.";
constexpr const char* kCannotOpen = "해당 파일을 열 수 없습니다.";
constexpr const char* kNoPicture = "해당파일이 존재하지 않습니다.";
constexpr const char* kConversionFailed = "변환을 성공하지 못했습니다.";
constexpr const char* kNotRegular = "일반 파일이 아니어서 열 수 없습니다.";
constexpr const char* kSaveFailed = "파일을 저장하지 못했습니다: ";

constexpr int kRawWidth = 640, kRawHeight = 480;

std::string Extension(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// Extension codes of the open entry point; -1 for anything else.
int OpenCode(const std::string& ext) {
    static const struct {
        const char* ext;
        int code;
    } table[] = {{"vor", 5}, {"sco", 6},  {"bmp", 1},  {"jpg", 0},  {"jpeg", 0}, {"gif", 2},
                 {"tif", 3}, {"tiff", 3}, {"pcx", 4},  {"raw", 7},  {"mpg", 10}, {"mpeg", 10},
                 {"wav", 11}, {"avi", 12}, {"mp3", 13}, {"wmv", 14}};
    for (const auto& e : table)
        if (ext == e.ext) return e.code;
    return -1;
}

// Extension codes of the save entry point (VOR as 5); -1 for anything else.
int SaveCode(const std::string& ext) {
    if (ext == "bmp") return kTypeBMP;
    if (ext == "jpg" || ext == "jpeg") return kTypeJPEG;
    if (ext == "gif") return kTypeGIF;
    if (ext == "tif" || ext == "tiff") return kTypeTIFF;
    if (ext == "vor" || ext == "sco") return kTypeVOR;
    return -1;
}

std::string AfterLastSeparator(const std::string& s) {
    const size_t slash = s.find_last_of("/\\");
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

}  // namespace

int openahead::PictureKind(const std::string& path) {
    const int code = OpenCode(Extension(path));
    return code >= 0 && code <= kTypePCX ? code : -1;
}

// --- re-creating a layer in another pixel format ---------------------------------

namespace {
// Re-creates a slot at `bpp` bits per pixel with its size, position and
// record kept; `convert` fills the new pixel rows from the old ones. The
// canvas size stays; the alpha and effect planes and the text stay.
template <class Convert>
bool RebuildLayerPixels(CVexoDoc& doc, int slot, int bpp, int paletteColors, Convert&& convert) {
    LayerRecord& L = doc.live.layers[slot];
    const LayerRecordData saved = L;
    const CanvasInfo canvas = doc.live.canvas;
    std::unique_ptr<uint8_t[]> oldPixels = std::move(L.pixels), alpha = std::move(L.alpha),
                               effect = std::move(L.effectPlane);
    std::unique_ptr<char16_t[]> text = std::move(L.text);
    const int oldStride = L.stride;
    const bool ok = doc.SetupLayerBuffers(L.height, L.width, u"", canvas.colorFormat, bpp, paletteColors, 0, slot,
                                          L.x, L.y, 2, -1, -1, 0, L.tag, L.kind, L.link, false);
    CanvasInfo& cv = doc.live.canvas;
    const int32_t newStride = L.stride, newPixelSize = L.pixelSize;
    cv.width = canvas.width;
    cv.height = canvas.height;
    cv.canvasPlaneSize = canvas.canvasPlaneSize;
    cv.canvasPixelSize = int32_t(LayerStride(canvas.width, bpp) * canvas.height);
    if (!ok) {
        L.pixels = std::move(oldPixels);
        L.alpha = std::move(alpha);
        L.effectPlane = std::move(effect);
        L.text = std::move(text);
        static_cast<LayerRecordData&>(L) = saved;
        return false;
    }
    static_cast<LayerRecordData&>(L) = saved;
    L.stride = newStride;
    L.pixelSize = newPixelSize;
    L.alpha = std::move(alpha);
    L.effectPlane = std::move(effect);
    L.text = std::move(text);
    if constexpr (std::is_same_v<std::remove_cvref_t<Convert>, NearestColourMap>) {
        convert.MapRows(oldPixels.get(), oldStride, 3, L.pixels.get(), L.stride, L.width, L.height);
    } else {
        for (int r = 0; r < L.height; ++r)
            convert(oldPixels.get() + size_t(r) * size_t(oldStride), L.PixelRow(r), L.width);
    }
    return true;
}
}  // namespace

bool CVexoDoc::ConvertToRgb() {
    CanvasInfo& cv = live.canvas;
    if (cv.bitsPerPixel >= 24) return false;
    const std::vector<RgbQuad> palette = live.palette;
    auto colourOf = [&palette](uint8_t v) {
        return v < palette.size() ? palette[v] : RgbQuad{0, 0, 0, 0};
    };
    for (int slot : StackOrder()) {
        if (live.layers[slot].IsTextKind()) continue;
        if (!RebuildLayerPixels(*this, slot, 24, 0, [&](const uint8_t* s, uint8_t* d, int w) {
                for (int x = 0; x < w; ++x) {
                    const RgbQuad q = colourOf(s[x]);
                    d[x * 3] = q.blue;
                    d[x * 3 + 1] = q.green;
                    d[x * 3 + 2] = q.red;
                }
            }))
            return false;
    }
    cv.bitsPerPixel = 24;
    cv.paletteColors = 0;
    cv.canvasPixelSize = int32_t(LayerStride(cv.width, 24) * cv.height);
    live.palette.clear();
    viewRebuild = true;
    return true;
}

bool CVexoDoc::ReduceTo256Colours() {
    CanvasInfo& cv = live.canvas;
    if (cv.bitsPerPixel <= 8 || !IsValidLayer(headLayer)) return false;
    if (LayerRecord* cur = CurrentLayerPtr()) prevState.layers[currentLayer].CopyFrom(*cur);
    // One palette for every layer, from the pixels of all raster layers.
    CQuantizer quantizer;
    for (int slot : StackOrder())
        if (!live.layers[slot].IsTextKind()) quantizer.ProcessLayer(live.layers[slot], 24, nullptr, 0);
    std::vector<RgbQuad> table(256, RgbQuad{0, 0, 0, 0});
    quantizer.GetColourTable(table.data());
    NearestColourMap nearest(table.data(), 256);
    host_->BeginWaitCursor();
    bool ok = true;
    for (int slot : StackOrder()) {
        if (live.layers[slot].IsTextKind()) continue;
        if (!RebuildLayerPixels(*this, slot, 8, 256, nearest)) {
            ok = false;
            break;
        }
        // Once one layer is 8-bit, the canvas is.
        cv.bitsPerPixel = 8;
        cv.paletteColors = 256;
        live.palette = table;
    }
    host_->EndWaitCursor();
    viewRebuild = true;
    return ok;
}

// --- open ----------------------------------------------------------------------------

void CVexoDoc::AdoptState(CVexoDoc& from) {
    // This document's own pending layer goes with its image; the other's
    // comes over with the layers and the image it reads.
    DropPending();
    const int fromPending = from.pendingSlot_;
    std::unique_ptr<PendingFill> fill = std::move(from.pendingFill_);
    from.DropPending();
    live = std::move(from.live);
    prevState = std::move(from.prevState);
    for (auto& L : preview.layers) L.Clear();
    preview.palette.clear();
    if (from.image.IsValid())
        image.Transfer(from.image);
    else
        image.Destroy();
    headLayer = from.headLayer;
    currentLayer = from.currentLayer;
    if (fromPending != kNoLayer) SetPending(std::move(fill), fromPending);
    selectionActive = false;
    selectionInverted = false;
    outlineChanged = true;
    compositeStart = kNoLayer;
    compositeCount = -1;
    viewRebuild = true;
    Notify(docchange::Pixels | docchange::Layers | docchange::Canvas | docchange::Selection);
}

void CVexoDoc::PostOpen() {
    docSerial = host_->NextDocSerial();
    currentLayer = headLayer;
    // Text and balloon layers keep their kind: their pixels are coverage.
    if (LayerRecord* L = CurrentLayerPtr(); L && !L->IsTextKind()) L->kind = LayerImage;
    host_->UpdateViews(*this, true);
    if (live.canvas.bitsPerPixel != 24) ConvertToRgb();
    openingStepPending_ = true;
    if (!deferOpeningStep) FinishOpening();
    displayName = AfterLastSeparator(Utf16ToUtf8(GetFixedText(live.canvas.title, 100)));
    modified = false;
}

void CVexoDoc::FinishOpening() {
    SettleLayers();   // the step records the layer
    if (!openingStepPending_) return;
    openingStepPending_ = false;
    // The step of an open never marks the document changed.
    const bool wasModified = modified;
    RecordUndoStep(u"Opening....", 0, currentLayer);
    modified = wasModified;
}

bool CVexoDoc::Open(const std::string& filePath) {
    lastError.clear();
    try {
        return OpenFile(filePath);
    } catch (const std::bad_alloc&) {
        lastError = docmem::kOutOfMemory;
        host_->MessageBox(lastError);
        return false;
    }
}

bool CVexoDoc::OpenFile(const std::string& filePath) {
    const docmem::OpeningScope opening;
    if (filePath.empty()) return false;
    const std::string ext = Extension(filePath);
    if (ext.empty()) return false;
    const int code = OpenCode(ext);
    if (code < 0) return false;
    const size_t slash = filePath.find_last_of("/\\");
    if (slash != std::string::npos && slash + 1 >= 100) {
        host_->MessageBox(kPathTooLong);
        lastError = kPathTooLong;
        return false;
    }
    // A FIFO, a folder or a device is never read (a FIFO would block).
    if (struct stat st; stat(filePath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        host_->MessageBox(kNotRegular);
        lastError = std::string(kNotRegular) + (S_ISFIFO(st.st_mode) ? " (FIFO)" : S_ISDIR(st.st_mode) ? " (folder)" : "");
        return false;
    }
    auto fresh = std::make_unique<CVexoDoc>(host_);
    fresh->keepScratch = true;   // the scratch buffers of this document are kept
    CVexoDoc& d = *fresh;
    const std::u16string title = Utf8ToUtf16(filePath);

    // "sco", the second native kind, is written as VOR and read as VOR.
    if (code == kTypeVOR || code == kTypeSCO) {
        std::string why;
        FILE* f = OpenRegularFileForReading(filePath, why);
        if (!f) {
            lastError = "can't open file: " + why;
            return false;
        }
        ImageStream in(f);
        const bool ok = d.ReadVor(in, filePath);
        std::fclose(f);
        if (!ok) {
            lastError = d.lastError.empty() ? "not a readable VOR document" : d.lastError;
            return false;
        }
    } else if (code == 7) {
        std::string why;
        FILE* f = OpenRegularFileForReading(filePath, why);
        if (!f) {
            lastError = "can't open file: " + why;
            return false;
        }
        bool ok = d.SetupLayerBuffers(kRawHeight, kRawWidth, title, kTypeBMP, 24, 0, 255, 0, 0, 0, 2, kRawWidth,
                                      kRawHeight, 1, 1, LayerRaster, -1, false);
        const size_t bytes = size_t(kRawWidth) * kRawHeight * 3;
        if (ok) ok = std::fread(d.live.layers[0].pixels.get(), 1, bytes, f) == bytes;
        std::fclose(f);
        if (!ok) {
            host_->MessageBox(kCannotOpen);
            lastError = kCannotOpen;
            return false;
        }
        LayerRecord& L = d.live.layers[0];
        L.inUse = 1;
        L.visible = 1;
        L.prev = L.next = -1;
        SetFixedText(L.name, 100, u"배경영상");
        d.headLayer = d.currentLayer = 0;
    } else {
        VaZavi picture(code <= kTypePCX ? code : kTypeBMP);
        // The picture's document must fit the memory budget: refused from
        // the picture's header, before its pixels are allocated.
        std::string refusal;
        const ScopedPictureGate gate([&](int w, int h, int bits, std::string& message) {
            const int64_t need = docmem::PictureWorkingSet(w, h, bits) + docmem::OtherDocuments(&d);
            const int64_t budget = docmem::BudgetBytes();
            if (need <= budget) return true;
            refusal = message = docmem::RefusalMessage(true, need, budget);
            return false;
        });
        // Decoded ahead (the file named on the command line) when its
        // pictures pass this gate; otherwise read here.
        // With the opening step deferred (the editor shows the picture
        // first), the layer's fill may go on until the document is settled.
        PreparedLayer layer;
        std::unique_ptr<PendingFill> fill;
        const bool ahead = openahead::Take(filePath, code, picture, &layer, deferOpeningStep ? &fill : nullptr);
        if (!ahead) refusal.clear();
        if (!ahead && !picture.Load(filePath.c_str(), code)) {
            if (!refusal.empty()) {
                host_->MessageBox(refusal);
                lastError = refusal;
                return false;
            }
            // The codec's reason goes with the message.
            lastError = std::string(kCannotOpen) + (picture.LastError()[0] ? std::string("\n(") + picture.LastError() + ")" : "");
            host_->MessageBox(lastError);
            lastError = std::string(kCannotOpen) + (picture.LastError()[0] ? std::string(" (") + picture.LastError() + ")" : "");
            return false;
        }
        if (!picture.IsValid()) {
            host_->MessageBox(kNoPicture);
            lastError = kNoPicture;
            return false;
        }
        if (!d.TakePicture(picture, title, ahead ? &layer : nullptr, std::move(fill))) {
            if (d.lastError.empty()) host_->MessageBox(kCannotOpen);
            lastError = d.lastError.empty() ? "picture too large" : d.lastError;
            return false;
        }
    }

    AdoptState(d);
    path = filePath;
    PostOpen();
    host_->RefreshLayersPanel(*this);
    return true;
}

// The picture becomes the single layer "배경영상" of this (fresh) document,
// centred on a canvas of its size; the picture itself becomes the document
// image.
bool CVexoDoc::TakePicture(VaZavi& picture, const std::u16string& title, PreparedLayer* prepared,
                           std::unique_ptr<PendingFill> pending) {
    CVexoDoc& d = *this;
    // Buffers the helper thread could not fill are no buffers at all.
    if (prepared && !prepared->Ready()) prepared = nullptr;
    d.image.Transfer(picture);
    const VaZavi& img = d.image;
    const int bits = img.BitCount();
    const int bpp = LayerBitsForPicture(bits);
    // A fill still running makes the layer of a 24-bit picture without
    // buffers; any other picture waits for it here.
    PreparedLayer waited, later;
    if (pending && bits != 24) {
        waited = pending->Finish();
        pending.reset();
        if (waited.Ready()) prepared = &waited;
    }
    if (pending) {
        later.width = img.Width();
        later.height = img.Height();
        later.bitsPerPixel = bpp;
        later.stride = LayerStride(later.width, bpp);
        later.later = true;
        prepared = &later;
    }
    const int colours = bits <= 8 ? std::min(256, img.ColorsUsed() ? img.ColorsUsed() : 1 << bits) : 0;
    d.headLayer = 0;
    LayerRecord& L = d.live.layers[0];
    d.live.canvas.scratchSize = 0;
    d.live.canvas.scratchAddr1 = d.live.canvas.scratchAddr2 = 0;
    // Opaque from the start: the alpha plane is not filled twice.
    if (!d.SetupLayerBuffers(img.Height(), img.Width(), title, img.info.type, bpp, colours, 255, 0, 0, 0, 0,
                             img.Width(), img.Height(), 1, 1, LayerRaster, -1, true, prepared))
        return false;
    // Buffers left in `prepared` were not taken: the layer was filled white
    // and gets the picture's rows now (unless they are still to come).
    const bool copy = !prepared || prepared->pixels || (prepared->later && L.pixels);
    if (pending && !L.pixels) d.SetPending(std::move(pending), 0);
    SetFixedText(L.name, 100, u"배경영상");
    L.inUse = 1;
    L.visible = 1;
    L.transparency = 0;
    L.prev = L.next = -1;
    L.charWidthScale = 10;
    L.textAttr388 = 100;
    L.textBoxLeft = L.textBoxTop = L.tailX = L.tailY = -1;
    d.live.canvas.pictureX = L.x;
    d.live.canvas.pictureY = L.y;
    if (copy) CopyPictureRows(img, L.pixels.get(), L.stride);
    d.currentLayer = 0;
    return true;
}

bool CVexoDoc::OpenPicture(VaZavi& picture, const std::string& name) {
    lastError.clear();
    try {
        auto fresh = std::make_unique<CVexoDoc>(host_);
        fresh->keepScratch = true;
        if (!picture.IsValid() || !fresh->TakePicture(picture, Utf8ToUtf16(name))) {
            lastError = fresh->lastError.empty() ? "picture too large" : fresh->lastError;
            return false;
        }
        AdoptState(*fresh);
        path = name;
        PostOpen();
        host_->RefreshLayersPanel(*this);
        return true;
    } catch (const std::bad_alloc&) {
        lastError = docmem::kOutOfMemory;
        host_->MessageBox(lastError);
        return false;
    }
}

// --- save ---------------------------------------------------------------------------------

bool CVexoDoc::Save(const std::string& target) {
    lastError.clear();
    try {
        return SaveFile(target);
    } catch (const std::bad_alloc&) {
        lastError = docmem::kOutOfMemory;
        host_->MessageBox(lastError);
        return false;
    }
}

bool CVexoDoc::SaveFile(const std::string& target) {
    SettleLayers();
    const int code = SaveCode(Extension(target));
    if (code < 0) {
        lastError = "unknown file type";
        return false;
    }
    if (code == kTypeVOR) {
        if (!WriteVor(target)) {
            if (lastError.empty()) lastError = "could not be written";
            host_->MessageBox(kSaveFailed + lastError);
            return false;
        }
        return true;
    }
    if (!RenderThroughView(3)) {
        lastError = "nothing to save";
        return false;
    }
    const CanvasInfo& cv = live.canvas;
    int bpp = cv.bitsPerPixel == 8 ? 8 : 24;
    std::vector<RgbQuad> palette = bpp == 8 ? live.palette : std::vector<RgbQuad>();
    if (code == kTypeGIF) {
        CQuantizer quantizer;
        quantizer.ProcessPixels(composite.data(), cv.width, cv.height, ptrdiff_t(cv.width) * 4, 4);
        palette.assign(256, RgbQuad{0, 0, 0, 0});
        quantizer.GetColourTable(palette.data());
        bpp = 8;
    }
    VaZavi out(code);
    if (!out.Create(bpp, cv.width, cv.height, code) ||
        int64_t(out.ImageBytes()) != LayerStride(cv.width, bpp) * cv.height) {
        host_->MessageBox(kConversionFailed);
        lastError = kConversionFailed;
        return false;
    }
    if (bpp == 8) {
        palette.resize(256, RgbQuad{0, 0, 0, 0});
        out.SetPalette(palette.data(), 256);
        NearestColourMap nearest(palette.data(), int(palette.size()));
        const uint8_t* c = composite.data();
        for (int r = 0; r < cv.height; ++r) {
            uint8_t* p = out.Row(r);
            for (int x = 0; x < cv.width; ++x, c += 4) p[x] = nearest(c[0], c[1], c[2]);
        }
    } else {
        const uint8_t* c = composite.data();
        for (int r = 0; r < cv.height; ++r) {
            uint8_t* p = out.Row(r);
            for (int x = 0; x < cv.width; ++x, c += 4) {
                p[x * 3] = c[0];
                p[x * 3 + 1] = c[1];
                p[x * 3 + 2] = c[2];
            }
        }
    }
    if (image.IsValid()) {
        out.SetXDpi(image.info.xDpi);
        out.SetYDpi(image.info.yDpi);
        out.info.jpegQuality = image.info.jpegQuality;
    }
    if (!out.Save(target.c_str(), code)) {
        lastError = out.LastError()[0] ? out.LastError() : "could not be written";
        host_->MessageBox(kSaveFailed + lastError);
        return false;
    }
    modified = false;
    return true;
}

// --- commands -------------------------------------------------------------------------------

namespace commands {
void RegisterDocumentCommands(Table& t) {
    t.Add(2091, "RGB컬러 영상으로 변환", [](CVexoDoc& d, const std::vector<int>&) {
        if (d.live.canvas.bitsPerPixel >= 24) return true;   // nothing to do, no step
        CommandScope scope(d, 2091);
        if (!d.ConvertToRgb()) return false;
        d.RecordUndoStep(u"RGB 컬러영상으로 변환", 7, d.currentLayer);
        d.Host().UpdateViews(d, true);
        return true;
    });
    t.Add(2016, "8비트칼라 최적변환", [](CVexoDoc& d, const std::vector<int>&) {
        if (d.live.canvas.bitsPerPixel <= 8) return true;
        CommandScope scope(d, 2016);
        const bool ok = d.ReduceTo256Colours();
        d.RecordUndoStep(u"8비트칼라 최적변환", 7, d.currentLayer);
        d.Host().UpdateViews(d, true);
        return ok;
    });
}
}  // namespace commands
