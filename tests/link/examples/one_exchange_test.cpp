// The link library's example program against the simulator on its
// pseudo-terminal: the reply of a recorder that answers, and the message for
// one that does not.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

#include "SimProcess.h"

namespace {

TEST(OneExchangeExample, PrintsTheRepliesLinesOrSaysThatNoneCame)
{
    rdxsim::SimProcess sim(RDX_PROGRAM_DIR "/rdx512-sim", {"--addresses", "1-12"});
    struct Case {
        const char* address;
        int status;
        const char* starts;
        int lines;
    };
    for (const Case& c : {Case{"05", 0, "I05!00", 8}, Case{"13", 1, "", 0}}) {
        SCOPED_TRACE(c.address);
        const std::string command = std::string(RDX_ONE_EXCHANGE) + " " + sim.linkPath() + " " + c.address + " 2>&1";
        FILE* out = ::popen(command.c_str(), "r");
        ASSERT_NE(out, nullptr);
        std::string text;
        for (int ch; (ch = std::fgetc(out)) != EOF;)
            text += static_cast<char>(ch);
        const int status = ::pclose(out);
        EXPECT_EQ(WEXITSTATUS(status), c.status) << text;
        if (c.lines == 0) {
            EXPECT_EQ(text, std::string("one-exchange: recorder ") + c.address + " did not answer\n");
            continue;
        }
        EXPECT_EQ(text.rfind(c.starts, 0), 0u) << text;
        int lines = 0;
        for (char ch : text)
            lines += ch == '\n';
        EXPECT_EQ(lines, c.lines) << text;
        EXPECT_EQ(text.find('\r'), std::string::npos);
    }
}

}  // namespace
