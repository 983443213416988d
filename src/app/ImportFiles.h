// TFormImportFiles: the three-page import wizard (what was picked, every file
// that will be imported, the import with progress and stop). The walks are
// those of transfer/ImportFiles; this window shows them.
#pragma once

#include <QDialog>

#include <memory>
#include <vector>

#include "kellib/KELFileItem.h"
#include "transfer/ImportFiles.h"

class CaseDB;
class CaseNode;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

class TFormImportFiles : public QDialog {
    Q_OBJECT
public:
    TFormImportFiles(QWidget* owner, const std::vector<KELFileItem>& items, int targetId, CaseDB& db,
                     const QString& targetCaption);
    ~TFormImportFiles() override;

    int Page() const { return page_; }
    const std::vector<KELFileItem>& Selected() const { return selected_; }
    bool Finished() const { return finished_; }

protected:
    void reject() override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildPage1();
    void BuildPage2();
    void BuildPage3();
    void ShowPage(int page);
    QString Pattern() const;
    void RefreshSelected();
    void ButtonSelectClick();
    void ButtonNextClick();
    void ButtonBackClick();
    void Collect();
    void RunImport();
    bool ReadFile(CaseNode& node, const std::string& path, bool withFileInfo);
    void AskStop();
    void SetStatus(const QString& text, bool repaint = false);

    QFrame* PanelPage1 = nullptr;
    QFrame* PanelPage2 = nullptr;
    QFrame* PanelPage3 = nullptr;
    QLabel* LabelNodeCaption = nullptr;
    QLabel* LabelStatus = nullptr;
    QTreeWidget* ListViewSelected = nullptr;
    QComboBox* ComboBoxFilesExt = nullptr;
    QCheckBox* CheckBoxIdentifyExt = nullptr;
    QTreeWidget* ListViewFiles = nullptr;
    QLabel* LabelImportFilesStatus = nullptr;
    QLabel* LabelImportFile = nullptr;
    QProgressBar* ProgressBarImport = nullptr;
    QPushButton* ButtonSelect = nullptr;
    QPushButton* ButtonBack = nullptr;
    QPushButton* ButtonNext = nullptr;
    QPushButton* ButtonCancel = nullptr;

    int page_ = 1;
    std::vector<KELFileItem> selected_;
    std::unique_ptr<ImportFileItem> root_;
    bool dirty_ = true;
    ImportTotals totals_;
    bool running_ = false;
    bool finished_ = false;
    int targetId_;
    CaseDB& db_;
    std::unique_ptr<ImportRun> run_;
};

// Opens the wizard modally; false at once when one is already open (it is
// brought to the front). True when it closed after a successful import.
bool RunImportWizard(QWidget* owner, const std::vector<KELFileItem>& items, int targetId, CaseDB& db,
                     const QString& targetCaption);
