// TFormMain: the node commands of the navigation tree: the new-node menus,
// caption editing, moving (up, down, drag and drop, cut and paste), deleting
// into the recycle bin and for good, the enabled rules, the selection
// notifications and the docked or auto-hide layout of the navigation panel.
// Every change goes to the store first, is committed, then shown in the tree.
#include "app/Main.h"

#include "app/CaseNodeData.h"
#include "app/Editurl.h"
#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"
#include "kellib/qt/Kelapputil.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool hasChildrenFlag(const QTreeWidgetItem* item)
{
    return item->data(0, RoleHasChildren).toBool();
}

// The children of item are in the tree (or it has none to load).
bool childrenLoaded(const QTreeWidgetItem* item)
{
    return !hasChildrenFlag(item) || item->childCount() > 0;
}

// Ends a caption edit through TFormMain::CaptionEdited, which may keep the old caption.
class CaptionDelegate : public QStyledItemDelegate {
public:
    CaptionDelegate(TFormMain* form, QTreeWidget* tree) : QStyledItemDelegate(tree), form_(form), tree_(tree) {}

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        QTreeWidgetItem* item = tree_->itemFromIndex(index);
        if (line && item && form_->CaptionEdited(item, line->text()))
            QStyledItemDelegate::setModelData(editor, model, index);
    }

private:
    TFormMain* form_;
    QTreeWidget* tree_;
};

// Drags inside TVNav: accepted by DropAccepted, carried out by MoveItemUnder.
class NavDropFilter : public QObject {
public:
    NavDropFilter(TFormMain* form, QTreeWidget* tree) : QObject(tree), form_(form), tree_(tree) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (drag->source() == tree_ && DropAccepted(tree_->currentItem(), target(drag)))
                drag->acceptProposedAction();
            else
                drag->ignore();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            QTreeWidgetItem* selected = tree_->currentItem();
            QTreeWidgetItem* to = target(drop);
            if (drop->source() == tree_ && DropAccepted(selected, to))
                form_->MoveItemUnder(selected, to);
            // Not a move for the view: it must not remove the dragged rows itself.
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    QTreeWidgetItem* target(const QDropEvent* event) const
    {
        return tree_->itemAt(event->position().toPoint());
    }

    TFormMain* form_;
    QTreeWidget* tree_;
};

// End selects the last shown item here: the view's own move finds no place
// for an item indented past the column's width (a deep chain of folders)
// and leaves nothing selected.
class NavEndKeyFilter : public QObject {
public:
    explicit NavEndKeyFilter(QTreeWidget* tree) : QObject(tree), tree_(tree) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        if (!key || key->key() != Qt::Key_End || key->modifiers() != Qt::NoModifier || tree_->topLevelItemCount() == 0)
            return QObject::eventFilter(watched, event);
        QTreeWidgetItem* last = tree_->topLevelItem(tree_->topLevelItemCount() - 1);
        while (last->isExpanded() && last->childCount() > 0)
            last = last->child(last->childCount() - 1);
        tree_->setCurrentItem(last);
        tree_->scrollToItem(last);
        return true;
    }

private:
    QTreeWidget* tree_;
};

} // namespace

void TFormMain::ConnectNavTree()
{
    TVNav->setItemDelegate(new CaptionDelegate(this, TVNav));
    // F2 is the properties command, so the edit key does not start a caption edit.
    TVNav->setEditTriggers(QAbstractItemView::SelectedClicked);
    TVNav->setDragEnabled(true);
    TVNav->setAcceptDrops(true);
    TVNav->setDragDropMode(QAbstractItemView::DragDrop);
    TVNav->viewport()->installEventFilter(new NavDropFilter(this, TVNav));
    TVNav->installEventFilter(new NavEndKeyFilter(TVNav));

    TimerNavChange = new QTimer(this);
    TimerNavChange->setObjectName(QStringLiteral("TimerNavChange"));
    TimerNavChange->setSingleShot(true);
    TimerNavChange->setInterval(50);
    connect(TimerNavChange, &QTimer::timeout, this, &TFormMain::TVNavChange);
    connect(TVNav, &QTreeWidget::currentItemChanged, this, &TFormMain::TVNavChanging);
    connect(TVNav, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        if (item->childCount() == 0)
            LoadChildren(item);
    });

    for (QMenu* menu : {MenuItemNewSubNode, PopItemNewNode, PopupMenuNewSubNode})
        BuildNewMenu(menu);
    ToolButtonNewSub->setPopupMode(QToolButton::InstantPopup);
    connect(SBMoveUp, &QToolButton::clicked, this, [this] { MoveSelected(-1); });
    connect(SBMoveDown, &QToolButton::clicked, this, [this] { MoveSelected(+1); });
    connect(SBHideNav, &QToolButton::clicked, this, [this] {
        layout_ = 2;
        ApplyLayout(2);
    });
    SBHideNav->setEnabled(true);

    TimerMonitorMouse = new QTimer(this);
    TimerMonitorMouse->setObjectName(QStringLiteral("TimerMonitorMouse"));
    TimerMonitorMouse->setInterval(500);
    connect(TimerMonitorMouse, &QTimer::timeout, this, &TFormMain::TimerMonitorMouseTimer);
    TimerMonitorMouse->start();

    SetNodeCommandRules();
    connect(ActionNodeRename, &QAction::triggered, this, [this] {
        if (QTreeWidgetItem* item = TVNav->currentItem())
            TVNav->editItem(item);
    });
    connect(ActionCutNode, &QAction::triggered, this,
            [this] { cutId_ = TVNav->currentItem() ? NodeDataOf(TVNav->currentItem()).Id : -1; });
    connect(ActionPaste, &QAction::triggered, this, &TFormMain::ActionPasteExecute);
    connect(ActionDeleteSelNode, &QAction::triggered, this, &TFormMain::ActionDeleteSelNodeExecute);
    connect(ActionDeleteAllChilds, &QAction::triggered, this, &TFormMain::ActionDeleteAllChildsExecute);
    connect(ActionMainLayoutSplit, &QAction::triggered, this, [this](bool checked) {
        layout_ = checked ? 1 : 2;
        ApplyLayout(layout_);
    });
}

void TFormMain::SetNodeCommandRules()
{
    auto kind = [this] { return KindOf(TVNav->currentItem()); };
    auto ordinary = [kind] { return kind() != kNodeRecycleBinItem && kind() != kNodeBriefcaseItem
                                    && kind() != kNothingSelected; };
    SetUpdateRule(ActionNewSubNode, [this, kind] {
        QTreeWidgetItem* item = TVNav->currentItem();
        const bool enabled = item && kind() != kNodeRecycleBinItem && !IsInRecycleBin(item) && shown_
                             && db_.IsOpen();
        for (QMenu* menu : {MenuItemNewSubNode, PopItemNewNode, PopupMenuNewSubNode})
            menu->menuAction()->setEnabled(enabled);
        return enabled;
    });
    SetUpdateRule(ActionDeleteSelNode, [this, kind] {
        ActionDeleteAllChilds->setText(kind() == kNodeRecycleBinItem ? QStringLiteral("清空回收站")
                                                                     : QStringLiteral("删除所有子项"));
        return TVNav->currentItem() && kind() != kNodeRecycleBinItem && kind() != kNodeBriefcaseItem && shown_;
    });
    SetUpdateRule(ActionDeleteAllChilds, [this] {
        return db_.IsOpen() && TVNav->currentItem() && hasChildrenFlag(TVNav->currentItem()) && shown_;
    });
    SetUpdateRule(ActionNodeRename, ordinary);
    SetUpdateRule(ActionCutNode, [this, ordinary] { return ordinary() && shown_; });
    SetUpdateRule(ActionPaste, [this] { return cutId_ > 0 && shown_; });
    SetUpdateRule(ActionMainLayoutSplit, [this] {
        ActionMainLayoutSplit->setChecked(layout_ == 1);
        ActionMainLayoutSplit->setText(layout_ == 1 ? QStringLiteral("隐藏导航窗口") : QStringLiteral("显示导航窗口"));
        return true;
    });
}

void TFormMain::BuildNewMenu(QMenu* menu)
{
    static const int newImages[] = {28, 30, 32, 33, 34, 31, 49, 50, 51};
    menu->clear();
    for (int code = 0; code <= kNodeSound; ++code) {
        QAction* entry = menu->addAction(ImageListMenus::Icon(ImageOfKind(code)),
                                         QString::fromStdString(AnsiToUtf8(TypeName(code))));
        entry->setData(code);
        const int image = newImages[code];
        connect(entry, &QAction::triggered, this, [this, code, image] { NewSubItemClick(code, image); });
    }
}

void TFormMain::NewSubItemClick(int code, int image)
{
    QTreeWidgetItem* parent = TVNav->currentItem();
    if (!parent)
        return;
    if (code == kNodeFile) {
        FileDialogRequest request;
        request.owner = this;
        request.filter = QStringLiteral("所有文件(*.*)|*.*|C/C++源程序(*.c;*.cpp;*.h)|*.c;*.cpp;*.h|Java源程序(*.java)|*.java");
        const QString path = RunFileDialog(request);
        if (!path.isEmpty())
            CreateNode(parent, QString::fromStdString(ExtractFileNameExt(path.toStdString())), true, false,
                       image, code, path.toStdString());
        return;
    }
    if (code == kNodeUrl) {
        QString caption = QStringLiteral("请输入标题");
        QString address = QStringLiteral("http://");
        if (!AskForUrl(this, caption, address))
            return;
        std::string bytes;
        if (!ToDatabaseText(address, bytes))
            return;
        bytes.push_back('\0');
        CreateNode(parent, caption, true, false, image, code, bytes);
        return;
    }
    if (code == kNodeCard) {
        NewCardNode(parent, image);
        return;
    }
    CreateNode(parent, QStringLiteral("请输入标题"), true, true, image, code, std::string());
}

// An edit that changed nothing writes nothing; a new caption of the shown
// node also goes to the status bar.
bool TFormMain::CaptionEdited(QTreeWidgetItem* item, const QString& text)
{
    if (IsFixedItem(item))
        return false;
    if (text == item->text(0))
        return true;
    std::string caption;
    if (!ToDatabaseText(text, caption) || !ValidateName(caption))
        return false;
    CaseNode node;
    if (!db_.GetNode(NodeDataOf(item).Id, node, true)) {
        AppMessageBox(QStringLiteral("该记录在数据库中不存在。"), 0);
        return true;
    }
    node.Caption = caption;
    node.Touch();
    if (!SaveNodeCommitted(node))
        return false;
    if (item == TVNav->currentItem())
        ShowStatusText(text);
    return true;
}

// The tree's selection moved (a click, a key, or SelectItem, which asked
// already): the save question about the node left; 取消 puts the selection back.
void TFormMain::TVNavChanging(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    if (updateLock_ == 0 && previous && AskToLeave(previous) == 2) {
        KeepSelection(previous);
        // A click that moved the selection goes on to highlight its own
        // item after this: select the edited node again once it is done.
        const int id = NodeDataOf(previous).Id;
        QTimer::singleShot(0, this, [this, id] {
            QTreeWidgetItem* item = TVNav->currentItem();
            if (item && NodeDataOf(item).Id == id)
                KeepSelection(item);
        });
        return;
    }
    ShowSelectionStatus(current);
    TimerNavChange->start();
}

// SaveCurrentNode with the question, once however the selection moves.
int TFormMain::AskToLeave(QTreeWidgetItem* shown)
{
    if (changingGuard_)
        return 0;
    const QScopedValueRollback<bool> guard(changingGuard_, true);
    return SaveCurrentNode(shown, true);
}

bool TFormMain::MayLeaveShownNode()
{
    return AskToLeave(TVNav->currentItem()) != 2;
}

bool TFormMain::SelectItem(QTreeWidgetItem* item)
{
    if (item == TVNav->currentItem())
        return true;
    if (!MayLeaveShownNode())
        return false;
    const QScopedValueRollback<bool> asked(changingGuard_, true);
    TVNav->setCurrentItem(item);
    return true;
}

// The status bar and the move buttons follow the selection at once; the
// content follows with the delayed change notification.
void TFormMain::ShowSelectionStatus(QTreeWidgetItem* item)
{
    ShowStatusText(item ? item->text(0) : QString());
    ShowChildCount();
    UpdateMoveButtons();
}

// Selects item without the save question and without showing it anew: the
// shown node and its edits stay as they are.
void TFormMain::KeepSelection(QTreeWidgetItem* item)
{
    ++updateLock_;
    TVNav->setCurrentItem(item);
    --updateLock_;
    TimerNavChange->stop();
}

void TFormMain::TVNavChange()
{
    if (updateLock_ > 0)
        return;
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!item) {
        ShowStatusText(QString());
        return;
    }
    ShowStatusText(item->text(0));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!childrenLoaded(item))
        LoadChildren(item);
    ShowNodeContent(item, true, true);
    QApplication::restoreOverrideCursor();
    ShowChildCount();
    UpdateMoveButtons();
}

void TFormMain::UpdateMoveButtons()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    QTreeWidgetItem* parent = item ? item->parent() : nullptr;
    const bool movable = TVNav->isVisible() && parent && !IsFixedItem(item);
    const int index = movable ? parent->indexOfChild(item) : 0;
    SBMoveUp->setEnabled(movable && index > 0);
    SBMoveDown->setEnabled(movable && index < parent->childCount() - 1);
}

void TFormMain::MoveSelected(int step)
{
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!item || SaveCurrentNode(item, true) == 2)
        return;
    QTreeWidgetItem* parent = item->parent();
    if (!parent)
        return;
    const int index = parent->indexOfChild(item);
    if (index + step < 0 || index + step >= parent->childCount())
        return;
    const bool expanded = item->isExpanded();
    const int id = NodeDataOf(item).Id;
    ++updateLock_;
    TVNav->setUpdatesEnabled(false);
    parent->insertChild(index + step, parent->takeChild(index));
    item->setExpanded(expanded);
    const bool renumbered = RenumberChildren(parent);
    if (renumbered)
        TVNav->setCurrentItem(item);
    TVNav->setUpdatesEnabled(true);
    --updateLock_;
    if (!renumbered)
        ResyncTree(id);
    UpdateMoveButtons();
}

bool TFormMain::RenumberChildren(QTreeWidgetItem* item)
{
    bool written = false;
    for (int i = 0; i < item->childCount(); ++i) {
        const int32_t id = NodeDataOf(item->child(i)).Id;
        CaseNode node;
        if (!db_.GetNode(id, node, false) || node.Order == i + 1)
            continue;
        if (!db_.GetNode(id, node, true))
            continue;
        node.Order = i + 1;
        if (!db_.SaveNode(node)) {
            RollBackPending();
            return false;
        }
        written = true;
    }
    return !written || CommitOrRollBack();
}

// The has-children flags of both parents follow the move, also where the
// target was once found empty.
void TFormMain::MoveTreeItemUnder(QTreeWidgetItem* item, QTreeWidgetItem* target)
{
    ++updateLock_;
    QTreeWidgetItem* from = item->parent();
    if (childrenLoaded(target)) {
        from->removeChild(item);
        target->addChild(item);
        SetHasChildren(target, true);
    } else {
        LoadChildren(target);
        delete item;
    }
    SetHasChildren(from, from->childCount() > 0);
    --updateLock_;
}

bool TFormMain::MoveItemUnder(QTreeWidgetItem* item, QTreeWidgetItem* target)
{
    TVNav->setUpdatesEnabled(false);
    const bool moved = db_.MoveNode(NodeDataOf(item).Id, NodeDataOf(target).Id) && CommitOrRollBack();
    if (moved)
        MoveTreeItemUnder(item, target);
    TVNav->setUpdatesEnabled(true);
    TVNav->repaint();
    if (!moved)
        AppMessageBox(QStringLiteral("移动节点时出错。"), 0);
    return moved;
}

// A cut node that is gone from the store is refused like any failed move.
void TFormMain::ActionPasteExecute()
{
    QTreeWidgetItem* target = TVNav->currentItem();
    if (cutId_ <= 0 || !target)
        return;
    CaseNode node;
    if (!db_.GetNode(cutId_, node, false)) {
        cutId_ = -1;
        AppMessageBox(QStringLiteral("移动节点时出错。"), 0);
        return;
    }
    QTreeWidgetItem* item = FindItemById(cutId_);
    if (item && MoveItemUnder(item, target))
        cutId_ = -1;
}

bool TFormMain::DeleteItem(QTreeWidgetItem* item)
{
    const int32_t id = NodeDataOf(item).Id;
    if (id == kParentTop || id == kParentRecycleBin)
        return false;
    if (IsInRecycleBin(item)) {
        if (!db_.DeleteNode(id))
            return false;
        QTreeWidgetItem* parent = item->parent();
        ++updateLock_;
        delete item;
        --updateLock_;
        SetHasChildren(parent, parent->childCount() > 0);
        return true;
    }
    if (!db_.MoveNode(id, kParentRecycleBin))
        return false;
    MoveTreeItemUnder(item, recycleBinItem_);
    return true;
}

void TFormMain::ActionDeleteSelNodeExecute()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!item)
        return;
    QTreeWidgetItem* parent = item->parent();
    if (!parent) {
        AppMessageBox(QStringLiteral("不允许删除该节点。"), MB_ICONERROR);
        return;
    }
    const QString question = IsInRecycleBin(item)
                                 ? QStringLiteral("确认要永久删除") + quoted(item->text(0)) + QStringLiteral("吗？")
                                 : QStringLiteral("确认要将") + quoted(item->text(0)) + QStringLiteral("放入回收站吗？");
    if (AppMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (IsModified())
        SetModified(false);
    const int parentId = NodeDataOf(parent).Id;
    const bool deleted = DeleteItem(item);
    if (deleted && !CommitOrRollBack()) {
        ResyncTree(parentId);   // the tree showed the deletion already
        return;
    }
    if (!deleted)
        AppMessageBox(QStringLiteral("删除时出错。"), MB_ICONERROR);
    TVNav->setCurrentItem(parent);
}

void TFormMain::ActionDeleteAllChildsExecute()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!item)
        return;
    const bool inBin = IsInRecycleBin(item);
    const QString caption = quoted(item->text(0));
    const QString question = KindOf(item) == kNodeRecycleBinItem ? QStringLiteral("确认要清空回收站吗？")
                             : inBin ? QStringLiteral("确认要永久删除") + caption + QStringLiteral("的子项吗？")
                                     : QStringLiteral("确认要删除") + caption + QStringLiteral("的所有子项（放入回收站）吗？");
    if (AppMessageBox(question, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    const int n = item->childCount();
    int done = 0;
    ++updateLock_;
    for (int i = n - 1; i >= 0; --i) {
        QTreeWidgetItem* child = item->child(i);
        const int32_t id = NodeDataOf(child).Id;
        if (inBin ? db_.DeleteNode(id) : db_.MoveNode(id, kParentRecycleBin)) {
            ++done;
            if (inBin)
                delete child;
            else
                MoveTreeItemUnder(child, recycleBinItem_);
        }
    }
    if (n > 0)   // loaded: the tree knows what is left
        SetHasChildren(item, item->childCount() > 0);
    --updateLock_;
    if (done < n)
        AppMessageBox(QStringLiteral("删除时出错，共%1个子项，实际删除%2个子项。").arg(n).arg(done), MB_ICONERROR);
    if (done >= 1 && !CommitOrRollBack())
        ResyncTree(NodeDataOf(item).Id);
    ShowChildCount();
}

// The navigation panel slides in from the left edge (layout 2) in steps of
// a twentieth of its width, 5 ms apart.
void TFormMain::SlidePanel(int from, int to)
{
    const int step = qMax(1, PanelNav->width() / 20);
    for (int left = from; from < to ? left <= to : left >= to; left += from < to ? step : -step) {
        PanelNav->move(left, PanelNav->y());
        PanelNav->repaint();
        QThread::msleep(5);
    }
}

void TFormMain::ApplyLayout(int layout)
{
    const bool floating = PanelNav->parentWidget() != Splitter;
    if (layout == 1 && layout_ == 1) {
        Splitter->insertWidget(0, PanelNav);
        PanelNav->show();
        Splitter->setSizes({savedNavWidth_, qMax(1, Splitter->width() - savedNavWidth_)});
        PanelMain->show();
        return;
    }
    if (layout == 1) {
        if (floating && PanelNav->isVisibleTo(this))
            return;
        FloatNavPanel();
        PanelMain->show();
        const QRect client = centralWidget()->geometry();
        const int width = client.width() / 3;
        PanelNav->setGeometry(-width, client.top(), width, client.height());
        PanelNav->show();
        PanelNav->raise();
        SlidePanel(-width, 0);
        PanelNav->move(0, client.top());
        return;
    }
    if (floating && !PanelNav->isVisibleTo(this) && PanelMain->isVisibleTo(this))
        return;
    FloatNavPanel();
    PanelNav->hide();
    PanelMain->show();
}

// In layout 2 the panel is taken out of the splitter and lies over the content.
void TFormMain::FloatNavPanel()
{
    if (PanelNav->parentWidget() == Splitter)
        PanelNav->setParent(this);
}

void TFormMain::TimerMonitorMouseTimer()
{
    if (QApplication::activeWindow() != this || layout_ != 2)
        return;
    const int d = QCursor::pos().x() - geometry().left();
    if (d <= 4) {
        ApplyLayout(1);
    } else if (PanelNav->isVisible() && PanelNav->width() < d) {
        SlidePanel(PanelNav->x(), -PanelNav->width());
        ApplyLayout(2);
    }
}
