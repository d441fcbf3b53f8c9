#pragma once

#include "controls/resizedialog.h"
#include "core/stampcompositing.h"
#include "core/stampshape.h"
#include "job/stampdescription.h"
#include "platform/accelerators.h"

#include <QPoint>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CImageViewer;
class CPreTranslateHook;
class CStampBitmap;
class CToolTipControl;
class QCheckBox;
class QDial;
class QSpinBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;

// What the positioning page asks of the window that holds it. Every member may be empty.
class CLosslessJpegStamp;
class CStampBitmap;

struct CPositionPageHost {
    // The applying guard: raised while settings are pushed into the pages. The page then
    // starts no preview timer and ignores alignment clicks.
    std::function<bool()> isApplying;
    // A batch run reads the prepared stamp; the page leaves it alone meanwhile.
    std::function<bool()> isStamping;
    // The main window's tab control, where Tab from the stamp path box leads.
    std::function<QWidget*()> tabControl;
    // JPEG output that re-encodes only the stamped blocks of JPEG inputs: the stamped view
    // then shows a JPEG sample as that output will look.
    std::function<bool()> isLosslessJpegOutput;
};

// A text stamp as the page holds it; kind 0 is the picture stamp.
struct CTextStampValues {
    int32_t kind = 0; // kStampPicture or kStampText
    std::string text; // UTF-8, placeholders unfilled
    std::string font = "sans-serif:bold";
    int32_t size = 48;
    int32_t colour = 0xFFFFFF; // 0xRRGGBB or kTextColourAuto
    bool shadow = true;
    bool operator==(const CTextStampValues&) const = default;

    // Into the text fields of a settings record.
    void StoreIn(CStampSettingsValues& settings) const;
};

// Asks for a font, starting from "FAMILY:STYLE"; nothing when cancelled. The default shows
// the font dialog; tests put their own in its place.
using CFontHook = std::function<std::optional<std::string>(QWidget* parent, const std::string&)>;
// Asks for a colour (0xRRGGBB), starting from the given one; nothing when cancelled.
using CTextColourHook = std::function<std::optional<int32_t>(QWidget* parent, int32_t colour)>;

// Runs the file-open dialog with the filter and returns the chosen path, or nothing when
// cancelled. The default shows CPreviewFileDlg; tests put their own in its place.
using COpenFileHook = std::function<std::optional<QString>(QWidget* parent, const QString& filter)>;

// The "positioning + settings" page (template 103): the stamp with its preview, placement,
// opacity and transparency, and the sample shown stamped and unchanged side by side.
//
// The page owns the prepared stamp: the stamp preview's picture, prepared in place, is what
// the batch job composites. Slider and offset changes take effect through one shared
// one-shot preview timer of 1000 ms, whose update does only the work the changed values
// need.
class CPositionPage : public CResizePropertyPage {
    Q_OBJECT
public:
    // The filter of the stamp and sample dialogs.
    static const QString kOpenFilter;
    static constexpr int kPreviewDelayMs = 1000;
    enum : int {
        kTimerOffsets = 1,
        kTimerOpacity = 2,
        kTimerFeather = 3,
        kTimerTolerance = 4,
        kTimerSizePercent = 5,
        kTimerLayout = 6, // angle and tile gap
        kTimerText = 7,
    };
    // The entries of the size list, in the order of the sizemode values.
    static const char* const kSizeModeEntries[3];

    explicit CPositionPage(QWidget* parent = nullptr);
    ~CPositionPage() override;

    void SetHost(CPositionPageHost host) { m_host = std::move(host); }
    void SetOpenFileHook(COpenFileHook hook) { m_openFile = std::move(hook); }
    void SetFontHook(CFontHook hook) { m_chooseFont = std::move(hook); }
    void SetColourHook(CTextColourHook hook) { m_chooseColour = std::move(hook); }

    // ---- The three viewers; the stamp preview's picture is the prepared stamp.
    CImageViewer* GetStampView() const { return m_stampView; }
    CImageViewer* GetSampleView() const { return m_sampleView; }
    CImageViewer* GetStampedView() const { return m_stampedView; }
    CStampBitmap& GetStampBitmap();

    // ---- Working values (what the settings record keeps of this page).
    const QString& GetStampPath() const { return m_stampPath; }
    void SetStampPath(const QString& path); // also shown in the path box
    const QString& GetSamplePath() const { return m_samplePath; }
    void SetSamplePath(const QString& path) { m_samplePath = path; }
    uint8_t GetFeather() const { return m_feather; }
    uint8_t GetTolerance() const { return m_tolerance; }
    uint8_t GetOpacity() const { return m_opacity; }
    int GetOffsetX() const { return m_offsetX; }
    int GetOffsetY() const { return m_offsetY; }
    uint8_t GetHAlign() const { return m_halign; }
    uint8_t GetVAlign() const { return m_valign; }
    // Blue, green, red and the "set" flag in the high byte.
    uint32_t GetKeyColour() const { return m_keyColour; }
    bool IsKeyColourSet() const;
    bool IsTransparenceChecked() const;
    // Stamp size: 0 its own, 1 percent of the photo's width, 2 of its shorter side.
    int GetSizeMode() const { return m_sizeMode; }
    int GetSizePercent() const { return m_sizePercent; }
    // Photos are shown, and stamped, as a viewer turns them by their EXIF orientation.
    bool IsFollowExif() const { return m_followExif; }
    int GetAngle() const { return m_angle; }
    bool IsTile() const { return m_tile; }
    int GetTileGap() const { return m_tileGap; }
    bool IsTileOffset() const { return m_tileOffset; }
    // The look of the stamp as the page's values make it.
    CStampLook GetStampLook() const;
    // The stamp as the page describes it now: the picture shown (prepared, with its own
    // transparency) or the text, with the look and the placement.
    CStampDescription GetStampDescription() const;
    // A stamp for a batch run made from that description; null without a stamp.
    std::shared_ptr<CStampMaker> CreateStampShaper() const;
    CRunStamp GetRunStamp() const;
    // The text stamp's values; setting them shows the text in the stamp view (kind text).
    const CTextStampValues& GetTextStamp() const { return m_text; }
    void SetTextStamp(const CTextStampValues& values);
    bool IsTextStamp() const { return m_text.kind == 1; }
    // The stamp's size on the sample relative to its own (1 at its own size or without a
    // sample).
    double GetSampleScale() const;

    // ---- Setting the page from stored values (no preview work happens here).
    // Checks the button of the alignment (all others unchecked) and stores it.
    void SetAlignment(uint8_t halign, uint8_t valign);
    // Stores the offsets and writes them into the boxes.
    void SetOffsets(int offsetX, int offsetY);
    // Ranges 0..255, 0..255 and 0..20, the positions, and the stored values.
    void SetSliders(uint8_t opacity, uint8_t tolerance, uint8_t feather);
    // The check box, the nine transparency controls and colour picking on the stamp
    // preview, without the click's forgetting of the key colour.
    void SetTransparence(bool on);
    void SetKeyColour(uint32_t keyColour) { m_keyColour = keyColour; }
    // The size list, the percentage box (enabled for the percentage modes) and the values;
    // out-of-range values are taken as the defaults.
    void SetStampSize(int mode, int percent);
    // The check box and the sample view's turning; the sample shows turned from its next
    // load.
    void SetFollowExif(bool on);
    // Out-of-range values take their defaults.
    void SetStampLayout(int angle, bool tile, int tileGap, bool tileOffset);
    // Selects the list entry of the sample view's zoom, adding it when missing. With
    // removePrevious the page's earlier custom entry goes first (a sample arrival); without
    // it an earlier one stays (settings applied).
    void ShowSampleZoom(bool removePrevious);
    void UpdateStampCaption();
    QString GetStampCaption() const;
    const QString& GetCustomZoomEntry() const { return m_customZoomEntry; }

    // ---- Operations.
    // Key colour, tolerance and feather when transparency is on and a colour is picked,
    // else the uniform opacity.
    void PrepareStamp();
    // Copy or blend the stamp onto the stamped view (both pictures needed).
    void ComposeStampedPreview();
    // The stamped view anew from the sample, composited and painted.
    void RebuildStampedPreview();
    void StampChanged();
    void SampleChanged();

    // ---- Handlers, public for tests.
    void OnOpenStamp();
    void OnOpenSample();
    void OnZoomChange();
    void OnAlignmentClicked(int controlId);
    void OnOffsetUpdate(int controlId);
    void RestartPreviewTimer(int id);
    void OnSliderChanged(int controlId);
    void OnPreviewTimer();
    void OnUseTransparence();
    void OnSizeModeChanged();
    void OnSizePercentUpdate();
    void OnFollowExif();
    // The text stamp's controls.
    void OnStampKindChanged();
    void OnFontClicked();
    void OnTextColour(bool automatic);
    void OnShadowClicked();
    // Why the text cannot be stamped (an unknown placeholder), as the page shows it; empty
    // when it can.
    const QString& GetTextProblem() const { return m_textProblem; }
    void OnAngleChanged(int degrees);
    void OnTileClicked();
    void OnTileGapUpdate();
    // A number box that takes digits only, its update a second after the last key.
    void OnDigitsUpdate(QLineEdit* box, int value, int timerId);
    void OnStampClicked();
    void OnSwatchClicked();
    void OnCopy();
    void OnPaste();
    void OnCommand(int command);
    // The popup over a sample view as it would show now (owned by the caller).
    std::unique_ptr<QMenu> CreateSamplePopup(CImageViewer* view);
    // The keyboard pre-translation of every key press for the page or its controls;
    // true when the press is used up.
    bool PreTranslateKey(QWidget* target, QKeyEvent* event);

    // Values typed or slid within the last second become the working values now, as the
    // preview timer would have made them: whatever reads the page (a start, a page change,
    // gathering the settings at closing or export) sees what the user last set.
    void TakePendingValues();
    // A photo chosen on another page becomes the sample when this page is next shown or
    // read (decoding it at every click there would slow the choosing down).
    void ChooseSample(const QString& path);

    bool IsPreviewTimerPending() const { return m_previewTimer.isActive(); }
    int GetPreviewTimerId() const { return m_previewTimerId; }
    int GetPreviewUpdateCount() const { return m_previewUpdates; }
    bool IsDragging() const { return m_dragging; }
    // The stamp is being moved by hand on the stamped view.
    bool IsDraggingStamp() const { return m_stampDrag.active; }
    // Whether a point of the page lies on the stamp as the stamped view shows it.
    bool IsOverStamp(const QPoint& pagePos);
    // The stamp as the stamped preview carries it (shaped for the sample, which is shown
    // upright), and where it lands with the given offsets.
    CShapedStamp PreviewStamp();
    CStampPlacement PreviewStampPlacement(const CShapedStamp& stamp, int offsetX, int offsetY);
    CToolTipControl* GetToolTips() const { return m_toolTips; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The stamped view as lossless JPEG output of the sample file; false when that does
    // not apply (not a JPEG, or one the lossless path leaves to the ordinary one).
    bool ComposeLosslessPreview();
    bool IsApplying() const;
    void LoadChosenSample();
    CImageViewer* SampleViewAt(const QPoint& pos) const;
    bool BeginStampDrag(const QPoint& pagePos);
    void MoveStampDrag(const QPoint& pagePos);
    void EndStampDrag();
    void UpdateDragCursor(bool overViews);
    void EnableTransparenceControls(bool enable);
    // The shaper of the preview, made anew after the stamp or its look changed.
    CStampMaker& PreviewShaper();
    // What the preview knows of the sample, for a stamp that depends on its photo.
    CPhotoFacts SampleFacts(const CPhotoPlacement& placement);
    // The text drawn into the stamp view at its own size, for the sample's placeholders.
    void ShowTextStamp();
    // The picture's or the text's controls, as the stamp's kind asks.
    void ShowKindControls();
    // The text's stamp anew: drawn into the stamp view, the preview stamped again.
    void TextChanged();
    void UpdateTextButtons();
    std::optional<QString> ChooseFile();
    static bool HasFocus(const QWidget* widget);
    static bool IsEditBox(const QWidget* widget);

    CPositionPageHost m_host;
    COpenFileHook m_openFile;

    CImageViewer* m_stampView = nullptr;
    CImageViewer* m_sampleView = nullptr;
    CImageViewer* m_stampedView = nullptr;
    QLineEdit* m_stampPathBox = nullptr;
    QLineEdit* m_offsetXBox = nullptr;
    QLineEdit* m_offsetYBox = nullptr;
    QSlider* m_opacitySlider = nullptr;
    QSlider* m_featherSlider = nullptr;
    QSlider* m_toleranceSlider = nullptr;
    QCheckBox* m_useTransparence = nullptr;
    QComboBox* m_zoomList = nullptr;
    QComboBox* m_sizeModeList = nullptr;
    QLineEdit* m_sizePercentBox = nullptr;
    QCheckBox* m_followExifBox = nullptr;
    QSpinBox* m_angleBox = nullptr;
    QDial* m_angleDial = nullptr;
    QCheckBox* m_tileBox = nullptr;
    QLineEdit* m_tileGapBox = nullptr;
    QGroupBox* m_stampGroup = nullptr;
    QWidget* m_swatch = nullptr;
    CToolTipControl* m_toolTips = nullptr;
    std::unique_ptr<CPreTranslateHook> m_preTranslate;

    QString m_stampPath;
    QString m_samplePath;
    QString m_chosenSample; // waiting for LoadChosenSample
    std::unique_ptr<CLosslessJpegStamp> m_lossless;
    bool m_composedLossless = false; // the output mode the stamped view shows
    uint8_t m_feather = 10;
    uint8_t m_tolerance = 0;
    uint32_t m_keyColour = 0;
    uint8_t m_opacity = 255;
    int m_offsetX = 0;
    int m_offsetY = 0;
    uint8_t m_halign = 1;
    uint8_t m_valign = 1;
    int m_sizeMode = 0;
    int m_sizePercent = 20;
    bool m_followExif = true;
    int m_angle = 0;
    bool m_tile = false;
    int m_tileGap = 50;
    bool m_tileOffset = false; // no control of its own: kept as the settings say
    std::shared_ptr<CStampMaker> m_previewShaper;
    CTextStampValues m_text;
    QString m_textProblem;
    CFontHook m_chooseFont;
    CTextColourHook m_chooseColour;
    QComboBox* m_kindList = nullptr;
    QPlainTextEdit* m_textBox = nullptr;
    QPushButton* m_fontButton = nullptr;
    QPushButton* m_colourButton = nullptr;
    QCheckBox* m_shadowBox = nullptr;
    QTimer m_previewTimer;
    int m_previewTimerId = 0;
    int m_previewUpdates = 0;
    QString m_customZoomEntry;
    bool m_dragging = false;
    QPoint m_lastDragPoint;
    struct SStampDrag {
        bool active = false;
        QPoint start;                 // page pixels where the button went down
        int offsetX = 0, offsetY = 0; // the offsets then
        CShapedStamp stamp;           // drawn over the sample while the drag lasts
    } m_stampDrag;
    CAcceleratorTable m_accelerators;
};
