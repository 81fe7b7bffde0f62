// A notification area for tests: every request with a copy of its record goes into a list the
// test owns, so it outlives the component (whose destruction sends one more); the test sends
// the area's notifications itself.
#pragma once

#include "ui/trayBackend.h"

#include <QCoreApplication>

#include <cstdint>
#include <vector>

namespace vantle::test {

class TrecordingTrayBackend : public TtrayBackend {
public:
    struct Request {
        std::uint32_t message;
        TnotifyIconData data;
    };

    // What the component reads from the area; tests change them before acting.
    struct Settings {
        std::uint32_t version = 0x60000;
        bool mouseMoves = true;
        bool hosted = true;
        QMenu* menu = nullptr; // the last menu handed over
    };

    TrecordingTrayBackend(Settings& settings, std::vector<Request>& requests)
        : settings_(settings)
        , requests_(requests) {}

    bool notifyIcon(std::uint32_t message, const TnotifyIconData& data) override {
        requests_.push_back({message, data});
        return true;
    }
    std::uint32_t shellVersion() const override { return settings_.version; }
    bool sendsMouseMoves() const override { return settings_.mouseMoves; }
    void setMenu(QMenu* menu) override { settings_.menu = menu; }
    bool hosted() const override { return settings_.hosted; }

private:
    Settings& settings_;
    std::vector<Request>& requests_;
};

// Sends one window message to receiver as the area would, and returns the receiver's result.
inline std::intptr_t sendMessage(QObject* receiver, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) {
    TwindowMessage event(message, wParam, lParam);
    QCoreApplication::sendEvent(receiver, &event);
    return event.result;
}

} // namespace vantle::test
