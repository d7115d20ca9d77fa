// Files may not grow beyond a given size while a FileSizeLimit lives: a full disk, as far as one process
// can tell (it holds for root too). A write past the limit fails with EFBIG instead of ending the process.
#pragma once

#include <sys/resource.h>

#include <csignal>

struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    rlimit old{};
};
