#include "print_model.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace printing {

const std::vector<Paper>& Papers() {
    static const std::vector<Paper> papers = {
        {"A4", "210 ⅹ 297mm", 210, 297},   {"B5", "182 ⅹ 257mm", 182, 257},
        {"D3", "9.5 ⅹ 12.7cm", 95, 127},   {"D4", "10.2 ⅹ 13.5cm", 102, 135},
        {"D5", "12.5 ⅹ 16.9cm", 125, 169},
    };
    return papers;
}

int FindPaper(const std::string& name) {
    const auto& papers = Papers();
    for (size_t i = 0; i < papers.size(); ++i) {
        const std::string n = papers[i].name;
        bool same = n.size() == name.size();
        for (size_t k = 0; same && k < n.size(); ++k)
            same = std::toupper(static_cast<unsigned char>(name[k])) == n[k];
        if (same) return int(i);
    }
    return -1;
}

const std::vector<std::string>& Orientations() {
    static const std::vector<std::string> names = {"세로방향", "가로방향"};
    return names;
}

int ParseResolution(const std::string& text) {
    size_t i = 0, end = text.size();
    while (i < end && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (i == end) return 0;
    long long v = 0;
    size_t k = i;
    bool negative = false;
    if (text[k] == '-' || text[k] == '+') negative = text[k++] == '-';
    if (k == end) return 0;
    for (; k < end; ++k) {
        if (!std::isdigit(static_cast<unsigned char>(text[k]))) return 0;
        v = v * 10 + (text[k] - '0');
        if (v > INT_MAX) return 0;
    }
    return int(negative ? -v : v);
}

PrintPreviewModel::PrintPreviewModel(int pictureWidth, int pictureHeight, int pictureDpi)
    : width_(pictureWidth), height_(pictureHeight),
      text_(std::to_string(pictureDpi > 0 ? pictureDpi : kDefaultDpi)) {}

void PrintPreviewModel::SelectPaper(int index, bool landscape) {
    const auto& papers = Papers();
    if (index < 0 || index > 3) index = 4;
    const Paper& p = papers[size_t(index)];
    paper_ = index;
    landscape_ = landscape;
    sizeText_ = p.sizeText;
    int w = p.widthMm, h = p.heightMm;
    if (landscape) std::swap(w, h);
    outline_ = Box{250, 50, w, h};
}

void PrintPreviewModel::SetResolutionText(const std::string& text) { text_ = text; }

std::string PrintPreviewModel::CorrectedText() const {
    bool blank = true;
    for (char c : text_) blank = blank && std::isspace(static_cast<unsigned char>(c));
    if (blank) return text_;
    return ParseResolution(text_) <= 0 ? std::string("1") : text_;
}

int PrintPreviewModel::Resolution() const {
    const int r = ParseResolution(text_);
    return r < 1 ? 1 : r;
}

void PrintPreviewModel::Spin(int delta) {
    int r = ParseResolution(text_);
    if (delta <= 0) {
        if (r < INT_MAX) ++r;
    } else {
        --r;
    }
    if (r < 1) r = 1;
    text_ = std::to_string(r);
}

double PrintPreviewModel::WidthInches() const { return double(width_) / Resolution(); }
double PrintPreviewModel::HeightInches() const { return double(height_) / Resolution(); }

namespace {
std::string TwoDecimals(double v) {
    char t[64];
    std::snprintf(t, sizeof t, "%.2f", v);
    return t;
}
int Millimetres(double inches) {
    const double mm = inches * 25.4;
    return mm >= double(INT_MAX) ? INT_MAX : int(mm);
}
}  // namespace

std::string PrintPreviewModel::WidthText() const { return TwoDecimals(WidthInches()); }
std::string PrintPreviewModel::HeightText() const { return TwoDecimals(HeightInches()); }

Box PrintPreviewModel::PictureBox() const { return Box{260, 60, Millimetres(WidthInches()), Millimetres(HeightInches())}; }

}  // namespace printing
