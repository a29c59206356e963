// The filter panel's live preview: its result is the document's own filter,
// the latest request wins, cancelled previews never reach the layer, and
// nothing is recorded.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <functional>
#include <mutex>

#include "CVexoDoc.h"
#include "commands.h"
#include "filter_commands.h"
#include "filter_model.h"
#include "filter_preview.h"
#include "test_support.h"

namespace {

// The user-interface thread's queue, pumped by the test.
struct Queue {
    std::mutex m;
    std::deque<std::function<void()>> q;
    filters::FilterPreview::Post Post() {
        return [this](std::function<void()> fn) {
            std::lock_guard<std::mutex> lock(m);
            q.push_back(std::move(fn));
        };
    }
    int Pump() {
        int n = 0;
        for (;;) {
            std::function<void()> fn;
            {
                std::lock_guard<std::mutex> lock(m);
                if (q.empty()) return n;
                fn = std::move(q.front());
                q.pop_front();
            }
            fn();
            ++n;
        }
    }
};

struct PreviewDoc {
    HeadlessHost host;
    CVexoDoc doc{&host};
    PreviewDoc(int w = 40, int h = 30) {
        host.echoMessages = false;
        EXPECT_TRUE(doc.NewImage(w, h));
        LayerRecord& L = doc.live.layers[doc.currentLayer];
        const auto bytes = testsupport::RandomBytes(size_t(L.pixelSize), 11);
        std::memcpy(L.pixels.get(), bytes.data(), bytes.size());
    }
    std::vector<uint8_t> Pixels() const {
        const LayerRecord& L = doc.live.layers[doc.currentLayer];
        return {L.pixels.get(), L.pixels.get() + L.pixelSize};
    }
};

filters::PreviewParams Params(const char* name, int p1, int p2 = 0, int p3 = 0, int mode = -1) {
    filters::PreviewParams pp;
    pp.name = name;
    pp.mode = mode;
    pp.p[0] = p1, pp.p[1] = p2, pp.p[2] = p3;
    return pp;
}

// What the document's own filter gives from the starting picture.
std::vector<uint8_t> Expected(PreviewDoc& d, const filters::PreviewParams& pp) {
    PreviewDoc copy(d.doc.live.canvas.width, d.doc.live.canvas.height);
    const LayerRecord& src = d.doc.prevState.layers[d.doc.currentLayer];
    std::memcpy(copy.doc.live.layers[0].pixels.get(), src.pixels.get(), size_t(src.pixelSize));
    copy.doc.selectionActive = d.doc.selectionActive;
    copy.doc.live.selection = d.doc.live.selection;
    EXPECT_TRUE(filters::RunDocumentFilter(copy.doc, pp.name, pp.mode, pp.p[0], pp.p[1], pp.p[2]));
    return copy.Pixels();
}

}  // namespace

TEST(FilterPreview, ResultIsTheDocumentsFilterAndRecordsNothing) {
    for (auto pp : {Params("흐리게", 7), Params("엠보스", 3, 20), Params("색종이뿌리기", 8, 5, 4),
                    Params(filters::kThreshold, 100, 0, 0, 2)}) {
        SCOPED_TRACE(pp.name);
        PreviewDoc d;
        Queue ui;
        filters::FilterDialogModel model(&d.doc);   // the panel opens: the starting picture
        const std::vector<uint8_t> before = d.Pixels();
        const int steps = d.doc.undoPos;
        filters::FilterPreview preview(ui.Post());
        int results = 0;
        preview.onResult = [&](filters::PreviewResult& r) {
            ++results;
            EXPECT_TRUE(preview.Show(d.doc, r));
        };
        ASSERT_TRUE(preview.Request(d.doc, pp));
        EXPECT_TRUE(preview.Pending());
        // The layer is untouched until the result comes back to this thread.
        preview.WaitIdle();
        EXPECT_EQ(d.Pixels(), before);
        ui.Pump();
        EXPECT_EQ(results, 1);
        EXPECT_FALSE(preview.Pending());
        EXPECT_TRUE(preview.HasShown());
        EXPECT_TRUE(preview.Shown() == pp);
        EXPECT_EQ(d.Pixels(), Expected(d, pp));
        EXPECT_EQ(d.doc.undoPos, steps);
        // "시작 이미지" still finds the picture the panel opened on.
        EXPECT_TRUE(model.StartImage());
        EXPECT_EQ(d.Pixels(), before);
    }
}

TEST(FilterPreview, LatestChangeWinsAndCancelledOnesNeverShow) {
    PreviewDoc d(120, 90);
    Queue ui;
    filters::FilterDialogModel model(&d.doc);
    filters::FilterPreview preview(ui.Post());
    std::vector<filters::PreviewParams> shown;
    preview.onResult = [&](filters::PreviewResult& r) {
        shown.push_back(r.params);
        preview.Show(d.doc, r);
    };
    // Three quick changes: only the last one reaches the layer.
    for (int v : {2, 5, 8}) ASSERT_TRUE(preview.Request(d.doc, Params("흐리게", v)));
    preview.WaitIdle();
    ui.Pump();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].p[0], 8);
    EXPECT_EQ(d.Pixels(), Expected(d, Params("흐리게", 8)));

    // A cancelled preview is dropped even when it already finished.
    const std::vector<uint8_t> now = d.Pixels();
    ASSERT_TRUE(preview.Request(d.doc, Params("흐리게", 3)));
    preview.WaitIdle();
    preview.Cancel();
    EXPECT_FALSE(preview.Pending());
    ui.Pump();
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(d.Pixels(), now);
}

TEST(FilterPreview, RefusesWhatCannotBeFilteredAndStaleLayers) {
    PreviewDoc d;
    Queue ui;
    filters::FilterPreview preview(ui.Post());
    int results = 0;
    bool showed = true;
    preview.onResult = [&](filters::PreviewResult& r) {
        ++results;
        showed = preview.Show(d.doc, r);
    };
    // Without a starting picture (the previous-state copy) nothing starts.
    EXPECT_FALSE(preview.Request(d.doc, Params("흐리게", 4)));
    filters::FilterDialogModel model(&d.doc);
    EXPECT_FALSE(preview.Request(d.doc, Params("없는필터", 4)));
    // The layer changed size while the preview ran: its result is not put there.
    ASSERT_TRUE(preview.Request(d.doc, Params("흐리게", 4)));
    preview.WaitIdle();
    ASSERT_TRUE(d.doc.SetupLayerBuffers(40, 50, u"", kTypeBMP, 24, 0, 255, d.doc.currentLayer, 0, 0, 2, 40, 30, 1, 1,
                                        LayerImage, -1, false));
    ASSERT_NE(d.doc.live.layers[d.doc.currentLayer].width, 40);
    const std::vector<uint8_t> resized = d.Pixels();
    ui.Pump();
    EXPECT_EQ(results, 1);
    EXPECT_FALSE(showed);
    EXPECT_EQ(d.Pixels(), resized);
    // A text layer is refused.
    d.doc.live.layers[d.doc.currentLayer].kind = LayerText;
    EXPECT_FALSE(preview.Request(d.doc, Params("흐리게", 4)));
}

TEST(FilterPreview, HonoursTheSelectionLikeTheDocument) {
    PreviewDoc d;
    Queue ui;
    const commands::NamedFn* rect = commands::All().FindNamed("rect");
    ASSERT_TRUE(rect && (*rect)(d.doc, "5,5,20,15"));
    ASSERT_TRUE(d.doc.selectionActive);
    filters::FilterDialogModel model(&d.doc);
    filters::FilterPreview preview(ui.Post());
    preview.onResult = [&](filters::PreviewResult& r) { preview.Show(d.doc, r); };
    ASSERT_TRUE(preview.Request(d.doc, Params("엠보스", 4, 30)));
    preview.WaitIdle();
    ui.Pump();
    EXPECT_EQ(d.Pixels(), Expected(d, Params("엠보스", 4, 30)));
}

TEST(FilterPreview, EndsSafelyWithPreviewsUnderWayOrQueued) {
    Queue ui;
    {
        PreviewDoc d(200, 150);
        filters::FilterDialogModel model(&d.doc);
        filters::FilterPreview preview(ui.Post());
        preview.onResult = [&](filters::PreviewResult&) { ADD_FAILURE() << "a result after the end"; };
        ASSERT_TRUE(preview.Request(d.doc, Params("유화", 5, 50)));
    }
    // Whatever the worker posted before it stopped finds the engine gone.
    ui.Pump();
}
