// RTF timings on a 1 MB document of Chinese text with a formatting change
// every 50 characters: reading it into the model and a text document against
// the text document's own HTML import of the same content, writing it against
// the HTML export, and showing and saving such a node in the main window.
// Runs offscreen.
#include "AppBench.h"
#include "app/Login.h"
#include "app/Main.h"
#include "app/RtfPage.h"
#include "app/RtfTextDocument.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"
#include "rtf/RtfReader.h"
#include "rtf/RtfWriter.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

namespace {

// 1 MB of RTF: paragraphs of 1,000 characters, the format changing every 50.
// Each character is written as two \'hh escapes, 8 bytes.
std::string MegabyteRtf() {
    const std::u32string sample = U"汉字编码的文本内容在这里重复出现以测量读写速度，天地玄黄宇宙洪荒日月盈昃辰宿列张。";
    RtfDocument doc;
    size_t at = 0;
    for (size_t bytes = 0; bytes < 1024 * 1024; bytes += 1000 * 8) {
        RtfParagraph paragraph;
        paragraph.align = RtfAlign(doc.paragraphs.size() % 3);
        for (int r = 0; r < 20; ++r, ++at) {
            RtfRun run;
            run.font = "宋体";
            run.charset = kCharsetGB2312;
            run.bold = at % 2;
            run.italic = at % 3 == 0;
            run.size = 18 + 2 * int(at % 4);
            run.color = at % 5 == 0 ? 0xFF0000 : kAutoColor;
            for (int k = 0; k < 50; ++k)
                run.text += sample[(at * 50 + size_t(k)) % sample.size()];
            paragraph.runs.push_back(run);
        }
        doc.paragraphs.push_back(paragraph);
    }
    return WriteRtf(doc);
}

struct Fixture {
    std::string rtf = MegabyteRtf();
    QString html;
    QTemporaryDir dir;
    BenchResponder responder;
    std::unique_ptr<TFormMain> form;
    int32_t node = 0;

    Fixture() {
        QTextDocument document;
        RtfDocument doc;
        ReadRtf(rtf, doc);
        LoadRtfDocument(doc, &document);
        html = document.toHtml();

        qputenv("VAULTLEAF_CONFIG_HOME", dir.path().toUtf8() + "/config");
        SetModalResponder(&responder);
        SetProductKey(QStringLiteral("Vaultleaf"));
        form = std::make_unique<TFormMain>(nullptr);
        form->FormCreate(QString());
        form->OpenDatabase(dir.path() + QStringLiteral("/rtf.vldb"), true, false);
        CaseDB& db = form->Database();
        CaseNode n;
        n.Id = db.TakeNextId(false);
        n.Parent = 0;
        n.Order = 1;
        n.Type = kNodeRtf;
        n.Caption = "rtf";
        n.SetData(rtf);
        if (!db.AddNode(n) || !db.Commit())
            qFatal("cannot store the bench node");
        node = n.Id;
        form->CreateSpecialItems();
        form->SelectNodeById(node);
        if (!form->FindItemById(node))
            qFatal("the RTF node is not in the tree");
    }
};

Fixture& fixture() {
    EnsureBenchApplication();
    static Fixture f;
    return f;
}

void BM_RtfReadIntoDocument(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        QTextDocument document;
        RtfDocument doc;
        ReadRtf(f.rtf, doc);
        LoadRtfDocument(doc, &document);
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * f.rtf.size()));
}
BENCHMARK(BM_RtfReadIntoDocument)->Unit(benchmark::kMillisecond);

void BM_QtHtmlImport(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        QTextDocument document;
        document.setHtml(f.html);
        benchmark::DoNotOptimize(document.characterCount());
    }
}
BENCHMARK(BM_QtHtmlImport)->Unit(benchmark::kMillisecond);

void BM_RtfWriteFromDocument(benchmark::State& state) {
    Fixture& f = fixture();
    QTextDocument document;
    RtfDocument doc;
    ReadRtf(f.rtf, doc);
    LoadRtfDocument(doc, &document);
    for (auto _ : state)
        benchmark::DoNotOptimize(WriteRtf(RtfDocumentOf(&document)).size());
}
BENCHMARK(BM_RtfWriteFromDocument)->Unit(benchmark::kMillisecond);

void BM_QtHtmlExport(benchmark::State& state) {
    Fixture& f = fixture();
    QTextDocument document;
    document.setHtml(f.html);
    for (auto _ : state)
        benchmark::DoNotOptimize(document.toHtml().size());
}
BENCHMARK(BM_QtHtmlExport)->Unit(benchmark::kMillisecond);

// The parts of showing a node: reading it from the store (deciphering,
// expanding), and the page's load into its shown editor.
void BM_ReadRtfNode(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        CaseNode node;
        f.form->Database().GetNode(f.node, node, true);
        benchmark::DoNotOptimize(node.DataSize());
    }
}
BENCHMARK(BM_ReadRtfNode)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RtfPageLoad(benchmark::State& state) {
    Fixture& f = fixture();
    TRtfPage page(nullptr);
    page.resize(800, 600);
    page.show();
    for (auto _ : state) {
        page.Load(f.rtf);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_RtfPageLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

// Showing the node: reading, deciphering and expanding it, and the page's load.
void BM_ShowRtfNode(benchmark::State& state) {
    Fixture& f = fixture();
    QTreeWidgetItem* item = f.form->FindItemById(f.node);
    for (auto _ : state) {
        f.form->ShowNodeContent(item, true, true);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ShowRtfNode)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SaveRtfNode(benchmark::State& state) {
    Fixture& f = fixture();
    QTreeWidgetItem* item = f.form->FindItemById(f.node);
    f.form->ShowNodeContent(item, true, true);
    QTextEdit* editor = f.form->RtfPage()->Editor();
    TimeEditAndSave(state, f.form.get(), item, editor);
}
BENCHMARK(BM_SaveRtfNode)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
