// The layers panel "      레이어창" without its window: the page layout
// and its row arithmetic, the texts of the rows, the blend modes, the
// history lines and their icons, the thumbnails, and what each control does
// to the document. The window (src/dialogs/CDlg_Layer.*) only draws what
// this model holds and hands it the user's presses.
//
// The model follows its document through the document's change notice
// (doc_change.h): it is an observer of the document it shows, remembers
// what the notices said, and rebuilds only that on the next Refresh; a
// thumbnail is rebuilt only when its layer's revision moved.
//
// Rows run from the top of the stack downwards: row r shows the layer at
// (first shown + r) counted from the top.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "doc_change.h"

class CVexoDoc;
struct LayerRecord;

namespace layerpanel {

// --- layout of the layer page (panel client coordinates) ---------------------------
inline constexpr int kPanelWidth = 260;
inline constexpr int kPanelHeight = 380;      // the normal height
inline constexpr int kPanelTallHeight = 890;  // "늘여 보기"
inline constexpr int kRowTop = 140;           // row 0 starts here
inline constexpr int kRowStep = 65;           // rows are this far apart
inline constexpr int kRowBodyHeight = 60;     // y 140 + 65i to 200 + 65i
inline constexpr int kMaxRows = 11;
inline constexpr int kBodyLeft = 112, kBodyRight = 232;
inline constexpr int kButtonLeft = 86, kButtonRight = 109;
// Within a row (y from the row's top): the small button area, the
// show/hide picture button and the select/edit picture button.
inline constexpr int kEffectTop = 0, kEffectBottom = 15;
inline constexpr int kVisibleTop = 13, kVisibleBottom = 37;
inline constexpr int kEditTop = 38, kEditBottom = 59;
// The thumbnail sits left of the buttons, in the row's free space.
inline constexpr int kThumbLeft = 4, kThumbTop = 2, kThumbWidth = 78, kThumbHeight = 56;

// Rows that fit a panel client height: (height - 140) / 65, 0 to 11.
int RowsFor(int clientHeight);
// Top of row r in panel coordinates.
inline int RowY(int row) { return kRowTop + kRowStep * row; }

enum class Part { None, Body, Thumbnail, Effect, Visibility, Edit };
struct Hit {
    int row = -1;
    Part part = Part::None;
};
// What lies under a panel point when `rows` rows are shown. The body
// reaches to `bodyRight` (the fixed layout's 232, or the panel's own edge).
Hit HitTest(int x, int y, int rows, int bodyRight = kBodyRight);

// The scroll bar right of the rows, with a line arrow drawn at each end.
inline constexpr int kScrollX = 236, kScrollWidth = 20, kArrowHeight = 16;
// Top of the upper (-1) or lower (+1) arrow when `rows` rows are shown.
int ScrollArrowTop(int dir, int rows);
// The arrow under a panel point: -1 the upper (a line up), +1 the lower, 0 none.
int ScrollArrowAt(int x, int y, int rows);

// Command identifiers of a row's picture buttons (rows 0 to 10).
inline constexpr int kShowCommand = 5430;   // 5430-5440, with 5500-5510 while hidden
inline constexpr int kHiddenCommand = 5500;
inline constexpr int kEditCommand = 5400;   // 5400-5410
int VisibilityCommand(int row, bool visible);
int EditCommand(int row);
// The row and button of such a command; false for any other identifier.
bool RowOfCommand(int id, int& row, Part& part);

// --- the panel's own buttons (drawn by the window, above the rows) ---------------
// Page buttons, "늘여 보기" and the command buttons. `name` is the full name
// (tool tip and accessible name), `label` the short text drawn on it.
struct PanelButton {
    int x, y, width, height;
    const char* label;
    const char* name;
    int command;
    bool layerPage;   // shown on the layer page only (else on both pages)
};
inline constexpr int kLayerPageCommand = 1000, kHistoryPageCommand = 1001;
inline constexpr int kTallCommand = 1548, kTallCommand2 = 1551;
// What button 1549 sends: "레이어 전체 영상을 복사".
inline constexpr int kCopyLayerCommand = 4604;
const std::vector<PanelButton>& Buttons();
// The button under a panel point on the page shown, or null.
const PanelButton* ButtonAt(int x, int y, bool layerPage);
// The top 25 pixels work as the panel's caption: a press there (beside
// the page buttons) drags the panel.
inline constexpr int kCaptionStrip = 25;
bool InCaptionStrip(int x, int y);
// Where the blend combo, the "투명" slider and its number box sit.
inline constexpr int kBlendX = 30, kBlendY = 68, kBlendWidth = 115;
inline constexpr int kOpacityX = 150, kOpacityY = 80, kOpacityWidth = 66;
inline constexpr int kOpacityBoxX = 218, kOpacityBoxWidth = 40;
// The history page: the list from here to the undo and redo buttons.
inline constexpr int kHistoryTop = 52, kHistoryBottomMargin = 30;

// --- texts -----------------------------------------------------------------------
// The name shown for a layer: its own, except "[ImgFrame]" ("[액자틀]")
// and "[LinePattern]" ("//빗살무뉘//").
std::string ShownName(const LayerRecord& layer);
// The tag after the name: "[글]", "[말풍선]", "Ctrl+D : 고정" (kind 4), or none.
std::string Tag(const LayerRecord& layer);
// "%d 비트 %d dpi".
std::string Header(int bitsPerPixel, int dpi);

// --- blend modes: the combo's entries in order, with the stored values ---------
struct BlendEntry {
    const char* label;
    int value;
};
const std::array<BlendEntry, 9>& BlendModes();
// The combo index of a stored mode; -1 for a mode the combo does not offer (1).
int BlendIndex(int mode);

// --- history ---------------------------------------------------------------------
// "%3d %4s %13s": the step number, the affected layer (empty when 0) and the
// step name, right-aligned in columns as a fixed-width font shows them
// (Hangul takes two). "Opening...." reads "(처음이미지)".
std::string HistoryLine(int step, int layer, const std::u16string& label);
// Columns a fixed-width font gives a UTF-8 text (wide characters two).
int TextColumns(const std::string& utf8);
// The icon (0-24) of a step name.
int HistoryIcon(const std::u16string& label);
inline constexpr int kHistoryIconWidth = 25, kHistoryIconHeight = 23, kHistoryIcons = 25;
inline constexpr int kHistoryLineHeight = 27;

// --- thumbnails ------------------------------------------------------------------
struct Thumbnail {
    int width = 0, height = 0;    // the picture inside the thumbnail box
    std::vector<uint8_t> rgb;     // width * height * 3, top row first
    uint64_t revision = 0;        // the layer revision it shows
    bool built = false;
};
// The layer drawn into the box (its proportions kept) over a light
// checkerboard where it is transparent.
void BuildThumbnail(const CVexoDoc& doc, int slot, int boxWidth, int boxHeight, Thumbnail& out);

// --- the model -----------------------------------------------------------------------
struct RowView {
    int layer = -1;   // slot, -1 for an empty row
    std::string name, tag;
    bool visible = false, current = false, effect = false;
    int kind = 0;
};

struct HistoryView {
    std::string text;
    int icon = 22;
    bool undone = false;   // beyond the current step (redo brings it back)
};

class LayersPanelModel : public DocObserver {
public:
    LayersPanelModel();
    ~LayersPanelModel() override;
    LayersPanelModel(const LayersPanelModel&) = delete;
    LayersPanelModel& operator=(const LayersPanelModel&) = delete;

    // The document shown (null: none). Follows it until told otherwise or
    // until it closes.
    void Show(CVexoDoc* doc);
    CVexoDoc* Doc() const { return doc_; }
    // Called after a notice left something to refresh (the window asks for
    // a refresh once its events are done).
    std::function<void()> onChange;

    void DocumentChanged(CVexoDoc& doc, const DocChange& change) override;
    bool Pending() const { return pending_ != 0; }

    // What a refresh rebuilt.
    struct Refreshed {
        bool rows = false, header = false, history = false;
        std::vector<int> thumbnails;   // slots whose thumbnail is new
    };
    // Rebuilds what the notices since the last refresh touched.
    Refreshed Refresh();
    // Rebuilds everything (a new document, a new panel size) except the
    // thumbnails whose layers did not change.
    Refreshed RefreshAll();

    // The panel's client height decides the rows shown.
    void SetClientHeight(int height);
    int RowsShown() const { return rows_; }
    int FirstShown() const { return first_; }
    int LayerCount() const { return int(order_.size()); }
    const std::vector<RowView>& Rows() const { return rowViews_; }
    // The layer of a row (-1 none).
    int LayerOfRow(int row) const;
    int RowOfLayer(int slot) const;   // -1 when not shown
    const Thumbnail& ThumbnailOf(int slot) const;
    // Thumbnails built since the model was made (for the benchmarks).
    int ThumbnailBuilds() const { return builds_; }
    const std::string& HeaderText() const { return header_; }
    int BlendIndexShown() const { return blendIndex_; }
    int OpacityShown() const { return opacity_; }
    const std::vector<HistoryView>& History() const { return history_; }

    // --- what the controls do (false: nothing happened) --------------------------
    // A press on a row's body: its layer becomes current.
    bool PressRow(int row);
    // The show/hide button of a row.
    bool ToggleVisible(int row);
    // The select/edit button: the row's layer becomes current; true with
    // `openEditor` set when it is a text or balloon layer.
    bool EditRow(int row, bool& openEditor);
    // A release on another row's body after a press: the current layer
    // takes that row's place, recorded as "레이어 위치 이동". Its own row
    // records nothing.
    bool DropOnRow(int pressedRow, int targetRow);
    // Whether a release on the small button area of a row opens the layer
    // effect (its layer has one).
    bool EffectAt(int row) const;
    bool SetBlendIndex(int index);
    bool SetOpacity(int value);
    // Scrolling: a line moves the first row by one, a page by two; a
    // position beyond the stack is ignored.
    bool ScrollLines(int lines);
    bool ScrollPages(int pages);
    bool ScrollTo(int first);
    // A click on a row (pressed and let go there) scrolls it to the top, as
    // far as the rows below it stay filled.
    bool ScrollRowToTop(int row);

    // --- history page ----------------------------------------------------------------
    // Selecting a line selects from it to the last line: [first, last].
    std::pair<int, int> SelectionFrom(int line) const;
    // Undo steps "(Undo) 뒤로 회복" takes with the lines from `firstSelected`
    // selected (-1 none): back to the state before that line, at least one.
    int UndoCountFor(int firstSelected) const;
    bool UndoFrom(int firstSelected);
    bool RedoOne();

private:
    void Detach();
    void BuildRows();
    void BuildHeader();
    void BuildHistory();
    void UpdateThumbnails(Refreshed& r);
    void KeepCurrentShown();

    CVexoDoc* doc_ = nullptr;
    unsigned pending_ = 0;
    int rows_ = 0, first_ = 0;
    std::vector<int> order_;   // top of the stack first
    std::vector<RowView> rowViews_;
    std::array<Thumbnail, 40> thumbs_{};
    int builds_ = 0;
    std::string header_;
    int blendIndex_ = -1, opacity_ = 0;
    std::vector<HistoryView> history_;
    int shownCurrent_ = -1;
};

}  // namespace layerpanel
