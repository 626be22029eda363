// Where the program looks for its data files: the order of the folders, the XDG data folders
// as the environment gives them, and which folder counts as holding the files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scene/SceneMedia.h"

namespace fs = std::filesystem;

namespace {

using Folders = std::vector<std::string>;

TEST(MediaSearchPath, CurrentThenBesideTheProgramThenInstalledThenXdg) {
    EXPECT_EQ(MediaSearchPath("/opt/sg/bin", "/a:/b/"),
              (Folders{"", "/opt/sg/bin/media", "/opt/sg/share/simmerglass", "/a/simmerglass",
                       "/b/simmerglass"}));
    // Unset or empty: the XDG default folders.
    const Folders defaults = {"", "/x/bin/media", "/x/share/simmerglass",
                              "/usr/local/share/simmerglass", "/usr/share/simmerglass"};
    EXPECT_EQ(MediaSearchPath("/x/bin", nullptr), defaults);
    EXPECT_EQ(MediaSearchPath("/x/bin", ""), defaults);
}

TEST(MediaSearchPath, OddFoldersAndEntries) {
    // Relative and empty entries are not valid XDG folders; "/" is the root.
    EXPECT_EQ(MediaSearchPath(nullptr, "::relative/share:/:/c//:"),
              (Folders{"", "/simmerglass", "/c/simmerglass"}));
    // A program in the root folder; /usr/bin's installed folder is also an XDG folder and is
    // named once.
    EXPECT_EQ(MediaSearchPath("", "/q"), (Folders{"", "/media", "/share/simmerglass", "/q/simmerglass"}));
    EXPECT_EQ(MediaSearchPath("/usr/bin", "/usr/share:/usr/share"),
              (Folders{"", "/usr/bin/media", "/usr/share/simmerglass"}));
}

class FindMediaRootTest : public testing::Test {
protected:
    void SetUp() override {
        top = fs::path(testing::TempDir()) / "sg_media_search";
        fs::remove_all(top);
        fs::create_directories(top);
    }
    void TearDown() override { fs::remove_all(top); }

    std::string Make(const std::string& name, std::vector<std::string> folders,
                     std::vector<std::string> files = {}) {
        fs::path root = top / name;
        fs::create_directories(root);
        for (const std::string& folder : folders) fs::create_directories(root / folder);
        for (const std::string& file : files) std::ofstream(root / file) << "x";
        return root.string();
    }

    fs::path top;
};

TEST_F(FindMediaRootTest, TheFirstFolderHoldingAllThreeWins) {
    const std::string partial = Make("partial", {"efx", "mesh"});
    const std::string files = Make("files", {"efx", "mesh"}, {"tex"});  // tex is a file
    const std::string first = Make("first", {"efx", "mesh", "tex"});
    const std::string second = Make("second", {"efx", "mesh", "tex"});
    const std::string missing = (top / "missing").string();
    EXPECT_EQ(FindMediaRoot({missing, partial, files, first, second}), first);
    EXPECT_EQ(FindMediaRoot({second, first}), second);
    EXPECT_EQ(FindMediaRoot({missing, partial, files}), std::nullopt);
    EXPECT_EQ(FindMediaRoot({}), std::nullopt);
}

TEST(MediaNotFoundWarning, NamesEveryFolderInOrder) {
    EXPECT_EQ(MediaNotFoundWarning({"", "/p/media", "/usr/share/simmerglass"}),
              "warning: no folder holds the data files (efx/, mesh/ and tex/); looked in the "
              "current directory, /p/media, /usr/share/simmerglass\n");
}

}  // namespace
