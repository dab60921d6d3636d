// The PortOpen message, the hosting program's device lookup and the C entry
// points of the library.
#include <cctype>
#include <cstdio>
#include <mutex>
#include <new>
#include <string_view>

#include "link_p.h"
#include "rdx5Comm3.h"

namespace rdx {
namespace {

std::mutex notifierMutex;
MessageNotifier currentNotifier;
std::mutex resolverMutex;
DeviceResolver currentResolver;

void writeToStandardError(const std::string& text, const std::string& title)
{
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view withoutBraces(std::string_view id)
{
    if (id.size() >= 2 && id.front() == '{' && id.back() == '}')
        return id.substr(1, id.size() - 2);
    return id;
}

bool isOurClass(std::string_view identity)
{
    return equalsIgnoringCase(withoutBraces(identity), withoutBraces(kClassId)) ||
           equalsIgnoringCase(identity, kProgId);
}

}  // namespace

void setMessageNotifier(MessageNotifier notifier)
{
    std::lock_guard lock(notifierMutex);
    currentNotifier = std::move(notifier);
}

void setDeviceResolver(DeviceResolver resolver)
{
    std::lock_guard lock(resolverMutex);
    currentResolver = std::move(resolver);
}

namespace detail {

std::string hostDevicePath(int port)
{
    DeviceResolver resolver;
    {
        std::lock_guard lock(resolverMutex);
        resolver = currentResolver;
    }
    if (resolver) {
        std::string device = resolver(port);
        if (!device.empty())
            return device;
    }
    return defaultDevicePath(port);
}

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

std::optional<std::int32_t> leadingNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value <= INT32_MAX)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

}  // namespace detail
}  // namespace rdx

extern "C" {

rdx::_rdx5Comm3* RDX500Comm3_Create(const char* identity)
{
    if (identity == nullptr || !rdx::isOurClass(identity))
        return nullptr;
    try {
        return new rdx::rdx5Comm3();
    } catch (...) {
        return nullptr;
    }
}

void RDX500Comm3_Release(rdx::_rdx5Comm3* object)
{
    delete object;
}

void RDX500Comm3_SetNotifier(RDX500Comm3_Notifier notifier, void* context)
{
    try {
        if (notifier == nullptr) {
            rdx::setMessageNotifier({});
            return;
        }
        rdx::setMessageNotifier([notifier, context](const std::string& text, const std::string& title) {
            notifier(text.c_str(), title.c_str(), context);
        });
    } catch (...) {
        // Only a failed allocation can get here; the previous notifier stays.
    }
}

void RDX500Comm3_SetResolver(RDX500Comm3_Resolver resolver, void* context)
{
    try {
        if (resolver == nullptr) {
            rdx::setDeviceResolver({});
            return;
        }
        rdx::setDeviceResolver([resolver, context](int port) {
            char device[4096] = {};
            if (resolver(port, device, static_cast<int>(sizeof device), context) == 0)
                return std::string();
            device[sizeof device - 1] = '\0';
            return std::string(device);
        });
    } catch (...) {
        // Only a failed allocation can get here; the previous lookup stays.
    }
}

}  // extern "C"
