// A file-size limit for the life of the object: stands in for a full disk, since it stops
// writes even for root (and permission bits do not). SIGXFSZ is ignored meanwhile, so a
// write past the limit fails instead of ending the test.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace vrq::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0) {
            return;
        }
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        active_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        if (active_) {
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        }
        if (oldHandler_ != SIG_ERR) {
            std::signal(SIGXFSZ, oldHandler_);
        }
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool Active() const { return active_; }

  private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_ERR;
    bool active_ = false;
};

}  // namespace vrq::test
