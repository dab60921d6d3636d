// A disk that fills up, for the process alone and without root: while it
// lives, no file of this process grows past the given size. A write that
// reaches the limit is cut short there and the next one fails with EFBIG,
// as a write to a full disk is cut short and fails with ENOSPC.
#ifndef RDXTEST_SUPPORT_FILE_SIZE_LIMIT_H
#define RDXTEST_SUPPORT_FILE_SIZE_LIMIT_H

#include <csignal>

#include <sys/resource.h>

#include <gtest/gtest.h>

namespace rdxtest {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previous_ = std::signal(SIGXFSZ, SIG_IGN);  // the error, not the end of the process
        EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_), 0);
        const rlimit limit{bytes, saved_.rlim_max};
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

}  // namespace rdxtest

#endif
