// Listing a folder for the image browser, and the folders of the tree.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace browser {

// The names of the files in `folder` that the filter takes, sorted by name
// without regard to case. Only regular files (or links to them); hidden
// files (a leading dot) are left out. A picture is listed only when the
// probe of its headers accepts it; a document (".vor") by its extension
// alone. A folder that cannot be read lists nothing. `stop`, when set
// meanwhile, ends the listing early (the names so far are returned).
std::vector<std::string> ListPictures(const std::string& folder, const std::string& filter,
                                      const std::atomic<bool>* stop = nullptr);

// Whether the file would be listed (under "모든이미지형식").
bool IsListablePicture(const std::string& path);

// Places the folder tree starts from.
struct FolderRoot {
    std::string label;
    std::string path;
};
// The home folder, the root of the file system, and the mounted volumes of
// /proc/self/mounts (folders only, no virtual file systems, no duplicates).
std::vector<FolderRoot> FolderRoots();
// The volumes in the text of a mounts table (the format of /proc/self/mounts,
// with its octal escapes).
std::vector<FolderRoot> MountedVolumes(const std::string& mountsText);

// The folders directly inside `path` (hidden ones left out), sorted by name
// without regard to case; names only.
std::vector<std::string> SubFolders(const std::string& path);
bool HasSubFolders(const std::string& path);

// The file-type id the editor opens a file of this extension with.
int PictureType(const std::string& ext);

// "a" + "/" + "b" without doubling the separator.
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace browser
