// The update information file, the configuration, and the editor's check
// against real servers on 127.0.0.1.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>

#include "CAutoUpdater.h"
#include "loopback.h"
#include "process.h"
#include "startup_check.h"
#include "version_info.h"

using namespace update;

TEST(VersionFile, LeadingNumberFollowsAtoi) {
    const std::pair<const char*, int> cases[] = {
        {"631", 631},           {"  631\r\n", 631},  {"631\r\nsha256=00", 631}, {"\t\n 629 trailing", 629},
        {"x631", 0},            {"", 0},             {"-5", -5},                {"+7x", 7},
        {"- 5", 0},             {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
    };
    for (auto& [text, want] : cases) EXPECT_EQ(LeadingNumber(std::string(text)), want) << '"' << text << '"';
    // The length bounds the read: no terminator needed.
    EXPECT_EQ(LeadingNumber("6319", 3), 631);
}

TEST(VersionFile, NamesAndTexts) {
    EXPECT_EQ(InstallerFileName(631), "setup_pimlora_631.exe");
    EXPECT_EQ(InstallerFileName(95), "setup_pimlora_ 95.exe");
    EXPECT_EQ(InstallerFileName(1000), "setup_pimlora_1000.exe");
    EXPECT_EQ(NewVersionText(Scaled(631)), "신버전 6.31");
    EXPECT_EQ(NewVersionText(Scaled(605)), "신버전 6.5");
    EXPECT_EQ(NewVersionText(Scaled(700)), "신버전 7.0");
    EXPECT_EQ(Compare(Scaled(630), Scaled(631)), UpdateAvailable);
    EXPECT_EQ(Compare(Scaled(630), Scaled(630)), UpToDate);
    EXPECT_EQ(Compare(Scaled(630), Scaled(629)), UpToDate);
    // A number near the top of int does not overflow the scaled comparison.
    EXPECT_EQ(Compare(Scaled(630), Scaled(INT_MAX)), UpdateAvailable);
    EXPECT_EQ(Compare(Scaled(630), Scaled(INT_MIN)), UpToDate);
}

TEST(VersionFile, ChecksumLine) {
    std::string hex(64, 'a');
    EXPECT_EQ(FindSha256("631\r\nsha256=" + hex + "\r\n"), hex);
    EXPECT_EQ(FindSha256("631\nsha256=" + std::string(64, 'B')), std::string(64, 'b'));
    EXPECT_EQ(FindSha256("631\nsha256=" + hex.substr(1)), "");          // too short
    EXPECT_EQ(FindSha256("631\nsha256=" + hex + "zz"), "");             // not only hex
    EXPECT_EQ(FindSha256("631 sha256=" + hex), "");                     // not a line of its own
    EXPECT_EQ(FindSha256("631\r\n"), "");
}

TEST(VersionFile, ProgressDisplay) {
    EXPECT_EQ(ProgressPercent(500, 0), 0);   // total not known yet
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(3000000000ull, 4000000000ull), 75);   // beyond 32 bits
    EXPECT_EQ(ProgressText(512 * 1024, 1024 * 1024), "진행률 50 퍼센트(512 K바이트)");
    EXPECT_EQ(ProgressText(1023, 0), "진행률 0 퍼센트(0 K바이트)");
}

TEST(Config, HostForms) {
    EXPECT_EQ(MakerServer("vandelore.example").bare, "http://vandelore.example");
    EXPECT_EQ(MakerServer("vandelore.example").www, "http://www.vandelore.example");
    EXPECT_EQ(MakerServer("www.vandelore.example").www, "http://www.vandelore.example");
    // An address or a value with a port stands for both forms.
    EXPECT_EQ(MakerServer("127.0.0.1:8080").www, "http://127.0.0.1:8080");
    EXPECT_EQ(MakerServer("10.1.2.3").www, "http://10.1.2.3");
    EXPECT_EQ(MakerServer("vandelore.example:81").www, "http://vandelore.example:81");
    HostForms f = MakerServer("https://vandelore.example/pimlora/");
    EXPECT_EQ(f.bare, "https://vandelore.example/pimlora");
    EXPECT_EQ(f.www, "https://www.vandelore.example/pimlora");
    CounterUrls c;
    ASSERT_TRUE(CounterServer("count.example:8080:2121", c));
    EXPECT_EQ(c.http, "http://count.example:8080/vandelore_update.txt");
    EXPECT_EQ(c.ftp, "ftp://count.example:2121/www/vandelore_update.txt");
    ASSERT_TRUE(CounterServer("count.example", c));
    EXPECT_EQ(c.ftp, "ftp://count.example/www/vandelore_update.txt");
    EXPECT_FALSE(CounterServer("", c));
    EXPECT_FALSE(CounterServer("count.example:80x", c));
    EXPECT_FALSE(CounterServer("user@count.example", c));
}

TEST(Config, EnvironmentWinsOverTheSettingsFile) {
    std::string ini = std::string("FG0 BG0\nWS 0 0 0 0\n\x58\xAD\n\x0A\xB4") +
                      "\nUpdateHost ini.example\nCounterHost ini-count.example:81:21\nUpdateTimeout 7"
                      "\nOpener wine start\nSiteDomain www.ini.example\n";
    std::map<std::string, std::string> vars;
    auto env = [&vars](const char* name) -> const char* {
        auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
    UpdateConfig c = LoadConfig(env, ini);
    EXPECT_EQ(c.updateHost, "ini.example");
    EXPECT_EQ(c.counterHost, "ini-count.example:81:21");
    EXPECT_EQ(c.timeoutSeconds, 7);
    EXPECT_EQ(c.opener, (std::vector<std::string>{"wine", "start"}));
    EXPECT_EQ(c.siteDomain, "www.ini.example");
    EXPECT_TRUE(c.credentialsFile.empty());
    vars = {{"PIMLORA_UPDATE_HOST", "env.example"}, {"PIMLORA_UPDATE_TIMEOUT", "2"},
            {"PIMLORA_OPENER", "/tmp/opener"}, {"PIMLORA_COUNTER_CREDENTIALS", "/tmp/account"}};
    c = LoadConfig(env, ini);
    EXPECT_EQ(c.updateHost, "env.example");
    EXPECT_EQ(c.counterHost, "ini-count.example:81:21");
    EXPECT_EQ(c.timeoutSeconds, 2);
    EXPECT_EQ(c.opener, std::vector<std::string>{"/tmp/opener"});
    EXPECT_EQ(c.credentialsFile, "/tmp/account");
    // A time bound that is not a positive number keeps three seconds.
    for (const char* bad : {"0", "-4", "soon", "3x"}) {
        vars = {{"PIMLORA_UPDATE_TIMEOUT", bad}};
        EXPECT_EQ(LoadConfig(env, "").timeoutSeconds, 3) << bad;
    }
    // Without any value the build's defaults and xdg-open are used.
    vars.clear();
    c = LoadConfig(env, "");
    EXPECT_FALSE(c.updateHost.empty());
    EXPECT_EQ(c.opener, std::vector<std::string>{"xdg-open"});
}

TEST(Config, CredentialsOnlyFromAnOwnerOnlyFile) {
    TempFolder t;
    std::string account, why;
    EXPECT_TRUE(ReadCredentials(Credentials(t.path, "tester:pw").string(), account));
    EXPECT_EQ(account, "tester:pw");
    EXPECT_FALSE(ReadCredentials(Credentials(t.path, "tester:pw", 0640).string(), account, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(ReadCredentials(Credentials(t.path, "tester:pw", 0604).string(), account));
    EXPECT_FALSE(ReadCredentials(Credentials(t.path, "no-colon").string(), account));
    EXPECT_FALSE(ReadCredentials(Credentials(t.path, ":pw").string(), account));
    EXPECT_FALSE(ReadCredentials((t.path / "missing").string(), account));
    // A link to an owner-only file is not followed.
    fs::path good = Credentials(t.path, "tester:pw");
    fs::create_symlink(good, t.path / "link");
    EXPECT_FALSE(ReadCredentials((t.path / "link").string(), account));
    EXPECT_FALSE(ReadCredentials(t.path.string(), account));   // a folder
}

TEST(Config, UrlCanonicalForm) {
    std::string url = "http://vandelore.example/setup_pimlora_ 95.exe";
    ASSERT_TRUE(CanonicalizeUrl(url));
    EXPECT_EQ(url, "http://vandelore.example/setup_pimlora_%2095.exe");
    url = "  https://Vandelore.example/a%20b  ";
    ASSERT_TRUE(CanonicalizeUrl(url));
    EXPECT_EQ(url, "https://Vandelore.example/a%20b");   // blanks trimmed, escapes kept
    EXPECT_FALSE(IsValidUrl(""));
    EXPECT_FALSE(IsValidUrl("vandelore.example/file"));
    EXPECT_FALSE(IsValidUrl("file:///etc/passwd"));
    EXPECT_FALSE(IsValidUrl("http://"));
    EXPECT_FALSE(IsValidUrl("http://vandelore.example/" + std::string(1100, 'a')));
    EXPECT_TRUE(IsValidUrl("ftp://vandelore.example/x"));
}

// The editor's question to the maker's server.
class OnlineCheck : public ::testing::Test {
protected:
    TempFolder t;
    fs::path root = t.path / "www";
    fs::path log = t.path / "requests.log";
    void SetUp() override { fs::create_directories(root); }
    UpdateCheckResult Ask(const std::string& content, long long* online, const std::string& prefix = "") {
        WriteText(root / "vandelore_update.txt", content);
        Loopback server(root, {}, log);
        CAutoUpdater u(TestConfig("http://" + server.host() + prefix));
        return u.QueryOnlineVersion(Scaled(630), online);
    }
};

TEST_F(OnlineCheck, NumbersDecide) {
    long long online = -1;
    EXPECT_EQ(Ask("631", &online), UpdateAvailable);
    EXPECT_EQ(online, 63100);
    EXPECT_EQ(NewVersionText(online), "신버전 6.31");
    EXPECT_EQ(Ask("630\n", &online), UpToDate);
    EXPECT_EQ(Ask("629", &online), UpToDate);
    EXPECT_EQ(Ask("605", &online), UpToDate);
    EXPECT_EQ(NewVersionText(online), "신버전 6.5");
    EXPECT_EQ(Ask("  631\r\n", &online), UpdateAvailable);
    EXPECT_EQ(online, 63100);
    EXPECT_EQ(Ask("v631", &online), UpToDate);
    EXPECT_EQ(online, 0);
    // The checksum line of newer files changes nothing for the check.
    EXPECT_EQ(Ask("640\r\nsha256=" + std::string(64, '0') + "\r\n", &online), UpdateAvailable);
    EXPECT_EQ(online, 64000);
}

TEST_F(OnlineCheck, EmptyMissingAndRefused) {
    long long online = -1;
    EXPECT_EQ(Ask("", &online), NothingRead);
    EXPECT_EQ(online, -1);   // written only when a number was read
    fs::remove(root / "vandelore_update.txt");
    {
        Loopback server(root);
        CAutoUpdater u(TestConfig(server.host()));
        EXPECT_EQ(u.QueryOnlineVersion(Scaled(630), &online), OpenFailed);   // 404
    }
    CAutoUpdater closed(TestConfig("127.0.0.1:1"));
    EXPECT_EQ(closed.QueryOnlineVersion(Scaled(630), &online), OpenFailed);
    EXPECT_EQ(Ask("631", &online, "/drop"), OpenFailed);
    EXPECT_EQ(online, -1);
}

TEST_F(OnlineCheck, StalledServersAreGivenUp) {
    // With a one-second bound the check comes back from a server that
    // accepts and never answers, and from one that stops after its headers.
    long long online = -1;
    EXPECT_EQ(Ask("631", &online, "/stall"), OpenFailed);
    EXPECT_EQ(Ask("631", &online, "/stallbody"), CheckFailed);
    EXPECT_EQ(Ask("631", &online, "/short"), CheckFailed);   // cut off mid-way
    EXPECT_EQ(online, -1);
}

TEST_F(OnlineCheck, OneReadOfAtMost4096Bytes) {
    WriteText(root / "vandelore_update.txt", "631\n" + std::string(100000, 'x'));
    Loopback server(root);
    CAutoUpdater u(TestConfig(server.host()));
    std::string text;
    long long online = 0;
    EXPECT_EQ(u.QueryOnlineVersion(Scaled(630), &online, &text), UpdateAvailable);
    EXPECT_EQ(text.size(), kReadLimit);
}

// The start-up step with the dialog and the start of setupfetch replaced.
TEST_F(OnlineCheck, StartupHandsOverOnlyWhenAcceptedAndStarted) {
    WriteText(root / "vandelore_update.txt", "631\r\n");
    Loopback server(root, {}, log);
    UpdateConfig config = TestConfig(server.host());
    std::string self = ExecutablePath();
    long long shownCurrent = 0, shownOnline = 0;
    int offers = 0, starts = 0;
    auto hooks = [&](bool accept, bool started) {
        StartupHooks h;
        h.offer = [&, accept](long long c, long long o) {
            ++offers;
            shownCurrent = c;
            shownOnline = o;
            return accept;
        };
        h.startSetupfetch = [&, started] {
            ++starts;
            return started;
        };
        return h;
    };
    EXPECT_FALSE(StartupUpdateCheck(config, self, hooks(true, true)));
    EXPECT_EQ(shownCurrent, 63000);   // our own version record
    EXPECT_EQ(shownOnline, 63100);
    EXPECT_TRUE(StartupUpdateCheck(config, self, hooks(true, false)));    // setupfetch did not start
    EXPECT_TRUE(StartupUpdateCheck(config, self, hooks(false, true)));    // refused
    EXPECT_EQ(offers, 3);
    EXPECT_EQ(starts, 2);
    // setupfetch missing from the folder: the start reports failure.
    EXPECT_FALSE(StartSetupfetch((t.path / "no-such-folder").string()));
    // An executable without a version record asks nobody.
    fs::remove(log);
    EXPECT_TRUE(StartupUpdateCheck(config, "/bin/sh", hooks(true, true)));
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(offers, 3);
    // Up to date: no offer.
    WriteText(root / "vandelore_update.txt", "630");
    EXPECT_TRUE(StartupUpdateCheck(config, self, hooks(true, true)));
    EXPECT_EQ(offers, 3);
    // A server that never answers: start-up goes on.
    config.updateHost = "http://" + server.host() + "/stall";
    EXPECT_TRUE(StartupUpdateCheck(config, self, hooks(true, true)));
    EXPECT_EQ(offers, 3);
}

TEST(ModuleVersion, ReadsTheRecordOfAnExecutable) {
    EXPECT_EQ(CompiledVersion(), 630);
    EXPECT_EQ(ReadModuleVersion(ExecutablePath()), Scaled(CompiledVersion()));
    EXPECT_EQ(ReadModuleVersion("/bin/sh"), -1);
    EXPECT_EQ(ReadModuleVersion("/nonexistent"), -1);
    EXPECT_EQ(ReadModuleVersion("/tmp"), -1);
    // Damaged copies of ourselves: cut short, and with the section table
    // pointing past the end or given an absurd count.
    TempFolder t;
    std::string self = ReadText(ExecutablePath());
    ASSERT_GT(self.size(), 4096u);
    WriteText(t.path / "short", self.substr(0, 200));
    EXPECT_EQ(ReadModuleVersion((t.path / "short").string()), -1);
    std::string bad = self;
    uint64_t far = uint64_t(1) << 60;
    std::memcpy(&bad[0x28], &far, 8);   // e_shoff
    WriteText(t.path / "far", bad);
    EXPECT_EQ(ReadModuleVersion((t.path / "far").string()), -1);
    bad = self;
    uint16_t count = 0xFFFF;
    std::memcpy(&bad[0x3C], &count, 2);   // e_shnum
    WriteText(t.path / "count", bad);
    EXPECT_EQ(ReadModuleVersion((t.path / "count").string()), -1);
    // The record's marker spoiled: no version.
    bad = self;
    size_t spoiled = 0;
    for (size_t at = bad.find("PIMLORA-VERSION"); at != std::string::npos; at = bad.find("PIMLORA-VERSION", at)) {
        bad[at] = 'X';
        ++spoiled;
    }
    ASSERT_GT(spoiled, 0u);
    WriteText(t.path / "marker", bad);
    EXPECT_EQ(ReadModuleVersion((t.path / "marker").string()), -1);
}
