#include "startup/AtomicFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace rdxmon {

namespace {

// 0, or the errno of the failure.
int writeAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    return 0;
}

// 0, or the errno of the failure.
int readAll(const QByteArray& name, QByteArray* out)
{
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    char buffer[8192];
    int code = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            code = errno;
        if (n <= 0)
            break;
        out->append(buffer, n);
    }
    ::close(fd);
    return code;
}

}  // namespace

QString systemErrorText(int error)
{
    char buffer[256];
    return QString::fromLocal8Bit(strerror_r(error, buffer, sizeof buffer));
}

bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error, LaterBytes later)
{
    const auto fail = [error](int code) {
        if (error)
            *error = systemErrorText(code);
        return false;
    };
    const QFileInfo link(path);
    const QString target = link.isSymLink() ? link.symLinkTarget() : path;
    const QByteArray name = QFile::encodeName(target);

    struct stat old {};
    const bool exists = ::stat(name.constData(), &old) == 0;
    if (!exists && errno != ENOENT)
        return fail(errno);
    if (exists && S_ISDIR(old.st_mode))
        return fail(EISDIR);
    QByteArray content = bytes;
    if (exists && later == LaterBytes::Keep) {
        QByteArray present;
        if (const int code = readAll(name, &present); code != 0)
            return fail(code);  // its later bytes could not be kept
        content += present.mid(bytes.size());
    }

    // The new file beside the old one, under a name of its own.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = name + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return fail(errno);
    }
    if (fd < 0)
        return fail(EEXIST);

    int code = writeAll(fd, content);
    if (code == 0 && exists) {
        // The old file's permissions and, where allowed, its owner.
        ::fchmod(fd, old.st_mode & 07777);
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            const int owned = ::fchown(fd, old.st_uid, old.st_gid);  // root only; else the file is ours
            static_cast<void>(owned);
        }
    }
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::rename(temp.constData(), name.constData()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(temp.constData());
        return fail(code);
    }
    // The new name on the disk too.
    const QByteArray folder = QFile::encodeName(QFileInfo(target).absolutePath());
    if (const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace rdxmon
