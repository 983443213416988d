// The file-preview rule (search/FilePreviewList) on the window's texts.
#pragma once

#include <QString>

#include "search/FilePreviewList.h"

FilePreview FilePreviewOf(const QString& caption, const QString& textList, const QString& htmlList);
