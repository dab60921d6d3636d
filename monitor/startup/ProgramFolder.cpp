#include "startup/ProgramFolder.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
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

FilesFolderChoice chooseFilesFolder(const QString& given, const QString& programFolder,
                                    const rdxfiles::Environment& environment)
{
    FilesFolderChoice choice;
    if (!given.isEmpty()) {
        const QFileInfo folder(given);
        choice.path = QDir::cleanPath(folder.absoluteFilePath());
        if (!folder.isDir())
            choice.problem = QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(choice.path));
        return choice;
    }
    const std::string chosen = rdxfiles::filesFolder(QFile::encodeName(programFolder).toStdString(), environment);
    choice.path = QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(chosen)));
    std::string reason;
    if (!rdxfiles::makeFolder(chosen, &reason)) {
        choice.problem = chosen.empty()
            ? QStringLiteral("No folder for the settings and logs: the program's folder %1 cannot be written "
                             "and no home folder is known.")
                  .arg(QDir::toNativeSeparators(programFolder))
            : QStringLiteral("The folder %1 for the settings and logs cannot be made: %2.")
                  .arg(QDir::toNativeSeparators(choice.path), QString::fromLocal8Bit(reason.c_str()));
    }
    return choice;
}

QString filesFolderText(const QString& folder)
{
    return QStringLiteral("Files (settings and logs): %1").arg(QDir::toNativeSeparators(folder));
}

}  // namespace rdxmon
