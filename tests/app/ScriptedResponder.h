// Answers every message box, file dialog and modal dialog from a script, and
// records what was asked, so no test ever waits for a window. While it lives
// the desktop counts as having a notification area (offscreen has none), so
// hiding the main window hides it as on a desktop with a tray.
#pragma once

#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Keltrayicon.h"

#include <QDialog>
#include <QList>
#include <QStringList>

#include <functional>

class ScriptedResponder : public KELModalResponder {
public:
    using DialogScript = std::function<void(QDialog*)>;

    QList<MessageBoxRequest> boxes;   // every box shown, in order
    QList<int> answers;               // answers to boxes; when empty: IDOK, or IDNO for questions
    QStringList files;                // answers to file dialogs; "" cancels
    QList<FileDialogRequest> fileRequests;   // every file dialog asked for
    QList<DialogScript> dialogs;      // what a person does in each modal dialog
    QList<ShellRequest> shells;
    bool shellStarts = true;          // whether a shell open finds a program
    int dialogsRun = 0;

    ScriptedResponder()
    {
        SetModalResponder(this);
        KELTrayIcon::SetAreaProbe([] { return true; });
    }
    ~ScriptedResponder() override
    {
        SetModalResponder(nullptr);
        KELTrayIcon::SetAreaProbe(nullptr);
    }

    int MessageBox(const MessageBoxRequest& request) override
    {
        boxes << request;
        if (!answers.isEmpty())
            return answers.takeFirst();
        return (request.flags & 0xF) == MB_YESNO || (request.flags & 0xF) == MB_YESNOCANCEL ? IDNO : IDOK;
    }
    QString FileDialog(const FileDialogRequest& request) override
    {
        fileRequests << request;
        return files.isEmpty() ? QString() : files.takeFirst();
    }
    int Exec(QDialog* dialog) override
    {
        ++dialogsRun;
        dialog->setResult(QDialog::Rejected);
        if (!dialogs.isEmpty())
            dialogs.takeFirst()(dialog);
        return dialog->result();
    }
    bool ShellOpen(const ShellRequest& request) override
    {
        shells << request;
        return shellStarts;
    }

    QStringList texts() const
    {
        QStringList out;
        for (const MessageBoxRequest& b : boxes)
            out << b.text;
        return out;
    }
};
