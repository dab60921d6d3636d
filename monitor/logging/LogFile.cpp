#include "logging/LogFile.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "startup/AtomicFile.h"

namespace rdxmon {

namespace {

// The reason for an errno value; a lock held elsewhere in words of its own.
QString reasonFor(int code)
{
    return code == EWOULDBLOCK ? QStringLiteral("the file is in use by another program") : systemErrorText(code);
}

// Opens name for writing and takes the lock; -1 with *code set on failure
// (EWOULDBLOCK when another program holds the lock).
int openLocked(const QByteArray& name, int extraFlags, int* code)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | extraFlags);
    if (fd < 0) {
        *code = errno;
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *code = errno;
        ::close(fd);
        return -1;
    }
    return fd;
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

bool LogFile::create(const QString& path, const QByteArray& header, QString* error)
{
    attach(path, header);
    const auto failed = [&](const QString& reason) {
        error_ = reason;
        if (error)
            *error = reason;
        return false;
    };

    // An existing file is held under its lock until the new one has taken
    // its name: a file another program logs to stays as it is.
    const QByteArray name = QFile::encodeName(path_);
    int code = 0;
    const int present = openLocked(name, 0, &code);
    if (present < 0 && code != ENOENT)
        return failed(reasonFor(code));
    QString reason;
    const bool made = writeFileAtomically(path_, header_, &reason);
    struct stat madeFile {};
    if (made && ::stat(name.constData(), &madeFile) == 0) {
        known_ = true;
        device_ = madeFile.st_dev;
        inode_ = madeFile.st_ino;
    }
    if (present >= 0)
        ::close(present);
    return made || failed(reason);
}

void LogFile::attach(const QString& path, const QByteArray& header)
{
    close();
    discardUnwritten();
    dropped_ = 0;
    path_ = path;
    header_ = header;
    known_ = false;
    cutTo_ = -1;
    replacement_ = Replacement::None;
    error_.clear();
}

bool LogFile::makeAgain()
{
    if (!writeFileAtomically(path_, header_, &error_))
        return false;
    struct stat made {};
    known_ = ::stat(QFile::encodeName(path_).constData(), &made) == 0;
    device_ = made.st_dev;
    inode_ = made.st_ino;
    cutTo_ = -1;
    replacement_ = Replacement::MadeAgain;
    return true;
}

bool LogFile::ensureOpen()
{
    const QByteArray name = QFile::encodeName(path_);
    struct stat at {};
    const bool present = ::stat(name.constData(), &at) == 0;
    const int statError = present ? 0 : errno;
    const bool ours = present && known_ && at.st_dev == device_ && at.st_ino == inode_;
    const bool empty = present && S_ISREG(at.st_mode) && at.st_size == 0;
    if (fd_ >= 0) {
        if (ours && !empty)
            return true;
        close();  // the name now leads elsewhere
    }
    if (!present && statError != ENOENT) {
        error_ = systemErrorText(statError);
        return false;
    }
    // Gone, or emptied, or an empty file in its place: nothing is lost by
    // making it again.
    if ((!present || empty) && !makeAgain())
        return false;

    int code = 0;
    fd_ = openLocked(name, O_APPEND, &code);
    if (fd_ < 0) {
        error_ = reasonFor(code);
        return false;
    }
    struct stat opened {};
    if (::fstat(fd_, &opened) == 0 && !(known_ && opened.st_dev == device_ && opened.st_ino == inode_)) {
        // Another file with content stands at the path: the rows go on there.
        known_ = true;
        device_ = opened.st_dev;
        inode_ = opened.st_ino;
        cutTo_ = -1;
        replacement_ = Replacement::Adopted;
    }
    return true;
}

bool LogFile::open(QString* error)
{
    if (ensureOpen())
        return true;
    if (error)
        *error = error_;
    return false;
}

void LogFile::close()
{
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
        fd_ = -1;
    }
}

LogFile::Replacement LogFile::takeReplacement()
{
    return std::exchange(replacement_, Replacement::None);
}

void LogFile::discardUnwritten()
{
    pending_.clear();
    pendingBytes_ = 0;
}

void LogFile::setLimits(int maxRows, qint64 maxBytes)
{
    maxRows_ = std::max(maxRows, 1);
    maxBytes_ = std::max<qint64>(maxBytes, 1);
    enforceLimits();
}

void LogFile::enforceLimits()
{
    while (pending_.size() > 1 && (static_cast<qint64>(pending_.size()) > maxRows_ || pendingBytes_ > maxBytes_)) {
        pendingBytes_ -= pending_.front().size();
        pending_.pop_front();
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
    if (!ensureOpen())
        return false;
    struct stat now {};
    if (cutTo_ >= 0 && ::fstat(fd_, &now) == 0 && now.st_size > cutTo_) {
        // What an earlier failed write left is cut off first.
        if (::ftruncate(fd_, cutTo_) != 0) {
            error_ = systemErrorText(errno);
            close();
            return false;
        }
    }
    cutTo_ = -1;
    while (!pending_.empty()) {
        const QByteArray& row = pending_.front();
        const off_t before = ::lseek(fd_, 0, SEEK_END);
        int writeError = 0;
        const qsizetype written = writeSome(fd_, row, &writeError);
        if (written < row.size()) {
            // A row is in the file whole or not at all.
            error_ = systemErrorText(writeError);
            if (written > 0 && before >= 0 && ::ftruncate(fd_, before) != 0)
                cutTo_ = before;
            close();  // the next attempt starts with a fresh open
            return false;
        }
        pendingBytes_ -= row.size();
        pending_.pop_front();
    }
    // The rows are on disk; close and take the file again for the next row.
    close();
    ensureOpen();
    return true;
}

}  // namespace rdxmon
