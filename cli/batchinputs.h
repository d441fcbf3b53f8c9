#pragma once

#include <cstdio>
#include <string>
#include <vector>

// One picture of a run: its path as given and the name its output takes.
struct CBatchInput {
    std::string path;
    // The file name without its extension; for a file found in a sub-folder of a folder
    // input (recursive listing) that sub-folder's path comes first, as in "2024/may/photo",
    // so the output lands in the same sub-folder of the output folder.
    std::string title;
};

// The inputs in the order given; a folder stands for its picture files (.jpg .jpeg .bmp
// .gif .png, ignoring case), sorted by name, and when recursive then for those of its
// sub-folders, each sub-folder after the files and in name order (links to folders are
// not followed, so a loop cannot be entered). Anything else is taken as a file, so one
// that does not exist is reported by the run like any file that cannot be read. A folder
// that cannot be listed adds nothing and its path goes to unreadable.
std::vector<CBatchInput> ExpandBatchInputs(const std::vector<std::string>& arguments,
                                           std::vector<std::string>& unreadable,
                                           bool recursive = false);

// Reads a list of paths, each ending with a line feed or, nulSeparated, a NUL byte (the
// last one may lack it). The paths are kept byte for byte; empty entries are dropped.
// Returns false when the stream reports a read error.
bool ReadInputList(std::FILE* stream, bool nulSeparated, std::vector<std::string>& paths);
