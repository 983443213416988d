// The whiteboard and sound recorder pages in the main window: new and stored
// pictures, the rubber bands and the eraser, clear, save as and the paste
// actions; recording, appending, playback, clear and the devices missing, on
// scripted sound devices.
#include "NodeTestWindow.h"
#include "ScriptedWaveDevices.h"

#include "app/CaseNodeData.h"
#include "app/DrawPage.h"
#include "app/WavePage.h"
#include "kellib/Kelbmp.h"
#include "kelwavecompress/KELSoundRecords.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>

#include <unistd.h>

namespace {

void mouse(QWidget* widget, QEvent::Type type, QPoint at)
{
    QMouseEvent e(type, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::LeftButton,
                  type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &e);
}

// Button down at the first point, moves through the others, up at the last.
void drag(QWidget* widget, std::initializer_list<QPoint> points)
{
    mouse(widget, QEvent::MouseButtonPress, *points.begin());
    for (QPoint p : points)
        mouse(widget, QEvent::MouseMove, p);
    mouse(widget, QEvent::MouseButtonRelease, *(points.end() - 1));
}

QImage white(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QImage pictureOfPayload(const std::string& payload)
{
    KELBitmap bmp;
    if (!ReadBmp(payload, bmp))
        return {};
    QImage image(bmp.width, bmp.height, QImage::Format_RGB32);
    for (int y = 0; y < bmp.height; ++y)
        for (int x = 0; x < bmp.width; ++x)
            image.setPixel(x, y, bmp.pixels[size_t(y * bmp.width + x)]);
    return image;
}

int nonWhite(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) != 0xFFFFFFFFu;
    return n;
}

std::string pcm(int buffers)
{
    std::string out;
    for (int i = 0; i < buffers * 160; ++i) {
        const auto v = int16_t((i * 131 % 4000 - 2000) * 4);
        out += std::string{char(v & 0xFF), char(v >> 8)};
    }
    return out;
}

} // namespace

class TestMediaPages : public QObject {
    Q_OBJECT

    std::unique_ptr<NodeTestWindow> w;
    DrawPage* draw = nullptr;
    WavePage* wave = nullptr;
    ScriptedWaveInput* input = nullptr;
    ScriptedWaveOutput* output = nullptr;

    template <typename T> T* child(const char* name) { return w->form->findChild<T*>(QLatin1String(name)); }
    QString text(const char* label) { return child<QLabel>(label)->text(); }
    ImageDraw* image() { return child<ImageDraw>("ImageDraw"); }
    void click(const char* button) { child<QAbstractButton>(button)->click(); }

    // Shows a new node of kind with payload.
    QTreeWidgetItem* show(int kind, const std::string& payload = {}, const char* caption = "页")
    {
        QTreeWidgetItem* item = w->item(w->addNode(0, caption, kind, payload));
        w->select(item);
        return item;
    }
    std::string saved(QTreeWidgetItem* item)
    {
        w->form->SaveCurrentNode(item, false);
        return w->stored(NodeDataOf(item).Id).DataBytes();
    }
    void useScriptedDevices()
    {
        auto in = std::make_unique<ScriptedWaveInput>();
        auto out = std::make_unique<ScriptedWaveOutput>();
        input = in.get();
        output = out.get();
        output->instant = true;
        wave->SetDevices(std::move(in), std::move(out));
    }

private slots:
    void init()
    {
        w = std::make_unique<NodeTestWindow>();
        draw = w->form->DrawPageView();
        wave = w->form->WavePageView();
        useScriptedDevices();
    }
    void cleanup() { w.reset(); }

    void controlsUnderTheirNames()
    {
        const char* tools[][2] = {{"ColorBoxDraw", "选择颜色"}, {"SBDrawPen", "铅笔"},   {"SBDrawLine", "画直线"},
                                  {"SBDrawEllipse", "画椭圆"}, {"SBDrawRubber", "橡皮"}, {"SBDrawPaste", "粘贴图像"},
                                  {"SBDrawClear", "全部清空"}, {"SBDrawSaveAs", "图片另存为..."}};
        for (auto& t : tools)
            QCOMPARE(child<QWidget>(t[0])->toolTip(), QString::fromUtf8(t[1]));
        QVERIFY(child<QAbstractButton>("SBDrawPen")->isChecked());
        QVERIFY(child<QWidget>("PanelDrawTools") && child<QScrollArea>("ScrollBoxDraw"));
        QCOMPARE(child<QWidget>("ScrollBarWaveProgress")->toolTip(), QStringLiteral("录音或播放进度"));
        const char* buttons[][2] = {{"SBWaveRecord", "录音"}, {"SBWavePlay", "播放"}, {"SBWavePause", "暂停"},
                                    {"SBWaveStop", "停止"},   {"SBWaveClear", "清空"}};
        for (auto& b : buttons)
            QCOMPARE(child<QAbstractButton>(b[0])->text(), QString::fromUtf8(b[1]));
        QVERIFY(child<QAction>("ActionPastePicture"));
    }

    // An empty payload is a white 600 x 400 picture; saved unchanged it is a BMP of that size.
    void newWhiteboardIsWhite600x400()
    {
        QTreeWidgetItem* item = show(kNodeWhiteboard);
        QVERIFY(w->form->Pages()->currentWidget() == child<QWidget>("TabSheetDraw"));
        QCOMPARE(image()->size(), QSize(600, 400));
        w->form->SetModified(true);
        QVERIFY(w->form->IsModified());
        const QImage stored = pictureOfPayload(saved(item));
        QCOMPARE(stored, white(600, 400));
        QVERIFY(!w->form->IsModified());
    }

    // Intermediate rubber bands leave no trace: what stays is the line from
    // the press to the release, as a plain line drawn there.
    void drawnLineLeavesExactlyOneLine()
    {
        show(kNodeWhiteboard);
        click("SBDrawLine");
        drag(image(), {{10, 10}, {200, 30}, {60, 150}, {120, 90}, {100, 40}});
        QImage expected = white(600, 400);
        QPainter p(&expected);
        p.setPen(QPen(Qt::black, 0));
        p.drawLine(QPoint(10, 10), QPoint(100, 40));
        p.end();
        QCOMPARE(image()->Picture(), expected);
        QVERIFY(w->form->IsModified());
    }

    void ellipseLeavesTheStrokesInsideIt()
    {
        show(kNodeWhiteboard);
        drag(image(), {{40, 50}, {60, 50}});   // the pen, a short stroke
        const QImage stroke = image()->Picture();
        click("SBDrawEllipse");
        drag(image(), {{5, 5}, {150, 150}, {20, 20}, {100, 100}});
        QImage expected = stroke;
        {
            QPainter p(&expected);
            p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
            p.setPen(QPen(Qt::black, 0));
            p.setBrush(Qt::white);
            p.drawEllipse(QRect(QPoint(5, 5), QPoint(100, 100)));
        }
        QCOMPARE(image()->Picture(), expected);
        for (int x = 40; x <= 60; ++x)
            QCOMPARE(image()->Picture().pixel(x, 50), 0xFF000000u);
    }

    // At the corner the part of the square inside the picture turns white;
    // after release no outline stays.
    void eraserAtTheEdgeLeavesNoOutline()
    {
        QImage black(50, 40, QImage::Format_RGB32);
        black.fill(Qt::black);
        show(kNodeWhiteboard, DrawPage::BmpOf(black));
        click("SBDrawRubber");
        drag(image(), {{20, 20}, {2, 2}});
        const QImage& picture = image()->Picture();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x) {
                const bool erased = (x < 7 && y < 7) || (x >= 15 && x < 25 && y >= 15 && y < 25);
                QCOMPARE(picture.pixel(x, y), erased ? 0xFFFFFFFFu : 0xFF000000u);
            }
    }

    // A payload that is no BMP: the message, read-only, nothing drawn or saved.
    void unreadablePictureIsReadOnly()
    {
        QTreeWidgetItem* item = show(kNodeWhiteboard, "BM not really a bitmap");
        QCOMPARE(w->responder.texts().last(), QStringLiteral("不能读入图片。"));
        QCOMPARE(w->responder.boxes.last().flags & 0xF0, int(MB_ICONERROR));
        QCOMPARE(w->form->Status()->PanelText(2), QStringLiteral("只读"));
        drag(image(), {{10, 10}, {30, 30}});
        QVERIFY(!w->form->IsModified());
        QCOMPARE(w->form->SaveCurrentNode(item, false), 0);
        QCOMPARE(w->stored(NodeDataOf(item).Id).DataBytes(), std::string("BM not really a bitmap"));
    }

    void clearAsksThenWhitensKeepingTheSize()
    {
        QImage black(30, 20, QImage::Format_RGB32);
        black.fill(Qt::black);
        show(kNodeWhiteboard, DrawPage::BmpOf(black));
        w->responder.answers << IDCANCEL << IDOK;
        click("SBDrawClear");
        QCOMPARE(nonWhite(image()->Picture()), 600);
        click("SBDrawClear");
        QCOMPARE(w->responder.texts().last(), QStringLiteral("确认要清空当前的图像吗？"));
        QCOMPARE(w->responder.boxes.last().flags, int(MB_OKCANCEL | MB_ICONQUESTION));
        QCOMPARE(image()->Picture(), white(30, 20));
        QVERIFY(w->form->IsModified());
    }

    void saveAsWritesABmpFile()
    {
        show(kNodeWhiteboard);
        drag(image(), {{1, 1}, {20, 20}});
        const QString path = w->dir.path() + QStringLiteral("/picture.bmp");
        w->responder.files << path;
        click("SBDrawSaveAs");
        QCOMPARE(w->responder.fileRequests.last().filter, QStringLiteral("位图文件(*.BMP)|*.BMP"));
        QVERIFY(w->responder.fileRequests.last().save);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(pictureOfPayload(file.readAll().toStdString()), image()->Picture());
    }

    // A larger clipboard picture enlarges the surface and the box scrolls;
    // paste as whiteboard makes a node of it, and nothing without a selection.
    void pasteActions()
    {
        show(kNodeWhiteboard);
        QApplication::clipboard()->clear();
        w->form->UpdateActions();
        QVERIFY(!w->form->ActionPastePicture->isEnabled());
        QVERIFY(!w->form->ActionPasteAsWhiteBoard->isEnabled());
        QImage big(900, 700, QImage::Format_RGB32);
        big.fill(Qt::blue);
        QApplication::clipboard()->setImage(big);
        w->form->UpdateActions();
        QVERIFY(w->form->ActionPastePicture->isEnabled());
        w->form->ActionPastePicture->trigger();
        QCOMPARE(image()->size(), QSize(900, 700));
        auto* box = child<QScrollArea>("ScrollBoxDraw");
        box->resize(300, 200);
        QVERIFY(box->horizontalScrollBar()->maximum() > 0 && box->verticalScrollBar()->maximum() > 0);

        QVERIFY(w->form->ActionPasteAsWhiteBoard->isEnabled());
        QTreeWidgetItem* parent = w->form->NavTree()->currentItem();
        const int before = parent->childCount();
        w->form->ActionPasteAsWhiteBoard->trigger();
        QCOMPARE(parent->childCount(), before + 1);
        const CaseNode made = w->stored(NodeDataOf(parent->child(before)).Id);
        QCOMPARE(int(made.Type), int(kNodeWhiteboard));
        QCOMPARE(made.Caption, Utf8ToAnsi("请输入标题"));
        QCOMPARE(pictureOfPayload(made.DataBytes()), big);

        w->form->NavTree()->setCurrentItem(nullptr);
        const int nodes = int(w->db().AllNodeIds().size());
        w->form->ActionPasteAsWhiteBoard->trigger();
        QCOMPARE(int(w->db().AllNodeIds().size()), nodes);
    }

    // One second of recording is 50 records, 1900 bytes; recording again appends.
    void recordingOneSecondThenAppending()
    {
        QTreeWidgetItem* item = show(kNodeSound);
        QVERIFY(w->form->Pages()->currentWidget() == child<QWidget>("TabSheetWave"));
        QCOMPARE(text("PanelWaveStatus"), QStringLiteral("等待命令"));
        click("SBWaveRecord");
        QCOMPARE(text("PanelWaveStatus"), QStringLiteral("正在录音..."));
        QVERIFY(!child<QWidget>("SBWavePlay")->isEnabled() && child<QWidget>("SBWaveStop")->isEnabled());
        const std::string second = pcm(50);
        input->Feed(second, 50);
        click("SBWaveStop");
        QVERIFY(!input->running);
        QCOMPARE(text("PanelWaveSize"), QStringLiteral("声音数据共：1 KB"));
        QCOMPARE(text("PanelWaveStatus"), QStringLiteral("等待命令"));
        QVERIFY(w->form->IsModified());
        const std::string first = saved(item);
        KELWaveCompress codec;
        QCOMPARE(first.size(), size_t(1900));
        QVERIFY(first == EncodeSoundRecords(codec, second));

        w->select(w->top());   // shown again from the stored payload
        w->select(item);
        click("SBWaveRecord");
        input->Feed(second, 50);
        click("SBWaveStop");
        const std::string both = saved(item);
        QCOMPARE(both.size(), size_t(3800));
        QVERIFY(both.substr(0, 1900) == first);
    }

    void playbackPlaysEveryRecordAndPausesAndStops()
    {
        KELWaveCompress codec;
        const std::string records = EncodeSoundRecords(codec, pcm(150));
        show(kNodeSound, records);
        click("SBWavePlay");
        QCOMPARE(output->written.size(), size_t(150));
        QCOMPARE(text("PanelWaveStatus"), QStringLiteral("等待命令"));

        // Buffers that never finish playing: the page waits inside Play, and
        // pause, continue and stop act from there.
        output->written.clear();
        output->instant = false;
        QString pausedCaption, resumedCaption, status;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (output->written.size() < size_t(kWaveOutBuffers) || !status.isEmpty())
                return;   // not yet waiting for a free buffer
            status = text("PanelWaveStatus");
            click("SBWavePause");
            pausedCaption = child<QAbstractButton>("SBWavePause")->text();
            click("SBWavePause");
            resumedCaption = child<QAbstractButton>("SBWavePause")->text();
            click("SBWaveStop");
        });
        poll.start(5);
        click("SBWavePlay");
        QCOMPARE(status, QStringLiteral("正在播放..."));
        QCOMPARE(pausedCaption, QStringLiteral("继续"));
        QCOMPARE(resumedCaption, QStringLiteral("暂停"));
        QCOMPARE(output->written.size(), size_t(kWaveOutBuffers));
        QVERIFY(child<QAbstractButton>("SBWaveStop")->isChecked());
    }

    void clearThenPlayShowsTheNoDataMessage()
    {
        KELWaveCompress codec;
        show(kNodeSound, EncodeSoundRecords(codec, pcm(10)));
        w->responder.answers << IDOK;
        click("SBWaveClear");
        QCOMPARE(w->responder.texts().last(), QStringLiteral("确认要清空当前的录音数据吗？"));
        QVERIFY(w->form->IsModified());
        click("SBWavePlay");
        QCOMPARE(w->responder.texts().last(), QStringLiteral("没有录音数据可以播放，请先录音。"));
        QCOMPARE(w->responder.boxes.last().flags & 0xF0, int(MB_ICONINFORMATION));
        QVERIFY(output->written.empty());
        QVERIFY(child<QAbstractButton>("SBWaveStop")->isChecked());
    }

    void missingDevicesAreReported()
    {
        KELWaveCompress codec;
        show(kNodeSound, EncodeSoundRecords(codec, pcm(10)));
        auto in = std::make_unique<ScriptedWaveInput>();
        auto out = std::make_unique<ScriptedWaveOutput>();
        in->available = false;
        out->available = false;
        wave->SetDevices(std::move(in), std::move(out));
        click("SBWaveRecord");
        QCOMPARE(w->responder.texts().last(), QStringLiteral("不能进行录音，可能有其它程序正在录音。"));
        QCOMPARE(w->responder.boxes.last().flags & 0xF0, int(MB_ICONERROR));
        QCOMPARE(text("PanelWaveStatus"), QStringLiteral("等待命令"));
        click("SBWavePlay");
        QCOMPARE(w->responder.boxes.size(), 2);
        QCOMPARE(text("PanelWaveStatus"), QStringLiteral("等待命令"));
    }

    // Selecting another node while recording offers to save what was recorded,
    // then stops the recording and empties the work file.
    void anotherNodeWhileRecordingSavesThenStops()
    {
        const int32_t soundId = w->addNode(0, "声音", kNodeSound);
        const int32_t otherId = w->addNode(0, "文字", kNodeText, "x");
        QTreeWidgetItem* sound = w->item(soundId);
        QTreeWidgetItem* other = w->item(otherId);
        w->select(sound);
        click("SBWaveRecord");
        input->Feed(pcm(50), 50);
        w->responder.answers << IDYES;
        w->select(other);
        QCOMPARE(w->responder.texts().last(),
                 QStringLiteral("您已经修改了\"声音\"的内容，要保存吗？"));
        QCOMPARE(w->stored(NodeDataOf(sound).Id).DataBytes().size(), size_t(1900));
        QVERIFY(!input->running);
        std::string rest;
        QVERIFY(wave->Save(rest));
        QVERIFY(rest.empty());

        // The work file lives in the private folder and goes when the window closes.
        const std::string workFile = SoundWorkFilePath(PrivateWorkFolder());
        QCOMPARE(access(workFile.c_str(), F_OK), 0);
        w->form->close();
        QVERIFY(access(workFile.c_str(), F_OK) != 0);
    }
};

QTEST_MAIN(TestMediaPages)
#include "tst_mediapages.moc"
