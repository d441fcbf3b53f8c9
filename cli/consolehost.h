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

    // Ends an unfinished last line (the engine's "canceled" has no line end) and removes the
    // progress line.
    void Finish();

    // Whether standard output failed: the run was stopped, and nothing more is printed.
    bool IsOutputLost() const { return m_outputLost; }

    // The stop request: set from a signal handler or by a lost output, read before each
    // file.
    static volatile std::sig_atomic_t s_stopRequested;

private:
    void Print(const std::string& text);
    void DrawProgress();
    void ClearProgress();

    const CStampSettingsValues& m_settings;
    std::vector<CBatchInput> m_inputs;
    std::FILE* m_out;
    std::FILE* m_progress;
    int m_done = 0;
    int m_current = -1;
    bool m_progressShown = false;
    bool m_lineOpen = false;
    bool m_json = false;
    bool m_outputLost = false;
};
