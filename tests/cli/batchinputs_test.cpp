#include "cli/batchinputs.h"
#include "job/jobfixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

TEST(BatchInputs, FoldersGiveTheirPicturesSortedFilesStayAsGiven) {
    CTempFolder folder;
    for (const char* name :
         {"b.JPG", "a.png", "c.Jpeg", "d.gif", "e.bmp", "notes.txt", "jpg", "f.jpg.txt"})
        WriteBytes(folder / name, "x");
    std::filesystem::create_directory(folder / "sub.jpg"); // a folder, not a picture
    WriteBytes(folder / "sub.jpg/inner.jpg", "x");

    std::vector<CUnreadablePath> unreadable;
    const std::vector<CBatchInput> inputs =
        ExpandBatchInputs({"/no/such/z.png", folder / "", "x/y.bmp"}, unreadable);
    std::vector<std::string> paths, titles;
    for (const CBatchInput& input : inputs) {
        paths.push_back(input.path);
        titles.push_back(input.title);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/no/such/z.png", folder / "a.png", folder / "b.JPG",
                                               folder / "c.Jpeg", folder / "d.gif",
                                               folder / "e.bmp", "x/y.bmp"}));
    EXPECT_EQ(titles, (std::vector<std::string>{"z", "a", "b", "c", "d", "e", "y"}));
    EXPECT_TRUE(unreadable.empty());
}

TEST(BatchInputs, RecursiveListingKeepsTheSubFolderInTheTitle) {
    CTempFolder folder;
    for (const char* sub : {"a/deep", "b", "b.jpg"})
        std::filesystem::create_directories(folder / sub);
    for (const char* name : {"z.jpg", "b/x.png", "b/x.jpg", "a/photo.jpg", "a/deep/photo.jpg",
                             "a/deep/readme.txt", "b.jpg/p.bmp"})
        WriteBytes(folder / name, "x");
    // A link back up would never end; links to folders are not followed.
    ASSERT_EQ(::symlink(folder.Folder().c_str(), (folder / "a/loop").c_str()), 0);

    std::vector<CUnreadablePath> unreadable;
    const std::vector<CBatchInput> inputs = ExpandBatchInputs({folder / ""}, unreadable, true);
    std::vector<std::string> paths, titles;
    for (const CBatchInput& input : inputs) {
        paths.push_back(input.path);
        titles.push_back(input.title);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{folder / "z.jpg", folder / "a/photo.jpg",
                                               folder / "a/deep/photo.jpg", folder / "b/x.jpg",
                                               folder / "b/x.png", folder / "b.jpg/p.bmp"}));
    EXPECT_EQ(titles,
              (std::vector<std::string>{"z", "a/photo", "a/deep/photo", "b/x", "b/x", "b.jpg/p"}));
    EXPECT_TRUE(unreadable.empty());

    // Without it the sub-folders stay out.
    EXPECT_EQ(ExpandBatchInputs({folder / ""}, unreadable, false).size(), 1u);
}

TEST(BatchInputs, ListsKeepPathsByteForByte) {
    using namespace std::string_literals;
    struct Case {
        std::string bytes;
        bool nul;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"a b.jpg\n\nn\xC3\xA4me.png\nlast", false, {"a b.jpg", "n\xC3\xA4me.png", "last"}},
        // CR LF ends a line as LF does; an empty CR LF line is empty. With NULs a CR is a byte.
        {" lead\r\nx.jpg\r\n\r\nlast\r", false, {" lead", "x.jpg", "last"}},
        {"cr\r\0"s, true, {"cr\r"}},
        {"line\nbreak.jpg\0\0x.png\0"s, true, {"line\nbreak.jpg", "x.png"}},
        {"one\0two"s, true, {"one", "two"}},
        {"", false, {}},
    };
    for (const Case& c : cases) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        std::fwrite(c.bytes.data(), 1, c.bytes.size(), stream);
        std::rewind(stream);
        std::vector<std::string> paths = {"given"};
        EXPECT_TRUE(ReadInputList(stream, c.nul, paths));
        std::fclose(stream);
        paths.erase(paths.begin());
        EXPECT_EQ(paths, c.paths) << c.bytes;
    }
}

} // namespace
