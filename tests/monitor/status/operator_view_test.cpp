// The operator's view on the main window: it follows the poll cycle (its
// history begins with the logs of the last hours), the window grows by the
// status line alone, Page Up and Page Down turn the pages the window offers,
// the status line tells how writing the log goes, shows its count of
// recorders as a link and cuts a long log name in its middle.
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "names/ChannelNames.h"
#include "startup/Lenient.h"
#include "status/OperatorView.h"
#include "support/FakeLink.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"

namespace rdxmon {
namespace {

class OperatorViewTest : public ::testing::Test {
protected:
    std::unique_ptr<MainDisp> make(int recorders)
    {
        state.programFolder = dir.path();
        state.gChannel = defaultChannelTable();
        state.gInit.RecCount = format00(recorders);
        state.gRecTotal = recorders;
        state.gChTotal = QString::number(recorders * 6);
        return std::make_unique<MainDisp>(state, services);
    }
    QTemporaryDir dir;
    SharedState state;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    Services services{clock, messages, dialogs};
};

TEST_F(OperatorViewTest, FollowsThePollsOfTheWindow)
{
    auto w = make(2);
    OperatorView view(*w, state, services);
    w->pollCycle().take({SlotOutcome::Kind::Reply, 0, rdxtest::replyWithValues({"1.5", "2", "3", "4", "5", "6"}), 0});
    w->pollCycle().take({SlotOutcome::Kind::Miss, 1, std::string(1, '\x1b'), 50});
    view.statusLine->refresh();
    EXPECT_EQ(view.statusLine->cmdAnswering->text(), QStringLiteral("1 of 2 answering"));
    EXPECT_EQ(view.lineStatus().recorder(1).timeOuts, 1);
    std::vector<TrendPoint> points;
    view.history().points(0, 0, clock.now().toMSecsSinceEpoch() + 1, points);
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].value, 1.5f);
}

TEST_F(OperatorViewTest, TheHistoryBeginsWithTheLogsOfTheProgramFolder)
{
    clock.current = QDateTime(QDate(2024, 3, 7), QTime(9, 5));
    QFile log(dir.filePath("240307_0900.csv"));
    ASSERT_TRUE(log.open(QIODevice::WriteOnly));
    log.write("\"24/03/07\"\r\n\"CH Name\",\"a\",\"b\",\"c\",\"d\",\"e\",\"f\"\r\n\"9:0:0 AM\",1,2,3,4,5,6\r\n");
    log.close();
    ASSERT_TRUE(log.open(QIODevice::ReadWrite)
                && log.setFileTime(QDateTime(QDate(2024, 3, 7), QTime(9, 0, 1)), QFileDevice::FileModificationTime));
    log.close();
    auto w = make(1);
    OperatorView view(*w, state, services);
    EXPECT_EQ(view.readBack().rows, 1);
    std::vector<TrendPoint> points;
    view.history().points(2, 0, clock.now().toMSecsSinceEpoch(), points);
    ASSERT_FALSE(points.empty());
    EXPECT_EQ(points[0].value, 3.0f);
}

TEST_F(OperatorViewTest, TheCountIsALinkAndALongLogNameIsCutInItsMiddle)
{
    auto w = make(1);
    OperatorView view(*w, state, services);
    EXPECT_EQ(view.statusLine->cmdAnswering->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(view.statusLine->cmdAnswering->font().underline());

    const QString name = QStringLiteral("Kiln 2 commissioning run, night shift, all twelve recorders at 1 s.csv");
    const QString suffix = QStringLiteral(": writing resumed at 10:20:00");
    MiddleElidedLabel label;
    label.setParts(QStringLiteral("Logging to "), name, suffix);
    label.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
    const QFontMetrics metrics = label.fontMetrics();
    const int whole = metrics.horizontalAdvance(label.fullText());
    label.resize(whole + 10, 20);
    EXPECT_EQ(label.text(), label.fullText());
    label.resize(whole / 2, 20);  // the name cut in its middle, its end and the rest kept
    EXPECT_TRUE(label.text().startsWith(QStringLiteral("Logging to Kiln")) && label.text().contains(QChar(0x2026))
                && label.text().endsWith(QStringLiteral(".csv") + suffix))
        << label.text().toStdString();
    EXPECT_LE(metrics.horizontalAdvance(label.text()), whole / 2);
    label.resize(metrics.horizontalAdvance(suffix) / 2, 20);  // too narrow for the rest: all of it cut
    EXPECT_TRUE(label.text().startsWith(QStringLiteral("Log")) && label.text().endsWith(QStringLiteral("20:00")))
        << label.text().toStdString();
}

TEST_F(OperatorViewTest, ASpeedTheLinkRefusesIsToldAndNamedInTheStatusLine)
{
    rdxtest::FakeLink link;
    link.failMember("PortOpen", rdx::kErrPortOpen, rdx::kErrBaudText);
    state.gLink = &link;
    state.gInit.Speed = QStringLiteral("1920");  // 19200 cut to the file's four characters
    auto w = make(1);
    OperatorView view(*w, state, services);
    w->Communicate();
    w->stopPolling();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains("\"1920\"") && messages.shown[0].contains("2400, 4800, 9600 or 19200"))
        << messages.shown[0].toStdString();
    view.statusLine->refresh();
    EXPECT_EQ(view.statusLine->lblDevice->text(), QStringLiteral("COM1 → /dev/ttyS0 (not open: speed 1920 refused)"));
}

TEST_F(OperatorViewTest, TheWindowGrowsByTheStatusLineAndTheLayoutStays)
{
    auto w = make(12);
    const QSize before = w->size();
    const QRect grid = w->frmM[71]->geometry();
    OperatorView view(*w, state, services);
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    EXPECT_EQ(w->width(), before.width());
    EXPECT_EQ(w->height(), before.height() + view.statusLine->height());
    EXPECT_EQ(w->frmM[71]->geometry(), grid);
    EXPECT_GE(view.statusLine->geometry().top(), w->centralWidget()->geometry().bottom());
}

TEST_F(OperatorViewTest, TheStatusLineTellsRowsWaitingAndWhenWritingResumed)
{
    state.gInit.LogInterval = 1;
    state.gInit.LogNameMode = state.gInit.LogActive = 1;  // logging resumes into a default file
    auto w = make(1);
    OperatorView view(*w, state, services);
    LogController& log = w->logging().controller();
    ASSERT_TRUE(log.running());
    const QString path = log.heldName(), name = QFileInfo(path).fileName();
    const auto second = [&] {
        for (int i = 0; i < 5; ++i)
            clock.advanceMs(200), log.tick();
        view.statusLine->refresh();
        return view.statusLine->lblLogFile->fullText();
    };
    ASSERT_TRUE(QFile::rename(path, path + ".away") && QDir().mkdir(path));  // the file cannot be written
    EXPECT_EQ(
        second().toStdString(),
        QStringLiteral("Logging to %1: 1 row waits to be written (%2)").arg(name, std::strerror(EISDIR)).toStdString());
    EXPECT_EQ(
        second().toStdString(),
        QStringLiteral("Logging to %1: 2 rows wait to be written (%2)").arg(name, std::strerror(EISDIR)).toStdString());
    ASSERT_TRUE(QDir().rmdir(path) && QFile::rename(path + ".away", path));
    EXPECT_EQ(second().toStdString(),
              QStringLiteral("Logging to %1: writing resumed at 09:05:02").arg(name).toStdString());
}

TEST_F(OperatorViewTest, PageKeysTurnOnlyToPagesTheWindowOffers)
{
    const struct {
        int recorders;
        const char* keys;
        int page;
    } cases[] = {{12, "D", 0}, {31, "DD", 2}, {31, "DDD", 2}, {31, "DDU", 1}, {20, "DD", 1}, {31, "U", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.recorders << " recorders, keys " << c.keys);
        auto w = make(c.recorders);
        OperatorView view(*w, state, services);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        for (const char* k = c.keys; *k; ++k)
            QTest::keyClick(w.get(), *k == 'D' ? Qt::Key_PageDown : Qt::Key_PageUp);
        EXPECT_EQ(w->page(), c.page);
    }
}

}  // namespace
}  // namespace rdxmon
