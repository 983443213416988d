// TFormFullTextSearch: searches the text of every node of the open database
// (search/CaseSearch) and lists the hits while the search runs, with the
// caption path and the line around the match. The pool of the search works
// off this thread; this window's timer feeds it rows from the store and takes
// its hits, so the store is only ever used on the window's thread. A double
// click selects the node in the tree, loading the folders on the way.
//
// The window is modal: nothing can change the database while it is open. The
// shown page is saved (or its edits given up, as the user answers) before a
// search starts. Closing the window stops the search first.
#pragma once

#include <QDialog>

#include <memory>

#include "search/CaseSearch.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TFormMain;

class TFormFullTextSearch : public QDialog {
    Q_OBJECT
public:
    explicit TFormFullTextSearch(TFormMain& form);
    ~TFormFullTextSearch() override;

    QLineEdit* EditText = nullptr;
    QCheckBox* CheckBoxCase = nullptr;
    QCheckBox* CheckBoxWholeWord = nullptr;
    QPushButton* ButtonStart = nullptr;
    QPushButton* ButtonStop = nullptr;
    QPushButton* ButtonClose = nullptr;
    QProgressBar* ProgressBarSearch = nullptr;
    QTreeWidget* ListViewResult = nullptr;
    QLabel* LabelStatus = nullptr;
    QTimer* TimerSearch = nullptr;

    void ButtonStartClick();
    void ButtonStopClick();
    bool Running() const { return search_ != nullptr; }
    // Node id of a result item.
    static int ResultId(const QTreeWidgetItem* item);

    void done(int result) override;   // stops the search before the window closes

private:
    void TimerSearchTimer();
    void AddResult(const SearchHit& hit);
    void SearchEnded();
    void StopSearch();
    void ListViewResultDblClick(QTreeWidgetItem* item);
    void UpdateButtons();

    TFormMain& form_;
    std::unique_ptr<CaseSearch> search_;
};
