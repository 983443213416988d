// TFormMain: creating, opening, reopening and closing the database; the
// title, the status panels, the pack and change-password commands.
#include "app/Main.h"

#include "app/Chgpass.h"
#include "app/Login.h"
#include "public/Wipe.h"
#include "kellib/Kelfilelib.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QScrollBar>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

constexpr int kReopenShown = 15;
const char kDatabaseExt[] = ".vldb";

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString openErrorText(int code, const QString& path)
{
    switch (code) {
    case CaseDB::kFileMissing:
        return QStringLiteral("数据库文件") + quoted(path) + QStringLiteral("不存在。");
    case CaseDB::kLockFailed:
        return QStringLiteral("数据库文件") + quoted(path) + QStringLiteral("已经被打开，不能重复打开。");
    case CaseDB::kNotDatabase:
        return QStringLiteral("文件") + quoted(path) + QStringLiteral("的格式不对。");
    default:
        return QStringLiteral("不能打开数据库") + quoted(path) + QStringLiteral("，错误未知。");
    }
}

QString reopenCaption(int index, const QString& path)
{
    const QChar c = index < 10 ? QChar('0' + index) : QChar('a' + index - 10);
    return QLatin1Char('&') + c + QLatin1Char(' ') + path;
}

} // namespace

bool TFormMain::OpenDatabase(const QString& path, bool create, bool autoLogin)
{
    const BusyScope busy(*this);
    if (db_.IsOpen() && !CloseDatabase())
        return false;
    const std::string file = path.toStdString();
    const QString lockFile = QString::fromStdString(CaseDB::LockPath(file));
    const bool fresh = create && !QFileInfo::exists(path)
                       && !QFileInfo::exists(QString::fromStdString(CaseDB::BackupPath(file)));
    const bool freshLock = !QFileInfo::exists(lockFile);
    const int code = db_.Open(file, create);
    if (code != CaseDB::kOpened) {
        FormMessageBox(this, openErrorText(code, path), MB_ICONERROR);
        UpdateTitle();
        return false;
    }
    std::string password;
    const WipeOnExit wipe(password);
    if (!AskLogin(this, autoLogin, db_, password)) {
        db_.Close();
        CloseDatabase();
        // A database made just now and never logged into holds nothing: it goes again.
        if (fresh && QFileInfo(path).size() == 0) {
            QFile::remove(path);
            if (freshLock)
                QFile::remove(lockFile);
        }
        return false;
    }
    UpdateReopenList(path);
    if (!db_.Login(password)) {
        FormMessageBox(this, WrongPasswordText(db_.Path()), MB_ICONERROR);
        db_.Close();
        CloseDatabase();
        return false;
    }
    password_ = password;
    if (db_.PasswordCheckDamaged())
        FormMessageBox(this, QString::fromStdString(CaseDB::PasswordCheckDamagedMessage(db_.Path())), MB_ICONWARNING);
    CreateSpecialItems();
    RestoreSelection();
    UpdateTitle();
    ShowModifiedMark();
    RebuildBookmarkMenu();
    return true;
}

bool TFormMain::CloseDatabase()
{
    RestoreContents();   // a locked window's edits are asked about like any others
    // A database that was never logged into is closed without writing to it.
    if (db_.IsOpen() && db_.IsLoggedIn()) {
        if (SaveCurrentNode(TVNav->currentItem(), true) == 2)
            return false;
        QTreeWidgetItem* selected = TVNav->currentItem();
        // Where the tree stood is a convenience: when it cannot be kept, the
        // store has said why and closing goes on.
        const bool kept = db_.SetParamInt("SelectedId", selected ? selected->data(0, RoleNodeId).toInt() : 0)
                          && db_.SetParamInt("NavPosX", TVNav->horizontalScrollBar()->value())
                          && db_.SetParamInt("NavPosY", TVNav->verticalScrollBar()->value()) && db_.Commit();
        Q_UNUSED(kept);
    }
    db_.Close();
    cutId_ = -1;   // a node id means nothing in the next database
    ++updateLock_;
    TVNav->clear();
    --updateLock_;
    recycleBinItem_ = briefcaseItem_ = nullptr;
    WipeString(password_);
    SetModified(false);
    ShowChildCount();
    StatusBar->SetPanelText(4, QString());
    RebuildBookmarkMenu();
    UpdateTitle();
    return true;
}

void TFormMain::RestoreSelection()
{
    SelectNodeById(db_.GetParamInt("SelectedId", 0));
    TVNav->horizontalScrollBar()->setValue(db_.GetParamInt("NavPosX", 0));
    TVNav->verticalScrollBar()->setValue(db_.GetParamInt("NavPosY", 0));
}

void TFormMain::UpdateReopenList(const QString& path)
{
    QStringList list = ReadString(QStringLiteral("Default"), QStringLiteral("ReOpen"))
                           .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    if (!path.isEmpty()) {
        list.removeIf([&](const QString& line) { return line.compare(path, Qt::CaseInsensitive) == 0; });
        list.prepend(path);
    }
    QString stored;
    for (const QString& line : list)
        stored += line + QStringLiteral("\r\n");
    WriteString(QStringLiteral("Default"), QStringLiteral("ReOpen"), stored);

    MenuItemReOpenSub->clear();
    for (int i = 0; i < qMin<int>(list.size(), kReopenShown); ++i) {
        const QString caption = reopenCaption(i, list[i]);
        QAction* item = MenuItemReOpenSub->addAction(caption);
        item->setObjectName(QStringLiteral("MenuItemReOpen%1").arg(i));
        connect(item, &QAction::triggered, this, [this, caption] { ReopenItemClick(caption); });
    }
}

void TFormMain::ReopenItemClick(const QString& caption)
{
    OpenDatabase(caption.size() > 3 ? caption.mid(3) : caption, false, false);
}

void TFormMain::UpdateTitle()
{
    const bool open = db_.IsOpen();
    TVNav->setEnabled(open);
    ActionCloseDB->setEnabled(shown_ && open);
    // A locked window's title names no database.
    setWindowTitle(open && !locked_ ? QStringLiteral("Vaultleaf - ") + QString::fromStdString(db_.Path())
                                    : QStringLiteral("Vaultleaf"));
    if (!open)
        PageControlMain->setTabVisible(PageControlMain->currentIndex(), false);
}

void TFormMain::ShowChildCount()
{
    QTreeWidgetItem* item = TVNav->currentItem();
    StatusBar->SetPanelText(0, item ? QStringLiteral("子项数:") + QString::number(item->childCount())
                                    : QString());
    ShowModifiedMark();
}

void TFormMain::ShowModifiedMark()
{
    StatusBar->SetPanelText(1, IsModified() ? QStringLiteral("已修改") : QString());
}

void TFormMain::ShowStatusText(const QString& text)
{
    StatusBar->SetPanelText(5, text);
    StatusBar->repaint();
}

QString TFormMain::AskDatabaseFile(const QString& title, bool save)
{
    FileDialogRequest request;
    request.owner = this;
    request.title = title;
    request.filter = QStringLiteral("数据库文件(*%1)|*%1").arg(QLatin1String(kDatabaseExt));
    request.defaultSuffix = QString::fromLatin1(kDatabaseExt + 1);
    request.save = save;
    return RunFileDialog(request);
}

void TFormMain::ActionNewDBExecute()
{
    const QString name = AskDatabaseFile(QStringLiteral("创建数据库"), true);
    if (name.isEmpty())
        return;
    if (QFileInfo::exists(name)) {
        AppMessageBox(QStringLiteral("文件[") + name + QStringLiteral("]已经存在，不能覆盖，将打开该文件。"), 0);
        OpenDatabase(name, false, false);
    } else {
        OpenDatabase(name, true, false);
    }
}

void TFormMain::ActionOpenDBExecute()
{
    const QString name = AskDatabaseFile(QStringLiteral("打开数据库"), false);
    if (!name.isEmpty())
        OpenDatabase(name, false, false);
}

void TFormMain::ActionChangePasswordExecute()
{
    const BusyScope busy(*this);
    ChangePasswordDialog(db_);
}

void TFormMain::ActionPackDBExecute()
{
    const std::string path = db_.Path();
    const QString size = QString::fromStdString(FormatMB(1, GetFileSize64(path)));
    const int answer = AppMessageBox(QStringLiteral("数据库文件大小：") + size
                                         + QStringLiteral("MB\r\n压缩时间与文件大小有关。\r\n\r\n继续吗？"),
                                     MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
    if (answer != IDYES || !db_.IsOpen())
        return;
    const BusyScope busy(*this);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool packed = db_.Pack();
    QApplication::restoreOverrideCursor();
    if (packed)
        AppMessageBox(QStringLiteral("数据库压缩完毕。\r\n\r\n压缩后的文件大小为")
                          + QString::fromStdString(FormatMB(1, GetFileSize64(path))) + QStringLiteral("MB。"),
                      0);
    else
        AppMessageBox(QStringLiteral("数据库压缩出错。"), MB_ICONERROR);
}
