// TAboutBox: product name, version from the build, the program icon and two
// contact links that the desktop opens.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Email = nullptr;
    QLabel* Homepage = nullptr;
    QPushButton* OKButton = nullptr;

    static const char* const kEmail;
    static const char* const kHomepage;
};
