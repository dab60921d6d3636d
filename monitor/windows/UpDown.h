// An up-down control: two small arrow buttons that step a number between a
// minimum and a maximum. With a buddy label, every step writes the new value
// into the label's caption, and the next step starts from the number the
// caption shows (so a caption set by the program is where counting goes on).
#ifndef RDXMON_WINDOWS_UPDOWN_H
#define RDXMON_WINDOWS_UPDOWN_H

#include <QWidget>

class QLabel;
class QToolButton;

namespace rdxmon {

class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void setIncrement(int increment) { increment_ = increment; }
    int increment() const { return increment_; }
    // Clamped into the range; does not touch the buddy.
    void setValue(int value);
    int value() const { return value_; }
    void setBuddy(QLabel* buddy) { buddy_ = buddy; }
    QLabel* buddy() const { return buddy_; }

    // One step up or down, as a click on the arrow does.
    void stepUp() { step(+1); }
    void stepDown() { step(-1); }

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

Q_SIGNALS:
    void valueChanged(int value);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void step(int direction);

    QToolButton* up_;
    QToolButton* down_;
    QLabel* buddy_ = nullptr;
    int minimum_ = 0;
    int maximum_ = 10;
    int increment_ = 1;
    int value_ = 0;
};

}  // namespace rdxmon

#endif
