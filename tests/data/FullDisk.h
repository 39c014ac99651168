#pragma once
// A full disk for tests: a file size limit makes writes fail part way with
// EFBIG, as a disk that fills up does; SIGXFSZ is ignored so the write
// returns the error instead of ending the process. The limit and the signal
// are restored when the scope ends. (Tests run as root, so a quota or a
// read-only permission would not stop the writes.)
#include <sys/resource.h>

#include <csignal>

namespace halvetra::testing_disk {

class FullDisk {
public:
    explicit FullDisk(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = bytes;
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        active_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FullDisk() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, handler_);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
    bool Active() const { return active_; }

private:
    rlimit saved_{};
    void (*handler_)(int) = nullptr;
    bool active_ = false;
};

}  // namespace halvetra::testing_disk
