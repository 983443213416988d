// Files in and out in the window: the import wizard (pages, texts, stop,
// errors), the export wizard, files dropped onto the tree, and a file node
// opened in the desktop's program with its changes stored back.
#include "NodeTestWindow.h"
#include "FileHelpers.h"

#include "app/ExportFiles.h"
#include "app/ImportFiles.h"
#include "app/MonitorFile.h"
#include "kellib/Kelapputil.h"
#include "kellib/qt/KELShellDragDropFiles.h"
#include "kellib/qt/KELTermSignal.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QTextEdit>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace {

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

template <typename T>
T* Child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QLatin1String(name));
    if (!found)
        qWarning("no child %s", name);
    return found;
}

QString Text(QObject* parent, const char* name) { return Child<QLabel>(parent, name)->text(); }
void Click(QObject* parent, const char* name) { Child<QPushButton>(parent, name)->click(); }

// A test desktop: text/plain opens with vltest.desktop of the test's data
// folder, copies go to its runtime folder. Returns the applications folder.
QString UseTestDesktop(const QString& root)
{
    const QString runtime = root + QStringLiteral("/run");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_DATA_DIRS", "/usr/share");   // the MIME database; our entry comes first
    qputenv("XDG_CONFIG_DIRS", (root + QStringLiteral("/none")).toUtf8());
    Write(root + QStringLiteral("/xdg/mimeapps.list"), "[Default Applications]\ntext/plain=vltest.desktop\n");
    return root + QStringLiteral("/data/applications");
}

void WriteEntry(const QString& apps, const QString& exec, bool terminal = false)
{
    Write(apps + QStringLiteral("/vltest.desktop"),
          (QStringLiteral("[Desktop Entry]\nType=Application\nName=t\nExec=") + exec
           + (terminal ? QStringLiteral("\nTerminal=true\n") : QStringLiteral("\n")))
              .toUtf8());
}

// An executable shell script.
void Script(const QString& path, const QString& body)
{
    Write(path, (QStringLiteral("#!/bin/sh\n") + body).toUtf8());
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Running, and not a zombie waiting to be reaped.
bool Alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype end = line.lastIndexOf(')');
    return end > 0 && line.mid(end + 2, 1) != "Z";
}

QStringList Column(QTreeWidget* list, int column)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(column);
    return out;
}

}  // namespace

class TestFiles : public QObject {
    Q_OBJECT
private slots:
    void importWizardPagesAndTexts()
    {
        NodeTestWindow w;
        const QString src = w.dir.path() + QStringLiteral("/src");
        Write(src + QStringLiteral("/sub/a.txt"), "hello");
        Write(src + QStringLiteral("/b.bin"), QByteArray(1020, 'x'));
        Write(src + QStringLiteral("/Note.vl_txt"), QByteArray("note\0", 5));
        const int folder = w.addNode(0, "目标", kNodeFolder);
        w.select(w.item(folder));
        QVERIFY(w.form->ActionImportFiles->isEnabled());
        w.responder.files << src << src + QStringLiteral("/sub");   // the second lies inside the first
        bool secondRefused = false;
        w.responder.dialogs << [&](QDialog* d) {
            QCOMPARE(d->objectName(), QStringLiteral("TFormImportFiles"));
            QCOMPARE(d->windowTitle(), QStringLiteral("导入文件"));
            QCOMPARE(Text(d, "LabelNodeCaption"), QStringLiteral("导入文件到“目标”"));
            QCOMPARE(Text(d, "LabelStatus"), QStringLiteral("以下是将被导入的文件，请选择文件扩展名，按“下一步”继续..."));
            QVERIFY(!Child<QPushButton>(d, "ButtonNext")->isEnabled());
            Click(d, "ButtonSelect");
            Click(d, "ButtonSelect");
            auto* selected = Child<QTreeWidget>(d, "ListViewSelected");
            QCOMPARE(Column(selected, 0), QStringList{src + QStringLiteral("/*.*")});
            QCOMPARE(Column(selected, 1), QStringList{QStringLiteral("文件夹")});
            Child<QComboBox>(d, "ComboBoxFilesExt")->setEditText(QStringLiteral(" *.txt "));
            QCOMPARE(Column(selected, 0), QStringList{src + QStringLiteral("/*.txt")});
            Child<QComboBox>(d, "ComboBoxFilesExt")->setEditText(QString());   // empty: *.*
            Click(d, "ButtonNext");
            QCOMPARE(Text(d, "LabelImportFilesStatus"), QStringLiteral("以上共1个文件夹，3个文件，文件大小总共2KB(1030字节)。"));
            QCOMPARE(Column(Child<QTreeWidget>(d, "ListViewFiles"), 0).first(), src + QStringLiteral("/sub"));
            QCOMPARE(Text(d, "LabelStatus"), QStringLiteral("以下是所有将被导入的文件清单，请按“下一步”开始导入文件..."));
            secondRefused = !RunImportWizard(w.form.get(), {}, folder, w.db(), QStringLiteral("x"));
            Click(d, "ButtonNext");
            QCOMPARE(Text(d, "LabelStatus"), QStringLiteral("文件导入完成，请按“完成”关闭窗口"));
            QCOMPARE(Child<QPushButton>(d, "ButtonNext")->text(), QStringLiteral("完成"));
            QCOMPARE(Child<QProgressBar>(d, "ProgressBarImport")->value(), 3);
            QVERIFY(!Child<QPushButton>(d, "ButtonCancel")->isEnabled());
            Click(d, "ButtonNext");
        };
        w.form->ActionImportFiles->trigger();
        QVERIFY(secondRefused);
        QCOMPARE(w.responder.dialogsRun, 2);   // the login and this wizard only
        QTreeWidgetItem* target = w.form->FindItemById(folder);
        QCOMPARE(target->childCount(), 3);
        w.reopen();
        QStringList captions;
        for (int32_t id : w.db().GetChildren(folder))
            captions << QString::fromStdString(AnsiToUtf8(w.stored(id, false).Caption));
        captions.sort();
        QCOMPARE(captions, (QStringList{QStringLiteral("Note"), QStringLiteral("b.bin"), QStringLiteral("sub")}));
        QCOMPARE(ReadBool(QStringLiteral("Import"), QStringLiteral("IdentifyExt"), false), true);
    }

    // A finished import closed with Escape (or the title bar) shows its nodes
    // all the same, also in a folder found empty before.
    void importClosedAnyWayShowsTheNodes()
    {
        NodeTestWindow w;
        const QString src = w.dir.path() + QStringLiteral("/src");
        Write(src + QStringLiteral("/a.txt"), "hello");
        const int folder = w.addNode(0, "目标", kNodeFolder);
        w.select(w.item(folder));   // loaded: no children
        w.responder.files << src;
        w.responder.dialogs << [](QDialog* d) {
            Click(d, "ButtonSelect");
            Click(d, "ButtonNext");
            Click(d, "ButtonNext");
            QCOMPARE(Text(d, "LabelStatus"), QStringLiteral("文件导入完成，请按“完成”关闭窗口"));
            d->reject();
        };
        w.form->ActionImportFiles->trigger();
        QTreeWidgetItem* target = w.form->FindItemById(folder);
        QCOMPARE(target->childCount(), 1);
        w.form->UpdateActions();
        QVERIFY(w.form->ActionDeleteAllChilds->isEnabled());
    }

    void importStopAndErrorRestoreTheStore()
    {
        NodeTestWindow w;
        const QString src = w.dir.path() + QStringLiteral("/src");
        for (int i = 0; i < 4; ++i)
            Write(src + QStringLiteral("/f%1").arg(i), "data");
        const int folder = w.addNode(0, "目标", kNodeFolder);
        const int nodes = w.db().NodeCount();
        const std::vector<KELFileItem> items{KELFileItem(src.toStdString())};
        // Stop: the button is pressed while the import lets events run.
        w.responder.answers << IDYES;
        w.responder.dialogs << [&](QDialog* d) {
            Click(d, "ButtonNext");
            QTimer::singleShot(0, d, [d] { Click(d, "ButtonNext"); });
            Click(d, "ButtonNext");
            QCOMPARE(Text(d, "LabelStatus"), QStringLiteral("文件导入被中止，数据已恢复，请按“取消”关闭窗口"));
            QVERIFY(!Child<QPushButton>(d, "ButtonNext")->isEnabled());
            QVERIFY(Child<QPushButton>(d, "ButtonCancel")->isEnabled());
        };
        // An unreadable file: the error question answered No.
        w.responder.dialogs << [&](QDialog* d) {
            Click(d, "ButtonNext");
            QFile::remove(src + QStringLiteral("/f2"));
            Click(d, "ButtonNext");
            QVERIFY(Text(d, "LabelImportFile").startsWith(QStringLiteral("读文件\"") + src + QStringLiteral("/f2\"出错")));
        };
        for (const QString& expected : {QStringLiteral("如果停止，将恢复到导入前的数据，确认要停止导入吗？"),
                                        QStringLiteral("数据导入出错，数据已恢复。")}) {
            w.responder.boxes.clear();
            QVERIFY(!RunImportWizard(w.form.get(), items, folder, w.db(), QStringLiteral("目标")));
            QCOMPARE(w.db().NodeCount(), nodes);
            QVERIFY(w.responder.texts().contains(expected));
        }
        QCOMPARE(w.responder.texts().first(), QStringLiteral("导入文件\"f2\"时出现错误,忽略错误并继续导入吗?"));
        const int32_t next = w.addNode(0, "probe", kNodeText);
        QCOMPARE(next, folder + 1);   // the next id is as it was
    }

    void exportWizard()
    {
        NodeTestWindow w;
        const int folder = w.addNode(0, "导出", kNodeFolder);
        w.addNode(folder, "a.bin", kNodeFile, "bytes");
        w.addNode(folder, "a.bin", kNodeFile, "second");
        w.addNode(folder, "空", kNodeFolder);
        const QString out = w.dir.path() + QStringLiteral("/out");
        Write(w.dir.path() + QStringLiteral("/plain"), "x");
        w.select(w.item(folder));
        QVERIFY(w.form->ActionExportFiles->isEnabled());
        w.responder.dialogs << [&](QDialog* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("导出文件"));
            QCOMPARE(Text(d, "LabelNodeCaption"), QStringLiteral("导出\"导出\"下的文件"));
            QVERIFY(!Child<QPushButton>(d, "ButtonNext")->isEnabled());
            Child<QLineEdit>(d, "EditExportPath")->setText(w.dir.path() + QStringLiteral("/plain/"));
            Click(d, "ButtonNext");   // a file there: back to page 1
            QVERIFY(Child<QFrame>(d, "PanelPage1")->isVisibleTo(d));
            Child<QLineEdit>(d, "EditExportPath")->setText(out + QLatin1Char('/'));
            Child<QCheckBox>(d, "CheckBoxIgnoreEmptyDir")->setChecked(false);
            Click(d, "ButtonNext");
            QCOMPARE(Child<QLineEdit>(d, "EditExportPath")->text(), out);
            QCOMPARE(Text(d, "LabelStatus"), QStringLiteral("文件导出完成，请按“完成”关闭窗口"));
            QCOMPARE(Text(d, "LabelTotalFiles"), QStringLiteral("2"));
            QCOMPARE(Text(d, "LabelTotalFolders"), QStringLiteral("2"));
            QCOMPARE(Child<QTextEdit>(d, "RichEditReport")->toPlainText(),
                     QStringLiteral("文件\"") + out + QStringLiteral("/导出/a.bin\"被覆盖。"));
            Click(d, "ButtonNext");
        };
        w.form->ActionExportFiles->trigger();
        QCOMPARE(w.responder.texts(), QStringList{QStringLiteral("创建目录\"") + w.dir.path() + QStringLiteral("/plain\"出错！")});
        QCOMPARE(Read(out + QStringLiteral("/导出/a.bin")), QByteArray("second"));
        QVERIFY(QFileInfo(out + QStringLiteral("/导出/空")).isDir());
        QCOMPARE(ReadString(QStringLiteral("Export"), QStringLiteral("ExportDir")), out);
        QCOMPARE(ReadBool(QStringLiteral("Export"), QStringLiteral("IgnoreEmptyDir"), true), false);
    }

    void droppedFilesStartTheWizardForTheItem()
    {
        NodeTestWindow w;
        const int folder = w.addNode(0, "放这里", kNodeFolder);
        QTreeWidgetItem* item = w.item(folder);
        w.tree()->scrollToItem(item);
        QList<QUrl> urls;
        for (const char* name : {"/one", "/two", "/three"}) {
            Write(w.dir.path() + QLatin1String(name), "x");
            urls << QUrl::fromLocalFile(w.dir.path() + QLatin1String(name));
        }
        urls.insert(1, QUrl::fromLocalFile(QStringLiteral("/") + QString(300, QLatin1Char('n'))));
        QStringList listed;
        w.responder.dialogs << [&](QDialog* d) {
            listed = Column(Child<QTreeWidget>(d, "ListViewSelected"), 0);
            QCOMPARE(Text(d, "LabelNodeCaption"), QStringLiteral("导入文件到“放这里”"));
        };
        QMimeData mime;
        mime.setUrls(urls);
        const QPoint point = w.tree()->visualItemRect(item).center();
        QDragEnterEvent enter(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.tree()->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.tree()->viewport(), &drop);
        QTRY_COMPARE(listed.size(), 3);
        QCOMPARE(listed, (QStringList{w.dir.path() + QStringLiteral("/one"), w.dir.path() + QStringLiteral("/two"),
                                      w.dir.path() + QStringLiteral("/three")}));
        QCOMPARE(w.tree()->currentItem(), item);
    }

    // A desktop entry that writes new bytes into the copy, then one that waits to be stopped.
    void openedFileIsStoredBackOrLeftAlone()
    {
        NodeTestWindow w;
        const QString apps = UseTestDesktop(w.dir.path());
        const QString runtime = w.dir.path() + QStringLiteral("/run");
        const int id = w.addNode(0, "doc.txt", kNodeFile, "old bytes");
        CaseNode made = w.stored(id);
        made.SetAttr("FCreateLow", "1234");
        made.SetAttr("FCreateHigh", "5678");
        QVERIFY(w.db().SaveNode(made) && w.db().Commit());
        w.select(w.item(id));
        QVERIFY(w.form->ActionOpenNode->isEnabled());
        const QString copy = QString::fromStdString(TempFolder()) + QStringLiteral("doc.txt");

        Write(apps + QStringLiteral("/vltest.desktop"),
              "[Desktop Entry]\nType=Application\nName=t\nExec=sh -c \"printf 'new bytes!' > $0\" %f\n");
        w.responder.dialogs << [](QDialog* d) {
            QCOMPARE(d->objectName(), QStringLiteral("TFormMonitorFile"));
            QCOMPARE(Text(d, "LabelStatus"), QStringLiteral("正在监听文件\"doc.txt\"......"));
            QTRY_COMPARE(d->result(), int(QDialog::Accepted));
        };
        w.form->ActionOpenNode->trigger();
        QCOMPARE(w.responder.texts(), QStringList());
        QCOMPARE(w.stored(id).DataBytes(), std::string("new bytes!"));
        QCOMPARE(w.stored(id).GetAttr("FSize"), std::string("10"));
        // The copy was made for the edit: the file keeps its own creation time.
        QCOMPARE(w.stored(id).GetAttr("FCreateLow"), std::string("1234"));
        QCOMPARE(w.stored(id).GetAttr("FCreateHigh"), std::string("5678"));
        QVERIFY(w.stored(id).Modified > 0);
        QCOMPARE(w.form->Status()->PanelText(5), QStringLiteral("保存文件完成。"));
        QVERIFY(!QFile::exists(copy));

        // Cancelled with AutoTerminateProcess on: the program ends, nothing is stored.
        Write(apps + QStringLiteral("/vltest.desktop"),
              "[Desktop Entry]\nType=Application\nName=t\nExec=sh -c \"sleep 30; printf x > $0\" %f\n");
        w.responder.answers << IDOK;
        QElapsedTimer timer;
        timer.start();
        w.responder.dialogs << [](QDialog* d) { Click(d, "ButtonStop"); };
        w.form->ActionOpenNode->trigger();
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(w.responder.texts(),
                 QStringList{QStringLiteral("如果取消监听，文件修改后将不会被保存到数据库，确认要取消对文件\"doc.txt\"的监听吗？")});
        QCOMPARE(w.stored(id).DataBytes(), std::string("new bytes!"));
        QVERIFY(!QFile::exists(copy));
        QVERIFY(!w.form->FileMonitor().Active());
        QCOMPARE(QFileInfo(runtime + QStringLiteral("/_Vaultleaf_")).permissions() & 0x0077, QFile::Permissions());
    }
    // A shell wrapper that starts the real editor: a confirmed cancel with
    // the box ticked ends both; unticked, both outlive the whole window.
    void forcedEndStopsTheGroupAndAKeptProgramOutlivesTheWindow()
    {
        QTemporaryDir keep;
        const QString pids = keep.path() + QStringLiteral("/pids");
        qint64 shell = 0, editor = 0;
        auto started = [&] {
            QTRY_VERIFY(QFileInfo(pids).size() > 0);
            const QList<QByteArray> both = Read(pids).trimmed().split(' ');
            shell = both.value(0).toLongLong();
            editor = both.value(1).toLongLong();
            QCOMPARE(qint64(getpgid(pid_t(editor))), shell);   // a group of its own
            QVERIFY(getpgid(pid_t(shell)) != getpgrp());
        };
        {
            NodeTestWindow w;
            const QString apps = UseTestDesktop(w.dir.path());
            const QString wrapper = w.dir.path() + QStringLiteral("/editor.sh");
            Script(wrapper, QStringLiteral("sleep 300 &\necho $$ $! > '%1'\nwait\n").arg(pids));
            WriteEntry(apps, wrapper + QStringLiteral(" %f"));
            const int id = w.addNode(0, "doc.txt", kNodeFile, "old bytes");
            w.select(w.item(id));
            w.responder.answers << IDOK;
            w.responder.dialogs << [&](QDialog* d) {
                started();
                Click(d, "ButtonStop");
            };
            w.form->ActionOpenNode->trigger();
            QVERIFY(editor > 0);
            QTRY_VERIFY(!Alive(shell) && !Alive(editor));

            QFile::remove(pids);
            w.responder.answers << IDOK;
            w.responder.dialogs << [&](QDialog* d) {
                started();
                Child<QCheckBox>(d, "CheckBoxAutoTerminateProcess")->setChecked(false);
                Click(d, "ButtonStop");
            };
            w.form->ActionOpenNode->trigger();
            QVERIFY(Alive(shell) && Alive(editor));
        }
        QTest::qWait(300);
        const bool kept = Alive(shell) && Alive(editor);
        kill(pid_t(-shell), SIGKILL);
        QVERIFY(kept);
    }

    // SIGTERM (a logout) while the monitor shows: the changed copy is stored
    // without a question, the copy removed, the program ended, the window closed.
    void sessionEndStoresTheChangedCopy()
    {
        NodeTestWindow w;
        const QString apps = UseTestDesktop(w.dir.path());
        const QString script = w.dir.path() + QStringLiteral("/editor.sh");
        const QString pidFile = w.dir.path() + QStringLiteral("/pid");
        Script(script, QStringLiteral("echo $$ > '%1'\nprintf 'saved at logout' > \"$1\"\nexec sleep 300\n").arg(pidFile));
        WriteEntry(apps, script + QStringLiteral(" %f"));
        const int id = w.addNode(0, "doc.txt", kNodeFile, "old bytes");
        w.select(w.item(id));
        const QString copy = QString::fromStdString(TempFolder()) + QStringLiteral("doc.txt");
        const KELTermSignal termination([&w] { w.form->EndSession(); });
        QVERIFY(termination.Active());
        w.responder.dialogs << [&](QDialog* d) {
            QTRY_COMPARE(Read(copy), QByteArray("saved at logout"));
            raise(SIGTERM);
            QTRY_COMPARE(d->result(), int(QDialog::Accepted));
        };
        w.form->ActionOpenNode->trigger();
        QCOMPARE(w.responder.texts(), QStringList());
        QVERIFY(!QFile::exists(copy));
        QTRY_VERIFY(!w.db().IsOpen());   // the window closed
        QTRY_VERIFY(!Alive(Read(pidFile).trimmed().toLongLong()));
        CaseDB db;
        QCOMPARE(db.Open(w.file.toStdString(), false), 0);
        QVERIFY(db.Login("pw"));
        CaseNode node;
        QVERIFY(db.GetNode(id, node, true));
        QCOMPARE(node.DataBytes(), std::string("saved at logout"));
    }

    // SIGTERM while a modal window of ours is open: the window closes once
    // that one has, storing the page's edits without a question.
    void sessionEndWaitsForAModalWindow()
    {
        NodeTestWindow w;
        const int id = w.addNode(0, "t", kNodeText, "old");
        w.select(w.item(id));
        auto* editor = w.form->findChild<QTextEdit*>(QStringLiteral("RichEditText"));
        editor->moveCursor(QTextCursor::End);
        editor->insertPlainText(QStringLiteral(" typed"));
        QVERIFY(w.form->IsModified());
        const KELTermSignal termination([&w] { w.form->EndSession(); });
        QDialog modal(w.form.get());
        modal.setModal(true);
        modal.show();
        QTRY_VERIFY(QApplication::activeModalWidget() == &modal);
        raise(SIGTERM);
        QTest::qWait(600);
        QVERIFY(w.db().IsOpen());
        modal.close();
        QTRY_VERIFY(!w.db().IsOpen());
        QCOMPARE(w.responder.texts(), QStringList());
        CaseDB db;
        QCOMPARE(db.Open(w.file.toStdString(), false), 0);
        QVERIFY(db.Login("pw"));
        CaseNode node;
        QVERIFY(db.GetNode(id, node, true));
        QVERIFY(QByteArray::fromStdString(node.DataBytes()).startsWith("old typed"));
    }

    // Terminal=true: the command runs in the desktop's terminal; without one
    // a message says so and nothing starts.
    void terminalProgramsRunInTheDesktopsTerminal()
    {
        NodeTestWindow w;
        const QString apps = UseTestDesktop(w.dir.path());
        const QString bin = w.dir.path() + QStringLiteral("/bin"), log = w.dir.path() + QStringLiteral("/terminal.log");
        Script(bin + QStringLiteral("/x-terminal-emulator"),
               QStringLiteral("echo \"$@\" > '%1'\n[ \"$1\" = -e ] && shift\nexec \"$@\"\n").arg(log));
        WriteEntry(apps, QStringLiteral("sh -c \"printf 'typed in vim' > $0\" %f"), true);
        const QByteArray path = qgetenv("PATH");
        const QByteArray terminal = qgetenv("TERMINAL");
        qunsetenv("TERMINAL");
        qputenv("PATH", bin.toUtf8() + ':' + path);
        const int id = w.addNode(0, "doc.txt", kNodeFile, "old bytes");
        w.select(w.item(id));
        w.responder.dialogs << [](QDialog* d) { QTRY_COMPARE(d->result(), int(QDialog::Accepted)); };
        w.form->ActionOpenNode->trigger();
        QVERIFY(Read(log).startsWith("-e sh -c printf"));
        QCOMPARE(w.stored(id).DataBytes(), std::string("typed in vim"));

        qputenv("PATH", (w.dir.path() + QStringLiteral("/nothing")).toUtf8());
        w.form->ActionOpenNode->trigger();
        qputenv("PATH", path);
        if (!terminal.isEmpty())
            qputenv("TERMINAL", terminal);
        QCOMPARE(w.responder.texts(),
                 QStringList{QStringLiteral("打开文件\"doc.txt\"的程序需要在终端中运行，但是没有找到可用的终端程序。")});
        QCOMPARE(w.responder.dialogsRun, 2);   // the login and the first monitor window
        QVERIFY(!QFile::exists(QString::fromStdString(TempFolder()) + QStringLiteral("doc.txt")));
    }

    // A pipe in the folder: its read waits for a writer that comes after 3 s;
    // meanwhile the window keeps answering and the stop button works.
    void importAnswersWhileAFileReads()
    {
        using namespace std::chrono_literals;
        NodeTestWindow w;
        const QString src = w.dir.path() + QStringLiteral("/src");
        QDir().mkpath(src);
        const QByteArray fifo = (src + QStringLiteral("/pipe")).toUtf8();
        QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
        const int folder = w.addNode(0, "目标", kNodeFolder);
        const int nodes = w.db().NodeCount();
        std::thread writer([fifo] {
            std::this_thread::sleep_for(3s);
            const int fd = open(fifo.constData(), O_WRONLY | O_NONBLOCK);   // fails when no one reads
            if (fd >= 0) {
                [[maybe_unused]] const ssize_t written = write(fd, "late", 4);
                close(fd);
            }
        });
        qint64 longestGap = 0;
        QElapsedTimer sinceTick;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        w.responder.answers << IDYES << IDYES;   // stop; a pipe refused at once is skipped
        w.responder.dialogs << [&](QDialog* d) {
            Click(d, "ButtonNext");
            QTimer::singleShot(500, d, [d] { Click(d, "ButtonNext"); });
            sinceTick.start();
            ticker.start(20);
            Click(d, "ButtonNext");
            ticker.stop();
            longestGap = std::max(longestGap, sinceTick.elapsed());
        };
        QElapsedTimer took;
        took.start();
        RunImportWizard(w.form.get(), {KELFileItem(src.toStdString())}, folder, w.db(), QStringLiteral("目标"));
        const qint64 elapsed = took.elapsed();
        writer.join();
        QVERIFY2(longestGap < 1000, QByteArray::number(longestGap).constData());
        QVERIFY(elapsed < 2500);
        QCOMPARE(w.db().NodeCount(), nodes);
    }
};

QTEST_MAIN(TestFiles)
#include "tst_files.moc"
