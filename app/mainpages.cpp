#include "app/mainpages.h"

#include "controls/controlfactories.h"
#include "controls/resizedialog.h"
#include "pages/input/foldertree.h"
#include "pages/output/outputpage.h"
#include "pages/pagehost.h"
#include "pages/position/positionpage.h"
#include "platform/dialogbuilder.h"
#include "resources/resource.h"

#include <QListWidget>

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
    // The page issues put their classes here: new CInputPage(parent) and so on, and the
    // output page's flag as isStamping = [page] { return page->IsStamping(); }.
    pages.pages[CMainPages::kInput] = CreateTemplatePage(IDD_INPUT_PAGE, parent);
    auto* position = new CPositionPage(parent);
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
    });
    pages.pages[CMainPages::kPosition] = position;
    auto* output = new COutputPage(parent);
    output->SetHost({
        []() -> QStringList {
            // The input page's selected-files list, found by its id.
            const CPageHost* host = CPageHost::Get();
            QWidget* input = host ? host->GetPage(CMainPages::kInput) : nullptr;
            const auto* list =
                input ? GetDlgItemAs<QListWidget>(input, IDC_IN_SELECTED_LIST) : nullptr;
            QStringList files;
            for (int i = 0; list && i < list->count(); ++i)
                files << list->item(i)->text();
            return files;
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
