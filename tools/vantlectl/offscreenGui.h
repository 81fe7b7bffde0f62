// The Qt application that drawing needs, on the offscreen platform, so no display is needed.
#pragma once

#include <memory>

class QGuiApplication;

namespace vantle::ctl {

class OffscreenGui {
public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui&) = delete;
    OffscreenGui& operator=(const OffscreenGui&) = delete;

private:
    std::unique_ptr<QGuiApplication> application_;
};

} // namespace vantle::ctl
