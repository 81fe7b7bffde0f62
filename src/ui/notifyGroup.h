// The configuration dialog's notifications: "Tell me when I reach [80] % [90] % [100] %", the
// switch and three thresholds of the settings file's notifications section.
#pragma once

#include "config/notifySettings.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QSpinBox;

namespace vantle {

class TnotifyGroup : public QWidget {
    Q_OBJECT

public:
    static constexpr int Height = 21;

    explicit TnotifyGroup(const TnotifySettings& settings, QWidget* parent);

    // What the user set; thresholds set elsewhere (more or fewer than three) stay as they were
    // unless a box was changed.
    TnotifySettings settings() const;

    QCheckBox* notifyCB;
    std::array<QSpinBox*, 3> thresholdEdits{};

private:
    TnotifySettings shown_;
    std::array<int, 3> shownValues_{};
};

} // namespace vantle
