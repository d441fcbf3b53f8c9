#include "pages/position/positionpage.h"

#include "controls/controlfactories.h"
#include "controls/imagebutton.h"
#include "controls/pagesetup.h"
#include "core/stampbitmap.h"
#include "core/stampcompositing.h"
#include "core/stampdisplay.h"
#include "core/stamppreparation.h"
#include "core/stampshape.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/dibclipboard.h"
#include "imagelib/imageformats.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/textexception.h"
#include "job/losslessjpeg.h"
#include "job/photostamp.h"
#include "job/stampsettings.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionrules.h"
#include "pages/position/previewfiledlg.h"
#include "platform/dialogbuilder.h"
#include "platform/dialognavigation.h"
#include "platform/messagebox.h"
#include "platform/pretranslate.h"
#include "platform/resourceloader.h"
#include "platform/staticcontrol.h"
#include "platform/tooltips.h"
#include "platform/waitcursor.h"
#include "resources/resource.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDial>
#include <QFontDatabase>
#include <QFontDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QTextEdit>

#include <algorithm>
#include <utility>

namespace {
// "all supported files", then one entry per format the image library reads, in the table's
// order: "jpegs (*.jpg;*.jpeg)|*.jpg; *.jpeg".
QString OpenFilter() {
    QString all, allPatterns, each;
    for (const CImageFormat& format : ImageFormats()) {
        if (!format.read)
            continue;
        QString names, patterns;
        for (const char* extension : format.extensions) {
            const QString pattern = QLatin1String("*.") + QLatin1String(extension);
            names += (names.isEmpty() ? QString() : QStringLiteral(";")) + pattern;
            patterns += (patterns.isEmpty() ? QString() : QStringLiteral("; ")) + pattern;
        }
        all += (all.isEmpty() ? QString() : QStringLiteral(";")) + names;
        allPatterns += (allPatterns.isEmpty() ? QString() : QStringLiteral("; ")) + patterns;
        each += QLatin1String(format.filterName) + QStringLiteral(" (") + names +
                QStringLiteral(")|") + patterns + QStringLiteral("|");
    }
    return QStringLiteral("all supported files (") + all + QStringLiteral(")|") + allPatterns +
           QStringLiteral("|") + each + QStringLiteral("All Files (*.*)|*.*||");
}
} // namespace

const QString CPositionPage::kOpenFilter = OpenFilter();

const char* const CPositionPage::kSizeModeEntries[3] = {"own size", "% of width", "% short side"};

namespace {

const int kAlignmentButtons[] = {
    IDC_POS_ALIGN_TOP_LEFT,    IDC_POS_ALIGN_TOP_CENTRE,    IDC_POS_ALIGN_TOP_RIGHT,
    IDC_POS_ALIGN_MIDDLE_LEFT, IDC_POS_ALIGN_CENTRE,        IDC_POS_ALIGN_MIDDLE_RIGHT,
    IDC_POS_ALIGN_BOTTOM_LEFT, IDC_POS_ALIGN_BOTTOM_CENTRE, IDC_POS_ALIGN_BOTTOM_RIGHT,
};

// Enabled only while transparency is on.
const int kTransparenceControls[] = {
    IDC_POS_COLOUR_LABEL,  IDC_POS_SWATCH,          IDC_POS_FEATHER,
    IDC_POS_TOLERANCE,     IDC_POS_TOLERANCE_LABEL, IDC_POS_TOLERANCE_VALUE,
    IDC_POS_FEATHER_LABEL, IDC_POS_FEATHER_VALUE,   IDC_POS_FEATHER_MARK,
};

// Growth fractions of the controls (the sums where a control is anchored more than once).
const CAnchorRow kAnchors[] = {
    {IDC_POS_STAMP_GROUP, 0, 0, 1, 0},
    {IDC_POS_STAMP_KIND, 0.5f, 0, 0.5f, 0},
    {IDC_POS_FONT, 0.5f, 0, 1, 0},
    {IDC_POS_TEXT_COLOUR, 1, 0, 1, 0},
    {IDC_POS_TEXT, 0.5f, 0, 1, 0},
    {IDC_POS_SHADOW, 0.5f, 0, 0.5f, 0},
    {IDC_POS_STAMP_VIEW, 0, 0, 0.5f, 0},
    {IDC_POS_STAMP_PATH, 0.5f, 0, 1, 0},
    {IDC_POS_OPEN_STAMP, 1, 0, 1, 0},
    {IDC_POS_TRANSPARENCE_GROUP, 0.5f, 0, 1, 0},
    {IDC_POS_USE_TRANSPARENCE, 0.5f, 0, 0.5f, 0},
    {IDC_POS_COLOUR_LABEL, 1, 0, 1, 0},
    {IDC_POS_SWATCH, 1, 0, 1, 0},
    {IDC_POS_FEATHER_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_POS_FEATHER_MARK, 0.75f, 0, 0.75f, 0},
    {IDC_POS_FEATHER, 0.5f, 0, 1, 0},
    {IDC_POS_FEATHER_VALUE, 1, 0, 1, 0},
    {IDC_POS_TOLERANCE_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_POS_TOLERANCE, 0.5f, 0, 1, 0},
    {IDC_POS_TOLERANCE_VALUE, 1, 0, 1, 0},
    {IDC_POS_OPACITY_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_POS_OPACITY, 0.5f, 0, 1, 0},
    {IDC_POS_OPACITY_VALUE, 1, 0, 1, 0},
    {IDC_POS_OPACITY_UNIT, 1, 0, 1, 0},
    {IDC_POS_POSITION_GROUP, 1, 0, 1, 0},
    {IDC_POS_ALIGN_TOP_LEFT, 1, 0, 1, 0},
    {IDC_POS_ALIGN_TOP_CENTRE, 1, 0, 1, 0},
    {IDC_POS_ALIGN_TOP_RIGHT, 1, 0, 1, 0},
    {IDC_POS_ALIGN_MIDDLE_LEFT, 1, 0, 1, 0},
    {IDC_POS_ALIGN_CENTRE, 1, 0, 1, 0},
    {IDC_POS_ALIGN_MIDDLE_RIGHT, 1, 0, 1, 0},
    {IDC_POS_ALIGN_BOTTOM_LEFT, 1, 0, 1, 0},
    {IDC_POS_ALIGN_BOTTOM_CENTRE, 1, 0, 1, 0},
    {IDC_POS_ALIGN_BOTTOM_RIGHT, 1, 0, 1, 0},
    {IDC_POS_X_LABEL, 1, 0, 1, 0},
    {IDC_POS_OFFSET_X, 1, 0, 1, 0},
    {IDC_POS_Y_LABEL, 1, 0, 1, 0},
    {IDC_POS_OFFSET_Y, 1, 0, 1, 0},
    {IDC_POS_STAMPED_LABEL, 0, 0, 0, 0},
    {IDC_POS_STAMPED_VIEW, 0, 0, 0.5f, 1},
    {IDC_POS_OPEN_SAMPLE, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_ZOOM_LABEL, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_ZOOM, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_SAMPLE_LABEL, 0.5f, 0, 0.5f, 0},
    {IDC_POS_SAMPLE_VIEW, 0.5f, 0, 1, 1},
    {IDC_POS_SIZE_LABEL, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_SIZE_MODE, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_SIZE_PERCENT, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_SIZE_UNIT, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_FOLLOW_EXIF, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_ANGLE_LABEL, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_ANGLE, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_ANGLE_DIAL, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_TILE, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_TILE_GAP, 0.5f, 0.5f, 0.5f, 0.5f},
    {IDC_POS_TILE_GAP_UNIT, 0.5f, 0.5f, 0.5f, 0.5f},
};

const CToolRow kTools[] = {
    {IDC_POS_ALIGN_TOP_LEFT, IDS_TIP_ALIGN_TOP_LEFT},
    {IDC_POS_ALIGN_TOP_CENTRE, IDS_TIP_ALIGN_TOP_CENTRE},
    {IDC_POS_ALIGN_TOP_RIGHT, IDS_TIP_ALIGN_TOP_RIGHT},
    {IDC_POS_ALIGN_MIDDLE_LEFT, IDS_TIP_ALIGN_MIDDLE_LEFT},
    {IDC_POS_ALIGN_CENTRE, IDS_TIP_ALIGN_CENTRE},
    {IDC_POS_ALIGN_MIDDLE_RIGHT, IDS_TIP_ALIGN_MIDDLE_RIGHT},
    {IDC_POS_ALIGN_BOTTOM_LEFT, IDS_TIP_ALIGN_BOTTOM_LEFT},
    {IDC_POS_ALIGN_BOTTOM_CENTRE, IDS_TIP_ALIGN_BOTTOM_CENTRE},
    {IDC_POS_ALIGN_BOTTOM_RIGHT, IDS_TIP_ALIGN_BOTTOM_RIGHT},
    {IDC_POS_ZOOM, IDS_TIP_ZOOM},
    {IDC_POS_OPEN_STAMP, IDS_TIP_OPEN_STAMP},
    {IDC_POS_USE_TRANSPARENCE, IDS_TIP_USE_TRANSPARENCE},
    {IDC_POS_OPEN_SAMPLE, IDS_TIP_OPEN_SAMPLE},
    {IDC_POS_STAMPED_VIEW, IDS_TIP_DRAG_SAMPLE},
    {IDC_POS_SAMPLE_VIEW, IDS_TIP_DRAG_SAMPLE},
    {IDC_POS_SIZE_MODE, IDS_TIP_SIZE_MODE},
    {IDC_POS_SIZE_PERCENT, IDS_TIP_SIZE_PERCENT},
    {IDC_POS_FOLLOW_EXIF, IDS_TIP_FOLLOW_EXIF},
    {IDC_POS_ANGLE, IDS_TIP_ANGLE},
    {IDC_POS_ANGLE_DIAL, IDS_TIP_ANGLE},
    {IDC_POS_TILE, IDS_TIP_TILE},
    {IDC_POS_TILE_GAP, IDS_TIP_TILE_GAP},
    {IDC_POS_STAMP_KIND, IDS_TIP_STAMP_KIND},
    {IDC_POS_FONT, IDS_TIP_FONT},
    {IDC_POS_TEXT_COLOUR, IDS_TIP_TEXT_COLOUR},
    {IDC_POS_TEXT, IDS_TIP_TEXT},
    {IDC_POS_SHADOW, IDS_TIP_SHADOW},
};

// The controls of a picture stamp, hidden while the stamp is a text.
const int kPictureControls[] = {
    IDC_POS_STAMP_PATH,       IDC_POS_OPEN_STAMP,    IDC_POS_TRANSPARENCE_GROUP,
    IDC_POS_USE_TRANSPARENCE, IDC_POS_COLOUR_LABEL,  IDC_POS_SWATCH,
    IDC_POS_FEATHER,          IDC_POS_TOLERANCE,     IDC_POS_TOLERANCE_LABEL,
    IDC_POS_TOLERANCE_VALUE,  IDC_POS_FEATHER_LABEL, IDC_POS_FEATHER_VALUE,
    IDC_POS_FEATHER_MARK,
};
const int kTextControls[] = {IDC_POS_FONT, IDC_POS_TEXT_COLOUR, IDC_POS_TEXT, IDC_POS_SHADOW};

std::optional<std::string> RunFontDialog(QWidget* parent, const std::string& fontName) {
    const CTextFont font = ParseTextFont(fontName);
    QFont initial(QString::fromStdString(font.family));
    initial.setStyleName(QString::fromStdString(font.style));
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent, QStringLiteral("font"));
    if (!ok)
        return std::nullopt;
    const QString style =
        chosen.styleName().isEmpty() ? QFontDatabase::styleString(chosen) : chosen.styleName();
    return TextFontName({chosen.family().toStdString(), style.toStdString()});
}

std::optional<int32_t> RunColourDialog(QWidget* parent, int32_t colour) {
    const QColor initial =
        colour == kTextColourAuto ? QColor(Qt::white) : QColor::fromRgb(QRgb(colour));
    const QColor chosen = QColorDialog::getColor(initial, parent, QStringLiteral("color"));
    if (!chosen.isValid())
        return std::nullopt;
    return int32_t(chosen.rgb() & 0xFFFFFF);
}

QWidget* CreateViewer(const CControlTemplate& control, QWidget* parent) {
    auto* viewer = new CImageViewer(parent);
    viewer->SetNotify(control.style & QM_SS_NOTIFY);
    return viewer;
}

// An alignment button that shows at a glance whether it is the chosen one: the chosen
// button carries a filled mark in the corner or edge where it puts the stamp.
class CAlignmentButton : public QPushButton {
public:
    CAlignmentButton(int id, QWidget* parent) : QPushButton(parent), m_id(id) {
        setCheckable(true);
        setAutoDefault(false);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPushButton::paintEvent(event);
        if (!isChecked())
            return;
        const std::optional<CAlignment> a = AlignmentOfButton(m_id);
        if (!a)
            return;
        QPainter painter(this);
        const QRect inner = rect().adjusted(4, 3, -4, -3);
        const QSize mark(std::max(4, inner.width() / 2), std::max(4, inner.height() / 2));
        const int x = inner.left() + (inner.width() - mark.width()) * a->halign / 2;
        const int y = inner.top() + (inner.height() - mark.height()) * a->valign / 2;
        const QColor colour = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                              QPalette::Highlight);
        painter.fillRect(QRect(QPoint(x, y), mark), colour);
        painter.setPen(QPen(colour, 2));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }

private:
    int m_id;
};

QWidget* CreateAlignmentButton(const CControlTemplate& control, QWidget* parent) {
    return new CAlignmentButton(control.id, parent);
}

std::optional<QString> RunPreviewFileDialog(QWidget* parent, const QString& filter) {
    CPreviewFileDlg dialog(true, QString(), QString(), filter, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QString path = dialog.GetPathName();
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

} // namespace

CPositionPage::CPositionPage(QWidget* parent)
    : CResizePropertyPage(parent), m_openFile(RunPreviewFileDialog), m_chooseFont(RunFontDialog),
      m_chooseColour(RunColourDialog), m_accelerators(CAcceleratorTable::Load(IDR_ACCELERATORS)) {
    CDialogBuilder builder(*FindDialogTemplate(IDD_POSITION_PAGE));
    UseCommonControls(builder);
    builder.SetFactory(IDC_POS_STAMP_VIEW, CreateViewer);
    builder.SetFactory(IDC_POS_STAMPED_VIEW, CreateViewer);
    builder.SetFactory(IDC_POS_SAMPLE_VIEW, CreateViewer);
    for (int id : kAlignmentButtons)
        builder.SetFactory(id, CreateAlignmentButton);
    InitFromTemplate(builder);

    m_stampView = GetDlgItemAs<CImageViewer>(this, IDC_POS_STAMP_VIEW);
    m_sampleView = GetDlgItemAs<CImageViewer>(this, IDC_POS_SAMPLE_VIEW);
    m_stampedView = GetDlgItemAs<CImageViewer>(this, IDC_POS_STAMPED_VIEW);
    m_stampPathBox = GetDlgItemAs<QLineEdit>(this, IDC_POS_STAMP_PATH);
    m_offsetXBox = GetDlgItemAs<QLineEdit>(this, IDC_POS_OFFSET_X);
    m_offsetYBox = GetDlgItemAs<QLineEdit>(this, IDC_POS_OFFSET_Y);
    m_opacitySlider = GetDlgItemAs<QSlider>(this, IDC_POS_OPACITY);
    m_featherSlider = GetDlgItemAs<QSlider>(this, IDC_POS_FEATHER);
    m_toleranceSlider = GetDlgItemAs<QSlider>(this, IDC_POS_TOLERANCE);
    m_useTransparence = GetDlgItemAs<QCheckBox>(this, IDC_POS_USE_TRANSPARENCE);
    m_zoomList = GetDlgItemAs<QComboBox>(this, IDC_POS_ZOOM);
    m_stampGroup = GetDlgItemAs<QGroupBox>(this, IDC_POS_STAMP_GROUP);
    m_swatch = GetDlgItem(this, IDC_POS_SWATCH);
    m_sizeModeList = GetDlgItemAs<QComboBox>(this, IDC_POS_SIZE_MODE);
    m_sizePercentBox = GetDlgItemAs<QLineEdit>(this, IDC_POS_SIZE_PERCENT);
    m_followExifBox = GetDlgItemAs<QCheckBox>(this, IDC_POS_FOLLOW_EXIF);
    m_angleBox = GetDlgItemAs<QSpinBox>(this, IDC_POS_ANGLE);
    m_angleDial = GetDlgItemAs<QDial>(this, IDC_POS_ANGLE_DIAL);
    m_tileBox = GetDlgItemAs<QCheckBox>(this, IDC_POS_TILE);
    m_tileGapBox = GetDlgItemAs<QLineEdit>(this, IDC_POS_TILE_GAP);
    Q_ASSERT(m_angleBox && m_angleDial && m_tileBox && m_tileGapBox);
    Q_ASSERT(m_stampView && m_sampleView && m_stampedView && m_stampPathBox && m_offsetXBox &&
             m_offsetYBox && m_opacitySlider && m_featherSlider && m_toleranceSlider &&
             m_useTransparence && m_zoomList && m_stampGroup && m_swatch && m_sizeModeList &&
             m_sizePercentBox && m_followExifBox);

    m_kindList = GetDlgItemAs<QComboBox>(this, IDC_POS_STAMP_KIND);
    m_textBox = GetDlgItemAs<QPlainTextEdit>(this, IDC_POS_TEXT);
    m_fontButton = GetDlgItemAs<QPushButton>(this, IDC_POS_FONT);
    m_colourButton = GetDlgItemAs<QPushButton>(this, IDC_POS_TEXT_COLOUR);
    m_shadowBox = GetDlgItemAs<QCheckBox>(this, IDC_POS_SHADOW);
    Q_ASSERT(m_kindList && m_textBox && m_fontButton && m_colourButton && m_shadowBox);
    m_kindList->addItem(QStringLiteral("picture"));
    m_kindList->addItem(QStringLiteral("text"));
    m_textBox->setTabChangesFocus(true);
    m_fontButton->setAutoDefault(false);
    m_colourButton->setAutoDefault(false);
    auto* colourMenu = new QMenu(m_colourButton);
    QAction* automatic = colourMenu->addAction(QStringLiteral("automatic"));
    automatic->setCheckable(true);
    QAction* choose = colourMenu->addAction(QStringLiteral("color..."));
    m_colourButton->setMenu(colourMenu);
    connect(automatic, &QAction::triggered, this, [this] { OnTextColour(true); });
    connect(choose, &QAction::triggered, this, [this] { OnTextColour(false); });
    connect(m_kindList, &QComboBox::activated, this, &CPositionPage::OnStampKindChanged);
    connect(m_fontButton, &QPushButton::clicked, this, &CPositionPage::OnFontClicked);
    connect(m_shadowBox, &QCheckBox::clicked, this, &CPositionPage::OnShadowClicked);
    connect(m_textBox, &QPlainTextEdit::textChanged, this,
            [this] { RestartPreviewTimer(kTimerText); });
    m_shadowBox->setChecked(m_text.shadow);
    ShowKindControls();
    UpdateTextButtons();

    // 1. The image buttons.
    const CImageButtonRow buttons[] = {
        {IDC_POS_OPEN_STAMP, IDI_OPEN, 16, 16, 4, 23},
        {IDC_POS_OPEN_SAMPLE, IDI_OPEN, 16, 16, 3, 22},
    };
    SetUpImageButtons(this, buttons);
    // 2. Anchors.
    AddAnchors(GetLayout(), kAnchors);
    // 3. Tooltips.
    m_toolTips = CreateToolTips(this, 100, kTools);
    // 4. At most 5 characters per offset.
    m_offsetXBox->setMaxLength(5);
    m_offsetYBox->setMaxLength(5);
    // 5.
    m_stampView->SetFitOnResize(true);
    // The stamp's own transparency outlives its preparations; samples show upright.
    m_stampView->SetKeepsOwnAlpha(true);
    m_stampView->SetCheckerboard(true);
    m_sizePercentBox->setMaxLength(3);
    for (const char* entry : kSizeModeEntries)
        m_sizeModeList->addItem(QString::fromLatin1(entry));
    SetStampSize(m_sizeMode, m_sizePercent);
    SetFollowExif(m_followExif);
    m_angleBox->setRange(kMinStampAngle, kMaxStampAngle);
    m_angleBox->setWrapping(true);
    m_angleBox->setSuffix(QStringLiteral("\u00B0"));
    // The knob points where the stamp's top turns to: anticlockwise for positive angles,
    // upright at the top.
    m_angleDial->setRange(kMinStampAngle, kMaxStampAngle);
    m_angleDial->setInvertedAppearance(true);
    m_angleDial->setSingleStep(1);
    m_angleDial->setPageStep(15);
    m_tileGapBox->setMaxLength(4);
    SetStampLayout(m_angle, m_tile, m_tileGap, m_tileOffset);

    // The zoom list and the starting values, so the page works before settings arrive.
    int zoomCount = 0;
    const char* const* zooms = ZoomListEntries(&zoomCount);
    for (int i = 0; i < zoomCount; ++i)
        m_zoomList->addItem(QString::fromLatin1(zooms[i]));
    {
        const QSignalBlocker bx(m_offsetXBox), by(m_offsetYBox);
        m_offsetXBox->setText(QStringLiteral("0"));
        m_offsetYBox->setText(QStringLiteral("0"));
    }
    {
        const QSignalBlocker b1(m_opacitySlider), b2(m_featherSlider), b3(m_toleranceSlider);
        m_opacitySlider->setRange(0, 255);
        m_toleranceSlider->setRange(0, 255);
        m_featherSlider->setRange(0, 20);
        m_opacitySlider->setValue(m_opacity);
        m_toleranceSlider->setValue(m_tolerance);
        m_featherSlider->setValue(m_feather);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(this, AlignmentButton(1, 1))))
        button->setChecked(true);

    // Precise: a coarse timer may fire up to 5 % early, and the second is a promise.
    m_previewTimer.setTimerType(Qt::PreciseTimer);
    m_previewTimer.setSingleShot(true);
    m_previewTimer.setInterval(kPreviewDelayMs);
    connect(&m_previewTimer, &QTimer::timeout, this, &CPositionPage::OnPreviewTimer);

    // Notifications.
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(this, IDC_POS_OPEN_STAMP)))
        connect(b, &QAbstractButton::clicked, this, &CPositionPage::OnOpenStamp);
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(this, IDC_POS_OPEN_SAMPLE)))
        connect(b, &QAbstractButton::clicked, this, &CPositionPage::OnOpenSample);
    connect(m_zoomList, &QComboBox::activated, this, &CPositionPage::OnZoomChange);
    for (int id : kAlignmentButtons)
        if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(this, id)))
            connect(b, &QAbstractButton::clicked, this, [this, id] { OnAlignmentClicked(id); });
    connect(m_offsetXBox, &QLineEdit::textChanged, this,
            [this] { OnOffsetUpdate(IDC_POS_OFFSET_X); });
    connect(m_offsetYBox, &QLineEdit::textChanged, this,
            [this] { OnOffsetUpdate(IDC_POS_OFFSET_Y); });
    connect(m_opacitySlider, &QSlider::valueChanged, this,
            [this] { OnSliderChanged(IDC_POS_OPACITY); });
    connect(m_featherSlider, &QSlider::valueChanged, this,
            [this] { OnSliderChanged(IDC_POS_FEATHER); });
    connect(m_toleranceSlider, &QSlider::valueChanged, this,
            [this] { OnSliderChanged(IDC_POS_TOLERANCE); });
    connect(m_useTransparence, &QCheckBox::clicked, this, &CPositionPage::OnUseTransparence);
    connect(m_sizeModeList, &QComboBox::activated, this, &CPositionPage::OnSizeModeChanged);
    connect(m_sizePercentBox, &QLineEdit::textChanged, this, &CPositionPage::OnSizePercentUpdate);
    connect(m_followExifBox, &QCheckBox::clicked, this, &CPositionPage::OnFollowExif);
    connect(m_angleBox, &QSpinBox::valueChanged, this, &CPositionPage::OnAngleChanged);
    connect(m_angleDial, &QDial::valueChanged, m_angleBox, &QSpinBox::setValue);
    connect(m_tileBox, &QCheckBox::clicked, this, &CPositionPage::OnTileClicked);
    connect(m_tileGapBox, &QLineEdit::textChanged, this, &CPositionPage::OnTileGapUpdate);
    // Keyed on the press that picks the colour, wherever the button is released.
    connect(m_stampView, &CImageViewer::colourPicked, this, &CPositionPage::OnStampClicked);
    connect(m_stampView, &CImageViewer::commandRequested, this, &CPositionPage::OnCommand);
    if (auto* swatch = qobject_cast<CStaticControl*>(m_swatch))
        connect(swatch, &CStaticControl::clicked, this, &CPositionPage::OnSwatchClicked);
    m_swatch->installEventFilter(this);
    m_swatch->setAutoFillBackground(false);

    // The mouse over the two sample views comes to the page, hover moves included: a view
    // without tracking would drop them before the page could set the drag cursor.
    setMouseTracking(true);
    m_sampleView->setMouseTracking(true);
    m_stampedView->setMouseTracking(true);
    m_preTranslate =
        std::make_unique<CPreTranslateHook>(this, [this](QWidget* target, QEvent* event) {
            return event->type() == QEvent::KeyPress &&
                   PreTranslateKey(target, static_cast<QKeyEvent*>(event));
        });
}

CPositionPage::~CPositionPage() = default;

CStampBitmap& CPositionPage::GetStampBitmap() {
    return m_stampView->GetPicture();
}

bool CPositionPage::IsApplying() const {
    return m_host.isApplying && m_host.isApplying();
}

bool CPositionPage::IsKeyColourSet() const {
    return ::IsKeyColourSet(m_keyColour);
}

bool CPositionPage::IsTransparenceChecked() const {
    return m_useTransparence->isChecked();
}

CStampLook CPositionPage::GetStampLook() const {
    CStampLook look;
    look.opacity = m_opacity;
    // The picked colour keys only while transparency is on.
    look.keyColour = IsTransparenceChecked() ? m_keyColour : m_keyColour & 0x00FFFFFFu;
    look.tolerance = m_tolerance;
    look.feather = m_feather;
    look.sizeMode = m_sizeMode;
    look.sizePercent = m_sizePercent;
    look.angle = m_angle;
    look.tiling = {m_tile, m_tileGap, m_tileOffset};
    return look;
}

void CTextStampValues::StoreIn(CStampSettingsValues& settings) const {
    settings.stampkind = kind;
    settings.stamptext = text;
    settings.textfont = font;
    settings.textsize = size;
    settings.textcolor = colour;
    settings.textshadow = shadow;
}

CStampDescription CPositionPage::GetStampDescription() const {
    CStampSettingsValues settings;
    settings.halign = m_halign;
    settings.valign = m_valign;
    settings.offsetx = m_offsetX;
    settings.offsety = m_offsetY;
    settings.followexif = m_followExif;
    m_text.StoreIn(settings);
    settings.pathstamp = m_stampPath.toStdString();
    CStampDescription description = DescribeStamp(settings);
    description.look = GetStampLook();
    if (description.IsText()) {
        description.look.keyColour &= 0x00FFFFFFu;
    } else if (m_stampView->IsLoaded()) {
        // The stamp view's picture is the stamp prepared with this look, its own
        // transparency kept beside it: a pasted picture has no file to read again.
        auto pixels = std::make_shared<CMemoryBitmap>();
        pixels->ConvertFrom(m_stampView->GetPicture(), 32);
        description.picture = {pixels, m_stampView->GetOwnAlpha(), true};
    }
    return description;
}

std::shared_ptr<CStampMaker> CPositionPage::CreateStampShaper() const {
    if (!m_stampView->IsLoaded())
        return nullptr;
    return MakeStamp(GetStampDescription());
}

CRunStamp CPositionPage::GetRunStamp() const {
    CRunStamp run;
    run.previewed = m_stampedView->IsLoaded();
    if (m_stampView->IsLoaded())
        run.description = GetStampDescription();
    return run;
}

CStampMaker& CPositionPage::PreviewShaper() {
    if (!m_previewShaper)
        m_previewShaper = CreateStampShaper();
    return *m_previewShaper;
}

CPhotoFacts CPositionPage::SampleFacts(const CPhotoPlacement& placement) {
    const CStampBitmap& sample = m_sampleView->GetPicture();
    CPhotoFacts facts;
    facts.displayed = {sample.GetWidth(), sample.GetHeight()};
    facts.path = m_samplePath.toStdString();
    facts.markers = sample.GetMarkers();
    facts.lumaUnder = [&sample, placement, size = facts.displayed](CGridSize upright,
                                                                   CGridSize sized, CGridSize own) {
        return MeanLuma(sample, PhotoStampPlacement(upright, sized, own, size, 1, placement));
    };
    return facts;
}

void CPositionPage::SetTextStamp(const CTextStampValues& values) {
    m_text = values;
    m_previewShaper.reset();
    {
        const QSignalBlocker blocker(m_textBox);
        m_textBox->setPlainText(QString::fromStdString(values.text));
    }
    m_shadowBox->setChecked(values.shadow);
    UpdateTextButtons();
    ShowKindControls();
    if (IsTextStamp())
        ShowTextStamp();
}

void CPositionPage::ShowKindControls() {
    const bool text = IsTextStamp();
    {
        const QSignalBlocker blocker(m_kindList);
        m_kindList->setCurrentIndex(text ? 1 : 0);
    }
    for (const int id : kPictureControls)
        if (QWidget* w = GetDlgItem(this, id))
            w->setVisible(!text);
    for (const int id : kTextControls)
        if (QWidget* w = GetDlgItem(this, id))
            w->setVisible(text);
    // Key colour, tolerance and feather belong to a picture's own pixels.
    m_useTransparence->setEnabled(!text);
    EnableTransparenceControls(!text && m_useTransparence->isChecked());
    m_stampView->SetPickEnabled(!text && m_useTransparence->isChecked());
}

void CPositionPage::UpdateTextButtons() {
    const CTextFont font = ParseTextFont(m_text.font);
    const QString name = QString::fromStdString(font.family + " " + font.style).trimmed();
    // Long names end in an ellipsis; the whole name is in the tooltip.
    const int room = std::max(10, m_fontButton->width() - 12);
    m_fontButton->setText(m_fontButton->fontMetrics().elidedText(name, Qt::ElideRight, room));
    m_fontButton->setToolTip(name);
    const bool automatic = m_text.colour == kTextColourAuto;
    if (QMenu* menu = m_colourButton->menu(); menu && !menu->actions().isEmpty())
        menu->actions().front()->setChecked(automatic);
    m_colourButton->setText(automatic ? QStringLiteral("automatic") : QStringLiteral("color"));
    QPixmap swatch(12, 12);
    swatch.fill(automatic ? palette().color(QPalette::Button)
                          : QColor::fromRgb(QRgb(m_text.colour & 0xFFFFFF)));
    if (automatic) {
        // Half light, half dark: the tone each photo gets.
        QPainter painter(&swatch);
        painter.fillRect(0, 0, 6, 12, Qt::white);
        painter.fillRect(6, 0, 6, 12, Qt::black);
    }
    m_colourButton->setIcon(QIcon(swatch));
}

void CPositionPage::TextChanged() {
    m_previewShaper.reset();
    const std::string unknown = UnknownPlaceholder(m_text.text);
    m_textProblem =
        unknown.empty()
            ? QString()
            : QStringLiteral("unknown placeholder %1").arg(QString::fromStdString(unknown));
    ShowTextStamp();
    if (m_stampView->IsLoaded()) {
        StampChanged();
        return;
    }
    m_stampGroup->setTitle(m_textProblem.isEmpty() ? QStringLiteral("stamp")
                                                   : QStringLiteral("stamp - ") + m_textProblem);
    m_stampView->PaintPicture();
    if (m_sampleView->IsLoaded())
        RebuildStampedPreview();
}

void CPositionPage::OnStampKindChanged() {
    const int kind = m_kindList->currentIndex() == 1 ? kStampText : kStampPicture;
    if (kind == m_text.kind)
        return;
    CWaitCursor wait;
    m_text.kind = kind;
    m_previewShaper.reset();
    ShowKindControls();
    if (kind == kStampText) {
        m_text.text = m_textBox->toPlainText().toStdString();
        TextChanged();
        return;
    }
    // The picture comes back from its file; a pasted one is gone with the text.
    m_stampView->ClearPicture();
    if (!m_stampPath.isEmpty() && m_stampPath != QStringLiteral("CLIPBOARD"))
        m_stampView->LoadPictureFile(m_stampPath, false);
    if (m_stampView->IsLoaded()) {
        StampChanged();
        return;
    }
    m_stampGroup->setTitle(QStringLiteral("stamp"));
    m_stampView->PaintPicture();
    if (m_sampleView->IsLoaded())
        RebuildStampedPreview();
}

void CPositionPage::OnFontClicked() {
    if (!m_chooseFont)
        return;
    const std::optional<std::string> font = m_chooseFont(this, m_text.font);
    if (!font || *font == m_text.font)
        return;
    CWaitCursor wait;
    m_text.font = *font;
    UpdateTextButtons();
    TextChanged();
}

void CPositionPage::OnTextColour(bool automatic) {
    int32_t colour = kTextColourAuto;
    if (!automatic) {
        const std::optional<int32_t> chosen =
            m_chooseColour ? m_chooseColour(this, m_text.colour) : std::nullopt;
        if (!chosen) {
            UpdateTextButtons(); // the menu's check mark as it was
            return;
        }
        colour = *chosen;
    }
    m_text.colour = colour;
    UpdateTextButtons();
    CWaitCursor wait;
    TextChanged();
}

void CPositionPage::OnShadowClicked() {
    m_text.shadow = m_shadowBox->isChecked();
    CWaitCursor wait;
    TextChanged();
}

void CPositionPage::ShowTextStamp() {
    CStampDescription description = GetStampDescription();
    // The stamp view shows the text at its own size, filled for the sample, in its colour
    // (white where the tone follows each photo), with nothing of the look's opacity.
    description.look = CStampLook();
    description.look.sizeMode = kSizeOriginal;
    if (description.text.text.empty() || !UnknownStampPlaceholder(description).empty()) {
        m_stampView->ClearPicture();
        return;
    }
    const std::shared_ptr<CStampMaker> maker = MakeStamp(description);
    CPhotoFacts facts;
    if (m_sampleView->IsLoaded()) {
        facts.displayed = {m_sampleView->GetPicture().GetWidth(),
                           m_sampleView->GetPicture().GetHeight()};
        facts.path = m_samplePath.toStdString();
        facts.markers = m_sampleView->GetPicture().GetMarkers();
    }
    const CShapedStamp shaped = maker->Shape(facts);
    CStampBitmap picture;
    picture.ConvertFrom(*shaped.bitmap, 32);
    m_stampView->SetPicture(picture, true);
}

double CPositionPage::GetSampleScale() const {
    if (m_sizeMode == kSizeOriginal || !m_stampView->IsLoaded() || !m_sampleView->IsLoaded())
        return 1;
    if (IsTextStamp()) {
        const CStampDescription description = GetStampDescription();
        CTextStampMaker maker(description.text, description.look);
        const CStampBitmap& sample = m_sampleView->GetPicture();
        CPhotoFacts facts;
        facts.path = m_samplePath.toStdString();
        facts.markers = sample.GetMarkers();
        return maker.EmFor(maker.TextFor(facts), {sample.GetWidth(), sample.GetHeight()}) /
               std::max(1, m_text.size);
    }
    const CStampBitmap& stamp = m_stampView->GetPicture();
    const CStampBitmap& sample = m_sampleView->GetPicture();
    const CGridSize own{stamp.GetWidth(), stamp.GetHeight()};
    const CGridSize scaled =
        ScaledStampSize(own, {sample.GetWidth(), sample.GetHeight()}, m_sizeMode, m_sizePercent);
    if (own.width <= 0 || own.height <= 0)
        return 1;
    return own.width >= own.height ? double(scaled.width) / own.width
                                   : double(scaled.height) / own.height;
}

bool CPositionPage::IsEditBox(const QWidget* widget) {
    return qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

bool CPositionPage::HasFocus(const QWidget* widget) {
    // The keyboard focus inside the window, whether or not the window is active.
    return widget && widget->window()->focusWidget() == widget;
}

// ---- Setting the page from stored values

void CPositionPage::SetStampPath(const QString& path) {
    m_stampPath = path;
    m_stampPathBox->setText(path);
}

void CPositionPage::SetAlignment(uint8_t halign, uint8_t valign) {
    for (int id : kAlignmentButtons)
        if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(this, id)))
            b->setChecked(false);
    if (auto* b = qobject_cast<QAbstractButton*>(GetDlgItem(this, AlignmentButton(halign, valign))))
        b->setChecked(true);
    m_halign = halign;
    m_valign = valign;
}

void CPositionPage::SetOffsets(int offsetX, int offsetY) {
    m_offsetX = offsetX;
    m_offsetY = offsetY;
    m_offsetXBox->setText(QString::asprintf("%d", offsetX));
    m_offsetYBox->setText(QString::asprintf("%d", offsetY));
}

void CPositionPage::SetSliders(uint8_t opacity, uint8_t tolerance, uint8_t feather) {
    m_opacitySlider->setRange(0, 255);
    m_opacitySlider->setValue(opacity);
    m_toleranceSlider->setRange(0, 255);
    m_toleranceSlider->setValue(tolerance);
    m_featherSlider->setRange(0, 20);
    m_featherSlider->setValue(feather);
    m_opacity = opacity;
    m_tolerance = tolerance;
    m_feather = feather;
}

void CPositionPage::EnableTransparenceControls(bool enable) {
    for (int id : kTransparenceControls)
        if (QWidget* w = GetDlgItem(this, id))
            w->setEnabled(enable);
}

void CPositionPage::SetTransparence(bool on) {
    m_useTransparence->setChecked(on);
    EnableTransparenceControls(on);
    m_stampView->SetPickEnabled(on);
    m_swatch->update();
}

void CPositionPage::SetStampSize(int mode, int percent) {
    if (mode < kSizeOriginal || mode > kSizePercentOfShorterSide)
        mode = kSizeOriginal;
    if (percent < 1 || percent > 100)
        percent = 20;
    m_sizeMode = mode;
    m_sizePercent = percent;
    {
        const QSignalBlocker b1(m_sizeModeList), b2(m_sizePercentBox);
        m_sizeModeList->setCurrentIndex(mode);
        m_sizePercentBox->setText(QString::number(percent));
    }
    m_sizePercentBox->setEnabled(mode != kSizeOriginal);
    if (QWidget* unit = GetDlgItem(this, IDC_POS_SIZE_UNIT))
        unit->setEnabled(mode != kSizeOriginal);
    m_previewShaper.reset();
}

void CPositionPage::SetStampLayout(int angle, bool tile, int tileGap, bool tileOffset) {
    m_angle = angle >= kMinStampAngle && angle <= kMaxStampAngle ? angle : 0;
    m_tile = tile;
    m_tileGap = tileGap >= 0 && tileGap <= kMaxTileGapPercent ? tileGap : 50;
    m_tileOffset = tileOffset;
    {
        const QSignalBlocker b1(m_angleBox), b2(m_angleDial), b3(m_tileGapBox);
        m_angleBox->setValue(m_angle);
        m_angleDial->setValue(m_angle);
        m_tileGapBox->setText(QString::number(m_tileGap));
    }
    m_tileBox->setChecked(m_tile);
    m_tileGapBox->setEnabled(m_tile);
    if (QWidget* unit = GetDlgItem(this, IDC_POS_TILE_GAP_UNIT))
        unit->setEnabled(m_tile);
    m_previewShaper.reset();
}

void CPositionPage::SetFollowExif(bool on) {
    m_followExif = on;
    m_followExifBox->setChecked(on);
    m_sampleView->SetShowUpright(on);
}

void CPositionPage::ShowSampleZoom(bool removePrevious) {
    if (removePrevious && !m_customZoomEntry.isEmpty()) {
        const int index = m_zoomList->findText(m_customZoomEntry, Qt::MatchExactly);
        if (index >= 0)
            m_zoomList->removeItem(index);
        m_customZoomEntry.clear();
    }
    const QString text = ZoomEntryText(m_sampleView->GetZoom());
    // The first entry that begins with the text, as a list box selects by prefix.
    const int index = m_zoomList->findText(text, Qt::MatchStartsWith);
    if (index >= 0) {
        m_zoomList->setCurrentIndex(index);
        return;
    }
    m_zoomList->addItem(text);
    m_zoomList->setCurrentIndex(m_zoomList->count() - 1);
    m_customZoomEntry = text;
}

void CPositionPage::UpdateStampCaption() {
    // The reduction of what the preview shows against the stamp as it lands on the sample.
    m_stampGroup->setTitle(StampCaption(m_stampView->GetZoom() / GetSampleScale()));
}

QString CPositionPage::GetStampCaption() const {
    return m_stampGroup->title();
}

// ---- Operations

void CPositionPage::PrepareStamp() {
    m_previewShaper.reset();
    // A text's alpha is its glyphs' coverage: the look applies when it is drawn per photo.
    if (IsTextStamp())
        return;
    // Preparation reads and writes 32-bit pixels only.
    if (!m_stampView->IsLoaded() || m_stampView->GetPicture().GetBitsPerPixel() != 32)
        return;
    const CStampLook look = GetStampLook();
    PrepareStampAlpha(m_stampView->GetPicture(), m_stampView->GetOwnAlpha(), look);
    m_stampView->AlphaChanged(); // the checkerboard shows through as the batch will see it
    // The preview's shaper starts from the stamp just prepared: keying and feathering a
    // large stamp a second time doubled the cost of every preview update.
    m_previewShaper = MakeStamp(GetStampDescription());
}

bool CPositionPage::ComposeLosslessPreview() {
    if (m_samplePath.isEmpty())
        return false; // the built-in sample is no JPEG
    if (!m_lossless)
        m_lossless = std::make_unique<CLosslessJpegStamp>();
    // A sample shown turned upright has no lossless counterpart in its stored grid: such
    // samples show the ordinary composite (the batch writes them upright the ordinary way
    // too, unless their EXIF block is kept).
    CLosslessStampPlan plan;
    plan.shaper = &PreviewShaper();
    plan.followExif = m_followExif;
    plan.halign = m_halign;
    plan.valign = m_valign;
    plan.offsetX = m_offsetX;
    plan.offsetY = m_offsetY;
    std::vector<uint8_t> bytes;
    if (!m_lossless->StampFile(m_samplePath.toStdString(), plan, bytes))
        return false;
    CStampBitmap stamped;
    try {
        CJpegDecoder().DecodeMemory(bytes.data(), int(bytes.size()), stamped, 32);
    } catch (const CTextException&) {
        return false;
    }
    // The file may have changed since the sample was read.
    const CStampBitmap& sample = m_sampleView->GetPicture();
    if (stamped.GetWidth() != sample.GetWidth() || stamped.GetHeight() != sample.GetHeight())
        return false;
    return m_stampedView->SetPicture(stamped, false);
}

void CPositionPage::ComposeStampedPreview() {
    if (!m_stampView->IsLoaded() || !m_sampleView->IsLoaded())
        return;
    m_composedLossless = m_host.isLosslessJpegOutput && m_host.isLosslessJpegOutput();
    if (m_composedLossless && ComposeLosslessPreview())
        return;
    // The sample already shows as displayed, so the stamp goes on it upright, shaped for
    // its size as the batch shapes it for each photo.
    m_stampedView->StampShaped(PreviewShaper(), {m_halign, m_valign, m_offsetX, m_offsetY, false},
                               m_samplePath.toStdString());
}

void CPositionPage::showEvent(QShowEvent* event) {
    CResizePropertyPage::showEvent(event);
    LoadChosenSample();
    // The output page may have switched lossless output on or off meanwhile.
    const bool lossless = m_host.isLosslessJpegOutput && m_host.isLosslessJpegOutput();
    if (lossless != m_composedLossless && m_stampedView->IsLoaded() && m_stampView->IsLoaded())
        RebuildStampedPreview();
}

void CPositionPage::hideEvent(QHideEvent* event) {
    CResizePropertyPage::hideEvent(event);
    // Another page is chosen: it may start a run with these values.
    TakePendingValues();
}

void CPositionPage::TakePendingValues() {
    LoadChosenSample();
    if (m_previewTimer.isActive() && !m_stampDrag.active)
        OnPreviewTimer();
}

void CPositionPage::ChooseSample(const QString& path) {
    m_chosenSample = path;
    if (isVisible())
        LoadChosenSample();
}

void CPositionPage::LoadChosenSample() {
    // A run reads the preview's stamp; the sample waits until it is over.
    if (m_chosenSample.isEmpty() || (m_host.isStamping && m_host.isStamping()))
        return;
    const QString path = std::exchange(m_chosenSample, QString());
    if (path == m_samplePath)
        return;
    CWaitCursor wait;
    // A file that cannot be read (the input page's preview says why) leaves the sample
    // shown before.
    if (m_sampleView->LoadPictureFile(path, false)) {
        m_samplePath = path;
    } else if (m_samplePath.isEmpty() || !m_sampleView->LoadPictureFile(m_samplePath, false)) {
        m_samplePath.clear();
        m_sampleView->LoadSamplePicture();
    }
    SampleChanged();
}

void CPositionPage::RebuildStampedPreview() {
    // Without a sample there is nothing to stamp; the view must not show a stale picture.
    if (!m_sampleView->IsLoaded()) {
        m_stampedView->ClearPicture();
        return;
    }
    m_stampedView->SetPicture(m_sampleView->GetPicture(), false);
    ComposeStampedPreview();
    m_stampedView->PaintPicture();
}

void CPositionPage::StampChanged() {
    UpdateStampCaption();
    m_stampView->PaintPicture();
    if (m_useTransparence->isChecked())
        m_stampView->SetPickEnabled(true);
    PrepareStamp();
    if (m_stampedView->IsLoaded())
        RebuildStampedPreview();
}

void CPositionPage::SampleChanged() {
    if (!m_sampleView->IsLoaded()) {
        m_stampedView->ClearPicture();
        return;
    }
    m_stampedView->SetPicture(m_sampleView->GetPicture(), true);
    if (m_stampView->IsLoaded()) {
        ComposeStampedPreview();
        UpdateStampCaption(); // the stamp's size follows the sample's
    }
    ShowSampleZoom(true);
    m_stampedView->PaintPicture();
    m_sampleView->PaintPicture();
}

// ---- Handlers

std::optional<QString> CPositionPage::ChooseFile() {
    return m_openFile ? m_openFile(this, kOpenFilter) : std::nullopt;
}

void CPositionPage::OnOpenStamp() {
    const std::optional<QString> path = ChooseFile();
    if (!path)
        return;
    CWaitCursor wait;
    // Decoded aside first: a file that is no picture leaves the stamp loaded before as it
    // was, and the message says which file it was.
    CStampBitmap picture;
    try {
        CAutoDetectDecoder decoder;
        decoder.DecodeFile(path->toStdString(), picture, 32);
    } catch (const CTextException& e) {
        ShowMessageBox(this, *path + QStringLiteral(":\n") + QString::fromStdString(e.GetText()),
                       CMessageIcon::Error);
        return;
    }
    if (!m_stampView->SetPicture(picture, true))
        return;
    SetStampPath(*path);
    m_text.kind = kStampPicture;
    ShowKindControls();
    StampChanged();
}

void CPositionPage::OnOpenSample() {
    const std::optional<QString> path = ChooseFile();
    if (!path)
        return;
    CWaitCursor wait;
    if (m_sampleView->LoadPictureFile(*path, true)) {
        m_samplePath = *path;
    } else {
        m_samplePath.clear();
        m_sampleView->LoadSamplePicture();
    }
    SampleChanged();
}

void CPositionPage::OnZoomChange() {
    CWaitCursor wait;
    const QString text = m_zoomList->currentText();
    if (!m_customZoomEntry.isEmpty() && text != m_customZoomEntry) {
        const int index = m_zoomList->findText(m_customZoomEntry, Qt::MatchExactly);
        if (index >= 0)
            m_zoomList->removeItem(index);
        m_customZoomEntry.clear();
    }
    const double zoom = ZoomFromEntryText(text);
    m_sampleView->SetZoom(zoom);
    m_stampedView->SetZoom(zoom);
    m_sampleView->PaintPicture();
    m_stampedView->PaintPicture();
}

void CPositionPage::OnAlignmentClicked(int controlId) {
    if (IsApplying())
        return;
    const std::optional<CAlignment> alignment = AlignmentOfButton(controlId);
    if (!alignment)
        return;
    m_halign = alignment->halign;
    m_valign = alignment->valign;
    if (IsTextStamp()) {
        // A text's lines line up on the stamp's side.
        TextChanged();
        return;
    }
    if (m_sampleView->IsLoaded() && m_stampView->IsLoaded()) {
        CWaitCursor wait;
        RebuildStampedPreview();
    }
}

void CPositionPage::OnOffsetUpdate(int controlId) {
    QLineEdit* box = controlId == IDC_POS_OFFSET_X ? m_offsetXBox : m_offsetYBox;
    const int last = controlId == IDC_POS_OFFSET_X ? m_offsetX : m_offsetY;
    if (const std::optional<QString> replacement = FilterOffsetText(box->text(), last)) {
        // The replacement's own change notification restarts the timer.
        box->setText(*replacement);
        return;
    }
    RestartPreviewTimer(kTimerOffsets);
}

void CPositionPage::RestartPreviewTimer(int id) {
    m_previewTimer.stop();
    m_previewTimerId = 0;
    // A stamp being dragged is composited in full when the drag ends.
    if (IsApplying() || m_stampDrag.active)
        return;
    m_previewTimerId = id;
    m_previewTimer.start();
}

void CPositionPage::OnSliderChanged(int controlId) {
    switch (controlId) {
    case IDC_POS_OPACITY:
        RestartPreviewTimer(kTimerOpacity);
        if (QWidget* label = GetDlgItem(this, IDC_POS_OPACITY_VALUE))
            qobject_cast<QLabel*>(label)->setText(OpacityLabelText(m_opacitySlider->value()));
        break;
    case IDC_POS_FEATHER:
        RestartPreviewTimer(kTimerFeather);
        if (QWidget* label = GetDlgItem(this, IDC_POS_FEATHER_VALUE))
            qobject_cast<QLabel*>(label)->setText(FeatherLabelText(m_featherSlider->value()));
        break;
    case IDC_POS_TOLERANCE:
        RestartPreviewTimer(kTimerTolerance);
        if (QWidget* label = GetDlgItem(this, IDC_POS_TOLERANCE_VALUE))
            qobject_cast<QLabel*>(label)->setText(ToleranceLabelText(m_toleranceSlider->value()));
        break;
    default:
        break;
    }
}

void CPositionPage::OnPreviewTimer() {
    const int id = m_previewTimerId;
    m_previewTimer.stop();
    m_previewTimerId = 0;
    if (id < kTimerOffsets || id > kTimerText)
        return;
    // A run that started within the second reads the stamp: try again after it.
    if (m_host.isStamping && m_host.isStamping()) {
        m_previewTimerId = id;
        m_previewTimer.start();
        return;
    }
    ++m_previewUpdates;
    bool changed = false, rekey = false, refill = false;
    const int x = ParseOffsetText(m_offsetXBox->text());
    const int y = ParseOffsetText(m_offsetYBox->text());
    if (x != m_offsetX || y != m_offsetY) {
        m_offsetX = x;
        m_offsetY = y;
        changed = true;
    }
    const uint8_t opacity = uint8_t(m_opacitySlider->value() & 0xFF);
    if (opacity != m_opacity) {
        m_opacity = opacity;
        (IsKeyColourSet() ? rekey : refill) = true;
        changed = true;
    }
    const uint8_t tolerance = uint8_t(m_toleranceSlider->value());
    if (tolerance != m_tolerance) {
        m_tolerance = tolerance;
        if (IsKeyColourSet())
            rekey = changed = true;
    }
    const uint8_t feather = uint8_t(m_featherSlider->value());
    if (feather != m_feather) {
        m_feather = feather;
        if (IsKeyColourSet())
            rekey = changed = true;
    }
    // An emptied percentage box waits for digits; a number out of range is brought into it.
    if (!m_sizePercentBox->text().isEmpty()) {
        const int typed = ParseOffsetText(m_sizePercentBox->text());
        const int percent = std::clamp(typed, 1, 100);
        if (percent != typed) {
            const QSignalBlocker blocker(m_sizePercentBox);
            m_sizePercentBox->setText(QString::number(percent));
        }
        if (percent != m_sizePercent) {
            m_sizePercent = percent;
            m_previewShaper.reset();
            changed |= m_sizeMode != kSizeOriginal;
            UpdateStampCaption();
        }
    }
    if (m_angleBox->value() != m_angle) {
        m_angle = m_angleBox->value();
        m_previewShaper.reset();
        changed = true;
    }
    if (!m_tileGapBox->text().isEmpty()) {
        const int gap = std::clamp(ParseOffsetText(m_tileGapBox->text()), 0, kMaxTileGapPercent);
        if (gap != m_tileGap) {
            m_tileGap = gap;
            m_previewShaper.reset();
            changed |= m_tile;
        }
    }
    if (const std::string text = m_textBox->toPlainText().toStdString(); text != m_text.text) {
        m_text.text = text;
        if (IsTextStamp()) {
            TextChanged();
            changed = false; // the preview is made anew already
        }
    }
    if ((rekey || refill) && m_stampView->IsLoaded())
        PrepareStamp();
    if (changed && m_stampView->IsLoaded() && m_sampleView->IsLoaded()) {
        CWaitCursor wait;
        RebuildStampedPreview();
    }
}

void CPositionPage::OnUseTransparence() {
    if (m_useTransparence->isChecked()) {
        m_keyColour &= 0x00FFFFFFu;
        EnableTransparenceControls(true);
        m_stampView->SetPickEnabled(true);
    } else {
        if (IsKeyColourSet() && m_stampView->IsLoaded()) {
            CWaitCursor wait;
            PrepareStamp(); // the box is clear now: the opacity everywhere
            RebuildStampedPreview();
        }
        m_keyColour &= 0x00FFFFFFu;
        EnableTransparenceControls(false);
        m_stampView->SetPickEnabled(false);
    }
    m_swatch->update(); // erased: no key colour now
}

void CPositionPage::OnStampClicked() {
    const uint32_t picked = m_stampView->GetPickedColour();
    if (!m_stampView->IsLoaded() || !m_stampView->IsPickEnabled() || !::IsKeyColourSet(picked) ||
        !m_swatch->isEnabled())
        return;
    CWaitCursor wait;
    m_keyColour = picked;
    m_swatch->update();
    PrepareStamp();
    RebuildStampedPreview();
}

void CPositionPage::OnSizeModeChanged() {
    const int mode = m_sizeModeList->currentIndex();
    if (mode == m_sizeMode || mode < 0)
        return;
    SetStampSize(mode, m_sizePercent);
    if (m_stampView->IsLoaded()) {
        UpdateStampCaption();
        if (m_sampleView->IsLoaded()) {
            CWaitCursor wait;
            RebuildStampedPreview();
        }
    }
}

void CPositionPage::OnDigitsUpdate(QLineEdit* box, int value, int timerId) {
    // Digits only; anything else brings back the value in use.
    const QString text = box->text();
    const bool digits = std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
    if (!digits) {
        box->setText(QString::number(value));
        return;
    }
    if (!text.isEmpty())
        RestartPreviewTimer(timerId);
}

void CPositionPage::OnSizePercentUpdate() {
    OnDigitsUpdate(m_sizePercentBox, m_sizePercent, kTimerSizePercent);
}

void CPositionPage::OnAngleChanged(int degrees) {
    {
        const QSignalBlocker blocker(m_angleDial);
        m_angleDial->setValue(degrees);
    }
    RestartPreviewTimer(kTimerLayout);
}

void CPositionPage::OnTileClicked() {
    m_tile = m_tileBox->isChecked();
    m_tileGapBox->setEnabled(m_tile);
    if (QWidget* unit = GetDlgItem(this, IDC_POS_TILE_GAP_UNIT))
        unit->setEnabled(m_tile);
    m_previewShaper.reset();
    if (m_stampView->IsLoaded() && m_sampleView->IsLoaded()) {
        CWaitCursor wait;
        RebuildStampedPreview();
    }
}

void CPositionPage::OnTileGapUpdate() {
    OnDigitsUpdate(m_tileGapBox, m_tileGap, kTimerLayout);
}

void CPositionPage::OnFollowExif() {
    SetFollowExif(m_followExifBox->isChecked());
    // Only a sample from a file can carry an orientation: it is read again to show it as
    // the batch will see it.
    if (m_samplePath.isEmpty())
        return;
    CWaitCursor wait;
    if (!m_sampleView->LoadPictureFile(m_samplePath, false)) {
        m_samplePath.clear();
        m_sampleView->LoadSamplePicture();
    }
    SampleChanged();
}

void CPositionPage::OnSwatchClicked() {
    if (!m_swatch->isEnabled())
        return;
    if (m_stampView->IsLoaded())
        ShowMessageBox(this, QStringLiteral("Klick on the stamp to select a color"),
                       CMessageIcon::Information);
    else
        ShowMessageBox(this,
                       QStringLiteral("You have to open a stamp before choosing the "
                                      "transparent color."),
                       CMessageIcon::Warning);
}

bool CPositionPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_swatch && event->type() == QEvent::Paint) {
        // The swatch shows the key colour while one is picked and transparency is on.
        QPainter painter(m_swatch);
        QColor colour = palette().color(QPalette::Button);
        if (m_swatch->isEnabled() && IsKeyColourSet())
            colour = QColor(int(m_keyColour >> 16 & 0xFF), int(m_keyColour >> 8 & 0xFF),
                            int(m_keyColour & 0xFF));
        painter.fillRect(m_swatch->rect(), colour);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(m_swatch->rect().adjusted(0, 0, -1, -1));
        return true;
    }
    return CResizePropertyPage::eventFilter(watched, event);
}

// ---- Sample views: dragging and the popup

CImageViewer* CPositionPage::SampleViewAt(const QPoint& pos) const {
    for (CImageViewer* view : {m_stampedView, m_sampleView})
        if (view->isVisible() && view->geometry().contains(pos))
            return view;
    return nullptr;
}

void CPositionPage::UpdateDragCursor(bool sizeAll) {
    for (CImageViewer* view : {m_stampedView, m_sampleView}) {
        if (sizeAll)
            view->setCursor(Qt::SizeAllCursor);
        else
            view->unsetCursor();
    }
}

CShapedStamp CPositionPage::PreviewStamp() {
    return PreviewShaper().Shape(SampleFacts({m_halign, m_valign, m_offsetX, m_offsetY, false}));
}

CStampPlacement CPositionPage::PreviewStampPlacement(const CShapedStamp& stamp, int offsetX,
                                                     int offsetY) {
    const CStampBitmap& sample = m_sampleView->GetPicture();
    return PhotoStampPlacement(stamp, stamp.own, {sample.GetWidth(), sample.GetHeight()}, 1,
                               {m_halign, m_valign, offsetX, offsetY, false});
}

bool CPositionPage::IsOverStamp(const QPoint& pagePos) {
    if (!m_stampView->IsLoaded() || !m_stampedView->IsLoaded() || !m_sampleView->IsLoaded() ||
        SampleViewAt(pagePos) != m_stampedView)
        return false;
    const QPointF at = m_stampedView->WindowToPicture(QPointF(pagePos - m_stampedView->pos()));
    const CStampPlacement p = PreviewStampPlacement(PreviewStamp(), m_offsetX, m_offsetY);
    return p.width > 0 && p.height > 0 && at.x() >= p.targetX && at.x() < p.targetX + p.width &&
           at.y() >= p.targetY && at.y() < p.targetY + p.height;
}

bool CPositionPage::BeginStampDrag(const QPoint& pagePos) {
    if (m_host.isStamping && m_host.isStamping())
        return false; // a run reads the stamp's placement as it is
    // Offsets typed within the last second count from where they put the stamp.
    TakePendingValues();
    if (!IsOverStamp(pagePos))
        return false;
    m_stampDrag.active = true;
    m_stampDrag.start = pagePos;
    m_stampDrag.offsetX = m_offsetX;
    m_stampDrag.offsetY = m_offsetY;
    m_stampDrag.stamp = PreviewStamp();
    const CStampPlacement p = PreviewStampPlacement(m_stampDrag.stamp, m_offsetX, m_offsetY);
    m_stampedView->BeginStampOverlay(m_sampleView->GetPicture(), *m_stampDrag.stamp.bitmap,
                                     m_stampDrag.stamp.blend,
                                     QPoint(p.targetX - p.sourceX, p.targetY - p.sourceY));
    m_stampedView->setCursor(Qt::ClosedHandCursor);
    return true;
}

void CPositionPage::MoveStampDrag(const QPoint& pagePos) {
    // Offsets count in pixels of the stamp at its own size: on a stamp scaled for the
    // sample, one of them moves it by the scale.
    const double zoom = m_stampedView->GetZoom() * GetSampleScale();
    const QPoint delta = pagePos - m_stampDrag.start;
    const int x = DraggedOffset(m_stampDrag.offsetX, delta.x(), zoom);
    const int y = DraggedOffset(m_stampDrag.offsetY, delta.y(), zoom);
    if (x == m_offsetX && y == m_offsetY)
        return;
    // The boxes follow; their own notifications start no timer during the drag.
    SetOffsets(x, y);
    const CStampPlacement p = PreviewStampPlacement(m_stampDrag.stamp, x, y);
    m_stampedView->MoveStampOverlay(QPoint(p.targetX - p.sourceX, p.targetY - p.sourceY));
    m_stampedView->PaintPicture();
}

void CPositionPage::EndStampDrag() {
    m_stampDrag.active = false;
    m_stampedView->EndStampOverlay();
    m_stampDrag.stamp = {};
    m_stampedView->setCursor(Qt::OpenHandCursor);
    m_previewTimer.stop();
    m_previewTimerId = 0;
    const bool moved = m_offsetX != m_stampDrag.offsetX || m_offsetY != m_stampDrag.offsetY;
    if (moved && m_stampView->IsLoaded() && m_sampleView->IsLoaded()) {
        CWaitCursor wait;
        RebuildStampedPreview();
    } else {
        m_stampedView->PaintPicture();
    }
}

void CPositionPage::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    CImageViewer* view = SampleViewAt(pos);
    if (event->button() == Qt::LeftButton && view == m_stampedView && BeginStampDrag(pos)) {
        view->setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    if (event->button() == Qt::LeftButton && view) {
        if (m_stampedView->IsScrollable()) {
            m_dragging = true;
            m_lastDragPoint = pos;
        }
        view->setFocus(Qt::MouseFocusReason);
    }
    // Accepted, so the release of a press over the views comes here too.
    event->setAccepted(view != nullptr);
}

void CPositionPage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (m_stampDrag.active) {
        if (event->buttons() & Qt::LeftButton)
            MoveStampDrag(pos);
        else
            EndStampDrag(); // the release went elsewhere
        event->accept();
        return;
    }
    if ((event->buttons() & Qt::LeftButton) && m_dragging) {
        const QPoint delta = m_lastDragPoint - pos;
        m_sampleView->ScrollBy(delta.x(), delta.y());
        m_stampedView->ScrollBy(delta.x(), delta.y());
        UpdateDragCursor(true);
        m_lastDragPoint = pos;
        m_stampedView->PaintPicture();
        m_sampleView->PaintPicture();
    } else {
        UpdateDragCursor(m_stampedView->IsScrollable() && SampleViewAt(pos));
        // The stamp on the stamped view can be taken and moved.
        if (IsOverStamp(pos))
            m_stampedView->setCursor(Qt::OpenHandCursor);
    }
    event->accept();
}

void CPositionPage::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && m_stampDrag.active) {
        MoveStampDrag(pos);
        EndStampDrag();
    } else if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        if (!m_stampedView->IsScrollable())
            UpdateDragCursor(false);
    } else if (event->button() == Qt::RightButton) {
        if (CImageViewer* view = SampleViewAt(pos)) {
            view->setFocus(Qt::MouseFocusReason);
            std::unique_ptr<QMenu> menu = CreateSamplePopup(view);
            if (menu)
                if (QAction* chosen = menu->exec(mapToGlobal(pos)))
                    OnCommand(GetMenuCommand(chosen));
        }
    }
    event->accept();
}

std::unique_ptr<QMenu> CPositionPage::CreateSamplePopup(CImageViewer* view) {
    return CreateCopyPastePopup(this, view && view->IsLoaded(),
                                IsClipboardFormatAvailable(QM_CF_BITMAP));
}

// ---- Copy, paste, keyboard

void CPositionPage::OnCommand(int command) {
    switch (command) {
    case ID_EDIT_COPY:
    case ID_POPUP_COPY:
        OnCopy();
        break;
    case ID_EDIT_PASTE:
    case ID_POPUP_PASTE:
        OnPaste();
        break;
    default:
        break;
    }
}

void CPositionPage::OnCopy() {
    CImageViewer* source = nullptr;
    for (CImageViewer* view : {m_stampView, m_sampleView, m_stampedView})
        if (HasFocus(view) && view->IsLoaded()) {
            source = view;
            break;
        }
    if (!source)
        return;
    CWaitCursor wait;
    CopyToClipboard(source->GetPicture());
}

void CPositionPage::OnPaste() {
    const bool intoStamp = HasFocus(m_stampView);
    const bool intoSample = HasFocus(m_sampleView) || HasFocus(m_stampedView);
    if (!intoStamp && !intoSample)
        return;
    CDIBBitmap pasted;
    CWaitCursor wait;
    if (!PasteFromClipboard(pasted, QM_CF_BITMAP) || pasted.GetWidth() <= 0 ||
        pasted.GetHeight() <= 0)
        return;
    if (intoStamp) {
        if (!m_stampView->SetPicture(pasted, true))
            return;
        SetStampPath(QStringLiteral("CLIPBOARD"));
        m_text.kind = kStampPicture;
        ShowKindControls();
        StampChanged();
    } else {
        if (!m_sampleView->SetPicture(pasted, true))
            return;
        SampleChanged();
    }
}

bool CPositionPage::PreTranslateKey(QWidget* target, QKeyEvent* event) {
    const int command = m_accelerators.Translate(*event);
    if (command == ID_EDIT_COPY || command == ID_EDIT_PASTE) {
        // A focused edit box gets its keys first, as any focused control does.
        if (IsEditBox(target))
            return false;
        OnCommand(command);
        return true;
    }
    // Past the last stop (or before the first) Tab goes to the tab strip.
    return NavigateDialog(this, target, event, m_host.tabControl ? m_host.tabControl() : nullptr);
}
