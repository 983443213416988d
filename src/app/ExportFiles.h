// TFormExportFiles: the three-page export wizard (destination and switches,
// the export with stop, the report). The walk is transfer/ExportFiles.
#pragma once

#include <QDialog>

#include <memory>

#include "transfer/ExportFiles.h"

class CaseDB;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextEdit;

class TFormExportFiles : public QDialog {
    Q_OBJECT
public:
    TFormExportFiles(QWidget* owner, int nodeId, const QString& nodeCaption, CaseDB& db);
    ~TFormExportFiles() override;

    int Page() const { return page_; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildPage1(const QString& nodeCaption);
    void BuildPage2();
    void BuildPage3();
    void ShowPage(int page);
    void ButtonSelectClick();
    void ButtonNextClick();
    void RunExport();
    void ShowReport();

    QFrame* PanelPage1 = nullptr;
    QFrame* PanelPage2 = nullptr;
    QFrame* PanelPage3 = nullptr;
    QLabel* LabelNodeCaption = nullptr;
    QLabel* LabelStatus = nullptr;
    QLineEdit* EditExportPath = nullptr;
    QCheckBox* CheckBoxOverwrite = nullptr;
    QCheckBox* CheckBoxIncludeSubNodes = nullptr;
    QCheckBox* CheckBoxExportNonFileNodes = nullptr;
    QCheckBox* CheckBoxIgnoreEmptyDir = nullptr;
    QLabel* LabelExportingPath = nullptr;
    QLabel* LabelExportingFile = nullptr;
    QLabel* LabelTotalFolders = nullptr;
    QLabel* LabelTotalFiles = nullptr;
    QTextEdit* RichEditReport = nullptr;
    QPushButton* ButtonSelect = nullptr;
    QPushButton* ButtonBack = nullptr;
    QPushButton* ButtonNext = nullptr;
    QPushButton* ButtonCancel = nullptr;

    int page_ = 1;
    int nodeId_;
    CaseDB& db_;
    std::unique_ptr<ExportRun> run_;
};

// Opens the wizard modally; false at once when one is already open (it is
// brought to the front). True when it closed with the finish button.
bool RunExportWizard(QWidget* owner, int nodeId, const QString& nodeCaption, CaseDB& db);
