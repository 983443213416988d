#include "app/LockVeil.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

LockVeil::~LockVeil()
{
    for (const Editor& e : editors_)
        delete e.document;
    qDeleteAll(items_);
}

void LockVeil::HideEditor(QTextEdit* editor)
{
    QTextDocument* document = editor->document();
    const QTextCursor caret = editor->textCursor();
    // Its owner would delete it when the blank one takes its place.
    document->setParent(nullptr);
    auto* blank = new QTextDocument(editor);
    editors_.push_back({editor, document, blank, caret.anchor(), caret.position(),
                        editor->horizontalScrollBar()->value(), editor->verticalScrollBar()->value()});
    editor->setDocument(blank);
}

void LockVeil::HideTree(QTreeWidget* tree)
{
    tree_ = tree;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->isExpanded())
            expanded_ << *it;
    current_ = tree->currentItem();
    treeX_ = tree->horizontalScrollBar()->value();
    treeY_ = tree->verticalScrollBar()->value();
    while (tree->topLevelItemCount() > 0)
        items_ << tree->takeTopLevelItem(0);
}

QTreeWidgetItem* LockVeil::Restore()
{
    for (const Editor& e : editors_) {
        e.editor->setDocument(e.document);
        e.document->setParent(e.editor);
        delete e.blank;
        QTextCursor caret(e.document);
        caret.setPosition(qMin(e.anchor, e.document->characterCount() - 1));
        caret.setPosition(qMin(e.position, e.document->characterCount() - 1), QTextCursor::KeepAnchor);
        e.editor->setTextCursor(caret);
        e.editor->horizontalScrollBar()->setValue(e.x);
        e.editor->verticalScrollBar()->setValue(e.y);
    }
    editors_.clear();
    QTreeWidgetItem* current = current_;
    if (tree_) {
        tree_->addTopLevelItems(items_);
        for (QTreeWidgetItem* item : expanded_)
            item->setExpanded(true);
        tree_->doItemsLayout();
        tree_->horizontalScrollBar()->setValue(treeX_);
        tree_->verticalScrollBar()->setValue(treeY_);
    }
    tree_ = nullptr;
    items_.clear();
    expanded_.clear();
    current_ = nullptr;
    return current;
}
