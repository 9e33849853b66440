// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/FolderScan.h"
#include "support/Synth.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::set<std::string, std::less<>> kImages{"png", "jpg", "pdf"};

void touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

// Relative paths of the listing, to compare against expectations.
std::vector<std::string> relativeListing(const fs::path& root) {
    std::vector<std::string> names;
    for (const fs::path& file : FolderScan::files(root, kImages)) {
        names.push_back(file.lexically_relative(root).string());
    }
    return names;
}

TEST(FolderScanFiles, SkipsHiddenLinksMirrorsSmallOutputsAndOtherExtensions) {
    Synth::TempDir dir;
    const fs::path root = dir / "Trip";
    for (const char* name : {"a.png", "B.PNG", "c.tif", "d.txt", "noext", "e-small.jpg",
                             "f-Small.jpg", "g-small.jpg.png", ".hidden.png", ".cache/inside.png",
                             "day 1/ñandú.jpg", "day 1/deep/er/x.pdf", "old \u2014 Parvo/copy.png",
                             "deeper/old \u2014 Parvo/y.png", "old \u2014 Parvo.png"}) {
        touch(root / name);
    }
    fs::create_symlink(root / "a.png", root / "link.png");
    fs::create_symlink(root, root / "day 1" / "loop"); // a cycle, never followed
    fs::create_symlink(root / "missing.png", root / "dangling.png");
    ASSERT_EQ(::mkfifo((root / "pipe.png").c_str(), 0600), 0);

    const std::vector<std::string> expected = {
        "B.PNG",       "a.png",           "day 1/deep/er/x.pdf", "day 1/ñandú.jpg",
        "f-Small.jpg", "g-small.jpg.png", "old \u2014 Parvo.png"};
    EXPECT_EQ(relativeListing(root), expected);
}

TEST(FolderScanFiles, SortsByCodePointsAfterCanonicalComposition) {
    Synth::TempDir dir;
    const std::string decomposedE = "e\u0301"; // é as e + combining acute (NFD)
    for (const std::string& name :
         std::vector<std::string>{"f.png", decomposedE + ".png", "E.png", "z.png", "a/b.png"}) {
        touch(dir / name);
    }
    // Composed, é is U+00E9: after "z" and every ASCII letter; upper case before lower case.
    const std::vector<std::string> expected = {"E.png", "a/b.png", "f.png", "z.png",
                                               decomposedE + ".png"};
    EXPECT_EQ(relativeListing(dir.path()), expected);
    for (const fs::path& file : FolderScan::files(dir.path(), kImages)) {
        EXPECT_TRUE(fs::exists(file)) << "listed paths are the names on disk, not normalised";
    }
}

TEST(FolderScanFiles, NameThatIsNotUtf8IsListed) {
    Synth::TempDir dir;
    touch(dir / "\xff\xfe.png");
    const auto files = FolderScan::files(dir.path(), kImages);
    ASSERT_EQ(files.size(), 1U);
    EXPECT_TRUE(fs::exists(files[0]));
}

TEST(FolderScanFiles, EmptyOrMissingFolderGivesNothing) {
    Synth::TempDir dir;
    EXPECT_TRUE(FolderScan::files(dir.path(), kImages).empty());
    EXPECT_TRUE(FolderScan::files(dir / "missing", kImages).empty());
    touch(dir / "file.png");
    EXPECT_TRUE(FolderScan::files(dir / "file.png", kImages).empty());
}

// Runs the scan as an unprivileged user when the test runs as root, because root reads
// folders whatever their permission bits say.
std::vector<std::string> listingAsUnprivilegedUser(const fs::path& root) {
    if (::geteuid() != 0) {
        return relativeListing(root);
    }
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return {"pipe failed"};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        int status = (::setgid(65534) == 0 && ::setuid(65534) == 0) ? 0 : 3;
        std::string text;
        for (const std::string& name :
             status == 0 ? relativeListing(root) : std::vector<std::string>{}) {
            text += name + "\n";
        }
        status = ::write(pipeEnds[1], text.data(), text.size()) < 0 ? 4 : status;
        ::_exit(status);
    }
    ::close(pipeEnds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return {"child failed"};
    }
    std::vector<std::string> names;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        names.push_back(text.substr(start, end - start));
    }
    return names;
}

TEST(FolderScanFiles, UnreadableSubfolderIsPassedOver) {
    Synth::TempDir dir;
    const fs::path root = dir / "tree";
    touch(root / "a.png");
    touch(root / "locked" / "secret.png");
    touch(root / "z" / "b.png");
    fs::permissions(dir.path(), fs::perms::all); // mkdtemp's 0700 would lock out everything
    fs::permissions(root / "locked", fs::perms::none);
    const auto listing = listingAsUnprivilegedUser(root);
    fs::permissions(root / "locked", fs::perms::owner_all);
    EXPECT_EQ(listing, (std::vector<std::string>{"a.png", "z/b.png"}));
}

TEST(FolderScan, IsDirectory) {
    Synth::TempDir dir;
    touch(dir / "file.png");
    fs::create_directory(dir / "folder");
    fs::create_directory_symlink(dir / "folder", dir / "folder-link");
    EXPECT_TRUE(FolderScan::isDirectory(dir / "folder"));
    EXPECT_TRUE(FolderScan::isDirectory(dir / "folder-link"));
    EXPECT_FALSE(FolderScan::isDirectory(dir / "file.png"));
    EXPECT_FALSE(FolderScan::isDirectory(dir / "missing"));
    EXPECT_FALSE(FolderScan::isDirectory(dir / "file.png" / "below"));
}

TEST(FolderScan, MirrorLocations) {
    struct Case {
        const char* source;
        const char* root;
        const char* suffix;
        std::optional<std::string_view> extension;
        const char* expected;
    };
    const Case cases[] = {
        {"/Users/a/Photos/2023/Trip/IMG_1.HEIC", "/Users/a/Photos", "-small", "jpg",
         "/Users/a/Photos \u2014 Parvo/2023/Trip/IMG_1-small.jpg"},
        {"/Users/a/Photos/2023/Trip/IMG_1.HEIC", "/Users/a/Photos", "", std::nullopt,
         "/Users/a/Photos \u2014 Parvo/2023/Trip/IMG_1.HEIC"},
        {"/w/Trip/day1/IMG_1.png", "/w/Trip/", "-small", "jpg",
         "/w/Trip \u2014 Parvo/day1/IMG_1-small.jpg"},
        {"/w/Trip/./day1/../doc.v2.pdf", "/w/Trip", "-small", "pdf",
         "/w/Trip \u2014 Parvo/doc.v2-small.pdf"},
        // Outside the root, or a root matching only in case: straight into the mirror folder.
        {"/elsewhere/x.gif", "/w/Trip", "-small", "jpg", "/w/Trip \u2014 Parvo/x-small.jpg"},
        {"/w/trip/x.gif", "/w/Trip", "", std::nullopt, "/w/Trip \u2014 Parvo/x.gif"},
        {"/w/Trip", "/w/Trip", "", std::nullopt, "/w/Trip \u2014 Parvo/Trip"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderScan::mirrorOutputURL(c.source, c.root, c.suffix, c.extension).string(),
                  c.expected)
            << c.source;
    }
    EXPECT_EQ(FolderScan::mirrorRoot("/Users/a/Photos").string(), "/Users/a/Photos \u2014 Parvo");
}

TEST(FolderScanUniqueURL, NumbersCollisionsWithinABatch) {
    FolderScan::UsedNames used;
    const auto next = [&used](const char* wanted) {
        return FolderScan::uniqueURL(wanted, used, false).string();
    };
    EXPECT_EQ(next("/x/report-small.pdf"), "/x/report-small.pdf");
    EXPECT_EQ(next("/x/report-small.pdf"), "/x/report-small 2.pdf");
    EXPECT_EQ(next("/x/report-small.pdf"), "/x/report-small 3.pdf");
    EXPECT_EQ(next("/x/A.jpg"), "/x/A.jpg");
    EXPECT_EQ(next("/x/a.JPG"), "/x/a 2.JPG");          // keys are lower case
    EXPECT_EQ(next("/x/./sub/../a.jpg"), "/x/a 3.jpg"); // and standardized
    EXPECT_EQ(next("/x/\u00c4.jpg"), "/x/\u00c4.jpg");
    EXPECT_EQ(next("/x/\u00e4.jpg"), "/x/\u00e4 2.jpg"); // Unicode lower-casing, not ASCII only
    EXPECT_EQ(next("/x/notes"), "/x/notes");
    EXPECT_EQ(next("/x/notes"), "/x/notes 2");
    EXPECT_EQ(next("/y/report-small.pdf"), "/y/report-small.pdf");
    EXPECT_EQ(used.count("/x/report-small 3.pdf"), 1U);
}

TEST(FolderScanUniqueURL, DiskIsConsultedOnlyWhenAsked) {
    Synth::TempDir dir;
    touch(dir / "a.pdf");
    touch(dir / "a 2.pdf");
    fs::create_directory(dir / "a 3.pdf");
    fs::create_symlink(dir / "missing", dir / "a 4.pdf");

    FolderScan::UsedNames used;
    EXPECT_EQ(FolderScan::uniqueURL(dir / "a.pdf", used, false), dir / "a.pdf");
    EXPECT_EQ(used.count(FolderScan::usedKey(dir / "a.pdf")), 1U);

    FolderScan::UsedNames fresh;
    EXPECT_EQ(FolderScan::uniqueURL(dir / "a.pdf", fresh, true), dir / "a 5.pdf");
}

} // namespace
