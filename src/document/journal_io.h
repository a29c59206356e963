// Journal files on disk: the header that every step file starts with, and
// the checked reading and writing of their contents.
//
// A step file (the file of one layer at one step, the selection file of a
// step that changed only settings, the document image's file) is
//   StepFileHeader (88 bytes) | payload
// The header names the document (docSerial), the step that wrote the file
// (its number counted from the start of the journal, which does not change
// when the ring of 20 steps moves), the slot (-1 for the document image),
// the content, the layer's size, the selection its mask belongs to, the
// byte count of every part of the payload, and the CRC-32 (zlib's crc32) of the payload and of the header
// itself. A file whose header, sizes or CRC do not match what the step
// record expects is never read into the document.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace journal {

enum StepFileContent : int32_t {
    ContentLayer = 1,       // pixels (none for text layers), alpha, effect plane, selection mask, text
    ContentSelection = 2,   // the selection mask only
    ContentImage = 3,       // the document image: packed picture (40-byte header, palette, rows)
};

#pragma pack(push, 1)
struct StepFileHeader {
    char magic[8];
    int32_t docSerial;
    int32_t step;         // number of the step that wrote the file
    int32_t slot;         // layer slot; -1 for the document image
    int32_t content;      // StepFileContent
    int32_t width;        // the layer's (or the image's) size
    int32_t height;
    int32_t selWidth;     // the selection the mask belongs to (mask = selWidth x selHeight bytes)
    int32_t selHeight;
    int32_t selX;
    int32_t selY;
    int64_t pixelBytes;   // the image file: the whole packed picture
    int64_t planeBytes;   // alpha and effect plane, each
    int64_t maskBytes;
    int64_t textBytes;
    uint32_t payloadCrc;  // crc32 of everything after the header
    uint32_t headerCrc;   // crc32 of the header before this field
};
#pragma pack(pop)
static_assert(sizeof(StepFileHeader) == 88);

inline constexpr char kStepFileMagic[8] = {'P', 'L', 'R', 'J', 'S', 'T', 'P', '1'};

// A header with the magic and the given fields, sizes zero, CRCs unset.
StepFileHeader MakeHeader(int docSerial, int step, int slot, int32_t content, int width, int height);
// Bytes after the header: pixels + 2 planes + mask + text; -1 when a size
// is negative or too large to be a journal file.
int64_t PayloadBytes(const StepFileHeader& h);
// Sets the payload CRC and then the header's own CRC.
void SealHeader(StepFileHeader& h, uint32_t payloadCrc);
// The magic and the header CRC are right.
bool HeaderIntact(const StepFileHeader& h);

// CRC-32 of the buffers in order.
uint32_t Crc(const std::vector<iovec>& parts);

// Reads the buffers in order from the file offset and computes the CRC of
// what was read; big reads are split between this thread and a helper.
// False on a read error or a short file.
bool ReadChecked(int fd, int64_t offset, const std::vector<iovec>& parts, uint32_t& crc);
// CRC of `length` bytes of the file from `offset`, read through a small
// buffer (nothing kept).
bool CrcOfFile(int fd, int64_t offset, int64_t length, uint32_t& crc);

// Writes the buffers in order (gather writes, short writes resumed). False
// with errno set on failure.
bool WriteAll(int fd, const std::vector<iovec>& parts);
// Reads exactly n bytes at offset.
bool ReadAt(int fd, int64_t offset, void* dst, size_t n);

}  // namespace journal
