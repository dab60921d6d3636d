#include "windows/UpDown.h"

#include <algorithm>

#include <QLabel>
#include <QToolButton>

#include "startup/Lenient.h"

namespace rdxmon {

UpDown::UpDown(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this))
{
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    connect(up_, &QToolButton::clicked, this, [this] { stepUp(); });
    connect(down_, &QToolButton::clicked, this, [this] { stepDown(); });
}

void UpDown::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    value_ = std::clamp(value_, minimum_, maximum_);
}

void UpDown::setValue(int value)
{
    value_ = std::clamp(value, minimum_, maximum_);
}

void UpDown::step(int direction)
{
    int start = value_;
    if (buddy_) {
        // Count on from what the caption shows when it is a number in range.
        const int shown = lenientInt(buddy_->text());
        if (shown >= minimum_ && shown <= maximum_)
            start = shown;
    }
    const int next = std::clamp(start + direction * increment_, minimum_, maximum_);
    value_ = next;
    if (buddy_)
        buddy_->setText(QString::number(next));
    if (next != start)
        Q_EMIT valueChanged(next);
}

void UpDown::resizeEvent(QResizeEvent*)
{
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace rdxmon
