// The font faces of the screen for the RTF toolbar, each with the character
// set it is made for, and finding an installed face for a designed one.
#pragma once

#include <QMetaType>
#include <QString>

class QComboBox;

// What each entry of the font-name list carries: the face's character set.
struct TMyCharsetObject {
    quint8 Charset = 1;
};
Q_DECLARE_METATYPE(TMyCharsetObject)

// The RTF character set of a family by the writing systems it supports:
// 134 Simplified Chinese, 136 Traditional, 128 Japanese, 129 Korean,
// 2 symbol, else 0 (ANSI).
int CharsetOfFamily(const QString& family);

// Fills the list once, one entry per family, sorted by name; each entry's
// data is its TMyCharsetObject.
void FillFontList(QComboBox* list);
TMyCharsetObject CharsetObjectAt(const QComboBox* list, int index);

// face when it is installed, else the first installed family for Simplified
// Chinese (宋体 on a system without it), else face unchanged.
QString InstalledFace(const QString& face);
