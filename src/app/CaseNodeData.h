// CaseNodeData: the record each item of the navigation tree TVNav carries,
// the node id and kind code. It lives in the item's data roles (RoleNodeId,
// RoleNodeType), so it goes away with the item.
#pragma once

#include <cstdint>

class QTreeWidgetItem;

struct CaseNodeData {
    int32_t Id = 0;     // 0 for "我的公文包", -1 for "回收站"
    uint8_t Type = 0;   // kind code 0 to 8, 10 recycle bin item, 11 briefcase item
};

// Kind code the enabled rules use when nothing is selected; never stored.
constexpr int kNothingSelected = 12;

CaseNodeData NodeDataOf(const QTreeWidgetItem* item);
// The item's kind, kNothingSelected for none.
int KindOf(const QTreeWidgetItem* item);
// True for "回收站" and "我的公文包".
bool IsFixedItem(const QTreeWidgetItem* item);
// The item or one of its ancestors is the recycle-bin item.
bool IsInRecycleBin(const QTreeWidgetItem* item);
// Drag and drop onto target is accepted only for a selected, non-fixed item
// moving to an item that is not its current parent, not itself and not below it.
bool DropAccepted(const QTreeWidgetItem* selected, const QTreeWidgetItem* target);
