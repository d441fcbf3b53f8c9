#include "cli/batchinputs.h"

#include "imagelib/imageformats.h"
#include "job/stampjob.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

bool HasPictureExtension(const std::string& name) {
    return HasInputExtension(name);
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Which stat calls on an entry found by listing may fail without a word: the entry went
// away meanwhile, or it is a link to nothing.
bool VanishedEntry(int error) {
    return error == ENOENT || error == ENOTDIR;
}

// Adds the pictures of folder, their titles prefixed with relative (empty or ending in
// '/'); recursive then descends into the sub-folders. False with errno when the folder
// itself cannot be listed; an entry or sub-folder that cannot be read goes to unreadable.
bool ListFolder(const std::string& folder, const std::string& relative, bool recursive,
                std::vector<CBatchInput>& inputs, std::vector<CUnreadablePath>& unreadable) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return false;
    const std::string prefix = folder.back() == '/' ? folder : folder + '/';
    std::vector<std::string> names;
    std::vector<std::string> folders;
    std::vector<CUnreadablePath> unseen;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const bool picture = HasPictureExtension(name);
        if (!picture && !recursive)
            continue;
        // Links to pictures count; folders named like pictures do not, nor links to folders.
        struct stat info;
        const std::string path = prefix + name;
        const bool looked =
            picture ? ::stat(path.c_str(), &info) == 0 : ::lstat(path.c_str(), &info) == 0;
        if (!looked) {
            if (!VanishedEntry(errno))
                unseen.push_back({path, errno, false, false});
            continue;
        }
        if (picture && S_ISREG(info.st_mode))
            names.push_back(name);
        else if (recursive && !picture && S_ISDIR(info.st_mode))
            folders.push_back(name);
        else if (recursive && picture && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            folders.push_back(name);
    }
    dir.reset();
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        inputs.push_back({prefix + name, relative + FileTitle(name)});
    std::sort(unseen.begin(), unseen.end(),
              [](const CUnreadablePath& a, const CUnreadablePath& b) { return a.path < b.path; });
    unreadable.insert(unreadable.end(), unseen.begin(), unseen.end());
    std::sort(folders.begin(), folders.end());
    for (const std::string& name : folders)
        if (!ListFolder(prefix + name, relative + name + '/', true, inputs, unreadable))
            unreadable.push_back({prefix + name, errno, false, true});
    return true;
}

} // namespace

std::vector<CBatchInput> ExpandBatchInputs(const std::vector<std::string>& arguments,
                                           std::vector<CUnreadablePath>& unreadable,
                                           bool recursive) {
    std::vector<CBatchInput> inputs;
    for (const std::string& argument : arguments) {
        if (IsFolder(argument)) {
            if (!ListFolder(argument, std::string(), recursive, inputs, unreadable))
                unreadable.push_back({argument, errno, true, true});
        } else {
            inputs.push_back({argument, FileTitle(argument)});
        }
    }
    return inputs;
}

namespace {

// The path of path below base without its leading "./", or empty when it does not lie
// below base.
std::filesystem::path RelativeBelow(const std::filesystem::path& path,
                                    const std::filesystem::path& base) {
    const std::filesystem::path relative = path.lexically_relative(base);
    if (relative.empty() || relative == "." || *relative.begin() == "..")
        return {};
    return relative;
}

} // namespace

bool MirrorBelowBase(const std::string& base, std::vector<CBatchInput>& inputs,
                     std::string& outside) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path absoluteBase = fs::absolute(base, error).lexically_normal();
    fs::path realBase;
    for (CBatchInput& input : inputs) {
        const fs::path absolute = fs::absolute(input.path, error).lexically_normal();
        fs::path relative = RelativeBelow(absolute, absoluteBase);
        if (relative.empty()) {
            // A card reached through a link, or a base given through one.
            if (realBase.empty())
                realBase = fs::weakly_canonical(absoluteBase, error);
            const fs::path real = fs::weakly_canonical(absolute, error);
            if (!error && !realBase.empty())
                relative = RelativeBelow(real, realBase);
        }
        if (relative.empty()) {
            outside = input.path;
            return false;
        }
        const std::string folders = relative.parent_path().string();
        input.title = (folders.empty() ? std::string() : folders + '/') + FileTitle(input.path);
    }
    return true;
}

std::string UnreadableReason(const CUnreadablePath& path) {
    return std::string(path.folder ? "cannot list folder: " : "cannot read: ") +
           std::strerror(path.error);
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
