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

// Levels below a fixed item the tree shows. The view lays out expanded items
// recursively, a stack frame a level: about 26,000 levels fill the 8 MiB
// stack of the main thread.
constexpr int kMaxShownDepth = 10000;

int depthOf(const QTreeWidgetItem* item)
{
    int depth = 0;
    for (; item->parent(); item = item->parent())
        ++depth;
    return depth;
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
    std::vector<int32_t> ids;
    if (depthOf(item) < kMaxShownDepth)
        ids = db_.GetChildren(item->data(0, RoleNodeId).toInt());
    else
        ShowStatusText(QStringLiteral("节点的层次太深，树中只显示前%1层。").arg(kMaxShownDepth));
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
    std::vector<int32_t> path = db_.Ancestry(id);
    if (!CaseDB::ReachesRoot(path))
        return false;
    // Deeper than the tree shows: its ancestor on the deepest shown level.
    const size_t shown = size_t(kMaxShownDepth) + 1;
    if (path.size() > shown)
        path.erase(path.begin(), path.end() - std::ptrdiff_t(shown));
    QTreeWidgetItem* current = path.back() == kParentRecycleBin ? recycleBinItem_ : briefcaseItem_;
    if (!current)
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
    --updateLock_;
    if (SelectItem(current))
        TVNav->scrollToItem(current, QAbstractItemView::PositionAtTop);
    return true;
}

bool TFormMain::CommitOrRollBack()
{
    if (db_.Commit())
        return true;
    RollBackPending();
    return false;
}

void TFormMain::RollBackPending()
{
    if (!db_.Rollback())
        AppMessageBox(QStringLiteral("未保存的修改未能撤销，请关闭后重新打开数据库。"), MB_ICONERROR);
}

void TFormMain::ResyncTree(int id)
{
    CreateSpecialItems();
    if (db_.IsOpen())
        SelectNodeById(id);
}

QTreeWidgetItem* TFormMain::CreateNode(QTreeWidgetItem* parent, const QString& caption, bool commit,
                                       bool edit, int image, int kind, const std::string& bytes)
{
    // The new node is selected: the shown node's edits are asked about first.
    if (!MayLeaveShownNode())
        return nullptr;
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
    node.Order = db_.NextChildOrder(parentId);
    if (parent->childCount() == 0 && parent->data(0, RoleHasChildren).toBool())
        LoadChildren(parent);
    if (node.Order == 0 || !db_.AddNode(node))
        return nullptr;
    if (commit && !CommitOrRollBack())
        return nullptr;
    QTreeWidgetItem* item = AddTreeItem(parent, node.Id, image, caption, kind);
    SetHasChildren(parent, true);
    parent->setExpanded(true);
    SelectItem(item);
    if (edit) {
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        TVNav->editItem(item);
    }
    return item;
}
