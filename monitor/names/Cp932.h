// Text in the system's "ANSI code page", which for this program is Windows
// code page 932 (Shift-JIS with the Windows extensions). Channel names are
// stored in it, their 18-byte limit is counted in it, and the CSV log is
// written in it.
#ifndef RDXMON_NAMES_CP932_H
#define RDXMON_NAMES_CP932_H

#include <QByteArray>
#include <QString>

namespace rdxmon {

// Width of a channel name: 18 characters in memory, 18 bytes in the file.
inline constexpr int kNameLength = 18;

// The CP932 bytes of text. ASCII (control characters included) stands for
// itself; a character that CP932 cannot hold (and a lone surrogate) becomes
// "?", one byte.
QByteArray toCp932(const QString& text);

// Text from CP932 bytes. ASCII bytes stand for themselves; a byte or a pair
// that CP932 does not assign gives one U+FFFD; a lead byte at the very end
// (a double-byte character cut short) gives nothing.
QString fromCp932(const QByteArray& bytes);

// Bytes that text takes in CP932: 2 for each double-byte character, 1 for
// every other one (a character CP932 cannot hold counts 1, as its "?").
int LenMbcs(const QString& text);

// The longest beginning of text that takes at most maxBytes bytes in CP932;
// a double-byte character (or a surrogate pair) is never split.
QString cutToBytes(const QString& text, int maxBytes);

// The characters of text that CP932 cannot hold (each once, in order of
// appearance): toCp932 writes "?" for them.
QString unstorableCharacters(const QString& text);

// Text fitted to the 18 characters of a name: shorter text padded with
// blanks on the right, longer text cut after the 18th character (a surrogate
// pair that would be split falls away and a blank takes its place).
QString fitName(const QString& text);

}  // namespace rdxmon

#endif
