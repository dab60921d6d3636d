// Writing a small file as a whole: the new content goes to a new file
// beside the old one, is flushed to the disk, and only then takes the old
// one's name. A crash, a full disk or a power loss leaves either the old
// file or the new one, never a short or empty one.
#ifndef RDXMON_STARTUP_ATOMICFILE_H
#define RDXMON_STARTUP_ATOMICFILE_H

#include <QByteArray>
#include <QString>

namespace rdxmon {

// The system's text for an errno value ("No space left on device").
QString systemErrorText(int error);

// What becomes of the bytes of the present file beyond the new content.
enum class LaterBytes {
    Drop,  // the file holds exactly the new bytes
    Keep,  // bytes of the present file after bytes.size() follow them
};

// Makes bytes the content of path (a symbolic link is followed; the file
// keeps its permissions). On failure returns false and leaves the present
// file, or its absence, as it was, with nothing else left behind; error,
// when given, gets the system's reason ("No space left on device").
bool writeFileAtomically(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                         LaterBytes later = LaterBytes::Drop);

}  // namespace rdxmon

#endif
