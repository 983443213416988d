// TFormMain: the commands that open the small windows: find, full-text
// search, node properties, options, the about box, and the calling card (new card, open
// card, the card's fields on the information page).
#include "app/Main.h"

#include "app/AboutBox.h"
#include "app/CardForm.h"
#include "app/CaseNodeData.h"
#include "app/FindNode.h"
#include "app/FullTextSearch.h"
#include "app/NodeProp.h"
#include "app/Options.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"

#include <QAction>
#include <QListWidget>
#include <QPointer>
#include <QTreeWidget>

namespace {

// Windows that exist at most once: a second request brings the program to
// the front and focuses the open one.
bool FocusOpenWindow(QWidget* open)
{
    if (!open)
        return false;
    BringAppToFront();
    open->raise();
    open->activateWindow();
    return true;
}

} // namespace

void TFormMain::ConnectDialogs()
{
    auto ordinarySelected = [this] {
        const int kind = KindOf(TVNav->currentItem());
        return kind != kNodeRecycleBinItem && kind != kNodeBriefcaseItem && kind != kNothingSelected;
    };
    SetUpdateRule(ActionFindNode, [this] { return shown_ && db_.IsOpen(); });
    SetUpdateRule(ActionFullTextSearch, [this] { return shown_ && busy_ == 0 && db_.IsOpen() && db_.IsLoggedIn(); });
    SetUpdateRule(ActionNodeProp, [this, ordinarySelected] { return shown_ && db_.IsOpen() && ordinarySelected(); });
    SetUpdateRule(ActionOption, [this] { return shown_; });
    SetUpdateRule(ActionAbout, [] { return true; });
    connect(ActionFindNode, &QAction::triggered, this, &TFormMain::ActionFindNodeExecute);
    connect(ActionFullTextSearch, &QAction::triggered, this, &TFormMain::ActionFullTextSearchExecute);
    connect(ActionNodeProp, &QAction::triggered, this, &TFormMain::ActionNodePropExecute);
    connect(ActionOption, &QAction::triggered, this, &TFormMain::ActionOptionExecute);
    connect(ActionAbout, &QAction::triggered, this, &TFormMain::ActionAboutExecute);
}

void TFormMain::ActionFindNodeExecute()
{
    TfrmFindNode dialog(*this);
    ExecDialog(&dialog);
}

// Modal: no write can come between the search's reads.
void TFormMain::ActionFullTextSearchExecute()
{
    TFormFullTextSearch dialog(*this);
    ExecDialog(&dialog);
}

void TFormMain::ActionNodePropExecute()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    CaseNode node;
    if (!item || !db_.GetNode(NodeDataOf(item).Id, node, false))
        return;
    const QString parent = item->parent() ? item->parent()->text(0) : QString();
    TFormNodeProp dialog(node, parent, db_.CountDescendants(node.Id), this);
    ExecDialog(&dialog);
}

void TFormMain::ActionOptionExecute()
{
    static QPointer<TFormOption> open;
    if (FocusOpenWindow(open))
        return;
    TFormOption dialog(*this);
    open = &dialog;
    ExecDialog(&dialog);
}

void TFormMain::ActionAboutExecute()
{
    static QPointer<TAboutBox> open;
    if (FocusOpenWindow(open))
        return;
    TAboutBox box(this);
    open = &box;
    ExecDialog(&box);
}

void TFormMain::NewCardNode(QTreeWidgetItem* parent, int image)
{
    CaseNode card;
    if (RunCardDialog(card, true, this))
        CreateNode(parent, QString::fromStdString(AnsiToUtf8(card.Caption)), true, false, image, kNodeCard,
                   card.DataBytes());
}

void TFormMain::OpenCardNode(QTreeWidgetItem* item)
{
    CaseNode node;
    if (!db_.GetNode(NodeDataOf(item).Id, node, true)) {
        AppMessageBox(QStringLiteral("无法从数据库中读出数据，修改失败。"), MB_ICONERROR);
        return;
    }
    if (!RunCardDialog(node, false, this))
        return;
    node.Touch();
    if (!SaveNodeCommitted(node)) {
        AppMessageBox(QStringLiteral("无法保存名片。"), MB_ICONERROR);
        return;
    }
    ShowCardInfo(item);
}

void TFormMain::ShowCardInfo(QTreeWidgetItem* item)
{
    ListBoxInfo->clear();
    CaseNode node;
    if (KindOf(item) == kNodeCard && db_.GetNode(NodeDataOf(item).Id, node, true))
        ListBoxInfo->addItems(CardInfoLines(node.DataBytes()));
}
