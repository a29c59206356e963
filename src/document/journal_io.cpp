#include "journal_io.h"

#include <limits.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "VaZavi.h"

namespace journal {

namespace {
// Reads below this size stay on one thread.
constexpr size_t kSplitBytes = size_t(8) << 20;
// crc32 takes its length as uInt: feed it in pieces.
constexpr size_t kCrcPiece = size_t(1) << 20;

uint32_t CrcUpdate(uint32_t crc, const uint8_t* p, size_t n) {
    while (n) {
        const size_t k = std::min(n, kCrcPiece);
        crc = uint32_t(crc32(crc, p, uInt(k)));
        p += k;
        n -= k;
    }
    return crc;
}

// One stretch of a checked read: buffers in file order from `offset`.
struct Stretch {
    int64_t offset = 0;
    std::vector<iovec> parts;
    size_t bytes = 0;
    uint32_t crc = 0;
    bool ok = true;
};

void ReadStretch(int fd, Stretch& s) {
    s.crc = uint32_t(crc32(0, nullptr, 0));
    int64_t off = s.offset;
    for (const iovec& v : s.parts) {
        uint8_t* p = static_cast<uint8_t*>(v.iov_base);
        size_t n = v.iov_len;
        while (n) {
            // Read a piece and checksum it while it is still in the cache.
            const size_t want = std::min(n, kCrcPiece);
            if (!ReadAt(fd, off, p, want)) {
                s.ok = false;
                return;
            }
            s.crc = CrcUpdate(s.crc, p, want);
            p += want;
            off += int64_t(want);
            n -= want;
        }
    }
}
}  // namespace

StepFileHeader MakeHeader(int docSerial, int step, int slot, int32_t content, int width, int height) {
    StepFileHeader h;
    std::memset(&h, 0, sizeof h);
    std::memcpy(h.magic, kStepFileMagic, sizeof h.magic);
    h.docSerial = docSerial;
    h.step = step;
    h.slot = slot;
    h.content = content;
    h.width = width;
    h.height = height;
    return h;
}

int64_t PayloadBytes(const StepFileHeader& h) {
    const int64_t cap = 4 * kMaxImageBytes;
    if (h.pixelBytes < 0 || h.planeBytes < 0 || h.maskBytes < 0 || h.textBytes < 0) return -1;
    if (h.pixelBytes > cap || h.planeBytes > cap || h.maskBytes > cap || h.textBytes > cap) return -1;
    return h.pixelBytes + 2 * h.planeBytes + h.maskBytes + h.textBytes;
}

void SealHeader(StepFileHeader& h, uint32_t payloadCrc) {
    h.payloadCrc = payloadCrc;
    h.headerCrc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(&h), uInt(offsetof(StepFileHeader, headerCrc))));
}

bool HeaderIntact(const StepFileHeader& h) {
    if (std::memcmp(h.magic, kStepFileMagic, sizeof h.magic) != 0) return false;
    const uint32_t c =
        uint32_t(crc32(0, reinterpret_cast<const Bytef*>(&h), uInt(offsetof(StepFileHeader, headerCrc))));
    return c == h.headerCrc;
}

uint32_t Crc(const std::vector<iovec>& parts) {
    uint32_t crc = uint32_t(crc32(0, nullptr, 0));
    for (const iovec& v : parts) crc = CrcUpdate(crc, static_cast<const uint8_t*>(v.iov_base), v.iov_len);
    return crc;
}

bool ReadAt(int fd, int64_t offset, void* dst, size_t n) {
    uint8_t* p = static_cast<uint8_t*>(dst);
    while (n) {
        const ssize_t r = pread(fd, p, n, off_t(offset));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        offset += r;
        n -= size_t(r);
    }
    return true;
}

bool ReadChecked(int fd, int64_t offset, const std::vector<iovec>& parts, uint32_t& crc) {
    size_t total = 0;
    for (const iovec& v : parts) total += v.iov_len;
    Stretch first, second;
    first.offset = offset;
    if (total < kSplitBytes) {
        first.parts = parts;
        ReadStretch(fd, first);
        crc = first.crc;
        return first.ok;
    }
    // Cut the buffers in two halves of about the same size.
    const size_t half = total / 2;
    size_t done = 0;
    for (const iovec& v : parts) {
        uint8_t* p = static_cast<uint8_t*>(v.iov_base);
        size_t n = v.iov_len;
        if (done < half) {
            const size_t k = std::min(n, half - done);
            if (k) first.parts.push_back(iovec{p, k});
            first.bytes += k;
            done += k;
            p += k;
            n -= k;
        }
        if (n) {
            second.parts.push_back(iovec{p, n});
            second.bytes += n;
            done += n;
        }
    }
    second.offset = offset + int64_t(first.bytes);
    std::thread helper;
    try {
        helper = std::thread([fd, &second] { ReadStretch(fd, second); });
    } catch (const std::system_error&) {
    }
    ReadStretch(fd, first);
    if (helper.joinable()) helper.join();
    else ReadStretch(fd, second);
    crc = uint32_t(crc32_combine(first.crc, second.crc, z_off_t(second.bytes)));
    return first.ok && second.ok;
}

bool CrcOfFile(int fd, int64_t offset, int64_t length, uint32_t& crc) {
    if (length < 0) return false;
    // Two small buffers that the pieces pass through, one per thread.
    const size_t piece = size_t(std::min<int64_t>(length, int64_t(4) << 20));
    std::unique_ptr<uint8_t[]> a(new (std::nothrow) uint8_t[std::max<size_t>(piece, 1)]);
    std::unique_ptr<uint8_t[]> b(new (std::nothrow) uint8_t[std::max<size_t>(piece, 1)]);
    if (!a || !b) return false;
    auto stretch = [fd, piece](uint8_t* buf, int64_t off, int64_t len, uint32_t& out) {
        out = uint32_t(crc32(0, nullptr, 0));
        while (len > 0) {
            const size_t k = size_t(std::min<int64_t>(len, int64_t(piece)));
            if (!ReadAt(fd, off, buf, k)) return false;
            out = CrcUpdate(out, buf, k);
            off += int64_t(k);
            len -= int64_t(k);
        }
        return true;
    };
    if (length < int64_t(kSplitBytes)) return stretch(a.get(), offset, length, crc);
    const int64_t half = length / 2;
    uint32_t c1 = 0, c2 = 0;
    bool ok2 = false;
    std::thread helper;
    try {
        helper = std::thread([&] { ok2 = stretch(b.get(), offset + half, length - half, c2); });
    } catch (const std::system_error&) {
    }
    const bool ok1 = stretch(a.get(), offset, half, c1);
    if (helper.joinable()) helper.join();
    else ok2 = stretch(b.get(), offset + half, length - half, c2);
    crc = uint32_t(crc32_combine(c1, c2, z_off_t(length - half)));
    return ok1 && ok2;
}

bool WriteAll(int fd, const std::vector<iovec>& parts) {
    std::vector<iovec> v;
    v.reserve(parts.size());
    for (const iovec& p : parts)
        if (p.iov_len) v.push_back(p);
    size_t i = 0;
    while (i < v.size()) {
        const int count = int(std::min<size_t>(v.size() - i, IOV_MAX));
        const ssize_t n = writev(fd, &v[i], count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        size_t done = size_t(n);
        while (i < v.size() && done >= v[i].iov_len) done -= v[i++].iov_len;
        if (done) {
            v[i].iov_base = static_cast<uint8_t*>(v[i].iov_base) + done;
            v[i].iov_len -= done;
        }
    }
    return true;
}

}  // namespace journal
