#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "fakes_support.h"
#include "windows/frmAbout.h"

using rdxmon::frmAbout;

TEST(VersionWindow, ShowsItsTextsAndIcon)
{
    frmAbout window;
    EXPECT_EQ(window.windowTitle(), "Version information");
    EXPECT_EQ(window.lblTitle->text(), "RDX-512 monitor software");
    EXPECT_EQ(window.Lbl_Type->text(), "RDXMON-1");
    EXPECT_EQ(window.lblVersion->text(), "Version 1.0.4");
    EXPECT_EQ(window.lblDescription->text(),
              "Copyright (C) Process Instruments Co., Ltd. All rights reserved.");
    EXPECT_EQ(window.cmdOK->text(), "OK");
    ASSERT_FALSE(window.Image1->pixmap().isNull());
    EXPECT_EQ(window.Image1->pixmap().size(), QSize(64, 64));

    // The etched separator: grey over white.
    window.show();
    const QImage line = window.Line1->grab().toImage();
    ASSERT_EQ(line.height(), 2);
    EXPECT_EQ(line.pixelColor(line.width() / 2, 0), QColor(128, 128, 128));
    EXPECT_EQ(line.pixelColor(line.width() / 2, 1), QColor(255, 255, 255));
}

TEST(VersionWindow, ModalOverTheMainWindowAndOkClosesIt)
{
    QWidget mainWindow;
    mainWindow.show();
    QString seenTitle;
    rdxtest::WhenModalShown([&seenTitle, &mainWindow](QWidget* modal) {
        seenTitle = modal->windowTitle();
        EXPECT_EQ(modal->parentWidget(), &mainWindow);
        auto* ok = modal->findChild<QPushButton*>("cmdOK");
        if (ok == nullptr) {
            ADD_FAILURE() << "no OK button";
            modal->close();
            return;
        }
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    rdxmon::ShowVersionInformation(&mainWindow);  // returns once OK closed it
    EXPECT_EQ(seenTitle, "Version information");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(VersionWindow, TheIconAndDesktopEntryLieBesideTheProgram)
{
    const QImage icon(RDX_PROGRAM_DIR "/rdxmon.png");
    EXPECT_EQ(icon.size(), QSize(128, 128));
    QFile desktop(RDX_PROGRAM_DIR "/rdxmon.desktop");
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    EXPECT_TRUE(entry.contains("Exec=" RDX_PROGRAM_DIR "/RDXMON-1_V104"));
    EXPECT_TRUE(entry.contains("Icon=" RDX_PROGRAM_DIR "/rdxmon.png"));
}
