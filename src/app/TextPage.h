// The stored form of text on the text page: GB18030 bytes with CR LF line
// breaks, read up to the first zero byte. The editor holds the same text with
// LF breaks; saving writes it back without a terminating zero.
#pragma once

#include <QString>

#include <string>

#include "kellib/Kelcodepage.h"

// A file node's bytes are read as UTF-8 when they are valid UTF-8 and written
// back in the encoding they were read in; every other text is GB18030.
enum class TextEncoding { Ansi, Utf8 };
TextEncoding FileTextEncoding(const std::string& bytes);

// Stored bytes (up to the first zero) -> editor text.
QString StoredTextToEditor(const std::string& bytes, TextEncoding encoding = TextEncoding::Ansi);
// Editor text -> stored bytes, CR LF line breaks, no terminating zero. False
// (with the first character GB18030 cannot hold) when the text needs the
// database code page and does not fit it.
bool EditorTextToStored(const QString& text, std::string& stored, TextEncoding encoding = TextEncoding::Ansi,
                        UnencodableChar* failure = nullptr);

// The editor lays a paragraph out as a whole, and wrapping one without spaces
// takes time that grows with the square of its length: a text with lines
// longer than kLongLineLength characters is shown with each of those lines cut
// into pieces of kShownPieceLength characters, and cannot be changed there.
constexpr int kLongLineLength = 10000;
constexpr int kShownPieceLength = 1000;
// text with its lines longer than kLongLineLength cut into pieces (never
// inside a surrogate pair); empty when it has no such line.
QString PiecesOfLongLines(const QString& text);
