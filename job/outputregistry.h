#pragma once

#include "imagelib/outputfile.h"

#include <sys/types.h>

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

// The outputs of one run and the one way they reach their names. Every output of a run is
// created and committed through it, so that
// - a name is written once per run: a later input never replaces what an earlier one wrote;
// - no output replaces an input of the run, whatever it is called (the same file reached
//   as "./a.jpg", through a linked folder or by a hard link: device and inode decide);
// - without overwriting, nothing under the name is replaced, not even a file that appeared
//   while the output was being made (another run into the same folder), and a link under
//   the name counts as a file there;
// - with overwriting, the new file keeps the old one's mode and owner (COutputFile);
// - temporaries left in a folder by a killed run are removed before the run first writes
//   there.
// Every member may be called from any worker at once.
class COutputRegistry {
public:
    // inputPaths lists every input of the run. It is asked once, the first time a name is
    // found taken on the disk: a run into an empty folder never asks.
    explicit COutputRegistry(std::function<std::vector<std::string>()> inputPaths);

    enum class CState {
        Free,    // nothing under the name
        Exists,  // something of another origin: a file, a link (dangling or not), a folder
        Written, // this run wrote a file under the name (or that file is there under it)
        Input,   // the name reaches an input of this run
    };
    struct CCheck {
        CState state = CState::Free;
        std::string input; // Input: the input's path as the run was given it
    };
    // What an output at path would meet now: one lstat, and lookups.
    CCheck Check(const std::string& path);
    // Whether this run wrote path (by its name alone, no disk access).
    bool IsWrittenByRun(const std::string& path) const;

    // The reason a Written or Input check refuses output for the file whose input is
    // ownInput, as a log line shows it after " : ".
    static std::string RefusalText(const CCheck& check, const std::string& output,
                                   const std::string& ownInput);

    // Creates output's temporary: the folders between outputFolder and it made as needed,
    // the stale temporaries of its folder removed the first time the run writes there.
    // Throws CTextException as COutputFile::Create and CreateOutputFolders do. Unsettled:
    // the name is chosen only at Commit (COutputFile::CreateUnsettled).
    void Create(COutputFile& file, const std::string& outputFolder, const std::string& output,
                bool settled = true);

    enum class CCommit { Created, Existed };
    // Publishes the written file under path (its created path when empty), replacing what
    // is there only when replace is set. Existed: without replace, the name was taken by
    // now; nothing changed and the file keeps its temporary (for another name, or dropped
    // with the object). Throws CTextException with RefusalText when the name reaches an input
    // of the run or a file the run wrote, and as COutputFile::Publish does.
    CCommit Commit(COutputFile& file, bool replace, const std::string& ownInput,
                   const std::string& path = std::string());

private:
    using CIdentity = std::pair<dev_t, ino_t>;
    const std::map<CIdentity, std::string>& Inputs();

    std::function<std::vector<std::string>()> m_inputPaths;
    std::once_flag m_inputsOnce;
    std::map<CIdentity, std::string> m_inputs;

    mutable std::mutex m_mutex;
    std::set<std::string> m_writtenNames;
    std::set<CIdentity> m_writtenFiles;
    std::set<std::string> m_preparedFolders;
};
