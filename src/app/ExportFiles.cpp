#include "app/ExportFiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

#include "db/CaseDB.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"

namespace {

const QString kExport = QStringLiteral("Export");

QPointer<TFormExportFiles>& openWizard()
{
    static QPointer<TFormExportFiles> wizard;
    return wizard;
}

template <typename Widget>
Widget* Named(const char* name, Widget* widget)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QString FromPath(const std::string& path) { return QString::fromStdString(path); }

}  // namespace

TFormExportFiles::TFormExportFiles(QWidget* owner, int nodeId, const QString& nodeCaption, CaseDB& db)
    : QDialog(owner), nodeId_(nodeId), db_(db)
{
    setObjectName(QStringLiteral("TFormExportFiles"));
    setWindowTitle(QStringLiteral("导出文件"));
    resize(560, 400);
    auto* layout = new QVBoxLayout(this);
    LabelStatus = Named("LabelStatus", new QLabel(this));
    LabelStatus->setWordWrap(true);
    layout->addWidget(LabelStatus);
    BuildPage1(nodeCaption);
    BuildPage2();
    BuildPage3();
    for (QFrame* panel : {PanelPage1, PanelPage2, PanelPage3})
        layout->addWidget(panel, 1);
    auto* buttons = new QHBoxLayout;
    ButtonBack = Named("ButtonBack", new QPushButton(QStringLiteral("上一步(&B)"), this));
    ButtonNext = Named("ButtonNext", new QPushButton(QStringLiteral("下一步"), this));
    ButtonCancel = Named("ButtonCancel", new QPushButton(QStringLiteral("取消"), this));
    buttons->addStretch();
    for (QPushButton* b : {ButtonBack, ButtonNext, ButtonCancel}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    ButtonBack->setEnabled(false);
    connect(ButtonNext, &QPushButton::clicked, this, &TFormExportFiles::ButtonNextClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowPage(1);
}

TFormExportFiles::~TFormExportFiles()
{
    WriteString(kExport, QStringLiteral("ExportDir"), EditExportPath->text());
    WriteBool(kExport, QStringLiteral("Overwrite"), CheckBoxOverwrite->isChecked());
    WriteBool(kExport, QStringLiteral("IncludeSubNodes"), CheckBoxIncludeSubNodes->isChecked());
    WriteBool(kExport, QStringLiteral("ExportNonFileNodes"), CheckBoxExportNonFileNodes->isChecked());
    WriteBool(kExport, QStringLiteral("IgnoreEmptyDir"), CheckBoxIgnoreEmptyDir->isChecked());
}

void TFormExportFiles::BuildPage1(const QString& nodeCaption)
{
    PanelPage1 = Named("PanelPage1", new QFrame(this));
    auto* layout = new QVBoxLayout(PanelPage1);
    LabelNodeCaption = Named("LabelNodeCaption", new QLabel(QStringLiteral("导出\"") + nodeCaption + QStringLiteral("\"下的文件"), PanelPage1));
    EditExportPath = Named("EditExportPath", new QLineEdit(ReadString(kExport, QStringLiteral("ExportDir")), PanelPage1));
    ButtonSelect = Named("ButtonSelect", new QPushButton(QStringLiteral("选择文件(&S)..."), PanelPage1));
    ButtonSelect->setAutoDefault(false);
    auto box = [this](const char* name, const QString& text, const char* key, bool def) {
        auto* check = Named(name, new QCheckBox(text, PanelPage1));
        check->setChecked(ReadBool(kExport, QLatin1String(key), def));
        return check;
    };
    CheckBoxOverwrite = box("CheckBoxOverwrite", QStringLiteral("如果文件已存在则覆盖"), "Overwrite", true);
    CheckBoxIncludeSubNodes = box("CheckBoxIncludeSubNodes", QStringLiteral("导出该节点下的所有子节点"), "IncludeSubNodes", true);
    CheckBoxExportNonFileNodes = box("CheckBoxExportNonFileNodes",
                                     QStringLiteral("导出所有类型的节点，不选表示只导出文件型节点"), "ExportNonFileNodes", true);
    CheckBoxIgnoreEmptyDir = box("CheckBoxIgnoreEmptyDir", QStringLiteral("如果目录下没有文件则不创建空的目录"), "IgnoreEmptyDir", true);
    auto* row = new QHBoxLayout;
    row->addWidget(EditExportPath, 1);
    row->addWidget(ButtonSelect);
    layout->addWidget(LabelNodeCaption);
    layout->addWidget(new QLabel(QStringLiteral("请选择导出到的文件夹"), PanelPage1));
    layout->addLayout(row);
    for (QCheckBox* check : {CheckBoxOverwrite, CheckBoxIncludeSubNodes, CheckBoxExportNonFileNodes, CheckBoxIgnoreEmptyDir})
        layout->addWidget(check);
    layout->addStretch();
    connect(ButtonSelect, &QPushButton::clicked, this, &TFormExportFiles::ButtonSelectClick);
    connect(EditExportPath, &QLineEdit::textChanged, this, [this] { ShowPage(1); });
}

void TFormExportFiles::BuildPage2()
{
    PanelPage2 = Named("PanelPage2", new QFrame(this));
    auto* form = new QFormLayout(PanelPage2);
    LabelExportingPath = Named("LabelExportingPath", new QLabel(PanelPage2));
    LabelExportingFile = Named("LabelExportingFile", new QLabel(PanelPage2));
    for (QLabel* label : {LabelExportingPath, LabelExportingFile})
        label->setTextFormat(Qt::PlainText);
    form->addRow(QStringLiteral("文件夹:"), LabelExportingPath);
    form->addRow(QStringLiteral("文件:"), LabelExportingFile);
}

void TFormExportFiles::BuildPage3()
{
    PanelPage3 = Named("PanelPage3", new QFrame(this));
    auto* layout = new QVBoxLayout(PanelPage3);
    auto* form = new QFormLayout;
    LabelTotalFolders = Named("LabelTotalFolders", new QLabel(PanelPage3));
    LabelTotalFiles = Named("LabelTotalFiles", new QLabel(PanelPage3));
    form->addRow(QStringLiteral("文件夹总数:"), LabelTotalFolders);
    form->addRow(QStringLiteral("文件总数:"), LabelTotalFiles);
    RichEditReport = Named("RichEditReport", new QTextEdit(PanelPage3));
    RichEditReport->setReadOnly(true);
    RichEditReport->setLineWrapMode(QTextEdit::NoWrap);
    layout->addLayout(form);
    layout->addWidget(RichEditReport, 1);
}

void TFormExportFiles::ShowPage(int page)
{
    page_ = page;
    PanelPage1->setVisible(page == 1);
    PanelPage2->setVisible(page == 2);
    PanelPage3->setVisible(page == 3);
    if (page == 1) {
        LabelStatus->setText(QStringLiteral("请选择文件导出的文件夹，按“下一步”开始导出文件..."));
        ButtonNext->setText(QStringLiteral("下一步"));
        ButtonNext->setEnabled(!EditExportPath->text().trimmed().isEmpty());
        ButtonCancel->setEnabled(true);
    }
}

void TFormExportFiles::ButtonSelectClick()
{
    FileDialogRequest request;
    request.owner = this;
    request.title = QStringLiteral("请选择被导出文件所在的文件夹:");
    request.folder = true;
    request.directory = EditExportPath->text();
    const QString chosen = RunFileDialog(request);
    if (!chosen.isEmpty() && chosen != EditExportPath->text())
        EditExportPath->setText(chosen);
}

void TFormExportFiles::ButtonNextClick()
{
    if (page_ == 1)
        RunExport();
    else if (page_ == 2)
        run_->stopRequested = true;
    else
        accept();
}

void TFormExportFiles::RunExport()
{
    std::string destination = EditExportPath->text().trimmed().toStdString();
    if (destination.empty())
        return;
    ShowPage(2);
    LabelExportingPath->clear();
    LabelExportingFile->clear();
    ButtonNext->setText(QStringLiteral("停止"));
    ButtonCancel->setEnabled(false);
    LabelStatus->setText(QStringLiteral("正在导出文件，这可能需要较长时间，如果要停止导出请按“停止”..."));
    const bool created = PrepareDestination(destination);
    if (FromPath(destination) != EditExportPath->text().trimmed())
        EditExportPath->setText(FromPath(destination));
    if (!created) {
        ShowPage(1);
        FormMessageBox(this, QStringLiteral("创建目录\"") + FromPath(destination) + QStringLiteral("\"出错！"), MB_ICONERROR);
        return;
    }
    ExportOptions options;
    options.overwrite = CheckBoxOverwrite->isChecked();
    options.includeSubNodes = CheckBoxIncludeSubNodes->isChecked();
    options.exportNonFileNodes = CheckBoxExportNonFileNodes->isChecked();
    options.ignoreEmptyDir = CheckBoxIgnoreEmptyDir->isChecked();
    run_ = std::make_unique<ExportRun>(db_, options);
    run_->OnNode = [] { QApplication::processEvents(); };
    run_->ConfirmAbort = [this] {
        return FormMessageBox(this, QStringLiteral("文件还没有全部导出，确认要中止吗？"), MB_YESNO | MB_ICONQUESTION) == IDYES;
    };
    run_->OnFolder = [this](const std::string& folder) { LabelExportingPath->setText(FromPath(folder)); };
    run_->OnFile = [this](const std::string& file) { LabelExportingFile->setText(FromPath(file)); };
    run_->OnReport = [this](const std::string& line) { RichEditReport->append(FromPath(line)); };
    const bool ok = ExportNode(*run_, nodeId_, destination, options.includeSubNodes);
    if (!ok && !run_->stopRequested)
        FormMessageBox(this, QStringLiteral("导出文件时出错。"), MB_ICONERROR);
    ShowReport();
}

void TFormExportFiles::ShowReport()
{
    ShowPage(3);
    LabelTotalFolders->setText(QString::number(run_->folderCount));
    LabelTotalFiles->setText(QString::number(run_->fileCount));
    ButtonNext->setText(QStringLiteral("完成"));
    ButtonNext->setEnabled(true);
    ButtonCancel->setEnabled(false);
    LabelStatus->setText(run_->stopRequested ? QStringLiteral("文件导出被中止，请按“完成”关闭窗口")
                                             : QStringLiteral("文件导出完成，请按“完成”关闭窗口"));
}

void TFormExportFiles::reject()
{
    if (page_ == 1)
        QDialog::reject();
}

void TFormExportFiles::closeEvent(QCloseEvent* e)
{
    if (page_ == 2)
        e->ignore();
    else
        QDialog::closeEvent(e);
}

bool RunExportWizard(QWidget* owner, int nodeId, const QString& nodeCaption, CaseDB& db)
{
    if (openWizard()) {
        BringAppToFront();
        openWizard()->activateWindow();
        openWizard()->setFocus();
        return false;
    }
    TFormExportFiles wizard(owner, nodeId, nodeCaption, db);
    openWizard() = &wizard;
    const int result = ExecDialog(&wizard);
    openWizard() = nullptr;
    return result == QDialog::Accepted;
}
