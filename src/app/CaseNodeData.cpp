#include "app/CaseNodeData.h"

#include "app/Main.h"
#include "db/CaseNode.h"

#include <QTreeWidgetItem>

CaseNodeData NodeDataOf(const QTreeWidgetItem* item)
{
    CaseNodeData data;
    if (item) {
        data.Id = item->data(0, RoleNodeId).toInt();
        data.Type = uint8_t(item->data(0, RoleNodeType).toInt());
    }
    return data;
}

int KindOf(const QTreeWidgetItem* item)
{
    return item ? NodeDataOf(item).Type : kNothingSelected;
}

bool IsFixedItem(const QTreeWidgetItem* item)
{
    const int kind = KindOf(item);
    return kind == kNodeRecycleBinItem || kind == kNodeBriefcaseItem;
}

bool IsInRecycleBin(const QTreeWidgetItem* item)
{
    for (; item; item = item->parent())
        if (KindOf(item) == kNodeRecycleBinItem)
            return true;
    return false;
}

bool DropAccepted(const QTreeWidgetItem* selected, const QTreeWidgetItem* target)
{
    if (!selected || !target || IsFixedItem(selected) || target == selected->parent())
        return false;
    for (const QTreeWidgetItem* t = target; t; t = t->parent())
        if (t == selected)
            return false;
    return true;
}
