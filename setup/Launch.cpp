// Double fork: the grandchild runs Linkweave and is adopted by init once its parent, the
// short-lived middle child, has been reaped here. Between fork and exec only
// async-signal-safe calls are made, since GTK has threads of its own.
#include "setup/Launch.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char* kLinkweavePath = "./linkweave";

// Tells the parent why exec failed, through the pipe that exec would otherwise close.
[[noreturn]] void failChild(int statusFd, int err) {
    ssize_t ignored = write(statusFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

}  // namespace

std::string startLinkweave() {
    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) return std::strerror(errno);

    char path[] = "./linkweave";
    char* argv[] = {path, nullptr};

    pid_t middle = fork();
    if (middle < 0) {
        int err = errno;
        close(status[0]);
        close(status[1]);
        return std::strerror(err);
    }
    if (middle == 0) {
        close(status[0]);
        setsid();
        pid_t child = fork();
        if (child < 0) failChild(status[1], errno);
        if (child > 0) _exit(0);
        // Descriptors GTK opened without close-on-exec (the display connection, event
        // fds) are none of Linkweave's business.
        syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
        execv(kLinkweavePath, argv);
        failChild(status[1], errno);
    }

    close(status[1]);
    int middleStatus = 0;
    while (waitpid(middle, &middleStatus, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
        n = read(status[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(status[0]);
    if (n == static_cast<ssize_t>(sizeof err)) return std::string(kLinkweavePath) + ": " + std::strerror(err);
    if (!WIFEXITED(middleStatus) || WEXITSTATUS(middleStatus) != 0) return "could not start a child process";
    return {};
}
