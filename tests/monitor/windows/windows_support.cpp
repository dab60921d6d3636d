#include "windows_support.h"

#include <QApplication>

namespace rdxmon::testing {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "windows_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Lives until the process ends: destroying it among the static
        // destructors would run after Qt's own have gone.
        new QApplication(argc, argv);
    }
}

std::string replyWithValues(const std::vector<std::string>& valueFields) {
    std::string text = "HEAD0 RDX-512\r\nHEAD1 000000\r\n";
    for (const std::string& field : valueFields) {
        // Positions 1..15 hold the status and channel head, 16..25 the value
        // field (with the decimals marker at 23..25).
        std::string line = field == "S" ? "S  CH          " : "N  CH          ";
        if (field != "S") line += field;
        line.resize(25, ' ');
        text += line + "\r\n";
    }
    return text;
}

std::string FakeLink::RWcomm(const std::string& StrAddr, const std::string&, const std::int16_t&,
                             const std::string&) {
    if (!pending) {
        pending = true;
        return {};
    }
    pending = false;
    polled.push_back(StrAddr);
    const auto it = replies.find(StrAddr);
    return it == replies.end() ? std::string(1, '\x1b') : it->second;
}

}  // namespace rdxmon::testing
