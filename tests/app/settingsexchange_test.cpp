#include "pages/output/outputpage.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/messagebox.h"
#include "realwindow.h"

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QSlider>

namespace {

class SettingsExchange : public RealWindowTest {
protected:
    void SetUp() override {
        RealWindowTest::SetUp();
        stamp = dir.path() + "/stamp.bmp";
        sample = dir.path() + "/sample.bmp";
        WriteBmp(stamp, 8, 8, 0xFFFF0000);
        WriteBmp(sample, 50, 40, 0xFF0000FF);
    }

    // A record in which every field differs from its default.
    CStampSettingsValues Full() const {
        CStampSettingsValues s;
        s.colora = 1;
        s.bpreview = false;
        s.overwritefiles = true;
        s.outputtype = 2;
        s.jpgquality = 55;
        s.outputdir = out.toStdString();
        s.inputdir = in.toStdString();
        s.pathstamp = stamp.toStdString();
        s.pathsample = sample.toStdString();
        s.usetrans = true;
        s.feather = 14;
        s.tptolerance = 33;
        s.opacity = 200;
        s.halign = 0;
        s.valign = 2;
        s.offsetx = -12;
        s.offsety = 345;
        s.colorr = 10;
        s.colorg = 20;
        s.colorb = 30;
        s.biptc = false;
        s.followexif = false;
        s.sizemode = 2;
        s.sizepercent = 35;
        return s;
    }

    static CPositionPage* Position(CMainDialog& d) {
        return qobject_cast<CPositionPage*>(d.GetPage(CMainPages::kPosition));
    }
    static QWidget* OutputControl(CMainDialog& d, int id) {
        return GetDlgItem(d.GetPage(CMainPages::kOutput), id);
    }
    static CFileDialogHook Answer(const QString& path) {
        return [path](QWidget*, bool, const QString&, const QString&,
                      const QString&) -> std::optional<QString> { return path; };
    }

    QString stamp, sample;
};

TEST_F(SettingsExchange, AppliedRecordGathersBackUnchangedInEveryField) {
    const CStampSettingsValues full = Full();
    const auto dialog = Open([&](CStampSettingsValues& s) { s = full; });
    CPositionPage* position = Position(*dialog);
    ASSERT_NE(position, nullptr);

    // What the pages show.
    EXPECT_TRUE(GetDlgItemAs<QAbstractButton>(position, IDC_POS_ALIGN_BOTTOM_LEFT)->isChecked());
    EXPECT_FALSE(GetDlgItemAs<QAbstractButton>(position, IDC_POS_ALIGN_CENTRE)->isChecked());
    EXPECT_EQ(GetDlgItemAs<QLineEdit>(position, IDC_POS_OFFSET_X)->text(), "-12");
    EXPECT_EQ(GetDlgItemAs<QLineEdit>(position, IDC_POS_OFFSET_Y)->text(), "345");
    EXPECT_EQ(GetDlgItemAs<QSlider>(position, IDC_POS_FEATHER)->maximum(), 20);
    EXPECT_EQ(GetDlgItemAs<QSlider>(position, IDC_POS_OPACITY)->value(), 200);
    EXPECT_EQ(position->GetKeyColour(), 0x010A141Eu);
    EXPECT_TRUE(position->GetStampView()->IsPickEnabled());
    EXPECT_EQ(GetDlgItemAs<QLineEdit>(position, IDC_POS_STAMP_PATH)->text(), stamp);
    EXPECT_TRUE(position->GetStampedView()->IsLoaded());
    EXPECT_EQ(position->GetSampleView()->GetPicture().GetWidth(), 50);
    EXPECT_EQ(GetDlgItemAs<QLineEdit>(dialog->GetPage(CMainPages::kOutput), IDC_OUT_FOLDER)->text(),
              out);
    EXPECT_FALSE(dialog->IsApplyingSettings());

    dialog->GetSettings() = CStampSettingsValues{};
    dialog->GatherSettingsFromPages();
    EXPECT_EQ(dialog->GetSettings().Values(), full);
}

TEST_F(SettingsExchange, OutputTypeChoosesTheFormatAndTheJpegControls) {
    const int jpegControls[] = {IDC_OUT_QUALITY_LABEL, IDC_OUT_QUALITY, IDC_OUT_QUALITY_VALUE,
                                IDC_OUT_PERCENT, IDC_OUT_PRESERVE};
    struct Case {
        int outputtype, checked;
        bool jpeg;
    };
    for (const Case c : {Case{1, IDC_OUT_BMP, false}, Case{2, IDC_OUT_PNG, false},
                         Case{0, IDC_OUT_JPG, true}, Case{7, IDC_OUT_JPG, true}}) {
        SCOPED_TRACE(c.outputtype);
        const auto dialog = Open([&](CStampSettingsValues& s) { s.outputtype = c.outputtype; });
        for (const int id : {IDC_OUT_BMP, IDC_OUT_JPG, IDC_OUT_PNG})
            EXPECT_EQ(qobject_cast<QAbstractButton*>(OutputControl(*dialog, id))->isChecked(),
                      id == c.checked);
        for (const int id : jpegControls)
            EXPECT_EQ(OutputControl(*dialog, id)->isEnabled(), c.jpeg) << id;
    }
}

TEST_F(SettingsExchange, WithoutAPickedColourGatheringKeepsTheStoredColour) {
    const auto dialog = Open([&](CStampSettingsValues& s) {
        s = Full();
        s.colora = 0;
        s.colorr = 77;
        s.colorg = 88;
        s.colorb = 99;
    });
    EXPECT_FALSE(Position(*dialog)->IsKeyColourSet());
    dialog->GatherSettingsFromPages();
    const CStampSettingsValues& s = dialog->GetSettings();
    EXPECT_EQ(s.colora, 0);
    EXPECT_EQ(std::tuple(s.colorr, s.colorg, s.colorb), std::tuple(77, 88, 99));
}

TEST_F(SettingsExchange, MissingPicturesFallBackWithoutAMessage) {
    CMessageBoxRecorder boxes;
    const auto dialog = Open([&](CStampSettingsValues& s) {
        s.pathstamp = (dir.path() + "/nothere.bmp").toStdString();
        s.pathsample = (dir.path() + "/gone.png").toStdString();
        s.inputdir = (dir.path() + "/no/such/folder/").toStdString();
    });
    EXPECT_TRUE(boxes.GetRecords().empty());
    CPositionPage* position = Position(*dialog);
    EXPECT_FALSE(position->GetStampView()->IsLoaded());
    EXPECT_TRUE(GetDlgItemAs<QLineEdit>(position, IDC_POS_STAMP_PATH)->text().isEmpty());
    EXPECT_EQ(GetDlgItemAs<QGroupBox>(position, IDC_POS_STAMP_GROUP)->title(), "stamp");
    EXPECT_FALSE(position->GetStampView()->IsPickEnabled());
    EXPECT_TRUE(position->GetSamplePath().isEmpty());
    EXPECT_EQ(position->GetSampleView()->GetPicture().GetWidth(), 190) << "the built-in sample";
    dialog->GatherSettingsFromPages();
    EXPECT_EQ(dialog->GetSettings().pathstamp, "");
    EXPECT_EQ(dialog->GetSettings().inputdir, FallbackFolder());
}

TEST_F(SettingsExchange, ExportThenImportGivesTheSameSettingsBack) {
    const auto dialog = Open([&](CStampSettingsValues& s) { s = Full(); });
    const QString file = dir.path() + "/config.qmc";
    std::vector<std::tuple<bool, QString, QString, QString>> asked;
    dialog->SetFileDialogHook([&](QWidget* parent, bool open, const QString& extension,
                                  const QString& name, const QString& filter) {
        EXPECT_EQ(parent, dialog.get());
        asked.emplace_back(open, extension, name, filter);
        return std::optional<QString>(file);
    });
    CMessageBoxRecorder boxes;
    // What the pages show now goes out, not what the record held.
    qobject_cast<QSlider*>(OutputControl(*dialog, IDC_OUT_QUALITY))->setValue(66);
    dialog->OnSysCommand(IDM_EXPORT);
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_EQ(boxes.GetRecords()[0].text, "Export successfull!");
    EXPECT_EQ(boxes.GetRecords()[0].icon, CMessageIcon::Information);
    EXPECT_GT(QFile(file).size(), 1104); // the record, then the extension
    const CStampSettingsValues exported = dialog->GetSettings();
    EXPECT_EQ(exported.jpgquality, 66);

    // The pages move on, then the file comes back.
    qobject_cast<QSlider*>(OutputControl(*dialog, IDC_OUT_QUALITY))->setValue(10);
    Position(*dialog)->SetAlignment(1, 1);
    boxes.Clear();
    bool guardDuringMessage = false;
    const CMessageBoxHook previous = SetMessageBoxHook([&](const CMessageBoxRecord& r) {
        guardDuringMessage = dialog->IsApplyingSettings();
        EXPECT_EQ(r.text, "Import successfull!\n\nNote:Paths may be incorrect since they are "
                          "depending on a special computer.");
        EXPECT_EQ(r.icon, CMessageIcon::Information);
        return QM_IDOK;
    });
    dialog->OnSysCommand(IDM_IMPORT);
    SetMessageBoxHook(previous);
    EXPECT_TRUE(guardDuringMessage);
    EXPECT_FALSE(dialog->IsApplyingSettings());
    EXPECT_EQ(dialog->GetSettings().Values(), exported);
    EXPECT_EQ(qobject_cast<QSlider*>(OutputControl(*dialog, IDC_OUT_QUALITY))->value(), 66);
    EXPECT_EQ(Position(*dialog)->GetHAlign(), 0);
    dialog->GatherSettingsFromPages();
    EXPECT_EQ(dialog->GetSettings().Values(), exported);

    ASSERT_EQ(asked.size(), 2u);
    const QString filter = "quillmark config file (*.qmc)|*.qmc|All Files (*.*)|*.*||";
    EXPECT_EQ(asked[0], std::tuple(false, QString("qmc"), QString("config.qmc"), filter));
    EXPECT_EQ(asked[1], std::tuple(true, QString(), QString(), filter));
}

TEST_F(SettingsExchange, ImportAndExportFailuresAndRepairsGiveTheirMessages) {
    const auto dialog = Open([&](CStampSettingsValues& s) { s = Full(); });
    const QString good = dir.path() + "/good.qmc";
    ASSERT_TRUE(dialog->GetSettings().ExportSettings(good.toStdString()));
    const QString feather25 = dir.path() + "/feather.qmc";
    {
        QFile::copy(good, feather25);
        QFile f(feather25);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(1060);
        f.write(QByteArray("\x19\0\0\0", 4));
    }
    const QString shortFile = dir.path() + "/short.qmc";
    {
        QFile f(shortFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1000, '\1'));
    }
    struct Case {
        const char* name;
        int command;
        QString path;
        QString message;
        CMessageIcon icon;
    };
    const Case cases[] = {
        {"short file", IDM_IMPORT, shortFile, "Import failed!\n\nPlease try another file.",
         CMessageIcon::Error},
        {"missing file", IDM_IMPORT, dir.path() + "/none.qmc",
         "Import failed!\n\nPlease try another file.", CMessageIcon::Error},
        {"unwritable", IDM_EXPORT, dir.path() + "/no/folder/x.qmc",
         "Export failed!\n\nPlease try another file.", CMessageIcon::Error},
        {"feather 25", IDM_IMPORT, feather25,
         "Import partly successfull!\n\nOne or more values were corrupted.", CMessageIcon::Warning},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CStampSettingsValues before = dialog->GetSettings();
        dialog->SetFileDialogHook(Answer(c.path));
        CMessageBoxRecorder boxes;
        dialog->OnSysCommand(c.command);
        ASSERT_EQ(boxes.GetRecords().size(), 1u);
        EXPECT_EQ(boxes.GetRecords()[0].text, c.message);
        EXPECT_EQ(boxes.GetRecords()[0].icon, c.icon);
        EXPECT_EQ(boxes.GetRecords()[0].owner, dialog.get());
        if (c.icon == CMessageIcon::Error && c.command == IDM_IMPORT) {
            EXPECT_EQ(dialog->GetSettings().Values(), before) << "nothing changes";
        }
        EXPECT_FALSE(dialog->IsApplyingSettings());
    }
    EXPECT_EQ(dialog->GetSettings().feather, 10);
    EXPECT_EQ(Position(*dialog)->GetFeather(), 10);
    EXPECT_EQ(GetDlgItemAs<QSlider>(Position(*dialog), IDC_POS_FEATHER)->value(), 10);
}

} // namespace
