#pragma once

#include "controls/resizedialog.h"
#include "job/stampdescription.h"
#include "job/stampjob.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

class CFolderTree;
class CPositionPage;
class CPreTranslateHook;
class CToolTipControl;
class QAbstractButton;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QSlider;

// What the output page asks of the window that holds it. Every member may be empty.
struct COutputPageHost {
    // The input page's selected files (full paths, in list order): a run's input.
    std::function<QStringList()> selectedFiles;
    // The stamp of a run as the positioning page describes it, and whether its sample
    // has been previewed.
    std::function<CRunStamp()> runStamp;
    // The main window's tab control, where Tab from the page's last control leads.
    std::function<QWidget*()> tabControl;
};

// Asks for the name of a new folder; nothing when the user cancels. The default shows
// CNewFolderDialog; tests put their own in its place.
using CNewFolderHook = std::function<std::optional<QString>(QWidget* parent)>;
// Asks for a colour (0xRRGGBB) starting from current; nothing when the user cancels. The
// default shows QColorDialog.
using CColourHook = std::function<std::optional<uint32_t>(QWidget* parent, uint32_t current)>;

// The "output selection" page (template 104): the output folder with its tree and the
// "create subdir" command, the format, quality and options, and the batch run with its
// log and progress bar.
//
// A run: StartRun checks the inputs, copies the surviving paths and the placement, sets the
// stamping flag and starts the batch engine on a worker thread. The page is the engine's
// host: every call that touches a control is carried out in the user-interface thread
// while the worker waits for it, so this thread must keep dispatching events for the
// whole run and must never block on the worker (EndRun waits with an event loop). Only the
// stop request is read without that round trip, from a copy of the stop button's enabled
// state.
class COutputPage : public CResizePropertyPage, public CStampJobHost {
    Q_OBJECT
public:
    explicit COutputPage(QWidget* parent = nullptr);
    // Ends a run that is still going (EndRun) before any control goes.
    ~COutputPage() override;

    void SetHost(COutputPageHost host) { m_host = std::move(host); }
    void SetNewFolderHook(CNewFolderHook hook) { m_newFolder = std::move(hook); }
    void SetColourHook(CColourHook hook) { m_pickColour = std::move(hook); }

    // The colour (0xRRGGBB) that transparent photos are laid on for an output format
    // without alpha; its button beside the formats shows it, enabled for those formats.
    uint32_t GetBackgroundColour() const { return m_backgroundColour; }
    void SetBackgroundColour(uint32_t rgb);
    // The background button: a new colour from the colour hook.
    void OnBackgroundClicked();
    // Enabled while the chosen format keeps no alpha and no run goes.
    void UpdateBackgroundButton();

    // ---- The run.
    // Set from the start of a run until the worker's end step.
    bool IsStamping() const { return m_stamping; }
    // Whether a worker thread exists that has not been joined yet.
    bool IsWorkerRunning() const { return m_worker.joinable(); }
    // The "start" button: checks, then starts the worker. Reports every reason against a
    // run together and starts nothing then.
    void StartRun();
    // The "stop" button: disables itself; the worker sees it before its next file.
    void StopRun();
    // Requests the stop and waits until the worker has ended, dispatching its calls
    // meanwhile (user input is held back). Returns at once when no worker runs.
    void EndRun();

    // The inputs of the current (or last) run: full paths and their titles.
    const std::vector<std::string>& GetRunPaths() const { return m_paths; }
    const std::vector<std::string>& GetRunTitles() const { return m_titles; }
    // The log exactly as the engine wrote it (the field shows it with its own line ends).
    const std::string& GetLog() const { return m_logText; }
    QString GetSummaryText() const;
    // What the progress bar shows: "12 / 30" during a run, the summary after it.
    QString GetProgressText() const;
    static QString SummaryText(const CStampJobSummary& summary);

    // ---- Handlers, public for tests.
    void OnFolderSelectionChanged();
    // A folder typed or pasted into the path box (Enter or leaving it): the tree follows
    // when the folder exists.
    void OnFolderTyped();
    // A format radio button was clicked.
    void OnFormatClicked(int controlId);
    void OnQualityChanged(int value);
    // "create subdir".
    void OnNewFolder();
    // The keyboard pre-translation of every key press for the page or its controls;
    // true when the press is used up.
    bool PreTranslateKey(QWidget* target, QKeyEvent* event);

    CFolderTree* GetTree() const { return m_tree; }
    CToolTipControl* GetToolTips() const { return m_toolTips; }
    // JPEG output re-encodes only the stamped blocks of JPEG inputs.
    bool IsLosslessChecked() const;
    bool IsJpegOutputChecked() const;
    // The quality controls are off while lossless output is chosen, and their tip says so.
    void UpdateQualityControls();
    // The output size choice: the list, the number and "enlarge". GetOutputSize has nothing
    // when a size is chosen and the number is not one it takes.
    void SetOutputSize(const CResizeRule& rule);
    std::optional<CResizeRule> GetOutputSize() const;
    // The number and "enlarge" mean something only with a size chosen.
    void UpdateSizeControls();
    // The outputs' names before the extension: the "file name" field's template.
    void SetNameTemplate(const std::string& text);
    std::string GetNameTemplate() const;

    // The format choices: one radio button per written format of the image library's
    // table. The outputtype of the checked one (JPEG when none is).
    int GetCheckedOutputType() const;
    // The button of an outputtype value (JPEG's for a value that names no output format).
    static int OutputTypeButton(int outputType);
    struct CFormatButton {
        int id;
        int outputType;
    };
    static std::span<const CFormatButton> FormatButtons();

    // ---- CStampJobHost: called by the worker thread, carried out in this one.
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
    void ClearStampingFlag() override;
    void EnableRunControls() override;
    void EnableFormatControls(bool qualityOutput) override;

signals:
    // The log field has had a new text (delivered after the engine's call has returned).
    void logChanged();
    // The worker has ended and been joined.
    void runFinished();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs f in the user-interface thread and returns its result; from a worker thread the
    // caller waits until it has run.
    template <class F> auto InUiThread(F f);
    void EnableFormatDependentControls(int outputType);
    void OnWorkerEnded();
    void ShowSummary();
    bool IsChecked(int id) const;

    COutputPageHost m_host;
    CNewFolderHook m_newFolder;
    CColourHook m_pickColour;
    uint32_t m_backgroundColour = 0xFFFFFF;

    CFolderTree* m_tree = nullptr;
    QLineEdit* m_folderField = nullptr;
    QAbstractButton* m_start = nullptr;
    QAbstractButton* m_stop = nullptr;
    QSlider* m_quality = nullptr;
    QComboBox* m_resizeMode = nullptr;
    QLineEdit* m_resizeValue = nullptr;
    QLabel* m_qualityValue = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QProgressBar* m_progress = nullptr;
    CToolTipControl* m_toolTips = nullptr;
    std::unique_ptr<CPreTranslateHook> m_preTranslate;

    bool m_stamping = false;
    // The stop button's own enabled state, kept up to date by its enable changes: the
    // worker's poll reads it without waiting for this thread.
    std::atomic<bool> m_stopEnabled{false};
    std::thread m_worker;
    std::atomic<bool> m_workerDone{false};
    // Filled by StartRun before the worker starts, unchanged until the next start: the
    // worker reads them directly.
    std::vector<std::string> m_paths;
    std::vector<std::string> m_titles;
    std::string m_logText;
    CStampJobSummary m_summary; // written by the worker, read after the join
};
