#include "ui/notifyGroup.h"

#include <QCheckBox>
#include <QLabel>
#include <QSpinBox>

#include <algorithm>

namespace vantle {
namespace {

constexpr int BoxLeft = 144;
constexpr int BoxWidth = 42;
constexpr int Step = 56;

} // namespace

TnotifyGroup::TnotifyGroup(const TnotifySettings& settings, QWidget* parent)
    : QWidget(parent)
    , notifyCB(new QCheckBox(QStringLiteral("Tell me when I reach"), this))
    , shown_(settings) {
    setObjectName(QStringLiteral("notifyGroup"));
    notifyCB->setObjectName(QStringLiteral("notifyCB"));
    notifyCB->setGeometry(0, 2, BoxLeft - 4, 17);
    notifyCB->setChecked(settings.enabled);
    const std::array<int, 3> defaults{80, 90, 100};
    for (std::size_t i = 0; i < thresholdEdits.size(); ++i) {
        auto* edit = new QSpinBox(this);
        edit->setObjectName(QStringLiteral("thresholdEdit%1").arg(i + 1));
        edit->setRange(1, TnotifySettings::MaxThreshold);
        edit->setButtonSymbols(QAbstractSpinBox::NoButtons);
        edit->setAlignment(Qt::AlignRight);
        edit->setGeometry(BoxLeft + static_cast<int>(i) * Step, 0, BoxWidth, Height);
        shownValues_[i] = i < settings.thresholds.size() ? settings.thresholds[i] : defaults[i];
        edit->setValue(shownValues_[i]);
        edit->setEnabled(settings.enabled);
        connect(notifyCB, &QCheckBox::toggled, edit, &QWidget::setEnabled);
        auto* percent = new QLabel(QStringLiteral("%"), this);
        percent->setGeometry(BoxLeft + static_cast<int>(i) * Step + BoxWidth + 3, 4, 10, 13);
        thresholdEdits[i] = edit;
    }
    resize(BoxLeft + 2 * Step + BoxWidth + 14, Height);
}

TnotifySettings TnotifyGroup::settings() const {
    TnotifySettings settings = shown_;
    settings.enabled = notifyCB->isChecked();
    std::array<int, 3> values{};
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = thresholdEdits[i]->value();
    if (values != shownValues_) {
        std::vector<int> thresholds(values.begin(), values.end());
        std::sort(thresholds.begin(), thresholds.end());
        thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
        settings.thresholds = thresholds;
    }
    return settings;
}

} // namespace vantle
