#pragma once

#include <string>
#include <vector>

// One picture of a run: its path as given and the name its output takes.
struct CBatchInput {
    std::string path;
    std::string title; // file name without its extension
};

// The inputs in the order given; a folder stands for its picture files (.jpg .jpeg .bmp
// .gif .png, ignoring case; subfolders not entered), sorted by name. Anything else is
// taken as a file, so one that does not exist is reported by the run like any file that
// cannot be read. A folder that cannot be listed adds nothing and its path goes to
// unreadable.
std::vector<CBatchInput> ExpandBatchInputs(const std::vector<std::string>& arguments,
                                           std::vector<std::string>& unreadable);
