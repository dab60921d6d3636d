// The splash window shown while the monitor connects: program name, version,
// maker, the settings in use and the progress of the first polling pass.
#ifndef RDXMON_WINDOWS_OPUNING_H
#define RDXMON_WINDOWS_OPUNING_H

#include <map>

#include <QWidget>

class QLabel;
class QProgressBar;

namespace rdxmon {

struct InitRecord;

class Opuning : public QWidget {
    Q_OBJECT
public:
    explicit Opuning(QWidget* parent = nullptr);

    // Label7(1) speed, Label7(2) port, Label7(3) number of recorders.
    void showSettings(const InitRecord& init);

    QLabel* lblSoftware;
    QLabel* lblVersion;
    QLabel* lblMaker;
    QLabel* lblWait;
    QLabel* piccorvex;
    QProgressBar* prgWait;
    QLabel* lblSpeedCaption;
    QLabel* lblPortCaption;
    QLabel* lblCountCaption;
    std::map<int, QLabel*> Label7;  // indexes 1..3
};

}  // namespace rdxmon

#endif
