#pragma once

#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/bmpencoder.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/pngencoder.h"

#include <cstdint>
#include <memory>
#include <string>

class CImageBitmap;
class CImageEncoder;

// What the batch engine needs of whoever started it: the page's controls and file lists.
// The engine runs on a thread of its own and calls these one at a time, in the order of
// the run; a window host carries each call out synchronously in its user-interface thread,
// so the host must keep dispatching events for the whole run. IsStopEnabled is polled
// before each file and must be cheap.
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

    // Read for every file. The count is asked again before each file.
    virtual int GetFileCount() = 0;
    virtual std::string GetFilePath(int index) = 0;
    // The file name without its extension.
    virtual std::string GetFileTitle(int index) = 0;
    virtual bool IsOverwriteChecked() = 0;
    // Cleared by the stop request; the file in progress is finished first.
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
    // new-folder button, with the quality controls when the output is JPEG).
    virtual void ClearStampingFlag() = 0;
    virtual void EnableRunControls() = 0;
    virtual void EnableFormatControls(bool jpegOutput) = 0;
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
};

// How the files of one run ended.
struct CStampJobSummary {
    int created = 0;
    int skipped = 0; // output existed, overwrite off
    int failed = 0;
    bool canceled = false;
};

// The batch worker: stamps every file of the host's list into the output folder, one log
// line per file. One bitmap, one decoder and one encoder of each kind serve the whole run.
class CStampJob {
public:
    explicit CStampJob(const CStampJobParams& params);
    ~CStampJob();
    CStampJob(const CStampJob&) = delete;
    CStampJob& operator=(const CStampJob&) = delete;

    // The whole run, end step included. Exceptions of one file cost that file an "ERR: "
    // line and nothing else.
    CStampJobSummary Run();

private:
    void StampFile(int index, bool preserveHeaders);
    void AppendErrorLine(const std::string& inputPath, const std::string& text);
    CImageEncoder& EncoderForExtension();

    CStampJobParams m_params;
    CStampBitmap m_bitmap;
    CAutoDetectDecoder m_decoder;
    CBmpEncoder m_bmpEncoder;
    CJpegEncoder m_jpegEncoder;
    CPngEncoder m_pngEncoder;

    std::string m_logText;
    std::string m_extension;
    std::string m_outputFolder;
    std::string m_outputPath;
    CStampJobSummary m_summary;
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
