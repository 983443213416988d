// Whiteboard and sound timings. Sound: one hour of speech through libgsm's
// gsm_encode loop alone (the baseline) and through the recorder's path (a
// KELWaveCompress Encode per 20 ms buffer and its record appended to the
// work file). Whiteboard: a 4000 x 3000 picture loaded into the page and
// painted, and saved as its BMP payload. The longest the window stays busy
// while recording: showing a 10 MB text in the editor, and recording on the
// desktop's input device meanwhile (needs a sound server; a PulseAudio null
// sink's monitor will do): every 20 ms of wall time must arrive as a buffer.
#include "app/DrawPage.h"
#include "app/QtWaveDevices.h"
#include "db/CaseDB.h"
#include "kellib/Kelbmp.h"
#include "kelwavecompress/KELSoundRecords.h"
#include "kelwavecompress/KELSoundWorkFile.h"

#include <gsm.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int kMinuteBlocks = 60 * 50;   // 20 ms blocks in a minute

// A minute of speech-like sound; an hour is this 60 times.
const std::string& Minute()
{
    static const std::string pcm = [] {
        std::string out;
        for (int i = 0; i < kMinuteBlocks * 160; ++i) {
            const double t = i / 8000.0;
            const auto v = int16_t(8000 * std::sin(2 * M_PI * 180 * t) * std::sin(2 * M_PI * 2.5 * t)
                                   + 2500 * std::sin(2 * M_PI * 1100 * t + std::sin(t * 40)));
            out += std::string{char(v & 0xFF), char(v >> 8)};
        }
        return out;
    }();
    return pcm;
}

void BM_HourGsmEncodeLoop(benchmark::State& state)
{
    const std::string& pcm = Minute();
    gsm codec = gsm_create();
    gsm_frame frame;
    for (auto _ : state)
        for (int minute = 0; minute < 60; ++minute)
            for (int b = 0; b < kMinuteBlocks; ++b) {
                gsm_encode(codec, reinterpret_cast<gsm_signal*>(const_cast<char*>(pcm.data())) + 160 * b, frame);
                benchmark::DoNotOptimize(frame);
            }
    gsm_destroy(codec);
}
BENCHMARK(BM_HourGsmEncodeLoop)->Unit(benchmark::kMillisecond);

// Each buffer encoded as the recorder does it and its record framed (the
// 4-byte length before the unit), in memory: the cost of the records.
void BM_HourEncodeRecords(benchmark::State& state)
{
    const std::string& pcm = Minute();
    KELWaveCompress codec;
    std::string records;
    records.reserve(size_t(60) * kMinuteBlocks * kSoundRecordBytes);
    for (auto _ : state) {
        records.clear();
        for (int minute = 0; minute < 60; ++minute)
            for (int b = 0; b < kMinuteBlocks; ++b) {
                codec.Encode(reinterpret_cast<const uint8_t*>(pcm.data()) + 320 * b, 320);
                AppendSoundRecord(records, codec.Output(), codec.OutputLength());
            }
        benchmark::DoNotOptimize(records.data());
    }
}
BENCHMARK(BM_HourEncodeRecords)->Unit(benchmark::kMillisecond);

// The whole recorder path: as above, each record written to the work file
// (in the private folder, a memory-backed runtime folder where there is one).
void BM_HourRecorderToWorkFile(benchmark::State& state)
{
    const std::string& pcm = Minute();
    KELWaveCompress codec;
    KELSoundWorkFile file;
    const std::string folder = PrivateWorkFolder();
    file.Create(folder + "bench-" + std::to_string(getpid()) + ".$vl_wav");
    std::string record;
    for (auto _ : state) {
        file.Truncate();
        for (int minute = 0; minute < 60; ++minute)
            for (int b = 0; b < kMinuteBlocks; ++b) {
                codec.Encode(reinterpret_cast<const uint8_t*>(pcm.data()) + 320 * b, 320);
                record.clear();
                AppendSoundRecord(record, codec.Output(), codec.OutputLength());
                file.Write(record.data(), record.size());
            }
    }
    std::remove(file.Path().c_str());
}
BENCHMARK(BM_HourRecorderToWorkFile)->Unit(benchmark::kMillisecond);

QImage Drawing()
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    for (int i = 0; i < 400; ++i)
        p.drawLine(i * 10, 0, 4000 - i * 7, 3000);
    return image;
}

void BM_Whiteboard4000x3000Show(benchmark::State& state)
{
    DrawPage page(nullptr);
    page.resize(1000, 700);
    const std::string payload = DrawPage::BmpOf(Drawing());
    QPixmap screen(1000, 700);
    for (auto _ : state) {
        page.Load(payload);
        page.render(&screen);
    }
}
BENCHMARK(BM_Whiteboard4000x3000Show)->Unit(benchmark::kMillisecond);

// The whole way through the store: a database holding the whiteboard node.
struct StoredBoard {
    QTemporaryDir dir;
    CaseDB db;
    CaseNode node;
    bool ok = false;
    StoredBoard()
    {
        if (db.Open(dir.filePath(QStringLiteral("w.vldb")).toStdString(), true) != CaseDB::kOpened || !db.Login("pw"))
            return;
        node.Id = db.TakeNextId(false);
        node.Type = uint8_t(kNodeWhiteboard);
        node.Caption = "board";
        node.SetData(DrawPage::BmpOf(Drawing()));
        ok = db.AddNode(node) && db.Commit();
    }
};

// The node read (DES, LZW) and shown.
void BM_Whiteboard4000x3000ShowFromStore(benchmark::State& state)
{
    StoredBoard board;
    if (!board.ok)
        return state.SkipWithError("not stored");
    DrawPage page(nullptr);
    page.resize(1000, 700);
    QPixmap screen(1000, 700);
    for (auto _ : state) {
        CaseNode shown;
        board.db.GetNode(board.node.Id, shown, true);
        page.Load(shown.DataBytes());
        page.render(&screen);
    }
}
BENCHMARK(BM_Whiteboard4000x3000ShowFromStore)->Unit(benchmark::kMillisecond);

// The page saved into the node and committed (LZW, DES, the file's sync).
void BM_Whiteboard4000x3000SaveToStore(benchmark::State& state)
{
    StoredBoard board;
    if (!board.ok)
        return state.SkipWithError("not stored");
    DrawPage page(nullptr);
    page.Load(board.node.DataBytes());
    for (auto _ : state) {
        board.node.SetData(page.Save());
        if (!board.db.SaveNode(board.node) || !board.db.Commit())
            state.SkipWithError("not saved");
    }
}
BENCHMARK(BM_Whiteboard4000x3000SaveToStore)->Unit(benchmark::kMillisecond);

// Of which: the BMP decoded alone.
void BM_Whiteboard4000x3000Decode(benchmark::State& state)
{
    const std::string payload = DrawPage::BmpOf(Drawing());
    for (auto _ : state) {
        KELBitmap bmp;
        benchmark::DoNotOptimize(ReadBmp(payload, bmp));
    }
}
BENCHMARK(BM_Whiteboard4000x3000Decode)->Unit(benchmark::kMillisecond);

void BM_Whiteboard4000x3000Save(benchmark::State& state)
{
    DrawPage page(nullptr);
    page.Load(DrawPage::BmpOf(Drawing()));
    for (auto _ : state)
        benchmark::DoNotOptimize(page.Save());
}
BENCHMARK(BM_Whiteboard4000x3000Save)->Unit(benchmark::kMillisecond);

const QString& TenMegabyteText()
{
    static const QString text = [] {
        QString t;
        while (t.size() < 10 * 1024 * 1024)
            t += QStringLiteral("一行文字 line of text for the editor 0123456789\n");
        return t;
    }();
    return text;
}

// The plain-text editor as the text page has it.
struct TextEditor : QTextEdit {
    TextEditor()
    {
        setAcceptRichText(false);
        resize(800, 600);
    }
};

void BM_Show10MBText(benchmark::State& state)
{
    const QString& text = TenMegabyteText();
    TextEditor editor;
    for (auto _ : state) {
        editor.setPlainText(text);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_Show10MBText)->Unit(benchmark::kMillisecond)->Iterations(2);

// The window's event loop for ms milliseconds, waiting as the program does.
void RunEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Buffers missing after the editor showed a 10 MB text during recording:
// from a moment of steady recording to 1.5 s after the editor is done, the
// wall time in 20 ms steps against the buffers that arrived.
void BM_RecordWhileShowing10MBText(benchmark::State& state)
{
    QtWaveInput input;
    if (!input.Open())
        return state.SkipWithError("no input device");
    int64_t buffers = 0;
    input.OnBuffer = [&](const uint8_t*, size_t) { ++buffers; };
    const QString& text = TenMegabyteText();
    TextEditor editor;
    if (!input.Start())
        return state.SkipWithError("the input device does not start");
    RunEvents(1000);
    double busyMs = 0, missing = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const int64_t before = buffers;
        editor.setPlainText(text);
        QApplication::processEvents();
        busyMs = double(clock.elapsed());
        RunEvents(1500);
        missing = std::max(missing, double(clock.elapsed()) / 20.0 - double(buffers - before));
    }
    input.Stop();
    state.counters["window_busy_ms"] = busyMs;
    state.counters["missing"] = missing;
}
BENCHMARK(BM_RecordWhileShowing10MBText)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
