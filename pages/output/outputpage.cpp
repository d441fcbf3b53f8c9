#include "pages/output/outputpage.h"

#include "imagelib/imageformats.h"

#include "controls/controlfactories.h"
#include "controls/imagebutton.h"
#include "controls/pagesetup.h"
#include "imagelib/imageformats.h"
#include "job/outputnames.h"
#include "pages/input/foldertree.h"
#include "pages/output/newfolderdlg.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/dialogbuilder.h"
#include "platform/dialognavigation.h"
#include "platform/filesystem.h"
#include "platform/messagebox.h"
#include "platform/pretranslate.h"
#include "platform/resourceloader.h"
#include "platform/tooltips.h"
#include "platform/waitcursor.h"
#include "resources/resource.h"
#include "resources/stringtable.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QThread>
#include <QTreeWidget>

#include <algorithm>
#include <type_traits>

namespace {

// The format choices and the outputtype each one stands for.
const COutputPage::CFormatButton kFormatButtons[] = {{IDC_OUT_BMP, kOutputBmp},
                                                     {IDC_OUT_JPG, kOutputJpeg},
                                                     {IDC_OUT_PNG, kOutputPng},
                                                     {IDC_OUT_WEBP, kOutputWebp},
                                                     {IDC_OUT_AVIF, kOutputAvif}};

// The quality's controls, which lossless JPEG output leaves without a use.
const int kQualityControls[] = {IDC_OUT_QUALITY_VALUE, IDC_OUT_QUALITY, IDC_OUT_PERCENT,
                                IDC_OUT_QUALITY_LABEL};

// Disabled while a run is active; the "jpg-quality :" label keeps its state. The preserve
// box is locked too: a click during the run would change the saved setting, not the run.
const int kRunLockedControls[] = {IDC_OUT_TREE,      IDC_OUT_FOLDER,    IDC_OUT_QUALITY_VALUE,
                                  IDC_OUT_OVERWRITE, IDC_OUT_QUALITY,   IDC_OUT_PERCENT,
                                  IDC_OUT_BMP,       IDC_OUT_JPG,       IDC_OUT_PNG,
                                  IDC_OUT_WEBP,      IDC_OUT_AVIF,      IDC_OUT_NEW_FOLDER,
                                  IDC_OUT_LOSSLESS,  IDC_OUT_PRESERVE,  IDC_OUT_BACKGROUND,
                                  IDC_OUT_SKIP,      IDC_OUT_KEEP_BOTH, IDC_OUT_NAME};

// The output size and the metadata choices: locked during a run like the format.
const int kSizeControls[] = {IDC_OUT_RESIZE_MODE, IDC_OUT_RESIZE_VALUE, IDC_OUT_ENLARGE,
                             IDC_OUT_STRIP_LOCATION, IDC_OUT_STRIP_METADATA};

// The size list's entries in the order of the resize modes.
const char* const kResizeModeNames[] = {"original size", "long side", "short side",
                                        "width",         "height",    "percent"};

// Growth fractions; a control anchored more than once gets the sum of its calls.
const CAnchorRow kAnchors[] = {
    {IDC_OUT_TREE, 0, 0, 0.5f, 1},
    {IDC_OUT_FOLDER, 0, 0, 0.5f, 0},
    {IDC_OUT_NEW_FOLDER, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_SETTINGS_GROUP, 0.5f, 0, 1, 0},
    {IDC_OUT_EXISTING_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_SKIP, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_OVERWRITE, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_KEEP_BOTH, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_PRESERVE, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_LOSSLESS, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_FORMAT_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_QUALITY_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_BMP, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_JPG, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_PNG, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_WEBP, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_AVIF, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_BACKGROUND, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_QUALITY_VALUE, 1, 0, 1, 0},
    {IDC_OUT_RESIZE_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_RESIZE_MODE, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_RESIZE_VALUE, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_RESIZE_UNIT, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_ENLARGE, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_STRIP_LOCATION, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_STRIP_METADATA, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_NAME_LABEL, 0.5f, 0, 0.5f, 0},
    // The name field stretches with the right column, as the slider does.
    {IDC_OUT_NAME, 0.5f, 0, 1, 0},
    {IDC_OUT_PERCENT, 1, 0, 1, 0},
    // The slider moves with the settings' left column and stretches to the right edge.
    {IDC_OUT_QUALITY, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_QUALITY, 0, 0, 0.5f, 0},
    {IDC_OUT_START, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_STOP, 1, 0, 1, 0},
    {IDC_OUT_LOG, 0.5f, 0, 1, 1},
    // The progress bar: the right column's width, and down with the bottom edge.
    {IDC_OUT_PROGRESS, 0.5f, 0, 0.5f, 0},
    {IDC_OUT_PROGRESS, 0, 1, 0, 1},
    {IDC_OUT_PROGRESS, 0, 0, 0.5f, 0},
};

const CToolRow kTools[] = {
    {IDC_OUT_TREE, IDS_TIP_OUTPUT_TREE},
    {IDC_OUT_START, IDS_TIP_START},
    {IDC_OUT_QUALITY, IDS_TIP_QUALITY},
    {IDC_OUT_OVERWRITE, IDS_TIP_OVERWRITE},
    {IDC_OUT_SKIP, IDS_TIP_SKIP},
    {IDC_OUT_KEEP_BOTH, IDS_TIP_KEEP_BOTH},
    {IDC_OUT_NAME, IDS_TIP_OUTPUT_NAME},
    {IDC_OUT_STOP, IDS_TIP_STOP},
    {IDC_OUT_BMP, IDS_TIP_BMP},
    {IDC_OUT_JPG, IDS_TIP_JPG},
    {IDC_OUT_PNG, IDS_TIP_PNG},
    {IDC_OUT_WEBP, IDS_TIP_WEBP},
    {IDC_OUT_AVIF, IDS_TIP_AVIF},
    {IDC_OUT_NEW_FOLDER, IDS_TIP_NEW_FOLDER},
    {IDC_OUT_PRESERVE, IDS_TIP_PRESERVE},
    {IDC_OUT_LOSSLESS, IDS_TIP_LOSSLESS},
    {IDC_OUT_RESIZE_MODE, IDS_TIP_RESIZE_MODE},
    {IDC_OUT_RESIZE_VALUE, IDS_TIP_RESIZE_VALUE},
    {IDC_OUT_ENLARGE, IDS_TIP_ENLARGE},
    {IDC_OUT_STRIP_LOCATION, IDS_TIP_STRIP_LOCATION},
    {IDC_OUT_STRIP_METADATA, IDS_TIP_STRIP_METADATA},
    {IDC_OUT_BACKGROUND, IDS_TIP_BACKGROUND},
};

std::optional<uint32_t> RunColourDialog(QWidget* parent, uint32_t current) {
    const QColor colour = QColorDialog::getColor(
        QColor(QRgb(current)), parent, QStringLiteral("Background of transparent Images"));
    if (!colour.isValid())
        return std::nullopt;
    return uint32_t(colour.rgb()) & 0xFFFFFFu;
}

std::optional<QString> RunNewFolderDialog(QWidget* parent) {
    CNewFolderDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.GetName();
}

void SetEnabled(const QWidget* page, int id, bool enabled) {
    if (QWidget* control = GetDlgItem(page, id))
        control->setEnabled(enabled);
}

// The run's log uses the window system's line ends; the field shows plain ones.
QString DisplayedLog(const std::string& log) {
    return QString::fromStdString(log).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

COutputPage::COutputPage(QWidget* parent)
    : CResizePropertyPage(parent), m_newFolder(RunNewFolderDialog), m_pickColour(RunColourDialog) {
    CDialogBuilder builder(*FindDialogTemplate(IDD_OUTPUT_PAGE));
    UseCommonControls(builder);
    builder.SetFactory(IDC_OUT_TREE,
                       [](const CControlTemplate&, QWidget* p) { return new CFolderTree(p); });
    InitFromTemplate(builder);

    m_tree = GetDlgItemAs<CFolderTree>(this, IDC_OUT_TREE);
    m_folderField = GetDlgItemAs<QLineEdit>(this, IDC_OUT_FOLDER);
    m_start = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_START);
    m_stop = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_STOP);
    m_quality = GetDlgItemAs<QSlider>(this, IDC_OUT_QUALITY);
    m_qualityValue = GetDlgItemAs<QLabel>(this, IDC_OUT_QUALITY_VALUE);
    m_log = GetDlgItemAs<QPlainTextEdit>(this, IDC_OUT_LOG);
    m_progress = GetDlgItemAs<QProgressBar>(this, IDC_OUT_PROGRESS);
    Q_ASSERT(m_tree && m_folderField && m_start && m_stop && m_quality && m_qualityValue && m_log &&
             m_progress);

    // 1. The image buttons.
    const CImageButtonRow buttons[] = {
        {IDC_OUT_START, IDI_START, 16, 16, 10, 40},
        {IDC_OUT_STOP, IDI_STOP, 16, 16, 10, 40},
        {IDC_OUT_NEW_FOLDER, IDI_NEW_FOLDER, 16, 16, 4, 30},
    };
    SetUpImageButtons(this, buttons);
    // 2. Anchors.
    AddAnchors(GetLayout(), kAnchors);
    // 3. Tooltips.
    m_toolTips = CreateToolTips(this, 100, kTools);

    // Starting values, so the page works before settings arrive.
    m_quality->setRange(0, 100);
    m_quality->setValue(100);
    m_qualityValue->setText(QStringLiteral("100"));
    m_stopEnabled = m_stop->isEnabled();
    m_stop->installEventFilter(this);
    m_resizeMode = GetDlgItemAs<QComboBox>(this, IDC_OUT_RESIZE_MODE);
    m_resizeValue = GetDlgItemAs<QLineEdit>(this, IDC_OUT_RESIZE_VALUE);
    Q_ASSERT(m_resizeMode && m_resizeValue);
    for (const char* name : kResizeModeNames)
        m_resizeMode->addItem(QString::fromUtf8(name));
    m_resizeValue->setValidator(new QIntValidator(1, kMaxResizePixels, m_resizeValue));
    SetOutputSize(CResizeRule{kResizeNone, 2048, false});
    if (auto* skip = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_SKIP))
        skip->setChecked(true);
    SetNameTemplate(COutputNamer::kDefault);
    connect(m_resizeMode, &QComboBox::currentIndexChanged, this, [this] { UpdateSizeControls(); });

    // Notifications.
    connect(m_tree, &CFolderTree::folderSelectionChanged, this,
            &COutputPage::OnFolderSelectionChanged);
    connect(m_folderField, &QLineEdit::editingFinished, this, &COutputPage::OnFolderTyped);
    // After a deletion moved the tree to the parent, a click on that parent, which changes
    // no selection, is the user choosing it.
    connect(m_tree, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        if (item == m_tree->currentItem() && !m_tree->GetFolderPath().isEmpty())
            m_folderField->setText(m_tree->GetFolderPath());
    });
    connect(m_start, &QAbstractButton::clicked, this, &COutputPage::StartRun);
    connect(m_stop, &QAbstractButton::clicked, this, &COutputPage::StopRun);
    for (const auto& format : kFormatButtons)
        if (auto* button = GetDlgItemAs<QAbstractButton>(this, format.id))
            connect(button, &QAbstractButton::clicked, this,
                    [this, id = format.id] { OnFormatClicked(id); });
    if (auto* button = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_LOSSLESS))
        connect(button, &QAbstractButton::toggled, this, [this] { UpdateQualityControls(); });
    // While the slider is dragged too: tracking is on.
    connect(m_quality, &QSlider::valueChanged, this, &COutputPage::OnQualityChanged);
    if (auto* button = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_NEW_FOLDER))
        connect(button, &QAbstractButton::clicked, this, &COutputPage::OnNewFolder);
    if (auto* button = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_BACKGROUND))
        connect(button, &QAbstractButton::clicked, this, &COutputPage::OnBackgroundClicked);
    SetBackgroundColour(m_backgroundColour);

    m_preTranslate =
        std::make_unique<CPreTranslateHook>(this, [this](QWidget* target, QEvent* event) {
            return event->type() == QEvent::KeyPress &&
                   PreTranslateKey(target, static_cast<QKeyEvent*>(event));
        });
}

COutputPage::~COutputPage() {
    // The worker's calls land on this page's controls: it must be over before they go.
    EndRun();
}

bool COutputPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_stop && event->type() == QEvent::EnabledChange)
        m_stopEnabled = !m_stop->testAttribute(Qt::WA_ForceDisabled);
    return CResizePropertyPage::eventFilter(watched, event);
}

template <class F> auto COutputPage::InUiThread(F f) {
    using R = std::invoke_result_t<F>;
    if (QThread::currentThread() == thread())
        return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(this, std::move(f), Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(this, std::move(f), Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

bool COutputPage::IsChecked(int id) const {
    const auto* button = GetDlgItemAs<QAbstractButton>(this, id);
    return button && button->isChecked();
}

// ---- Handlers

void COutputPage::OnFolderSelectionChanged() {
    // A chosen folder deleted outside the program moves the tree to its parent; the field
    // keeps the folder the user chose, so a start is refused instead of writing elsewhere.
    if (m_tree->IsFollowingDeletion())
        return;
    m_folderField->setText(m_tree->GetFolderPath());
}

void COutputPage::OnFolderTyped() {
    QString folder = m_folderField->text().trimmed();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return; // stays as typed; a start refuses it
    folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // The tree shows where the output goes; a folder it cannot reach (hidden, say) is
    // taken all the same, with the separator the run appends names to.
    if (!m_tree->SelectFolderPath(folder, true) || m_tree->GetFolderPath() != folder + '/')
        m_folderField->setText(folder == QLatin1String("/") ? folder : folder + '/');
}

QString COutputPage::GetSummaryText() const {
    // During a run the bar counts the files instead.
    if (m_stamping || IsWorkerRunning())
        return QString();
    return m_progress->isTextVisible() ? m_progress->format() : QString();
}

QString COutputPage::GetProgressText() const {
    return m_progress->isTextVisible() ? m_progress->text() : QString();
}

QString COutputPage::SummaryText(const CStampJobSummary& summary) {
    QString text = QStringLiteral("%1 created, %2 skipped, %3 failed")
                       .arg(summary.created)
                       .arg(summary.skipped)
                       .arg(summary.failed);
    if (summary.canceled)
        text += QStringLiteral(" (stopped)");
    return text;
}

void COutputPage::EnableFormatDependentControls(int outputType) {
    const CImageFormat* format = OutputFormat(outputType);
    const bool quality = format && format->quality;
    for (const int id : kQualityControls)
        SetEnabled(this, id, quality);
    SetEnabled(this, IDC_OUT_PRESERVE, format && format->exif);
    SetEnabled(this, IDC_OUT_LOSSLESS, outputType == kOutputJpeg);
    UpdateQualityControls();
}

std::span<const COutputPage::CFormatButton> COutputPage::FormatButtons() {
    return kFormatButtons;
}

int COutputPage::OutputTypeButton(int outputType) {
    for (const auto& format : kFormatButtons)
        if (format.outputType == outputType)
            return format.id;
    return IDC_OUT_JPG;
}

int COutputPage::GetCheckedOutputType() const {
    for (const auto& format : kFormatButtons)
        if (IsChecked(format.id))
            return format.outputType;
    return kOutputJpeg;
}

void COutputPage::UpdateQualityControls() {
    // Lossless is a JPEG matter: WebP and AVIF keep their quality whatever the box says.
    const bool losslessChecked = IsChecked(IDC_OUT_LOSSLESS);
    const CImageFormat* format = OutputFormat(GetCheckedOutputType());
    const bool otherQuality = format && format->quality && !IsChecked(IDC_OUT_JPG);
    const bool lossless = losslessChecked && !otherQuality;
    if (lossless)
        for (const int id : kQualityControls)
            SetEnabled(this, id, false);
    else if (format && format->quality && !m_stamping)
        for (const int id : kQualityControls)
            SetEnabled(this, id, true);
    // The tip says why the slider does not move.
    if (m_toolTips)
        m_toolTips->AddTool(m_quality, QString::fromUtf8(LoadResourceString(
                                           lossless ? IDS_TIP_QUALITY_LOSSLESS : IDS_TIP_QUALITY)));
}

void COutputPage::SetNameTemplate(const std::string& text) {
    if (auto* field = GetDlgItemAs<QLineEdit>(this, IDC_OUT_NAME))
        field->setText(QString::fromStdString(text));
}

std::string COutputPage::GetNameTemplate() const {
    const auto* field = GetDlgItemAs<QLineEdit>(this, IDC_OUT_NAME);
    return field ? field->text().toStdString() : std::string();
}

void COutputPage::SetOutputSize(const CResizeRule& rule) {
    m_resizeMode->setCurrentIndex(
        std::clamp(int(rule.mode), int(kResizeNone), int(kResizePercent)));
    m_resizeValue->setText(QString::number(rule.value));
    if (auto* enlarge = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_ENLARGE))
        enlarge->setChecked(rule.enlarge);
    UpdateSizeControls();
}

std::optional<CResizeRule> COutputPage::GetOutputSize() const {
    CResizeRule rule;
    rule.mode = std::max(0, m_resizeMode->currentIndex());
    rule.enlarge = IsChecked(IDC_OUT_ENLARGE);
    bool number = false;
    rule.value = m_resizeValue->text().trimmed().toInt(&number);
    const int maximum = rule.mode == kResizePercent ? kMaxResizePercent : kMaxResizePixels;
    if (!number || rule.value < 1 || rule.value > maximum) {
        if (rule.mode != kResizeNone)
            return std::nullopt;
        rule.value = 2048; // no size asked for: what the box says does not matter
    }
    return rule;
}

void COutputPage::UpdateSizeControls() {
    const bool sized = m_resizeMode->currentIndex() > kResizeNone;
    const bool percent = m_resizeMode->currentIndex() == kResizePercent;
    if (auto* unit = GetDlgItemAs<QLabel>(this, IDC_OUT_RESIZE_UNIT))
        unit->setText(percent ? QStringLiteral("%") : QStringLiteral("px"));
    if (!m_stamping) {
        SetEnabled(this, IDC_OUT_RESIZE_VALUE, sized);
        SetEnabled(this, IDC_OUT_RESIZE_UNIT, sized);
        SetEnabled(this, IDC_OUT_ENLARGE, sized);
    }
}

bool COutputPage::IsLosslessChecked() const {
    return IsChecked(IDC_OUT_LOSSLESS);
}

bool COutputPage::IsJpegOutputChecked() const {
    return IsChecked(IDC_OUT_JPG);
}

void COutputPage::OnFormatClicked(int controlId) {
    if (!IsChecked(controlId))
        return;
    EnableFormatDependentControls(GetCheckedOutputType());
    UpdateBackgroundButton();
}

void COutputPage::SetBackgroundColour(uint32_t rgb) {
    m_backgroundColour = rgb & 0xFFFFFFu;
    auto* button = GetDlgItemAs<QAbstractButton>(this, IDC_OUT_BACKGROUND);
    if (!button)
        return;
    // The colour itself on the button, framed so that white shows on a light face.
    const QSize size = button->size() - QSize(8, 6);
    QPixmap swatch(size.expandedTo(QSize(4, 4)));
    swatch.fill(QColor(QRgb(m_backgroundColour)));
    QPainter painter(&swatch);
    painter.setPen(button->palette().color(QPalette::WindowText));
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    painter.end();
    button->setIcon(QIcon(swatch));
    button->setIconSize(swatch.size());
    button->setAccessibleName(QStringLiteral("background colour %1,%2,%3")
                                  .arg(m_backgroundColour >> 16)
                                  .arg((m_backgroundColour >> 8) & 0xFF)
                                  .arg(m_backgroundColour & 0xFF));
}

void COutputPage::OnBackgroundClicked() {
    if (const std::optional<uint32_t> colour =
            m_pickColour ? m_pickColour(this, m_backgroundColour) : std::nullopt)
        SetBackgroundColour(*colour);
}

void COutputPage::UpdateBackgroundButton() {
    // A format that keeps the photo's transparency needs no colour under it.
    const CImageFormat* format = OutputFormat(GetCheckedOutputType());
    SetEnabled(this, IDC_OUT_BACKGROUND, !m_stamping && !(format && format->alpha));
}

void COutputPage::OnQualityChanged(int value) {
    m_qualityValue->setText(QString::asprintf("%i", value));
}

void COutputPage::OnNewFolder() {
    const std::optional<QString> name = m_newFolder ? m_newFolder(this) : std::nullopt;
    if (!name)
        return;
    const QString base = m_tree->GetFolderPath();
    const QString path = base + *name;
    // Without a selected folder there is no base: a bare name would land in whatever
    // folder the program happens to run in.
    const CMakeFolderResult result =
        base.isEmpty() ? CMakeFolderResult::NotFound : MakeFolder(path);
    switch (result) {
    case CMakeFolderResult::AlreadyExists:
        ShowMessageBox(this,
                       QStringLiteral("could not create new folder:\n folder already existing"),
                       CMessageIcon::Error);
        return;
    case CMakeFolderResult::NotFound:
        ShowMessageBox(this, QStringLiteral("could not create new folder:\n folder not found"),
                       CMessageIcon::Error);
        return;
    case CMakeFolderResult::UnknownError:
        ShowMessageBox(
            this,
            QStringLiteral("could not create new folder:\n unknown error (check permissions)"),
            CMessageIcon::Error);
        return;
    case CMakeFolderResult::Created:
        break;
    }
    ShowMessageBox(this, QLatin1Char('"') + path + QStringLiteral("\" created"),
                   CMessageIcon::Information);
    CWaitCursor wait;
    // The drive is listed afresh so that the new folder has an item, then the selection
    // walks down to it from the drive's root.
    const int drive = m_tree->DriveIndexOfPath(base);
    if (drive >= 0) {
        m_tree->RefreshDrive(drive);
        const QString root = m_tree->DriveRoot(drive);
        m_tree->SelectFolderPath(root, true);
        m_tree->SelectFolderPath(root, true);
    }
    m_tree->SelectFolderPath(path, true);
}

bool COutputPage::PreTranslateKey(QWidget* target, QKeyEvent* event) {
    // Past the last stop (or before the first) Tab goes to the tab strip.
    return NavigateDialog(this, target, event, m_host.tabControl ? m_host.tabControl() : nullptr);
}

// ---- The run

void COutputPage::StartRun() {
    // A worker past its end step (start enabled again) whose join is still queued.
    OnWorkerEnded();
    if (m_stamping || IsWorkerRunning())
        return;
    const QStringList files = m_host.selectedFiles ? m_host.selectedFiles() : QStringList();
    const CRunStamp stamp = m_host.runStamp ? m_host.runStamp() : CRunStamp();

    // 1. Every reason at once.
    QString reasons;
    if (files.isEmpty())
        reasons += QStringLiteral("- no input files selected \r\n");
    if (!stamp.previewed)
        reasons += QStringLiteral("- you have not previed your stamping \r\n");
    if (!stamp.description)
        reasons += QStringLiteral("- you have not selected a stamp \r\n");
    else if (const std::string unknown = UnknownStampPlaceholder(*stamp.description);
             !unknown.empty())
        reasons += QStringLiteral("- unknown placeholder %1 in the stamp text \r\n")
                       .arg(QString::fromStdString(unknown));
    const QString folder = m_folderField->text();
    if (folder.isEmpty() || !FolderExists(folder))
        reasons += QStringLiteral("- folder not found \r\n");
    const std::string nameTemplate = GetNameTemplate();
    if (std::string problem; !COutputNamer().Parse(nameTemplate, problem))
        reasons += QStringLiteral("- file name: %1 \r\n").arg(QString::fromStdString(problem));
    // 2. Every file goes to the run, so that one deleted since it was chosen gets its line
    // in the log rather than vanishing without a word.
    m_paths.clear();
    m_titles.clear();
    bool anyLeft = false;
    for (const QString& file : files) {
        anyLeft = anyLeft || FileExists(file);
        m_paths.push_back(file.toStdString());
        m_titles.push_back(FileTitle(file.toStdString()));
    }
    // 3.
    if (!files.isEmpty() && !anyLeft)
        reasons += QStringLiteral("- all of the selected files are no longer valid \r\n");
    const std::optional<CResizeRule> outputSize = GetOutputSize();
    if (!outputSize)
        reasons += m_resizeMode->currentIndex() == kResizePercent
                       ? QStringLiteral("- the output size must be 1 to 1000 percent \r\n")
                       : QStringLiteral("- the output size must be 1 to 65535 pixels \r\n");
    // 4.
    if (!reasons.isEmpty()) {
        ShowMessageBox(
            this,
            QStringLiteral("Could not stamp because of the following reasons: \r\n\r\n") + reasons,
            CMessageIcon::Error);
        return;
    }

    // 5. The placement as the preview shows it; the stamp is shaped for each photo from a
    // copy made now, as the preview shapes it for the sample.
    auto params = std::make_unique<CStampJobParams>(
        StampJobParams(*this, *stamp.description, MakeStamp(*stamp.description),
                       DefaultJobWorkers(), IsChecked(IDC_OUT_LOSSLESS), m_backgroundColour));
    params->resize = *outputSize;
    params->stripLocation = IsChecked(IDC_OUT_STRIP_LOCATION);
    params->stripMetadata = IsChecked(IDC_OUT_STRIP_METADATA);
    params->nameTemplate = nameTemplate;
    params->keepBoth = IsChecked(IDC_OUT_KEEP_BOTH);

    // 6.
    m_stamping = true;
    m_start->setEnabled(false);
    m_stop->setEnabled(true);
    m_stop->setFocus(Qt::OtherFocusReason);
    for (const int id : kRunLockedControls)
        SetEnabled(this, id, false);
    for (const int id : kSizeControls)
        SetEnabled(this, id, false);
    // 7. The range counts the list's entries, the worker only the files found.
    m_progress->setRange(0, int(files.size()));
    m_progress->setValue(0);
    // "12 / 30" while the run goes; the last run's summary goes.
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_progress->setTextVisible(true);
    m_logText.clear();
    m_log->clear();

    // 8.
    m_workerDone = false;
    m_summary = {};
    m_worker = std::thread([this, params = std::move(params)]() mutable {
        // Read by this page only after the join.
        m_summary = CStampJob(*params).Run();
        params.reset();
        m_workerDone = true;
        // Joined in this page's thread, where nobody waits on the worker any more.
        QMetaObject::invokeMethod(
            this, [this] { OnWorkerEnded(); }, Qt::QueuedConnection);
    });
}

void COutputPage::StopRun() {
    m_stop->setEnabled(false);
}

void COutputPage::OnWorkerEnded() {
    if (!m_worker.joinable() || !m_workerDone)
        return;
    m_worker.join();
    ShowSummary();
    emit runFinished();
}

void COutputPage::ShowSummary() {
    // Under the log, whose lines stay as the engine wrote them.
    m_progress->setFormat(SummaryText(m_summary));
    m_progress->setTextVisible(true);
}

void COutputPage::EndRun() {
    if (!m_worker.joinable())
        return;
    StopRun();
    if (!m_workerDone) {
        // The worker's calls must still be carried out here, or it would wait forever;
        // clicks and keys wait until the run is over.
        QEventLoop loop;
        connect(this, &COutputPage::runFinished, &loop, &QEventLoop::quit);
        if (!m_workerDone)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    // Done: the worker makes no more calls and is returning, if it has not yet.
    if (m_worker.joinable()) {
        m_worker.join();
        ShowSummary();
        emit runFinished();
    }
}

// ---- CStampJobHost

int COutputPage::GetJpegQuality() {
    return InUiThread([this] { return m_quality->value(); });
}

bool COutputPage::IsPreserveHeadersChecked() {
    return InUiThread([this] { return IsChecked(IDC_OUT_PRESERVE); });
}

std::string COutputPage::GetOutputFolder() {
    return InUiThread([this] { return m_folderField->text().toStdString(); });
}

bool COutputPage::IsBmpChecked() {
    return InUiThread([this] { return IsChecked(IDC_OUT_BMP); });
}

bool COutputPage::IsPngChecked() {
    return InUiThread([this] { return IsChecked(IDC_OUT_PNG); });
}

int COutputPage::GetOutputType() {
    return InUiThread([this] { return GetCheckedOutputType(); });
}

int COutputPage::GetFileCount() {
    return int(m_paths.size());
}

std::string COutputPage::GetFilePath(int index) {
    return m_paths[size_t(index)];
}

std::vector<std::string> COutputPage::GetFilePaths() {
    return m_paths;
}

std::string COutputPage::GetFileTitle(int index) {
    return m_titles[size_t(index)];
}

bool COutputPage::IsOverwriteChecked() {
    return InUiThread([this] { return IsChecked(IDC_OUT_OVERWRITE); });
}

bool COutputPage::IsStopEnabled() {
    return m_stopEnabled;
}

std::string COutputPage::GetLogText() {
    return InUiThread([this] { return m_logText; });
}

void COutputPage::SetLogText(const std::string& text) {
    InUiThread([this, &text] {
        m_logText = text;
        m_log->setPlainText(DisplayedLog(m_logText));
        // Setting the text scrolls to the first line; the newest is the one to see, also
        // for the closing "canceled" that no scroll request follows.
        m_log->verticalScrollBar()->setValue(m_log->verticalScrollBar()->maximum());
        // Queued: whatever listens runs after this call, never inside it, so it cannot
        // end up waiting on the worker that waits on this call.
        QMetaObject::invokeMethod(this, &COutputPage::logChanged, Qt::QueuedConnection);
    });
}

void COutputPage::ScrollLogToEnd() {
    InUiThread([this] {
        QScrollBar* bar = m_log->verticalScrollBar();
        bar->setValue(bar->maximum());
        m_log->repaint();
    });
}

void COutputPage::SetProgressPosition(int position) {
    InUiThread([this, position] { m_progress->setValue(position); });
}

void COutputPage::ClearStampingFlag() {
    InUiThread([this] { m_stamping = false; });
}

void COutputPage::EnableRunControls() {
    InUiThread([this] {
        m_start->setEnabled(true);
        m_start->setFocus(Qt::OtherFocusReason);
        m_stop->setEnabled(false);
        m_tree->setEnabled(true);
        m_folderField->setEnabled(true);
    });
}

void COutputPage::EnableFormatControls(bool qualityOutput) {
    InUiThread([this, qualityOutput] {
        for (const int id :
             {IDC_OUT_SKIP, IDC_OUT_OVERWRITE, IDC_OUT_KEEP_BOTH, IDC_OUT_NAME, IDC_OUT_NEW_FOLDER})
            SetEnabled(this, id, true);
        for (const int id : {IDC_OUT_RESIZE_MODE, IDC_OUT_STRIP_LOCATION, IDC_OUT_STRIP_METADATA})
            SetEnabled(this, id, true);
        UpdateSizeControls();
        for (const auto& format : kFormatButtons)
            SetEnabled(this, format.id, true);
        const CImageFormat* chosen = OutputFormat(GetCheckedOutputType());
        SetEnabled(this, IDC_OUT_PRESERVE, chosen && chosen->exif);
        if (qualityOutput) {
            for (const int id : {IDC_OUT_QUALITY_VALUE, IDC_OUT_PERCENT, IDC_OUT_QUALITY})
                SetEnabled(this, id, true);
            SetEnabled(this, IDC_OUT_LOSSLESS, IsChecked(IDC_OUT_JPG));
            UpdateQualityControls();
        }
        UpdateBackgroundButton();
    });
}
