// qm_gallery DIR: renders every dialog template with the program's own controls and
// artwork into DIR/template-<id>.png, the main window with the input page in its tab
// control into DIR/main-window.png, and the artwork into DIR/artwork.png. Used to look at
// the templates after a change: every text must fit its control.
#include "controls/controlfactories.h"
#include "controls/extentlistbox.h"
#include "controls/imagebutton.h"
#include "controls/resizedialog.h"
#include "core/stampdisplay.h"
#include "platform/dialogbuilder.h"
#include "platform/resourceloader.h"
#include "platform/staticcontrol.h"
#include "platform/tabcontrol.h"
#include "resources/resource.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTreeWidget>

#include <cstdio>
#include <memory>

namespace {

// A picture drawn into a viewer area the way the viewers will: fitted, smoothed.
void ShowPicture(QWidget* area, CStampBitmap& picture) {
    auto* label = qobject_cast<QLabel*>(area);
    if (!label || picture.GetWidth() <= 0)
        return;
    QImage canvas(area->size(), QImage::Format_RGB32);
    canvas.fill(area->palette().color(QPalette::Window));
    const double fit = std::min(double(area->width()) / picture.GetWidth(),
                                double(area->height()) / picture.GetHeight());
    QPainter painter(&canvas);
    CDC dc(painter);
    const int w = int(picture.GetWidth() * fit), h = int(picture.GetHeight() * fit);
    ScaledDraw(dc, picture, (area->width() - w) / 2, (area->height() - h) / 2, fit);
    painter.end();
    label->setPixmap(QPixmap::fromImage(canvas));
}

void FillTree(QWidget* widget) {
    auto* tree = qobject_cast<QTreeWidget*>(widget);
    if (!tree)
        return;
    const std::vector<QPixmap> images = LoadImageList(IDB_FOLDER_IMAGES, 16, qRgb(255, 0, 255));
    auto icon = [&](int i) { return i < int(images.size()) ? QIcon(images[size_t(i)]) : QIcon(); };
    auto* desktop = new QTreeWidgetItem(tree, {"Desktop"});
    desktop->setIcon(0, icon(IMG_DESKTOP));
    auto* computer = new QTreeWidgetItem(desktop, {"my computer"});
    computer->setIcon(0, icon(IMG_COMPUTER));
    const std::pair<const char*, int> drives[] = {{"/", IMG_HARD_DISK},
                                                  {"/media/anna/USB STICK/", IMG_FLOPPY},
                                                  {"/media/anna/CDROM/", IMG_CDROM},
                                                  {"/mnt/share/", IMG_NETWORK_DRIVE},
                                                  {"/mnt/ram/", IMG_RAM_DISK}};
    QTreeWidgetItem* root = nullptr;
    for (const auto& [text, image] : drives) {
        auto* item = new QTreeWidgetItem(computer, {text});
        item->setIcon(0, icon(image));
        root = root ? root : item;
    }
    for (const char* name : {"home", "pictures", "srv"}) {
        auto* folder = new QTreeWidgetItem(root, {name});
        folder->setIcon(0, icon(IMG_FOLDER_CLOSED));
    }
    root->child(1)->setIcon(0, icon(IMG_FOLDER_OPEN));
    tree->expandAll();
    tree->setCurrentItem(root->child(1));
}

void SetButton(QWidget* page, int id, int icon, int w, int h, QPoint image, QPoint text) {
    if (auto* button = GetDlgItemAs<CImageButton>(page, id)) {
        button->SetIcon(icon, w, h);
        button->SetImagePos(image.x(), image.y());
        button->SetTextPos(text.x(), text.y());
    }
}

void Dress(QWidget* page, int templateId, CStampBitmap& sample, CStampBitmap& stamp) {
    switch (templateId) {
    case IDD_INPUT_PAGE: {
        SetButton(page, IDC_IN_ADD_ALL, IDI_ADD_ALL, 20, 18, {4, -1}, {26, -1});
        SetButton(page, IDC_IN_ADD_SELECTED, IDI_ADD_SELECTED, 17, 17, {4, -1}, {23, -1});
        SetButton(page, IDC_IN_REMOVE_ALL, IDI_REMOVE_ALL, 20, 18, {4, -1}, {26, -1});
        SetButton(page, IDC_IN_REMOVE_SELECTED, IDI_REMOVE_SELECTED, 17, 17, {4, -1}, {23, -1});
        if (auto* files = GetDlgItemAs<CExtentListBox>(page, IDC_IN_FILE_LIST))
            for (const char* name :
                 {"beach.jpg", "Cat.PNG", "harbour at dawn.jpeg", "logo.gif", "scan 0001.bmp"})
                files->AddString(name);
        if (auto* chosen = GetDlgItemAs<CExtentListBox>(page, IDC_IN_SELECTED_LIST))
            for (const char* name : {"/home/anna/pictures/beach.jpg",
                                     "/home/anna/pictures/holidays/harbour at dawn.jpeg"})
                chosen->AddString(name);
        FillTree(GetDlgItem(page, IDC_IN_TREE));
        ShowPicture(GetDlgItem(page, IDC_IN_PREVIEW), sample);
        GetDlgItemAs<QCheckBox>(page, IDC_IN_PREVIEW_CHECK)->setChecked(true);
        GetDlgItemAs<QLabel>(page, IDC_IN_WIDTH_LABEL)->setText("width: 385 pixels");
        GetDlgItemAs<QLabel>(page, IDC_IN_HEIGHT_LABEL)->setText("height: 236 pixels");
        break;
    }
    case IDD_POSITION_PAGE: {
        SetButton(page, IDC_POS_OPEN_STAMP, IDI_OPEN, 16, 16, {4, -1}, {23, -1});
        SetButton(page, IDC_POS_OPEN_SAMPLE, IDI_OPEN, 16, 16, {3, -1}, {22, -1});
        ShowPicture(GetDlgItem(page, IDC_POS_STAMP_VIEW), stamp);
        ShowPicture(GetDlgItem(page, IDC_POS_STAMPED_VIEW), sample);
        ShowPicture(GetDlgItem(page, IDC_POS_SAMPLE_VIEW), sample);
        GetDlgItemAs<QLineEdit>(page, IDC_POS_STAMP_PATH)->setText("/home/anna/logo.png");
        GetDlgItemAs<QPushButton>(page, IDC_POS_ALIGN_BOTTOM_RIGHT)->setChecked(true);
        GetDlgItemAs<QLineEdit>(page, IDC_POS_OFFSET_X)->setText("-10");
        GetDlgItemAs<QLineEdit>(page, IDC_POS_OFFSET_Y)->setText("-10");
        auto* opacity = GetDlgItemAs<QSlider>(page, IDC_POS_OPACITY);
        opacity->setRange(0, 255);
        opacity->setValue(255);
        auto* feather = GetDlgItemAs<QSlider>(page, IDC_POS_FEATHER);
        feather->setRange(0, 20);
        feather->setValue(10);
        auto* zoom = GetDlgItemAs<QComboBox>(page, IDC_POS_ZOOM);
        for (const char* z : {"5%", "10%", "15%", "25%", "50%", "75%", "100%", "125%", "150%",
                              "200%", "300%", "500%", "750%", "1000%"})
            zoom->addItem(z);
        zoom->setCurrentIndex(4);
        break;
    }
    case IDD_OUTPUT_PAGE: {
        SetButton(page, IDC_OUT_START, IDI_START, 16, 16, {10, -1}, {40, -1});
        SetButton(page, IDC_OUT_STOP, IDI_STOP, 16, 16, {10, -1}, {40, -1});
        SetButton(page, IDC_OUT_NEW_FOLDER, IDI_NEW_FOLDER, 16, 16, {4, -1}, {30, -1});
        FillTree(GetDlgItem(page, IDC_OUT_TREE));
        GetDlgItemAs<QLineEdit>(page, IDC_OUT_FOLDER)->setText("/home/anna/pictures/");
        GetDlgItemAs<QRadioButton>(page, IDC_OUT_JPG)->setChecked(true);
        GetDlgItemAs<QCheckBox>(page, IDC_OUT_PRESERVE)->setChecked(true);
        auto* quality = GetDlgItemAs<QSlider>(page, IDC_OUT_QUALITY);
        quality->setRange(0, 100);
        quality->setValue(100);
        GetDlgItemAs<QPlainTextEdit>(page, IDC_OUT_LOG)
            ->setPlainText("OK: /home/anna/pictures/beach.jpg created \n"
                           "ERR: /home/anna/pictures/broken.jpg Unknown file type.\n");
        GetDlgItemAs<QProgressBar>(page, IDC_OUT_PROGRESS)->setValue(60);
        break;
    }
    case IDD_PREVIEW_FILE:
        ShowPicture(GetDlgItem(page, IDC_PREVIEW_AREA), sample);
        GetDlgItemAs<QLabel>(page, IDC_PREVIEW_WIDTH)->setText("width: 385 pixels");
        GetDlgItemAs<QLabel>(page, IDC_PREVIEW_HEIGHT)->setText("height: 236 pixels");
        GetDlgItemAs<QCheckBox>(page, IDC_PREVIEW_CHECK)->setChecked(true);
        break;
    case IDD_INFO_DIALOG:
        if (auto* link = GetDlgItemAs<QLabel>(page, IDC_INFO_LINK)) {
            QFont font = link->font();
            font.setUnderline(true);
            link->setFont(font);
            QPalette palette = link->palette();
            palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
            link->setPalette(palette);
        }
        break;
    case IDD_NEW_FOLDER:
        GetDlgItemAs<QLineEdit>(page, IDC_NEW_FOLDER_NAME)->setText("new folder");
        break;
    default:
        break;
    }
}

std::unique_ptr<QWidget> BuildPage(int templateId, QWidget* parent, CStampBitmap& sample,
                                   CStampBitmap& stamp) {
    auto page = std::make_unique<QWidget>(parent);
    page->setAutoFillBackground(true);
    CDialogBuilder builder(*FindDialogTemplate(templateId));
    const int lists[] = {IDC_IN_FILE_LIST, IDC_IN_SELECTED_LIST, 0};
    UseCommonControls(builder, templateId == IDD_INPUT_PAGE ? lists : nullptr);
    builder.Build(page.get());
    Dress(page.get(), templateId, sample, stamp);
    return page;
}

// The input page as the main window holds it: anchored, so that it follows the tab
// control's display area.
class CAnchoredInputPage : public CResizePropertyPage {
public:
    CAnchoredInputPage(QWidget* parent, CStampBitmap& sample, CStampBitmap& stamp)
        : CResizePropertyPage(parent) {
        CDialogBuilder builder(*FindDialogTemplate(IDD_INPUT_PAGE));
        const int lists[] = {IDC_IN_FILE_LIST, IDC_IN_SELECTED_LIST, 0};
        UseCommonControls(builder, lists);
        InitFromTemplate(builder);
        Dress(this, IDD_INPUT_PAGE, sample, stamp);
        const struct {
            int id;
            float l, t, r, b;
        } anchors[] = {{IDC_IN_TREE, 0, 0, 0.25f, 1},
                       {IDC_IN_FILE_LIST, 0.25f, 0, 0.5f, 1},
                       {IDC_IN_ADD_ALL, 0.25f, 1, 0.375f, 1},
                       {IDC_IN_ADD_SELECTED, 0.385f, 1, 0.5f, 1},
                       {IDC_IN_SELECTED_LIST, 0.5f, 0, 0.75f, 1},
                       {IDC_IN_REMOVE_SELECTED, 0.5f, 1, 0.625f, 1},
                       {IDC_IN_REMOVE_ALL, 0.635f, 1, 0.75f, 1},
                       {IDC_IN_PREVIEW, 0.75f, 0, 1, 0.25f},
                       {IDC_IN_SELECTED_LABEL, 0.5f, 0, 0.75f, 0},
                       {IDC_IN_PREVIEW_CHECK, 0.75f, 0.25f, 0.75f, 0.25f},
                       {IDC_IN_WIDTH_LABEL, 0.75f, 0.25f, 0.75f, 0.25f},
                       {IDC_IN_HEIGHT_LABEL, 0.75f, 0.25f, 0.75f, 0.25f}};
        for (const auto& a : anchors)
            AddAnchor(a.id, a.l, a.t, a.r, a.b);
    }
};

bool Save(const QPixmap& pixmap, const QString& path) {
    const bool ok = pixmap.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

QPixmap Artwork() {
    const int scale = 4;
    QPixmap sheet(900, 620);
    sheet.fill(QColor(236, 236, 236));
    QPainter p(&sheet);
    int x = 10;
    const std::pair<int, QSize> icons[] = {
        {IDI_APPLICATION_ICON, {32, 32}}, {IDI_OPEN, {16, 16}},       {IDI_TAB_INPUT, {16, 16}},
        {IDI_TAB_POSITION, {16, 16}},     {IDI_TAB_OUTPUT, {16, 16}}, {IDI_ADD_SELECTED, {17, 17}},
        {IDI_REMOVE_SELECTED, {17, 17}},  {IDI_ADD_ALL, {20, 18}},    {IDI_REMOVE_ALL, {20, 18}},
        {IDI_NEW_FOLDER, {16, 16}},       {IDI_START, {16, 16}},      {IDI_STOP, {16, 16}}};
    for (const auto& [id, size] : icons) {
        const QPixmap icon = LoadIconPixmap(id, size.width(), size.height());
        p.drawPixmap(x, 10, icon);
        p.drawPixmap(QRect(x, 50, size.width() * scale / 2, size.height() * scale / 2), icon);
        x += std::max(size.width() * scale / 2, 40) + 12;
    }
    const QImage strip = LoadBitmapImage(IDB_FOLDER_IMAGES);
    p.drawImage(QRect(10, 110, strip.width() * scale, strip.height() * scale), strip);
    const QImage splash = LoadBitmapImage(IDB_SPLASH);
    p.drawImage(10, 190, splash);
    const QCursor cursor = LoadCursor(IDC_COLOUR_PICKER);
    p.drawPixmap(QRect(420, 190, 128, 128), cursor.pixmap());
    p.setPen(Qt::red);
    p.drawRect(420 + cursor.hotSpot().x() * 4, 190 + cursor.hotSpot().y() * 4, 3, 3);
    return sheet;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("gallery");
    QDir().mkpath(folder);
    bool ok = Save(Artwork(), folder + "/artwork.png");

    CStampBitmap sample, stamp;
    try {
        sample.LoadFromResource(IDB_SPLASH);
        stamp.ConvertFrom(sample, 32);
    } catch (...) {
        std::printf("FAILED to load the splash resource\n");
        return 1;
    }

    size_t count = 0;
    const CDialogTemplate* const* all = GetDialogTemplates(&count);
    for (size_t i = 0; i < count; ++i) {
        const CDialogTemplate& t = *all[i];
        const std::unique_ptr<QWidget> page = BuildPage(t.id, nullptr, sample, stamp);
        page->show();
        ok = Save(page->grab(), QString("%1/template-%2.png").arg(folder).arg(t.id)) && ok;
    }

    // The main window with the input page placed in its tab control's display area.
    QWidget main;
    main.setAutoFillBackground(true);
    CDialogBuilder(*FindDialogTemplate(IDD_MAIN_DIALOG)).Build(&main);
    auto* tabs = GetDlgItemAs<CTabControl>(&main, IDC_MAIN_TAB);
    const char* titles[] = {"input selection", "positioning + settings", "output selection"};
    for (int i = 0; i < 3; ++i) {
        tabs->InsertItem(i, titles[i]);
        tabs->SetItemIcon(i, QIcon(LoadIconPixmap(IDI_TAB_INPUT + i, 16, 16)));
    }
    auto* page = new CAnchoredInputPage(tabs, sample, stamp);
    main.show();
    const QRect item = tabs->GetItemRect(0);
    page->setGeometry(item.left(), item.bottom() + 1 + 5, tabs->width() - 4,
                      tabs->height() - (item.bottom() + 1) - 7);
    ok = Save(main.grab(), folder + "/main-window.png") && ok;
    return ok ? 0 : 1;
}
