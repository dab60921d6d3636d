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
    new QApplication(argc, argv);  // lives on: widgets in static storage go after it
}

namespace {
class ApplicationEnvironment : public ::testing::Environment {
    void SetUp() override { ensureApplication(); }
};
const auto* const kApplication = ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
}  // namespace

}  // namespace rdxtest
