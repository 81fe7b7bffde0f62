#include "ui/appIcon.h"

#include <QFileInfo>
#include <QString>

namespace vantle {

QIcon applicationIcon() {
    // fromTheme gives an icon even for a name the theme lacks; ask first.
    if (QIcon::hasThemeIcon(QStringLiteral("vantle")))
        return QIcon::fromTheme(QStringLiteral("vantle"));
    QIcon icon;
    // A program run from its build folder has no installed theme icon.
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(":/appicon/%1.png").arg(size);
        if (QFileInfo::exists(file))
            icon.addFile(file);
    }
    return icon;
}

} // namespace vantle
