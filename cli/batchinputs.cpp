#include "cli/batchinputs.h"

#include "job/stampjob.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace {

bool HasPictureExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return false;
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == "jpg" || extension == "jpeg" || extension == "bmp" || extension == "gif" ||
           extension == "png";
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool ListFolder(const std::string& folder, std::vector<CBatchInput>& inputs) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return false;
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        // Links to pictures count; folders named like pictures do not.
        if (HasPictureExtension(name) && IsRegularFile(prefix + name))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        inputs.push_back({prefix + name, FileTitle(name)});
    return true;
}

} // namespace

std::vector<CBatchInput> ExpandBatchInputs(const std::vector<std::string>& arguments,
                                           std::vector<std::string>& unreadable) {
    std::vector<CBatchInput> inputs;
    for (const std::string& argument : arguments) {
        if (IsFolder(argument)) {
            if (!ListFolder(argument, inputs))
                unreadable.push_back(argument);
        } else {
            inputs.push_back({argument, FileTitle(argument)});
        }
    }
    return inputs;
}
