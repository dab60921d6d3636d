// The PortOpen message: shown through the notifier the program set, or
// written to standard error without one.
#include <cstdio>
#include <mutex>
#include <new>

#include "link_p.h"
#include "rdx5Comm3.h"

namespace rdx {
namespace {

std::mutex notifierMutex;
MessageNotifier currentNotifier;

void writeToStandardError(const std::string& text, const std::string& title)
{
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
}

}  // namespace

void setMessageNotifier(MessageNotifier notifier)
{
    std::lock_guard lock(notifierMutex);
    currentNotifier = std::move(notifier);
}

namespace detail {

void showMessage(const std::string& text, const std::string& title)
{
    MessageNotifier notifier;
    {
        std::lock_guard lock(notifierMutex);
        notifier = currentNotifier;
    }
    if (notifier)
        notifier(text, title);
    else
        writeToStandardError(text, title);
}

}  // namespace detail
}  // namespace rdx
