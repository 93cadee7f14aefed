// The main window with its tree and details, and the About box.

#include "caboutdlg.h"
#include "cshotcontext.h"
#include "qtm.h"

#include <QListWidget>
#include <QTreeWidgetItemIterator>

namespace {

// The first client whose inventory file gives it Details lines, or null.
QTreeWidgetItem *clientWithDetails(qtm &window)
{
    for (QTreeWidgetItemIterator it(window.ui.treeWidget); *it; ++it) {
        QTreeWidgetItem *item = *it;
        if (!item->data(0, Qt::UserRole).toString().startsWith(QLatin1String("UUID=")))
            continue;
        emit window.ui.treeWidget->itemClicked(item, 0);
        if (window.m_details->count() > 0)
            return item;
    }
    return nullptr;
}

} // namespace

BRAMIX_SCREENS(main)
{
    qtm window(nullptr, {});
    window.init();
    window.resize(858, 536);
    ctx.save(&window, QStringLiteral("main"));

    // A client chosen, then the first of its classes that holds something.
    if (QTreeWidgetItem *client = clientWithDetails(window)) {
        for (QTreeWidgetItem *up = client->parent(); up; up = up->parent())
            up->setExpanded(true);
        client->setExpanded(true);
        window.ui.treeWidget->setCurrentItem(client);
        ctx.save(&window, QStringLiteral("main_client"));
        for (int i = 0; i < client->childCount(); ++i) {
            QTreeWidgetItem *cls = client->child(i);
            emit window.ui.treeWidget->itemClicked(cls, 0);
            if (window.m_details->count() == 0)
                continue;
            window.ui.treeWidget->setCurrentItem(cls);
            ctx.save(&window, QStringLiteral("main_class"));
            break;
        }
    }

    CAboutDlg about(nullptr);
    ctx.save(&about, QStringLiteral("about"));
}
