// Loads the link library from the program's folder at run time and creates
// the one link object through the library's exported factory.
#ifndef RDXMON_STARTUP_LINKLOADER_H
#define RDXMON_STARTUP_LINKLOADER_H

#include <QString>

#include "startup/PortChoice.h"

#include "rdx5Comm3.h"

namespace rdxmon {

class LinkLoader {
public:
    LinkLoader() = default;
    // Releases the object, then unloads the library.
    ~LinkLoader();
    LinkLoader(const LinkLoader&) = delete;
    LinkLoader& operator=(const LinkLoader&) = delete;

    // Opens "<programFolder>/libRDX500Comm3.so", looks up its entry points
    // and creates the object by class identity. On failure returns false and
    // sets *error (when given) to a message for the operator naming the
    // library file and the reason, e.g. "The link library libRDX500Comm3.so
    // could not be loaded from /opt/rdx: <reason>. Reinstall the program."
    bool load(const QString& programFolder, QString* error);

    // The link object; null before a successful load and after release().
    rdx::_rdx5Comm3* object() const { return object_; }

    // Installs the notifier the library uses for its PortOpen message
    // (null restores the library's default). Does nothing when not loaded.
    void setNotifier(RDX500Comm3_Notifier notifier, void* context);

    // Has the link open a port COMn as the folder of the files says
    // (PortChoice.h): the device chosen in the communication panel (the
    // choices as they are now, for the whole run), the simulator's link,
    // else the link rule. Does nothing when not loaded.
    void resolvePortsIn(const QString& folder);

    // Releases the link object (which closes the port). Safe to call twice.
    void release();

private:
    void* handle_ = nullptr;
    rdx::_rdx5Comm3* object_ = nullptr;
    decltype(&RDX500Comm3_Release) releaseFn_ = nullptr;
    decltype(&RDX500Comm3_SetNotifier) setNotifierFn_ = nullptr;
    decltype(&RDX500Comm3_SetResolver) setResolverFn_ = nullptr;
    PortRule portRule_;
};

}  // namespace rdxmon

#endif
