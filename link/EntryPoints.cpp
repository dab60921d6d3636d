// The library's C entry points, looked up by name when a program loads the
// library at run time: create the object by class identity or programmatic
// name, release it, set the handler of the library's messages and the
// hosting program's device lookup.
#include <cctype>
#include <string_view>

#include "link_p.h"
#include "rdx5Comm3.h"

namespace rdx {
namespace {

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
    return equalsIgnoringCase(withoutBraces(identity), withoutBraces(kClassId))
        || equalsIgnoringCase(identity, kProgId);
}

}  // namespace
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
