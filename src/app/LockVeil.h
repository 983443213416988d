// LockVeil: what a lock takes out of the main window's widgets and puts back
// after the login. The editors get an empty document while their own one (its
// text, unsaved edits, undo history and modified flag) waits here; the tree's
// items (with their captions, loaded children and expanded state) leave the
// tree. So no text of the database stays readable in a locked window, and
// nothing typed is lost.
#pragma once

#include <QList>

#include <vector>

class QTextDocument;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

class LockVeil {
public:
    LockVeil() = default;
    LockVeil(const LockVeil&) = delete;
    LockVeil& operator=(const LockVeil&) = delete;
    ~LockVeil();

    void HideEditor(QTextEdit* editor);
    // The caller keeps the tree's change notifications quiet meanwhile.
    void HideTree(QTreeWidget* tree);
    bool Active() const { return !editors_.empty() || tree_; }
    // Puts everything back; the tree's item that was current (the caller
    // selects it again), or none.
    QTreeWidgetItem* Restore();

private:
    struct Editor {
        QTextEdit* editor;
        QTextDocument* document;
        QTextDocument* blank;
        int anchor, position, x, y;
    };
    std::vector<Editor> editors_;
    QTreeWidget* tree_ = nullptr;
    QList<QTreeWidgetItem*> items_, expanded_;
    QTreeWidgetItem* current_ = nullptr;
    int treeX_ = 0, treeY_ = 0;
};
