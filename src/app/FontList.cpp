#include "app/FontList.h"

#include <QComboBox>
#include <QFontDatabase>

int CharsetOfFamily(const QString& family) {
    const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(family);
    if (systems.contains(QFontDatabase::SimplifiedChinese)) return 134;
    if (systems.contains(QFontDatabase::TraditionalChinese)) return 136;
    if (systems.contains(QFontDatabase::Japanese)) return 128;
    if (systems.contains(QFontDatabase::Korean)) return 129;
    if (systems.contains(QFontDatabase::Symbol) && !systems.contains(QFontDatabase::Latin)) return 2;
    return 0;
}

void FillFontList(QComboBox* list) {
    QStringList families = QFontDatabase::families();
    families.removeDuplicates();
    families.sort(Qt::CaseInsensitive);
    for (const QString& family : families)
        list->addItem(family, QVariant::fromValue(TMyCharsetObject{quint8(CharsetOfFamily(family))}));
}

TMyCharsetObject CharsetObjectAt(const QComboBox* list, int index) {
    return list->itemData(index).value<TMyCharsetObject>();
}

QString InstalledFace(const QString& face) {
    const QStringList families = QFontDatabase::families();
    if (families.contains(face, Qt::CaseInsensitive))
        return face;
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? face : chinese.front();
}
