// The program's locale: Korean, so that GTK's own texts (file and colour
// dialogs, stock buttons) and wx's come in Korean. GTK's Korean catalogue
// is the system's; wx's stock labels come from the system's wx catalogue
// when one is installed, else from the few built in below. Without a Korean
// locale on the system the program goes on in the one it has.
#include <wx/arrstr.h>
#include <wx/intl.h>
#include <wx/translation.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// wx's own texts the editor shows (stock buttons and message boxes).
const std::pair<const char*, const char*> kWxKorean[] = {
    {"&Yes", "예(&Y)"},          {"&No", "아니요(&N)"},     {"Yes", "예"},
    {"No", "아니요"},            {"&OK", "확인(&O)"},        {"OK", "확인"},
    {"&Cancel", "취소(&C)"},     {"Cancel", "취소"},         {"&Open", "열기(&O)"},
    {"&Save", "저장(&S)"},       {"&Close", "닫기(&C)"},     {"Close", "닫기"},
    {"&Apply", "적용(&A)"},      {"&Help", "도움말(&H)"},    {"Help", "도움말"},
    {"Error", "오류"},           {"Warning", "경고"},        {"Information", "정보"},
    {"Question", "질문"},        {"Message", "메시지"},      {"&Delete", "삭제(&D)"},
    {"Save As", "다른 이름으로 저장"}, {"Open", "열기"},     {"Save", "저장"},
};

// A GNU message catalogue (.mo) in memory: the format wx reads.
std::string BuildCatalogue() {
    std::vector<std::pair<std::string, std::string>> e;
    e.emplace_back("", "Content-Type: text/plain; charset=UTF-8\n");
    for (const auto& [k, v] : kWxKorean) e.emplace_back(k, v);
    std::sort(e.begin(), e.end());
    const uint32_t n = uint32_t(e.size());
    const uint32_t origTable = 28, transTable = origTable + 8 * n, data = transTable + 8 * n;
    std::string out(data, '\0');
    auto put = [&out](uint32_t at, uint32_t v) { std::memcpy(&out[at], &v, 4); };
    put(0, 0x950412de);
    put(4, 0);
    put(8, n);
    put(12, origTable);
    put(16, transTable);
    put(20, 0);
    put(24, data);
    for (int pass = 0; pass < 2; ++pass)
        for (uint32_t i = 0; i < n; ++i) {
            const std::string& s = pass == 0 ? e[i].first : e[i].second;
            const uint32_t at = uint32_t(out.size());
            out += s;
            out += '\0';
            put((pass == 0 ? origTable : transTable) + 8 * i, uint32_t(s.size()));
            put((pass == 0 ? origTable : transTable) + 8 * i + 4, at);
        }
    return out;
}

class BuiltInLoader : public wxFileTranslationsLoader {
public:
    wxMsgCatalog* LoadCatalog(const wxString& domain, const wxString& lang) override {
        if (wxMsgCatalog* c = wxFileTranslationsLoader::LoadCatalog(domain, lang)) return c;
        if (!domain.StartsWith("wxstd") || !lang.StartsWith("ko")) return nullptr;
        return FromBytes(BuildCatalogue(), domain);
    }
    wxArrayString GetAvailableTranslations(const wxString& domain) const override {
        wxArrayString a = wxFileTranslationsLoader::GetAvailableTranslations(domain);
        if (domain.StartsWith("wxstd") && a.Index("ko") == wxNOT_FOUND) a.Add("ko");
        return a;
    }

private:
    static wxMsgCatalog* FromBytes(const std::string& mo, const wxString& domain) {
        char* copy = static_cast<char*>(std::malloc(mo.size()));
        if (!copy) return nullptr;
        std::memcpy(copy, mo.data(), mo.size());
        return wxMsgCatalog::CreateFromData(wxScopedCharBuffer::CreateOwned(copy, mo.size()), domain);
    }
};

}  // namespace

// Sets the Korean locale up; false when the system has none (the program
// then keeps the locale it was started with).
bool SetUpKoreanLocale() {
    // GTK's texts follow LANGUAGE before the locale's own language.
    setenv("LANGUAGE", "ko", 1);
    static bool translations = false;
    bool ok = false;
    for (const char* name : {"ko_KR.UTF-8", "ko_KR.utf8"}) {
        if (std::setlocale(LC_ALL, name)) {
            ok = true;
            break;
        }
    }
    if (!ok) {
        unsetenv("LANGUAGE");
        std::setlocale(LC_ALL, "C.UTF-8");
        return false;
    }
    // Numbers in the configuration and in every format keep the C rules.
    std::setlocale(LC_NUMERIC, "C");
    if (!translations) {
        translations = true;
        auto* t = new wxTranslations;
        wxTranslations::Set(t);
        t->SetLoader(new BuiltInLoader);
        t->SetLanguage("ko");
        t->AddStdCatalog();
    }
    return true;
}
