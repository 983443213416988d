// TFormNodeProp: the read-only facts of one node: its parent, caption, kind,
// dates and the number of nodes below it, and for a file node the file facts
// kept with it.
#pragma once

#include <QDialog>
#include <QStringList>

class CaseNode;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

class TFormNodeProp : public QDialog {
    Q_OBJECT
public:
    TFormNodeProp(const CaseNode& node, const QString& parentCaption, int descendants,
                  QWidget* parent = nullptr);

    QLabel* LabelParent = nullptr;
    QLabel* LabelCaption = nullptr;
    QLabel* LabelType = nullptr;
    QLabel* LabelCreated = nullptr;
    QLabel* LabelModified = nullptr;
    QLabel* LabelSubs = nullptr;
    QFrame* PanelExtProp = nullptr;
    QListWidget* ListBoxExtProp = nullptr;
    QPushButton* ButtonOk = nullptr;
};

// The five file lines of a file node; a time the node does not keep reads "未知".
QStringList FileFactLines(const CaseNode& node);
