// Fakes shared by the channel name tests.
#ifndef RDXMON_TESTS_NAMES_SUPPORT_H
#define RDXMON_TESTS_NAMES_SUPPORT_H

#include <vector>

#include <QString>

#include "names/NamesHost.h"
#include "startup/Services.h"

namespace rdxmon::test {

class FakeMessages : public MessageBoxes {
public:
    void information(const QString& text) override { shown.push_back(text); }
    bool question(const QString& text) override
    {
        shown.push_back(text);
        return true;
    }
    std::vector<QString> shown;
};

class FakeNamesHost : public NamesHost {
public:
    int mPage() const override { return page; }
    void NameSet(int p) override { nameSetPages.push_back(p); }
    void Logdisp(int p) override { logdispPages.push_back(p); }
    int page = 0;
    std::vector<int> nameSetPages;
    std::vector<int> logdispPages;
};

}  // namespace rdxmon::test

#endif
