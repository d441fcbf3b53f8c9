// The main window's exchange of the settings record with its pages, and the settings
// import and export commands.
//
// Covered so far: the input and output pages' controls and both folder trees, found by
// their control ids. The positioning page's values (alignment, offsets, opacity,
// transparency, key colour, sample and stamp) and the import and export of the
// configuration file come with the positioning page and the configuration file; until
// then the record keeps what it read for them.
#include "app/maindialog.h"

#include "job/settingstext.h"
#include "pages/input/foldertree.h"
#include "platform/dialogbuilder.h"
#include "resources/resource.h"

#include <QAbstractButton>
#include <QSlider>

namespace {

QAbstractButton* Button(QWidget* page, int id) {
    return page ? GetDlgItemAs<QAbstractButton>(page, id) : nullptr;
}

void SetChecked(QWidget* page, int id, bool checked) {
    if (QAbstractButton* button = Button(page, id))
        button->setChecked(checked);
}

void ReadChecked(QWidget* page, int id, bool& field) {
    if (QAbstractButton* button = Button(page, id))
        field = button->isChecked();
}

void Enable(QWidget* page, int id, bool enabled) {
    if (QWidget* control = page ? GetDlgItem(page, id) : nullptr)
        control->setEnabled(enabled);
}

// Selects a folder in a tree, or the fallback folder when it is not there.
void SelectFolder(CFolderTree* tree, const std::string& folder) {
    if (!tree)
        return;
    if (!tree->SelectFolderPath(QString::fromStdString(folder), true))
        tree->SelectFolderPath(QString::fromStdString(FallbackFolder()), true);
}

void ReadFolder(const CFolderTree* tree, std::string& field) {
    if (tree && !tree->GetFolderPath().isEmpty())
        field = tree->GetFolderPath().toStdString();
}

} // namespace

void CMainDialog::ApplySettingsToPages() {
    m_applying = true;
    QWidget* input = GetPage(CMainPages::kInput);
    QWidget* output = GetPage(CMainPages::kOutput);
    const CStampSettingsValues& s = m_settings;

    if (input)
        SelectFolder(GetDlgItemAs<CFolderTree>(input, IDC_IN_TREE), s.inputdir);
    if (output)
        SelectFolder(GetDlgItemAs<CFolderTree>(output, IDC_OUT_TREE), s.outputdir);

    if (auto* quality = output ? GetDlgItemAs<QSlider>(output, IDC_OUT_QUALITY) : nullptr) {
        quality->setMaximum(100);
        quality->setValue(s.jpgquality);
    }
    SetChecked(output, IDC_OUT_PRESERVE, s.biptc);

    const int format = s.outputtype == 1   ? IDC_OUT_BMP
                       : s.outputtype == 2 ? IDC_OUT_PNG
                                           : IDC_OUT_JPG;
    for (const int id : {IDC_OUT_BMP, IDC_OUT_JPG, IDC_OUT_PNG})
        if (id != format)
            SetChecked(output, id, false);
    SetChecked(output, format, true);
    const bool jpeg = format == IDC_OUT_JPG;
    for (const int id : {IDC_OUT_QUALITY_LABEL, IDC_OUT_QUALITY, IDC_OUT_QUALITY_VALUE,
                         IDC_OUT_PERCENT, IDC_OUT_PRESERVE})
        Enable(output, id, jpeg);

    SetChecked(input, IDC_IN_PREVIEW_CHECK, s.bpreview);
    SetChecked(output, IDC_OUT_OVERWRITE, s.overwritefiles);
}

void CMainDialog::GatherSettingsFromPages() {
    QWidget* input = GetPage(CMainPages::kInput);
    QWidget* output = GetPage(CMainPages::kOutput);
    CStampSettingsValues& s = m_settings;

    if (output && Button(output, IDC_OUT_BMP)) {
        s.outputtype = Button(output, IDC_OUT_BMP)->isChecked() ? 1
                       : Button(output, IDC_OUT_PNG) && Button(output, IDC_OUT_PNG)->isChecked()
                           ? 2
                           : 0;
    }
    ReadChecked(output, IDC_OUT_OVERWRITE, s.overwritefiles);
    ReadChecked(input, IDC_IN_PREVIEW_CHECK, s.bpreview);
    ReadChecked(output, IDC_OUT_PRESERVE, s.biptc);
    if (auto* quality = output ? GetDlgItemAs<QSlider>(output, IDC_OUT_QUALITY) : nullptr)
        s.jpgquality = quality->value();
    if (input)
        ReadFolder(GetDlgItemAs<CFolderTree>(input, IDC_IN_TREE), s.inputdir);
    if (output)
        ReadFolder(GetDlgItemAs<CFolderTree>(output, IDC_OUT_TREE), s.outputdir);
}

void CMainDialog::OnImportSettings() {
    // Comes with the configuration file: ImportSettings, ApplySettingsToPages, the
    // message, then LowerApplyingGuard.
}

void CMainDialog::OnExportSettings() {
    // Comes with the configuration file: GatherSettingsFromPages, then ExportSettings.
}
