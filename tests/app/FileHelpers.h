// Writing a file (with its folders) in the Qt tests.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

inline void Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
