#include "app/ImportFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "db/CaseDB.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"

#include <cerrno>
#include <chrono>
#include <future>
#include <thread>

namespace {

const QString kImport = QStringLiteral("Import");
const QString kIdentifyExt = QStringLiteral("IdentifyExt");

QPointer<TFormImportFiles>& openWizard()
{
    static QPointer<TFormImportFiles> wizard;
    return wizard;
}

QString FromPath(const std::string& path) { return QString::fromStdString(path); }

QLabel* NamedLabel(const char* name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QTreeWidget* NamedList(const char* name, const QStringList& columns, QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QLatin1String(name));
    list->setRootIsDecorated(false);
    list->setHeaderLabels(columns);
    list->setUniformRowHeights(true);
    list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    return list;
}

QPushButton* NamedButton(const char* name, const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

}  // namespace

TFormImportFiles::TFormImportFiles(QWidget* owner, const std::vector<KELFileItem>& items, int targetId,
                                   CaseDB& db, const QString& targetCaption)
    : QDialog(owner), selected_(items), targetId_(targetId), db_(db)
{
    setObjectName(QStringLiteral("TFormImportFiles"));
    setWindowTitle(QStringLiteral("导入文件"));
    resize(560, 420);
    auto* layout = new QVBoxLayout(this);
    BuildPage1();
    BuildPage2();
    BuildPage3();
    LabelNodeCaption->setText(QStringLiteral("导入文件到“") + targetCaption + QStringLiteral("”"));
    LabelStatus = NamedLabel("LabelStatus", this);
    LabelStatus->setWordWrap(true);
    layout->addWidget(LabelStatus);
    for (QFrame* panel : {PanelPage1, PanelPage2, PanelPage3})
        layout->addWidget(panel, 1);
    auto* buttons = new QHBoxLayout;
    ButtonSelect = NamedButton("ButtonSelect", QStringLiteral("选择文件(&S)..."), this);
    ButtonBack = NamedButton("ButtonBack", QStringLiteral("上一步(&B)"), this);
    ButtonNext = NamedButton("ButtonNext", QStringLiteral("下一步(&N)"), this);
    ButtonCancel = NamedButton("ButtonCancel", QStringLiteral("取消"), this);
    buttons->addWidget(ButtonSelect);
    buttons->addStretch();
    for (QPushButton* b : {ButtonBack, ButtonNext, ButtonCancel})
        buttons->addWidget(b);
    layout->addLayout(buttons);
    connect(ButtonSelect, &QPushButton::clicked, this, &TFormImportFiles::ButtonSelectClick);
    connect(ButtonNext, &QPushButton::clicked, this, &TFormImportFiles::ButtonNextClick);
    connect(ButtonBack, &QPushButton::clicked, this, &TFormImportFiles::ButtonBackClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    CheckBoxIdentifyExt->setChecked(ReadBool(kImport, kIdentifyExt, true));
    RefreshSelected();
    ShowPage(1);
}

TFormImportFiles::~TFormImportFiles()
{
    WriteBool(kImport, kIdentifyExt, CheckBoxIdentifyExt->isChecked());
}

void TFormImportFiles::BuildPage1()
{
    PanelPage1 = new QFrame(this);
    PanelPage1->setObjectName(QStringLiteral("PanelPage1"));
    auto* layout = new QVBoxLayout(PanelPage1);
    LabelNodeCaption = NamedLabel("LabelNodeCaption", PanelPage1);
    ListViewSelected = NamedList("ListViewSelected", {QStringLiteral("名称"), QStringLiteral("类型")}, PanelPage1);
    ComboBoxFilesExt = new QComboBox(PanelPage1);
    ComboBoxFilesExt->setObjectName(QStringLiteral("ComboBoxFilesExt"));
    ComboBoxFilesExt->setEditable(true);
    ComboBoxFilesExt->addItems({QStringLiteral("*.*"), QStringLiteral("*.cpp"), QStringLiteral("*.h"),
                                QStringLiteral("*.txt"), QStringLiteral("*.java"), QStringLiteral("*.doc"),
                                QStringLiteral("*.exe")});
    CheckBoxIdentifyExt = new QCheckBox(QStringLiteral("根据扩展名自动区分节点类型"), PanelPage1);
    CheckBoxIdentifyExt->setObjectName(QStringLiteral("CheckBoxIdentifyExt"));
    auto* patternRow = new QHBoxLayout;
    patternRow->addWidget(new QLabel(QStringLiteral("文件夹中的文件扩展名"), PanelPage1));
    patternRow->addWidget(ComboBoxFilesExt, 1);
    layout->addWidget(LabelNodeCaption);
    layout->addWidget(ListViewSelected, 1);
    layout->addLayout(patternRow);
    layout->addWidget(CheckBoxIdentifyExt);
    connect(ComboBoxFilesExt, &QComboBox::currentTextChanged, this, [this] {
        dirty_ = true;
        RefreshSelected();
    });
}

void TFormImportFiles::BuildPage2()
{
    PanelPage2 = new QFrame(this);
    PanelPage2->setObjectName(QStringLiteral("PanelPage2"));
    auto* layout = new QVBoxLayout(PanelPage2);
    ListViewFiles = NamedList("ListViewFiles", {QStringLiteral("文件名"), QStringLiteral("类型"), QStringLiteral("大小")},
                              PanelPage2);
    LabelImportFilesStatus = NamedLabel("LabelImportFilesStatus", PanelPage2);
    LabelImportFilesStatus->setWordWrap(true);
    layout->addWidget(ListViewFiles, 1);
    layout->addWidget(LabelImportFilesStatus);
}

void TFormImportFiles::BuildPage3()
{
    PanelPage3 = new QFrame(this);
    PanelPage3->setObjectName(QStringLiteral("PanelPage3"));
    auto* layout = new QVBoxLayout(PanelPage3);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("正在导入:"), PanelPage3));
    LabelImportFile = NamedLabel("LabelImportFile", PanelPage3);
    LabelImportFile->setTextFormat(Qt::PlainText);
    row->addWidget(LabelImportFile, 1);
    ProgressBarImport = new QProgressBar(PanelPage3);
    ProgressBarImport->setObjectName(QStringLiteral("ProgressBarImport"));
    layout->addStretch();
    layout->addLayout(row);
    layout->addWidget(ProgressBarImport);
    layout->addStretch();
}

void TFormImportFiles::SetStatus(const QString& text, bool repaint)
{
    LabelStatus->setText(text);
    if (repaint)
        LabelStatus->repaint();
}

void TFormImportFiles::ShowPage(int page)
{
    page_ = page;
    PanelPage1->setVisible(page == 1);
    PanelPage2->setVisible(page == 2);
    PanelPage3->setVisible(page == 3);
    ButtonSelect->setVisible(page == 1);
    ButtonBack->setEnabled(page == 2);
    if (page == 1) {
        SetStatus(QStringLiteral("以下是将被导入的文件，请选择文件扩展名，按“下一步”继续..."));
        ButtonNext->setEnabled(!selected_.empty());
    }
}

QString TFormImportFiles::Pattern() const
{
    return FromPath(NormalizePattern(ComboBoxFilesExt->currentText().toStdString()));
}

void TFormImportFiles::RefreshSelected()
{
    ListViewSelected->clear();
    for (const KELFileItem& item : selected_) {
        QString name = FromPath(item.Path);
        if (item.IsFolder()) {
            if (!name.endsWith(QLatin1Char('/')))
                name += QLatin1Char('/');
            name += Pattern();
        }
        new QTreeWidgetItem(ListViewSelected,
                            {name, item.IsFolder() ? QStringLiteral("文件夹") : QStringLiteral("文件")});
    }
    if (page_ == 1)
        ButtonNext->setEnabled(!selected_.empty());
}

void TFormImportFiles::ButtonSelectClick()
{
    FileDialogRequest request;
    request.owner = this;
    request.title = QStringLiteral("请选择文件所在的文件夹:");
    request.folder = true;
    const QString chosen = RunFileDialog(request);
    if (chosen.isEmpty())
        return;
    const std::string path = chosen.toStdString();
    if (!ShouldAddFolder(selected_, path))
        return;
    selected_.emplace_back(path);
    dirty_ = true;
    RefreshSelected();
}

void TFormImportFiles::ButtonBackClick()
{
    if (page_ == 2)
        ShowPage(1);
}

void TFormImportFiles::ButtonNextClick()
{
    if (page_ == 1) {
        ShowPage(2);
        Collect();
    } else if (page_ == 2) {
        ShowPage(3);
        RunImport();
    } else if (running_) {
        AskStop();
    } else if (finished_) {
        accept();
    }
}

void TFormImportFiles::Collect()
{
    if (!dirty_) {
        ButtonNext->setEnabled(ListViewFiles->topLevelItemCount() > 0);
        SetStatus(QStringLiteral("以下是所有将被导入的文件清单，请按“下一步”开始导入文件..."));
        return;
    }
    SetStatus(QStringLiteral("正在搜集文件，请稍等..."), true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    root_ = CollectFiles(selected_, Pattern().toStdString());
    totals_ = CountItems(*root_);
    ListViewFiles->setUpdatesEnabled(false);
    ListViewFiles->clear();
    QList<QTreeWidgetItem*> rows;
    WalkItems(*root_, [&rows](const ImportFileItem& item) {
        const bool folder = item.IsFolder();
        rows << new QTreeWidgetItem({FromPath(item.Path), folder ? QStringLiteral("文件夹") : QStringLiteral("文件"),
                                     folder ? QString() : QString::number(item.Size)});
    });
    ListViewFiles->addTopLevelItems(rows);
    ListViewFiles->setUpdatesEnabled(true);
    QApplication::restoreOverrideCursor();
    LabelImportFilesStatus->setText(QStringLiteral("以上共%1个文件夹，%2个文件，文件大小总共%3。")
                                        .arg(totals_.folderCount)
                                        .arg(totals_.fileCount)
                                        .arg(FromPath(SizeText(totals_.totalSize))));
    dirty_ = false;
    ButtonNext->setEnabled(!rows.isEmpty());
    SetStatus(QStringLiteral("以下是所有将被导入的文件清单，请按“下一步”开始导入文件..."));
}

void TFormImportFiles::RunImport()
{
    ButtonBack->setEnabled(false);
    ButtonCancel->setEnabled(false);
    ButtonNext->setText(QStringLiteral("停止"));
    finished_ = false;
    running_ = true;
    SetStatus(QStringLiteral("正在导入文件，这可能需要较长时间，如果要停止导入请按“停止”..."));
    ProgressBarImport->setRange(0, totals_.fileCount);
    ProgressBarImport->setValue(0);
    run_ = std::make_unique<ImportRun>(db_);
    run_->identifyExt = CheckBoxIdentifyExt->isChecked();
    run_->OnFile = [this](const ImportFileItem& file, int position) {
        ProgressBarImport->setValue(position);
        LabelImportFile->setText(FromPath(file.Path));
        QApplication::processEvents();
    };
    run_->Load = [this](CaseNode& node, const std::string& path, bool withFileInfo) {
        return ReadFile(node, path, withFileInfo);
    };
    auto askIgnore = [this](const std::string& name) {
        LabelImportFile->setText(FromPath(run_->lastError));   // the cause, beside the question
        return FormMessageBox(this,
                              QStringLiteral("导入文件\"") + FromPath(name)
                                  + QStringLiteral("\"时出现错误,忽略错误并继续导入吗?"),
                              MB_YESNO | MB_ICONWARNING)
               == IDYES;
    };
    auto beforeCommit = [this] { SetStatus(QStringLiteral("正在保存，请稍等..."), true); };
    const ImportOutcome outcome = ImportAll(*run_, *root_, targetId_, askIgnore, beforeCommit);
    running_ = false;
    if (outcome == ImportOutcome::kDone) {
        finished_ = true;
        ButtonNext->setText(QStringLiteral("完成"));
        SetStatus(QStringLiteral("文件导入完成，请按“完成”关闭窗口"));
        return;
    }
    if (outcome == ImportOutcome::kFailed)
        FormMessageBox(this, QStringLiteral("数据导入出错，数据已恢复。"), MB_ICONERROR);
    ButtonNext->setEnabled(false);
    ButtonCancel->setEnabled(true);
    SetStatus(QStringLiteral("文件导入被中止，数据已恢复，请按“取消”关闭窗口"));
}

// Reads on a thread of its own, so a file that takes long to read (or never
// ends, like a pipe without writer) leaves the window answering and the stop
// button working. A stop abandons the read: the thread ends, or stays
// blocked, on its own copy of the node.
bool TFormImportFiles::ReadFile(CaseNode& node, const std::string& path, bool withFileInfo)
{
    struct Read {
        CaseNode node;
        bool loaded = false;
        int error = 0;
        std::promise<void> done;
    };
    auto read = std::make_shared<Read>();
    read->node = node;
    std::future<void> done = read->done.get_future();
    std::thread([read, path, withFileInfo] {
        read->loaded = read->node.LoadFromFile(path, withFileInfo);
        read->error = errno;
        read->done.set_value();
    }).detach();
    auto finished = [&done] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; };
    // Most files are read at once; only a slow one turns the event loop.
    if (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        QEventLoop wait;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &wait, [&] {
            if (finished() || run_->stopRequested)
                wait.quit();
        });
        poll.start(10);
        wait.exec();
    }
    if (!finished()) {
        errno = EINTR;
        return false;
    }
    node = std::move(read->node);
    errno = read->error;
    return read->loaded;
}

void TFormImportFiles::AskStop()
{
    if (FormMessageBox(this, QStringLiteral("如果停止，将恢复到导入前的数据，确认要停止导入吗？"), MB_YESNO | MB_ICONQUESTION)
        == IDYES)
        run_->stopRequested = true;
}

void TFormImportFiles::reject()
{
    // Escape and Cancel do nothing while the import runs.
    if (!running_)
        QDialog::reject();
}

void TFormImportFiles::closeEvent(QCloseEvent* e)
{
    if (running_)
        e->ignore();
    else
        QDialog::closeEvent(e);
}

bool RunImportWizard(QWidget* owner, const std::vector<KELFileItem>& items, int targetId, CaseDB& db,
                     const QString& targetCaption)
{
    if (openWizard()) {
        BringAppToFront();
        openWizard()->activateWindow();
        openWizard()->setFocus();
        return false;
    }
    TFormImportFiles wizard(owner, items, targetId, db, targetCaption);
    openWizard() = &wizard;
    ExecDialog(&wizard);
    openWizard() = nullptr;
    // Finished and closed by any means (完成, Escape, the title bar): the nodes are in the store.
    return wizard.Finished();
}
