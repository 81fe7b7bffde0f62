// Page views from the browser engine's module, which is loaded on the first request and then
// stays for the rest of the program.
#pragma once

#include "ui/pageView.h"

#include <QStringList>

#include <memory>

class QWidget;

namespace vantle {

inline constexpr char PageViewModuleFile[] = "vantle-pageview.so";

// Where the module is looked for, in order: beside the program, then in ../lib/vantle/ of an
// installed layout.
QStringList pageViewModulePaths();

// A new view in the parent, made by the first of the modules that loads. Raises Error with the
// loader's message for each path, which names it, when none does.
std::unique_ptr<TpageView> createPageView(QWidget* parent,
                                          const QStringList& modulePaths = pageViewModulePaths());

} // namespace vantle
