// The journal's writer: a helper thread that writes a document's journal
// files behind the user's back.
//
// The document thread takes a snapshot buffer from the writer's pool
// (Take), copies the bytes of the step into it and submits the file
// operations of the step (Submit); from then on only the writer thread
// touches that buffer, and gives it back to the pool when the file is
// written. Operations run one after the other in the order submitted
// (writes, removals, renames and links of the journal's files), so a file is
// always in the state the document thread last asked for once the
// operations that touch it are done. Whoever needs a file waits for those
// operations only (Wait), not for anything submitted after them.
//
// A write that fails leaves no file behind (a partial file is removed) and
// is kept as a failure for the document thread to report (TakeFailures).
// For every file written the writer keeps a seal (size and CRC-32 of the
// bytes after the step header, or of the whole file when it has none),
// which readers of files without a header check against.
//
// The pool keeps a few buffers for reuse; while more than about two steps'
// worth of snapshots are still being written, Take waits for the oldest.
// A buffer back in the pool remembers the files written from it: as long as
// such a file is still the one under its name (no later write, removal or
// rename touched it) and the buffer is not reused, the bytes it holds are
// exactly the file's (TakeKept).
// Without a helper thread (it cannot be started, or SetSynchronous) the
// operations run on the submitting thread at once, with the same results.
#pragma once

#include <sys/uio.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "journal_io.h"

namespace journal {

// A file written from a pooled buffer: where its payload lies in the
// buffer, and which write of its name it was.
struct KeptTag {
    std::string path;
    uint64_t write = 0;            // the seal's write number
    StepFileHeader header{};       // as written (sealed)
    std::vector<std::pair<size_t, size_t>> ranges;   // offset, bytes in the buffer, in file order
};

// A snapshot buffer of the pool.
struct Buffer {
    std::unique_ptr<uint8_t[]> data;
    size_t capacity = 0;
    std::vector<KeptTag> kept;     // files written from it (only while it is in the pool)
    explicit operator bool() const { return data != nullptr; }
};

// A written file whose bytes a pooled buffer still holds, taken out of the
// pool while they are looked at (TakeKept, ReturnKept).
struct KeptFile {
    Buffer buffer;
    StepFileHeader header{};
    std::vector<iovec> payload;    // the payload after the header, in file order
};

struct FileOp {
    enum Kind : uint8_t {
        Write,          // path: a StepFileHeader (when withHeader) and the parts
        Remove,         // path; a missing file is no failure
        Rename,         // path to `to`; a missing file is no failure
        Link,           // a second name `to` for path, unless `to` exists
        RemoveMatching  // every "<to>*.ptwtmp" in the folder `path`
    };
    Kind kind = Write;
    std::string path;
    std::string to;
    bool withHeader = false;
    StepFileHeader header{};
    std::vector<iovec> parts;   // the payload, in order
    Buffer buffer;              // owns the parts' bytes of a snapshot (may be empty)
    // Other owners of bytes the parts point at: a layer's own buffers given
    // to the journal by a command that replaces them (freed once written).
    std::vector<std::unique_ptr<uint8_t[]>> given;
    uint64_t written = 0;       // writer: the seal's write number once written
};

struct WriteFailure {
    std::string file;
    int error = 0;
};

struct FileSeal {
    int64_t size = 0;
    uint32_t crc = 0;
    uint64_t write = 0;   // which write of the name it was (never reused)
};

class Writer {
public:
    // `wake` is called on the writer thread after a failure was recorded:
    // it must be safe to call from any thread and touch nothing else.
    explicit Writer(std::function<void()> wake = {});
    ~Writer();   // operations not started yet are dropped
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // A buffer of at least `bytes`; waits while too many bytes are still
    // being written. Throws std::bad_alloc when no memory is left.
    Buffer Take(size_t bytes);
    // Queues the operations as one job (or runs them at once without a
    // helper thread).
    void Submit(std::vector<FileOp> ops);
    void Submit(FileOp op);
    // Runs the operations on this thread once everything queued before
    // that touches their files is done (for writes straight from the
    // document's buffers when no snapshot can be had).
    void RunHere(std::vector<FileOp> ops);

    // The pooled buffer that still holds the file `path` as written, when it
    // carries step `step` and no operation since has touched that name;
    // the buffer leaves the pool until ReturnKept (document thread only,
    // like Take). False when the pool holds no such buffer.
    bool TakeKept(const std::string& path, int32_t step, KeptFile& out);
    void ReturnKept(KeptFile& kept);

    // Until every operation submitted so far that touches `path` is done.
    void Wait(const std::string& path);
    void WaitAll();
    // Forgets the operations that have not started (their files are about
    // to be removed) and waits for the one running.
    void DropQueued();

    // The seal of the last successful write of `path` (after Wait).
    bool SealOf(const std::string& path, FileSeal& seal) const;
    std::vector<WriteFailure> TakeFailures();
    // A failure found before anything could be written.
    void RecordFailure(const std::string& file, int error);
    bool HasFailures() const { return failureCount_.load(std::memory_order_acquire) > 0; }

    void SetSynchronous(bool on);
    // Bytes held by the pool and by snapshots not yet written.
    size_t HeldBytes() const;
    // Bytes copied into snapshots so far (document thread).
    uint64_t SnapshotBytes() const { return snapshotBytes_; }

    // Tests: a function that, given a file about to be written, returns an
    // errno to fail that write with after half of its bytes (0: no fault).
    using FaultFn = int (*)(const std::string& path);
    static void SetFaultForTesting(FaultFn fn);

private:
    struct Job {
        uint64_t seq = 0;
        size_t bytes = 0;   // snapshot bytes held
        std::vector<FileOp> ops;
    };
    void Loop();
    void Execute(std::vector<FileOp>& ops);
    void ExecuteOne(FileOp& op);
    void Release(Job& job);   // lock held
    void TrimPool();          // lock held
    void Track(const std::vector<FileOp>& ops, uint64_t seq);
    bool StartThread();       // lock not held

    std::function<void()> wake_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    bool running_ = false;
    bool stop_ = false;
    bool synchronous_ = false;
    bool threadFailed_ = false;
    bool wakePending_ = false;   // a failure since the last wake
    std::thread thread_;
    uint64_t submitted_ = 0;    // last sequence number given out
    uint64_t completed_ = 0;    // every job up to this one is done
    size_t inFlight_ = 0;       // snapshot bytes in queued and running jobs
    size_t largestInFlight_ = 0;
    std::vector<Buffer> free_;
    std::unordered_map<std::string, FileSeal> seals_;
    uint64_t writes_ = 0;       // successful writes so far (lock held)
    std::vector<WriteFailure> failures_;
    std::atomic<int> failureCount_{0};

    // Document thread only: the last job touching each file, and the last
    // job that touches files by pattern.
    std::unordered_map<std::string, uint64_t> lastJob_;
    uint64_t barrier_ = 0;
    uint64_t snapshotBytes_ = 0;
};

}  // namespace journal

namespace journal {

// What a document keeps of its journal besides the step records: the
// writer and the numbering of steps.
struct DocJournal {
    explicit DocJournal(std::function<void()> wake) : writer(std::move(wake)) {}
    Writer writer;
    std::string folder;        // the journal folder (ends with '/'; empty when there is none)
    int nextNumber = 0;        // number of the next step recorded (never reused)
    int filesSerial = 0;       // the docSerial the journal's files carry
    bool redoHeadWritten = false;   // the redo head file was asked for since the journal started
};

}  // namespace journal
