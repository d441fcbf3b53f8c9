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

bool IsFolderNotLink(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Adds the pictures of folder, their titles prefixed with relative (empty or ending in
// '/'); recursive then descends into the sub-folders. A sub-folder that cannot be listed
// is unreadable like a folder given by name.
bool ListFolder(const std::string& folder, const std::string& relative, bool recursive,
                std::vector<CBatchInput>& inputs, std::vector<std::string>& unreadable) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return false;
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    std::vector<std::string> names;
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        // Links to pictures count; folders named like pictures do not.
        if (HasPictureExtension(name) && IsRegularFile(prefix + name))
            names.push_back(name);
        else if (recursive && IsFolderNotLink(prefix + name))
            folders.push_back(name);
    }
    dir.reset();
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        inputs.push_back({prefix + name, relative + FileTitle(name)});
    std::sort(folders.begin(), folders.end());
    for (const std::string& name : folders)
        if (!ListFolder(prefix + name, relative + name + '/', true, inputs, unreadable))
            unreadable.push_back(prefix + name);
    return true;
}

} // namespace

std::vector<CBatchInput> ExpandBatchInputs(const std::vector<std::string>& arguments,
                                           std::vector<std::string>& unreadable, bool recursive) {
    std::vector<CBatchInput> inputs;
    for (const std::string& argument : arguments) {
        if (IsFolder(argument)) {
            if (!ListFolder(argument, std::string(), recursive, inputs, unreadable))
                unreadable.push_back(argument);
        } else {
            inputs.push_back({argument, FileTitle(argument)});
        }
    }
    return inputs;
}

bool ReadInputList(std::FILE* stream, bool nulSeparated, std::vector<std::string>& paths) {
    const char end = nulSeparated ? '\0' : '\n';
    std::string path;
    // A list written on Windows ends its lines with CR LF; a name never ends with a CR.
    auto take = [&] {
        if (!nulSeparated && !path.empty() && path.back() == '\r')
            path.pop_back();
        if (!path.empty())
            paths.push_back(std::move(path));
        path.clear();
    };
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        for (size_t i = 0; i < count; ++i) {
            if (buffer[i] != end)
                path += buffer[i];
            else
                take();
        }
    }
    take();
    return !std::ferror(stream);
}
