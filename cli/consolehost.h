#pragma once

#include "cli/batchinputs.h"
#include "job/stampjob.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

struct CStampSettingsValues;

// The batch engine's host on a terminal: the log goes to standard output line by line as
// the engine writes it, a progress line to standard error when that is a terminal, and the
// stop button is a flag that an interrupt clears.
//
// The log "field" holds only what has not been printed yet: every text the engine sets is
// printed and the field is empty again, so the engine's read-append-write of the log costs
// one line per file whatever the length of the run.
class CConsoleJobHost : public CStampJobHost {
public:
    // The settings must outlive the host. out and progress may be the same terminal;
    // progress null means no progress line.
    CConsoleJobHost(const CStampSettingsValues& settings, std::vector<CBatchInput> inputs,
                    std::FILE* out, std::FILE* progress);
    ~CConsoleJobHost() override;

    int GetJpegQuality() override;
    bool IsPreserveHeadersChecked() override;
    std::string GetOutputFolder() override;
    bool IsBmpChecked() override;
    bool IsPngChecked() override;
    int GetOutputType() override;
    int GetFileCount() override;
    std::string GetFilePath(int index) override;
    std::string GetFileTitle(int index) override;
    std::vector<std::string> GetFilePaths() override;
    bool IsOverwriteChecked() override;
    bool IsStopEnabled() override;
    std::string GetLogText() override;
    void SetLogText(const std::string& text) override;
    void ScrollLogToEnd() override;
    void SetProgressPosition(int position) override;
    void ClearStampingFlag() override {}
    void EnableRunControls() override {}
    void EnableFormatControls(bool) override {}
    void FileDone(const CStampFileResult& result) override;

    // jsonl: the engine's log lines are dropped and FileDone writes one JSON object per file
    // instead.
    void SetJsonLog(bool json) { m_json = json; }
    // Only the "ERR: " lines of the log are printed.
    void SetQuiet(bool quiet) { m_quiet = quiet; }
    // A terminal that knows no escape sequences (TERM=dumb): the progress line is rubbed out
    // with spaces.
    void SetPlainProgress(bool plain) { m_plainProgress = plain; }

    // The system's error number of the first write to out that failed; 0 while none did.
    int WriteError() const { return m_writeError; }

    // Ends an unfinished last line (the engine's "canceled" has no line end) and removes the
    // progress line.
    void Finish();

    // The stop request: set from a signal handler or by a failed write to out, read before
    // each file.
    static volatile std::sig_atomic_t s_stopRequested;

private:
    void DrawProgress();
    void ClearProgress();
    void Write(const std::string& text);

    const CStampSettingsValues& m_settings;
    std::vector<CBatchInput> m_inputs;
    std::FILE* m_out;
    std::FILE* m_progress;
    int m_done = 0;
    int m_current = -1;
    bool m_progressShown = false;
    bool m_lineOpen = false;
    bool m_json = false;
    bool m_quiet = false;
    bool m_plainProgress = false;
    size_t m_progressWidth = 0;
    int m_writeError = 0;
};

// "N created, N skipped, N failed" as the window shows it after a run, " (stopped)" added
// when it was interrupted.
std::string RunSummaryText(const CStampJobSummary& summary);
