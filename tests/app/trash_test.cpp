// Moving files to the trash in freedesktop.org's shared Trash layout, in a
// temporary XDG_DATA_HOME: the file moved into files/,
// its .trashinfo valid and pointing back to it, names that collide, a file
// on another file system (a tmpfs mounted here, when the test may mount
// one) going to that file system's trash, and refusals leaving everything
// as it was.
#include "app/trash.h"
#include "tests/support/fixtures.h"
#include "tests/support/trash_info.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string uid() { return std::to_string(geteuid()); }

// Every path under `root`, relative to it, with a mark for folders.
std::set<std::string> tree(const std::string& root) {
    std::set<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        out.insert(entry.path().lexically_relative(root).string() + (entry.is_directory() ? "/" : ""));
    return out;
}

std::string text_of(const std::string& path) {
    const std::vector<uint8_t> bytes = e2e::read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string trashinfo_path(const std::string& info) { return e2e::trashinfo_path(text_of(info)); }

struct Home {
    std::string dir = e2e::make_temp_dir();
    std::string trash = dir + "/data/Trash";
    Home() { setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1); }
    ~Home() { fs::remove_all(dir); }
};

void touch(const std::string& path) { e2e::write_file(path, {'x', 'y'}); }

TEST(Trash, MovesFilesIntoTheHomeTrashWithValidInfoFiles) {
    Home home;
    const std::string photos = home.dir + "/photos";
    fs::create_directories(photos + "/again");
    fs::create_directories(photos + "/third");
    struct Row {
        std::string file;  // under photos/
        std::string trashed;  // its name in the trash
        std::string encoded;  // the tail of the Path line
    };
    const Row rows[] = {
        {"img.jpg", "img.jpg", "/photos/img.jpg"},
        {"again/img.jpg", "img.2.jpg", "/photos/again/img.jpg"},
        {"third/img.jpg", "img.3.jpg", "/photos/third/img.jpg"},
        {"with space & \xC3\xBC.jpg", "with space & \xC3\xBC.jpg", "/photos/with%20space%20%26%20%C3%BC.jpg"},
        {"%41 b.jpg", "%41 b.jpg", "/photos/%2541%20b.jpg"},
        {"noext", "noext", "/photos/noext"},
        {"again/noext", "noext.2", "/photos/again/noext"},
        {".hidden", ".hidden", "/photos/.hidden"},
    };
    for (const Row& row : rows) touch(photos + "/" + row.file);
    // A link is trashed as a link; what it points to stays.
    ASSERT_EQ(symlink("img.jpg", (photos + "/third/link.jpg").c_str()), 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const TrashResult result = move_to_trash(photos + "/" + row.file);
        ASSERT_TRUE(result.moved) << result.reason;
        EXPECT_EQ(result.trashed, home.trash + "/files/" + row.trashed);
        EXPECT_FALSE(fs::exists(photos + "/" + row.file));
        EXPECT_EQ(text_of(home.trash + "/files/" + row.trashed), "xy");
        const std::string info = home.trash + "/info/" + row.trashed + ".trashinfo";
        const std::string original = trashinfo_path(info);
        EXPECT_EQ(original, fs::canonical(photos).string() + "/" + row.file) << text_of(info);
        EXPECT_NE(text_of(info).find(row.encoded), std::string::npos) << text_of(info);
        EXPECT_EQ(fs::status(info).permissions() & fs::perms::others_read, fs::perms::none);
    }
    ASSERT_TRUE(move_to_trash(photos + "/third/link.jpg").moved);
    EXPECT_TRUE(fs::is_symlink(home.trash + "/files/link.jpg"));
    // Nothing else came or went: the trash holds the files and their info.
    std::set<std::string> expected = {"files/", "info/", "files/link.jpg", "info/link.jpg.trashinfo"};
    for (const Row& row : rows) expected.insert({"files/" + row.trashed, "info/" + row.trashed + ".trashinfo"});
    EXPECT_EQ(tree(home.trash), expected);
    EXPECT_EQ(tree(photos), (std::set<std::string>{"again/", "third/"}));
}

TEST(Trash, RefusesWhenNoTrashCanTakeTheFileAndLeavesItInPlace) {
    Home home;
    const std::string photo = home.dir + "/photo.jpg";
    touch(photo);
    // The home trash cannot be made: a file stands where it would be.
    fs::create_directories(home.dir + "/data");
    touch(home.trash);
    const std::set<std::string> before = tree(home.dir);
    const TrashResult result = move_to_trash(photo);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.reason, "no trash on its file system can take it (" + home.trash + ": not a folder)");
    EXPECT_EQ(tree(home.dir), before);
    // Nor a file that is not there.
    EXPECT_EQ(move_to_trash(home.dir + "/gone.jpg").reason, home.dir + "/gone.jpg: No such file or directory");
}

// A file system of its own, mounted for the test (root only).
struct Mounted {
    std::string dir = e2e::make_temp_dir();
    bool mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=4m,mode=0755") == 0;
    ~Mounted() {
        if (mounted) umount(dir.c_str());
        fs::remove_all(dir);
    }
};

TEST(Trash, AFileOnAnotherFileSystemGoesToThatFileSystemsTrash) {
    Home home;
    Mounted other;
    if (!other.mounted) GTEST_SKIP() << "a tmpfs cannot be mounted here (needs root)";
    fs::create_directories(other.dir + "/photos");
    struct Row {
        std::string shared;  // how $topdir/.Trash is made first: "", "sticky", "plain"
        std::string trash;  // where the file goes, under the top folder
    };
    const Row rows[] = {
        {"", ".Trash-" + uid()},
        {"sticky", ".Trash/" + uid()},
        {"plain", ".Trash-" + uid()},  // without the sticky bit it is not used
        {"link", ".Trash-" + uid()},  // nor a link
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shared);
        for (const auto& entry : fs::directory_iterator(other.dir))
            if (entry.path().filename() != "photos") fs::remove_all(entry.path());
        if (row.shared == "sticky" || row.shared == "plain") {
            fs::create_directory(other.dir + "/.Trash");
            chmod((other.dir + "/.Trash").c_str(), row.shared == "sticky" ? 01777 : 0777);
        }
        if (row.shared == "link") fs::create_directory_symlink("photos", other.dir + "/.Trash");
        touch(other.dir + "/photos/p.jpg");
        const TrashResult result = move_to_trash(other.dir + "/photos/p.jpg");
        ASSERT_TRUE(result.moved) << result.reason;
        EXPECT_EQ(result.trashed, other.dir + "/" + row.trash + "/files/p.jpg");
        // Its Path is relative to the top of its file system.
        EXPECT_EQ(trashinfo_path(other.dir + "/" + row.trash + "/info/p.jpg.trashinfo"), "photos/p.jpg");
        EXPECT_FALSE(fs::exists(home.trash));
        struct stat info {};
        ASSERT_EQ(stat((other.dir + "/" + row.trash).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
    // When that trash cannot be made, the file stays where it is.
    for (const auto& entry : fs::directory_iterator(other.dir))
        if (entry.path().filename() != "photos") fs::remove_all(entry.path());
    touch(other.dir + "/.Trash-" + uid());
    touch(other.dir + "/photos/p.jpg");
    const std::set<std::string> before = tree(other.dir);
    const TrashResult refused = move_to_trash(other.dir + "/photos/p.jpg");
    EXPECT_FALSE(refused.moved);
    EXPECT_EQ(refused.reason,
              "no trash on its file system can take it (" + other.dir + "/.Trash-" + uid() + ": not a folder)");
    EXPECT_EQ(tree(other.dir), before);
    EXPECT_FALSE(fs::exists(home.trash));
}

}  // namespace
