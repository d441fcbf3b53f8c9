#include "pages/input/inputpage.h"

#include "controls/controlfactories.h"
#include "controls/extentlistbox.h"
#include "controls/imagebutton.h"
#include "controls/pagesetup.h"
#include "core/stampdisplay.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/textexception.h"
#include "pages/input/filedroplistbox.h"
#include "pages/input/foldertree.h"
#include "pages/pagehost.h"
#include "pages/position/imageviewer.h"
#include "platform/dialogbuilder.h"
#include "platform/dialognavigation.h"
#include "platform/pretranslate.h"
#include "platform/resourceloader.h"
#include "platform/tooltips.h"
#include "platform/waitcursor.h"
#include "resources/resource.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QSet>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace {

// The four columns share the page's width in quarters; the buttons stay under their
// lists and the preview takes the upper quarter of the right column.
const CAnchorRow kAnchors[] = {
    {IDC_IN_TREE, 0, 0, 0.25f, 1},
    {IDC_IN_FILE_LIST, 0.25f, 0, 0.5f, 1},
    {IDC_IN_ADD_ALL, 0.25f, 1, 0.375f, 1},
    {IDC_IN_ADD_SELECTED, 0.385f, 1, 0.5f, 1},
    {IDC_IN_SELECTED_LIST, 0.5f, 0, 0.75f, 1},
    {IDC_IN_REMOVE_SELECTED, 0.5f, 1, 0.625f, 1},
    {IDC_IN_REMOVE_ALL, 0.635f, 1, 0.75f, 1},
    {IDC_IN_PREVIEW, 0.75f, 0, 1, 0.25f},
    {IDC_IN_SELECTED_LABEL, 0.5f, 0, 0.75f, 0},
    {IDC_IN_FILES_LABEL, 0.25f, 0, 0.5f, 0},
    {IDC_IN_PREVIEW_CHECK, 0.75f, 0.25f, 0.75f, 0.25f},
    {IDC_IN_WIDTH_LABEL, 0.75f, 0.25f, 0.75f, 0.25f},
    {IDC_IN_HEIGHT_LABEL, 0.75f, 0.25f, 0.75f, 0.25f},
};

const CImageButtonRow kButtons[] = {
    {IDC_IN_ADD_ALL, IDI_ADD_ALL, 20, 18, 4, 26},
    {IDC_IN_ADD_SELECTED, IDI_ADD_SELECTED, 17, 17, 4, 23},
    {IDC_IN_REMOVE_ALL, IDI_REMOVE_ALL, 20, 18, 4, 26},
    {IDC_IN_REMOVE_SELECTED, IDI_REMOVE_SELECTED, 17, 17, 4, 23},
};

const CToolRow kTools[] = {
    {IDC_IN_TREE, IDS_TIP_INPUT_TREE},
    {IDC_IN_FILE_LIST, IDS_TIP_FILE_LIST},
    {IDC_IN_SELECTED_LIST, IDS_TIP_SELECTED_LIST},
    {IDC_IN_ADD_ALL, IDS_TIP_ADD_ALL},
    {IDC_IN_ADD_SELECTED, IDS_TIP_ADD_SELECTED},
    {IDC_IN_REMOVE_ALL, IDS_TIP_REMOVE_ALL},
    {IDC_IN_REMOVE_SELECTED, IDS_TIP_REMOVE_SELECTED},
    {IDC_IN_PREVIEW_CHECK, IDS_TIP_PREVIEW_CHECK},
    {IDC_IN_PREVIEW, IDS_TIP_PREVIEW},
};

constexpr int kToolTipWidth = 80;

// The preview with the sunken edge of its template.
class CSunkenViewer : public CImageViewer {
public:
    using CImageViewer::CImageViewer;

protected:
    void paintEvent(QPaintEvent* event) override {
        CImageViewer::paintEvent(event);
        QPainter painter(this);
        QStyleOptionFrame option;
        option.initFrom(this);
        option.rect = rect();
        option.lineWidth = 1;
        option.midLineWidth = 0;
        option.state |= QStyle::State_Sunken;
        option.frameShape = QFrame::StyledPanel;
        style()->drawPrimitive(QStyle::PE_Frame, &option, &painter, this);
    }
};

QWidget* CreatePreview(const CControlTemplate& control, QWidget* parent) {
    auto* viewer = new CSunkenViewer(parent);
    viewer->SetNotify(control.style & QM_SS_NOTIFY);
    return viewer;
}

QWidget* CreateDropList(const CControlTemplate& control, QWidget* parent) {
    auto* list = new CFileDropListBox(parent);
    ConfigureExtentListBox(*list, control);
    return list;
}

QWidget* CreateTree(const CControlTemplate&, QWidget* parent) {
    return new CFolderTree(parent);
}

} // namespace

CInputPage::CInputPage(QWidget* parent)
    : CResizePropertyPage(parent), m_accelerators(CAcceleratorTable::Load(IDR_ACCELERATORS)) {
    CDialogBuilder builder(*FindDialogTemplate(IDD_INPUT_PAGE));
    const int extentLists[] = {IDC_IN_FILE_LIST, 0};
    UseCommonControls(builder, extentLists);
    builder.SetFactory(IDC_IN_SELECTED_LIST, CreateDropList);
    builder.SetFactory(IDC_IN_PREVIEW, CreatePreview);
    builder.SetFactory(IDC_IN_TREE, CreateTree);
    // 1. The resizable page's own initialisation.
    InitFromTemplate(builder);

    m_widthLabel = GetDlgItemAs<QLabel>(this, IDC_IN_WIDTH_LABEL);
    m_heightLabel = GetDlgItemAs<QLabel>(this, IDC_IN_HEIGHT_LABEL);
    m_previewCheck = GetDlgItemAs<QCheckBox>(this, IDC_IN_PREVIEW_CHECK);
    m_selectedList = GetDlgItemAs<CFileDropListBox>(this, IDC_IN_SELECTED_LIST);
    m_preview = GetDlgItemAs<CImageViewer>(this, IDC_IN_PREVIEW);
    m_fileList = GetDlgItemAs<CExtentListBox>(this, IDC_IN_FILE_LIST);
    m_tree = GetDlgItemAs<CFolderTree>(this, IDC_IN_TREE);
    Q_ASSERT(m_widthLabel && m_heightLabel && m_previewCheck && m_selectedList && m_preview &&
             m_fileList && m_tree);

    // 2. Button images.
    SetUpImageButtons(this, kButtons);
    // 3. Anchors.
    AddAnchors(GetLayout(), kAnchors);
    // 4. Tooltips.
    m_toolTips = CreateToolTips(this, kToolTipWidth, kTools);
    // 5.
    m_preview->SetFitOnResize(true);
    // Browsing big pictures and broken files: the preview decodes no more than it shows
    // and says what is wrong with a file itself, without a box to click away.
    m_preview->SetReducedLoading(true);
    m_preview->SetErrorsInside(true);
    // Photos show as any viewer shows them: upright by their EXIF orientation, with the
    // size as displayed.
    m_preview->SetShowUpright(true);
    m_filesLabel = GetDlgItemAs<QLabel>(this, IDC_IN_FILES_LABEL);
    m_selectedLabel = GetDlgItemAs<QLabel>(this, IDC_IN_SELECTED_LABEL);
    // The counts follow every change of the lists, however it came about.
    for (CExtentListBox* list : {m_fileList, static_cast<CExtentListBox*>(m_selectedList)}) {
        connect(list->model(), &QAbstractItemModel::rowsInserted, this, &CInputPage::UpdateCounts);
        connect(list->model(), &QAbstractItemModel::rowsRemoved, this, &CInputPage::UpdateCounts);
        connect(list->model(), &QAbstractItemModel::modelReset, this, &CInputPage::UpdateCounts);
    }
    UpdateCounts();

    // Notifications.
    connect(m_fileList, &QListWidget::itemSelectionChanged, this,
            [this] { OnListSelectionChanged(m_fileList); });
    connect(m_selectedList, &QListWidget::itemSelectionChanged, this,
            [this] { OnListSelectionChanged(m_selectedList); });
    connect(m_selectedList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item && !item->text().isEmpty())
            emit sampleChosen(item->text());
    });
    connect(m_tree, &CFolderTree::folderSelectionChanged, this, &CInputPage::RefillFileList);
    connect(m_tree, &CFolderTree::treeFolderChanged, this, &CInputPage::RefillFileList);
    const std::pair<int, void (CInputPage::*)()> clicks[] = {
        {IDC_IN_ADD_SELECTED, &CInputPage::AddSelectedFiles},
        {IDC_IN_ADD_ALL, &CInputPage::AddAllFiles},
        {IDC_IN_REMOVE_SELECTED, &CInputPage::RemoveSelectedFiles},
        {IDC_IN_REMOVE_ALL, &CInputPage::RemoveAllFiles},
        {IDC_IN_PREVIEW_CHECK, &CInputPage::OnPreviewSwitch},
    };
    for (const auto& [id, handler] : clicks)
        if (auto* button = GetDlgItemAs<QAbstractButton>(this, id))
            connect(button, &QAbstractButton::clicked, this, handler);
    connect(m_preview, &CImageViewer::commandRequested, this, &CInputPage::OnCommand);

    m_preTranslate =
        std::make_unique<CPreTranslateHook>(this, [this](QWidget* target, QEvent* event) {
            if (CPageHost* host = CPageHost::Get())
                host->HideSplash();
            return event->type() == QEvent::KeyPress &&
                   PreTranslateKey(target, static_cast<QKeyEvent*>(event));
        });
}

CInputPage::~CInputPage() {
    // The lists' models announce their reset while the lists die, after this page has
    // become a plain widget: the counts must not hear it.
    for (CExtentListBox* list : {m_fileList, static_cast<CExtentListBox*>(m_selectedList)})
        if (list)
            list->model()->disconnect(this);
}

// ---- What other parts read and set

QStringList CInputPage::GetSelectedFiles() const {
    return m_selectedList->GetAllTexts();
}

bool CInputPage::IsPreviewChecked() const {
    return m_previewCheck->isChecked();
}

void CInputPage::SetPreviewChecked(bool checked) {
    m_previewCheck->setChecked(checked);
}

QString CInputPage::GetWidthLabelText() const {
    return m_widthLabel->text();
}

QString CInputPage::GetHeightLabelText() const {
    return m_heightLabel->text();
}

QString CInputPage::GetFilesLabelText() const {
    return m_filesLabel ? m_filesLabel->text() : QString();
}

QString CInputPage::GetSelectedLabelText() const {
    return m_selectedLabel ? m_selectedLabel->text() : QString();
}

// ---- Lists

QString CInputPage::CountLabelText(const QString& name, int count) {
    return QStringLiteral("%1 (%2)").arg(name, QLocale().toString(count));
}

void CInputPage::UpdateCounts() {
    // Label updates are cheap, but a refill of thousands of names inserts them one by one:
    // the texts are set once the event loop is back.
    if (m_countsPending)
        return;
    m_countsPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_countsPending = false;
            if (m_filesLabel)
                m_filesLabel->setText(CountLabelText(QStringLiteral("files"), m_fileList->count()));
            if (m_selectedLabel)
                m_selectedLabel->setText(
                    CountLabelText(QStringLiteral("selected files"), m_selectedList->count()));
        },
        Qt::QueuedConnection);
}

QList<int> CInputPage::SelectedRows(const CExtentListBox* list) {
    QList<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CInputPage::HasFocus(const QWidget* widget) {
    // The keyboard focus inside the window, whether or not the window is active.
    return widget && widget->window()->focusWidget() == widget;
}

void CInputPage::RefillFileList() {
    const CWaitCursor wait;
    const QString folder = m_tree->GetFolderPath();
    // Emptying the list is no selection made by the user: the preview stays.
    const QSignalBlocker blocker(m_fileList);
    m_fileList->ResetContent();
    if (folder.isEmpty())
        return;
    m_fileList->setUpdatesEnabled(false);
    for (const QString& name : ListPictureFiles(folder))
        m_fileList->AddString(name);
    m_fileList->setUpdatesEnabled(true);
}

void CInputPage::AddFiles(const QList<int>& rows) {
    const QString folder = m_tree->GetFolderPath();
    m_selectedList->setUpdatesEnabled(false);
    const QStringList entries = m_selectedList->GetAllTexts();
    const QSet<QString> snapshot(entries.begin(), entries.end());
    for (int row : rows) {
        const QString path = folder + m_fileList->GetText(row);
        if (!snapshot.contains(path))
            m_selectedList->AddString(path);
    }
    m_selectedList->setUpdatesEnabled(true);
}

void CInputPage::AddSelectedFiles() {
    const CWaitCursor wait;
    AddFiles(SelectedRows(m_fileList));
}

void CInputPage::AddAllFiles() {
    const CWaitCursor wait;
    QList<int> rows;
    rows.reserve(m_fileList->count());
    for (int row = 0; row < m_fileList->count(); ++row)
        rows.append(row);
    AddFiles(rows);
}

void CInputPage::RemoveSelectedFiles() {
    const CWaitCursor wait;
    const QList<int> rows = SelectedRows(m_selectedList);
    if (rows.isEmpty())
        return;
    const QSignalBlocker blocker(m_selectedList);
    m_selectedList->setUpdatesEnabled(false);
    // The extent is measured once, with the last deletion.
    for (int i = 0; i < rows.size(); ++i) {
        const int index = rows[i] - i;
        if (i + 1 < rows.size())
            m_selectedList->DeleteStringKeepExtent(index);
        else
            m_selectedList->DeleteString(index);
    }
    m_selectedList->setUpdatesEnabled(true);
}

void CInputPage::RemoveAllFiles() {
    const QSignalBlocker blocker(m_selectedList);
    m_selectedList->ResetContent();
}

void CInputPage::SelectAll() {
    for (CExtentListBox* list : {m_fileList, static_cast<CExtentListBox*>(m_selectedList)}) {
        if (!HasFocus(list))
            continue;
        if (list->count() > 0) {
            // No selection-changed notification: the preview stays as it is.
            const QSignalBlocker blocker(list);
            list->selectAll();
        }
        return;
    }
}

// ---- Preview

void CInputPage::ClearPreviewLabels() {
    m_widthLabel->clear();
    m_heightLabel->clear();
}

void CInputPage::OnListSelectionChanged(CExtentListBox* list) {
    if (m_previewCheck->isChecked())
        ShowPreview(list);
}

void CInputPage::ShowPreview(CExtentListBox* list) {
    if (!list || list->count() == 0)
        return;
    const QList<int> rows = SelectedRows(list);
    if (rows.isEmpty())
        return;
    int row = rows.front();
    if (rows.size() > 1) {
        const int caret = list->currentRow();
        if (caret >= 0 && list->item(caret)->isSelected())
            row = caret;
    }
    const CWaitCursor wait;
    const QString text = list->GetText(row);
    if (text.isEmpty()) {
        ClearPreviewLabels();
        return;
    }
    // The file list holds names of the current folder, the selected-files list full paths.
    const QString path = list == m_fileList ? m_tree->GetFolderPath() + text : text;
    if (!m_preview->LoadPictureFile(path, true)) {
        ClearPreviewLabels();
        m_preview->PaintPicture(); // the message in the preview area
        return;
    }
    // A preview decoded reduced still tells the file's own size.
    const QSize size = m_preview->GetFullSize();
    m_widthLabel->setText(QString::asprintf("width: %i pixels", size.width()));
    m_heightLabel->setText(QString::asprintf("height: %i pixels", size.height()));
    m_preview->PaintPicture();
}

void CInputPage::OnPreviewSwitch() {
    if (!m_previewCheck->isChecked()) {
        ClearPreviewLabels();
        m_preview->ClearPicture();
        return;
    }
    if (!SelectedRows(m_fileList).isEmpty())
        ShowPreview(m_fileList);
    else if (!SelectedRows(m_selectedList).isEmpty())
        ShowPreview(m_selectedList);
}

void CInputPage::OnCopy() {
    if (!HasFocus(m_preview) || !m_preview->IsLoaded())
        return;
    const CWaitCursor wait;
    if (!m_preview->IsReduced()) {
        CopyToClipboard(m_preview->GetPicture());
        return;
    }
    // What is copied is the file's picture, not the preview's reduction of it.
    CStampBitmap whole;
    try {
        CAutoDetectDecoder decoder;
        decoder.DecodeFile(m_preview->GetFilePath().toStdString(), whole, 32);
    } catch (const CTextException&) {
        return; // gone or changed since it was previewed: nothing to copy
    }
    CopyToClipboard(whole);
}

// ---- Commands and keyboard

void CInputPage::OnCommand(int command) {
    switch (command) {
    case ID_SELECT_ALL:
        SelectAll();
        break;
    case ID_EDIT_COPY:
    case ID_POPUP_COPY:
        OnCopy();
        break;
    case ID_REFRESH:
        RefillFileList();
        break;
    default:
        break; // Ctrl+V among them: this page takes no picture
    }
}

bool CInputPage::PreTranslateKey(QWidget* target, QKeyEvent* event) {
    // The table goes before the controls: a list would otherwise select all or copy its
    // entry's text itself.
    if (const int command = m_accelerators.Translate(*event)) {
        OnCommand(command);
        return true;
    }
    // Past the tree (the last stop) or before the first one Tab goes to the tab strip.
    const CPageHost* host = CPageHost::Get();
    if (NavigateDialog(this, target, event, host ? host->GetTabControl() : nullptr))
        return true;
    return false;
}
