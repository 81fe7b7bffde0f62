#include "offscreenGui.h"

#include <QGuiApplication>

#include <cstdlib>

namespace vantle::ctl {
namespace {

int argc = 1;
char name[] = "vantlectl";
char* argv[] = {name, nullptr};

} // namespace

OffscreenGui::OffscreenGui() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    application_ = std::make_unique<QGuiApplication>(argc, argv);
}

OffscreenGui::~OffscreenGui() = default;

} // namespace vantle::ctl
