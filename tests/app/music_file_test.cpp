// Which music file the show plays: the working folder's, else the installed copy.
#include "app/music_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace {

constexpr char name[] = "tarmelipolkka.wav";

std::string choose(const std::string& data_folder, const std::set<std::string>& openable) {
    return choose_music_file(name, data_folder,
                             [&](const std::string& path) { return openable.count(path) > 0; });
}

TEST(MusicFile, TheWorkingFoldersFileWinsOverTheInstalledOne) {
    EXPECT_EQ(
        choose("/opt/show/share/dadadazo", {name, "/opt/show/share/dadadazo/" + std::string(name)}),
        name);
    EXPECT_EQ(choose("", {name}), name);
}

TEST(MusicFile, TheInstalledCopyPlaysWhenTheWorkingFolderHasNone) {
    EXPECT_EQ(choose("/opt/show/share/dadadazo", {"/opt/show/share/dadadazo/tarmelipolkka.wav"}),
              "/opt/show/share/dadadazo/tarmelipolkka.wav");
    EXPECT_EQ(choose("C:\\Games\\Dadadazo", {"C:\\Games\\Dadadazo\\tarmelipolkka.wav"}),
              "C:\\Games\\Dadadazo\\tarmelipolkka.wav");
}

// With neither file the show names the one it looked for first, as its silent-show line says.
TEST(MusicFile, WithoutAnyFileTheWorkingFolderNameIsKept) {
    EXPECT_EQ(choose("/opt/show/share/dadadazo", {}), name);
    EXPECT_EQ(choose("", {}), name);
    EXPECT_EQ(choose("/opt/show/share/dadadazo", {"/elsewhere/tarmelipolkka.wav"}), name);
}

TEST(MusicFile, JoinsWithTheSeparatorTheFolderUses) {
    EXPECT_EQ(path_in_folder("/usr/share/dadadazo", name), "/usr/share/dadadazo/tarmelipolkka.wav");
    EXPECT_EQ(path_in_folder("/usr/share/dadadazo/", name),
              "/usr/share/dadadazo/tarmelipolkka.wav");
    EXPECT_EQ(path_in_folder("C:\\Games", name), "C:\\Games\\tarmelipolkka.wav");
    EXPECT_EQ(path_in_folder("C:\\", name), "C:\\tarmelipolkka.wav");
    EXPECT_EQ(path_in_folder("C:/Games\\Show", name), "C:/Games\\Show/tarmelipolkka.wav");
    EXPECT_EQ(path_in_folder("/", name), "/tarmelipolkka.wav");
    EXPECT_EQ(path_in_folder("", name), name);
}

TEST(MusicFile, OpenableMeansReadableNow) {
    namespace fs = std::filesystem;
    const fs::path file = fs::temp_directory_path() / "dadadazo-music-file-test.wav";
    fs::remove(file);
    EXPECT_FALSE(file_can_be_opened(file.string()));
    std::ofstream(file) << "RIFF";
    EXPECT_TRUE(file_can_be_opened(file.string()));
    fs::remove(file);
}

} // namespace
