// TFormMain: the tree basics that opening, closing and the hand-over need:
// the two fixed items, loading children, finding and selecting by id, and
// creating a node.
#include "app/Main.h"

#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"

#include <QTreeWidget>

namespace {

QString captionText(const std::string& ansi)
{
    return QString::fromStdString(AnsiToUtf8(ansi));
}

} // namespace

int TFormMain::ImageOfKind(int code)
{
    static const int images[] = {29, 30, 32, 33, 34, 31, 49, 50, 51};
    return code >= 1 && code <= 8 ? images[code] : 29;
}

QTreeWidgetItem* TFormMain::AddTreeItem(QTreeWidgetItem* parent, int id, int image,
                                        const QString& caption, int kind)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(TVNav);
    item->setText(0, caption);
    item->setIcon(0, ImageListMenus::Icon(image));
    item->setData(0, RoleNodeId, id);
    item->setData(0, RoleNodeType, kind);
    if (kind != kNodeRecycleBinItem && kind != kNodeBriefcaseItem)
        item->setFlags(item->flags() | Qt::ItemIsEditable);   // caption edit by a click or rename
    return item;
}

void TFormMain::SetHasChildren(QTreeWidgetItem* item, bool has)
{
    item->setData(0, RoleHasChildren, has);
    item->setChildIndicatorPolicy(has ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void TFormMain::CreateSpecialItems()
{
    ++updateLock_;
    TVNav->clear();
    recycleBinItem_ = AddTreeItem(nullptr, kParentRecycleBin, 25, QStringLiteral("回收站"), kNodeRecycleBinItem);
    SetHasChildren(recycleBinItem_, true);
    briefcaseItem_ = AddTreeItem(nullptr, kParentTop, 27, QStringLiteral("我的公文包"), kNodeBriefcaseItem);
    SetHasChildren(briefcaseItem_, true);
    --updateLock_;
}

void TFormMain::LoadChildren(QTreeWidgetItem* item)
{
    ++updateLock_;
    qDeleteAll(item->takeChildren());
    const std::vector<int32_t> ids = db_.GetChildren(item->data(0, RoleNodeId).toInt());
    for (int32_t id : ids) {
        CaseNode node;
        if (!db_.GetNode(id, node, false))
            continue;
        QTreeWidgetItem* child = AddTreeItem(item, id, ImageOfKind(node.Type), captionText(node.Caption), node.Type);
        SetHasChildren(child, true);
    }
    if (!ids.empty())
        item->setExpanded(true);
    const bool has = item->childCount() > 0;
    if (!has) {
        const int kind = item->data(0, RoleNodeType).toInt();
        if (kind == kNodeFolder)
            item->setIcon(0, ImageListMenus::Icon(28));
        else if (kind == kNodeRecycleBinItem)
            item->setIcon(0, ImageListMenus::Icon(26));
    }
    SetHasChildren(item, has);
    --updateLock_;
}

QTreeWidgetItem* TFormMain::FindItemById(int id) const
{
    for (QTreeWidgetItemIterator it(TVNav); *it; ++it)
        if ((*it)->data(0, RoleNodeId).toInt() == id)
            return *it;
    return nullptr;
}

bool TFormMain::SelectNodeById(int id)
{
    std::vector<int> path{id};
    while (path.back() > 0) {
        CaseNode node;
        if (!db_.GetNode(path.back(), node, false))
            return false;
        path.push_back(node.Parent);
    }
    QTreeWidgetItem* current = path.back() == kParentRecycleBin ? recycleBinItem_ : briefcaseItem_;
    if (!current || (path.back() != kParentTop && path.back() != kParentRecycleBin))
        return false;
    ++updateLock_;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (!current->isExpanded()) {
            if (current->childCount() == 0 && current->data(0, RoleHasChildren).toBool())
                LoadChildren(current);
            current->setExpanded(true);
        }
        for (int i = 0; i < current->childCount(); ++i) {
            if (current->child(i)->data(0, RoleNodeId).toInt() == *it) {
                current = current->child(i);
                break;
            }
        }
    }
    TVNav->setCurrentItem(current);
    TVNav->scrollToItem(current, QAbstractItemView::PositionAtTop);
    --updateLock_;
    SetModified(false);
    return true;
}

QTreeWidgetItem* TFormMain::CreateNode(QTreeWidgetItem* parent, const QString& caption, bool commit,
                                       bool edit, int image, int kind, const std::string& bytes)
{
    CaseNode node;
    if (kind == kNodeFile) {
        // Single-file import: the path's file becomes the node.
        ShowStatusText(QStringLiteral("正在导入文件") + caption);
        if (!node.LoadFromFile(bytes, true)) {
            ShowStatusText(QStringLiteral("读文件") + caption + QStringLiteral("出错。"));
            return nullptr;
        }
        ShowStatusText(QStringLiteral("文件导入完成。"));
    } else {
        node.SetData(bytes);
    }
    const int parentId = parent->data(0, RoleNodeId).toInt();
    if (!ToDatabaseText(caption, node.Caption))
        return nullptr;
    node.Id = db_.TakeNextId(false);
    if (node.Id == 0) {
        AppMessageBox(QStringLiteral("无法创建节点：数据库中已没有可用的节点编号。"), MB_ICONERROR);
        return nullptr;
    }
    node.Parent = parentId;
    node.Type = uint8_t(kind);
    node.Order = db_.MaxChildOrder(parentId) + 1;
    if (parent->childCount() == 0 && parent->data(0, RoleHasChildren).toBool())
        LoadChildren(parent);
    if (!db_.AddNode(node))
        return nullptr;
    if (commit)
        db_.Commit();
    QTreeWidgetItem* item = AddTreeItem(parent, node.Id, image, caption, kind);
    SetHasChildren(parent, true);
    parent->setExpanded(true);
    TVNav->setCurrentItem(item);
    if (edit) {
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        TVNav->editItem(item);
    }
    return item;
}
