#include "startup/ProgramFolder.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace rdxmon {

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();

    char buffer[4096];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (length <= 0)
        return {};
    return QFileInfo(QFile::decodeName(QByteArray(buffer, static_cast<int>(length)))).absolutePath();
}

}  // namespace rdxmon
