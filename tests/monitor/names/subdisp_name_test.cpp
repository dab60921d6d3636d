// The channel name window: the 18-byte rule on its boxes, its pages, OK.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "names/ChannelNames.h"
#include "names/Cp932.h"
#include "names/SubDisp_Name.h"
#include "support/FakeServices.h"

namespace rdxmon {
namespace {

// Types text into a box: keys for plain characters, an input method's commit
// for the others (as Japanese text arrives from an input method).
void typeText(QLineEdit* box, const QString& text)
{
    for (QChar ch : text) {
        if (ch.unicode() < 0x80) {
            QTest::keyClicks(box, QString(ch));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(ch));
            QApplication::sendEvent(box, &commit);
        }
    }
}

class NameWindowTest : public testing::Test {
protected:
    void setRecorders(int count)
    {
        state.gInit.RecCount = QString::number(count).rightJustified(2, QLatin1Char(' '));
        state.gChTotal = QString::number(count * 6);
    }
    std::unique_ptr<SubDisp_Name> makeWindow()
    {
        state.programFolder = dir.path();
        return std::make_unique<SubDisp_Name>(state, messages, host);
    }
    QString namesPath() const { return QDir(dir.path()).filePath(kNamesFileName); }

    QTemporaryDir dir;
    SharedState state;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeNamesHost host;
};

TEST_F(NameWindowTest, BoxesKeepAtMostEighteenBytes)
{
    setRecorders(1);
    auto window = makeWindow();
    window->NameLoad();
    window->show();
    QLineEdit* box = window->txtName[0];
    EXPECT_EQ(box->text(), QStringLiteral("Channel 01-1  ( 1)"));
    // A program-set name is 18 characters with its blanks: nothing more fits.
    box->setFocus();
    box->end(false);
    QTest::keyClicks(box, QStringLiteral("x"));
    EXPECT_EQ(box->text(), QStringLiteral("Channel 01-1  ( 1)"));

    box->clear();
    QTest::keyClicks(box, QString(20, QLatin1Char('a')));
    EXPECT_EQ(box->text(), QString(18, QLatin1Char('a')));

    box->clear();
    typeText(box, QString(17, QLatin1Char('b')) + QString::fromUtf8("温"));
    EXPECT_EQ(box->text(), QString(17, QLatin1Char('b')));
    EXPECT_EQ(box->cursorPosition(), 17);

    const QString nine = QString::fromUtf8("温度計温度計温度計");
    box->clear();
    typeText(box, nine + QStringLiteral("z"));
    EXPECT_EQ(box->text(), nine);

    box->clear();
    QApplication::clipboard()->setText(QStringLiteral("0123456789abcdefghijklmnopqrst"));
    box->paste();
    EXPECT_EQ(box->text(), QStringLiteral("0123456789abcdefgh"));

    // Nine double-byte characters stored with their blanks show without them.
    box->setText(fitName(nine));
    EXPECT_EQ(box->text(), nine);
    // Typing inside the name pushes its end out; the cursor stays put.
    box->setText(QString(16, QLatin1Char('c')));
    box->setCursorPosition(4);
    typeText(box, QString::fromUtf8("温温"));
    EXPECT_EQ(box->text(), QStringLiteral("cccc") + QString::fromUtf8("温温") + QString(10, QLatin1Char('c')));
    EXPECT_EQ(box->cursorPosition(), 6);
}

TEST_F(NameWindowTest, OneRecorderShowsSixRowsAndNoPageButtons)
{
    setRecorders(1);
    auto window = makeWindow();
    window->NameLoad();
    EXPECT_TRUE(window->windowTitle() == QStringLiteral("Channel name registration"));
    EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
    for (int r = 0; r < SubDisp_Name::kRows; ++r) {
        EXPECT_EQ(window->txtName[r]->isVisibleTo(window.get()), r < 6) << r;
        EXPECT_EQ(window->Label2[r]->isVisibleTo(window.get()), r < 6) << r;
    }
    EXPECT_EQ(window->Label2[5]->text(), QStringLiteral("01-6"));
    EXPECT_FALSE(window->DVsele1->isVisibleTo(window.get()));
    EXPECT_FALSE(window->DVsele3->isVisibleTo(window.get()));
    EXPECT_TRUE(window->Label1[0]->isVisibleTo(window.get()));
    EXPECT_FALSE(window->Label1[1]->isVisibleTo(window.get()));
    EXPECT_EQ(window->Label1[0]->text(), QStringLiteral("No.    Name"));
    EXPECT_TRUE(QFile::exists(namesPath()));

    // Escape and the frame's close do not leave the window.
    window->show();
    QTest::keyClick(window.get(), Qt::Key_Escape);
    window->close();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(NameWindowTest, PagesKeepEntriesAndOkSavesAndRefreshes)
{
    setRecorders(28);
    host.page = 1;
    auto window = makeWindow();
    window->NameLoad();
    EXPECT_EQ(host.nameSetPages, std::vector<int>{1});
    EXPECT_TRUE(window->DVsele3->isVisibleTo(window.get()));

    window->txtName[0]->setText(QStringLiteral("Alpha"));
    QTest::mouseClick(window->DVsele2, Qt::LeftButton);
    EXPECT_EQ(window->Label2[0]->text(), QStringLiteral("13-1"));
    window->txtName[0]->setText(QStringLiteral("Beta \"B\""));
    QTest::mouseClick(window->DVsele3, Qt::LeftButton);
    EXPECT_EQ(window->Label2[41]->text(), QStringLiteral("31-6"));
    EXPECT_TRUE(window->txtName[23]->isVisibleTo(window.get()));    // 28-6
    EXPECT_FALSE(window->txtName[24]->isVisibleTo(window.get()));   // 29-1, not polled
    EXPECT_FALSE(window->txtName[42]->isVisibleTo(window.get()));
    EXPECT_FALSE(window->Label1[1]->isVisibleTo(window.get()));
    window->txtName[40]->setText(QStringLiteral("Hidden row"));     // 31-5 is not polled
    QTest::mouseClick(window->DVsele1, Qt::LeftButton);
    EXPECT_EQ(window->txtName[0]->text(), QStringLiteral("Alpha             "));

    window->show();
    QTest::mouseClick(window->cmdOK, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(host.nameSetPages, (std::vector<int>{1, 1}));
    EXPECT_EQ(host.logdispPages, (std::vector<int>{1, 1}));
    const NamesLoadResult stored = loadChannelNames(dir.path());
    EXPECT_EQ(stored.table[0].Name, QStringLiteral("Alpha             "));
    EXPECT_EQ(stored.table[72].Name, QStringLiteral("Beta \"B\"          "));
    EXPECT_EQ(stored.table[184].Name, QStringLiteral("Hidden row        "));

    // Left on page 2 and opened again: page 0 with the stored names.
    QTest::mouseClick(window->DVsele3, Qt::LeftButton);
    window->NameLoad();
    EXPECT_EQ(window->mNamePage(), 0);
    EXPECT_EQ(window->Label2[0]->text(), QStringLiteral("01-1"));
    EXPECT_EQ(window->txtName[0]->text(), QStringLiteral("Alpha             "));
    EXPECT_TRUE(window->txtName[71]->isVisibleTo(window.get()));
    EXPECT_TRUE(window->Label1[2]->isVisibleTo(window.get()));
}

TEST_F(NameWindowTest, FileProblemsAreToldAndLoseNothing)
{
    setRecorders(1);
    QFile file(namesPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Short");
    file.close();
    auto window = makeWindow();
    window->NameLoad();
    window->NameLoad();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QStringLiteral("shorter")));

    // The folder disappears: OK tells so and the window stays open with the entry.
    window->show();
    window->txtName[2]->setText(QStringLiteral("Kept"));
    state.programFolder = QDir(dir.path()).filePath(QStringLiteral("gone"));
    EXPECT_FALSE(window->cmdOK_Click());
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown[1].contains(QStringLiteral("could not be saved")));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(state.gChannel[2].Name, QStringLiteral("Kept              "));
    EXPECT_TRUE(host.nameSetPages.size() == 2u);  // the two loads, not the failed OK
}

}  // namespace
}  // namespace rdxmon
