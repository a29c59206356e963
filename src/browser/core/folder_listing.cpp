#include "folder_listing.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>

#include "browser_model.h"
#include "dib_types.h"
#include "image_probe.h"
#include "vor_probe.h"

namespace browser {

namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

enum class Kind { Other, File, Folder };

Kind KindOf(const std::string& path, unsigned char direntType) {
    if (direntType == DT_REG) return Kind::File;
    if (direntType == DT_DIR) return Kind::Folder;
    if (direntType != DT_LNK && direntType != DT_UNKNOWN) return Kind::Other;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Kind::Other;
    if (S_ISREG(st.st_mode)) return Kind::File;
    if (S_ISDIR(st.st_mode)) return Kind::Folder;
    return Kind::Other;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

template <class Fn>
void ForEachEntry(const std::string& folder, Fn&& fn) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "/" : folder.c_str()));
    if (!dir) return;
    while (dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;   // ".", ".." and hidden entries
        if (!fn(name, e->d_type)) return;
    }
}

// Exactly one raw frame: 640 x 480 pixels of three bytes.
constexpr int64_t kRawFrameBytes = int64_t(640) * 480 * 3;

}  // namespace

int PictureType(const std::string& ext) {
    if (ext == "jpg" || ext == "jpeg") return kTypeJPEG;
    if (ext == "bmp") return kTypeBMP;
    if (ext == "gif") return kTypeGIF;
    if (ext == "tif" || ext == "tiff") return kTypeTIFF;
    if (ext == "pcx") return kTypePCX;
    if (ext == "vor") return kTypeVOR;
    return kTypeDetect;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

bool IsListablePicture(const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (!ExtensionPassesFilter(ext, kAllFormats)) return false;
    if (IsDocumentExtension(ext)) return true;
    if (ext == "raw") {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= kRawFrameBytes;
    }
    ImageProbe probe;
    return ProbePictureFile(path.c_str(), PictureType(ext), probe);
}

std::vector<std::string> ListPictures(const std::string& folder, const std::string& filter,
                                      const std::atomic<bool>* stop) {
    std::vector<std::string> candidates;
    ForEachEntry(folder, [&](const std::string& name, unsigned char type) {
        if (!ExtensionPassesFilter(LowerExtension(name), filter)) return true;
        if (KindOf(JoinPath(folder, name), type) == Kind::File) candidates.push_back(name);
        return true;
    });
    std::sort(candidates.begin(), candidates.end(), LessNoCase);
    std::vector<std::string> names;
    names.reserve(candidates.size());
    for (const std::string& name : candidates) {
        if (stop && stop->load(std::memory_order_relaxed)) break;
        if (IsListablePicture(JoinPath(folder, name))) names.push_back(name);
    }
    return names;
}

std::vector<std::string> SubFolders(const std::string& path) {
    std::vector<std::string> names;
    ForEachEntry(path, [&](const std::string& name, unsigned char type) {
        if (KindOf(JoinPath(path, name), type) == Kind::Folder) names.push_back(name);
        return true;
    });
    std::sort(names.begin(), names.end(), LessNoCase);
    return names;
}

bool HasSubFolders(const std::string& path) {
    bool found = false;
    ForEachEntry(path, [&](const std::string& name, unsigned char type) {
        found = KindOf(JoinPath(path, name), type) == Kind::Folder;
        return !found;
    });
    return found;
}

namespace {
// "\040" and the other octal escapes of the mounts table.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(s[i + 2])) && std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
            out.push_back(char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

bool UnderSystemFolder(const std::string& p) {
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run", "/boot", "/etc", "/snap", "/var/lib", "/usr"}) {
        const std::string pre = prefix;
        if (p == pre || p.rfind(pre + "/", 0) == 0) {
            // Removable media are mounted below /run/media.
            if (pre == "/run" && p.rfind("/run/media/", 0) == 0) return false;
            return true;
        }
    }
    return false;
}
}  // namespace

std::vector<FolderRoot> MountedVolumes(const std::string& mountsText) {
    std::vector<FolderRoot> roots;
    std::set<std::string> seen;
    std::istringstream in(mountsText);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (!(fields >> device >> point >> type)) continue;
        point = Unescape(point);
        // Volumes of block devices (disks, sticks, cards) and network shares.
        const bool block = device.rfind("/dev/", 0) == 0;
        const bool network = type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" ||
                             type == "fuse.sshfs";
        if (!block && !network) continue;
        if (point == "/" || point.empty() || point[0] != '/' || UnderSystemFolder(point)) continue;
        if (!seen.insert(point).second) continue;
        const size_t slash = point.find_last_of('/');
        roots.push_back({point.substr(slash + 1), point});
    }
    return roots;
}

std::vector<FolderRoot> FolderRoots() {
    std::vector<FolderRoot> roots;
    if (const char* home = std::getenv("HOME"); home && *home) roots.push_back({"홈 폴더", home});
    roots.push_back({"/", "/"});
    std::string text;
    if (FILE* f = std::fopen("/proc/self/mounts", "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
        std::fclose(f);
    }
    for (FolderRoot& r : MountedVolumes(text)) {
        struct stat st;
        if (::stat(r.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) roots.push_back(std::move(r));
    }
    return roots;
}

}  // namespace browser
