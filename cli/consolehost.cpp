#include "cli/consolehost.h"

#include "cli/jsonlog.h"
#include "job/stampsettings.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

volatile std::sig_atomic_t CConsoleJobHost::s_stopRequested = 0;

CConsoleJobHost::CConsoleJobHost(const CStampSettingsValues& settings,
                                 std::vector<CBatchInput> inputs, std::FILE* out,
                                 std::FILE* progress)
    : m_settings(settings), m_inputs(std::move(inputs)), m_out(out), m_progress(progress) {}

CConsoleJobHost::~CConsoleJobHost() = default;

int CConsoleJobHost::GetJpegQuality() {
    return m_settings.jpgquality;
}
bool CConsoleJobHost::IsPreserveHeadersChecked() {
    return m_settings.biptc;
}
std::string CConsoleJobHost::GetOutputFolder() {
    return m_settings.outputdir;
}
bool CConsoleJobHost::IsBmpChecked() {
    return m_settings.outputtype == 1;
}
bool CConsoleJobHost::IsPngChecked() {
    return m_settings.outputtype == 2;
}
int CConsoleJobHost::GetOutputType() {
    return m_settings.outputtype;
}
int CConsoleJobHost::GetFileCount() {
    return int(m_inputs.size());
}
std::string CConsoleJobHost::GetFilePath(int index) {
    // Asked once per file, just before it is decoded: the file now in progress.
    m_current = index;
    DrawProgress();
    return m_inputs[size_t(index)].path;
}
std::vector<std::string> CConsoleJobHost::GetFilePaths() {
    std::vector<std::string> paths;
    paths.reserve(m_inputs.size());
    for (const CBatchInput& input : m_inputs)
        paths.push_back(input.path);
    return paths;
}
std::string CConsoleJobHost::GetFileTitle(int index) {
    return m_inputs[size_t(index)].title;
}
bool CConsoleJobHost::IsOverwriteChecked() {
    return m_settings.overwritefiles;
}
bool CConsoleJobHost::IsStopEnabled() {
    return s_stopRequested == 0;
}

std::string CConsoleJobHost::GetLogText() {
    return std::string(); // everything set so far has been printed
}

void CConsoleJobHost::Write(const std::string& text) {
    if (text.empty())
        return;
    // A full disk or a closed pipe must not pass for a complete log: the first reason is kept
    // for the run's end. No line can be reported any more, so no file may start that the log
    // would not tell of: the run stops, the files in progress finishing.
    errno = 0;
    if ((std::fwrite(text.data(), 1, text.size(), m_out) != text.size() ||
         std::fflush(m_out) != 0) &&
        m_writeError == 0) {
        m_writeError = errno ? errno : EIO;
        s_stopRequested = 1;
    }
}

void CConsoleJobHost::SetLogText(const std::string& text) {
    if (text.empty() || m_json)
        return;
    ClearProgress();
    // The log's line ends are the window's; a terminal takes its own.
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    if (m_quiet) {
        std::string failures;
        for (size_t start = 0; start < out.size();) {
            const size_t end = std::min(out.find('\n', start), out.size() - 1) + 1;
            if (out.compare(start, 5, "ERR: ") == 0)
                failures.append(out, start, end - start);
            start = end;
        }
        out = std::move(failures);
    }
    if (!out.empty()) {
        Write(out);
        m_lineOpen = out.back() != '\n';
    }
    DrawProgress();
}

void CConsoleJobHost::FileDone(const CStampFileResult& result) {
    if (!m_json)
        return;
    const char* status = result.status == CStampFileResult::Created   ? "ok"
                         : result.status == CStampFileResult::Skipped ? "skipped"
                                                                      : "error";
    const std::string line = JsonFileLine(result.input, result.output, status, result.message,
                                          std::llround(result.milliseconds));
    ClearProgress();
    Write(line);
    DrawProgress();
}

void CConsoleJobHost::ScrollLogToEnd() {}

void CConsoleJobHost::SetProgressPosition(int position) {
    m_done = position;
    if (position == 0)
        m_current = -1; // the end of the run
    DrawProgress();
}

void CConsoleJobHost::DrawProgress() {
    if (!m_progress || m_current < 0 || m_inputs.empty())
        return;
    constexpr int kBarWidth = 24;
    const int total = int(m_inputs.size());
    const int filled = int(int64_t(kBarWidth) * std::min(m_done, total) / total);
    std::string name = m_inputs[size_t(m_current)].path;
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    if (name.size() > 40)
        name = name.substr(0, 37) + "...";
    // A name is bytes: control characters in it would move the cursor or start a sequence.
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    const std::string line = "[" + std::string(size_t(filled), '#') +
                             std::string(size_t(kBarWidth - filled), '.') + "] " +
                             std::to_string(m_done) + "/" + std::to_string(total) + " " + name;
    if (m_plainProgress) {
        // Spaces rub out what is left of a longer line before it.
        const size_t width = line.size();
        std::fprintf(
            m_progress, "\r%s%s", line.c_str(),
            std::string(m_progressWidth > width ? m_progressWidth - width : 0, ' ').c_str());
        m_progressWidth = std::max(m_progressWidth, width);
    } else {
        std::fprintf(m_progress, "\r\033[K%s", line.c_str());
    }
    std::fflush(m_progress);
    m_progressShown = true;
}

void CConsoleJobHost::ClearProgress() {
    if (!m_progressShown)
        return;
    if (m_plainProgress)
        std::fprintf(m_progress, "\r%s\r", std::string(m_progressWidth, ' ').c_str());
    else
        std::fputs("\r\033[K", m_progress);
    std::fflush(m_progress);
    m_progressShown = false;
}

void CConsoleJobHost::Finish() {
    ClearProgress();
    if (m_lineOpen) {
        Write("\n");
        m_lineOpen = false;
    }
}

std::string RunSummaryText(const CStampJobSummary& summary) {
    std::string text = std::to_string(summary.created) + " created, " +
                       std::to_string(summary.skipped) + " skipped, " +
                       std::to_string(summary.failed) + " failed";
    if (summary.canceled)
        text += " (stopped)";
    return text;
}
