// Desktop program timings on a database of 100,000 nodes, 10,000 of them
// children of one folder: expanding that folder, showing a 1 MB text node,
// saving it, and a find over the whole database. Runs offscreen; the database is built once in a temporary folder.
#include "AppBench.h"
#include "app/FindNode.h"
#include "app/Login.h"
#include "app/Main.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

namespace {

struct Fixture {
    QTemporaryDir dir;
    BenchResponder responder;
    std::unique_ptr<TFormMain> form;
    int32_t folder = 0, text = 0;

    Fixture()
    {
        qputenv("VAULTLEAF_CONFIG_HOME", dir.path().toUtf8() + "/config");
        SetModalResponder(&responder);
        SetProductKey(QStringLiteral("Vaultleaf"));
        form = std::make_unique<TFormMain>(nullptr);
        form->FormCreate(QString());
        form->OpenDatabase(dir.path() + QStringLiteral("/big.vldb"), true, false);
        CaseDB& db = form->Database();
        auto add = [&db](int32_t parent, int kind, const std::string& caption, std::string data) {
            CaseNode node;
            node.Id = db.TakeNextId(false);
            node.Parent = parent;
            node.Order = node.Id;
            node.Type = uint8_t(kind);
            node.Caption = caption;
            node.SetData(std::move(data));
            if (!db.AddNode(node))
                qFatal("cannot store a bench node");
            return node.Id;
        };
        // The big folder's children come last in the file, the slowest case
        // for finding their rows.
        int32_t other = 0;
        for (int i = 0; i < 90000 - 2; ++i) {
            if (i % 100 == 0)
                other = add(0, kNodeFolder, "group " + std::to_string(i), {});
            else
                add(other, kNodeText, Utf8ToAnsi("条目 ") + std::to_string(i), "x");   // captions in Chinese
        }
        folder = add(0, kNodeFolder, "big", {});
        for (int i = 0; i < 10000; ++i)
            add(folder, kNodeText, "note " + std::to_string(i), "text");
        std::string mb;
        for (int i = 0; mb.size() < 1024 * 1024; ++i)
            mb += "line " + std::to_string(i) + Utf8ToAnsi(" 中文内容 ") + "\r\n";
        text = add(0, kNodeText, "1 MB", mb);
        if (!db.Commit())
            qFatal("cannot commit the bench nodes");
        form->CreateSpecialItems();
        form->SelectNodeById(folder);
    }
};

Fixture& fixture()
{
    EnsureBenchApplication();
    static Fixture f;
    return f;
}

void BM_ExpandTenThousandChildren(benchmark::State& state)
{
    Fixture& f = fixture();
    QTreeWidgetItem* item = f.form->FindItemById(f.folder);
    for (auto _ : state) {
        item->setExpanded(false);
        qDeleteAll(item->takeChildren());
        item->setExpanded(true);   // loads the 10,000 children
        f.form->NavTree()->scrollToItem(item);
        QApplication::processEvents();   // and paints them
        benchmark::DoNotOptimize(item->childCount());
    }
}
BENCHMARK(BM_ExpandTenThousandChildren)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShowOneMegabyteText(benchmark::State& state)
{
    Fixture& f = fixture();
    QTreeWidgetItem* item = f.form->FindItemById(f.text);
    if (!item) {
        f.form->SelectNodeById(f.text);
        item = f.form->FindItemById(f.text);
    }
    for (auto _ : state) {
        f.form->ShowNodeContent(item, true, true);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ShowOneMegabyteText)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveOneMegabyteText(benchmark::State& state)
{
    Fixture& f = fixture();
    f.form->SelectNodeById(f.text);
    QTreeWidgetItem* item = f.form->FindItemById(f.text);
    f.form->ShowNodeContent(item, true, true);
    auto* editor = f.form->findChild<QTextEdit*>(QStringLiteral("RichEditText"));
    TimeEditAndSave(state, f.form.get(), item, editor);
}
BENCHMARK(BM_SaveOneMegabyteText)->Unit(benchmark::kMillisecond)->Iterations(5);

// The find with "搜索未展开的节点" from the first item, for a text no caption
// holds: every node of the database is tested, the 90 unloaded folders in the
// store, the loaded big folder in the tree.
void BM_FindWholeDatabase(benchmark::State& state)
{
    Fixture& f = fixture();
    TfrmFindNode dialog(*f.form);
    dialog.EditCaption->setText(QStringLiteral("没有这个标题"));
    dialog.CheckBoxUnexpanded->setChecked(true);
    QTreeWidget* tree = f.form->NavTree();
    for (auto _ : state) {
        state.PauseTiming();
        tree->setCurrentItem(tree->topLevelItem(0));
        state.ResumeTiming();
        dialog.BitBtnFindClick();
    }
    state.counters["nodes"] = f.form->Database().NodeCount();
}
BENCHMARK(BM_FindWholeDatabase)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
