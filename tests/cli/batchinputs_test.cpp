#include "cli/batchinputs.h"
#include "job/jobfixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(BatchInputs, FoldersGiveTheirPicturesSortedFilesStayAsGiven) {
    CTempFolder folder;
    for (const char* name :
         {"b.JPG", "a.png", "c.Jpeg", "d.gif", "e.bmp", "notes.txt", "jpg", "f.jpg.txt"})
        WriteBytes(folder / name, "x");
    std::filesystem::create_directory(folder / "sub.jpg"); // a folder, not a picture
    WriteBytes(folder / "sub.jpg/inner.jpg", "x");

    std::vector<std::string> unreadable;
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

} // namespace
