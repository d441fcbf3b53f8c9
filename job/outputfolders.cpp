#include "job/outputfolders.h"

#include "imagelib/textexception.h"

#include <sys/stat.h>

#include <cerrno>

void CreateOutputFolders(const std::string& outputFolder, const std::string& outputPath) {
    if (outputPath.compare(0, outputFolder.size(), outputFolder) != 0)
        return; // not below the output folder: nothing of ours to create
    // The separator after a folder given without one is not a sub-folder's: the output
    // folder itself is never made here.
    size_t first = outputFolder.size();
    if (first < outputPath.size() && outputPath[first] == '/')
        ++first;
    for (size_t slash = outputPath.find('/', first); slash != std::string::npos;
         slash = outputPath.find('/', slash + 1)) {
        const std::string folder = outputPath.substr(0, slash);
        if (::mkdir(folder.c_str(), 0777) == 0)
            continue;
        struct stat info;
        if (errno == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        throw CTextException(-1, "Creating folder " + folder + " failed\n");
    }
}
