// The channel name window (18-byte boxes, rows by recorder count, pages, OK)
// and the recorder address window (pages, OK, damaged files).
#include "names/AddressTable.h"
#include "names/ChannelNames.h"
#include "names/Cp932.h"
#include "names/SubDisp_Name.h"
#include "names/frmDVN.h"
#include "support/FakeServices.h"
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace rdxmon {
namespace {

class NamesWindows : public testing::Test {
protected:
    std::unique_ptr<SubDisp_Name> nameWindow(int recorders)
    {
        state.gInit.RecCount = QStringLiteral("31");  // stored for the next start only
        state.gRecTotal = recorders;
        state.gChTotal = QString::number(recorders * 6);
        state.programFolder = dir.path();
        auto window = std::make_unique<SubDisp_Name>(state, messages, host);
        window->NameLoad();
        return window;
    }
    QTemporaryDir dir;
    SharedState state;
    rdxtest::RecordingMessages messages;
    rdxtest::FakeNamesHost host;
};

TEST_F(NamesWindows, NameRowsHeadingsAndPageButtonsFollowTheRecorderCountOfTheRun)
{
    const struct {
        int recorders, page, rows;
        bool heading1, heading2, buttons, button3;
    } cases[] = {{1, 0, 6, false, false, false, false}, {5, 0, 30, true, false, false, false},
                 {9, 0, 54, true, true, false, false},  {13, 1, 6, false, false, true, false},
                 {28, 2, 24, false, false, true, true}, {31, 2, 42, true, false, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.recorders << " recorders, page " << c.page);
        auto window = nameWindow(c.recorders);
        window->showPage(c.page);
        for (int r = 0; r < SubDisp_Name::kRows; ++r)
            ASSERT_EQ(window->txtName[r]->isVisibleTo(window.get()), r < c.rows) << r;
        EXPECT_EQ(window->Label1[1]->isVisibleTo(window.get()), c.heading1);
        EXPECT_EQ(window->Label1[2]->isVisibleTo(window.get()), c.heading2);
        EXPECT_EQ(window->DVsele1->isVisibleTo(window.get()), c.buttons);
        EXPECT_EQ(window->DVsele3->isVisibleTo(window.get()), c.button3);
    }
}

TEST_F(NamesWindows, NameBoxesHoldEighteenBytesPagesKeepEntriesOkSavesAndAFailedSaveLosesNothing)
{
    host.page = 1;
    auto window = nameWindow(28);
    QLineEdit* box = window->txtName[1];
    box->clear();
    for (QChar ch : QString(17, QLatin1Char('b')) + QString::fromUtf8("温")) {
        QInputMethodEvent commit;  // as text arrives from an input method
        commit.setCommitString(QString(ch));
        QApplication::sendEvent(box, &commit);
    }
    EXPECT_EQ(box->text(), QString(17, QLatin1Char('b')));
    QApplication::clipboard()->setText(QStringLiteral("0123456789abcdefghijklmnopqrst"));
    box->selectAll();
    box->paste();
    EXPECT_EQ(box->text(), QStringLiteral("0123456789abcdefgh"));
    box->setText(fitName(QString::fromUtf8("温度計温度計温度計")));  // stored with blanks: shown without
    EXPECT_EQ(box->text(), QString::fromUtf8("温度計温度計温度計"));
    window->txtName[0]->setText(QStringLiteral("Alpha"));
    QTest::mouseClick(window->DVsele3, Qt::LeftButton);
    window->txtName[40]->setText(QStringLiteral("Hidden row"));  // 31-5 is not polled
    window->show();
    state.programFolder = dir.filePath(QStringLiteral("gone"));
    EXPECT_FALSE(window->cmdOK_Click());
    EXPECT_TRUE(messages.shown.size() == 1 && messages.shown[0].contains(kNamesFileName));
    EXPECT_TRUE(window->isVisible());

    state.programFolder = dir.path();
    QTest::mouseClick(window->cmdOK, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(host.nameSetPages, (std::vector<int>{1, 1}));  // the load and OK
    const NamesLoadResult stored = loadChannelNames(dir.path());
    EXPECT_EQ(stored.table[0].Name, QStringLiteral("Alpha             "));
    EXPECT_EQ(stored.table[1].Name, QStringLiteral("温度計温度計温度計") + QString(9, QLatin1Char(' ')));
    EXPECT_EQ(stored.table[184].Name, QStringLiteral("Hidden row        "));
    window->NameLoad();  // opened again: page 0
    EXPECT_EQ(window->mNamePage(), 0);
    EXPECT_EQ(window->txtName[0]->text(), QStringLiteral("Alpha             "));
}

TEST_F(NamesWindows, TheBoxBeingEditedTellsItsBytesAndWhatTheFileCannotHold)
{
    auto window = nameWindow(1);
    QLineEdit* box = window->txtName[2];
    box->clear();
    const struct {
        QString typed;
        QString told;  // the start of what lblNameBytes says
    } steps[] = {
        {QStringLiteral("Tank"), QStringLiteral("01-3: 4 of 18 bytes used, 14 left.")},
        {QString::fromUtf8("温"), QStringLiteral("01-3: 6 of 18 bytes used, 12 left.")},
        {QString::fromUtf8("ü"), QString::fromUtf8("01-3: 7 of 18 bytes used, 11 left. “ü” cannot be stored")},
    };
    for (const auto& step : steps) {
        QInputMethodEvent commit;  // as text arrives from an input method
        commit.setCommitString(step.typed);
        QApplication::sendEvent(box, &commit);
        EXPECT_TRUE(window->lblNameBytes->text().startsWith(step.told)) << window->lblNameBytes->text().toStdString();
    }
    EXPECT_EQ(window->Label52->text(), QStringLiteral("Input a channel name with less than eighteen characters."));
}

TEST_F(NamesWindows, ADamagedNamesFileIsCopiedBeforeAChannelButtonWritesIt)
{
    const QByteArray shortFile = QByteArray("Pump inlet        \0\0", 20) + "Half";
    QFile f(dir.filePath(kNamesFileName));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(shortFile) == shortFile.size());
    f.close();
    auto window = nameWindow(1);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(kNamesBackupFileName));
    state.gChannel[1].LogSel = 0;  // a channel button
    ASSERT_TRUE(window->SaveNames());
    QFile bak(dir.filePath(kNamesBackupFileName));
    EXPECT_TRUE(bak.open(QIODevice::ReadOnly) && bak.readAll() == shortFile);
    EXPECT_EQ(QFileInfo(f).size(), kNamesFileSize);
}

TEST_F(NamesWindows, AddressPagesKeepEntriesInMemoryAndOkWritesTheFile)
{
    state.programFolder = dir.path();
    frmDVN window(state, messages);
    EXPECT_EQ(state.gDevAddr[30], 31);  // no file: slot k answers to k + 1, silently
    window.dn[0]->setCurrentText(QStringLiteral("5"));
    QTest::mouseClick(window.DVsele[2], Qt::LeftButton);
    EXPECT_EQ(state.gDevAddr[0], 5);
    EXPECT_FALSE(QFile::exists(dir.filePath(kAddressFileName)));
    for (int r = 0; r < 12; ++r)
        EXPECT_EQ(window.dn[r]->isHidden(), r >= 7) << r;
    window.dn[6]->setCurrentText(QStringLiteral("x1"));  // not a number: keeps 31
    window.dn[5]->setCurrentText(QStringLiteral("32"));
    window.showFromMenu();  // back on page "01 to 12" with its own numbers
    EXPECT_EQ(window.Label1[0]->text(), QStringLiteral("01"));
    EXPECT_EQ(window.dn[0]->currentText(), QStringLiteral("5"));
    window.Command1_Click();
    EXPECT_TRUE(window.isHidden() && messages.shown.isEmpty());
    EXPECT_EQ(loadAddressTable(dir.path()).table, state.gDevAddr);
    EXPECT_TRUE(state.gDevAddr[29] == 32 && state.gDevAddr[30] == 31);
}

TEST_F(NamesWindows, AShortOrUnreadableAddressFileIsToldKeptAndBackedUpAtOk)
{
    const QByteArray shortFile("\x09\x00\x08\x00\x07", 5);  // two whole records
    for (const bool unreadable : {false, true}) {
        SCOPED_TRACE(unreadable ? "unreadable: a folder in its place" : "short");
        QTemporaryDir folder;
        state.programFolder = folder.path();
        const QString path = folder.filePath(kAddressFileName);
        QFile f(path);
        ASSERT_TRUE(unreadable ? QDir().mkdir(path) : f.open(QIODevice::WriteOnly) && f.write(shortFile) == 5);
        f.close();
        messages.shown.clear();
        frmDVN window(state, messages);
        EXPECT_TRUE(state.gDevAddr[0] == (unreadable ? 1 : 9) && state.gDevAddr[2] == 3);
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_TRUE(messages.shown[0].contains(path) && messages.shown[0].contains(".bak"));

        window.show();
        window.dn[3]->setCurrentText(QStringLiteral("20"));
        window.Command1_Click();
        if (unreadable) {  // OK cannot write either: told, the window stays, nothing lost
            EXPECT_TRUE(messages.shown.size() == 2 && !window.isHidden());
            ASSERT_TRUE(QDir(path).removeRecursively());
            window.Command1_Click();
        } else {
            QFile bak(path + QStringLiteral(".bak"));
            EXPECT_TRUE(bak.open(QIODevice::ReadOnly) && bak.readAll() == shortFile);
        }
        EXPECT_TRUE(window.isHidden());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.read(8), QByteArray(unreadable ? "\x01\0\x02\0\x03\0\x14\0" : "\x09\0\x08\0\x03\0\x14\0", 8));
    }
}

}  // namespace
}  // namespace rdxmon
