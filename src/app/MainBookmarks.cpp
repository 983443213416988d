// TFormMain: the bookmark menu "书签(&B)" (the bookmark set last comes first)
// and the command that sets or clears the bookmark of the selected node.
#include "app/Main.h"

#include "app/CaseNodeData.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"

#include <QAction>
#include <QMenu>
#include <QTreeWidget>

void TFormMain::ConnectBookmarks()
{
    SetUpdateRule(ActionToggleBookmark, [this] {
        QTreeWidgetItem* item = TVNav->currentItem();
        const bool enabled = item && !IsFixedItem(item);
        ActionToggleBookmark->setText(enabled && db_.IsBookmark(NodeDataOf(item).Id) ? QStringLiteral("取消书签")
                                                                                      : QStringLiteral("设为书签"));
        return enabled;
    });
    connect(ActionToggleBookmark, &QAction::triggered, this, &TFormMain::ActionToggleBookmarkExecute);
}

void TFormMain::RebuildBookmarkMenu()
{
    const std::vector<int32_t> ids = veil_.Active() ? std::vector<int32_t>() : db_.GetBookmarks();
    // Deleted later: a bookmark click may be the one running.
    for (QAction* old : MenuItemBookmarks->actions()) {
        MenuItemBookmarks->removeAction(old);
        old->deleteLater();
    }
    MenuItemBookmarks->menuAction()->setEnabled(!ids.empty());
    for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
        CaseNode node;
        if (!db_.GetNode(*it, node, false))
            continue;
        const int32_t id = *it;
        QAction* entry = MenuItemBookmarks->addAction(ImageListMenus::Icon(ImageOfKind(node.Type)),
                                                      QString::fromStdString(AnsiToUtf8(node.Caption)));
        entry->setData(id);
        connect(entry, &QAction::triggered, this, [this, entry] { BookmarkItemClick(entry); });
    }
}

void TFormMain::ActionToggleBookmarkExecute()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!item)
        return;
    if (IsModified()) {
        AppMessageBox(QStringLiteral("数据正被修改，必须先保存数据才能设为或取消书签。"), 0);
        return;
    }
    const int32_t id = NodeDataOf(item).Id;
    if (!(db_.IsBookmark(id) ? db_.RemoveBookmark(id) : db_.AddBookmark(id)))
        RollBackPending();
    RebuildBookmarkMenu();
}

void TFormMain::BookmarkItemClick(QAction* entry)
{
    const int32_t id = entry->data().toInt();
    const QString caption = entry->text();
    if (SelectNodeById(id))
        return;
    CaseNode node;
    if (db_.GetNode(id, node, false)) {
        // Still stored, but below a missing parent or parents in a circle.
        AppMessageBox(QStringLiteral("书签\"") + caption + QStringLiteral("\"指向的节点不在树中，数据库的结构已损坏。"), MB_ICONERROR);
        return;
    }
    if (!db_.RemoveBookmark(id))
        RollBackPending();
    RebuildBookmarkMenu();   // deletes entry
    AppMessageBox(QStringLiteral("书签\"") + caption + QStringLiteral("\"指向的节点已经不存在，该书签已被取消。"), 0);
}
