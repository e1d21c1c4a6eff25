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
#include <climits>
#include <cstring>

namespace {

// Tells the parent why exec failed, through the pipe that exec would otherwise close.
[[noreturn]] void failChild(int statusFd, int err) {
    ssize_t ignored = write(statusFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

}  // namespace

std::string linkweavePath(std::string& error) {
    char self[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        error = std::string("cannot find Preflight's own folder: /proc/self/exe: ") + std::strerror(errno);
        return {};
    }
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "linkweave";
}

std::string startLinkweave() {
    std::string error;
    std::string path = linkweavePath(error);
    if (path.empty()) return error;
    char* argv[] = {path.data(), nullptr};

    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) return std::strerror(errno);

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
        execv(path.c_str(), argv);
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
    if (n == static_cast<ssize_t>(sizeof err)) return path + ": " + std::strerror(err);
    if (!WIFEXITED(middleStatus) || WEXITSTATUS(middleStatus) != 0) return "could not start a child process";
    return {};
}
