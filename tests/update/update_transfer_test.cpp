// setupfetch's side without its window: the download counter over HTTP and
// FTP, the installer download, and what follows a finished download.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "CAutoUpdater.h"
#include "counter.h"
#include "down_install.h"
#include "download.h"
#include "loopback.h"

using namespace update;

// FTP home with its "www" folder, which is also the counter's web root.
class Counter : public ::testing::Test {
protected:
    TempFolder t;
    fs::path home = t.path / "ftp", www = home / "www", local = t.path / "cache";
    void SetUp() override {
        fs::create_directories(www);
        fs::create_directories(local);
    }
    CounterResult Bump(Loopback& server, const std::string& account, std::string* why = nullptr,
                       mode_t mode = 0600) {
        UpdateConfig c = TestConfig(server.host());
        c.counterHost = "127.0.0.1:" + std::to_string(server.http()) + ":" + std::to_string(server.ftp());
        if (!account.empty()) c.credentialsFile = Credentials(t.path, account, mode).string();
        CAutoUpdater u(c);
        return BumpDownloadCounter(u, local.string(), why);
    }
};

TEST_F(Counter, GrowsByOneOnTheServer) {
    WriteText(www / "vandelore_update.txt", "41");
    Loopback server(www, home);
    ASSERT_GT(server.ftp(), 0);
    EXPECT_EQ(Bump(server, "tester:pw-tester-9"), CounterResult::Uploaded);
    EXPECT_EQ(ReadText(www / "vandelore_update.txt"), "42");   // "%d", no line end
    EXPECT_EQ(ReadText(local / "dninf.tmp"), "42");             // the local copy stays
    EXPECT_EQ(Bump(server, "tester:pw-tester-9"), CounterResult::Uploaded);
    EXPECT_EQ(ReadText(www / "vandelore_update.txt"), "43");
    // Text that is not a number counts as 0.
    WriteText(www / "vandelore_update.txt", "none yet\r\n");
    EXPECT_EQ(Bump(server, "tester:pw-tester-9"), CounterResult::Uploaded);
    EXPECT_EQ(ReadText(www / "vandelore_update.txt"), "1");
}

TEST_F(Counter, RefusedUploadIsReported) {
    WriteText(www / "vandelore_update.txt", "41");
    Loopback server(www, home);
    std::string why;
    EXPECT_EQ(Bump(server, "reader:pw-reader-9", &why), CounterResult::UploadFailed);
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(ReadText(www / "vandelore_update.txt"), "41");
    EXPECT_EQ(Bump(server, "tester:wrong-password"), CounterResult::UploadFailed);
    EXPECT_EQ(ReadText(www / "vandelore_update.txt"), "41");
}

TEST_F(Counter, SkippedWithoutAccountOrCount) {
    WriteText(www / "vandelore_update.txt", "41");
    Loopback server(www, home);
    std::string why;
    EXPECT_EQ(Bump(server, ""), CounterResult::Skipped);
    // An account file others may read is refused, and nothing is sent.
    EXPECT_EQ(Bump(server, "tester:pw-tester-9", &why, 0644), CounterResult::Skipped);
    EXPECT_NE(why.find("others"), std::string::npos);
    EXPECT_EQ(ReadText(www / "vandelore_update.txt"), "41");
    EXPECT_FALSE(fs::exists(local / "dninf.tmp"));
    fs::remove(www / "vandelore_update.txt");
    EXPECT_EQ(Bump(server, "tester:pw-tester-9"), CounterResult::Skipped);   // nothing to read
    EXPECT_FALSE(fs::exists(www / "vandelore_update.txt"));
}

// Collects progress reports from the download thread.
struct Reports {
    std::mutex m;
    std::vector<std::pair<uint64_t, uint64_t>> seen;
    ProgressFn fn() {
        return [this](uint64_t d, uint64_t t) {
            std::lock_guard<std::mutex> l(m);
            seen.emplace_back(d, t);
        };
    }
};

class Download : public ::testing::Test {
protected:
    TempFolder t;
    fs::path root = t.path / "www", folder = t.path / "cache";
    std::string payload;
    void SetUp() override {
        fs::create_directories(root);
        fs::create_directories(folder);
        payload.resize(3 << 20);
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = char((i * 2654435761u) >> 13);
        WriteText(root / "setup_pimlora_631.exe", payload);
    }
    size_t FilesLeft() {
        size_t n = 0;
        for (auto& e : fs::directory_iterator(folder)) n += e.is_regular_file();
        return n;
    }
};

TEST_F(Download, FreshCopyWithChecksumAndReports) {
    Loopback server(root);
    WriteText(folder / "setup_pimlora_631.exe", "an old copy");
    std::atomic<bool> cancel{false};
    Reports r;
    DownloadResult d = DownloadFile("http://" + server.host() + "/setup_pimlora_631.exe", folder.string(), cancel,
                                    r.fn(), 1);
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_EQ(d.path, (folder / "setup_pimlora_631.exe").string());
    EXPECT_EQ(ReadText(d.path), payload);
    // The checksum of a known text (FIPS 180-2's "abc").
    WriteText(t.path / "abc", "abc");
    EXPECT_EQ(FileSha256((t.path / "abc").string()),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(FileSha256((t.path / "missing").string()), "");
    ASSERT_FALSE(r.seen.empty());
    EXPECT_EQ(r.seen.back(), std::make_pair(uint64_t(payload.size()), uint64_t(payload.size())));
    EXPECT_EQ(FilesLeft(), 1u);   // no piece left beside it
}

TEST_F(Download, ReportsAtMostTwentyTimesASecond) {
    // 3 MiB in 16 KiB pieces 5 ms apart: about 190 pieces over a second or more.
    Loopback server(root);
    std::atomic<bool> cancel{false};
    Reports r;
    auto start = std::chrono::steady_clock::now();
    DownloadResult d = DownloadFile("http://" + server.host() + "/slow/5/setup_pimlora_631.exe", folder.string(),
                                    cancel, r.fn(), 2);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(d.ok) << d.error;
    EXPECT_LE(double(r.seen.size()), seconds * kProgressPerSecond + 2);
    EXPECT_GE(r.seen.size(), 2u);
}

TEST_F(Download, CancelledCutShortOrMissingLeavesNothing) {
    Loopback server(root);
    std::atomic<bool> cancel{false};
    // Cancelled from another thread once the first bytes are in.
    std::atomic<bool> started{false};
    ProgressFn watch = [&](uint64_t done, uint64_t) {
        if (done > 0) started = true;
    };
    std::thread canceller([&] {
        while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        cancel = true;
    });
    DownloadResult d = DownloadFile("http://" + server.host() + "/slow/20/setup_pimlora_631.exe", folder.string(),
                                    cancel, watch, 2);
    canceller.join();
    EXPECT_FALSE(d.ok);
    EXPECT_TRUE(d.cancelled);
    EXPECT_TRUE(d.path.empty());
    cancel = false;
    d = DownloadFile("http://" + server.host() + "/short/setup_pimlora_631.exe", folder.string(), cancel, {}, 1);
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(d.cancelled);
    d = DownloadFile("http://" + server.host() + "/missing.exe", folder.string(), cancel, {}, 1);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(FilesLeft(), 0u);
}

TEST(DownloadName, FromTheAddress) {
    EXPECT_EQ(DownloadName("http://h/setup_pimlora_%2095.exe"), "setup_pimlora_ 95.exe");
    EXPECT_EQ(DownloadName("http://h/a/b/c.exe?x=1"), "c.exe");
    EXPECT_EQ(DownloadName("http://h/"), "download");
    EXPECT_EQ(DownloadName("http://h"), "download");
    EXPECT_EQ(DownloadName("http://h/%2e%2e%2fetc"), "download.._etc");
    EXPECT_EQ(DownloadName("http://h/.hidden"), "download.hidden");
}

// The whole of setupfetch's work with the opener replaced by a script that
// writes down what it was given.
class Setupfetch : public ::testing::Test {
protected:
    TempFolder t;
    fs::path home = t.path / "ftp", www = home / "www", folder = t.path / "cache";
    fs::path opened = t.path / "opened.txt";
    std::string payload = std::string(200000, 'P') + "installer";
    void SetUp() override {
        fs::create_directories(www);
        fs::create_directories(folder);
        WriteText(www / "setup_pimlora_631.exe", payload);
        WriteText(www / "setup_pimlora_ 95.exe", payload);
        fs::path script = t.path / "opener.sh";
        WriteText(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + opened.string() + ".new' && mv '" +
                              opened.string() + ".new' '" + opened.string() + "'\n");
        fs::permissions(script, fs::perms::owner_all);
    }
    UpdateConfig Config(const Loopback& s, const std::string& prefix = "") {
        UpdateConfig c = TestConfig("http://" + s.host() + prefix);
        c.opener = {(t.path / "opener.sh").string()};
        return c;
    }
    // Runs a download to its end, as the window does with the done event.
    DownInstallModel::Outcome Run(DownInstallModel& m, const std::string& url) {
        std::mutex mu;
        std::condition_variable cv;
        bool done = false;
        DownInstallModel::Events ev;
        ev.done = [&] {
            std::lock_guard<std::mutex> l(mu);
            done = true;
            cv.notify_all();
        };
        EXPECT_EQ(m.StartDownload(url, ev), DownInstallModel::Start::Started);
        std::unique_lock<std::mutex> l(mu);
        cv.wait(l, [&] { return done; });
        return m.FinishDownload();
    }
    std::string Sha(const std::string& text) {
        WriteText(t.path / "sum", text);
        return FileSha256((t.path / "sum").string());
    }
};

TEST_F(Setupfetch, InstallerAddressFromTheVersionFile) {
    Loopback server(www);
    WriteText(www / "vandelore_update.txt", "631\r\n");
    DownInstallModel m(Config(server), folder.string());
    DownInstallModel::Prepared p = m.PrepareInstallerUrl();
    EXPECT_EQ(p.url, "http://" + server.host() + "/setup_pimlora_631.exe");
    EXPECT_EQ(p.counter, CounterResult::Skipped);   // no counter server configured
    WriteText(www / "vandelore_update.txt", "95");
    EXPECT_EQ(m.PrepareInstallerUrl().url, "http://" + server.host() + "/setup_pimlora_ 95.exe");
    // The "www" form of a named host carries the installer.
    UpdateConfig named;
    named.updateHost = "vandelore.example";
    EXPECT_EQ(InstallerUrl(named, 631), "http://www.vandelore.example/setup_pimlora_631.exe");
    // No version file: no address.
    fs::remove(www / "vandelore_update.txt");
    EXPECT_EQ(m.PrepareInstallerUrl().url, "");
    EXPECT_EQ(m.StartDownload("", {}), DownInstallModel::Start::InvalidUrl);
    EXPECT_EQ(m.StartDownload("setup_pimlora_631.exe", {}), DownInstallModel::Start::InvalidUrl);
    EXPECT_FALSE(m.Downloading());
}

TEST_F(Setupfetch, CounterStepRunsWithThePreparation) {
    WriteText(www / "vandelore_update.txt", "631\r\n");
    Loopback server(www, home);
    UpdateConfig c = Config(server);
    c.counterHost = "127.0.0.1:" + std::to_string(server.http()) + ":" + std::to_string(server.ftp());
    c.credentialsFile = Credentials(t.path, "reader:pw-reader-9").string();
    DownInstallModel refused(c, folder.string());
    EXPECT_EQ(refused.PrepareInstallerUrl().counter, CounterResult::UploadFailed);
    c.credentialsFile = Credentials(t.path, "tester:pw-tester-9").string();
    DownInstallModel m(c, folder.string());
    DownInstallModel::Prepared p = m.PrepareInstallerUrl();
    EXPECT_EQ(p.counter, CounterResult::Uploaded);
    EXPECT_EQ(ReadText(www / "vandelore_update.txt"), "632");   // the counter file shares the web root here
    EXPECT_FALSE(p.url.empty());
}

TEST_F(Setupfetch, MatchingChecksumRunsTheOpener) {
    Loopback server(www);
    WriteText(www / "vandelore_update.txt", "95\r\nsha256=" + Sha(payload) + "\r\n");
    DownInstallModel m(Config(server), folder.string());
    std::string url = m.PrepareInstallerUrl().url;
    DownInstallModel::Outcome o = Run(m, url);
    ASSERT_EQ(o.kind, DownInstallModel::Outcome::Opened) << o.detail;
    EXPECT_EQ(o.path, (folder / "setup_pimlora_ 95.exe").string());
    ASSERT_TRUE(WaitForFile(opened));
    EXPECT_EQ(ReadText(opened), o.path + "\n");
    EXPECT_EQ(ReadText(o.path), payload);
}

TEST_F(Setupfetch, OtherChecksumOrNoneNeverRunsTheFile) {
    Loopback server(www);
    DownInstallModel::Outcome o;
    for (std::string line : {"sha256=" + Sha("something else"), std::string()}) {
        WriteText(www / "vandelore_update.txt", "631\n" + line + "\n");
        DownInstallModel m(Config(server), folder.string());
        o = Run(m, m.PrepareInstallerUrl().url);
        EXPECT_EQ(o.kind, DownInstallModel::Outcome::ManualInstall);
        EXPECT_EQ(o.message.rfind("직접 다운로드 후 설치바람\n" + o.path, 0), 0u) << o.message;
        EXPECT_EQ(ReadText(o.path), payload);   // kept for the user
    }
    // The opener failing to start is not success either.
    WriteText(www / "vandelore_update.txt", "631\nsha256=" + Sha(payload) + "\n");
    UpdateConfig c = Config(server);
    c.opener = {(t.path / "no-such-opener").string()};
    DownInstallModel m(c, folder.string());
    o = Run(m, m.PrepareInstallerUrl().url);
    EXPECT_EQ(o.kind, DownInstallModel::Outcome::ManualInstall);
    EXPECT_FALSE(fs::exists(opened));
}

TEST_F(Setupfetch, FailedOrCancelledDownloadOpensNothing) {
    Loopback server(www);
    WriteText(www / "vandelore_update.txt", "631\nsha256=" + Sha(payload) + "\n");
    DownInstallModel m(Config(server), folder.string());
    m.PrepareInstallerUrl();
    DownInstallModel::Outcome o = Run(m, "http://" + server.host() + "/short/setup_pimlora_631.exe");
    EXPECT_EQ(o.kind, DownInstallModel::Outcome::TransferError);
    EXPECT_EQ(o.message, "파일전송오류(1)");
    EXPECT_TRUE(o.path.empty());
    // Enter again while it runs: the download is cancelled.
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    DownInstallModel::Events ev;
    ev.done = [&] {
        std::lock_guard<std::mutex> l(mu);
        done = true;
        cv.notify_all();
    };
    ASSERT_EQ(m.StartDownload("http://" + server.host() + "/slow/50/setup_pimlora_631.exe", ev),
              DownInstallModel::Start::Started);
    EXPECT_TRUE(m.Downloading());
    EXPECT_EQ(m.StartDownload("ignored while one runs", ev), DownInstallModel::Start::Cancelling);
    {
        std::unique_lock<std::mutex> l(mu);
        cv.wait(l, [&] { return done; });
    }
    o = m.FinishDownload();
    EXPECT_EQ(o.kind, DownInstallModel::Outcome::TransferError);
    EXPECT_FALSE(m.Downloading());
    EXPECT_FALSE(fs::exists(opened));
    EXPECT_FALSE(fs::exists(folder / "setup_pimlora_631.exe"));
}
