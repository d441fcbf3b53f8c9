// quillmark-batch: the batch stamping of the window program, from the command line.

#include "cli/batchinputs.h"
#include "cli/batchoptions.h"
#include "cli/consolehost.h"
#include "cli/jsonlog.h"
#include "imagelib/outputfile.h"
#include "imagelib/textexception.h"
#include "job/outputnames.h"
#include "job/outputregistry.h"
#include "job/qtsettingsstore.h"
#include "job/stampdescription.h"
#include "job/stampjob.h"
#include "job/stampsettings.h"
#include "qmversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFilesFailed = 1;
constexpr int kExitUsage = 2;

int Fail(const std::string& message) {
    std::fprintf(stderr, "quillmark-batch: %s\n", message.c_str());
    return kExitUsage;
}

// Library texts end with a line feed; a one-line message does not.
std::string OneLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

std::string SystemReason(int error) {
    return std::strerror(error);
}

// Appends the paths of --files-from to the inputs named on the command line.
bool ReadFilesFrom(CBatchOptions& options) {
    if (!options.filesFrom)
        return true;
    const std::string& name = *options.filesFrom;
    const bool standardInput = name == "-";
    std::FILE* stream = standardInput ? stdin : std::fopen(name.c_str(), "rb");
    if (!stream) {
        Fail("cannot read the file list '" + name + "': " + SystemReason(errno));
        return false;
    }
    errno = 0;
    const bool read = ReadInputList(stream, options.nullSeparated, options.inputs);
    const int error = errno ? errno : EIO;
    if (!standardInput)
        std::fclose(stream);
    if (!read)
        Fail("cannot read the file list '" + name + "': " + SystemReason(error));
    return read;
}

// Ends the run's use of standard output: what could not be written there (a full disk, a
// closed pipe) fails the run, which would otherwise pass for one whose log is complete.
int FinishOutput(int status, int writeError = 0) {
    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && writeError == 0)
        writeError = errno ? errno : EIO;
    if (writeError == 0)
        return status;
    std::fprintf(stderr, "quillmark-batch: cannot write to standard output: %s\n",
                 SystemReason(writeError).c_str());
    return status == kExitOk ? kExitFilesFailed : status;
}

// A saved file is read from other folders and on other machines: its paths must not depend
// on the folder it was made in.
std::string AbsolutePath(const std::string& path) {
    if (path.empty() || path.front() == '/')
        return path;
    std::error_code error;
    std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
    if (error)
        return path;
    // A folder keeps its separator: the outputs are joined onto it.
    if (path.back() == '/' && (absolute.empty() || absolute.back() != '/'))
        absolute += '/';
    return absolute;
}

// A terminal that takes the progress line's escape sequences; "dumb" ones show it plain.
bool TerminalIsDumb() {
    const char* term = std::getenv("TERM");
    return !term || !*term || std::strcmp(term, "dumb") == 0;
}

// What a dry run prints for each input: the output it would make, and what would stop it.
void PrintDryRun(const CStampSettingsValues& settings, const std::vector<CBatchInput>& inputs) {
    // The run's own naming: an unknown output type writes JPEG there too.
    const std::string extension = OutputTypeExtension(settings.outputtype);
    COutputNamer namer;
    std::string problem;
    namer.Parse(settings.outputname, problem);
    const bool keepBoth = settings.KeepsBoth();
    // The run's own refusals, as the run would meet them: an input in the way, a name an
    // earlier input is to write.
    COutputRegistry outputs([&inputs] {
        std::vector<std::string> paths;
        for (const CBatchInput& input : inputs)
            paths.push_back(input.path);
        return paths;
    });
    std::set<std::string> planned;
    auto taken = [&](const std::string& path) {
        return planned.count(std::filesystem::path(path).lexically_normal().string()) != 0 ||
               outputs.Check(path).state != COutputRegistry::CState::Free;
    };
    int create = 0, skip = 0, refuse = 0;
    const int count = int(inputs.size());
    for (int index = 0; index < count; ++index) {
        const CBatchInput& input = inputs[size_t(index)];
        std::string title = input.title;
        std::string nameProblem;
        if (!namer.IsDefault()) {
            const size_t slash = title.rfind('/');
            title = (slash == std::string::npos ? std::string() : title.substr(0, slash + 1)) +
                    namer.Name(input.path, nullptr, index, count, extension, nameProblem);
        }
        std::string output = OutputPath(settings.outputdir, title + extension);
        // A name from the photo is known only once the photo is read, which a dry run does
        // not do: the template stands for it.
        if (namer.NeedsPhoto()) {
            const size_t slash = input.title.rfind('/');
            const std::string folders =
                slash == std::string::npos ? std::string() : input.title.substr(0, slash + 1);
            const std::string line =
                input.path + " -> " +
                OutputPath(settings.outputdir, folders + settings.outputname + extension) +
                " (named from the photo)\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
            ++create;
            continue;
        }
        const COutputRegistry::CCheck check = outputs.Check(output);
        const std::string key = std::filesystem::path(output).lexically_normal().string();
        std::string line = input.path + " -> " + output;
        if (!nameProblem.empty()) {
            line += " (refused: " + nameProblem + ")";
            ++refuse;
        } else if (keepBoth && taken(output)) {
            int k = 1;
            while (taken(KeptBesidePath(output, extension, k)))
                ++k;
            output = KeptBesidePath(output, extension, k);
            line = input.path + " -> " + output + " (kept both)";
            planned.insert(std::filesystem::path(output).lexically_normal().string());
            ++create;
        } else if (check.state == COutputRegistry::CState::Input) {
            line += " (refused: " + COutputRegistry::RefusalText(check, output, input.path) + ")";
            ++refuse;
        } else if (planned.count(key)) {
            line += " (refused: an earlier file of this run has this name)";
            ++refuse;
        } else if (check.state == COutputRegistry::CState::Exists && !settings.overwritefiles) {
            line += " (exists: skipped)";
            ++skip;
        } else {
            if (check.state == COutputRegistry::CState::Exists)
                line += " (exists: replaced)";
            planned.insert(key);
            ++create;
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    if (refuse > 0)
        std::fprintf(stderr, "dry run: %d to create, %d to skip, %d refused; nothing written\n",
                     create, skip, refuse);
    else
        std::fprintf(stderr, "dry run: %d to create, %d to skip; nothing written\n", create, skip);
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

volatile std::sig_atomic_t g_terminationSignals = 0;

extern "C" void OnTerminationSignal(int signal) {
    g_terminationSignals = g_terminationSignals + 1;
    if (g_terminationSignals == 1) {
        CConsoleJobHost::s_stopRequested = 1;
        return;
    }
    // The second one ends the program at once, as the signal would have without us, but
    // leaves no temporary behind.
    COutputFile::RemoveLiveTemporaries();
    ::signal(signal, SIG_DFL);
    ::raise(signal); // delivered as this handler returns
}

// Interrupt, termination and hang-up (the terminal closed, a service manager's stop, a
// scheduler's time limit) all ask for a stop between two files: the files in progress are
// finished, "canceled" is logged and the run's end is reported. A second one of any of them
// ends the program at once.
void InstallTerminationHandlers() {
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

// What the program writes must never kill it: a closed standard output (a reader that has
// seen enough) fails the write, which the host takes as a stop; a file size limit fails the
// output file's write, which costs that file alone ("File too large").
void IgnoreWriteSignals() {
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

// The settings the run starts from, before the options are laid over them.
bool LoadBaseSettings(const CBatchOptions& options, CStampSettingsValues& values) {
    switch (options.base) {
    case CBatchOptions::Base::Defaults:
        // Repaired as loading repairs them (the empty input folder becomes the fallback), so
        // a file saved from them reads back without repairs.
        values = CStampSettingsValues();
        values.ValidateSettings();
        return true;
    case CBatchOptions::Base::Config: {
        CStampSettings settings; // no store: nothing is read or written
        // A file that cannot be opened is not a wrong file: say why.
        const std::string& path = options.configPath;
        const int error = IsFolder(path) ? EISDIR : ::access(path.c_str(), R_OK) != 0 ? errno : 0;
        if (error) {
            Fail("cannot read configuration file '" + path + "': " + SystemReason(error));
            return false;
        }
        const int result = settings.ImportSettings(options.configPath);
        if (result == 0) {
            Fail("cannot read configuration file '" + options.configPath +
                 "' (not a quillmark configuration file)");
            return false;
        }
        if (result == 2)
            std::fprintf(stderr,
                         "quillmark-batch: warning: values of '%s' were out of range and were "
                         "reset to their defaults\n",
                         options.configPath.c_str());
        values = settings.Values();
        return true;
    }
    case CBatchOptions::Base::Store: {
        // Read only: the command line never changes what the window program will find.
        CStampSettings settings(
            std::make_unique<CQtSettingsStore>(CQtSettingsStore::Access::ReadOnly));
        values = settings.Values();
        return true;
    }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    IgnoreWriteSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    CBatchOptions options;
    std::string error;
    if (!ParseBatchOptions(args, options, error)) {
        Fail(error);
        std::fputs("Try 'quillmark-batch --help'.\n", stderr);
        return kExitUsage;
    }
    if (options.help) {
        // Longer than the stream's buffer: a write can fail inside fputs already, and the
        // reason is only known there.
        errno = 0;
        const int written = std::fputs(BatchUsage().c_str(), stdout);
        return FinishOutput(kExitOk, written < 0 ? (errno ? errno : EIO) : 0);
    }
    if (options.version) {
        std::printf("quillmark-batch %s\n", kProgramVersion);
        return FinishOutput(kExitOk);
    }

    CStampSettingsValues settings;
    if (!LoadBaseSettings(options, settings))
        return kExitUsage;
    ApplyBatchOptions(options, settings);

    if (options.saveConfig) {
        settings.pathstamp = AbsolutePath(settings.pathstamp);
        settings.outputdir = AbsolutePath(settings.outputdir);
        settings.inputdir = AbsolutePath(settings.inputdir);
        CStampSettings record;
        record = settings;
        if (!record.ExportSettings(*options.saveConfig))
            return Fail("cannot write configuration file '" + *options.saveConfig + "'");
        return kExitOk;
    }

    const bool jsonLog = options.logFormat == CBatchOptions::LogFormat::Jsonl;
    if (!ReadFilesFrom(options))
        return kExitUsage;
    // An empty list is a pipeline with nothing to do, not a mistake in the command.
    if (options.inputs.empty() && options.filesFrom) {
        if (jsonLog)
            std::fputs(JsonRunLine(0, 0, 0, false, 0).c_str(), stdout);
        return FinishOutput(kExitOk);
    }
    if (options.inputs.empty()) {
        Fail("no input pictures given");
        std::fputs("Try 'quillmark-batch --help'.\n", stderr);
        return kExitUsage;
    }
    if (!IsFolder(settings.outputdir))
        return Fail("output folder '" + settings.outputdir + "' does not exist");
    if (std::string problem; !COutputNamer().Parse(settings.outputname, problem))
        return Fail("the file name template of the settings: " + problem);
    CStampDescription description = DescribeStamp(settings);
    if (description.IsText()) {
        if (const std::string unknown = UnknownStampPlaceholder(description); !unknown.empty())
            return Fail("unknown placeholder '" + unknown + "' in the stamp text");
    } else {
        if (settings.pathstamp.empty())
            return Fail("no stamp picture: give one with --stamp FILE");
        try {
            LoadStampPicture(description);
        } catch (const CTextException& e) {
            return Fail("cannot read stamp picture '" + settings.pathstamp +
                        "': " + OneLine(e.GetText()));
        }
    }
    const std::shared_ptr<CStampMaker> stamp = MakeStamp(description);

    std::vector<CUnreadablePath> unreadable;
    std::vector<CBatchInput> inputs =
        ExpandBatchInputs(options.inputs, unreadable, options.recursive);
    for (const CUnreadablePath& path : unreadable)
        if (path.given)
            return Fail("cannot list folder '" + path.path + "'");
    if (std::string outside;
        options.mirrorBase && !MirrorBelowBase(*options.mirrorBase, inputs, outside))
        return Fail("--base: '" + outside + "' is not in the folder '" + *options.mirrorBase + "'");
    // What a listing met but could not read costs that part alone: its own line, counted
    // as failed, and the run goes on with the rest.
    for (const CUnreadablePath& path : unreadable)
        std::fputs(jsonLog ? JsonFileLine(path.path, "", "error", UnreadableReason(path), 0).c_str()
                           : ("ERR: " + path.path + " : " + UnreadableReason(path) + "\n").c_str(),
                   stdout);
    const int unlisted = int(unreadable.size());
    if (inputs.empty() && unlisted > 0) {
        CStampJobSummary none;
        none.failed = unlisted;
        if (jsonLog)
            std::fputs(JsonRunLine(0, 0, unlisted, false, 0).c_str(), stdout);
        else
            std::fprintf(stderr, "%s\n", RunSummaryText(none).c_str());
        return FinishOutput(kExitFilesFailed);
    }
    if (inputs.empty()) {
        std::fputs("quillmark-batch: no picture files in the given folders\n", stderr);
        if (jsonLog)
            std::fputs(JsonRunLine(0, 0, 0, false, 0).c_str(), stdout);
        return FinishOutput(kExitOk);
    }

    if (options.dryRun) {
        PrintDryRun(settings, inputs);
        return FinishOutput(kExitOk);
    }

    InstallTerminationHandlers();
    const bool progress = !options.noProgress && ::isatty(2);
    CConsoleJobHost host(settings, std::move(inputs), stdout, progress ? stderr : nullptr);
    host.SetJsonLog(jsonLog);
    host.SetQuiet(options.quiet);
    host.SetPlainProgress(TerminalIsDumb());
    const auto start = std::chrono::steady_clock::now();
    CStampJobParams params =
        StampJobParams(host, description, stamp, options.jobs.value_or(DefaultJobWorkers()),
                       settings.losslessjpeg, uint32_t(settings.background));
    params.resize = settings.ResizeRule();
    params.stripLocation = settings.striplocation;
    params.stripMetadata = settings.stripmetadata;
    params.nameTemplate = settings.outputname;
    params.keepBoth = settings.KeepsBoth();
    CStampJob job(params);
    CStampJobSummary summary = job.Run();
    summary.failed += unlisted;
    host.Finish();
    if (jsonLog) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::fputs(JsonRunLine(summary.created, summary.skipped, summary.failed, summary.canceled,
                               elapsed.count())
                       .c_str(),
                   stdout);
    }
    const bool allCreated = summary.failed == 0 && summary.skipped == 0 && !summary.canceled;
    // The window's summary line, where it reads a text log: after it, apart from the log.
    if (!jsonLog && (!options.quiet || !allCreated))
        std::fprintf(stderr, "%s\n", RunSummaryText(summary).c_str());
    return FinishOutput(allCreated ? kExitOk : kExitFilesFailed, host.WriteError());
}
