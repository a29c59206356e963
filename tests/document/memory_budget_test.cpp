// The documents' memory budget: the estimate, where the budget comes from,
// and the refusals at open and at every command that enlarges a document.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "CVexoDoc.h"
#include "commands.h"
#include "memory_budget.h"
#include "test_support.h"

using testsupport::TempDir;

namespace {

// Sets the environment variable for the life of the object.
struct BudgetEnv {
    explicit BudgetEnv(const char* value) {
        if (value)
            setenv(docmem::kBudgetVariable, value, 1);
        else
            unsetenv(docmem::kBudgetVariable);
    }
    ~BudgetEnv() {
        unsetenv(docmem::kBudgetVariable);
        docmem::SetConfiguredBudgetMB(0);
    }
};

void SavePicture(const std::string& path, int w, int h, int bits) {
    VaZavi img(bits, w, h, kTypeBMP);
    if (bits <= 8) img.SetGrayPalette();
    for (int y = 0; y < h; ++y) std::memset(img.Row(y), (y * 13) & 255, size_t(img.Stride()));
    ASSERT_TRUE(img.Save(path.c_str(), kTypeBMP));
}

bool RunCommand(CVexoDoc& doc, int id, std::vector<int> params = {}) {
    const commands::Command* c = commands::All().Find(id);
    return c && c->run(doc, params);
}
bool RunNamed(CVexoDoc& doc, const std::string& name, const std::string& args) {
    const commands::NamedFn* f = commands::All().FindNamed(name);
    return f && (*f)(doc, args);
}

struct BudgetTest : ::testing::Test {
    TempDir dir;
    HeadlessHost host;
    void SetUp() override {
        host.echoMessages = false;
        host.journalFolder = dir.Path() + "/";
    }
    const std::string& LastMessage() const {
        static const std::string none;
        return host.messages.empty() ? none : host.messages.back();
    }
};

}  // namespace

// An opened picture's document costs what the open estimated for it, at 24
// and at 8 bits (which become true colour), so a picture the open admitted is
// never refused half-way; a true-colour megapixel costs 27 MB.
TEST_F(BudgetTest, OpenEstimateMatchesTheOpenedDocument) {
    EXPECT_EQ(docmem::PictureWorkingSet(1000, 1000, 24), 27'000'040);
    for (int bits : {24, 8}) {
        const std::string f = dir.File("p" + std::to_string(bits) + ".bmp");
        SavePicture(f, 301, 203, bits);
        CVexoDoc doc(&host);
        ASSERT_TRUE(doc.Open(f));
        EXPECT_EQ(docmem::WorkingSet(doc), docmem::PictureWorkingSet(301, 203, bits)) << bits;
    }
}

// Environment variable, then the options dialog's value, then half of the
// physical memory; values that are no whole number of megabytes are not used.
TEST_F(BudgetTest, WhereTheBudgetComesFrom) {
    BudgetEnv none(nullptr);
    const int64_t automatic = docmem::DefaultBudgetBytes();
    EXPECT_GT(automatic, int64_t(16) << 20);
    EXPECT_EQ(docmem::BudgetBytes(), automatic);
    docmem::SetConfiguredBudgetMB(300);
    EXPECT_EQ(docmem::BudgetBytes(), int64_t(300) << 20);
    setenv(docmem::kBudgetVariable, "40", 1);
    EXPECT_EQ(docmem::BudgetBytes(), int64_t(40) << 20);
    for (const char* bad : {"", "0", "-5", "12abc", "99999999999999999999999"}) {
        setenv(docmem::kBudgetVariable, bad, 1);
        EXPECT_EQ(docmem::BudgetBytes(), int64_t(300) << 20) << bad;
    }
    docmem::SetConfiguredBudgetMB(int64_t(1) << 40);
    EXPECT_EQ(docmem::ConfiguredBudgetMB(), docmem::kMaxBudgetMB);
    docmem::SetConfiguredBudgetMB(-3);
    EXPECT_EQ(docmem::ConfiguredBudgetMB(), 0);
}

// A picture whose document exceeds the budget is refused with the message;
// the document that was open stays as it was. Other documents of the thread
// count against the same budget.
TEST_F(BudgetTest, OpenIsRefusedOverTheBudget) {
    BudgetEnv env("8");
    SavePicture(dir.File("big.bmp"), 600, 600, 24);     // about 9.3 MB as a document
    SavePicture(dir.File("half.bmp"), 400, 400, 24);    // about 4.1 MB
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(10, 10));
    EXPECT_FALSE(doc.Open(dir.File("big.bmp")));
    EXPECT_EQ(LastMessage(), "메모리가 부족하여 그림을 열 수 없습니다: 약 10 MB가 필요하지만 허용된 메모리는 8 MB입니다.");
    EXPECT_EQ(doc.lastError, LastMessage());
    EXPECT_EQ(doc.live.canvas.width, 10);
    ASSERT_TRUE(doc.Open(dir.File("half.bmp")));
    CVexoDoc other(&host);
    EXPECT_FALSE(other.Open(dir.File("half.bmp")));   // together they need 8.3 MB
    EXPECT_NE(LastMessage().find("메모리가 부족하여 그림을 열 수 없습니다"), std::string::npos);
    // A VOR document: one refusal, no message that the file is damaged.
    {
        BudgetEnv wide(nullptr);
        CVexoDoc v(&host);
        ASSERT_TRUE(v.Open(dir.File("big.bmp")));
        ASSERT_TRUE(v.Save(dir.File("big.vor")));
    }
    setenv(docmem::kBudgetVariable, "8", 1);
    host.messages.clear();
    EXPECT_FALSE(other.Open(dir.File("big.vor")));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].rfind("메모리가 부족하여 그림을 열 수 없습니다: 약 ", 0), 0u) << host.messages[0];
}

// Commands that enlarge the document are refused before they change
// anything (no undo step either); the same commands within the budget, and
// those that shrink it, run.
TEST_F(BudgetTest, EnlargingCommandsAreRefused) {
    BudgetEnv env("8");
    SavePicture(dir.File("a.bmp"), 500, 400, 24);   // about 5.2 MB
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.Open(dir.File("a.bmp")));
    const int steps = doc.undoPos;
    auto unchanged = [&](const char* what) {
        EXPECT_EQ(doc.live.canvas.width, 500) << what;
        EXPECT_EQ(doc.live.canvas.height, 400) << what;
        EXPECT_EQ(doc.LayerCount(), 1) << what;
        EXPECT_EQ(doc.Layer(doc.headLayer).width, 500) << what;
        EXPECT_EQ(doc.undoPos, steps) << what;
        EXPECT_EQ(LastMessage().rfind("메모리가 부족하여 작업할 수 없습니다: 약 ", 0), 0u) << what << ": " << LastMessage();
        host.messages.clear();
    };
    EXPECT_FALSE(RunNamed(doc, "size", "1000,800"));
    unchanged("image size");
    EXPECT_FALSE(RunNamed(doc, "canvas", "1500,1000,4"));
    unchanged("canvas size");
    EXPECT_FALSE(RunCommand(doc, 1415, {45}));   // a 45-degree turn of the layer grows it to 637 x 637
    unchanged("free rotation");
    EXPECT_FALSE(RunCommand(doc, 1412));         // a duplicate of the whole picture
    unchanged("duplicate");
    EXPECT_TRUE(host.newDocuments.empty());
    // One layer more fits (2 MB), a second one does not.
    EXPECT_TRUE(RunCommand(doc, 1552));
    EXPECT_EQ(doc.LayerCount(), 2);
    const int before = doc.undoPos;
    EXPECT_FALSE(RunCommand(doc, 1552));
    EXPECT_EQ(doc.LayerCount(), 2);
    EXPECT_EQ(doc.undoPos, before);
    EXPECT_EQ(LastMessage().rfind("메모리가 부족하여 작업할 수 없습니다: 약 ", 0), 0u) << LastMessage();
    // With a smaller budget than the document already takes, shrinking runs.
    setenv(docmem::kBudgetVariable, "1", 1);
    EXPECT_TRUE(RunNamed(doc, "size", "250,200"));
    EXPECT_EQ(doc.live.canvas.width, 250);
}

// Running out of memory inside a command is a refusal with a message, not
// the end of the program.
TEST_F(BudgetTest, OutOfMemoryInACommandIsARefusal) {
    commands::Table t;
    t.Add(9001, "test", [](CVexoDoc&, const std::vector<int>&) -> bool { throw std::bad_alloc(); });
    t.AddNamed("grow", [](CVexoDoc&, const std::string&) -> bool { throw std::bad_alloc(); });
    CVexoDoc doc(&host);
    ASSERT_TRUE(doc.NewImage(4, 4));
    EXPECT_FALSE(t.Find(9001)->run(doc, {}));
    EXPECT_EQ(LastMessage(), "메모리가 부족합니다");
    host.messages.clear();
    EXPECT_FALSE((*t.FindNamed("grow"))(doc, ""));
    EXPECT_EQ(LastMessage(), "메모리가 부족합니다");
    EXPECT_EQ(doc.lastError, "메모리가 부족합니다");
    // Usage errors still reach the caller.
    t.AddNamed("bad", [](CVexoDoc&, const std::string&) -> bool { throw std::invalid_argument("x"); });
    EXPECT_THROW((*t.FindNamed("bad"))(doc, ""), std::invalid_argument);
}
