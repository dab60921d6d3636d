#include "startup/LinkLoader.h"

#include <dlfcn.h>

#include <cstring>
#include <exception>

#include <QDir>
#include <QFile>

#include "startup/PortChoice.h"

namespace rdxmon {

namespace {

QString loadFailure(const QString& folder, const QString& reason)
{
    return QStringLiteral("The link library %1 could not be loaded from %2: %3. Reinstall the program.")
        .arg(QString::fromLatin1(rdx::kLibraryFileName), QDir::toNativeSeparators(folder), reason);
}

QString lastDlError()
{
    const char* text = dlerror();
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown reason");
}

// The library's call for a port's device (on the polling thread).
int resolvePort(int port, char* device, int size, void* context)
{
    const QByteArray path = QFile::encodeName(static_cast<const PortRule*>(context)->path(port));
    if (path.isEmpty() || path.size() >= size)
        return 0;
    std::memcpy(device, path.constData(), static_cast<std::size_t>(path.size()) + 1);
    return 1;
}

}  // namespace

LinkLoader::~LinkLoader()
{
    release();
    if (setResolverFn_)
        setResolverFn_(nullptr, nullptr);
    if (handle_)
        dlclose(handle_);
}

bool LinkLoader::load(const QString& programFolder, QString* error)
{
    release();
    if (handle_) {
        dlclose(handle_);
        handle_ = nullptr;
    }

    auto fail = [&](const QString& reason) {
        if (error)
            *error = loadFailure(programFolder, reason);
        if (handle_) {
            dlclose(handle_);
            handle_ = nullptr;
        }
        releaseFn_ = nullptr;
        setNotifierFn_ = nullptr;
        setResolverFn_ = nullptr;
        return false;
    };

    const QString path = QDir(programFolder).filePath(QString::fromLatin1(rdx::kLibraryFileName));
    dlerror();
    handle_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        return fail(lastDlError());

    auto lookUp = [&](const char* name) -> void* {
        dlerror();
        return dlsym(handle_, name);
    };
    auto create = reinterpret_cast<decltype(&RDX500Comm3_Create)>(lookUp("RDX500Comm3_Create"));
    releaseFn_ = reinterpret_cast<decltype(&RDX500Comm3_Release)>(lookUp("RDX500Comm3_Release"));
    setNotifierFn_ = reinterpret_cast<decltype(&RDX500Comm3_SetNotifier)>(lookUp("RDX500Comm3_SetNotifier"));
    setResolverFn_ = reinterpret_cast<decltype(&RDX500Comm3_SetResolver)>(lookUp("RDX500Comm3_SetResolver"));
    if (!create || !releaseFn_ || !setNotifierFn_ || !setResolverFn_)
        return fail(QStringLiteral("it lacks the entry points RDX500Comm3_Create, RDX500Comm3_Release, "
                                   "RDX500Comm3_SetNotifier and RDX500Comm3_SetResolver"));

    try {
        object_ = create(rdx::kClassId);
    } catch (const std::exception& e) {
        return fail(QStringLiteral("the link object could not be created (%1)").arg(QString::fromUtf8(e.what())));
    }
    if (!object_)
        return fail(QStringLiteral("it does not provide the class %1 %2")
                        .arg(QString::fromLatin1(rdx::kClassName), QString::fromLatin1(rdx::kClassId)));
    return true;
}

void LinkLoader::setNotifier(RDX500Comm3_Notifier notifier, void* context)
{
    if (setNotifierFn_)
        setNotifierFn_(notifier, context);
}

void LinkLoader::resolvePortsIn(const QString& folder)
{
    if (!setResolverFn_)
        return;
    portRule_ = PortRule::takenFrom(folder);
    setResolverFn_(&resolvePort, &portRule_);
}

void LinkLoader::release()
{
    if (object_ && releaseFn_)
        releaseFn_(object_);
    object_ = nullptr;
}

}  // namespace rdxmon
