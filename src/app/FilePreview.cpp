#include "app/FilePreview.h"

FilePreview FilePreviewOf(const QString& caption, const QString& textList, const QString& htmlList)
{
    return FilePreviewOfName(caption.toStdString(), textList.toStdString(), htmlList.toStdString());
}
