#include "journal_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "thread_priority.h"

namespace journal {

namespace {
// Snapshots may hold this much (or two of the largest, if more) while they
// wait to be written; the pool keeps at most this many free buffers.
constexpr size_t kBudget = size_t(256) << 20;
constexpr size_t kKeptBuffers = 4;

std::atomic<Writer::FaultFn> gFault{nullptr};

bool EndsWith(const std::string& s, const char* tail) {
    const size_t n = std::char_traits<char>::length(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}
}  // namespace

void Writer::SetFaultForTesting(FaultFn fn) { gFault.store(fn); }

Writer::Writer(std::function<void()> wake) : wake_(std::move(wake)) {}

Writer::~Writer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        for (Job& job : queue_) Release(job);
        queue_.clear();
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

namespace {
// Whether the bytes of `v` lie inside the buffer.
bool Holds(const Buffer& b, const iovec& v) {
    const uint8_t* lo = b.data.get();
    const uint8_t* p = static_cast<const uint8_t*>(v.iov_base);
    return lo && p >= lo && p <= lo + b.capacity && v.iov_len <= size_t(lo + b.capacity - p);
}
}  // namespace

Buffer Writer::Take(size_t bytes) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] {
            const size_t limit = std::max(kBudget, 2 * std::max(bytes, largestInFlight_));
            return inFlight_ == 0 || inFlight_ + bytes <= limit;
        });
        size_t best = free_.size();
        for (size_t i = 0; i < free_.size(); ++i)
            if (free_[i].capacity >= bytes && (best == free_.size() || free_[i].capacity < free_[best].capacity))
                best = i;
        if (best < free_.size()) {
            Buffer b = std::move(free_[best]);
            free_.erase(free_.begin() + long(best));
            b.kept.clear();   // about to be overwritten
            return b;
        }
    }
    Buffer b;
    b.data.reset(new uint8_t[std::max<size_t>(bytes, 1)]);   // uninitialised: it is filled at once
    b.capacity = bytes;
    return b;
}

void Writer::Track(const std::vector<FileOp>& ops, uint64_t seq) {
    for (const FileOp& op : ops) {
        if (op.kind == FileOp::RemoveMatching) {
            barrier_ = seq;
            continue;
        }
        lastJob_[op.path] = seq;
        if (op.kind == FileOp::Rename || op.kind == FileOp::Link) lastJob_[op.to] = seq;
    }
    if (lastJob_.size() > 4096) {
        uint64_t done;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done = completed_;
        }
        for (auto it = lastJob_.begin(); it != lastJob_.end();)
            it = it->second <= done ? lastJob_.erase(it) : std::next(it);
    }
}

bool Writer::StartThread() {
    if (thread_.joinable()) return true;
    if (threadFailed_) return false;
    try {
        thread_ = std::thread(&Writer::Loop, this);
    } catch (const std::system_error&) {
        threadFailed_ = true;
        return false;
    }
    return true;
}

void Writer::Submit(FileOp op) {
    std::vector<FileOp> ops;
    ops.push_back(std::move(op));
    Submit(std::move(ops));
}

void Writer::Submit(std::vector<FileOp> ops) {
    if (ops.empty()) return;
    Job job;
    for (const FileOp& op : ops) {
        job.bytes += op.buffer ? op.buffer.capacity : 0;
        // Bytes copied into the snapshot count as kept; those written from
        // buffers given to the journal are held until written, like a
        // snapshot's, so that later snapshots wait for them as well.
        for (const iovec& v : op.parts) {
            if (Holds(op.buffer, v)) snapshotBytes_ += v.iov_len;
            else if (!op.given.empty()) job.bytes += v.iov_len;
        }
    }
    bool inline_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job.seq = ++submitted_;
        inline_ = synchronous_;
    }
    Track(ops, job.seq);
    if (!inline_ && !StartThread()) inline_ = true;
    if (inline_) {
        // Whatever was queued before (the mode changed) goes first.
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return completed_ + 1 >= job.seq; });
        }
        Execute(ops);
        job.ops = std::move(ops);
        std::lock_guard<std::mutex> lock(mutex_);
        completed_ = std::max(completed_, job.seq);
        inFlight_ += job.bytes;
        Release(job);
        changed_.notify_all();
        return;
    }
    job.ops = std::move(ops);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ += job.bytes;
        largestInFlight_ = std::max(largestInFlight_, job.bytes);
        queue_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void Writer::RunHere(std::vector<FileOp> ops) {
    for (const FileOp& op : ops) {
        Wait(op.path);
        if (!op.to.empty()) Wait(op.to);
    }
    Execute(ops);
}

void Writer::Wait(const std::string& path) {
    uint64_t need = barrier_;
    if (auto it = lastJob_.find(path); it != lastJob_.end()) need = std::max(need, it->second);
    if (!need) return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return completed_ >= need; });
}

void Writer::WaitAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t need = submitted_;
    changed_.wait(lock, [&] { return completed_ >= need; });
}

void Writer::DropQueued() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (Job& job : queue_) Release(job);
    queue_.clear();
    changed_.wait(lock, [&] { return !running_; });
    completed_ = submitted_;
    changed_.notify_all();
}

bool Writer::SealOf(const std::string& path, FileSeal& seal) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = seals_.find(path);
    if (it == seals_.end()) return false;
    seal = it->second;
    return true;
}

std::vector<WriteFailure> Writer::TakeFailures() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<WriteFailure> out;
    out.swap(failures_);
    failureCount_.store(0, std::memory_order_release);
    return out;
}

void Writer::RecordFailure(const std::string& file, int error) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(WriteFailure{file, error});
    failureCount_.fetch_add(1, std::memory_order_release);
}

void Writer::SetSynchronous(bool on) {
    WaitAll();
    std::lock_guard<std::mutex> lock(mutex_);
    synchronous_ = on;
}

size_t Writer::HeldBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    size_t n = inFlight_;
    for (const Buffer& b : free_) n += b.capacity;
    return n;
}

// The job's buffers go back to the pool, which keeps a few of them, each
// with the files written from it.
void Writer::Release(Job& job) {
    inFlight_ -= std::min(inFlight_, job.bytes);
    std::vector<Buffer> back;
    for (FileOp& op : job.ops)
        if (op.buffer) back.push_back(std::move(op.buffer));
    for (FileOp& op : job.ops) {
        if (op.kind != FileOp::Write || !op.written || op.parts.empty()) continue;
        // The buffer all of the file's parts lie in (a head file and a layer
        // file may share one).
        for (Buffer& b : back) {
            if (!std::all_of(op.parts.begin(), op.parts.end(), [&b](const iovec& v) { return Holds(b, v); })) continue;
            KeptTag tag;
            tag.path = op.path;
            tag.write = op.written;
            tag.header = op.header;
            for (const iovec& v : op.parts)
                tag.ranges.emplace_back(size_t(static_cast<const uint8_t*>(v.iov_base) - b.data.get()), v.iov_len);
            b.kept.push_back(std::move(tag));
            break;
        }
    }
    for (FileOp& op : job.ops) op.parts.clear();
    for (Buffer& b : back) free_.push_back(std::move(b));
    TrimPool();
    largestInFlight_ = 0;
    for (const Job& j : queue_) largestInFlight_ = std::max(largestInFlight_, j.bytes);
}

void Writer::TrimPool() {
    size_t largestFree = 0;
    for (const Buffer& b : free_) largestFree = std::max(largestFree, b.capacity);
    size_t total = 0;
    for (const Buffer& b : free_) total += b.capacity;
    const size_t keep = std::max(kBudget, 2 * largestFree);
    while (!free_.empty() && (free_.size() > kKeptBuffers || total > keep)) {
        total -= free_.front().capacity;
        free_.erase(free_.begin());
    }
}

bool Writer::TakeKept(const std::string& path, int32_t step, KeptFile& out) {
    uint64_t need = barrier_;
    if (auto it = lastJob_.find(path); it != lastJob_.end()) need = std::max(need, it->second);
    std::lock_guard<std::mutex> lock(mutex_);
    // Something still to be done to that name: its file is not settled.
    if (need > completed_) return false;
    const auto seal = seals_.find(path);
    if (seal == seals_.end()) return false;
    for (size_t i = 0; i < free_.size(); ++i)
        for (const KeptTag& tag : free_[i].kept) {
            if (tag.path != path || tag.write != seal->second.write || tag.header.step != step) continue;
            out.header = tag.header;
            out.payload.clear();
            for (const auto& [off, n] : tag.ranges) out.payload.push_back(iovec{free_[i].data.get() + off, n});
            out.buffer = std::move(free_[i]);
            free_.erase(free_.begin() + long(i));
            return true;
        }
    return false;
}

void Writer::ReturnKept(KeptFile& kept) {
    kept.payload.clear();
    if (!kept.buffer) return;
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(kept.buffer));
    TrimPool();
}

void Writer::Loop() {
    // The files are written while the user goes on: on a machine whose cores
    // are all busy the command the user waits for runs first (an undo that
    // needs a pending file sleeps while it is written, leaving the writer
    // a core).
    threadprio::LowerThisThread(10);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;   // stopped
        Job job = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        lock.unlock();
        Execute(job.ops);
        lock.lock();
        running_ = false;
        completed_ = std::max(completed_, job.seq);
        Release(job);
        const bool failed = wakePending_;
        wakePending_ = false;
        changed_.notify_all();
        if (failed && wake_) {
            lock.unlock();
            wake_();
            lock.lock();
        }
    }
}

void Writer::Execute(std::vector<FileOp>& ops) {
    for (FileOp& op : ops) ExecuteOne(op);
}

void Writer::ExecuteOne(FileOp& op) {
    switch (op.kind) {
    case FileOp::Write: {
        int err = 0;
        int64_t size = 0;
        const uint32_t crc = Crc(op.parts);
        const int fd = open(op.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) {
            err = errno;
        } else {
            std::vector<iovec> all;
            all.reserve(op.parts.size() + 1);
            if (op.withHeader) {
                SealHeader(op.header, crc);
                all.push_back(iovec{&op.header, sizeof op.header});
            }
            all.insert(all.end(), op.parts.begin(), op.parts.end());
            for (const iovec& v : all) size += int64_t(v.iov_len);
            const FaultFn fault = gFault.load();
            if (const int injected = fault ? fault(op.path) : 0) {
                // Half of the bytes reach the file, then the write fails.
                std::vector<iovec> half;
                int64_t left = size / 2;
                for (const iovec& v : all) {
                    if (left <= 0) break;
                    const size_t k = size_t(std::min<int64_t>(left, int64_t(v.iov_len)));
                    half.push_back(iovec{v.iov_base, k});
                    left -= int64_t(k);
                }
                WriteAll(fd, half);
                err = injected;
            } else if (!WriteAll(fd, all)) {
                err = errno ? errno : EIO;
            }
            if (close(fd) != 0 && !err) err = errno;
        }
        if (err) unlink(op.path.c_str());
        std::lock_guard<std::mutex> lock(mutex_);
        if (err) {
            seals_.erase(op.path);
            failures_.push_back(WriteFailure{op.path, err});
            failureCount_.fetch_add(1, std::memory_order_release);
            wakePending_ = true;
        } else {
            op.written = ++writes_;
            seals_[op.path] = FileSeal{op.withHeader ? size - int64_t(sizeof op.header) : size, crc, op.written};
        }
        break;
    }
    case FileOp::Remove: {
        unlink(op.path.c_str());
        std::lock_guard<std::mutex> lock(mutex_);
        seals_.erase(op.path);
        break;
    }
    case FileOp::Rename: {
        const bool moved = rename(op.path.c_str(), op.to.c_str()) == 0;
        // Nothing to move: nothing may stay under the new name either.
        if (!moved) unlink(op.to.c_str());
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = seals_.find(op.path);
        if (moved && it != seals_.end()) seals_[op.to] = it->second;
        else seals_.erase(op.to);
        seals_.erase(op.path);
        break;
    }
    case FileOp::Link: {
        struct stat st;
        if (stat(op.to.c_str(), &st) == 0) break;
        if (link(op.path.c_str(), op.to.c_str()) == 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (auto it = seals_.find(op.path); it != seals_.end()) seals_[op.to] = it->second;
        }
        break;
    }
    case FileOp::RemoveMatching: {
        std::string folder = op.path;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        std::vector<std::string> doomed;
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* e = readdir(dir)) {
                const std::string name = e->d_name;
                if (name.size() > op.to.size() && name.compare(0, op.to.size(), op.to) == 0 &&
                    EndsWith(name, ".ptwtmp"))
                    doomed.push_back(folder + name);
            }
            closedir(dir);
        }
        for (const std::string& p : doomed) unlink(p.c_str());
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string prefix = folder + op.to;
        for (auto it = seals_.begin(); it != seals_.end();)
            it = it->first.compare(0, prefix.size(), prefix) == 0 ? seals_.erase(it) : std::next(it);
        break;
    }
    }
}

}  // namespace journal
