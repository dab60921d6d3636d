#include "windows/MainDisp.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include "names/ChannelNames.h"
#include "names/frmDVN.h"
#include "polling/Reply.h"
#include "rdx5Comm3.h"
#include "startup/Lenient.h"
#include "startup/PortChoice.h"
#include "startup/ProgramFolder.h"
#include "startup/SettingsFile.h"
#include "windows/Layout.h"
#include "windows/Opuning.h"
#include "windows/UpDown.h"
#include "windows/frmAbout.h"

namespace rdxmon {

namespace {

const QString kHeading = QStringLiteral("No.    Name                                        PV");
const QString kExitQuestion = QStringLiteral("Monitoring software will be closed. Is this OK?");
const QString kRestartMessage
    = QStringLiteral("If communication settings have been changed, close monitor software and restart.");
const QString kStoppedMessage = QStringLiteral("Logging is stopped now.");

void place(QWidget* widget, const layout::Rect& r)
{
    widget->setGeometry(r.x, r.y, r.width, r.height);
}

// Fits a text into exactly four characters: cut, or blank padded.
QString fitFour(const QString& text)
{
    return text.left(4).leftJustified(4, QLatin1Char(' '));
}

// Selects the list entry matching the text (blanks around ignored); a value
// the list does not hold is added, so storing it again keeps it unchanged.
void selectText(QComboBox* combo, const QString& text)
{
    const QString wanted = text.trimmed();
    int index = combo->findText(wanted);
    if (index < 0 && !wanted.isEmpty()) {
        combo->addItem(wanted);
        index = combo->count() - 1;
    }
    if (index >= 0)
        combo->setCurrentIndex(index);
}

}  // namespace

MainDisp::MainDisp(SharedState& state, Services& services, QWidget* parent)
    : QMainWindow(parent), state_(state), services_(services), poll_(state, *this, &services.clock),
      printerSelection_(printers_, services.messages), printout_(services.messages),
      help_(HelpFileName(programFolder()), services.messages)
{
    setWindowTitle(kProgramTitle);
    QFont font = this->font();
    font.setPixelSize(12);
    setFont(font);
    setCentralWidget(new QWidget(this));

    tmrLogitv.setInterval(200);

    buildMenus();
    buildGrid();
    // The layout follows the count this run polls, fixed at start-up.
    const int recorders = state_.gRecTotal;
    const int clientHeight = layout::windowHeightPixels(recorders) - menuBar()->sizeHint().height();
    buildLoggingBlock(clientHeight);
    buildCommPanel();

    // The lost-line notice, right of the logging options above lblMsg.
    const layout::Rect msg = layout::loggingBlock().lblMsg;
    constexpr int kLineWidth = 172;
    lblLine = new QLabel(loggingBlock);
    place(lblLine, {msg.x + msg.width - kLineWidth, 0, kLineWidth, msg.y - 6});
    lblLine->setWordWrap(true);
    lblLine->setAlignment(Qt::AlignCenter);
    QPalette linePalette = lblLine->palette();
    linePalette.setColor(QPalette::WindowText, Qt::red);
    lblLine->setPalette(linePalette);
    lblLine->hide();

    // 1. The communication panel. The port in use stays for the run.
    runPort_ = state_.gInit.Port.trimmed();
    runPorts_ = PortRule::takenFrom(state_.programFolder);
    selectText(Combo2, state_.gInit.Speed);
    selectText(Combo1, state_.gInit.Port);
    fillDeviceList();
    lblCh->setText(state_.gInit.RecCount);
    // 2. to 4. The logging controls from the settings, then the resume of a
    // logging run that was going on when the program ended.
    LoggingWidgets widgets;
    widgets.lblLogitv = lblLogitv;
    widgets.updLogtitv = updLogtitv;
    widgets.optTime1 = optTime1;
    widgets.optTime2 = optTime2;
    widgets.optName1 = optName1;
    widgets.optName2 = optName2;
    widgets.cmdRUN = cmdRUN;
    widgets.cmdStop = cmdStop;
    widgets.lblMsg = lblMsg;
    widgets.tmrLogitv = &tmrLogitv;
    widgets.mnuLogName = mnuLogName;
    widgets.cmdMLog = cmdMLog;
    logging_ = std::make_unique<LoggingControls>(widgets, state_, services_, *this, [this] {
        if (parts_.saveNames)
            return parts_.saveNames();
        QString error;
        if (saveChannelNames(state_.programFolder, state_.gChannel, &error))
            return true;
        services_.messages.information(error);
        return false;
    });
    logging_->restoreAndResume(state_.gInit);
    // 5. Page 0, frames of the channels in use.
    mPage_ = 0;
    const int channels = lenientInt(state_.gChTotal);
    for (int i = 0; i < pages::kChannelsPerPage; ++i)
        frmM[i]->setVisible(layout::frameVisible(channels, 0, i));
    // 6. Layout by the number of recorders.
    for (int h = 0; h < 3; ++h)
        Label1[h]->setVisible(layout::headingVisible(recorders, 0, h));
    DVsele1->setVisible(layout::pageButtonVisible(recorders, 0));
    DVsele2->setVisible(layout::pageButtonVisible(recorders, 1));
    DVsele3->setVisible(layout::pageButtonVisible(recorders, 2));
    for (int p = 0; p < 3; ++p) {
        place(p == 0 ? DVsele1 : p == 1 ? DVsele2 : DVsele3, layout::pageButtonRect(p, clientHeight));
    }
    setFixedSize(layout::windowWidthPixels(recorders), layout::windowHeightPixels(recorders));
    // 7. The help file beside the program (not in the folder of the files).
    mHelpFile = help_.helpFile();
    setWindowIcon(ProgramIcon());
    // The value labels tell in their tooltips why they are empty or grey.
    poll_.addListener(this);
    showValueTips();
}

MainDisp::~MainDisp() = default;

void MainDisp::buildMenus()
{
    auto add = [this](QMenu* menu, const QString& caption, auto handler) {
        QAction* action = menu->addAction(caption);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    auto hook = [](const std::function<void()>& f) {
        if (f)
            f();
    };
    mnuFI = menuBar()->addMenu(QStringLiteral("File(&F)"));
    // The logging controls connect mnuLogName themselves.
    mnuLogName = mnuFI->addAction(QStringLiteral("Logging file name setting(&L)"));
    mnuFI->addSeparator();  // mnuStep1
    priterselect
        = add(mnuFI, QStringLiteral("Printer selection(&S)"), [this] { printerSelection_.priterselect(this); });
    mnuPrint = add(mnuFI, QStringLiteral("Printout(&P)"),
                   [this] { printout_.mnuPrint(this, printerSelection_.currentPrinter()); });
    mnuFI->addSeparator();  // mnuStep3
    mnuEnd = add(mnuFI, QStringLiteral("eXit(&X)"), [this] { mnuEnd_Click(); });

    mnuOther = menuBar()->addMenu(QStringLiteral("Setting(&S)"));
    mnuChName = add(mnuOther, QStringLiteral("chaNnel name register(&N)"), [this, hook] { hook(parts_.channelNames); });
    mnuOther->addSeparator();  // ms
    mnuComPort = add(mnuOther, QStringLiteral("Communication setting(&C)"), [this] { mnuComPort_Click(); });
    dns = add(mnuOther, QStringLiteral("Recorder address setting(&R)"), [this] { dns_Click(); });

    mnuHel = menuBar()->addMenu(QStringLiteral("Help(&H)"));
    mnuHelp = add(mnuHel, QStringLiteral("Help(&H)"), [this] { help_.showHelp(); });
    mnuHel->addSeparator();  // mnuStep6
    mnuHelpVer = add(mnuHel, QStringLiteral("Version information(&V)"),
                     [this] { ShowVersionInformation(this, state_.programFolder); });
}

void MainDisp::buildGrid()
{
    QWidget* client = centralWidget();
    for (int h = 0; h < 3; ++h) {
        Label1[h] = new QLabel(kHeading, client);
        place(Label1[h], layout::headingRect(h));
    }
    const QFont valueFont = [this] {
        QFont f = font();
        f.setBold(true);
        return f;
    }();
    const QFont nameFont = channelNameFont(font(), layout::nameLabelRect().width);
    for (int i = 0; i < pages::kChannelsPerPage; ++i) {
        auto* frame = new QFrame(client);
        place(frame, layout::frameRect(i));
        frmM[i] = frame;

        cmdMLog[i] = new QPushButton(frame);
        place(cmdMLog[i], layout::channelButtonRect());
        cmdMLog[i]->setText(format00(i / 6 + 1) + QStringLiteral("-%1").arg(i % 6 + 1));
        cmdMLog[i]->setFocusPolicy(Qt::NoFocus);

        lblDevname[i] = new QLabel(frame);
        place(lblDevname[i], layout::nameLabelRect());
        lblDevname[i]->setFont(nameFont);

        // Empty until the channel has had a reading.
        lblPv[i] = new QLabel(frame);
        place(lblPv[i], layout::valueLabelRect());
        lblPv[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        lblPv[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        lblPv[i]->setAutoFillBackground(true);
        QPalette palette = lblPv[i]->palette();
        palette.setColor(QPalette::Window, Qt::white);
        lblPv[i]->setPalette(palette);
        lblPv[i]->setFont(valueFont);
    }

    DVsele1 = new QPushButton(QStringLiteral("01 to 12"), client);
    DVsele2 = new QPushButton(QStringLiteral("13 to 24"), client);
    DVsele3 = new QPushButton(QStringLiteral("25 to 31"), client);
    connect(DVsele1, &QPushButton::clicked, this, [this] { DVsele1_Click(); });
    connect(DVsele2, &QPushButton::clicked, this, [this] { DVsele2_Click(); });
    connect(DVsele3, &QPushButton::clicked, this, [this] { DVsele3_Click(); });
}

void MainDisp::buildLoggingBlock(int clientHeight)
{
    loggingBlock = new QWidget(centralWidget());
    place(loggingBlock, layout::loggingBlockRect(clientHeight));
    const layout::LoggingBlock g = layout::loggingBlock();

    lblChartSpeed = new QLabel(QStringLiteral("Sampling cycle"), loggingBlock);
    place(lblChartSpeed, g.lblChartSpeed);
    lblLogitv = new QLabel(QStringLiteral("60"), loggingBlock);
    place(lblLogitv, g.lblLogitv);
    lblLogitv->setAlignment(Qt::AlignCenter);
    lblLogitv->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    updLogtitv = new UpDown(loggingBlock);
    place(updLogtitv, g.updLogtitv);
    updLogtitv->setRange(1, 60);
    updLogtitv->setIncrement(1);
    updLogtitv->setValue(60);
    updLogtitv->setBuddy(lblLogitv);

    optTime1 = new QRadioButton(QStringLiteral("Sec"), loggingBlock);
    place(optTime1, g.optTime1);
    optTime2 = new QRadioButton(QStringLiteral("Min"), loggingBlock);
    place(optTime2, g.optTime2);
    auto* unitGroup = new QButtonGroup(loggingBlock);
    unitGroup->addButton(optTime1);
    unitGroup->addButton(optTime2);

    optName1 = new QRadioButton(QStringLiteral("User select file"), loggingBlock);
    place(optName1, g.optName1);
    optName2 = new QRadioButton(QStringLiteral("Default file"), loggingBlock);
    place(optName2, g.optName2);
    auto* nameGroup = new QButtonGroup(loggingBlock);
    nameGroup->addButton(optName1);
    nameGroup->addButton(optName2);

    cmdRUN = new QPushButton(QStringLiteral("START"), loggingBlock);
    place(cmdRUN, g.cmdRUN);
    cmdStop = new QPushButton(QStringLiteral("STOP"), loggingBlock);
    place(cmdStop, g.cmdStop);

    lblMsg = new QLabel(kStoppedMessage, loggingBlock);
    place(lblMsg, g.lblMsg);
    lblMsg->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    lblMsg->setAlignment(Qt::AlignCenter);
    lblMsg->setAutoFillBackground(true);
    QPalette palette = lblMsg->palette();
    palette.setColor(QPalette::Window, Qt::white);
    lblMsg->setPalette(palette);
}

void MainDisp::buildCommPanel()
{
    frmCommInit = new QGroupBox(QStringLiteral("Communication port selection"), centralWidget());
    place(frmCommInit, layout::commPanelRect());
    frmCommInit->setAutoFillBackground(true);
    const layout::CommPanel g = layout::commPanel();

    Label2[20] = new QLabel(QStringLiteral("Communication port"), frmCommInit);
    place(Label2[20], g.portCaption);
    Combo1 = new QComboBox(frmCommInit);
    place(Combo1, g.Combo1);
    for (int n = 1; n <= 8; ++n)
        Combo1->addItem(QStringLiteral("COM%1").arg(n));

    Label2[21] = new QLabel(QStringLiteral("Device"), frmCommInit);
    place(Label2[21], g.deviceCaption);
    Combo3 = new QComboBox(frmCommInit);
    place(Combo3, g.Combo3);
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { fillDeviceList(); });
    connect(Combo3, &QComboBox::currentIndexChanged, this, [this] { Combo3->setToolTip(Combo3->currentText()); });

    Label2[19] = new QLabel(QStringLiteral("Communication speed(bps)"), frmCommInit);
    place(Label2[19], g.speedCaption);
    Combo2 = new QComboBox(frmCommInit);
    place(Combo2, g.Combo2);
    Combo2->addItems({QStringLiteral("9600"), QStringLiteral("4800"), QStringLiteral("2400")});

    Label2[0] = new QLabel(QStringLiteral("Number of recorders"), frmCommInit);
    place(Label2[0], g.countCaption);
    lblCh = new QLabel(QStringLiteral("1"), frmCommInit);
    place(lblCh, g.lblCh);
    lblCh->setAlignment(Qt::AlignCenter);
    lblCh->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    updCh = new UpDown(frmCommInit);
    place(updCh, g.updCh);
    updCh->setRange(1, 31);
    updCh->setIncrement(1);
    updCh->setBuddy(lblCh);

    cmdCommOK = new QPushButton(QStringLiteral("OK"), frmCommInit);
    place(cmdCommOK, g.cmdCommOK);
    connect(cmdCommOK, &QPushButton::clicked, this, [this] { cmdCommOK_Click(); });

    frmCommInit->hide();
}

void MainDisp::fillDeviceList()
{
    const int port = portNumber(Combo1->currentText());
    const QString chosen = readPortChoices(state_.programFolder)[port];
    const QSignalBlocker block(Combo3);
    Combo3->clear();
    if (port == 0) {
        Combo3->addItem(QStringLiteral("No device for %1").arg(Combo1->currentText()), QString());
        return;
    }
    Combo3->addItem(
        QStringLiteral("COM%1 link or default (%2)").arg(port).arg(linkRulePath(state_.programFolder, port)),
        QString());
    Combo3->addItem(QStringLiteral("Simulated recorders"), kSimulatedChoice);
    for (const SerialDevice& device : serialDevices())
        Combo3->addItem(deviceCaption(device), device.path);
    // A device chosen before and not present now stays a choice.
    if (!chosen.isEmpty() && Combo3->findData(chosen) < 0)
        Combo3->addItem(QStringLiteral("%1 (not present)").arg(chosen), chosen);
    Combo3->setCurrentIndex(std::max(0, Combo3->findData(chosen)));
    Combo3->setToolTip(Combo3->currentText());
    // The list opens wide enough for the longest name.
    int widest = 0;
    for (int i = 0; i < Combo3->count(); ++i)
        widest = std::max(widest, Combo3->fontMetrics().horizontalAdvance(Combo3->itemText(i)));
    Combo3->view()->setMinimumWidth(widest + 32);
}

void MainDisp::showPage(int page)
{
    mPage_ = page;
    NameSet(page);
    Logdisp(page);
    const int channels = lenientInt(state_.gChTotal);
    for (int i = 0; i < pages::kChannelsPerPage; ++i) {
        const int k = pages::channelAt(page, i);
        if (channels > k && k < kChannelCount) {
            frmM[i]->setVisible(true);
            showStoredValue(i, k);
            cmdMLog[i]->setText(format00(k / 6 + 1) + QStringLiteral("-%1").arg(k % 6 + 1));
        } else {
            frmM[i]->setVisible(false);
        }
    }
    const int recorders = state_.gRecTotal;
    for (int h = 0; h < 3; ++h)
        Label1[h]->setVisible(layout::headingVisible(recorders, page, h));
    showStale();
}

void MainDisp::showStale()
{
    const int firstSlot = pages::firstSlot(mPage_);
    const QColor normal = palette().color(QPalette::WindowText);
    for (int i = 0; i < pages::kChannelsPerPage; ++i) {
        const int slot = firstSlot + i / kChannelsPerSlot;
        const bool stale = poll_.slotStale(slot);
        const int k = pages::channelAt(mPage_, i);
        const ValueMark& mark = k < kChannelCount ? marks_[k] : ValueMark{};
        QPalette labelPalette = lblPv[i]->palette();
        labelPalette.setColor(QPalette::WindowText, stale ? QColor(Qt::gray) : normal);
        labelPalette.setColor(QPalette::Window, mark.symbol.isEmpty() ? QColor(Qt::white) : mark.background);
        lblPv[i]->setPalette(labelPalette);
    }
    showValueTips();
}

void MainDisp::showPv(int label, const QString& text)
{
    pvText_[label] = text;
    const int k = pages::channelAt(mPage_, label);
    const QString& symbol = k < kChannelCount ? marks_[k].symbol : QString();
    // The symbol in black, also before a stale (grey) value.
    lblPv[label]->setText(symbol.isEmpty() ? text
                                           : QStringLiteral("<span style=\"color:#000\">%1</span>&nbsp;%2")
                                                 .arg(symbol.toHtmlEscaped(), text.toHtmlEscaped()));
}

void MainDisp::setValueMark(int channel, const ValueMark& mark)
{
    if (channel < 0 || channel >= kChannelCount || marks_[channel] == mark)
        return;
    marks_[channel] = mark;
    const int label = channel - pages::firstChannel(mPage_);
    if (label < 0 || label >= pages::kChannelsPerPage)
        return;
    showPv(label, pvText_[label]);
    showStale();
}

ValueFacts MainDisp::valueFacts(int label) const
{
    ValueFacts f;
    const int k = pages::channelAt(mPage_, label);
    if (label < 0 || label >= pages::kChannelsPerPage || k >= kChannelCount)
        return f;
    const int slot = k / kChannelsPerSlot;
    f.channel = k;
    f.selected = state_.gChannel[k].LogSel != 0;
    f.state = state_.gPvState[k];
    f.answering = !poll_.slotStale(slot);
    f.miss = poll_.lastMiss(slot);
    f.lastReply = poll_.lastReply(slot);
    f.lastReading = poll_.lastReading(k);
    f.now = services_.clock.now();
    return f;
}

void MainDisp::showValueTips(int slot)
{
    for (int i = 0; i < pages::kChannelsPerPage; ++i) {
        const int k = pages::channelAt(mPage_, i);
        if (k >= kChannelCount)
            break;
        if (slot >= 0 && k / kChannelsPerSlot != slot)
            continue;
        QString tip = valueToolTip(valueFacts(i));
        if (!marks_[k].toolTip.isEmpty())
            tip += u'\n' + marks_[k].toolTip;
        if (lblPv[i]->toolTip() != tip)
            lblPv[i]->setToolTip(tip);
    }
}

void MainDisp::replyTaken(int slot, const QDateTime&)
{
    showValueTips(slot);
}
void MainDisp::pollMissed(int slot, const QDateTime&, MissReason)
{
    showValueTips(slot);
}
void MainDisp::lineLost(bool)
{
    showValueTips();
}

QString valueToolTip(const ValueFacts& f)
{
    const auto when = [&](const QDateTime& t) {
        return t.toString(t.date() == f.now.date() ? QStringLiteral("HH:mm:ss")
                                                   : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    };
    QString head;
    if (!f.selected) {
        head = QStringLiteral("not selected: not shown, not logged (its button selects it)");
    } else if (!f.answering) {
        switch (f.miss) {
        case MissReason::LineLost:
            head = QStringLiteral("the serial line is lost; the port is being opened again");
            break;
        case MissReason::Garbled:
            head = QStringLiteral("the recorder's last reply was garbled and dropped");
            break;
        case MissReason::Incomplete:
            head = QStringLiteral("the recorder's reply did not end in time (too slow, or cut short)");
            break;
        case MissReason::NoReply:
            head = f.lastReply.isValid() ? QStringLiteral("the recorder does not answer")
                                         : QStringLiteral("the recorder has not answered since the program started");
            break;
        }
        if (f.lastReply.isValid())
            head += QStringLiteral(" (last reply %1)").arg(when(f.lastReply));
        if (f.state == PvState::Stale)
            head += QStringLiteral("\nThe grey value is its last reading, not a present one.");
    } else if (f.state == PvState::Skipped) {
        head = QStringLiteral("skipped by the recorder: it sends no value for this channel");
    } else if (f.state == PvState::NoReading) {
        head = f.lastReply.isValid() ? QStringLiteral("no number in the last reply (a burn-out or over-range text)")
                                     : QStringLiteral("no reading yet: the recorder has not been asked yet");
    } else {
        head = QStringLiteral("current reading");
    }
    const QString last = f.lastReading.isValid() ? QStringLiteral("Last reading: %1").arg(when(f.lastReading))
                                                 : QStringLiteral("No reading since the program started");
    return channelLabel(f.channel) + QStringLiteral(": ") + head + QLatin1Char('\n') + last;
}

void MainDisp::setSlotStale(int slot, bool, const QDateTime&)
{
    if (pages::slotOnPage(slot, mPage_))
        showStale();
}

void MainDisp::showStoredValue(int label, int channel)
{
    // A channel that is not selected, or has no reading, shows nothing: a
    // made-up number must not pass for a reading. A stale one shows its last
    // value greyed (showStale).
    const PvState pv = state_.gPvState[channel];
    const bool shown = state_.gChannel[channel].LogSel != 0 && (pv == PvState::Current || pv == PvState::Stale);
    showPv(label, shown ? formatPv(state_.gPvValue[channel], std::nullopt) : QString());
}

QString MainDisp::runDevice() const
{
    return portDevice(runPorts_, runPort_);
}

void MainDisp::setLineLost(bool lost)
{
    lineLost_ = lost;
    showLineNotice();
}

void MainDisp::setNoAnswer(bool none)
{
    noAnswer_ = none;
    showLineNotice();
}

void MainDisp::showLineNotice()
{
    // A lost line says more than silent recorders on it.
    if (lineLost_) {
        lblLine->setText(kLineLostMessage);
    } else if (noAnswer_) {
        lblLine->setText(noAnswerMessage(runPort_, runDevice()));
    }
    lblLine->setVisible(lineLost_ || noAnswer_);
}

QString portDevice(const QString& folder, const QString& port)
{
    return portDevice(PortRule::takenFrom(folder), port);
}

QString portDevice(const PortRule& rule, const QString& port)
{
    const int n = portNumber(port);
    if (n == 0)
        return {};
    const QFileInfo path(rule.path(n));
    if (path.isSymLink()) {
        const QString end = path.canonicalFilePath();
        return end.isEmpty() ? path.symLinkTarget() : end;
    }
    return path.absoluteFilePath();
}

QString noAnswerMessage(const QString& port, const QString& device)
{
    const QString where = device.isEmpty() ? port.trimmed() : QStringLiteral("%1 (%2)").arg(port.trimmed(), device);
    return QStringLiteral("No recorder answers on %1").arg(where);
}

QFont channelNameFont(const QFont& base, int labelWidth)
{
    // The widest of the default names decides; a smaller size is taken only
    // when the base font is too wide for the label.
    QFont font = base;
    if (font.pixelSize() <= 0)
        font.setPixelSize(12);
    const auto widest = [](const QFont& f) {
        const QFontMetrics metrics(f);
        int width = 0;
        for (int k = 0; k < kChannelCount; ++k)
            width = std::max(width, metrics.horizontalAdvance(defaultChannelName(k)));
        return width;
    };
    while (font.pixelSize() > 8 && widest(font) > labelWidth)
        font.setPixelSize(font.pixelSize() - 1);
    return font;
}

void MainDisp::NameSet(int page)
{
    for (int i = 0; i < pages::kChannelsPerPage; ++i) {
        const int k = pages::channelAt(page, i);
        if (k >= kChannelCount)
            break;
        lblDevname[i]->setText(state_.gChannel[k].Name);
    }
}

void MainDisp::Logdisp(int page)
{
    if (logging_)
        logging_->Logdisp(page);
    // A channel just unselected (its button toggled) stops showing its
    // value; a selected one gets it again with the next poll of its recorder.
    if (page != mPage_)
        return;
    for (int i = 0; i < pages::kChannelsPerPage; ++i) {
        const int k = pages::channelAt(page, i);
        if (k < kChannelCount && state_.gChannel[k].LogSel == 0)
            showPv(i, {});
    }
    showValueTips();
}

void MainDisp::Communicate()
{
    if (parts_.splash)
        parts_.splash->prgWait->setMaximum(state_.gRecTotal);
    // The polling thread sets the port up, opens it (30019 counts as not
    // opened), clears both buffers, sends the close commands when opened,
    // and polls. Meanwhile this thread runs its events: the start-up pass's
    // progress, and the link library's box when the port cannot be used.
    std::optional<ConnectResult> connected;
    QEventLoop wait;
    startWait_ = &wait;
    const auto ready = [&] { return exiting_ || (connected && (!connected->opened || state_.gStartDone != 0)); };
    polling_.afterTake = [&] {
        if (ready())
            wait.quit();
    };
    polling_.start(
        [&](const ConnectResult& result) {
            connected = result;
            if (ready())
                wait.quit();
        },
        parts_.recovering);
    if (!ready())
        wait.exec();
    polling_.afterTake = nullptr;
    startWait_ = nullptr;
    if (exiting_)
        return;

    state_.gPortOpened = connected->opened ? QStringLiteral("True") : QStringLiteral("False");
    portCause_ = connected->cause;
    // Another error of the serial control before the port opened: the
    // operator is told and the program goes on without polling rather than
    // leaving the splash window up with nothing behind it. (Once the port
    // had opened, polling runs all the same: a line that fails is then
    // reopened by the polling, and the window tells its state.)
    if (!connected->failure.isEmpty()) {
        services_.messages.information(
            QStringLiteral("The serial port could not be prepared; the recorders are not polled.\n%1")
                .arg(connected->failure));
    }
    // The port could not be opened for a reason the operator can mend
    // (permission, a missing, busy or wrong device, a refused port or speed
    // text): say so plainly.
    if (!connected->problem.isEmpty())
        services_.messages.information(connected->problem);
    if (parts_.nameLoad)
        parts_.nameLoad();
    NameSet(0);
    if (parts_.splash)
        parts_.splash->hide();
    show();
}

void MainDisp::stopPolling()
{
    polling_.stop(parts_.releaseLink);
    state_.gLink = nullptr;
}

void MainDisp::setPvCaption(int labelIndex, const QString& text)
{
    if (labelIndex >= 0 && labelIndex < pages::kChannelsPerPage)
        showPv(labelIndex, text);
}

void MainDisp::setProgress(int value)
{
    if (parts_.splash)
        parts_.splash->prgWait->setValue(value);
}

void MainDisp::dns_Click()
{
    if (!parts_.addressWindow)
        return;
    parts_.addressWindow->showFromMenu();
}

void MainDisp::mnuComPort_Click()
{
    // The devices present now.
    fillDeviceList();
    frmCommInit->show();
    frmCommInit->raise();
}

void MainDisp::cmdCommOK_Click()
{
    // The choice goes to the file for the next start; the running program
    // keeps its port, speed and recorder count (gRecTotal). The record in
    // memory takes the choice only once it is stored, so the exit command
    // writes the same again.
    InitRecord chosen = state_.gInit;
    chosen.Speed = fitFour(Combo2->currentText());
    chosen.Port = fitFour(Combo1->currentText());
    chosen.RecCount = format00(lenientInt(lblCh->text())).left(2);
    QString error;
    if (!writeSettings(state_.programFolder, chosen, &error)) {
        // The panel stays open with the choice, so it can be stored again.
        services_.messages.information(QStringLiteral("The communication settings could not be saved.\n%1").arg(error));
        return;
    }
    state_.gInit = chosen;
    // The port's device beside it, in the user's own file.
    if (const int port = portNumber(chosen.Port);
        port > 0 && !storePortChoice(state_.programFolder, port, Combo3->currentData().toString(), &error)) {
        services_.messages.information(error);
        return;
    }
    frmCommInit->hide();
    services_.messages.information(kRestartMessage);
}

bool MainDisp::mnuEnd_Click()
{
    if (exiting_)
        return true;
    // Rows the log file could not take yet are lost when the program ends:
    // the question says so.
    const QString note = logging_->controller().unwrittenRowsNote();
    const QString question = note.isEmpty() ? kExitQuestion : kExitQuestion + QStringLiteral("\n\n") + note;
    if (!services_.messages.question(question))
        return false;
    storeAndEnd(true);
    return true;
}

void MainDisp::storeAndQuit()
{
    if (exiting_)
        return;
    // No one is asked now: a last attempt at the rows waiting, and what
    // stays unwritten goes to standard error (the session's journal).
    const QString note = logging_->controller().unwrittenRowsNote();
    if (!note.isEmpty())
        std::fprintf(stderr, "%s: %s\n", qPrintable(kProgramTitle), qPrintable(note.simplified()));
    storeAndEnd(false);
}

void MainDisp::storeAndEnd(bool tellFailures)
{
    exiting_ = true;
    // 2. The logging controls into the settings record; the sampling timer
    // stops.
    logging_->storeForExit(state_.gInit);
    // 3. The settings file.
    QString error;
    if (!writeSettings(state_.programFolder, state_.gInit, &error) && tellFailures) {
        services_.messages.information(QStringLiteral("The settings could not be saved.\n%1").arg(error));
    }
    // 4. to 6. Polling, help windows, the link.
    stopPolling();
    help_.closeAll();
    // 7. Every window, then the program.
    if (startWait_)
        startWait_->quit();
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window != this && window->isVisible())
            window->close();
    }
    hide();
    QCoreApplication::exit(0);
}

void MainDisp::closeEvent(QCloseEvent* event)
{
    // Closing through the frame is the exit command, question included.
    if (exiting_ || mnuEnd_Click()) {
        event->accept();
    } else {
        event->ignore();
    }
}

}  // namespace rdxmon
