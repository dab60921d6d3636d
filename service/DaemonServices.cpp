#include "DaemonServices.h"

#include <sys/stat.h>

#include <cstdlib>

namespace rdxlogd {

namespace {

// systemd names the journal's stream as "<device>:<inode>" in JOURNAL_STREAM.
bool goesToJournal(std::FILE* out)
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    struct stat st {};
    unsigned long long device = 0, inode = 0;
    return stream && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 && ::fstat(::fileno(out), &st) == 0
        && st.st_dev == device && st.st_ino == inode;
}

}  // namespace

LineMessages::LineMessages(std::FILE* out) : out_(out), journal_(goesToJournal(out)) {}

void LineMessages::tell(Priority priority, const QString& text)
{
    const QByteArray line = text.simplified().toLocal8Bit();
    if (journal_)
        std::fprintf(out_, "<%d>%s\n", static_cast<int>(priority), line.constData());
    else
        std::fprintf(out_, "rdx512-logd: %s\n", line.constData());
    std::fflush(out_);
}

bool LineMessages::question(const QString& text)
{
    tell(Priority::Warning, text + QStringLiteral(" - answered No (no one to ask)"));
    return false;
}

}  // namespace rdxlogd
