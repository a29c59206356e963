// pimlora-cli's mouse steps end to end: the example of the documentation,
// messages on one line under the step that raised them, usage errors.
#include <gtest/gtest.h>

#include <string>

#include "CVexoDoc.h"
#include "test_support.h"

using namespace testsupport;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result Cli(const TempDir& dir, const std::string& args) {
    Result r;
    const std::string errFile = dir.File("stderr.txt");
    r.status = Run(std::string(PIMLORA_CLI) + " " + args + " 2>" + errFile, &r.out);
    const auto e = ReadBytes(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

std::string MakePicture(const TempDir& dir) {
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc doc(&host);
    EXPECT_TRUE(doc.NewImage(100, 60));
    const std::string path = dir.File("in.bmp");
    EXPECT_TRUE(doc.Save(path));
    return path;
}

}  // namespace

TEST(CliMouseSteps, ExampleMessagesAndUsage) {
    TempDir dir;
    const std::string in = MakePicture(dir);
    // The documented example: a hard red stroke, the journal ends with 붓그리기.
    Result r = Cli(dir, "run " + in + " " + dir.File("out.bmp") +
                            " --journal colour:FF0000 brush:5,0 tool:1347 press:20,20 drag:60,30 release:60,30");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 0 Opening....\n1 0 붓그리기\n");
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc out(&host);
    ASSERT_TRUE(out.Open(dir.File("out.bmp")));
    const LayerRecord& l = out.Layer(out.currentLayer);
    const uint8_t* p = l.PixelRow(60 - 20 - 1) + 3 * 20;   // the press point, rows bottom-up
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 0);
    EXPECT_EQ(p[2], 255);

    // A refusal: its message on one line under the step; the run goes on.
    r = Cli(dir, "run " + in + " " + dir.File("g.bmp") + " --journal tool:1353 press:5,5 release:5,5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "pimlora-cli: release:5,5: 클릭이 아닌 드래깅으로 기준선을 먼저 잡으세요\n");
    EXPECT_EQ(r.out, "0 0 Opening....\n");
    // The colour-range press reports its count.
    r = Cli(dir, "run " + in + " " + dir.File("c.bmp") + " --answer cancel tool:3344 press:1,1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "pimlora-cli: press:1,1: 픽셀수 6000   (100.00)%\n");
    EXPECT_EQ(r.err.find('\r'), std::string::npos);

    for (const char* bad : {"--answer maybe tool:1347", "press:1", "brush:0,1", "tool:abc", "colour:red"}) {
        r = Cli(dir, "run " + in + " " + dir.File("x.bmp") + " " + bad);
        EXPECT_EQ(r.status, 2) << bad;
    }
    // apply knows the same steps.
    r = Cli(dir, "apply " + in + " " + dir.File("a.bmp") + " tool:1356 press:1,1 drag:90,50 release:90,50");
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CliMouseSteps, SecondViewKeysAndTextAnswers) {
    TempDir dir;
    const std::string in = MakePicture(dir);
    // The current layer dragged out of the first window and taken up by the
    // second one at its first hover; both documents are saved.
    Result r = Cli(dir, "run " + in + " " + dir.File("a.bmp") + " --view2 " + in + " " + dir.File("b.bmp") +
                            " tool:1570 press:10,10 drag:20,10 leave:99,10 release:99,10 view:2 hover:50,30"
                            " press:50,30 release:50,30");
    ASSERT_EQ(r.status, 0) << r.err;
    HeadlessHost host;
    host.echoMessages = false;
    CVexoDoc a(&host), b(&host);
    ASSERT_TRUE(a.Open(dir.File("a.bmp")));
    ASSERT_TRUE(b.Open(dir.File("b.bmp")));
    EXPECT_EQ(b.live.canvas.width, 100);

    // key: moves by one pixel and is recorded; the text dialog answers from type:.
    r = Cli(dir, "run " + in + " " + dir.File("k.bmp") + " --journal tool:1570 key:Right type:20,FF0000:AB tool:1382"
                 " press:5,5 release:5,5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0 0 Opening....\n1 0 전체영상 위치이동\n2 5 글자입력\n");

    for (const char* bad : {"--view2 x.bmp", "key:Home", "view:2", "type:20:AB", "type:0,FF0000:AB"}) {
        r = Cli(dir, "run " + in + " " + dir.File("x.bmp") + " " + bad);
        EXPECT_EQ(r.status, 2) << bad;
    }
}
