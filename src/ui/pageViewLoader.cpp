// Loads the page view's module with QLibrary and asks it for views; the module is never
// unloaded, since its code runs for as long as any of its views lives.
#include "ui/pageViewLoader.h"

#include "lib/runtime/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

namespace vantle {

QStringList pageViewModulePaths() {
    const QDir folder(QCoreApplication::applicationDirPath());
    const QString file = QString::fromLatin1(PageViewModuleFile);
    return {folder.filePath(file),
            QDir::cleanPath(folder.filePath(QStringLiteral("../lib/vantle/") + file))};
}

std::unique_ptr<TpageView> createPageView(QWidget* parent, const QStringList& modulePaths) {
    QStringList failures;
    for (const QString& path : modulePaths) {
        QLibrary module(path);
        // Every symbol resolved now: a module that does not fit fails here, not mid-call.
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint | QLibrary::PreventUnloadHint);
        if (!module.load()) {
            failures << module.errorString();
            continue;
        }
        const auto factory =
            reinterpret_cast<TpageViewFactory>(module.resolve(PageViewFactorySymbol));
        if (!factory) {
            failures << module.errorString();
            continue;
        }
        return std::unique_ptr<TpageView>(factory(parent));
    }
    if (failures.isEmpty())
        failures
            << QStringLiteral("no place to look for %1").arg(QLatin1String(PageViewModuleFile));
    throw Error("The status page cannot be shown: " +
                failures.join(QStringLiteral("; ")).toStdString());
}

} // namespace vantle
