// Layout rules of the main window by the number of recorders, and the
// geometry that keeps every visible control inside the window.
#include <gtest/gtest.h>

#include "windows/Layout.h"

namespace layout = rdxmon::layout;

namespace {

struct Expected {
    int recorders;
    int widthTwips, heightTwips;
    bool heading1, heading2;
    bool page1, page2, page3;
};

}  // namespace

TEST(Layout, RulesByNumberOfRecorders) {
    const Expected cases[] = {
        {1, 7050, 3855, false, false, false, false, false},
        {4, 7050, 9225, false, false, false, false, false},
        {5, 9315, 9225, true, false, false, false, false},
        {8, 9315, 9225, true, false, false, false, false},
        {12, 13695, 9225, true, true, false, false, false},
        {13, 13695, 9225, true, true, true, true, false},
        {24, 13695, 9225, true, true, true, true, false},
        {25, 13695, 9225, true, true, true, true, true},
        {31, 13695, 9225, true, true, true, true, true},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.recorders);
        EXPECT_EQ(layout::windowWidthTwips(e.recorders), e.widthTwips);
        EXPECT_EQ(layout::windowHeightTwips(e.recorders), e.heightTwips);
        EXPECT_EQ(layout::windowWidthPixels(e.recorders), e.widthTwips / 15);
        EXPECT_TRUE(layout::headingVisible(e.recorders, 0, 0));
        EXPECT_EQ(layout::headingVisible(e.recorders, 0, 1), e.heading1);
        EXPECT_EQ(layout::headingVisible(e.recorders, 0, 2), e.heading2);
        EXPECT_EQ(layout::pageButtonVisible(e.recorders, 0), e.page1);
        EXPECT_EQ(layout::pageButtonVisible(e.recorders, 1), e.page2);
        EXPECT_EQ(layout::pageButtonVisible(e.recorders, 2), e.page3);
        // Frames of page 0: exactly the channels in use, at most 72.
        int visible = 0;
        for (int i = 0; i < 72; ++i) visible += layout::frameVisible(e.recorders * 6, 0, i) ? 1 : 0;
        EXPECT_EQ(visible, std::min(e.recorders * 6, 72));
    }
    EXPECT_EQ(layout::windowHeightTwips(2), 5940);
    EXPECT_EQ(layout::windowHeightTwips(3), 7965);
    EXPECT_EQ(layout::windowHeightPixels(1), 257);
}

TEST(Layout, LaterPages) {
    // 13 recorders: page 1 shows recorder 13 only, under the first heading.
    for (int i = 0; i < 72; ++i) EXPECT_EQ(layout::frameVisible(13 * 6, 1, i), i < 6) << i;
    EXPECT_FALSE(layout::headingVisible(13, 1, 1));
    // 31 recorders: page 2 shows 42 places under headings 0 and 1.
    int visible = 0;
    for (int i = 0; i < 72; ++i) visible += layout::frameVisible(186, 2, i) ? 1 : 0;
    EXPECT_EQ(visible, 42);
    EXPECT_TRUE(layout::headingVisible(31, 2, 1));
    EXPECT_FALSE(layout::headingVisible(31, 2, 2));
    EXPECT_TRUE(layout::headingVisible(17, 1, 1));
    EXPECT_FALSE(layout::headingVisible(20, 1, 2));
    EXPECT_TRUE(layout::headingVisible(21, 1, 2));
}

TEST(Layout, VisibleControlsFitEveryWindowSize) {
    for (int menuBar : {22, 30}) {
        for (int n = 1; n <= 31; ++n) {
            SCOPED_TRACE(testing::Message() << n << " recorders, menu bar " << menuBar);
            const int clientHeight = layout::windowHeightPixels(n) - menuBar;
            const layout::Rect client{0, 0, layout::windowWidthPixels(n), clientHeight};
            const layout::Rect block = layout::loggingBlockRect(clientHeight);
            EXPECT_TRUE(client.contains(block));
            for (int i = 0; i < 72; ++i) {
                if (!layout::frameVisible(n * 6, 0, i)) continue;
                const layout::Rect frame = layout::frameRect(i);
                EXPECT_TRUE(client.contains(frame)) << "frame " << i;
                EXPECT_FALSE(frame.intersects(block)) << "frame " << i;
            }
            for (int h = 0; h < 3; ++h) {
                if (layout::headingVisible(n, 0, h)) {
                    EXPECT_TRUE(client.contains(layout::headingRect(h)));
                }
            }
            for (int p = 0; p < 3; ++p) {
                if (!layout::pageButtonVisible(n, p)) continue;
                const layout::Rect button = layout::pageButtonRect(p, clientHeight);
                EXPECT_TRUE(client.contains(button));
                EXPECT_FALSE(button.intersects(block));
            }
            EXPECT_TRUE(client.contains(layout::commPanelRect()));
        }
    }
    // Inside the block and the panel, controls stay within their parent.
    const layout::LoggingBlock b = layout::loggingBlock();
    const layout::Rect blockArea{0, 0, layout::loggingBlockRect(600).width, layout::loggingBlockRect(600).height};
    for (const layout::Rect& r : {b.lblChartSpeed, b.lblLogitv, b.updLogtitv, b.optTime1, b.optTime2, b.optName1,
                                  b.optName2, b.cmdRUN, b.cmdStop, b.lblMsg}) {
        EXPECT_TRUE(blockArea.contains(r));
    }
    const layout::CommPanel c = layout::commPanel();
    const layout::Rect panelArea{0, 0, layout::commPanelRect().width, layout::commPanelRect().height};
    for (const layout::Rect& r :
         {c.portCaption, c.Combo1, c.speedCaption, c.Combo2, c.countCaption, c.lblCh, c.updCh, c.cmdCommOK}) {
        EXPECT_TRUE(panelArea.contains(r));
    }
    // Frames of one column do not overlap; the three columns stand apart.
    for (int i = 0; i + 1 < 72; ++i) EXPECT_FALSE(layout::frameRect(i).intersects(layout::frameRect(i + 1)));
    EXPECT_FALSE(layout::frameRect(0).intersects(layout::frameRect(24)));
    // The name label holds 18 characters of about 7 pixels.
    EXPECT_GE(layout::nameLabelRect().width, 18 * 7);
}
