// A main window on a fresh database, driven through a scripted responder, for
// the tests of the node commands and the content pages.
#pragma once

#include "ScriptedResponder.h"

#include "app/Login.h"
#include "app/Main.h"
#include "db/CaseDB.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelregistry.h"

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

// The entry of the main menu's New submenu for a kind code.
inline QAction* newMenuEntry(TFormMain* form, int code)
{
    for (QAction* a : form->findChild<QMenu*>(QStringLiteral("MenuItemNewSubNode"))->actions())
        if (a->data().toInt() == code)
            return a;
    return nullptr;
}

class NodeTestWindow {
public:
    QTemporaryDir dir;
    ScriptedResponder responder;
    std::unique_ptr<TFormMain> form;
    QString file;

    NodeTestWindow()
    {
        qputenv("VAULTLEAF_CONFIG_HOME", dir.path().toUtf8() + "/config");
        qputenv("XDG_CONFIG_HOME", dir.path().toUtf8() + "/xdg");
        SetProductKey(QStringLiteral("Vaultleaf"));
        form = std::make_unique<TFormMain>(nullptr);
        SetAppMainWindow(form.get());
        form->FormCreate(QString());
        file = dir.path() + QStringLiteral("/notes.vldb");
        responder.files << file;
        responder.dialogs << login();
        form->ActionNewDB->trigger();
    }
    ~NodeTestWindow()
    {
        form->close();
        form.reset();
    }

    static ScriptedResponder::DialogScript login()
    {
        return [](QDialog* d) {
            auto* f = static_cast<TFormLogin*>(d);
            f->EditPassword->setText(QStringLiteral("pw"));
            f->CheckBoxRememberPassword->setChecked(false);
            f->ButtonOk->click();
        };
    }
    // Closes and reopens the database: what the tree shows then was committed.
    void reopen()
    {
        QVERIFY(form->CloseDatabase());
        responder.dialogs << login();
        QVERIFY(form->OpenDatabase(file, false, false));
        stale_ = false;
    }

    CaseDB& db() { return form->Database(); }
    QTreeWidget* tree() { return form->NavTree(); }
    QTreeWidgetItem* bin() { return form->RecycleBinItem(); }
    QTreeWidgetItem* top() { return form->BriefcaseItem(); }

    // A node written straight into the store and committed.
    int32_t addNode(int32_t parent, const char* caption, int kind, const std::string& data = {},
                    int32_t order = 0)
    {
        CaseNode node;
        node.Id = db().TakeNextId(false);
        node.Parent = parent;
        node.Order = order ? order : db().NextChildOrder(parent);
        node.Caption = Utf8ToAnsi(caption);
        node.Type = uint8_t(kind);
        node.SetData(data);
        QTEST_ASSERT(db().AddNode(node) && db().Commit());
        stale_ = true;
        return node.Id;
    }
    CaseNode stored(int32_t id, bool withData = true)
    {
        CaseNode node;
        node.Id = -100;
        db().GetNode(id, node, withData);
        return node;
    }
    bool exists(int32_t id)
    {
        CaseNode node;
        return db().GetNode(id, node, false);
    }
    // Selects an item as a click does and lets the delayed change notification run.
    void select(QTreeWidgetItem* item)
    {
        tree()->setCurrentItem(item);
        auto* timer = form->findChild<QTimer*>(QStringLiteral("TimerNavChange"));
        QTRY_VERIFY(!timer->isActive());
        form->UpdateActions();   // as when the application is next idle
    }
    // The item of a node, brought into the tree as a person would by opening
    // its folders; nodes written straight into the store are loaded afresh.
    QTreeWidgetItem* item(int32_t id)
    {
        if (stale_)
            form->CreateSpecialItems();
        stale_ = false;
        QTreeWidgetItem* found = form->FindItemById(id);
        if (!found && form->SelectNodeById(id))
            found = form->FindItemById(id);
        return found;
    }
    // The captions of an item's children, "|"-separated.
    static QString children(const QTreeWidgetItem* parent)
    {
        QStringList out;
        for (int i = 0; i < parent->childCount(); ++i)
            out << parent->child(i)->text(0);
        return out.join(QLatin1Char('|'));
    }

private:
    bool stale_ = false;
};
