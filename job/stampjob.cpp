#include "job/stampjob.h"

#include "core/stampcompositing.h"
#include "imagelib/textexception.h"

#include <sys/stat.h>

#include <exception>

namespace {

// Any directory entry counts, as the output's existence is all that is asked; whether it
// could be written is the encoder's business.
bool PathExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

const char* JobExtension(bool bmpChecked, bool pngChecked) {
    if (bmpChecked)
        return ".bmp";
    if (pngChecked)
        return ".png";
    return ".jpg";
}

CStampJob::CStampJob(const CStampJobParams& params) : m_params(params) {}

CStampJob::~CStampJob() = default;

CImageEncoder& CStampJob::EncoderForExtension() {
    if (m_extension == ".bmp")
        return m_bmpEncoder;
    if (m_extension == ".png")
        return m_pngEncoder;
    return m_jpegEncoder;
}

void CStampJob::AppendErrorLine(const std::string& inputPath, const std::string& text) {
    // The library's texts end with a line feed that the log line replaces with its own
    // line end; the last character goes whatever it is.
    const std::string shown = text.empty() ? text : text.substr(0, text.size() - 1);
    m_logText += "ERR: " + inputPath + " : " + shown + "\r\n";
    m_params.host.SetLogText(m_logText);
    ++m_summary.failed;
}

void CStampJob::StampFile(int index, bool preserveHeaders) {
    CStampJobHost& host = m_params.host;
    const std::string inputPath = host.GetFilePath(index);
    try {
        m_decoder.DecodeFile(inputPath, m_bitmap, 32);
        const CStampPlacement placement =
            ComputeStampPlacement(m_params.stamp, m_bitmap, m_params.halign, m_params.valign,
                                  m_params.offsetX, m_params.offsetY);
        if (m_params.blend)
            BlendStampPixels(m_params.stamp, m_bitmap, placement);
        else
            CopyStampPixels(m_params.stamp, m_bitmap, placement);
        try {
            CImageEncoder& encoder = EncoderForExtension();
            // The JPEG encoder writes back whatever markers the bitmap carries; only JPEG
            // output is asked to drop them.
            if (&encoder == &m_jpegEncoder && !preserveHeaders)
                m_bitmap.FreeMarkers();
            encoder.EncodeFile(m_outputPath, m_bitmap);
            m_logText += "OK: " + m_outputPath + " created \r\n";
            host.SetLogText(m_logText);
            ++m_summary.created;
        } catch (const CTextException& e) {
            AppendErrorLine(inputPath, e.GetText());
        }
    } catch (const CTextException& e) {
        AppendErrorLine(inputPath, e.GetText());
    } catch (const std::exception& e) {
        // Not the library's own failure (the system ran out of memory outside a decoder,
        // say): still only this file is lost, and the worker thread must not die with it.
        // The text carries no line feed of its own, so it is kept whole.
        AppendErrorLine(inputPath, std::string(e.what()) + "\n");
    }
}

CStampJobSummary CStampJob::Run() {
    CStampJobHost& host = m_params.host;
    m_summary = {};
    m_jpegEncoder.SetQuality(host.GetJpegQuality());
    const bool preserveHeaders = host.IsPreserveHeadersChecked();
    m_outputFolder = host.GetOutputFolder();
    m_extension = JobExtension(host.IsBmpChecked(), host.IsPngChecked());

    auto cancel = [&] {
        host.SetLogText(host.GetLogText() + "canceled");
        m_summary.canceled = true;
    };
    int i = 0;
    for (; i < host.GetFileCount(); ++i) {
        if (!host.IsStopEnabled()) {
            cancel();
            break;
        }
        m_logText = host.GetLogText();
        m_outputPath = OutputPath(m_outputFolder, host.GetFileTitle(i) + m_extension);
        if (!host.IsOverwriteChecked() && PathExists(m_outputPath)) {
            m_logText += "ERR: " + m_outputPath + " allready existing \r\n";
            host.SetLogText(m_logText);
            ++m_summary.skipped;
            continue;
        }
        StampFile(i, preserveHeaders);
        host.ScrollLogToEnd();
        host.SetProgressPosition(i + 1);
    }
    // A stop pressed while the last file was in progress still ends in "canceled": the user
    // asked for it and must see it taken, even though nothing was left to skip.
    if (!m_summary.canceled && i > 0 && !host.IsStopEnabled())
        cancel();

    host.ClearStampingFlag();
    host.EnableRunControls();
    host.SetProgressPosition(0);
    host.EnableFormatControls(m_extension == ".jpg");
    return m_summary;
}

std::string FileTitle(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return name;
    return name.substr(0, dot);
}

std::string OutputPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + '/' + name;
}

int RunJob(std::unique_ptr<CStampJobParams> params) {
    CStampJob job(*params);
    job.Run();
    return 0;
}
