// Between the RTF model and a Qt text document: paragraphs become blocks
// (alignment, indents in pixels at 96 dpi, bullets as a disc list), runs
// become fragments (family, the font's character set as a property, size,
// style bits, colour).
#pragma once

#include "rtf/RtfDocument.h"

#include <QTextFormat>

class QTextDocument;

// Character property holding the RTF character set of the run's font.
constexpr int kCharsetProperty = QTextFormat::UserProperty + 1;

// Replaces the document's content by doc (one undo-free edit).
void LoadRtfDocument(const RtfDocument& doc, QTextDocument* document);
// The document's content as the model; a fragment without a character set
// property takes the character set of its family (CharsetOfFamily).
RtfDocument RtfDocumentOf(const QTextDocument* document);

// Twips <-> the document's pixels at 96 dots per inch (15 twips a pixel).
double PixelsOfTwips(int twips);
int TwipsOfPixels(double pixels);
