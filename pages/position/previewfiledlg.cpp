#include "pages/position/previewfiledlg.h"

#include "pages/position/previewstatic.h"
#include "platform/dialogbuilder.h"
#include "resources/resource.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>

QStringList ConvertFileFilter(const QString& filter) {
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i];
        if (description.isEmpty())
            break; // the closing "||"
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            // "*.*" means every file there; taken literally it would hide names without a
            // dot, and pictures are known by their bytes, not their names.
            const QString trimmed = pattern.trimmed();
            if (trimmed == QLatin1String("*.*"))
                patterns << QStringLiteral("*");
            else if (!trimmed.isEmpty())
                patterns << trimmed;
        }
        out << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                   QLatin1Char(')');
    }
    return out;
}

CPreviewFileDlg::CPreviewFileDlg(bool open, const QString& defaultExtension,
                                 const QString& fileName, const QString& filter, QWidget* parent)
    : QFileDialog(parent) {
    // Qt's own dialog, because a native one cannot take the preview area.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::HideNameFilterDetails, true);
    setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!defaultExtension.isEmpty())
        setDefaultSuffix(defaultExtension);
    const QStringList filters = ConvertFileFilter(filter);
    if (!filters.isEmpty())
        setNameFilters(filters);
    if (!fileName.isEmpty())
        selectFile(fileName);

    // The child area of template 134 under the file list.
    auto* area = new QWidget(this);
    CDialogBuilder builder(*FindDialogTemplate(IDD_PREVIEW_FILE));
    builder.SetFactory(IDC_PREVIEW_AREA, [](const CControlTemplate&, QWidget* p) -> QWidget* {
        return new CPreviewStatic(p);
    });
    builder.Build(area);
    area->setMinimumSize(area->size());
    m_preview = qobject_cast<CPreviewStatic*>(GetDlgItem(area, IDC_PREVIEW_AREA));
    m_width = qobject_cast<QLabel*>(GetDlgItem(area, IDC_PREVIEW_WIDTH));
    m_height = qobject_cast<QLabel*>(GetDlgItem(area, IDC_PREVIEW_HEIGHT));
    m_check = qobject_cast<QCheckBox*>(GetDlgItem(area, IDC_PREVIEW_CHECK));
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(area, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignLeft);
    if (m_check) {
        m_check->setChecked(m_previewOn);
        connect(m_check, &QCheckBox::clicked, this, [this] { OnPreviewCheck(); });
    }
    connect(this, &QFileDialog::currentChanged, this,
            [this](const QString& path) { OnFileNameChange(path); });
}

CPreviewFileDlg::~CPreviewFileDlg() = default;

QString CPreviewFileDlg::GetPathName() const {
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString CPreviewFileDlg::GetWidthText() const {
    return m_width ? m_width->text() : QString();
}

QString CPreviewFileDlg::GetHeightText() const {
    return m_height ? m_height->text() : QString();
}

void CPreviewFileDlg::ShowSize() {
    if (!m_width || !m_height)
        return;
    if (m_preview && m_preview->IsLoaded()) {
        m_width->setText(QString::asprintf("width: %i pixels", m_preview->GetFullWidth()));
        m_height->setText(QString::asprintf("height: %i pixels", m_preview->GetFullHeight()));
    } else {
        m_width->clear();
        m_height->clear();
    }
}

void CPreviewFileDlg::OnFileNameChange(const QString& path) {
    m_currentPath = path;
    if (path == m_lastPath)
        return;
    m_lastPath = path;
    if (m_previewOn && m_preview)
        m_preview->LoadPreview(path);
    ShowSize();
}

void CPreviewFileDlg::OnPreviewCheck() {
    m_previewOn = !m_previewOn;
    if (m_check)
        m_check->setChecked(m_previewOn);
    if (!m_preview)
        return;
    if (m_previewOn)
        m_preview->LoadPreview(m_currentPath);
    else
        m_preview->ClearPreview();
    ShowSize();
}
