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

// A path met while listing folders that could not be looked at.
struct CUnreadablePath {
    std::string path;
    int error = 0;      // errno of the failed call
    bool given = false; // named by the user, not found by a recursive listing
    bool folder = true; // a folder that could not be listed, else an entry not even looked at
};

// The inputs in the order given; a folder stands for its picture files (.jpg .jpeg .bmp
// .gif .png, ignoring case), sorted by name, and when recursive then for those of its
// sub-folders, each sub-folder after the files and in name order (links to folders are
// not followed, so a loop cannot be entered). Anything else is taken as a file, so one
// that does not exist is reported by the run like any file that cannot be read. A folder
// that cannot be listed adds nothing and goes to unreadable, and so does an entry of a
// listed folder that cannot even be looked at (a path too long for the system): nothing
// is left out without a word.
std::vector<CBatchInput> ExpandBatchInputs(const std::vector<std::string>& arguments,
                                           std::vector<CUnreadablePath>& unreadable,
                                           bool recursive = false);

// Gives every input the title that mirrors its folder below base, as a recursive listing
// does below the folder it lists: "base/card1/DCIM/a.jpg" gets "card1/DCIM/a". Paths are
// compared made absolute, and through the links in them when that alone puts an input
// below base. False with the first input that does not lie below base in outside.
bool MirrorBelowBase(const std::string& base, std::vector<CBatchInput>& inputs,
                     std::string& outside);

// The reason for an unreadable path as a run's line tells it: "cannot list folder:
// Permission denied", "cannot read: File name too long".
std::string UnreadableReason(const CUnreadablePath& path);

// Reads a list of paths, each ending with a line feed or, nulSeparated, a NUL byte (the
// last one may lack it). The paths are kept byte for byte; empty entries are dropped.
// Returns false when the stream reports a read error.
bool ReadInputList(std::FILE* stream, bool nulSeparated, std::vector<std::string>& paths);
