// Journal failures: writes that fail (a seam, a folder that cannot be made,
// a full file system) are reported and keep the edit; programs starting at
// the same time never lose their journal folders; stale folders go.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "CVexoDoc.h"
#include "journal_writer.h"
#include "journaled_doc.h"
#include "program_paths.h"
#include "test_support.h"
#include "undo_journal.h"

namespace {

const char* const kDamaged = "작업 기록 파일이 없거나 손상되어 되돌릴 수 없습니다.";
const char* const kTempFailed = "임시 파일 생성 실패 : 관리자권한으로 실행 바람";

int FailStepTwo(const std::string& path) { return path.find("UD_1_2_0.ptwtmp") != std::string::npos ? ENOSPC : 0; }

struct Failures : JournaledDocTest {
    void SetUp() override { StartJournal(8, 6); }
    void TearDown() override { journal::Writer::SetFaultForTesting(nullptr); }
    void PaintStep(uint8_t value) {
        std::memset(doc.Layer(0).pixels.get(), value, size_t(doc.Layer(0).pixelSize));
        ASSERT_TRUE(doc.RecordUndoStep(u"붓 도구", UndoLayerChanged, 0));
    }
};

TEST_F(Failures, AFailedBackgroundWriteIsReportedOnceAndTheEditKept) {
    journal::Writer::SetFaultForTesting(FailStepTwo);
    PaintStep(10);   // 1
    PaintStep(20);   // 2: its file fails half-way
    PaintStep(30);   // 3 (told here when step 2's write has failed by now)
    doc.FlushJournal();
    ASSERT_EQ(host.journalFailures.size(), 1u);
    const std::string file = journal::LayerFileName(host.journalFolder, doc.docSerial, 2, 0);
    EXPECT_EQ(host.journalFailures[0].first, file);
    EXPECT_EQ(host.journalFailures[0].second, std::string(kTempFailed) + " (No space left on device)");
    EXPECT_NE(access(file.c_str(), F_OK), 0);   // no half-written file stays
    EXPECT_TRUE(doc.FlushJournal());            // told once
    // The edits are all there; only the undo into step 2 is refused.
    EXPECT_EQ(doc.undoPos, 3);
    EXPECT_EQ(doc.steps.size(), 4u);
    EXPECT_EQ(doc.Layer(0).pixels[0], 30);
    host.messages.clear();
    EXPECT_FALSE(doc.Undo());
    EXPECT_EQ(doc.Layer(0).pixels[0], 30);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], kDamaged);
    testsupport::TempDir out;
    ASSERT_TRUE(doc.Save(out.File("kept.bmp")));
    VaZavi saved;
    ASSERT_TRUE(saved.Load(out.File("kept.bmp").c_str(), kTypeBMP));
    EXPECT_EQ(saved.GetPixelColor(0, 0) & 0xFFFFFF, 0x1E1E1Eu);
    // The next steps write again and can be undone.
    journal::Writer::SetFaultForTesting(nullptr);
    PaintStep(40);
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.Layer(0).pixels[0], 30);
}

TEST_F(Failures, AFailureIsToldAtTheNextStepWithoutWaiting) {
    journal::Writer::SetFaultForTesting(FailStepTwo);
    doc.journal->writer.SetSynchronous(true);
    PaintStep(10);
    PaintStep(20);   // fails at once: told at the end of the step
    ASSERT_EQ(host.journalFailures.size(), 1u);
    PaintStep(30);
    EXPECT_EQ(host.journalFailures.size(), 1u);
}

// --- through pimlora-cli ------------------------------------------------------------

std::string Cli() { return PIMLORA_CLI; }

void MakePicture(const testsupport::TempDir& dir, const std::string& name, int w, int h) {
    ASSERT_EQ(testsupport::Run(testsupport::ImageMagick() + " -size " + std::to_string(w) + "x" + std::to_string(h) +
                               " plasma:fractal -seed 3 -type TrueColor BMP3:" + dir.File(name)),
              0);
}

TEST(JournalCliFailures, AFolderThatCannotBeMadeFailsTheRunButKeepsTheEdits) {
    testsupport::TempDir dir;
    MakePicture(dir, "in.bmp", 24, 16);
    // The journal root is a plain file: no journal folder can be made.
    mkdir(dir.File("home").c_str(), 0700);
    testsupport::WriteBytes(dir.File("home/tmp"), {1, 2, 3});
    std::string out, good;
    const std::string run = " run " + dir.File("in.bmp") + " " + dir.File("%s.bmp") + " --journal 1413 1414";
    auto cmd = [&](const std::string& home, const std::string& name) {
        std::string r = run;
        r.replace(r.find("%s"), 2, name);
        return "PIMLORA_HOME=" + home + " " + Cli() + r + " 2>" + dir.File(name + ".err");
    };
    EXPECT_EQ(testsupport::Run(cmd(dir.File("home"), "bad"), &out), 1);
    ASSERT_EQ(testsupport::Run(cmd(dir.File("goodhome"), "good"), &good), 0);
    // The ring holds every step, the pictures are the same.
    EXPECT_EQ(out, good);
    EXPECT_EQ(out.substr(0, 15), "0 0 Opening....");
    EXPECT_EQ(testsupport::ReadBytes(dir.File("bad.bmp")), testsupport::ReadBytes(dir.File("good.bmp")));
    const auto err = testsupport::ReadBytes(dir.File("bad.err"));
    const std::string text(err.begin(), err.end());
    EXPECT_EQ(text.rfind("pimlora-cli: ", 0), 0u) << text;
    EXPECT_NE(text.find(kTempFailed), std::string::npos) << text;
    EXPECT_TRUE(testsupport::ReadBytes(dir.File("good.err")).empty());
}

// A real full file system: a small tmpfs in a private mount namespace.
TEST(JournalCliFailures, AFullFileSystemFailsTheRunButKeepsTheEdits) {
    testsupport::TempDir dir;
    MakePicture(dir, "in.bmp", 64, 64);
    mkdir(dir.File("home").c_str(), 0700);
    const std::string probe = "unshare -m sh -c 'mount -t tmpfs -o size=64k tmpfs " + dir.File("home") + "' 2>/dev/null";
    const std::string probeUser = "unshare -rm sh -c 'mount -t tmpfs -o size=64k tmpfs " + dir.File("home") + "' 2>/dev/null";
    std::string prefix;
    if (testsupport::Run(probe) == 0) prefix = "unshare -m";
    else if (testsupport::Run(probeUser) == 0) prefix = "unshare -rm";
    else GTEST_SKIP() << "no private mount namespace here";
    // 64 x 64: the head file takes 24 KB of the file system, every step
    // file 28 KB: only the head file fits.
    std::string out;
    const int status = testsupport::Run(prefix + " sh -c 'mount -t tmpfs -o size=48k tmpfs " + dir.File("home") +
                                            " && PIMLORA_HOME=" + dir.File("home") + " " + Cli() + " run " +
                                            dir.File("in.bmp") + " " + dir.File("out.bmp") +
                                            " --journal 1413 1414 1413 4870' 2>" + dir.File("err"),
                                        &out);
    EXPECT_EQ(status, 1);
    const auto err = testsupport::ReadBytes(dir.File("err"));
    const std::string text(err.begin(), err.end());
    EXPECT_NE(text.find("(No space left on device)"), std::string::npos) << text;
    EXPECT_NE(text.find("pimlora-cli: "), std::string::npos) << text;
    // Every step is in the ring; the undo needed a file that could not be
    // written and was refused, so the picture has all three edits.
    std::string expected;
    ASSERT_EQ(testsupport::Run("PIMLORA_HOME=" + dir.File("other") + " " + Cli() + " run " + dir.File("in.bmp") + " " +
                                   dir.File("ref.bmp") + " --journal 1413 1414 1413",
                               &expected),
              0);
    EXPECT_EQ(out, expected);
    EXPECT_NE(text.find(kDamaged), std::string::npos) << text;
    EXPECT_EQ(testsupport::ReadBytes(dir.File("out.bmp")), testsupport::ReadBytes(dir.File("ref.bmp")));
}

// Twenty programs starting at once, several times over: none finds its
// journal folder taken away, every undo works, nothing is left behind.
TEST(JournalCliFailures, SimultaneousStartsKeepTheirJournalFolders) {
    testsupport::TempDir dir;
    MakePicture(dir, "small.bmp", 32, 24);
    const std::string home = dir.File("home");
    ASSERT_EQ(testsupport::Run("PIMLORA_HOME=" + home + " " + Cli() + " run " + dir.File("small.bmp") + " " +
                               dir.File("ref.bmp")),
              0);
    const std::string script = "cd " + dir.Path() + " && for r in 1 2 3 4 5; do for i in $(seq 20); do "
                               "(PIMLORA_HOME=" + home + " " + Cli() +
                               " run small.bmp o$r-$i.bmp 1413 4870 >/dev/null 2>err$r-$i; echo $? >rc$r-$i) & "
                               "done; wait; done";
    ASSERT_EQ(testsupport::Run(script), 0);
    const auto ref = testsupport::ReadBytes(dir.File("ref.bmp"));
    int bad = 0;
    for (int r = 1; r <= 5; ++r)
        for (int i = 1; i <= 20; ++i) {
            const std::string tag = std::to_string(r) + "-" + std::to_string(i);
            const auto rc = testsupport::ReadBytes(dir.File("rc" + tag));
            const auto err = testsupport::ReadBytes(dir.File("err" + tag));
            if (std::string(rc.begin(), rc.end()) != "0\n" || !err.empty() ||
                testsupport::ReadBytes(dir.File("o" + tag + ".bmp")) != ref) {
                ++bad;
                ADD_FAILURE() << "run " << tag << ": " << std::string(err.begin(), err.end());
            }
        }
    EXPECT_EQ(bad, 0);
    EXPECT_TRUE(std::filesystem::is_empty(home + "/tmp"));
}

// Folders of programs that are gone go; folders in use or still being
// made stay; the new folder is locked under its final name.
TEST(JournalLock, StaleFoldersGoAndLiveOnesStay) {
    testsupport::TempDir dir;
    const char* old = std::getenv("PIMLORA_HOME");
    const std::string saved = old ? old : "";
    setenv("PIMLORA_HOME", dir.Path().c_str(), 1);
    const std::string root = paths::JournalRoot();
    auto folder = [&](const std::string& name, bool lock) {
        std::filesystem::create_directories(root + "/" + name);
        if (lock) testsupport::WriteBytes(root + "/" + name + "/.lock", {});
        testsupport::WriteBytes(root + "/" + name + "/UD_1_0_0.ptwtmp", {1});
        return root + "/" + name;
    };
    const std::string gone = folder("run-1-aaaaaa", true);
    const std::string live = folder("run-2-bbbbbb", true);
    const std::string unlocked = folder("run-3-cccccc", false);   // a clean-up that was cut short
    const std::string making = folder(".making-4-dddddd", false);
    const std::string stale = folder(".making-5-eeeeee", true);
    const std::string other = folder("photos", false);
    struct utimbuf past{time(nullptr) - 600, time(nullptr) - 600};
    utime(stale.c_str(), &past);
    const int held = open((live + "/.lock").c_str(), O_RDWR);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    {
        paths::JournalLock lock;
        ASSERT_FALSE(lock.Folder().empty());
        EXPECT_FALSE(std::filesystem::exists(gone));
        EXPECT_FALSE(std::filesystem::exists(unlocked));
        EXPECT_FALSE(std::filesystem::exists(stale));
        EXPECT_TRUE(std::filesystem::exists(live));
        EXPECT_TRUE(std::filesystem::exists(making));
        EXPECT_TRUE(std::filesystem::exists(other));
        const std::string mine = lock.Folder();
        EXPECT_EQ(mine.rfind(root + "/run-" + std::to_string(getpid()) + "-", 0), 0u) << mine;
        // Its lock is held: a second program could not take it.
        const int probe = open((mine + ".lock").c_str(), O_RDWR);
        ASSERT_GE(probe, 0);
        EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0);
        close(probe);
        // No folder is left under the making name.
        int makingNow = 0;
        for (const auto& e : std::filesystem::directory_iterator(root))
            if (e.path().filename().string().rfind(".making-" + std::to_string(getpid()), 0) == 0) ++makingNow;
        EXPECT_EQ(makingNow, 0);
    }
    close(held);
    if (old) setenv("PIMLORA_HOME", saved.c_str(), 1);
    else unsetenv("PIMLORA_HOME");
}

}  // namespace
