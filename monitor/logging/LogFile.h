// The CSV log file while logging runs: open for appending under an
// exclusive advisory lock (flock), which stands for "writing denied to other
// programs" (they may still read it), closed and opened again after each
// row so every row is on disk when it has been written.
//
// The file is made whole: its header goes to a new file beside it, which
// takes the log's name only once the header is on the disk, so a failed
// START leaves no empty or headless file. A row is in the file whole or not
// at all: what a failed write left of it is cut off again.
//
// Before each row the file at the log's path must still be the one this log
// made. When it has gone (deleted, moved away) or is empty (emptied, or an
// empty file has taken its place), it is made again with its header and the
// rows go on there; when another file with content has taken its place, the
// rows go on at its end, so nothing in it is lost.
//
// Rows that cannot be written (the file is locked by another program, the
// disk is full, the folder is gone) wait in memory, in order, and go out
// with the next write that succeeds. The rows waiting are bounded (a number
// of rows and a number of bytes): past the bound the oldest waiting rows are
// dropped and counted.
#ifndef RDXMON_LOGGING_LOGFILE_H
#define RDXMON_LOGGING_LOGFILE_H

#include <deque>

#include <sys/types.h>

#include <QByteArray>
#include <QString>

namespace rdxmon {

class LogFile {
public:
    // What happened to the file at the log's path behind the log's back.
    enum class Replacement {
        None,
        MadeAgain,  // it had gone or was empty: made again with its header
        Adopted,  // another file with content stood there: the rows go on at its end
    };

    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Makes path hold the header alone (an existing file is replaced, but
    // only when no other program holds its lock) and closes it again.
    // Forgets any rows still waiting for an earlier file. On failure returns
    // false, leaves an existing file as it was and creates none; the reason
    // is in error, when given, and in lastError.
    bool create(const QString& path, const QByteArray& header, QString* error = nullptr);

    // Names path as the file to write to without touching it, for a file
    // kept across runs (the alarm journal): a missing or empty file gets the
    // header before the first row, one with content takes the rows at its end.
    void attach(const QString& path, const QByteArray& header);

    // Opens the file named by create for appending and takes the lock.
    bool open(QString* error = nullptr);

    // Closes the file (the rows still waiting stay waiting).
    void close();
    bool isOpen() const { return fd_ >= 0; }
    QString path() const { return path_; }

    // Puts the row behind the rows waiting and writes them all; true when
    // nothing is left waiting.
    bool append(const QByteArray& row);

    // Writes the rows waiting: makes sure the file at the path is the log's
    // (see above), opens it when it is closed, writes the rows in order,
    // then closes and reopens it. True when nothing is left waiting.
    bool flush();

    // Rows not yet written.
    int unwrittenRows() const { return static_cast<int>(pending_.size()); }
    qint64 unwrittenBytes() const { return pendingBytes_; }
    // Forgets the rows waiting.
    void discardUnwritten();

    // The most rows and bytes kept waiting; the oldest go first.
    void setLimits(int maxRows, qint64 maxBytes);
    // Rows dropped since create.
    qint64 droppedRows() const { return dropped_; }

    // Why the last failure happened, in the system's words ("No space left
    // on device"); empty before any failure.
    QString lastError() const { return error_; }
    // The latest replacement since the last call, and forgets it.
    Replacement takeReplacement();

private:
    // The file at the path is the log's and open; false with error_ set.
    bool ensureOpen();
    bool makeAgain();
    void enforceLimits();

    QString path_;
    QByteArray header_;
    int fd_ = -1;
    // The file the log writes to (device and inode), valid once opened.
    bool known_ = false;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    // A failed write could not be cut back: the file's length to restore.
    off_t cutTo_ = -1;
    std::deque<QByteArray> pending_;
    qint64 pendingBytes_ = 0;
    int maxRows_ = 86400;
    qint64 maxBytes_ = 64LL * 1024 * 1024;
    qint64 dropped_ = 0;
    QString error_;
    Replacement replacement_ = Replacement::None;
};

}  // namespace rdxmon

#endif
