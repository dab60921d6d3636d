#include "windows/frmAbout.h"

#include "startup/ProgramFolder.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

// The icon lives in a resource of this static library; registering it by
// hand keeps the linker from dropping it.
static void registerAboutResources()
{
    Q_INIT_RESOURCE(about);
}

namespace rdxmon {

namespace {

// Two lines lying together, grey (128, 128, 128) above white: the etched
// look of a separator on a light window.
class EtchedLine : public QFrame {
public:
    explicit EtchedLine(QWidget* parent) : QFrame(parent) { setFixedHeight(2); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(QColor(128, 128, 128));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(QColor(255, 255, 255));
        painter.drawLine(0, 1, width() - 1, 1);
    }
};

}  // namespace

QIcon ProgramIcon()
{
    registerAboutResources();
    return QIcon(QStringLiteral(":/rdxmon/rdxmon.png"));
}

frmAbout::frmAbout(QWidget* parent, const QString& filesFolder)
    : QDialog(parent), lblTitle(new QLabel(QStringLiteral("RDX-512 monitor software"), this)),
      Lbl_Type(new QLabel(QStringLiteral("RDXMON-1"), this)),
      lblVersion(new QLabel(QStringLiteral("Version 1.0.4"), this)),
      lblDescription(new QLabel(QStringLiteral("Copyright (C) 2026. All rights reserved."), this)),
      lblFolder(new QLabel(filesFolder.isEmpty() ? QString() : filesFolderText(filesFolder), this)),
      Image1(new QLabel(this)), Line1(new EtchedLine(this)), cmdOK(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Version information"));
    setWindowIcon(ProgramIcon());
    setModal(true);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    Lbl_Type->setObjectName(QStringLiteral("Lbl_Type"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblFolder->setObjectName(QStringLiteral("lblFolder"));
    lblFolder->setTextFormat(Qt::PlainText);
    lblFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblFolder->setVisible(!filesFolder.isEmpty());
    Image1->setObjectName(QStringLiteral("Image1"));
    Line1->setObjectName(QStringLiteral("Line1"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));

    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);
    Image1->setPixmap(ProgramIcon().pixmap(64, 64));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(Lbl_Type);
    texts->addWidget(lblVersion);
    texts->addWidget(lblFolder);
    texts->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addSpacing(12);
    top->addLayout(texts, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDescription, 1);
    bottom->addSpacing(12);
    bottom->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(Line1);
    layout->addSpacing(8);
    layout->addLayout(bottom);
    setFixedSize(sizeHint());
}

void ShowVersionInformation(QWidget* parent, const QString& filesFolder)
{
    frmAbout window(parent, filesFolder);
    window.exec();
}

}  // namespace rdxmon
