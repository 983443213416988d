#include "app/AboutBox.h"

#include "app/Main.h"
#include "kellib/qt/Kelapputil.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

const char* const TAboutBox::kEmail = "support@vaultleaf.example";
const char* const TAboutBox::kHomepage = "https://vaultleaf.example/";

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("关于"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(ImageListMenus::Icon(0).pixmap(48, 48));
    ProductName = new QLabel(QStringLiteral("Vaultleaf"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = ProductName->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    ProductName->setFont(big);
    Version = new QLabel(QStringLiteral("版本:") + QStringLiteral(VAULTLEAF_VERSION), this);
    Version->setObjectName(QStringLiteral("Version"));

    auto link = [this](const char* name, const QString& shownText, const QString& target) {
        auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), shownText.toHtmlEscaped()), this);
        label->setObjectName(QLatin1String(name));
        label->setCursor(Qt::PointingHandCursor);
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
        connect(label, &QLabel::linkActivated, this,
                [](const QString& address) { ShellOpen(QStringLiteral("open"), address, QString(), QString()); });
        return label;
    };
    const QString email = QLatin1String(kEmail);
    Email = link("Email", email, QStringLiteral("mailto:") + email + QStringLiteral("?subject=About Vaultleaf"));
    Homepage = link("Homepage", QLatin1String(kHomepage), QLatin1String(kHomepage));

    auto* text = new QVBoxLayout;
    text->addWidget(ProductName);
    text->addWidget(Version);
    auto* links = new QFormLayout;
    links->addRow(QStringLiteral("Email:"), Email);
    links->addRow(QStringLiteral("主页:"), Homepage);
    text->addLayout(links);
    text->addWidget(new QLabel(QStringLiteral("使用中有问题或建议请与开发者联系。"), this));
    auto* top = new QHBoxLayout;
    top->addWidget(ProgramIcon, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    OKButton = new QPushButton(QStringLiteral("确定"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
