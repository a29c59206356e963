#include "layers_panel_model.h"

#include <algorithm>
#include <cstdio>

#include "CVexoDoc.h"
#include "undo_journal.h"

namespace layerpanel {

// --- layout ----------------------------------------------------------------------------

int RowsFor(int clientHeight) {
    if (clientHeight <= kRowTop) return 0;
    return std::min(kMaxRows, (clientHeight - kRowTop) / kRowStep);
}

Hit HitTest(int x, int y, int rows, int bodyRight) {
    Hit h;
    if (y < kRowTop || rows <= 0) return h;
    const int row = (y - kRowTop) / kRowStep;
    const int dy = (y - kRowTop) % kRowStep;
    if (row >= rows || dy >= kRowBodyHeight) return h;   // the gap between rows
    if (x >= kBodyLeft && x < std::max(bodyRight, kBodyLeft + 1)) {
        h.row = row;
        h.part = Part::Body;
    } else if (x >= kButtonLeft && x <= kButtonRight) {
        h.row = row;
        h.part = dy < kVisibleTop ? Part::Effect : dy < kEditTop ? Part::Visibility : Part::Edit;
    } else if (x >= kThumbLeft && x < kThumbLeft + kThumbWidth && dy >= kThumbTop && dy < kThumbTop + kThumbHeight) {
        h.row = row;
        h.part = Part::Thumbnail;
    }
    return h;
}

int ScrollArrowTop(int dir, int rows) {
    return dir < 0 ? kRowTop : kRowTop + std::max(2 * kArrowHeight, rows * kRowStep - 5) - kArrowHeight;
}

int ScrollArrowAt(int x, int y, int rows) {
    if (rows <= 0 || x < kScrollX || x >= kScrollX + kScrollWidth) return 0;
    for (int dir : {-1, 1}) {
        const int top = ScrollArrowTop(dir, rows);
        if (y >= top && y < top + kArrowHeight) return dir;
    }
    return 0;
}

int VisibilityCommand(int row, bool visible) { return (visible ? kShowCommand : kHiddenCommand) + row; }
int EditCommand(int row) { return kEditCommand + row; }

bool RowOfCommand(int id, int& row, Part& part) {
    for (const auto& [base, p] : {std::pair{kShowCommand, Part::Visibility}, std::pair{kHiddenCommand, Part::Visibility},
                                  std::pair{kEditCommand, Part::Edit}}) {
        if (id >= base && id < base + kMaxRows) {
            row = id - base;
            part = p;
            return true;
        }
    }
    return false;
}

const std::vector<PanelButton>& Buttons() {
    static const std::vector<PanelButton> buttons = {
        {2, 2, 92, 22, "레이어보기", "레이어보기", kLayerPageCommand, false},
        {96, 2, 92, 22, "작업내역보기", "작업내역보기", kHistoryPageCommand, false},
        {172, 27, 86, 19, "늘여 보기", "늘여 보기", kTallCommand, false},
        {2, 48, 42, 18, "추가", "레이어 더하기", 1552, true},
        {45, 48, 42, 18, "삭제", "레이어 삭제", 1553, true},
        {88, 48, 42, 18, "복제", "레이어 복제", 3500, true},
        {131, 48, 42, 18, "위합병", "위 레이어로 합병", 1555, true},
        {174, 48, 42, 18, "아래합병", "아래 레이어로 합병", 1557, true},
        {217, 48, 41, 18, "단일화", "레이어 없는 영상을 만듬", 1500, true},
        {2, 112, 42, 20, "래스터", "레스터 형식으로 변환", 1545, true},
        {45, 112, 42, 20, "그림자", "공백영역에 그림자 효과 만들기", 1558, true},
        {88, 112, 42, 20, "이름", "레이어 이름 변경", 3994, true},
        // Button 1549: the whole current layer to the clipboard (whatever is
        // selected), to be pasted as a new layer here or in another picture.
        {131, 112, 42, 20, "전체복사", "레이어 전체 영상을 복사", kCopyLayerCommand, true},
        {174, 112, 42, 20, "취소", "실행취소", 4870, true},
        {217, 112, 41, 20, "반복", "실행반복", 4871, true},
    };
    return buttons;
}

const PanelButton* ButtonAt(int x, int y, bool layerPage) {
    for (const PanelButton& b : Buttons())
        if ((layerPage || !b.layerPage) && x >= b.x && x < b.x + b.width && y >= b.y && y < b.y + b.height) return &b;
    return nullptr;
}

bool InCaptionStrip(int x, int y) {
    return y >= 0 && y < kCaptionStrip && x >= 0 && x < kPanelWidth && !ButtonAt(x, y, true);
}

// --- texts -----------------------------------------------------------------------------------

std::string ShownName(const LayerRecord& layer) {
    const std::u16string name = GetFixedText(layer.name, 100);
    if (name == u"[ImgFrame]") return "[액자틀]";
    if (name == u"[LinePattern]") return "//빗살무뉘//";
    return Utf16ToUtf8(name);
}

std::string Tag(const LayerRecord& layer) {
    switch (layer.kind) {
        case LayerText: return "[글]";
        case LayerBalloon: return "[말풍선]";
        case LayerLinked: return "Ctrl+D : 고정";
        default: return "";
    }
}

std::string Header(int bitsPerPixel, int dpi) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d 비트 %d dpi", bitsPerPixel, dpi);
    return buf;
}

const std::array<BlendEntry, 9>& BlendModes() {
    static const std::array<BlendEntry, 9> modes = {{
        {"표준상태", 0},
        {"곱셈혼합", 2},
        {"화면혼합", 3},
        {"어두운혼합", 4},
        {"밝은혼합", 5},
        {"차이혼합", 6},
        {"역차이혼합", 7},
        {"제외혼합", 8},
        {"오버레이혼합", 9},
    }};
    return modes;
}

int BlendIndex(int mode) {
    const auto& m = BlendModes();
    for (size_t i = 0; i < m.size(); ++i)
        if (m[i].value == mode) return int(i);
    return -1;
}

// --- history -----------------------------------------------------------------------------------

namespace {
// Wide characters (two columns in a fixed-width font): Hangul, CJK, full-width forms.
bool Wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6);
}

// Right-aligned in `width` columns (a longer text is kept whole).
std::string PadLeft(const std::string& text, int width) {
    const int cols = TextColumns(text);
    return cols >= width ? text : std::string(size_t(width - cols), ' ') + text;
}
}  // namespace

int TextColumns(const std::string& s) {
    int cols = 0;
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c = b;
        size_t n = 1;
        if (b >= 0xF0 && i + 3 < s.size() + 0) {
            c = char32_t(b & 0x07) << 18 | char32_t(s[i + 1] & 0x3F) << 12 | char32_t(s[i + 2] & 0x3F) << 6 |
                char32_t(s[i + 3] & 0x3F);
            n = 4;
        } else if (b >= 0xE0 && i + 2 < s.size()) {
            c = char32_t(b & 0x0F) << 12 | char32_t(s[i + 1] & 0x3F) << 6 | char32_t(s[i + 2] & 0x3F);
            n = 3;
        } else if (b >= 0xC0 && i + 1 < s.size()) {
            c = char32_t(b & 0x1F) << 6 | char32_t(s[i + 1] & 0x3F);
            n = 2;
        }
        cols += Wide(c) ? 2 : 1;
        i += n;
    }
    return cols;
}

std::string HistoryLine(int step, int layer, const std::u16string& label) {
    char number[16];
    std::snprintf(number, sizeof number, "%3d", step);
    const std::string field = layer ? std::to_string(layer) : std::string();
    const std::string name = label == u"Opening...." ? std::string("(처음이미지)") : Utf16ToUtf8(label);
    return std::string(number) + " " + PadLeft(field, 4) + " " + PadLeft(name, 13);
}

int HistoryIcon(const std::u16string& label) {
    struct Entry {
        const char16_t* name;
        int icon;
    };
    static const Entry kIcons[] = {
        {u"레이어 위치 이동", 0},
        {u"레이어효과(그림자)", 1},
        {u"떡이미지", 2},
        {u"레이어삭제", 3},
        {u"레이어추가", 4},
        {u"이미지크기", 5},
        {u"색상조정", 7},
        {u"원 그리기", 8},
        {u"반전변환", 9},
        {u"다각형그리기", 10},
        {u"선그리기", 11},
        {u"점찍기", 12},
        {u"붓그리기", 13},
        {u"스프레이", 14},
        {u"채우기", 15},
        {u"물방울", 16},
        {u"영역지우기", 17},
        {u"글자입력", 18},
        {u"Opening....", 19},
        {u"복사물 붙이기", 20},
        {u"자르기", 21},
        {u"선택영역 위치이동", 22},
        {u"전체영상 위치이동", 22},
        {u"거울변환", 23},
        {u"수직제비회전", 23},
        {u"180 우회전", 23},
        {u"180 좌회전", 23},
        {u"90 좌회전", 23},
        {u"90 우회전", 23},
        {u"자유회전", 23},
        {u"자동레벨", 24},
        {u"명도·대비 조절", 24},
        {u"다각형영역선택", 24},
        {u"회색톤이미지 변환", 24},
        {u"RGB 컬러영상으로 변환", 24},
    };
    for (const Entry& e : kIcons)
        if (label == e.name) return e.icon;
    return 22;   // any name not listed
}

// --- thumbnails ----------------------------------------------------------------------------------

void BuildThumbnail(const CVexoDoc& doc, int slot, int boxWidth, int boxHeight, Thumbnail& out) {
    out = Thumbnail{};
    out.revision = doc.LayerRevision(slot);
    out.built = true;
    if (!IsValidLayer(slot) || boxWidth < 1 || boxHeight < 1) return;
    const LayerRecord& L = doc.Layer(slot);
    if (!L.inUse || L.width < 1 || L.height < 1 || !L.pixels || !L.alpha) return;
    const double scale = std::min(double(boxWidth) / L.width, double(boxHeight) / L.height);
    const int tw = std::clamp(int(L.width * scale + 0.5), 1, boxWidth);
    const int th = std::clamp(int(L.height * scale + 0.5), 1, boxHeight);
    out.width = tw;
    out.height = th;
    out.rgb.assign(size_t(tw) * size_t(th) * 3, 0);
    const bool text = L.IsTextKind();
    const int bits = text || doc.live.canvas.bitsPerPixel == 8 || L.stride < L.width * 3 ? 8 : 24;
    const std::vector<RgbQuad>& palette = doc.live.palette;
    // Up to three samples across each thumbnail pixel in each direction.
    const int sx = std::clamp(L.width / tw, 1, 3), sy = std::clamp(L.height / th, 1, 3);
    for (int ty = 0; ty < th; ++ty) {
        uint8_t* dst = out.rgb.data() + size_t(ty) * size_t(tw) * 3;
        for (int tx = 0; tx < tw; ++tx, dst += 3) {
            unsigned b = 0, g = 0, r = 0, a = 0;
            for (int j = 0; j < sy; ++j) {
                const int y = std::min(L.height - 1, int((ty + (j + 0.5) / sy) * L.height / th));
                const int row = L.height - 1 - y;   // stored rows run bottom-up
                const uint8_t* pix = L.PixelRow(row);
                const uint8_t* alpha = L.AlphaRow(row);
                for (int i = 0; i < sx; ++i) {
                    const int x = std::min(L.width - 1, int((tx + (i + 0.5) / sx) * L.width / tw));
                    const unsigned al = alpha[x];
                    uint8_t pb, pg, pr;
                    if (text) {
                        pb = L.textColor[0];
                        pg = L.textColor[1];
                        pr = L.textColor[2];
                    } else if (bits == 24) {
                        pb = pix[x * 3];
                        pg = pix[x * 3 + 1];
                        pr = pix[x * 3 + 2];
                    } else {
                        const size_t k = pix[x];
                        const RgbQuad q = k < palette.size() ? palette[k] : RgbQuad{pix[x], pix[x], pix[x], 0};
                        pb = q.blue;
                        pg = q.green;
                        pr = q.red;
                    }
                    b += pb * al;
                    g += pg * al;
                    r += pr * al;
                    a += al;
                }
            }
            const unsigned n = unsigned(sx * sy);
            // Light and dark squares of 4 pixels where the layer lets them through.
            const unsigned back = ((tx / 4 + ty / 4) & 1) ? 204 : 255;
            const unsigned alpha = a / n;
            dst[0] = uint8_t((r / n + back * (255 - alpha)) / 255);
            dst[1] = uint8_t((g / n + back * (255 - alpha)) / 255);
            dst[2] = uint8_t((b / n + back * (255 - alpha)) / 255);
        }
    }
}

// --- model ---------------------------------------------------------------------------------------

namespace {
constexpr unsigned kFollowed = docchange::Layers | docchange::Pixels | docchange::Journal | docchange::Canvas |
                               docchange::Active | docchange::Closing;
}

LayersPanelModel::LayersPanelModel() = default;

LayersPanelModel::~LayersPanelModel() { Detach(); }

void LayersPanelModel::Detach() {
    if (doc_) doc_->RemoveObserver(this);
    doc_ = nullptr;
}

void LayersPanelModel::Show(CVexoDoc* doc) {
    if (doc == doc_) return;
    Detach();
    doc_ = doc;
    if (doc_) doc_->AddObserver(this);
    for (Thumbnail& t : thumbs_) t = Thumbnail{};
    first_ = 0;
    shownCurrent_ = -1;
    pending_ |= docchange::Active;
    if (onChange) onChange();
}

void LayersPanelModel::DocumentChanged(CVexoDoc& doc, const DocChange& change) {
    if (&doc != doc_) return;
    if (change.Has(docchange::Closing)) {
        // Nothing of the document may be touched any more.
        Detach();
        for (Thumbnail& t : thumbs_) t = Thumbnail{};
    }
    const unsigned what = change.what & kFollowed;
    if (!what) return;
    const bool wasPending = pending_ != 0;
    pending_ |= what;
    if (!wasPending && onChange) onChange();
}

LayersPanelModel::Refreshed LayersPanelModel::Refresh() {
    Refreshed r;
    if (!pending_) return r;
    const unsigned what = pending_;
    pending_ = 0;
    BuildRows();
    BuildHeader();
    r.rows = r.header = true;
    if (what & (docchange::Journal | docchange::Active | docchange::Closing)) {
        BuildHistory();
        r.history = true;
    }
    UpdateThumbnails(r);
    return r;
}

LayersPanelModel::Refreshed LayersPanelModel::RefreshAll() {
    pending_ |= docchange::Active;
    return Refresh();
}

void LayersPanelModel::SetClientHeight(int height) {
    const int rows = RowsFor(height);
    if (rows == rows_) return;
    const bool grew = rows > rows_;
    rows_ = rows;
    // Rows that come with a taller panel show the layers above before
    // they stay empty below the last one.
    if (grew) first_ = std::min(first_, std::max(0, int(order_.size()) - rows_));
    if (doc_) KeepCurrentShown();
    BuildRows();
}

void LayersPanelModel::KeepCurrentShown() {
    const auto at = std::find(order_.begin(), order_.end(), doc_ ? doc_->currentLayer : -1);
    if (at == order_.end() || rows_ <= 0) return;
    const int pos = int(at - order_.begin());
    if (pos < first_) first_ = pos;
    else if (pos >= first_ + rows_) first_ = pos - rows_ + 1;
}

void LayersPanelModel::BuildRows() {
    const size_t before = order_.size();
    order_.clear();
    rowViews_.assign(size_t(rows_), RowView{});
    if (!doc_) {
        first_ = 0;
        blendIndex_ = -1;
        opacity_ = 0;
        return;
    }
    const std::vector<int> bottomUp = doc_->StackOrder();
    order_.assign(bottomUp.rbegin(), bottomUp.rend());
    first_ = std::clamp(first_, 0, std::max(0, int(order_.size()) - 1));
    // Layers deleted or merged: the rows left empty at the bottom take the
    // layers above back into sight.
    if (order_.size() < before) first_ = std::min(first_, std::max(0, int(order_.size()) - rows_));
    if (doc_->currentLayer != shownCurrent_) {
        shownCurrent_ = doc_->currentLayer;
        KeepCurrentShown();
    }
    for (int row = 0; row < rows_; ++row) {
        const int k = first_ + row;
        if (k >= int(order_.size())) break;
        const int slot = order_[size_t(k)];
        const LayerRecord& L = doc_->Layer(slot);
        RowView& v = rowViews_[size_t(row)];
        v.layer = slot;
        v.name = ShownName(L);
        v.tag = Tag(L);
        v.visible = L.visible == 1;
        v.current = slot == doc_->currentLayer;
        v.effect = L.effectKind != 0;
        v.kind = L.kind;
    }
    if (const LayerRecord* cur = doc_->CurrentLayerPtr()) {
        blendIndex_ = BlendIndex(cur->blendMode);
        opacity_ = cur->transparency;
    } else {
        blendIndex_ = -1;
        opacity_ = 0;
    }
}

void LayersPanelModel::BuildHeader() {
    if (!doc_) {
        header_.clear();
        return;
    }
    const int bits = doc_->live.canvas.bitsPerPixel > 0 ? doc_->live.canvas.bitsPerPixel : 24;
    const int dpi = doc_->image.info.xDpi > 0 ? doc_->image.info.xDpi : 72;
    header_ = Header(bits, dpi);
}

void LayersPanelModel::BuildHistory() {
    history_.clear();
    if (!doc_ || doc_->undoPos < 0) return;
    const int last = std::min(std::max(doc_->redoTop, doc_->undoPos), int(doc_->steps.size()) - 1);
    for (int i = 0; i <= last; ++i) {
        const UndoStep& st = doc_->steps[size_t(i)];
        history_.push_back(HistoryView{HistoryLine(i, st.layer, st.label), HistoryIcon(st.label), i > doc_->undoPos});
    }
}

void LayersPanelModel::UpdateThumbnails(Refreshed& r) {
    if (!doc_) return;
    for (int slot : order_) {
        Thumbnail& t = thumbs_[size_t(slot)];
        if (t.built && t.revision == doc_->LayerRevision(slot)) continue;
        BuildThumbnail(*doc_, slot, kThumbWidth, kThumbHeight, t);
        ++builds_;
        r.thumbnails.push_back(slot);
    }
}

int LayersPanelModel::LayerOfRow(int row) const {
    if (row < 0 || row >= rows_) return -1;
    const int k = first_ + row;
    return k < int(order_.size()) ? order_[size_t(k)] : -1;
}

int LayersPanelModel::RowOfLayer(int slot) const {
    for (int row = 0; row < rows_; ++row)
        if (LayerOfRow(row) == slot && slot != -1) return row;
    return -1;
}

const Thumbnail& LayersPanelModel::ThumbnailOf(int slot) const {
    static const Thumbnail none;
    return IsValidLayer(slot) ? thumbs_[size_t(slot)] : none;
}

// --- controls ------------------------------------------------------------------------------------

bool LayersPanelModel::PressRow(int row) {
    const int slot = LayerOfRow(row);
    if (!doc_ || slot < 0) return false;
    if (!doc_->SelectLayer(slot)) return false;
    return doc_->currentLayer == slot;
}

bool LayersPanelModel::ToggleVisible(int row) {
    const int slot = LayerOfRow(row);
    if (!doc_ || slot < 0) return false;
    return doc_->SetLayerVisible(slot, doc_->Layer(slot).visible != 1);
}

bool LayersPanelModel::EditRow(int row, bool& openEditor) {
    openEditor = false;
    if (!PressRow(row)) return false;
    const LayerRecord* L = doc_->CurrentLayerPtr();
    openEditor = L && L->IsTextKind();
    return true;
}

bool LayersPanelModel::DropOnRow(int pressedRow, int targetRow) {
    const int moved = LayerOfRow(pressedRow), target = LayerOfRow(targetRow);
    if (!doc_ || moved < 0 || target < 0 || moved == target || moved != doc_->currentLayer) return false;
    const int fromTop = first_ + targetRow;
    const int position = int(order_.size()) - 1 - fromTop;   // counted from the bottom
    return doc_->MoveLayerInStack(moved, position);
}

bool LayersPanelModel::EffectAt(int row) const {
    const int slot = LayerOfRow(row);
    return doc_ && slot >= 0 && doc_->Layer(slot).effectKind != 0;
}

bool LayersPanelModel::SetBlendIndex(int index) {
    const auto& modes = BlendModes();
    if (!doc_ || index < 0 || index >= int(modes.size()) || !doc_->CurrentLayerPtr()) return false;
    return doc_->SetLayerBlend(doc_->currentLayer, modes[size_t(index)].value);
}

bool LayersPanelModel::SetOpacity(int value) {
    if (!doc_ || !doc_->CurrentLayerPtr()) return false;
    return doc_->SetLayerTransparency(doc_->currentLayer, std::clamp(value, 0, 255));
}

bool LayersPanelModel::ScrollTo(int first) {
    if (!doc_ || first < 0 || first >= int(order_.size()) || first == first_) return false;
    first_ = first;
    BuildRows();
    return true;
}

bool LayersPanelModel::ScrollRowToTop(int row) {
    if (LayerOfRow(row) < 0) return false;
    // Not so far that rows stay empty while layers above are hidden (all
    // the layers that fit stay in sight).
    const int target = std::min(first_ + row, std::max(0, int(order_.size()) - rows_));
    return target != first_ && ScrollTo(target);
}

bool LayersPanelModel::ScrollLines(int lines) { return ScrollTo(first_ + lines); }
bool LayersPanelModel::ScrollPages(int pages) { return ScrollTo(first_ + 2 * pages); }

// --- history -------------------------------------------------------------------------------------

std::pair<int, int> LayersPanelModel::SelectionFrom(int line) const {
    const int last = int(history_.size()) - 1;
    if (line < 0 || line > last) return {-1, -1};
    return {line, last};
}

int LayersPanelModel::UndoCountFor(int firstSelected) const {
    if (!doc_ || !doc_->CanUndo()) return 0;
    const int pos = doc_->undoPos;
    if (firstSelected < 0 || firstSelected > pos) return 1;
    return pos - std::max(firstSelected, 1) + 1;
}

bool LayersPanelModel::UndoFrom(int firstSelected) {
    const int n = UndoCountFor(firstSelected);
    if (n <= 0) return false;
    ChangeBatch batch(*doc_);
    bool any = false;
    for (int i = 0; i < n && doc_->CanUndo(); ++i) {
        if (!doc_->Undo()) break;
        any = true;
    }
    return any;
}

bool LayersPanelModel::RedoOne() { return doc_ && doc_->CanRedo() && doc_->Redo(); }

}  // namespace layerpanel
