// What the desktop benchmarks share: an offscreen application made once, a
// responder that logs in with "pw" and answers Yes to every question, and
// timing the save of an edited node.
#pragma once

#include "app/Login.h"
#include "app/Main.h"
#include "kellib/qt/Kelapputil.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

#include <benchmark/benchmark.h>

class BenchResponder : public KELModalResponder {
public:
    int MessageBox(const MessageBoxRequest&) override { return IDYES; }
    QString FileDialog(const FileDialogRequest&) override { return {}; }
    int Exec(QDialog* dialog) override
    {
        if (auto* login = qobject_cast<TFormLogin*>(dialog)) {
            login->EditPassword->setText(QStringLiteral("pw"));
            login->ButtonOk->click();
        }
        return dialog->result();
    }
    bool ShellOpen(const ShellRequest&) override { return true; }
};

inline void EnsureBenchApplication()
{
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        PrepareWebEngine();
        return new QApplication(argc, argv);
    }();
    (void)app;
}

// Times saving item after one character typed (untimed) at the end of editor.
inline void TimeEditAndSave(benchmark::State& state, TFormMain* form, QTreeWidgetItem* item, QTextEdit* editor)
{
    for (auto _ : state) {
        state.PauseTiming();
        editor->moveCursor(QTextCursor::End);
        editor->insertPlainText(QStringLiteral("x"));
        state.ResumeTiming();
        form->SaveCurrentNode(item, false);
    }
}
