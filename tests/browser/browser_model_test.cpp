// The browser's rules: the fit into a thumbnail cell, the preview layout
// and its text, the filter, and the folders of the tree.
#include <gtest/gtest.h>

#include "browser_model.h"
#include "folder_listing.h"
#include "test_support.h"

using namespace browser;

TEST(BrowserModel, FitIntoCellExamples) {
    EXPECT_EQ(FitIntoCell(1000, 500), (Rect{0, 20, 100, 50}));
    EXPECT_EQ(FitIntoCell(300, 900), (Rect{35, 0, 30, 90}));
    // Smaller pictures are enlarged to fill the cell.
    EXPECT_EQ(FitIntoCell(50, 45), (Rect{0, 0, 100, 90}));
    EXPECT_EQ(FitIntoCell(10, 10), (Rect{5, 0, 90, 90}));
    // Same aspect as the cell, and one pixel wide.
    EXPECT_EQ(FitIntoCell(2000, 1800), (Rect{0, 0, 100, 90}));
    EXPECT_EQ(FitIntoCell(1, 10000), (Rect{49, 0, 0, 90}));   // (100 - 0.009) / 2, truncated
    EXPECT_EQ(FitIntoCell(0, 10), Rect{});
}

TEST(BrowserModel, PreviewLayoutKeepsTheAspectInTheFreeArea) {
    // Client 220 wide: the free area is 200 x 273 at (10, 27).
    EXPECT_EQ(PreviewLayout(220, 360, 400, 300), (Rect{10, 27 + 61, 200, 150}));
    // Taller than the area: as high as it, centred across.
    EXPECT_EQ(PreviewLayout(220, 360, 100, 273), (Rect{10 + 50, 27, 100, 273}));
    // No picture: the whole free area.
    EXPECT_EQ(PreviewLayout(220, 360, 0, 0), (Rect{10, 27, 200, 273}));
    // The area does not depend on the window's height.
    EXPECT_EQ(PreviewLayout(220, 1000, 400, 300), PreviewLayout(220, 360, 400, 300));
    EXPECT_EQ(PreviewInfoText(400, 300, "a.jpg"), "400 ×300  a.jpg");
    EXPECT_EQ(PreviewInfoText(0, 0, ""), "0 ×0  ");
}

TEST(BrowserModel, FilterTakesEveryExtensionTheEditorOpens) {
    const std::vector<std::string> expected = {"모든이미지형식", "jpg", "gif", "vor", "bmp", "tif"};
    EXPECT_EQ(FilterNames(), expected);
    for (const char* ext : {"jpg", "jpeg", "bmp", "gif", "tif", "tiff", "pcx", "vor", "raw"})
        EXPECT_TRUE(ExtensionPassesFilter(ext, kAllFormats)) << ext;
    for (const char* ext : {"png", "txt", "", "jp", "sco"}) EXPECT_FALSE(ExtensionPassesFilter(ext, kAllFormats)) << ext;
    EXPECT_TRUE(ExtensionPassesFilter("jpeg", "jpg"));
    EXPECT_TRUE(ExtensionPassesFilter("tiff", "tif"));
    EXPECT_FALSE(ExtensionPassesFilter("jpeg", "tif"));
    EXPECT_FALSE(ExtensionPassesFilter("pcx", "bmp"));
    EXPECT_TRUE(ExtensionPassesFilter("vor", "vor"));
    EXPECT_EQ(LowerExtension("a.JPG"), "jpg");
    EXPECT_EQ(LowerExtension("archive.tar.GZ"), "gz");
    EXPECT_EQ(LowerExtension("noext"), "");
    EXPECT_EQ(LowerExtension("dir.d/noext"), "");
}

TEST(FolderTree, VolumesOfTheMountsTable) {
    const std::string mounts =
        "/dev/sda1 / ext4 rw 0 0\n"
        "proc /proc proc rw 0 0\n"
        "tmpfs /run/user/1000 tmpfs rw 0 0\n"
        "/dev/sda2 /boot ext4 rw 0 0\n"
        "/dev/sdb1 /media/kim/USB\\040STICK vfat rw 0 0\n"
        "/dev/sdc1 /run/media/kim/CARD exfat rw 0 0\n"
        "/dev/sda1 /etc/hosts ext4 rw 0 0\n"
        "server:/photos /mnt/photos nfs4 rw 0 0\n"
        "/dev/sdb1 /media/kim/USB\\040STICK vfat rw 0 0\n"
        "overlay /var/lib/docker/x overlay rw 0 0\n"
        "garbage\n";
    const std::vector<FolderRoot> v = MountedVolumes(mounts);
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].path, "/media/kim/USB STICK");
    EXPECT_EQ(v[0].label, "USB STICK");
    EXPECT_EQ(v[1].path, "/run/media/kim/CARD");
    EXPECT_EQ(v[2].path, "/mnt/photos");
    // The roots always start with the home folder and the file system's root.
    const std::vector<FolderRoot> roots = FolderRoots();
    ASSERT_GE(roots.size(), 2u);
    EXPECT_EQ(roots[1].path, "/");
}

TEST(FolderTree, SubFoldersAreVisibleFoldersOnly) {
    testsupport::TempDir dir;
    for (const char* d : {"b", "A", ".hidden", "c.jpg"}) ASSERT_EQ(testsupport::Run("mkdir '" + dir.File(d) + "'"), 0);
    testsupport::WriteBytes(dir.File("file.txt"), {1});
    ASSERT_EQ(testsupport::Run("ln -s '" + dir.File("b") + "' '" + dir.File("link") + "'"), 0);
    const std::vector<std::string> expected = {"A", "b", "c.jpg", "link"};
    EXPECT_EQ(SubFolders(dir.Path()), expected);
    EXPECT_TRUE(HasSubFolders(dir.Path()));
    EXPECT_FALSE(HasSubFolders(dir.File("A")));
    EXPECT_TRUE(SubFolders(dir.File("missing")).empty());
    EXPECT_EQ(JoinPath("/", "x"), "/x");
    EXPECT_EQ(JoinPath("/a", "x"), "/a/x");
    EXPECT_EQ(JoinPath("/a/", "x"), "/a/x");
}
