#include "ui/appIcon.h"

#include <QFileInfo>
#include <QString>

namespace vantle {

QIcon applicationIcon() {
    QIcon icon = QIcon::fromTheme(QStringLiteral("vantle"));
    if (!icon.isNull())
        return icon;
    // A program run from its build folder has no installed theme icon.
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/appicon/%1.png").arg(size);
        if (QFileInfo::exists(file))
            icon.addFile(file);
    }
    return icon;
}

} // namespace vantle
