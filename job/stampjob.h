#pragma once

#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/avifencoder.h"
#include "imagelib/bmpencoder.h"
#include "imagelib/imageformats.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/outputfile.h"
#include "imagelib/pngencoder.h"
#include "imagelib/resample.h"
#include "imagelib/webpencoder.h"
#include "job/losslessjpeg.h"
#include "job/memorybudget.h"
#include "job/outputregistry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CImageBitmap;
class CImageEncoder;
class CStampMaker;
struct CSavedMarker;

// How one file of a run ended, as its log line tells it.
struct CStampFileResult {
    std::string input;
    std::string output;
    enum Status { Created, Skipped, Failed } status = Created;
    // Failed: the reason as the log shows it (after " : "); empty otherwise.
    std::string message;
    // The file's own work (decode, stamp, write) on its worker; 0 for a skipped file.
    double milliseconds = 0;
};

// What the batch engine needs of whoever started it: the page's controls and file lists.
// Every call comes from the thread that runs CStampJob::Run (never from its workers), one
// at a time; a window host carries each call out synchronously in its user-interface
// thread, so the host must keep dispatching events for the whole run. IsStopEnabled is
// polled before each file starts and must be cheap.
class CStampJobHost {
public:
    virtual ~CStampJobHost() = default;

    // Read once when the run starts.
    virtual int GetJpegQuality() = 0;
    virtual bool IsPreserveHeadersChecked() = 0;
    // Ends with the path separator.
    virtual std::string GetOutputFolder() = 0;
    virtual bool IsBmpChecked() = 0;
    virtual bool IsPngChecked() = 0;
    // The chosen output as an outputtype value (kOutputJpeg ...); hosts that offer more than
    // the first three formats answer it themselves.
    virtual int GetOutputType() {
        return IsBmpChecked() ? kOutputBmp : IsPngChecked() ? kOutputPng : kOutputJpeg;
    }

    // Read for every file. The count is asked again before each file. A file's path is
    // asked once, when the file is about to start (or is found to be skipped); with
    // several workers that is ahead of the log lines of the files before it.
    virtual int GetFileCount() = 0;
    virtual std::string GetFilePath(int index) = 0;
    // The file name without its extension.
    virtual std::string GetFileTitle(int index) = 0;
    // Every input path at once, asked once when the run starts, so that no output replaces
    // an input of the run, one still to come included. By default GetFilePath for each
    // index; a host whose GetFilePath does more than answer (a progress display) overrides
    // it.
    virtual std::vector<std::string> GetFilePaths();
    virtual bool IsOverwriteChecked() = 0;
    // Cleared by the stop request; the files in progress are finished first.
    virtual bool IsStopEnabled() = 0;

    // The log holds every line of the run; the engine reads it whole, appends and writes it
    // back whole after each file.
    virtual std::string GetLogText() = 0;
    virtual void SetLogText(const std::string& text) = 0;
    // Repaints the log at once and scrolls it so that its last line shows.
    virtual void ScrollLogToEnd() = 0;
    virtual void SetProgressPosition(int position) = 0;

    // The end of a run, in this order: ClearStampingFlag; EnableRunControls (start enabled
    // with the focus, stop disabled, output folder tree and field enabled);
    // SetProgressPosition(0); EnableFormatControls (overwrite, the format choices and the
    // new-folder button, with the quality controls when the output format has a quality).
    virtual void ClearStampingFlag() = 0;
    virtual void EnableRunControls() = 0;
    virtual void EnableFormatControls(bool qualityOutput) = 0;

    // Once per file, in input order, right after its log line was set: for hosts that keep
    // a log of their own (machine-readable, say). Does nothing by default.
    virtual void FileDone(const CStampFileResult&) {}
};

// What a run needs besides the host. The stamp is prepared beforehand and used in place,
// not copied: the owner keeps it alive and unchanged until the run ends.
struct CStampJobParams {
    CStampJobHost& host;
    const CImageBitmap& stamp; // 32 bits per pixel
    bool blend = false;        // blend by the stamp's alpha; else copy
    uint8_t halign = 1;        // 0 left, 1 centre, 2 right
    uint8_t valign = 1;        // 0 top, 1 middle, 2 bottom
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    // Files stamped at once, 1..kMaxJobWorkers; 1 is the plain serial run.
    int workers = 1;
    // When set, each photo gets the stamp from here, shaped for it (its own transparency,
    // its size relative to the photo, turned for the photo's orientation), the offsets
    // scaled with it; stamp and blend above are then not used.
    std::shared_ptr<CStampMaker> shaper;
    bool followExif = true;
    // JPEG to JPEG through the input's coefficients where the input allows it.
    bool losslessJpeg = false;
    // The outputs' size; the stamp's relative size and offsets apply to it.
    CResizeRule resize{};
    // Kept EXIF and XMP lose the GPS position.
    bool stripLocation = false;
    // No EXIF, IPTC, XMP or comment in the outputs (the colour profile stays); a turned
    // photo is written upright.
    bool stripMetadata = false;
    // 0xRRGGBB that a transparent photo is laid on for an output format without alpha.
    uint32_t background = 0xFFFFFF;
    // The outputs' file names before the extension: the placeholders of a text stamp and
    // {n} (COutputNamer). Empty: the inputs' titles. The front end refuses a template that
    // does not parse; here one names the outputs as the empty one does.
    std::string nameTemplate{};
    // An existing output, or one an earlier file of the run wrote, is kept and the new file
    // takes the first free "NAME-1.ext", "NAME-2.ext", ...; overwrite is not asked then.
    bool keepBoth = false;
};

constexpr int kMaxJobWorkers = 64;

// The workers a run gets unless told otherwise: one per core of the machine.
int DefaultJobWorkers();

// What every file of a run shares, fixed when the run starts and only read by the workers.
struct CStampRun {
    const CImageBitmap* stamp = nullptr; // 32 bits per pixel, prepared, read-only
    bool blend = false;
    uint8_t halign = 1;
    uint8_t valign = 1;
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    int jpegQuality = 75;
    bool preserveHeaders = false;
    int outputType = kOutputJpeg;
    std::string extension; // the output format's: ".jpg", ".png", ".webp" ...
    // When set, every photo is stamped through it (see CStampJobParams).
    std::shared_ptr<CStampMaker> shaper;
    bool followExif = true;
    bool losslessJpeg = false;
    CResizeRule resize{};
    bool stripLocation = false;
    uint32_t background = 0xFFFFFF; // see CStampJobParams
    // Sub-folders of it that an output's title names are created as needed.
    std::string outputFolder;
    // Where every output is created and committed; owned by the run.
    COutputRegistry* outputs = nullptr;
    // Shared by the workers: a picture waits until its memory fits beside the others'.
    CMemoryBudget* budget = nullptr;
};

// One worker's own decoder, encoders and bitmap, reused for every file it takes; nothing of
// it is shared with other workers. Memory: one decoded picture and, while a file is being
// written, one encoded output.
// A file whose output name is settled by the run when it is committed, in input order, so
// that a parallel run names its outputs as the serial run does: the worker leaves the output
// written under its temporary.
struct CHeldOutput {
    // When set, the output's path from what the photo holds (its saved markers); problem is
    // set when that gives no usable name.
    std::function<std::string(const CSavedMarker* markers, std::string& problem)> name;
    // The written temporary, when the file succeeded.
    std::unique_ptr<COutputFile> file;
};

class CStampWorker {
public:
    explicit CStampWorker(const CStampRun& run);
    ~CStampWorker();
    CStampWorker(const CStampWorker&) = delete;
    CStampWorker& operator=(const CStampWorker&) = delete;

    // Creates the output, decodes, stamps and writes one file, replacing an existing output
    // only when replace is set (else, should one appear meanwhile, the result is Skipped).
    // Never throws: every failure costs this file alone and comes back as a Failed result
    // with its reason. With held, the output is only written (outputPath is where its
    // temporary goes), and a Created result means it waits in held->file for its name.
    CStampFileResult StampFile(const std::string& inputPath, const std::string& outputPath,
                               bool replace, CHeldOutput* held = nullptr);

private:
    // The steps of one file; throw CTextException on failure.
    void StampPicture();
    void EncodeOutput(COutputFile& output);
    CImageEncoder& Encoder();
    // JPEG output of a JPEG input through its coefficients, when asked for and the input
    // allows it; false leaves the file to the ordinary steps.
    bool StampLosslessly(CImageSource& input, COutputFile& output);

    const CStampRun& m_run;
    CStampBitmap m_bitmap;
    CAutoDetectDecoder m_decoder;
    CBmpEncoder m_bmpEncoder;
    CJpegEncoder m_jpegEncoder;
    CPngEncoder m_pngEncoder;
    CWebpEncoder m_webpEncoder;
    CAvifEncoder m_avifEncoder;
    CLosslessJpegStamp m_lossless;
    std::vector<uint8_t> m_losslessBytes;
    // The file just decoded was resized by the run's rule.
    bool m_resized = false;
    CBudgetHold m_memory;    // the current file's share of the run's budget
    std::string m_inputPath; // the file in hand, for stamps that name it
    // Told the markers of the photo in hand once they are read, whichever path reads them.
    std::function<void(const CSavedMarker*)> m_seeMarkers;
};

// How the files of one run ended.
struct CStampJobSummary {
    int created = 0;
    int skipped = 0; // output existed, overwrite off
    int failed = 0;
    bool canceled = false;
};

// The batch run: stamps every file of the host's list into the output folder, one log line
// per file, on params.workers workers at once. The thread that calls Run is the only one
// that talks to the host: it decides which file starts next and delivers the finished
// files to the host strictly in input order, so the log, the progress and every output
// are those of the serial run. Two files that write the same output name (or where one
// reads what the other writes) are never in flight at once: the later one starts only
// after the earlier one has finished, and sees its output.
//
// Stop: no file starts once IsStopEnabled has answered false; the files in flight finish
// and are logged in order, then "canceled".
//
// Outputs go through the run's COutputRegistry: a name this run has written is not written
// again (the later file fails, "an earlier file of this run has the name ..."), an output
// that would replace an input of the run fails whatever the overwrite setting, and without
// overwrite a file that appears under the name while its output is made wins (the output
// is logged "allready existing" and its temporary removed). With keepBoth, each of these
// moves the output on to the next free "-N" name instead.
//
// A name that is settled only once the file is made (keepBoth, or a name from the photo's
// EXIF) is settled by this thread when the file is delivered: the file is written under its
// temporary by a worker, then named in input order, so every worker count gives the serial
// run's names without holding back files whose names might meet.
class CStampJob {
public:
    explicit CStampJob(const CStampJobParams& params);
    ~CStampJob();
    CStampJob(const CStampJob&) = delete;
    CStampJob& operator=(const CStampJob&) = delete;

    // The whole run, end step included.
    CStampJobSummary Run();

private:
    CStampJobParams m_params;
};

// The worker thread's procedure: runs the job and releases the parameters. Returns 0.
int RunJob(std::unique_ptr<CStampJobParams> params);

// The title a run gives an input, and so the name of its output: the file name without
// its last extension ("a/b.c.jpg" gives "b.c"); a name whose only dot leads it (".jpg")
// is kept whole.
std::string FileTitle(const std::string& path);

// An output's path: the folder and the name joined as a path, whether or not the folder
// ends in a separator (folders from files and stores may lack it).
std::string OutputPath(const std::string& folder, const std::string& name);

// The output extension the engine picks from the format choices: ".bmp", ".png" or ".jpg".
const char* JobExtension(bool bmpChecked, bool pngChecked);
// The extension of an outputtype value; ".jpg" for a value that names no output format.
std::string OutputTypeExtension(int outputType);
