#include "app/mainpages.h"

#include "controls/controlfactories.h"
#include "controls/resizedialog.h"
#include "pages/input/foldertree.h"
#include "pages/input/inputpage.h"
#include "pages/output/outputpage.h"
#include "pages/pagehost.h"
#include "pages/position/positionpage.h"
#include "platform/dialogbuilder.h"
#include "resources/resource.h"

namespace {

// Stands in for a page class until it exists.
class CTemplatePage : public CResizePropertyPage {
public:
    CTemplatePage(int templateId, QWidget* parent) : CResizePropertyPage(parent) {
        const CDialogTemplate* dialogTemplate = FindDialogTemplate(templateId);
        if (!dialogTemplate)
            return;
        CDialogBuilder builder(*dialogTemplate);
        const int lists[] = {IDC_IN_FILE_LIST, IDC_IN_SELECTED_LIST, 0};
        UseCommonControls(builder, templateId == IDD_INPUT_PAGE ? lists : nullptr);
        for (const CControlTemplate& control : *dialogTemplate) {
            if (control.kind == CControlKind::TreeView)
                builder.SetFactory(control.id, [](const CControlTemplate&, QWidget* p) {
                    return new CFolderTree(p);
                });
        }
        InitFromTemplate(builder);
    }
};

} // namespace

CResizePropertyPage* CreateTemplatePage(int templateId, QWidget* parent) {
    return new CTemplatePage(templateId, parent);
}

CMainPages CreateMainPages(QWidget* parent) {
    CMainPages pages;
    auto* input = new CInputPage(parent);
    pages.pages[CMainPages::kInput] = input;
    auto* position = new CPositionPage(parent);
    // A photo clicked in the selected files is the sample the stamp is judged on.
    QObject::connect(input, &CInputPage::sampleChosen, position, &CPositionPage::ChooseSample);
    position->SetHost({
        [] {
            const CPageHost* host = CPageHost::Get();
            return host && host->IsApplyingSettings();
        },
        [] {
            const CPageHost* host = CPageHost::Get();
            return host && host->IsStamping();
        },
        []() -> QWidget* {
            const CPageHost* host = CPageHost::Get();
            return host ? host->GetTabControl() : nullptr;
        },
        [] {
            const CPageHost* host = CPageHost::Get();
            const auto* output =
                host ? qobject_cast<COutputPage*>(host->GetPage(CMainPages::kOutput)) : nullptr;
            return output && output->IsJpegOutputChecked() && output->IsLosslessChecked();
        },
    });
    pages.pages[CMainPages::kPosition] = position;
    auto* output = new COutputPage(parent);
    output->SetHost({
        []() -> QStringList {
            const CPageHost* host = CPageHost::Get();
            const auto* input =
                host ? qobject_cast<CInputPage*>(host->GetPage(CMainPages::kInput)) : nullptr;
            return input ? input->GetSelectedFiles() : QStringList();
        },
        []() -> CPositionPage* {
            const CPageHost* host = CPageHost::Get();
            return host ? qobject_cast<CPositionPage*>(host->GetPage(CMainPages::kPosition))
                        : nullptr;
        },
        []() -> QWidget* {
            const CPageHost* host = CPageHost::Get();
            return host ? host->GetTabControl() : nullptr;
        },
    });
    pages.pages[CMainPages::kOutput] = output;
    const QPointer<COutputPage> guarded(output);
    pages.isStamping = [guarded] { return guarded && guarded->IsStamping(); };
    pages.endRun = [guarded] {
        if (guarded)
            guarded->EndRun();
    };
    return pages;
}
