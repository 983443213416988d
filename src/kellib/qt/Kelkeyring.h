// The desktop's Secret Service keyring (through QtKeychain) for the secrets
// of this settings store: entries of the service "Vaultleaf <settings folder>",
// so a test's or a second settings folder's entries never meet the user's.
// The keyring's jobs are asynchronous; every call here waits at most the
// keyring timeout for the answer, so a keyring that refuses, hangs or
// disappears only reads as unavailable.
#pragma once

#include <QString>

enum class KeyringAnswer { Found, Missing, Unavailable };

KeyringAnswer KeyringRead(const QString& key, QString& value);
bool KeyringWrite(const QString& key, const QString& value);
bool KeyringDelete(const QString& key);
QString KeyringService();
// Milliseconds to wait for the keyring (3000 unless set).
void SetKeyringTimeout(int ms);
