// The layer records shared by the image core's layer operations and the
// document: the 256-byte canvas header, the layer slot, and an image set
// (canvas header, palette, selection and 40 slots).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dib_types.h"

inline constexpr int kMaxLayers = 40;
inline constexpr int kNoLayer = -1;
inline constexpr int kMaxTextUnits = 700;
inline constexpr int kLayerRecordStoredSize = 848;

inline bool IsValidLayer(int index) { return index != -1 && index >= 0 && index < kMaxLayers; }

enum LayerKind : uint8_t {
    LayerRaster = 0,
    LayerImage = 1,
    LayerText = 2,
    LayerBalloon = 3,
    LayerLinked = 4,
};

#pragma pack(push, 1)
// Canvas header, stored as is in VOR files and journal head files.
struct CanvasInfo {
    char16_t title[100];          // 0
    int32_t height;               // 200
    int32_t width;                // 204
    int32_t pictureX;             // 208: layer position of the opened picture
    int32_t pictureY;             // 212
    int32_t colorFormat;          // 216: image type code (low byte used)
    int32_t paletteColors;        // 220: 0 = true colour
    int32_t bitsPerPixel;         // 224: 24, or 8 with a palette
    int32_t canvasPixelSize;      // 228: stride * height
    int32_t canvasPlaneSize;      // 232: width * height
    int32_t scratchSize;          // 236: pixel size of the last layer set up
    uint32_t scratchAddr1;        // 240: meaningless once stored
    uint32_t scratchAddr2;        // 244
    uint8_t unused248[8];         // 248
};

// The stored image of a layer slot (848 bytes).
struct LayerRecordData {
    int32_t inUse;                // 0
    int32_t tag;                  // 4
    char16_t name[100];           // 8
    uint8_t kind;                 // 208
    uint8_t blendMode;            // 209
    int16_t prev;                 // 210
    int16_t next;                 // 212
    int16_t link;                 // 214
    uint8_t effectKind;           // 216
    uint8_t effectParam;          // 217
    uint8_t effectParams[10];     // 218
    uint8_t textColor[4];         // 228: blue, green, red, unused
    uint8_t transparency;         // 232
    uint8_t unused233[3];         // 233
    int32_t visible;              // 236
    int32_t x;                    // 240
    int32_t y;                    // 244: in stored-row order (see layer_set.cpp)
    int32_t height;               // 248
    int32_t width;                // 252
    int32_t planeSize;            // 256
    int32_t pixelSize;            // 260
    int32_t stride;               // 264
    int32_t textLength;           // 268
    int32_t textOriginX;          // 272
    int32_t textOriginY;          // 276
    int32_t fontSize;             // 280
    char16_t fontFace[25];        // 284
    uint8_t textAttrs[50];        // 334
    int32_t charWidthScale;       // 384: character width ratio x 10
    int32_t textAttr388;          // 388: 100 in a new layer
    int32_t textAttr392;          // 392: 0 in a new layer
    int32_t shadowParam;          // 396
    int32_t textBoxWidth;         // 400
    int32_t textBoxHeight;        // 404
    uint8_t attrs408[24];         // 408
    int32_t textBoxLeft;          // 432
    int32_t textBoxTop;           // 436
    int32_t tailX;                // 440
    int32_t tailY;                // 444
    uint8_t attrs448[400];        // 448
};
#pragma pack(pop)

static_assert(sizeof(CanvasInfo) == 256);
static_assert(offsetof(CanvasInfo, height) == 200);
static_assert(offsetof(CanvasInfo, colorFormat) == 216);
static_assert(offsetof(CanvasInfo, canvasPixelSize) == 228);
static_assert(offsetof(CanvasInfo, scratchAddr1) == 240);
static_assert(sizeof(LayerRecordData) == kLayerRecordStoredSize);
static_assert(offsetof(LayerRecordData, kind) == 208);
static_assert(offsetof(LayerRecordData, prev) == 210);
static_assert(offsetof(LayerRecordData, effectKind) == 216);
static_assert(offsetof(LayerRecordData, textColor) == 228);
static_assert(offsetof(LayerRecordData, visible) == 236);
static_assert(offsetof(LayerRecordData, height) == 248);
static_assert(offsetof(LayerRecordData, textLength) == 268);
static_assert(offsetof(LayerRecordData, fontFace) == 284);
static_assert(offsetof(LayerRecordData, charWidthScale) == 384);
static_assert(offsetof(LayerRecordData, shadowParam) == 396);
static_assert(offsetof(LayerRecordData, textBoxLeft) == 432);
static_assert(offsetof(LayerRecordData, tailY) == 444);
static_assert(offsetof(LayerRecordData, attrs448) == 448);

// A layer slot: the stored record plus its four buffers.
struct LayerRecord : LayerRecordData {
    std::unique_ptr<uint8_t[]> pixels;       // pixelSize bytes, rows bottom-up
    std::unique_ptr<uint8_t[]> alpha;        // planeSize bytes, 255 opaque
    std::unique_ptr<uint8_t[]> effectPlane;  // planeSize bytes
    std::unique_ptr<char16_t[]> text;        // textLength + 1 units (text layers)

    LayerRecord() { Clear(); }
    // Zeroes the record and frees the buffers.
    void Clear();
    void FreeBuffers();
    bool IsTextKind() const { return kind == LayerText || kind == LayerBalloon; }
    uint8_t* PixelRow(int storedRow) const { return pixels.get() + size_t(storedRow) * size_t(stride); }
    uint8_t* AlphaRow(int storedRow) const { return alpha.get() + size_t(storedRow) * size_t(width); }
    uint32_t TextColor() const { return PackBGR(textColor[0], textColor[1], textColor[2]); }
    // Takes the record and the buffers of `from`, which keeps its record.
    void TakeFrom(LayerRecord& from);
    // Deep copy of record and buffers (buffers of the right size are
    // reused); false when memory runs out.
    bool CopyFrom(const LayerRecord& src);
};

// Selection mask with its geometry on the canvas.
struct SelectionMask {
    std::vector<uint8_t> mask;    // width * height bytes: 0 no, 1 yes, 2 shape being drawn
    int32_t width = 0, height = 0;
    int32_t size = -1;            // width * height, -1 while no mask exists
    int32_t x = 0, y = 0;
};

// One complete set of layers: the document keeps the live set, the
// previous-state copy and the preview copy.
struct ImageSet {
    CanvasInfo canvas{};
    std::vector<RgbQuad> palette;
    SelectionMask selection;
    LayerRecord layers[kMaxLayers];
};

// Multiply table of the compositor: MulTable()[v][a] = trunc(v * a * c),
// c = 1/255 as a single-precision float.
using MulRow = uint8_t[256];
const MulRow* MulTable();

// UTF-16 helpers for the fixed text fields.
std::u16string Utf8ToUtf16(const std::string& s);
std::string Utf16ToUtf8(const std::u16string& s);
// Copies text into a fixed field of n units, NUL-terminated (at most n - 1 units).
void SetFixedText(char16_t* field, size_t n, const std::u16string& text);
std::u16string GetFixedText(const char16_t* field, size_t n);
