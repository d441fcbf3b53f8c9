#pragma once

#include "controls/resizedialog.h"
#include "platform/accelerators.h"

#include <QString>
#include <QStringList>

#include <memory>

class CExtentListBox;
class CFileDropListBox;
class CFolderTree;
class CImageViewer;
class CPreTranslateHook;
class CToolTipControl;
class QCheckBox;
class QKeyEvent;
class QLabel;

// The "input selection" page (template 101): a folder tree, the pictures of its current
// folder in the file list, the selected-files list that a run stamps, and a preview of the
// current entry with its size.
//
// The page reaches the main window through CPageHost::Get() (splash, tab control) and works
// without one, as in its tests.
class CInputPage : public CResizePropertyPage {
    Q_OBJECT
public:
    explicit CInputPage(QWidget* parent = nullptr);
    ~CInputPage() override;

    CFolderTree* GetFolderTree() const { return m_tree; }
    CExtentListBox* GetFileList() const { return m_fileList; }
    CFileDropListBox* GetSelectedList() const { return m_selectedList; }
    CImageViewer* GetPreview() const { return m_preview; }
    QCheckBox* GetPreviewCheck() const { return m_previewCheck; }
    CToolTipControl* GetToolTips() const { return m_toolTips; }

    // The full paths of the selected-files list in its (sorted) order: the input of a run.
    QStringList GetSelectedFiles() const;
    // The "preview" checkbox (setting bpreview); setting it runs no preview.
    bool IsPreviewChecked() const;
    void SetPreviewChecked(bool checked);
    QString GetWidthLabelText() const;
    QString GetHeightLabelText() const;
    // The labels above the two lists with the number of entries each holds, as
    // "files (12)" and "selected files (3)"; set once the event loop runs after a change.
    QString GetFilesLabelText() const;
    QString GetSelectedLabelText() const;
    static QString CountLabelText(const QString& name, int count);

    // ---- Operations and handlers, public for tests.
    // The file list anew from the tree's current folder.
    void RefillFileList();
    void AddSelectedFiles();
    void AddAllFiles();
    void RemoveSelectedFiles();
    void RemoveAllFiles();
    // Ctrl+A: every entry of the list with the keyboard focus, without a preview.
    void SelectAll();
    // Previews the current entry of a list (the caret's when selected, else the first
    // selected one); nothing when the list has no selection.
    void ShowPreview(CExtentListBox* list);
    void OnPreviewSwitch();
    // Copies the previewed picture when the preview has the keyboard focus.
    void OnCopy();
    void OnCommand(int command);
    // The keyboard pre-translation of every key press for the page or its controls; true
    // when the press is used up.
    bool PreTranslateKey(QWidget* target, QKeyEvent* event);

signals:
    // A photo of the selected-files list was clicked: the one to judge the stamp on.
    void sampleChosen(const QString& path);

private:
    void OnListSelectionChanged(CExtentListBox* list);
    // Adds folder + text of each given file list row that the selected-files list lacks.
    void AddFiles(const QList<int>& rows);
    void ClearPreviewLabels();
    void UpdateCounts();
    static QList<int> SelectedRows(const CExtentListBox* list);
    static bool HasFocus(const QWidget* widget);

    CToolTipControl* m_toolTips = nullptr;
    QLabel* m_widthLabel = nullptr;
    QLabel* m_heightLabel = nullptr;
    QLabel* m_filesLabel = nullptr;
    QLabel* m_selectedLabel = nullptr;
    bool m_countsPending = false;
    QCheckBox* m_previewCheck = nullptr;
    CFileDropListBox* m_selectedList = nullptr;
    CImageViewer* m_preview = nullptr;
    CExtentListBox* m_fileList = nullptr;
    CFolderTree* m_tree = nullptr;
    CAcceleratorTable m_accelerators;
    std::unique_ptr<CPreTranslateHook> m_preTranslate;
};
