// TFormMain, files in and out: the import and export commands, open by kind
// (a file node in the desktop's program, watched by the file monitor, its
// changes stored back), and files dropped onto the tree from the file manager.
#include "app/Main.h"

#include "app/CaseNodeData.h"
#include "app/ExportFiles.h"
#include "app/ImportFiles.h"
#include "app/MonitorFile.h"
#include "kellib/Kelapputil.h"
#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"
#include "kellib/qt/KELShellDragDropFiles.h"
#include "kellib/qt/Kelapputil.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

namespace {

QString Quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

bool IsImportTarget(const QTreeWidgetItem* item)
{
    return item && KindOf(item) != kNodeRecycleBinItem && !IsInRecycleBin(item);
}

}  // namespace

void TFormMain::ConnectFileCommands()
{
    connect(ActionOpenNode, &QAction::triggered, this, &TFormMain::ActionOpenNodeExecute);
    connect(ActionImportFiles, &QAction::triggered, this, &TFormMain::ActionImportFilesExecute);
    connect(ActionExportFiles, &QAction::triggered, this, &TFormMain::ActionExportFilesExecute);
    // A double click opens whatever the action's state; folders expand (only).
    TVNav->setExpandsOnDoubleClick(false);
    connect(TVNav, &QTreeWidget::itemDoubleClicked, this, [this] { ActionOpenNodeExecute(); });
    SetUpdateRule(ActionOpenNode, [this] {
        const int kind = KindOf(TVNav->currentItem());
        return shown_ && db_.IsOpen() && (kind == kNodeFile || kind == kNodeCard);
    });
    SetUpdateRule(ActionImportFiles, [this] { return shown_ && db_.IsOpen() && IsImportTarget(TVNav->currentItem()); });
    SetUpdateRule(ActionExportFiles, [this] {
        const int kind = KindOf(TVNav->currentItem());
        return shown_ && db_.IsOpen() && TVNav->currentItem() && kind != kNodeRecycleBinItem && kind != kNodeBriefcaseItem;
    });
    shellDragDropFiles_ = new KELShellDragDropFiles(TVNav, [this](const QPoint& point) { ImportDroppedFiles(point); });
}

void TFormMain::ActionOpenNodeExecute()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!item || !db_.IsOpen())
        return;
    switch (KindOf(item)) {
    case kNodeFile:
        OpenFileNode(item);
        break;
    case kNodeCard:
        OpenCardNode(item);
        break;
    case kNodeFolder:
    case kNodeBriefcaseItem:
    case kNodeRecycleBinItem:
        item->setExpanded(true);
        break;
    default:
        break;
    }
}

void TFormMain::ActionImportFilesExecute()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!IsImportTarget(item) || !db_.IsOpen())
        return;
    if (RunImportWizard(this, {}, NodeDataOf(item).Id, db_, item->text(0))) {
        LoadChildren(item);
        ShowChildCount();
    }
}

void TFormMain::ActionExportFilesExecute()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    if (!item || !db_.IsOpen())
        return;
    RunExportWizard(this, NodeDataOf(item).Id, item->text(0), db_);
}

void TFormMain::ImportDroppedFiles(const QPoint& point)
{
    QTreeWidgetItem* item = TVNav->itemAt(point);
    if (!IsImportTarget(item) || !db_.IsOpen())
        return;
    BringAppToFront();
    TVNav->setCurrentItem(item);
    if (RunImportWizard(this, shellDragDropFiles_->Items(), NodeDataOf(item).Id, db_, item->text(0))) {
        LoadChildren(item);
        ShowChildCount();
    }
}

void TFormMain::OpenFileNode(QTreeWidgetItem* item)
{
    if (IsModified()) {
        AppMessageBox(QStringLiteral("您已经修改了该文件的数据，必须先保存才能用外部程序打开！"), MB_ICONWARNING);
        return;
    }
    if (fileMonitor_.Active()) {
        AppMessageBox(QStringLiteral("文件已经被外部程序打开！"), MB_ICONWARNING);
        return;
    }
    const std::string folder = TempFolder();
    if (!EnsurePrivateFolder(folder)) {
        AppMessageBox(QStringLiteral("不能创建目录:") + QString::fromStdString(folder) + QStringLiteral("，文件不能打开！"),
                      MB_ICONERROR);
        return;
    }
    CaseNode node;
    if (!db_.GetNode(NodeDataOf(item).Id, node, true)) {
        AppMessageBox(QStringLiteral("读数据出错！"), MB_ICONERROR);
        return;
    }
    const std::string name = AnsiToUtf8(node.Caption);
    const std::string path = folder + name;
    // A caption that is no file name would leave the private folder.
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos || !node.SaveToFile(path)) {
        AppMessageBox(QStringLiteral("不能导出到文件:") + QString::fromStdString(path) + QStringLiteral("！"), MB_ICONERROR);
        return;
    }
    chmod(path.c_str(), 0600);   // editable, and for this user only
    const QString copy = QString::fromStdString(path);
    if (!fileMonitor_.StartWatch(path)) {
        fileMonitor_.StopWatch(true);
        AppMessageBox(QStringLiteral("不能监视文件") + copy + QStringLiteral("的修改！"), MB_ICONWARNING);
    }
    if (RunMonitorWindow(this, fileMonitor_, item->text(0), QStringLiteral("open"), copy,
                         QString::fromStdString(folder))
        && fileMonitor_.IsChanged()) {
        ShowStatusText(QStringLiteral("正在保存文件..."));
        if (SaveCurrentNode(item, false) != 0) {
            AppMessageBox(QStringLiteral("保存文件失败！"), MB_ICONERROR);
            ShowStatusText(QStringLiteral("保存文件失败。"));
        } else {
            ShowNodeContent(item, false, true);
            ShowStatusText(QStringLiteral("保存文件完成。"));
        }
    }
    fileMonitor_.StopWatch(true);
    WipeAndRemoveFile(path);   // also when nothing was watched
}

void TFormMain::EndSession()
{
    // The monitor window closes as when its program ends; OpenFileNode then
    // stores a changed copy without asking and removes the copy.
    if (auto* monitor = findChild<TFormMonitorFile*>())
        monitor->EndSession();
    QTimer::singleShot(0, this, &TFormMain::CloseAtSessionEnd);
}

// A modal window still open (a question waiting for the person, the import
// wizard writing) or a long operation is let finish first: closing the
// database under it would pull the store from beneath its work.
void TFormMain::CloseAtSessionEnd()
{
    if (QApplication::activeModalWidget() || busy_ > 0) {
        QTimer::singleShot(200, this, &TFormMain::CloseAtSessionEnd);
        return;
    }
    SaveCurrentNode(TVNav->currentItem(), false);
    close();
}

int TFormMain::StoreBackFile(QTreeWidgetItem* item, bool ask)
{
    if (!fileMonitor_.IsChanged()) {
        fileMonitor_.StopWatch(true);
        return -1;
    }
    if (ask) {
        const int answer = AppMessageBox(QStringLiteral("您已经用外部程序修改了") + Quoted(item->text(0))
                                             + QStringLiteral("的内容，要保存吗？"),
                                         MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDCANCEL)
            return 2;
        if (answer != IDYES) {
            fileMonitor_.StopWatch(true);
            return 1;
        }
    }
    CaseNode node;
    if (!db_.GetNode(NodeDataOf(item).Id, node, false)) {
        AppMessageBox(QStringLiteral("无法从数据库中读出数据，修改失败。"), MB_ICONERROR);
        return 3;
    }
    // The copy was made for the edit: the file keeps its own creation time.
    const std::string createdLow = node.GetAttr("FCreateLow"), createdHigh = node.GetAttr("FCreateHigh");
    if (!node.LoadFromFile(fileMonitor_.Path(), true)) {
        AppMessageBox(QStringLiteral("无法将当前修改的文件写入数据库。"), MB_ICONERROR);
        return 3;
    }
    node.SetAttr("FCreateLow", createdLow);
    node.SetAttr("FCreateHigh", createdHigh);
    node.Touch();
    if (!SaveNodeCommitted(node))
        return 3;
    fileMonitor_.StopWatch(true);
    return 0;
}
