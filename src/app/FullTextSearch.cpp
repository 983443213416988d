#include "app/FullTextSearch.h"

#include "app/Main.h"
#include "kellib/qt/Kelapputil.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kRoleNodeId = Qt::UserRole;
constexpr int kStepInterval = 5;   // ms between two feeds of the pool

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

} // namespace

TFormFullTextSearch::TFormFullTextSearch(TFormMain& form) : QDialog(&form), form_(form)
{
    setObjectName(QStringLiteral("FormFullTextSearch"));
    setWindowTitle(QStringLiteral("全文搜索"));
    auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    EditText = new QLineEdit(this);
    named(EditText, "EditText");
    EditText->setMinimumWidth(320);
    CheckBoxCase = new QCheckBox(QStringLiteral("区分大小写(&S)"), this);
    named(CheckBoxCase, "CheckBoxCase");
    CheckBoxWholeWord = new QCheckBox(QStringLiteral("全字匹配(&W)"), this);
    named(CheckBoxWholeWord, "CheckBoxWholeWord");
    ButtonStart = new QPushButton(QStringLiteral("开始搜索(&F)"), this);
    named(ButtonStart, "ButtonStart");
    ButtonStart->setDefault(true);
    ButtonStop = new QPushButton(QStringLiteral("停止(&T)"), this);
    named(ButtonStop, "ButtonStop");
    ButtonClose = new QPushButton(QStringLiteral("关闭(&C)"), this);
    named(ButtonClose, "ButtonClose");
    ProgressBarSearch = new QProgressBar(this);
    named(ProgressBarSearch, "ProgressBarSearch");
    ProgressBarSearch->setRange(0, 1);
    ProgressBarSearch->setValue(0);
    ListViewResult = new QTreeWidget(this);
    named(ListViewResult, "ListViewResult");
    ListViewResult->setHeaderLabels({QStringLiteral("节点"), QStringLiteral("内容")});
    ListViewResult->setRootIsDecorated(false);
    ListViewResult->setUniformRowHeights(true);
    ListViewResult->header()->resizeSection(0, 260);
    LabelStatus = new QLabel(this);
    named(LabelStatus, "LabelStatus");
    TimerSearch = new QTimer(this);
    TimerSearch->setObjectName(QStringLiteral("TimerSearch"));
    TimerSearch->setInterval(kStepInterval);

    auto* query = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("查找内容(&N)："), this);
    label->setBuddy(EditText);
    query->addWidget(label);
    query->addWidget(EditText, 1);
    query->addWidget(ButtonStart);
    query->addWidget(ButtonStop);
    auto* options = new QHBoxLayout;
    options->addWidget(CheckBoxCase);
    options->addWidget(CheckBoxWholeWord);
    options->addStretch(1);
    options->addWidget(ButtonClose);
    auto* status = new QHBoxLayout;
    status->addWidget(LabelStatus, 1);
    status->addWidget(ProgressBarSearch, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(query);
    layout->addLayout(options);
    layout->addWidget(ListViewResult, 1);
    layout->addLayout(status);
    resize(720, 460);

    connect(EditText, &QLineEdit::textChanged, this, &TFormFullTextSearch::UpdateButtons);
    connect(ButtonStart, &QPushButton::clicked, this, &TFormFullTextSearch::ButtonStartClick);
    connect(ButtonStop, &QPushButton::clicked, this, &TFormFullTextSearch::ButtonStopClick);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(TimerSearch, &QTimer::timeout, this, &TFormFullTextSearch::TimerSearchTimer);
    connect(ListViewResult, &QTreeWidget::itemDoubleClicked, this, &TFormFullTextSearch::ListViewResultDblClick);
    UpdateButtons();
}

TFormFullTextSearch::~TFormFullTextSearch()
{
    StopSearch();
}

int TFormFullTextSearch::ResultId(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kRoleNodeId).toInt() : 0;
}

void TFormFullTextSearch::UpdateButtons()
{
    ButtonStart->setEnabled(!Running() && !EditText->text().isEmpty());
    ButtonStop->setEnabled(Running());
    EditText->setEnabled(!Running());
    CheckBoxCase->setEnabled(!Running());
    CheckBoxWholeWord->setEnabled(!Running());
}

void TFormFullTextSearch::ButtonStartClick()
{
    if (Running())
        return;
    const std::u32string text = EditText->text().toStdU32String();
    if (text.empty()) {
        FormMessageBox(this, QStringLiteral("请输入要查找的文字。"), MB_ICONINFORMATION);
        return;
    }
    if (!form_.Database().IsOpen() || !form_.Database().IsLoggedIn())
        return;
    // The search reads what is stored: the shown page is saved first.
    if (form_.SaveCurrentNode(form_.NavTree()->currentItem(), true) >= 2)
        return;
    ListViewResult->clear();
    LabelStatus->setText(QStringLiteral("正在搜索..."));
    search_ = std::make_unique<CaseSearch>(form_.Database());
    search_->Start(TextMatcher(text, {CheckBoxCase->isChecked(), CheckBoxWholeWord->isChecked()}));
    ProgressBarSearch->setRange(0, std::max(1, search_->Total()));
    ProgressBarSearch->setValue(0);
    UpdateButtons();
    TimerSearch->start();
}

void TFormFullTextSearch::ButtonStopClick()
{
    if (search_)
        search_->Stop();
}

void TFormFullTextSearch::TimerSearchTimer()
{
    if (!search_) {
        TimerSearch->stop();
        return;
    }
    const bool going = search_->Step([this](const SearchHit& hit) { AddResult(hit); });
    ProgressBarSearch->setValue(search_->Done());
    if (!going)
        SearchEnded();
}

void TFormFullTextSearch::AddResult(const SearchHit& hit)
{
    auto* item = new QTreeWidgetItem(ListViewResult);
    item->setData(0, kRoleNodeId, hit.Id);
    item->setText(0, Text(JoinPath(hit, "\\")));
    if (hit.Place == SearchHit::kUnreadable) {
        item->setText(1, QStringLiteral("（无法读出该节点的内容）"));
        item->setForeground(1, Qt::red);
    } else {
        item->setText(1, Text(hit.Context));
    }
    item->setToolTip(1, item->text(1));
}

void TFormFullTextSearch::SearchEnded()
{
    TimerSearch->stop();
    const SearchSummary summary = search_->Summary();
    search_.reset();
    QString text = summary.Stopped ? QStringLiteral("搜索已停止，") : QStringLiteral("搜索完毕，");
    text += QStringLiteral("找到 %1 个节点").arg(summary.Hits - summary.Unreadable);
    if (summary.Unreadable > 0)
        text += QStringLiteral("，%1 个节点无法读出").arg(summary.Unreadable);
    LabelStatus->setText(text + QStringLiteral("。"));
    UpdateButtons();
}

void TFormFullTextSearch::StopSearch()
{
    TimerSearch->stop();
    search_.reset();   // stops the pool and waits for it
}

void TFormFullTextSearch::done(int result)
{
    StopSearch();
    QDialog::done(result);
}

void TFormFullTextSearch::ListViewResultDblClick(QTreeWidgetItem* item)
{
    if (!item)
        return;
    // The search uses the store only between the window's timer events, so
    // the tree may read it here.
    if (!form_.SelectNodeById(ResultId(item)))
        FormMessageBox(this, QStringLiteral("无法在导航树中选中该节点。"), MB_ICONINFORMATION);
}
