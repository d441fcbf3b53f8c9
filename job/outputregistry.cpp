#include "job/outputregistry.h"

#include "imagelib/textexception.h"
#include "job/outputfolders.h"

#include <sys/stat.h>

#include <filesystem>

namespace {

// One spelling per name: "a//b.jpg" and "a/./b.jpg" are one output.
std::string NameKey(const std::string& path) {
    return std::filesystem::path(path).lexically_normal().string();
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

COutputRegistry::COutputRegistry(std::function<std::vector<std::string>()> inputPaths)
    : m_inputPaths(std::move(inputPaths)) {}

const std::map<COutputRegistry::CIdentity, std::string>& COutputRegistry::Inputs() {
    std::call_once(m_inputsOnce, [this] {
        if (!m_inputPaths)
            return;
        for (const std::string& path : m_inputPaths()) {
            // Both the file and, for an input given as a link, the link itself: replacing
            // the link would lose the user's link as surely as the file its data.
            struct stat info;
            if (::stat(path.c_str(), &info) == 0)
                m_inputs.emplace(CIdentity(info.st_dev, info.st_ino), path);
            if (::lstat(path.c_str(), &info) == 0)
                m_inputs.emplace(CIdentity(info.st_dev, info.st_ino), path);
        }
    });
    return m_inputs;
}

COutputRegistry::CCheck COutputRegistry::Check(const std::string& path) {
    CCheck check;
    if (IsWrittenByRun(path)) {
        check.state = CState::Written;
        return check;
    }
    // The name itself, not what a link there points to: the link is what would be replaced.
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return check;
    const CIdentity identity(info.st_dev, info.st_ino);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // The file this run wrote, under another spelling (a linked folder, a file system
        // that ignores case).
        if (m_writtenFiles.count(identity)) {
            check.state = CState::Written;
            return check;
        }
    }
    const auto& inputs = Inputs();
    const auto input = inputs.find(identity);
    if (input != inputs.end()) {
        check.state = CState::Input;
        check.input = input->second;
        return check;
    }
    check.state = CState::Exists;
    return check;
}

bool COutputRegistry::IsWrittenByRun(const std::string& path) const {
    const std::string key = NameKey(path);
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_writtenNames.count(key) != 0;
}

std::string COutputRegistry::RefusalText(const CCheck& check, const std::string& output,
                                         const std::string& ownInput) {
    if (check.state == CState::Written)
        return "an earlier file of this run has the name " + output;
    struct stat own, other;
    const bool itsOwn =
        check.input == ownInput ||
        (::stat(ownInput.c_str(), &own) == 0 && ::stat(check.input.c_str(), &other) == 0 &&
         own.st_dev == other.st_dev && own.st_ino == other.st_ino);
    if (itsOwn)
        return output + " would replace its input";
    return output + " would replace " + check.input + ", an input of this run";
}

void COutputRegistry::Create(COutputFile& file, const std::string& outputFolder,
                             const std::string& output, bool settled) {
    CreateOutputFolders(outputFolder, output);
    const std::string folder = FolderOf(output);
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        first = m_preparedFolders.insert(NameKey(folder.empty() ? "." : folder)).second;
    }
    // Outside the lock: the other workers go on meanwhile, their temporaries locked.
    if (first)
        COutputFile::RemoveStaleTemporaries(folder);
    if (settled)
        file.Create(output);
    else
        file.CreateUnsettled(output);
}

COutputRegistry::CCommit COutputRegistry::Commit(COutputFile& file, bool replace,
                                                 const std::string& ownInput,
                                                 const std::string& path) {
    const std::string target = path.empty() ? file.GetPath() : path;
    // Asked again right before the name is taken: the check that let the file start is a
    // while ago.
    const CCheck check = Check(target);
    if (check.state == CState::Written || check.state == CState::Input)
        throw CTextException(-1, RefusalText(check, target, ownInput) + "\n");
    if (!file.Publish(replace ? COutputFile::CExisting::Replace : COutputFile::CExisting::Keep,
                      target))
        return CCommit::Existed;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_writtenNames.insert(NameKey(target));
    m_writtenFiles.insert(CIdentity(file.GetDevice(), file.GetInode()));
    return CCommit::Created;
}
