// Points the settings store (and the XDG folders) into a test's own folder,
// so no test reads or writes the user's settings.
#pragma once

#include "kellib/qt/Kelregistry.h"

#include <QString>
#include <QtGlobal>

inline void UseSettingsIn(const QString& folder)
{
    qputenv("VAULTLEAF_CONFIG_HOME", folder.toUtf8() + "/config");
    qputenv("XDG_CONFIG_HOME", folder.toUtf8() + "/xdg");
    SetProductKey(QStringLiteral("Vaultleaf"));
}
