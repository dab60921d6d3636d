#include "startup/LinkLoader.h"

#include <dlfcn.h>

#include <exception>

#include <QDir>

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

}  // namespace

LinkLoader::~LinkLoader()
{
    release();
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
    if (!create || !releaseFn_ || !setNotifierFn_)
        return fail(QStringLiteral("it lacks the entry points RDX500Comm3_Create, RDX500Comm3_Release "
                                   "and RDX500Comm3_SetNotifier"));

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

void LinkLoader::release()
{
    if (object_ && releaseFn_)
        releaseFn_(object_);
    object_ = nullptr;
}

}  // namespace rdxmon
