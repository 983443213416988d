#include "app/FindNode.h"

#include "app/CaseNodeData.h"
#include "app/Main.h"
#include "db/CaseFind.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kSection = QStringLiteral("Default");

bool childrenUnloaded(const QTreeWidgetItem* item)
{
    return item->data(0, RoleHasChildren).toBool() && item->childCount() == 0;
}

} // namespace

TfrmFindNode::TfrmFindNode(TFormMain& form) : QDialog(&form), form_(form)
{
    setObjectName(QStringLiteral("frmFindNode"));
    setWindowTitle(QStringLiteral("查找节点"));
    auto* group = new QGroupBox(QStringLiteral("查找"), this);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(new QLabel(QStringLiteral("请输入要查找的文字"), group));
    EditCaption = new QLineEdit(group);
    EditCaption->setObjectName(QStringLiteral("EditCaption"));
    EditCaption->setMinimumWidth(260);
    groupLayout->addWidget(EditCaption);
    auto checkBox = [this, groupLayout, group](const char* name, const QString& caption) {
        auto* box = new QCheckBox(caption, group);
        box->setObjectName(QLatin1String(name));
        groupLayout->addWidget(box);
        return box;
    };
    CheckBoxCase = checkBox("CheckBoxCase", QStringLiteral("区分大小写(&S)"));
    CheckBoxExactly = checkBox("CheckBoxExactly", QStringLiteral("完全匹配(&W)"));
    CheckBoxUnexpanded = checkBox("CheckBoxUnexpanded", QStringLiteral("搜索未展开的节点"));

    BitBtnFind = new QPushButton(QStringLiteral("开始查找(&F)"), this);
    BitBtnFind->setObjectName(QStringLiteral("BitBtnFind"));
    BitBtnFind->setDefault(true);
    BitBtn2 = new QPushButton(QStringLiteral("关闭(&C)"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(BitBtnFind);
    buttons->addWidget(BitBtn2);
    buttons->addStretch(1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);

    connect(EditCaption, &QLineEdit::textChanged, this, &TfrmFindNode::EditCaptionChange);
    connect(BitBtnFind, &QPushButton::clicked, this, &TfrmFindNode::BitBtnFindClick);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    EditCaption->setText(ReadString(kSection, QStringLiteral("FindText")));
    CheckBoxCase->setChecked(ReadBool(kSection, QStringLiteral("FindCaseSensitive"), false));
    CheckBoxExactly->setChecked(ReadBool(kSection, QStringLiteral("FindExactly"), false));
    CheckBoxUnexpanded->setChecked(ReadBool(kSection, QStringLiteral("FindUnexpanded"), false));
    EditCaptionChange();
}

TfrmFindNode::~TfrmFindNode()
{
    WriteString(kSection, QStringLiteral("FindText"), EditCaption->text());
    WriteBool(kSection, QStringLiteral("FindCaseSensitive"), CheckBoxCase->isChecked());
    WriteBool(kSection, QStringLiteral("FindExactly"), CheckBoxExactly->isChecked());
    WriteBool(kSection, QStringLiteral("FindUnexpanded"), CheckBoxUnexpanded->isChecked());
}

void TfrmFindNode::EditCaptionChange()
{
    BitBtnFind->setEnabled(!EditCaption->text().trimmed().isEmpty());
}

QTreeWidgetItem* TfrmFindNode::NextItem(QTreeWidgetItem* item)
{
    if (item->childCount() > 0)
        return item->child(0);
    for (QTreeWidgetItem* at = item; at; at = at->parent()) {
        QTreeWidgetItem* parent = at->parent();
        QTreeWidget* tree = at->treeWidget();
        const int index = parent ? parent->indexOfChild(at) : tree->indexOfTopLevelItem(at);
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        if (index + 1 < count)
            return parent ? parent->child(index + 1) : tree->topLevelItem(index + 1);
    }
    return nullptr;
}

QTreeWidgetItem* TfrmFindNode::LoadPath(QTreeWidgetItem* item, const std::vector<int32_t>& path)
{
    for (int32_t id : path) {
        if (childrenUnloaded(item))
            form_.LoadChildren(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (NodeDataOf(item->child(i)).Id == id)
                next = item->child(i);
        if (!next)
            return nullptr;   // the node could not be read into the tree
        item->setExpanded(true);
        item = next;
    }
    return item;
}

QTreeWidgetItem* TfrmFindNode::FindUnloadedBelow(QTreeWidgetItem* item, const CaptionMatcher& matcher)
{
    if (!index_)
        index_ = std::make_unique<CaseTreeIndex>(form_.Database());
    const std::vector<int32_t> path = index_->FindBelow(NodeDataOf(item).Id, matcher);
    return path.empty() ? nullptr : LoadPath(item, path);
}

void TfrmFindNode::BitBtnFindClick()
{
    QTreeWidget* tree = form_.NavTree();
    QTreeWidgetItem* start = tree->currentItem();
    QTreeWidgetItem* item = start ? start : tree->topLevelItem(0);
    if (!item) {
        FormMessageBox(this, QStringLiteral("没有任何节点。"), MB_ICONINFORMATION);
        return;
    }
    const CaptionMatcher matcher(EditCaption->text().toStdU32String(), CheckBoxCase->isChecked(),
                                 CheckBoxExactly->isChecked());
    const bool unloaded = CheckBoxUnexpanded->isChecked();
    index_.reset();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QTreeWidgetItem* found = nullptr;
    while (!found && item) {
        if (unloaded && childrenUnloaded(item))
            found = FindUnloadedBelow(item, matcher);
        if (found)
            break;
        item = NextItem(item);
        if (item && item->childCount() > 0)
            item->setExpanded(true);
        if (item && matcher.Matches(item->text(0).toStdU32String()))
            found = item;
    }
    index_.reset();
    QApplication::restoreOverrideCursor();
    if (!found) {
        FormMessageBox(this, QStringLiteral("没有找到符合条件的节点。"), MB_ICONINFORMATION);
        return;
    }
    if (form_.SelectItem(found))
        tree->scrollToItem(found);
}
