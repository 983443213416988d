#include "app/NodeProp.h"

#include "app/Main.h"
#include "db/CaseNode.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString text(const std::string& ansi)
{
    return QString::fromStdString(AnsiToUtf8(ansi));
}

QLabel* valueLabel(const char* name, const QString& value, QWidget* parent)
{
    auto* label = new QLabel(value, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// A file time kept as two attribute values, or "未知" when either is missing.
QString fileTime(const CaseNode& node, const char* low, const char* high, const std::string& formatted)
{
    if (node.GetAttr(low).empty() || node.GetAttr(high).empty())
        return QStringLiteral("未知");
    return text(formatted);
}

} // namespace

QStringList FileFactLines(const CaseNode& node)
{
    return {
        QStringLiteral("    文件名:") + text(node.Caption),
        QStringLiteral("  文件大小:") + text(node.GetAttr("FSize")),
        QStringLiteral("  导入日期:") + text(node.FormatCreated()),
        QStringLiteral("  创建时间:") + fileTime(node, "FCreateLow", "FCreateHigh", node.FormatFileCreated()),
        QStringLiteral("  修改时间:") + fileTime(node, "FModifyLow", "FModifyHigh", node.FormatFileModified()),
    };
}

TFormNodeProp::TFormNodeProp(const CaseNode& node, const QString& parentCaption, int descendants,
                             QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormNodeProp"));
    setWindowTitle(QStringLiteral("属性"));
    auto* layout = new QVBoxLayout(this);
    LabelParent = valueLabel("LabelParent", parentCaption, this);
    LabelCaption = valueLabel("LabelCaption", text(node.Caption), this);
    QFont bold = LabelCaption->font();
    bold.setBold(true);
    LabelCaption->setFont(bold);
    layout->addWidget(LabelParent);
    layout->addWidget(LabelCaption);
    auto* facts = new QFormLayout;
    LabelType = valueLabel("LabelType", text(TypeName(node.Type)), this);
    LabelCreated = valueLabel("LabelCreated", text(node.FormatCreated()), this);
    LabelModified = valueLabel("LabelModified", text(node.FormatModified()), this);
    LabelSubs = valueLabel("LabelSubs", QString::number(descendants), this);
    facts->addRow(QStringLiteral("节点类型:"), LabelType);
    facts->addRow(QStringLiteral("创建日期:"), LabelCreated);
    facts->addRow(QStringLiteral("修改日期:"), LabelModified);
    facts->addRow(QStringLiteral("子项数:"), LabelSubs);
    layout->addLayout(facts);

    PanelExtProp = new QFrame(this);
    PanelExtProp->setObjectName(QStringLiteral("PanelExtProp"));
    auto* panel = new QVBoxLayout(PanelExtProp);
    panel->setContentsMargins(0, 0, 0, 0);
    panel->addWidget(new QLabel(QStringLiteral("文件属性"), PanelExtProp));
    ListBoxExtProp = new QListWidget(PanelExtProp);
    ListBoxExtProp->setObjectName(QStringLiteral("ListBoxExtProp"));
    ListBoxExtProp->setFixedHeight(ListBoxExtProp->fontMetrics().height() * 5 + 12);
    panel->addWidget(ListBoxExtProp);
    layout->addWidget(PanelExtProp);

    ButtonOk = new QPushButton(QStringLiteral("关闭(&C)"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonOk->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOk);
    layout->addLayout(buttons);
    setMinimumWidth(340);

    if (node.Type == kNodeFile) {
        ListBoxExtProp->addItems(FileFactLines(node));
    } else {
        // Without the file facts the window is shorter by the panel.
        PanelExtProp->hide();
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
