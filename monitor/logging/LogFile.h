// The CSV log file while logging runs: open for appending under an
// exclusive advisory lock (flock), which stands for "writing denied to other
// programs" (they may still read it), closed and opened again after each
// row so every row is on disk when it has been written.
//
// Rows that cannot be written (the file is locked by another program, the
// disk is full, the folder is gone) wait in memory, in order, and go out
// with the next write that succeeds. The rows waiting are bounded (a number
// of rows and a number of bytes): past the bound the oldest waiting rows are
// dropped and counted.
#ifndef RDXMON_LOGGING_LOGFILE_H
#define RDXMON_LOGGING_LOGFILE_H

#include <deque>

#include <QByteArray>
#include <QString>

namespace rdxmon {

class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates path (an existing file is emptied, but only once the lock on
    // it could be taken), writes the header and closes it again. Forgets any
    // rows still waiting for an earlier file. On failure returns false with
    // a reason in error, when given.
    bool create(const QString& path, const QByteArray& header, QString* error = nullptr);

    // Opens the file named by create for appending and takes the lock.
    bool open(QString* error = nullptr);

    // Closes the file (the rows still waiting stay waiting).
    void close();
    bool isOpen() const { return fd_ >= 0; }
    QString path() const { return path_; }

    // Puts the row behind the rows waiting and writes them all; true when
    // nothing is left waiting.
    bool append(const QByteArray& row);

    // Writes the rows waiting: opens the file when it is closed, writes them
    // in order, then closes and reopens it. True when nothing is left
    // waiting. A row written in part keeps only its rest waiting.
    bool flush();

    // Rows not yet written (a row written in part counts as unwritten).
    int unwrittenRows() const { return static_cast<int>(pending_.size()); }
    // Forgets the rows waiting.
    void discardUnwritten();

    // The most rows and bytes kept waiting; the oldest go first (a row
    // written in part is kept, so no broken row reaches the file).
    void setLimits(int maxRows, qint64 maxBytes);
    // Rows dropped since create.
    qint64 droppedRows() const { return dropped_; }

private:
    int openLocked(int extraFlags, QString* error);
    void enforceLimits();

    QString path_;
    int fd_ = -1;
    std::deque<QByteArray> pending_;
    qint64 pendingBytes_ = 0;
    // The first waiting row is the rest of a row written in part.
    bool frontPartial_ = false;
    int maxRows_ = 86400;
    qint64 maxBytes_ = 64LL * 1024 * 1024;
    qint64 dropped_ = 0;
};

}  // namespace rdxmon

#endif
