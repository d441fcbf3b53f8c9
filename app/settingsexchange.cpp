// The main window's exchange of the settings record with its pages, and the settings
// import and export commands.
//
// The pages are found by their tab index and their controls by id, so a page that is
// only its template's controls takes part as far as it has them; the positioning page's
// working values, sample and stamp need the real page.
#include "app/maindialog.h"

#include "imagelib/imageformats.h"
#include "job/settingstext.h"
#include "pages/input/foldertree.h"
#include "pages/output/outputpage.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "pages/position/previewfiledlg.h"
#include "platform/dialogbuilder.h"
#include "platform/messagebox.h"
#include "resources/resource.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QSlider>

const QString CMainDialog::kConfigFilter =
    QStringLiteral("quillmark config file (*.qmc)|*.qmc|All Files (*.*)|*.*||");

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

// Whether a picture named by the settings can be read at all; a remembered path that
// cannot is dropped without a message.
bool IsReadableFile(const std::string& path) {
    if (path.empty())
        return false;
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly);
}

std::optional<QString> RunFileDialog(QWidget* parent, bool open, const QString& defaultExtension,
                                     const QString& fileName, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    const QStringList filters = ConvertFileFilter(filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!defaultExtension.isEmpty())
        dialog.setDefaultSuffix(defaultExtension);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

// The positioning page's share of applying: placement, sliders, transparency, key colour,
// then the sample and the stamp reloaded from their paths and the preview composited.
void ApplyToPositionPage(CPositionPage& page, const CStampSettingsValues& s) {
    // 3. Alignment and offsets.
    page.SetAlignment(uint8_t(s.halign), uint8_t(s.valign));
    page.SetOffsets(s.offsetx, s.offsety);
    // 4. Sliders and their working values.
    page.SetSliders(uint8_t(s.opacity), uint8_t(s.tptolerance), uint8_t(s.feather));
    // 5. Transparency with its controls and colour picking.
    page.SetTransparence(s.usetrans);
    // 6. Key colour.
    if (s.colora == 1)
        page.SetKeyColour(uint32_t(s.colorb & 0xFF) | uint32_t(s.colorg & 0xFF) << 8 |
                          uint32_t(s.colorr & 0xFF) << 16 | 1u << 24);
    else
        page.SetKeyColour(page.GetKeyColour() & 0x00FFFFFFu);
    // The stamp's size and the photos' orientation, before the sample is loaded.
    page.SetStampSize(s.sizemode, s.sizepercent);
    page.SetFollowExif(s.followexif);
    page.SetStampLayout(s.angle, s.tile, s.tilegap, s.tileoffset);
}

void ApplySampleAndStamp(CPositionPage& page, const CStampSettingsValues& s) {
    CImageViewer* sample = page.GetSampleView();
    CImageViewer* stamped = page.GetStampedView();
    CImageViewer* stamp = page.GetStampView();

    // 11. The sample, or the built-in one when the remembered one cannot be shown (an
    // empty path included: the viewer must not keep showing a picture the record no
    // longer names).
    page.SetSamplePath(QString::fromStdString(s.pathsample));
    bool sampleLoaded = IsReadableFile(s.pathsample) &&
                        sample->LoadPictureFile(QString::fromStdString(s.pathsample), false);
    if (!sampleLoaded) {
        page.SetSamplePath(QString());
        sampleLoaded = sample->LoadSamplePicture();
    }
    if (sampleLoaded && sample->IsLoaded()) {
        stamped->SetPicture(sample->GetPicture(), true);
        page.ShowSampleZoom(false);
    }

    // 12. The stamp: the text drawn, or the picture read from its path.
    stamp->ClearPicture();
    const CTextStampValues text{s.stampkind, s.stamptext, s.textfont,
                                s.textsize,  s.textcolor, s.textshadow};
    page.SetTextStamp(text);
    const bool stampLoaded =
        s.stampkind == kStampText
            ? stamp->IsLoaded()
            : IsReadableFile(s.pathstamp) &&
                  stamp->LoadPictureFile(QString::fromStdString(s.pathstamp), false);
    if (stampLoaded) {
        page.SetStampPath(QString::fromStdString(s.pathstamp));
        page.UpdateStampCaption();
        page.PrepareStamp();
        if (stamped->IsLoaded())
            page.ComposeStampedPreview();
    } else {
        page.SetStampPath(QString());
        if (auto* group = GetDlgItemAs<QGroupBox>(&page, IDC_POS_STAMP_GROUP))
            group->setTitle(QStringLiteral("stamp"));
        stamp->SetPickEnabled(false);
    }

    // 13.
    for (CImageViewer* view : {stamped, sample, stamp})
        if (view->IsLoaded())
            view->PaintPicture();
}

} // namespace

void CMainDialog::ApplySettingsToPages() {
    // 1. The pages ignore what the following steps make their controls report.
    m_applying = true;
    QWidget* input = GetPage(CMainPages::kInput);
    QWidget* output = GetPage(CMainPages::kOutput);
    auto* position = qobject_cast<CPositionPage*>(GetPage(CMainPages::kPosition));
    const CStampSettingsValues& s = m_settings;

    // 2.
    if (input)
        SelectFolder(GetDlgItemAs<CFolderTree>(input, IDC_IN_TREE), s.inputdir);
    // 3 to 6.
    if (position)
        ApplyToPositionPage(*position, s);
    // 7. The tree's selection fills the output folder field.
    if (output)
        SelectFolder(GetDlgItemAs<CFolderTree>(output, IDC_OUT_TREE), s.outputdir);

    // 8.
    if (auto* quality = output ? GetDlgItemAs<QSlider>(output, IDC_OUT_QUALITY) : nullptr) {
        quality->setMaximum(100);
        quality->setValue(s.jpgquality);
    }
    SetChecked(output, IDC_OUT_PRESERVE, s.biptc);
    SetChecked(output, IDC_OUT_LOSSLESS, s.losslessjpeg);
    if (auto* page = qobject_cast<COutputPage*>(output))
        page->SetOutputSize(s.ResizeRule());
    SetChecked(output, IDC_OUT_STRIP_LOCATION, s.striplocation);
    SetChecked(output, IDC_OUT_STRIP_METADATA, s.stripmetadata);

    // 9.
    // The format's button, and what applies to it: the quality to formats that have one,
    // the preserve box to those that keep EXIF, lossless to JPEG.
    const int format = COutputPage::OutputTypeButton(s.outputtype);
    int outputType = kOutputJpeg;
    for (const COutputPage::CFormatButton& button : COutputPage::FormatButtons()) {
        if (button.id != format)
            SetChecked(output, button.id, false);
        else
            outputType = button.outputType;
    }
    SetChecked(output, format, true);
    const CImageFormat* written = OutputFormat(outputType);
    for (const int id :
         {IDC_OUT_QUALITY_LABEL, IDC_OUT_QUALITY, IDC_OUT_QUALITY_VALUE, IDC_OUT_PERCENT})
        Enable(output, id, written->quality);
    Enable(output, IDC_OUT_PRESERVE, written->exif);
    Enable(output, IDC_OUT_LOSSLESS, outputType == kOutputJpeg);
    // Lossless output leaves the quality without a use.
    if (auto* page = qobject_cast<COutputPage*>(output)) {
        page->UpdateQualityControls();
        page->SetBackgroundColour(uint32_t(s.background));
        page->UpdateBackgroundButton();
    }

    // 10.
    SetChecked(input, IDC_IN_PREVIEW_CHECK, s.bpreview);
    // One of three: checking one unchecks the others.
    SetChecked(output,
               s.overwritefiles ? IDC_OUT_OVERWRITE
               : s.KeepsBoth()  ? IDC_OUT_KEEP_BOTH
                                : IDC_OUT_SKIP,
               true);
    if (auto* name = output ? GetDlgItemAs<QLineEdit>(output, IDC_OUT_NAME) : nullptr)
        name->setText(QString::fromStdString(s.outputname));

    // 11 to 13.
    if (position)
        ApplySampleAndStamp(*position, s);
}

void CMainDialog::GatherSettingsFromPages() {
    QWidget* input = GetPage(CMainPages::kInput);
    QWidget* output = GetPage(CMainPages::kOutput);
    auto* position = qobject_cast<CPositionPage*>(GetPage(CMainPages::kPosition));
    CStampSettingsValues& s = m_settings;
    // What was typed or slid within the last second is part of what the user set.
    if (position)
        position->TakePendingValues();

    // 1.
    if (output && Button(output, IDC_OUT_BMP)) {
        s.outputtype = kOutputJpeg;
        for (const COutputPage::CFormatButton& button : COutputPage::FormatButtons())
            if (Button(output, button.id) && Button(output, button.id)->isChecked())
                s.outputtype = button.outputType;
    }
    // 2.
    ReadChecked(output, IDC_OUT_OVERWRITE, s.overwritefiles);
    ReadChecked(output, IDC_OUT_KEEP_BOTH, s.renamefiles);
    if (const auto* name = output ? GetDlgItemAs<QLineEdit>(output, IDC_OUT_NAME) : nullptr)
        s.outputname = name->text().toStdString();
    ReadChecked(input, IDC_IN_PREVIEW_CHECK, s.bpreview);
    ReadChecked(output, IDC_OUT_PRESERVE, s.biptc);
    ReadChecked(output, IDC_OUT_LOSSLESS, s.losslessjpeg);
    // A number the page does not take leaves the stored size as it was.
    if (const auto* page = qobject_cast<const COutputPage*>(output)) {
        if (const std::optional<CResizeRule> rule = page->GetOutputSize()) {
            s.resizemode = rule->mode;
            s.resizevalue = rule->value;
            s.enlarge = rule->enlarge;
        }
    }
    ReadChecked(output, IDC_OUT_STRIP_LOCATION, s.striplocation);
    ReadChecked(output, IDC_OUT_STRIP_METADATA, s.stripmetadata);
    if (const auto* page = qobject_cast<const COutputPage*>(output))
        s.background = int32_t(page->GetBackgroundColour());
    // 3.
    if (auto* quality = output ? GetDlgItemAs<QSlider>(output, IDC_OUT_QUALITY) : nullptr)
        s.jpgquality = quality->value();
    // 4.
    if (input)
        ReadFolder(GetDlgItemAs<CFolderTree>(input, IDC_IN_TREE), s.inputdir);
    if (output)
        ReadFolder(GetDlgItemAs<CFolderTree>(output, IDC_OUT_TREE), s.outputdir);
    if (!position)
        return;
    // 5.
    s.usetrans = position->IsTransparenceChecked();
    // 6.
    s.feather = position->GetFeather();
    s.tptolerance = position->GetTolerance();
    s.halign = position->GetHAlign();
    s.offsetx = position->GetOffsetX();
    s.valign = position->GetVAlign();
    s.opacity = position->GetOpacity();
    s.offsety = position->GetOffsetY();
    s.pathsample = position->GetSamplePath().toStdString();
    s.pathstamp = position->GetStampPath().toStdString();
    s.sizemode = position->GetSizeMode();
    s.sizepercent = position->GetSizePercent();
    s.followexif = position->IsFollowExif();
    s.angle = position->GetAngle();
    s.tile = position->IsTile();
    s.tilegap = position->GetTileGap();
    s.tileoffset = position->IsTileOffset();
    position->GetTextStamp().StoreIn(s);
    // 7. Without a picked colour the last one stays on record.
    if (position->IsKeyColourSet()) {
        const uint32_t key = position->GetKeyColour();
        s.colora = 1;
        s.colorr = int32_t(key >> 16 & 0xFF);
        s.colorg = int32_t(key >> 8 & 0xFF);
        s.colorb = int32_t(key & 0xFF);
    } else {
        s.colora = 0;
    }
}

void CMainDialog::OnImportSettings() {
    const CFileDialogHook& dialog = m_fileDialog ? m_fileDialog : CFileDialogHook(RunFileDialog);
    const std::optional<QString> path = dialog(this, true, QString(), QString(), kConfigFilter);
    if (!path)
        return;
    const int result = m_settings.ImportSettings(path->toStdString());
    if (result == 0) {
        ShowMessageBox(this, QStringLiteral("Import failed!\n\nPlease try another file."),
                       CMessageIcon::Error);
        return;
    }
    ApplySettingsToPages();
    if (result == 1)
        ShowMessageBox(this,
                       QStringLiteral("Import successfull!\n\nNote:Paths may be incorrect since "
                                      "they are depending on a special computer."),
                       CMessageIcon::Information);
    else
        ShowMessageBox(this,
                       QStringLiteral("Import partly successfull!\n\nOne or more values were "
                                      "corrupted."),
                       CMessageIcon::Warning);
    LowerApplyingGuard();
}

void CMainDialog::OnExportSettings() {
    const CFileDialogHook& dialog = m_fileDialog ? m_fileDialog : CFileDialogHook(RunFileDialog);
    const std::optional<QString> path =
        dialog(this, false, QStringLiteral("qmc"), QStringLiteral("config.qmc"), kConfigFilter);
    if (!path)
        return;
    // The file holds what the pages show now.
    GatherSettingsFromPages();
    if (m_settings.ExportSettings(path->toStdString()))
        ShowMessageBox(this, QStringLiteral("Export successfull!"), CMessageIcon::Information);
    else
        ShowMessageBox(this, QStringLiteral("Export failed!\n\nPlease try another file."),
                       CMessageIcon::Error);
}
