// The main window: layout by recorder count, what a value label may show,
// the connecting step, the communication panel, the line notice and exit.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "names/ChannelNames.h"
#include "startup/Lenient.h"
#include "startup/PortChoice.h"
#include "startup/SettingsFile.h"
#include "support/FakeLink.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"
#include "windows/QtServices.h"
#include "windows/UpDown.h"

namespace rdxmon {
namespace {

class MainDispTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        state.programFolder = dir.path();
        state.gLink = &link;
        state.gChannel = defaultChannelTable();
        link.byAddress = true;
        for (int s = 0; s < kSlotCount; ++s) {
            state.gDevAddr[s] = static_cast<std::int16_t>(s + 1);
            link.replies[format00(s + 1).toStdString()] = rdxtest::replyWithValues({"1", "2", "3", "4", "5", "6"});
        }
    }
    // A window for n recorders, as start-up makes it.
    std::unique_ptr<MainDisp> make(int recorders)
    {
        state.gInit.RecCount = format00(recorders);
        state.gRecTotal = recorders;
        state.gChTotal = QString::number(recorders * 6);
        auto w = std::make_unique<MainDisp>(state, services);
        MainDispParts parts;
        parts.saveNames = [] { return true; };
        w->setParts(parts);
        return w;
    }
    std::optional<InitRecord> stored() const
    {
        QFile file(dir.filePath(kInitFileName));
        return file.open(QIODevice::ReadOnly) ? decodeInitRecord(file.readAll()) : std::nullopt;
    }
    // Steps 50 ms apart from slot 0 until n recorders have been polled (at
    // most 20 steps each), every outcome taken by the window.
    void poll(MainDisp& w, std::size_t n)
    {
        qint64 ms = 0;
        PollExchange exchange(&link, linkSettings(state), [&] { return ms; });
        std::size_t polled = 0;
        for (std::size_t i = 0; i < n * 20 && polled < n; ++i, ms += 50) {
            if (const auto outcome = exchange.step()) {
                w.pollCycle().take(*outcome);
                ++polled;
            }
        }
    }

    QTemporaryDir dir;
    SharedState state;
    rdxtest::FakeLink link;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    Services services{clock, messages, dialogs};
};

int visibleFrames(const MainDisp& w)
{
    int n = 0;
    for (QFrame* f : w.frmM)
        n += f->isVisibleTo(&w) ? 1 : 0;
    return n;
}

TEST_F(MainDispTest, LayoutByRecorderCount)
{
    // Recorders, page shown, window size, channel frames shown, and whether
    // headings 1 and 2 and the three page buttons show.
    struct Case {
        int recorders, page;
        QSize size;
        int frames;
        const char* shown;
    };
    const Case cases[]
        = {{1, 0, {470, 257}, 6, "00000"},   {2, 0, {470, 396}, 12, "00000"},  {3, 0, {470, 531}, 18, "00000"},
           {4, 0, {470, 615}, 24, "00000"},  {5, 0, {621, 615}, 30, "10000"},  {8, 0, {621, 615}, 48, "10000"},
           {9, 0, {913, 615}, 54, "11000"},  {12, 0, {913, 615}, 72, "11000"}, {13, 1, {913, 615}, 6, "00110"},
           {24, 1, {913, 615}, 72, "11110"}, {31, 2, {913, 615}, 42, "10111"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.recorders << " recorders, page " << c.page);
        auto w = make(c.recorders);
        (c.page == 0 ? w->DVsele1 : c.page == 1 ? w->DVsele2 : w->DVsele3)->click();  // hidden or not
        EXPECT_EQ(w->size(), c.size);
        EXPECT_EQ(visibleFrames(*w), c.frames);
        const QWidget* widgets[] = {w->Label1[1], w->Label1[2], w->DVsele1, w->DVsele2, w->DVsele3};
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(!widgets[i]->isHidden(), c.shown[i] == '1') << i;
        // Whatever shows lies inside the window.
        w->show();
        for (QWidget* child : w->centralWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(child->isHidden() || w->centralWidget()->rect().contains(child->geometry()));
    }
}

TEST_F(MainDispTest, DefaultChannelNamesFitTheirLabels)
{
    auto w = make(31);
    int checked = 0;
    for (QPushButton* page : {w->DVsele1, w->DVsele2, w->DVsele3}) {
        page->click();
        for (int i = 0; i < visibleFrames(*w); ++i) {
            const QLabel* label = w->lblDevname[i];
            ASSERT_EQ(label->text().size(), 18);
            EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->contentsRect().width())
                << label->text().toStdString();
            ++checked;
        }
    }
    EXPECT_EQ(checked, kChannelCount);
}

TEST_F(MainDispTest, ValueLabelsShowOnlyReadingsOfSelectedChannels)
{
    // Channels 0 to 4: its state, selected, shown (a stale value greyed).
    const std::tuple<PvState, int, QString> cases[] = {{PvState::Current, 1, "12.3"},
                                                       {PvState::NoReading, 1, ""},
                                                       {PvState::Current, 0, ""},
                                                       {PvState::Skipped, 1, ""},
                                                       {PvState::Stale, 1, "12.3"}};
    for (int k = 0; k < 5; ++k) {
        std::tie(state.gPvState[k], state.gChannel[k].LogSel, std::ignore) = cases[k];
        state.gPvValue[k] = 12.34f;
    }
    state.gPvState[72] = PvState::Current;
    state.gPvValue[72] = 3.5f;
    auto w = make(13);
    for (QLabel* label : w->lblPv)
        ASSERT_TRUE(label->text().isEmpty()) << "a value before any reading";
    w->DVsele1_Click();
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(w->lblPv[k]->text(), std::get<2>(cases[k])) << k;
    w->DVsele2_Click();
    EXPECT_EQ(w->lblPv[0]->text(), QStringLiteral("3.5"));

    // Toggled off, a channel's label empties at once; toggled on again, it
    // shows the value of the next poll.
    QTest::mouseClick(w->cmdMLog[0], Qt::LeftButton);
    EXPECT_EQ(state.gChannel[72].LogSel, 0);
    EXPECT_TRUE(w->lblPv[0]->text().isEmpty());
    QTest::mouseClick(w->cmdMLog[0], Qt::LeftButton);
    poll(*w, 13);
    EXPECT_EQ(w->lblPv[0]->text(), QStringLiteral("1.0"));
}

TEST_F(MainDispTest, AValuesTooltipSaysWhyItIsEmptyOrGreyAndWhenItWasRead)
{
    state.gChannel[1].LogSel = 0;
    auto w = make(3);
    w->DVsele1_Click();
    using K = SlotOutcome::Kind;
    const std::string reply = rdxtest::replyWithValues({"1.5", "2", "S", "----", "5", "6"});
    const std::string esc(1, '\x1b');
    const struct {
        const char* name;
        std::optional<SlotOutcome> poll;
        qint64 afterMs;  // since the step before
        int label;
        const char* tip;
    } steps[] = {
        {"not asked yet", std::nullopt, 0, 12,
         "03-1: no reading yet: the recorder has not been asked yet\nNo reading since the program started"},
        {"a reply", SlotOutcome{K::Reply, 0, reply, 0}, 0, 0, "01-1: current reading\nLast reading: 09:05:00"},
        {"unselected", std::nullopt, 0, 1,
         "01-2: not selected: not shown, not logged (its button selects it)\nLast reading: 09:05:00"},
        {"skipped", std::nullopt, 0, 2,
         "01-3: skipped by the recorder: it sends no value for this channel\nNo reading since the program started"},
        {"no number", std::nullopt, 0, 3,
         "01-4: no number in the last reply (a burn-out or over-range text)\nNo reading since the program started"},
        {"too slow", SlotOutcome{K::Miss, 1, esc, 0, true}, 0, 6,
         "02-1: the recorder's reply did not end in time (too slow, or cut short)\nNo reading since the program "
         "started"},
        {"silent after a reply", SlotOutcome{K::Miss, 0, esc, 0}, 60'000, 0,
         "01-1: the recorder does not answer (last reply 09:05:00)\n"
         "The grey value is its last reading, not a present one.\nLast reading: 09:05:00"},
        {"silent from the start", SlotOutcome{K::Miss, 2, esc, 0}, 0, 12,
         "03-1: the recorder has not answered since the program started\nNo reading since the program started"},
        {"garbled, the next day", SlotOutcome{K::Garbled, 0, reply, 0}, 86'400'000, 4,
         "01-5: the recorder's last reply was garbled and dropped (last reply 2024-03-07 09:05:00)\n"
         "The grey value is its last reading, not a present one.\nLast reading: 2024-03-07 09:05:00"},
        {"line lost", SlotOutcome{K::LineLost, 0, {}, 0}, 0, 6,
         "02-1: the serial line is lost; the port is being opened again\nNo reading since the program started"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        clock.advanceMs(step.afterMs);
        if (step.poll)
            w->pollCycle().take(*step.poll);
        EXPECT_EQ(w->lblPv[step.label]->toolTip().toStdString(), step.tip);
    }
}

TEST_F(MainDispTest, ConnectingPollsWheneverThePortOpened)
{
    // The member of the link that fails, its error, whether polling runs, and
    // the messages (a refused port is told by the link library itself).
    const std::tuple<std::string, int, bool, int> cases[] = {{"", 0, true, 0},
                                                             {"Send_Close", rdx::kErrDeviceIo, true, 0},
                                                             {"PortOpen", rdx::kErrPortOpen, false, 0},
                                                             {"Port", rdx::kErrDeviceIo, false, 1}};
    for (const auto& [failing, error, opened, told] : cases) {
        SCOPED_TRACE(failing);
        rdxtest::FakeLink caseLink;
        caseLink.byAddress = true;  // 02 and 03 silent
        caseLink.replies["01"] = rdxtest::replyWithValues({"12.346 -02", "5", "3", "4", "5", "6"});
        if (!failing.empty())
            caseLink.failMember(failing, error);
        state.gLink = &caseLink;
        state.gStartDone = 0;
        state.gPvState = {};
        messages.shown.clear();
        auto w = make(3);
        w->Communicate();
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->polling(), opened);
        w->stopPolling();  // the link is left alone from here on
        EXPECT_EQ(messages.shown.size(), told);
        if (opened) {
            // The start-up pass asked every recorder once, in slot order.
            EXPECT_EQ(state.gStartDone, 1);
            ASSERT_GE(caseLink.answered.size(), 3u);
            EXPECT_EQ(caseLink.answered[0] + caseLink.answered[1] + caseLink.answered[2], "010203");
            EXPECT_EQ(w->lblPv[0]->text(), QStringLiteral("12.35"));
            EXPECT_TRUE(w->lblPv[6]->text().isEmpty()) << "a silent recorder shows a value";
        } else {
            EXPECT_TRUE(caseLink.answered.empty());
        }
    }
}

TEST_F(MainDispTest, PanelStoresTheChoiceForTheNextStartOnly)
{
    state.gInit.Port = QStringLiteral("COM2");
    auto w = make(31);
    w->mnuComPort->trigger();
    w->Combo1->setCurrentText(QStringLiteral("COM2"));
    // The device list of COM2: its link rule first, then the simulator.
    EXPECT_EQ(w->Combo3->itemText(0), "COM2 link or default (/dev/ttyS1)");
    w->Combo3->setCurrentIndex(w->Combo3->findText(QStringLiteral("Simulated recorders")));
    w->Combo2->setCurrentText(QStringLiteral("2400"));
    for (int i = 0; i < 18; ++i)
        w->updCh->stepDown();
    w->cmdCommOK_Click();
    EXPECT_TRUE(w->frmCommInit->isHidden());
    EXPECT_EQ(messages.shown.size(), 1);
    ASSERT_TRUE(stored().has_value());
    EXPECT_EQ(stored()->Port + stored()->Speed + stored()->RecCount, QStringLiteral("COM2240013"));
    EXPECT_EQ(state.gInit.RecCount, QStringLiteral("13"));
    // The device beside it, per port, in the folder of the files; shown
    // again when the panel opens, and not for another port.
    EXPECT_EQ(readPortChoices(dir.path()), (std::map<int, QString>{{2, kSimulatedChoice}}));
    EXPECT_EQ(w->runDevice(), QStringLiteral("/dev/ttyS1"));  // this run's device stays
    w->mnuComPort_Click();
    EXPECT_EQ(w->Combo3->currentText(), QStringLiteral("Simulated recorders"));
    w->Combo1->setCurrentText(QStringLiteral("COM3"));
    EXPECT_EQ(w->Combo3->currentIndex(), 0);
    w->Combo1->setCurrentText(QStringLiteral("COM2"));
    w->cmdCommOK_Click();
    messages.shown.clear();

    // The running program still polls and shows all 31 recorders.
    poll(*w, 31);
    EXPECT_NE(std::find(link.answered.begin(), link.answered.end(), "31"), link.answered.end());
    w->DVsele3_Click();
    EXPECT_EQ(visibleFrames(*w), 42);
    EXPECT_FALSE(w->Label1[1]->isHidden());
    EXPECT_EQ(w->lblPv[41]->text(), QStringLiteral("6.0"));

    // A choice that cannot be stored is told, stays in the panel and stays
    // out of the record in memory.
    state.programFolder = dir.filePath(QStringLiteral("missing"));
    w->mnuComPort_Click();
    w->Combo1->setCurrentText(QStringLiteral("COM4"));
    w->cmdCommOK_Click();
    EXPECT_FALSE(w->frmCommInit->isHidden());
    ASSERT_FALSE(messages.shown.isEmpty());
    EXPECT_TRUE(messages.shown.last().contains(QStringLiteral("could not be saved")));
    EXPECT_EQ(state.gInit.Port, QStringLiteral("COM2"));
}

TEST_F(MainDispTest, LineNoticeNamesThePortAndItsDevice)
{
    QFile target(dir.filePath(QStringLiteral("tty-target")));
    ASSERT_TRUE(target.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(target.fileName(), dir.filePath(QStringLiteral("COM2"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent/ttyX"), dir.filePath(QStringLiteral("COM3"))));
    const std::pair<const char*, QString> devices[] = {{"COM1", "/dev/ttyS0"},
                                                       {"COM8 ", "/dev/ttyS7"},
                                                       {"COM2", QFileInfo(target).canonicalFilePath()},
                                                       {"COM3", "/nonexistent/ttyX"},
                                                       {"LPT1", ""}};
    for (const auto& [port, device] : devices)
        EXPECT_EQ(portDevice(dir.path(), port), device) << port;

    state.gInit.Port = QStringLiteral("COM1");
    auto w = make(2);
    EXPECT_TRUE(w->lblLine->isHidden());
    w->setNoAnswer(true);
    EXPECT_FALSE(w->lblLine->isHidden());
    EXPECT_EQ(w->lblLine->text(), QStringLiteral("No recorder answers on COM1 (/dev/ttyS0)"));
    w->setLineLost(true);
    EXPECT_EQ(w->lblLine->text(), kLineLostMessage);
    w->setLineLost(false);
    EXPECT_FALSE(w->lblLine->isHidden());
    w->setNoAnswer(false);
    EXPECT_TRUE(w->lblLine->isHidden());
}

TEST_F(MainDispTest, ExitAsksThenStoresTheLoggingControls)
{
    auto w = make(2);
    int released = 0;
    MainDispParts parts;
    parts.saveNames = [] { return true; };
    parts.releaseLink = [&] { ++released; };
    w->setParts(parts);
    w->show();
    w->tmrLogitv.start();
    messages.answer = false;  // No: everything goes on
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->tmrLogitv.isActive() && w->isVisible());
    EXPECT_FALSE(stored().has_value());

    messages.answer = true;
    w->lblLogitv->setText(QStringLiteral("30"));
    w->optTime2->setChecked(true);
    w->optName2->setChecked(true);
    EXPECT_TRUE(w->mnuEnd_Click());
    EXPECT_FALSE(w->polling() || w->tmrLogitv.isActive() || w->isVisible());
    EXPECT_EQ(released, 1);
    ASSERT_TRUE(stored().has_value());
    EXPECT_EQ(std::tuple(stored()->LogInterval, stored()->LogUnit, stored()->LogNameMode, stored()->LogActive),
              std::tuple(30, 1, 1, 1));
}

TEST_F(MainDispTest, EndedByTheSystemItTriesTheRowsWaitingOnceMoreAndCountsThoseLost)
{
    for (const bool writable : {false, true}) {
        SCOPED_TRACE(writable ? "writable again" : "still not writable");
        state.gInit.LogInterval = 1;
        state.gInit.LogNameMode = state.gInit.LogActive = 1;  // logging resumes into a default file
        auto w = make(1);
        LogController& log = w->logging().controller();
        const QString path = log.heldName();
        ASSERT_TRUE(QFile::rename(path, path + ".away") && QDir().mkdir(path));
        for (int i = 0; i < 15; ++i)
            clock.advanceMs(200), log.tick();
        ASSERT_EQ(log.unwrittenRows(), 3);
        if (writable) {
            ASSERT_TRUE(QDir().rmdir(path) && QFile::rename(path + ".away", path));
        }
        ::testing::internal::CaptureStderr();
        w->storeAndQuit();
        const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
        if (writable) {
            EXPECT_TRUE(said.isEmpty()) << said.toStdString();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll().count("\r\n"), 2 + 3);  // the header and the rows that waited
        } else {
            EXPECT_TRUE(said.contains(QStringLiteral("3 rows could not be written to the log file %1 and are lost: %2.")
                                          .arg(path, std::strerror(EISDIR))))
                << said.toStdString();
            ASSERT_TRUE(QDir().rmdir(path) && QFile::remove(path + ".away"));
        }
        state.gInit = InitRecord{};
    }
}

TEST(QtServices, FilterTranslation)
{
    EXPECT_EQ(translateFilter("*.CSV(CSV files)|*.CSV;*.TXT|All|*.*"),
              "CSV files (*.CSV *.csv *.TXT *.txt);;All (*.*)");
}

}  // namespace
}  // namespace rdxmon
