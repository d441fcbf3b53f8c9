#pragma once

#include <string>

// Creates the folders between outputFolder (which exists) and the file
// outputPath below it, as an output whose title carries sub-folders ("2024/may/photo")
// needs them. Folders that exist already, made by another worker a moment ago included,
// are fine. Throws CTextException (code -1, "Creating folder ... failed\n") otherwise.
void CreateOutputFolders(const std::string& outputFolder, const std::string& outputPath);
