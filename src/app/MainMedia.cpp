// TFormMain: the whiteboard page (DrawPage) and the sound recorder page
// (WavePage) in their tab sheets, their paste actions, and loading a node
// into them.
#include "app/Main.h"

#include "app/CaseNodeData.h"
#include "app/DrawPage.h"
#include "app/WavePage.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLayout>
#include <QMimeData>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

bool ClipboardHasImage()
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasImage();
}

} // namespace

void TFormMain::CreateMediaPages()
{
    ActionPastePicture = MakeAction("ActionPastePicture", QStringLiteral("粘贴图像"), -1);
    drawPage_ = new DrawPage(ActionPastePicture);
    drawPage_->SetNewSize(whiteBoardWidth_, whiteBoardHeight_);
    PageOfKind(kNodeWhiteboard)->layout()->addWidget(drawPage_);
    wavePage_ = new WavePage;
    PageOfKind(kNodeSound)->layout()->addWidget(wavePage_);

    SetUpdateRule(ActionPastePicture, ClipboardHasImage);
    SetUpdateRule(ActionPasteAsWhiteBoard, [this] { return db_.IsOpen() && ClipboardHasImage(); });
    connect(ActionPastePicture, &QAction::triggered, this, [this] {
        drawPage_->PastePicture(QApplication::clipboard()->image());
        ShowModifiedMark();
    });
    connect(ActionPasteAsWhiteBoard, &QAction::triggered, this, &TFormMain::ActionPasteAsWhiteBoardExecute);
}

// Kinds 7 and 8: the payload into the page; false when it could not be shown.
bool TFormMain::LoadMediaPage(int kind, const CaseNode& node)
{
    if (kind == kNodeWhiteboard) {
        drawPage_->SetNewSize(whiteBoardWidth_, whiteBoardHeight_);
        const bool loaded = drawPage_->Load(node.DataBytes());
        drawPage_->SetReadOnly(!loaded);
        return loaded;
    }
    return wavePage_->Load(node.DataBytes());
}

void TFormMain::ActionPasteAsWhiteBoardExecute()
{
    QTreeWidgetItem* parent = TVNav->currentItem();
    const QImage image = QApplication::clipboard()->image();
    if (!parent || image.isNull())
        return;
    CreateNode(parent, QStringLiteral("请输入标题"), true, true, 50, kNodeWhiteboard, DrawPage::BmpOf(image));
}
