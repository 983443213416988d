// Settings store: named text values under one key per section.
//
// A key path such as "Software\Vaultleaf\Default" is one text file below the
// settings folder, one folder per root: machine/Software/Vaultleaf/Default.conf
// and user/... for the per-user root. The settings folder is
// $VAULTLEAF_CONFIG_HOME, else $XDG_CONFIG_HOME/Vaultleaf, else
// ~/.config/Vaultleaf. Every call reads or rewrites its file at once; a
// rewrite goes to a temporary file that is flushed and then renamed over the
// old one, so a crash leaves the old or the new file, never a mix.
//
// Reads never fail: a missing, unreadable or damaged file reads as empty
// values, so callers get their defaults. Writes return false on failure.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

enum class KelRoot {
    LocalMachine,   // the program's settings ("Software\<product>\<section>")
    CurrentUser,    // the two per-user keys of the options window
};

void SetProductKey(const QString& product);
QString ProductKey();
// The folder that holds both roots.
QString SettingsFolder();

QString ReadString(const QString& section, const QString& key);
bool WriteString(const QString& section, const QString& key, const QString& value);
// Empty: def; exactly "true": true; anything else: false.
bool ReadBool(const QString& section, const QString& key, bool def);
bool WriteBool(const QString& section, const QString& key, bool value);
// Signed decimal; def when empty, not a number or out of the 32-bit range.
int ReadInt(const QString& section, const QString& key, int def);
bool WriteInt(const QString& section, const QString& key, int value);

// Font record FontName, FontSize (points), FontColor, FontStyle (1 bold,
// 2 italic, 4 underline, 8 strike-out). No record: Arial, 9 points, black.
bool ReadFont(const QString& section, QFont& font, QColor& color);
bool WriteFont(const QString& section, const QFont& font, const QColor& color);

// Placement record in section caption + "-Pos": Left, Top, Width, Height of
// the normal bounds and WindowState (0 normal, 1 minimised, 2 maximised).
bool SavePlacement(QWidget* form);
// Restores it, keeping at least 100 pixels of the window on the screen; a
// stored minimised state restores a normal window.
bool RestorePlacement(QWidget* form);

QString RootReadString(KelRoot root, const QString& keyPath, const QString& name);
bool RootWriteString(KelRoot root, const QString& keyPath, const QString& name,
                     const QString& value);
// Removes the key's values; false when the key has sub-keys or cannot be removed.
bool RootDeleteKey(KelRoot root, const QString& keyPath);

// Colours are stored as platform colour numbers: 0x00BBGGRR, and system
// colours (high bit set, index in the low byte) as negative numbers.
int ColorToNumber(const QColor& color);
// A system colour maps to the application palette; an unknown one to fallback.
QColor NumberToColor(int number, const QColor& fallback);
