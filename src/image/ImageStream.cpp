#include "ImageStream.h"

#include <cstdlib>
#include <cstring>
#include <limits>

ImageStream::ImageStream(FILE* file) : kind_(0), file_(file) {}

ImageStream::ImageStream(const uint8_t* data, size_t n)
    : kind_(1), data_(const_cast<uint8_t*>(data)), size_(n), capacity_(n), readOnly_(data != nullptr) {}

ImageStream::~ImageStream() { std::free(owned_); }

size_t ImageStream::Read(void* buffer, size_t itemSize, size_t count) {
    if (!buffer || itemSize == 0 || count == 0) return 0;
    if (kind_ == 0) return file_ ? std::fread(buffer, itemSize, count, file_) : 0;
    if (kind_ != 1 || !data_ || position_ >= size_) return 0;
    if (count > std::numeric_limits<size_t>::max() / itemSize) return 0;
    size_t want = itemSize * count;
    size_t n = want < size_ - position_ ? want : size_ - position_;
    std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n / itemSize;
}

bool ImageStream::Reserve(size_t needed) {
    if (kind_ != 1) return false;
    if (needed <= capacity_ && !readOnly_) return true;
    size_t grow = needed > capacity_ ? needed - capacity_ : 0;
    size_t steps = (grow + kGrowStep - 1) / kGrowStep;
    size_t newCap = capacity_ + kGrowStep * steps;
    uint8_t* block;
    if (readOnly_ || !owned_) {
        block = static_cast<uint8_t*>(std::malloc(newCap ? newCap : 1));
        if (!block) return false;
        if (data_ && size_) std::memcpy(block, data_, size_);
    } else {
        block = static_cast<uint8_t*>(std::realloc(owned_, newCap));
        if (!block) return false;
    }
    owned_ = data_ = block;
    capacity_ = newCap;
    readOnly_ = false;
    return true;
}

size_t ImageStream::Write(const void* buffer, size_t itemSize, size_t count) {
    if (!buffer || itemSize == 0 || count == 0) return 0;
    if (kind_ == 0) return file_ ? std::fwrite(buffer, itemSize, count, file_) : 0;
    if (kind_ != 1) return 0;
    if (count > std::numeric_limits<size_t>::max() / itemSize) return 0;
    size_t n = itemSize * count;
    if (position_ + n < position_ || !Reserve(position_ + n)) return 0;
    std::memcpy(data_ + position_, buffer, n);
    position_ += n;
    if (position_ > size_) size_ = position_;
    return count;
}

int ImageStream::PutChar(int byte) {
    uint8_t b = uint8_t(byte);
    if (kind_ == 0) return file_ ? std::fputc(b, file_) : -1;
    return Write(&b, 1, 1) == 1 ? b : -1;
}

int ImageStream::GetChar() {
    if (kind_ == 0) return file_ ? std::fgetc(file_) : -1;
    if (kind_ != 1 || !data_ || position_ >= size_) return -1;
    return data_[position_++];
}

int ImageStream::Seek(int64_t offset, int origin) {
    if (kind_ == 0) {
        if (!file_ || origin < 0 || origin > 2) return -1;
        return fseeko(file_, off_t(offset), origin) == 0 ? 0 : -1;
    }
    if (kind_ != 1) return -1;
    int64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = int64_t(position_); break;
    case 2: base = int64_t(size_); break;
    default: return -1;
    }
    if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset)) return -1;
    int64_t pos = base + offset;
    if (pos < 0) return -1;
    position_ = size_t(pos);
    return 0;
}

int64_t ImageStream::Tell() const {
    if (kind_ == 0) return file_ ? int64_t(ftello(file_)) : -1;
    if (kind_ != 1) return -1;
    return int64_t(position_);
}

int64_t ImageStream::Size() const {
    if (kind_ == 0) {
        if (!file_) return -1;
        off_t here = ftello(file_);
        if (fseeko(file_, 0, SEEK_END) != 0) return -1;
        off_t end = ftello(file_);
        fseeko(file_, here, SEEK_SET);
        return int64_t(end);
    }
    if (kind_ != 1) return -1;
    return int64_t(size_);
}

int64_t ImageStream::Remaining() const {
    int64_t size = Size(), pos = Tell();
    if (size < 0 || pos < 0 || pos > size) return 0;
    return size - pos;
}

int ImageStream::Flush() {
    if (kind_ == 0) return file_ ? std::fflush(file_) : -1;
    return kind_ == 1 ? 0 : -1;
}

bool ImageStream::Eof() const {
    if (kind_ == 0) return !file_ || std::feof(file_);
    if (kind_ != 1) return true;
    return position_ >= size_;
}

bool ImageStream::Error() const {
    if (kind_ == 0) return !file_ || std::ferror(file_);
    if (kind_ != 1) return true;
    return position_ >= size_;
}

int ImageStream::Close() {
    if (notOwner_) return -1;
    if (kind_ == 0 && file_) {
        int r = std::fclose(file_);
        file_ = nullptr;
        return r;
    }
    return 0;
}
