// The recorder address window: pages, OK, entries that are not numbers, the
// menu command and a short or unwritable address file.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "names/AddressTable.h"
#include "names/frmDVN.h"
#include "startup/Lenient.h"
#include "support/FakeServices.h"
#include "windows/MainDisp.h"

namespace rdxmon {
namespace {

class AddressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        state.programFolder = dir.path();
    }
    QByteArray addressFile() const {
        QFile file(dir.filePath(kAddressFileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    SharedState state;
    rdxtest::RecordingMessages messages;
};

TEST_F(AddressWindowTest, PagesAndOk) {
    frmDVN window(state, messages);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Recorder address setting"));
    EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(state.gDevAddr[30], 31);  // no file: slot k answers to k + 1
    EXPECT_EQ(window.dn[11]->currentText(), QStringLiteral("12"));
    EXPECT_EQ(window.dn[0]->count(), 32);
    EXPECT_TRUE(messages.shown.isEmpty());

    // Slot 01 set to 5; a page switch keeps it in memory only.
    window.dn[0]->setCurrentText(QStringLiteral("5"));
    QTest::mouseClick(window.DVsele[1], Qt::LeftButton);
    EXPECT_EQ(state.gDevAddr[0], 5);
    EXPECT_TRUE(addressFile().isEmpty());
    EXPECT_EQ(window.Label1[0]->text(), QStringLiteral("13"));
    EXPECT_EQ(window.dn[0]->currentText(), QStringLiteral("13"));

    // Page "25 to 31": seven rows, the third column hidden.
    window.DVsele_Click(2);
    for (int r = 0; r < 12; ++r) EXPECT_EQ(window.dn[r]->isHidden(), r >= 7) << r;
    EXPECT_TRUE(window.Label6->isHidden() && window.Label7->isHidden());
    EXPECT_EQ(window.Label1[6]->text(), QStringLiteral("31"));
    // An entry that is not a number keeps the previous address.
    window.dn[6]->setCurrentText(QStringLiteral("x1"));
    window.dn[5]->setCurrentText(QStringLiteral("32"));
    window.DVsele_Click(0);
    EXPECT_EQ(state.gDevAddr[30], 31);
    EXPECT_EQ(state.gDevAddr[29], 32);
    EXPECT_FALSE(window.Label6->isHidden());
    EXPECT_FALSE(window.dn[11]->isHidden());
    EXPECT_EQ(window.dn[0]->currentText(), QStringLiteral("5"));

    window.show();
    window.Command1_Click();
    EXPECT_TRUE(window.isHidden());
    const QByteArray bytes = addressFile();
    ASSERT_EQ(bytes.size(), 62);
    EXPECT_EQ(bytes.left(4), QByteArray("\x05\x00\x02\x00", 4));
    EXPECT_EQ(bytes.mid(58, 4), QByteArray("\x20\x00\x1f\x00", 4));

    // The next load reads the stored table.
    SharedState other;
    other.programFolder = dir.path();
    frmDVN reloaded(other, messages);
    EXPECT_EQ(other.gDevAddr[0], 5);
    EXPECT_EQ(reloaded.dn[0]->currentText(), QStringLiteral("5"));
}

TEST_F(AddressWindowTest, MenuCommandShowsPageZeroWithItsNumbers) {
    state.gInit.RecCount = QStringLiteral("31");
    state.gChTotal = QStringLiteral("186");
    rdxtest::FakeDialogs dialogs;
    rdxtest::FakeClock clock;
    Services services{clock, messages, dialogs};
    MainDisp mainDisp(state, services);
    frmDVN window(state, messages, &mainDisp);
    mainDisp.setAddressWindow(&window);

    window.DVsele_Click(1);  // left on page "13 to 24"
    window.dn[2]->setCurrentText(QStringLiteral("7"));
    mainDisp.dns->trigger();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.page(), 0);
    for (int r = 0; r < 12; ++r) {
        EXPECT_EQ(window.Label1[r]->text(), format00(r + 1));
        EXPECT_EQ(window.dn[r]->currentText(), QString::number(state.gDevAddr[r]));
    }
    EXPECT_EQ(state.gDevAddr[14], 7);
    // The main window stays usable while the address window is open.
    EXPECT_FALSE(window.isModal());
    window.hide();
}

TEST_F(AddressWindowTest, ShortFileIsToldOnceAndUnwritableFolderKeepsTheWindowOpen) {
    {
        QFile file(dir.filePath(kAddressFileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x09\x00\x08\x00", 4));
    }
    frmDVN window(state, messages);
    EXPECT_EQ(state.gDevAddr[0], 9);
    EXPECT_EQ(state.gDevAddr[1], 8);
    EXPECT_EQ(state.gDevAddr[2], 3);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(kAddressFileName));

    window.show();
    state.programFolder = dir.filePath(QStringLiteral("gone"));
    window.dn[3]->setCurrentText(QStringLiteral("20"));
    window.Command1_Click();
    EXPECT_FALSE(window.isHidden());
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(state.gDevAddr[3], 20);  // nothing lost
    // Back to a writable folder: OK stores it.
    state.programFolder = dir.path();
    window.Command1_Click();
    EXPECT_TRUE(window.isHidden());
    EXPECT_EQ(addressFile().size(), 62);
    EXPECT_EQ(addressFile().mid(6, 2), QByteArray("\x14\x00", 2));
}

}  // namespace
}  // namespace rdxmon
