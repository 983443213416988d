// TfrmFindNode: finds a node by its caption in the navigation tree. Each press
// of the find button selects the next matching item in tree order after the
// selection; the window stays open for the next press. With
// CheckBoxUnexpanded the folders the tree has not loaded are searched in the
// store as well, and the folders down to a match are loaded.
#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <vector>

class CaptionMatcher;
class CaseTreeIndex;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidgetItem;
class TFormMain;

class TfrmFindNode : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFindNode(TFormMain& form);
    ~TfrmFindNode() override;   // writes the settings, however the window closed

    QLineEdit* EditCaption = nullptr;
    QCheckBox* CheckBoxCase = nullptr;
    QCheckBox* CheckBoxExactly = nullptr;
    QCheckBox* CheckBoxUnexpanded = nullptr;
    QPushButton* BitBtnFind = nullptr;
    QPushButton* BitBtn2 = nullptr;

    void BitBtnFindClick();

private:
    void EditCaptionChange();
    // The item after item in pre-order over the loaded items, or none.
    static QTreeWidgetItem* NextItem(QTreeWidgetItem* item);
    // The store search below an item whose children are not loaded; the item
    // of the match (its folders loaded on the way), or none.
    QTreeWidgetItem* FindUnloadedBelow(QTreeWidgetItem* item, const CaptionMatcher& matcher);
    QTreeWidgetItem* LoadPath(QTreeWidgetItem* item, const std::vector<int32_t>& path);

    TFormMain& form_;
    std::unique_ptr<CaseTreeIndex> index_;   // read at the first store search of a press
};
