#include "logging/LogFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>

namespace rdxmon {

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Writes all of bytes or as much as the file takes; returns the number of
// bytes written, and sets *error on a failure.
qsizetype writeSome(int fd, const QByteArray& bytes, int* error)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            break;
        }
        if (n == 0) {
            *error = ENOSPC;
            break;
        }
        done += n;
    }
    return done;
}

}  // namespace

LogFile::~LogFile()
{
    close();
}

int LogFile::openLocked(int extraFlags, QString* error)
{
    const QByteArray name = QFile::encodeName(path_);
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | extraFlags, 0666);
    if (fd < 0) {
        if (error)
            *error = systemError(errno);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        ::close(fd);
        if (error)
            *error = lockError == EWOULDBLOCK ? QStringLiteral("the file is in use by another program")
                                              : systemError(lockError);
        return -1;
    }
    return fd;
}

bool LogFile::create(const QString& path, const QByteArray& header, QString* error)
{
    close();
    discardUnwritten();
    dropped_ = 0;
    path_ = path;
    const int fd = openLocked(O_CREAT, error);
    if (fd < 0)
        return false;
    int writeError = 0;
    const bool ok = ::ftruncate(fd, 0) == 0 && writeSome(fd, header, &writeError) == header.size();
    if (!ok && error)
        *error = systemError(writeError != 0 ? writeError : errno);
    ::close(fd);
    return ok;
}

bool LogFile::open(QString* error)
{
    if (fd_ >= 0)
        return true;
    fd_ = openLocked(O_APPEND, error);
    return fd_ >= 0;
}

void LogFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
        fd_ = -1;
    }
}

void LogFile::discardUnwritten()
{
    pending_.clear();
    pendingBytes_ = 0;
    frontPartial_ = false;
}

void LogFile::setLimits(int maxRows, qint64 maxBytes)
{
    maxRows_ = std::max(maxRows, 1);
    maxBytes_ = std::max<qint64>(maxBytes, 1);
    enforceLimits();
}

void LogFile::enforceLimits()
{
    while (pending_.size() > (frontPartial_ ? 2u : 1u) &&
           (static_cast<qint64>(pending_.size()) > maxRows_ || pendingBytes_ > maxBytes_)) {
        const auto oldest = frontPartial_ ? pending_.begin() + 1 : pending_.begin();
        pendingBytes_ -= oldest->size();
        pending_.erase(oldest);
        ++dropped_;
    }
}

bool LogFile::append(const QByteArray& row)
{
    pending_.push_back(row);
    pendingBytes_ += row.size();
    enforceLimits();
    return flush();
}

bool LogFile::flush()
{
    if (pending_.empty())
        return true;
    if (!open())
        return false;
    while (!pending_.empty()) {
        QByteArray& row = pending_.front();
        int writeError = 0;
        const qsizetype written = writeSome(fd_, row, &writeError);
        pendingBytes_ -= written;
        if (written < row.size()) {
            row.remove(0, written);
            frontPartial_ = frontPartial_ || written > 0;
            close();  // the next attempt starts with a fresh open
            return false;
        }
        pending_.pop_front();
        frontPartial_ = false;
    }
    // The rows are on disk; close and take the file again for the next row.
    close();
    open();
    return true;
}

}  // namespace rdxmon
