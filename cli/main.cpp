// quillmark-batch: the batch stamping of the window program, from the command line.

#include "cli/batchinputs.h"
#include "cli/batchoptions.h"
#include "cli/consolehost.h"
#include "cli/jsonlog.h"
#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/textexception.h"
#include "job/qtsettingsstore.h"
#include "job/stampjob.h"
#include "job/stampsettings.h"
#include "job/stampsetup.h"
#include "qmversion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
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

// Appends the paths of --files-from to the inputs named on the command line.
bool ReadFilesFrom(CBatchOptions& options) {
    if (!options.filesFrom)
        return true;
    const std::string& name = *options.filesFrom;
    const bool standardInput = name == "-";
    std::FILE* stream = standardInput ? stdin : std::fopen(name.c_str(), "rb");
    if (!stream) {
        Fail("cannot read the file list '" + name + "'");
        return false;
    }
    const bool read = ReadInputList(stream, options.nullSeparated, options.inputs);
    if (!standardInput)
        std::fclose(stream);
    if (!read)
        Fail("cannot read the file list '" + name + "'");
    return read;
}

bool IsFolder(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

extern "C" void OnInterrupt(int) {
    CConsoleJobHost::s_stopRequested = 1;
}

// The first interrupt asks for a stop between two files; the handler then resets itself,
// so a second one ends the program at once.
void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
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
    const std::vector<std::string> args(argv + 1, argv + argc);
    CBatchOptions options;
    std::string error;
    if (!ParseBatchOptions(args, options, error)) {
        Fail(error);
        std::fputs("Try 'quillmark-batch --help'.\n", stderr);
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(BatchUsage().c_str(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::printf("quillmark-batch %s\n", kProgramVersion);
        return kExitOk;
    }

    CStampSettingsValues settings;
    if (!LoadBaseSettings(options, settings))
        return kExitUsage;
    ApplyBatchOptions(options, settings);

    if (options.saveConfig) {
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
        return kExitOk;
    }
    if (options.inputs.empty()) {
        Fail("no input pictures given");
        std::fputs("Try 'quillmark-batch --help'.\n", stderr);
        return kExitUsage;
    }
    if (!IsFolder(settings.outputdir))
        return Fail("output folder '" + settings.outputdir + "' does not exist");
    if (settings.pathstamp.empty())
        return Fail("no stamp picture: give one with --stamp FILE");

    CStampBitmap stamp;
    try {
        CAutoDetectDecoder decoder;
        decoder.DecodeFile(settings.pathstamp, stamp, 32);
    } catch (const CTextException& e) {
        return Fail("cannot read stamp picture '" + settings.pathstamp +
                    "': " + OneLine(e.GetText()));
    }
    // The shaper takes the stamp's own transparency before preparation replaces it.
    const std::shared_ptr<CStampShaper> shaper = MakeStampShaper(stamp, settings);
    PrepareStamp(stamp, settings);

    std::vector<std::string> unreadable;
    std::vector<CBatchInput> inputs =
        ExpandBatchInputs(options.inputs, unreadable, options.recursive);
    if (!unreadable.empty())
        return Fail("cannot list folder '" + unreadable.front() + "'");
    if (inputs.empty()) {
        std::fputs("quillmark-batch: no picture files in the given folders\n", stderr);
        if (jsonLog)
            std::fputs(JsonRunLine(0, 0, 0, false, 0).c_str(), stdout);
        return kExitOk;
    }

    InstallInterruptHandler();
    CConsoleJobHost host(settings, std::move(inputs), stdout, ::isatty(2) ? stderr : nullptr);
    host.SetJsonLog(jsonLog);
    const auto start = std::chrono::steady_clock::now();
    const CStampJobParams params{host,
                                 stamp,
                                 StampNeedsBlend(settings),
                                 uint8_t(settings.halign),
                                 uint8_t(settings.valign),
                                 settings.offsetx,
                                 settings.offsety,
                                 options.jobs.value_or(DefaultJobWorkers()),
                                 shaper,
                                 settings.followexif,
                                 settings.losslessjpeg,
                                 settings.ResizeRule(),
                                 settings.striplocation,
                                 settings.stripmetadata};
    CStampJob job(params);
    const CStampJobSummary summary = job.Run();
    host.Finish();
    if (jsonLog) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        std::fputs(JsonRunLine(summary.created, summary.skipped, summary.failed, summary.canceled,
                               elapsed.count())
                       .c_str(),
                   stdout);
        std::fflush(stdout);
    }
    const bool allCreated = summary.failed == 0 && summary.skipped == 0 && !summary.canceled;
    return allCreated ? kExitOk : kExitFilesFailed;
}
