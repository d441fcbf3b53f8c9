#pragma once

#include <QFileDialog>
#include <QString>
#include <QStringList>

class CPreviewStatic;
class QCheckBox;
class QLabel;

// Turns a filter of the form "description|patterns|description|patterns||" (patterns
// separated by ';') into Qt name filters. Each keeps its description as the text shown and
// carries its patterns in Qt's own form behind it (hidden with HideNameFilterDetails).
QStringList ConvertFileFilter(const QString& filter);

// The file dialog of the positioning page: Qt's own (non-native) file dialog with an area
// under the file list that previews the selected picture with its width and height, and a
// "&Preview" check box that switches the preview off and on.
class CPreviewFileDlg : public QFileDialog {
    Q_OBJECT
public:
    // open: an open dialog (else a save dialog); defaultExtension and fileName may be
    // empty; filter as for ConvertFileFilter.
    CPreviewFileDlg(bool open, const QString& defaultExtension, const QString& fileName,
                    const QString& filter, QWidget* parent = nullptr);
    ~CPreviewFileDlg() override;

    // The chosen file (empty before a choice).
    QString GetPathName() const;

    // The selection changed to path: the preview and the labels follow. The same path as
    // last time is not decoded again.
    void OnFileNameChange(const QString& path);
    // The check box was clicked (it has toggled already).
    void OnPreviewCheck();

    CPreviewStatic* GetPreview() const { return m_preview; }
    QCheckBox* GetPreviewCheck() const { return m_check; }
    QString GetWidthText() const;
    QString GetHeightText() const;
    bool IsPreviewOn() const { return m_previewOn; }

private:
    void ShowSize();

    QString m_lastPath;
    QString m_currentPath;
    bool m_previewOn = true;
    CPreviewStatic* m_preview = nullptr;
    QLabel* m_width = nullptr;
    QLabel* m_height = nullptr;
    QCheckBox* m_check = nullptr;
};
