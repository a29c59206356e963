// Byte stream over an open C file or a growing memory block; every codec reads
// and writes through one of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ImageStream {
public:
    static constexpr size_t kGrowStep = 4096;

    // File kind: the caller keeps ownership of the FILE.
    explicit ImageStream(FILE* file);
    // Memory kind over n bytes. The bytes are read in place; the first write
    // that needs more room than the block has moves the data into a block the
    // stream allocates (and frees) itself. A null block of 0 bytes gives an
    // empty, growing stream.
    ImageStream(const uint8_t* data, size_t n);
    ImageStream() : ImageStream(nullptr, 0) {}
    ~ImageStream();

    ImageStream(const ImageStream&) = delete;
    ImageStream& operator=(const ImageStream&) = delete;

    size_t Read(void* buffer, size_t itemSize, size_t count);
    size_t Write(const void* buffer, size_t itemSize, size_t count);
    int Seek(int64_t offset, int origin);   // 0 set, 1 current, 2 end; 0 ok, -1 failure
    int64_t Tell() const;
    int64_t GetPos() const { return Tell(); }
    int64_t Size() const;
    int Flush();
    bool Eof() const;
    bool Error() const;
    int PutChar(int byte);
    int GetChar();                          // EOF (-1) at the end
    bool Reserve(size_t needed);
    int Close();

    int Kind() const { return kind_; }
    // Memory kind: the stream's bytes (size() of them).
    const uint8_t* Data() const { return data_; }
    size_t Capacity() const { return capacity_; }
    // Bytes left between the position and the end (memory and file kinds).
    int64_t Remaining() const;

    // Invalidate the stream (every operation then fails), for tests.
    void SetKindForTest(int kind) { kind_ = kind; }

private:
    int kind_;            // 0 file, 1 memory
    FILE* file_ = nullptr;
    uint8_t* data_ = nullptr;        // memory kind: current block
    uint8_t* owned_ = nullptr;       // block allocated by the stream, or null
    size_t position_ = 0;
    size_t size_ = 0;
    size_t capacity_ = 0;
    bool notOwner_ = true;
    bool readOnly_ = false;          // memory block belongs to the caller
};
