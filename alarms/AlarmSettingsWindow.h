// The alarm limits window (Setting > Alarm limits): the channels of the
// polled recorders on the left, the four limits of the one picked on the
// right (on, set point, deadband in the channel's unit, on-delay in
// seconds), the communication time-out below. OK stores (through store,
// which may refuse: the window then stays open); Cancel drops the changes.
#ifndef RDXALARM_ALARMSETTINGSWINDOW_H
#define RDXALARM_ALARMSETTINGSWINDOW_H

#include <array>
#include <functional>

#include <QDialog>

#include "AlarmSettings.h"
#include "startup/Services.h"
#include "startup/SharedState.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QSpinBox;

namespace rdxalarm {

class AlarmSettingsWindow : public QDialog {
    Q_OBJECT
public:
    using Store = std::function<bool(const AlarmSettings&)>;
    AlarmSettingsWindow(const rdxmon::SharedState& state, const AlarmSettings& settings, rdxmon::MessageBoxes& messages,
                        Store store, QWidget* parent = nullptr);

    // The settings as the window holds them (the picked channel's form
    // included); false, with the reason told, when a field does not read.
    bool collect(AlarmSettings* out);
    // Shows channel k's limits in the form.
    void pick(int channel);

    QListWidget* channels = nullptr;
    struct LimitRow {
        QCheckBox* on = nullptr;
        QLineEdit* setPoint = nullptr;
        QLineEdit* deadband = nullptr;
        QSpinBox* delay = nullptr;
    };
    std::array<LimitRow, kLimitCount> rows{};
    QSpinBox* timeout = nullptr;

    void accept() override;

private:
    // The form into edited_ for the picked channel; false when it does not read.
    bool takeForm();
    void showForm();
    void labelChannel(int row);

    const rdxmon::SharedState& state_;
    rdxmon::MessageBoxes& messages_;
    Store store_;
    AlarmSettings edited_;
    int picked_ = 0;
};

}  // namespace rdxalarm

#endif
