#include "windows/Opuning.h"

#include <QFont>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QProgressBar>

#include "startup/InitRecord.h"
#include "startup/Services.h"

namespace rdxmon {

namespace {

// The logo: a recorder's chart paper with a trace across it.
QPixmap drawLogo(int width, int height)
{
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, height);
    face.setColorAt(0, QColor(30, 70, 140));
    face.setColorAt(1, QColor(10, 30, 80));
    p.setBrush(face);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 8, 8);

    const QRectF chart(10, 10, width - 20, height - 34);
    p.setBrush(QColor(245, 245, 235));
    p.drawRect(chart);
    p.setPen(QPen(QColor(200, 120, 120), 1));
    for (int i = 1; i < 6; ++i) {
        const qreal x = chart.left() + chart.width() * i / 6;
        p.drawLine(QPointF(x, chart.top()), QPointF(x, chart.bottom()));
    }
    for (int i = 1; i < 4; ++i) {
        const qreal y = chart.top() + chart.height() * i / 4;
        p.drawLine(QPointF(chart.left(), y), QPointF(chart.right(), y));
    }
    QPainterPath trace;
    const qreal points[] = {0.55, 0.4, 0.62, 0.3, 0.45, 0.7, 0.5, 0.2, 0.35, 0.45};
    for (int i = 0; i < 10; ++i) {
        const QPointF point(chart.left() + chart.width() * i / 9, chart.top() + chart.height() * points[i]);
        if (i == 0)
            trace.moveTo(point);
        else
            trace.lineTo(point);
    }
    p.setPen(QPen(QColor(0, 90, 200), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);

    QFont font(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, height - 24, width, 22), Qt::AlignCenter, QStringLiteral("RDX-512"));
    return pixmap;
}

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

}  // namespace

Opuning::Opuning(QWidget* parent) : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowTitle(kProgramTitle);
    setFixedSize(480, 270);

    piccorvex = new QLabel(this);
    piccorvex->setGeometry(16, 16, 120, 100);
    piccorvex->setPixmap(drawLogo(120, 100));

    lblSoftware = label(this, QStringLiteral("RDX-512 Monitoring Software"), 150, 16, 320, 28);
    QFont big = lblSoftware->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    lblSoftware->setFont(big);
    lblVersion = label(this, QStringLiteral("RDXMON-1         V1.0.4"), 150, 50, 320, 20);
    lblMaker = label(this, QStringLiteral("Process recorder monitoring"), 150, 74, 320, 20);
    lblWait = label(this, QStringLiteral("Wait for a moment"), 150, 98, 320, 20);

    lblSpeedCaption = label(this, QStringLiteral("Communication speed"), 40, 134, 200, 20);
    lblPortCaption = label(this, QStringLiteral("Communication port"), 40, 158, 200, 20);
    lblCountCaption = label(this, QStringLiteral("Number of recorders"), 40, 182, 200, 20);
    for (int i = 1; i <= 3; ++i) {
        Label7[i] = label(this, QString(), 250, 134 + (i - 1) * 24, 120, 20);
        Label7[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }

    prgWait = new QProgressBar(this);
    prgWait->setGeometry(16, 222, 448, 22);
    prgWait->setMinimum(0);
    prgWait->setValue(0);
    prgWait->setTextVisible(false);
}

void Opuning::showSettings(const InitRecord& init)
{
    Label7[1]->setText(init.Speed);
    Label7[2]->setText(init.Port);
    Label7[3]->setText(init.RecCount);
}

}  // namespace rdxmon
