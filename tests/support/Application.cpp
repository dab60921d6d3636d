#include "support/Application.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace rdxtest {

void ensureApplication()
{
    if (QApplication::instance() != nullptr)
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "rdxmon_test";
    static char* argv[] = {name, nullptr};
    // Lives until the process ends: widgets a test keeps in static storage
    // go after it, and they need it.
    new QApplication(argc, argv);
}

namespace {

class ApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ensureApplication(); }
};

const ::testing::Environment* const kApplication =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

}  // namespace

}  // namespace rdxtest
