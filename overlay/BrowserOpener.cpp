// Opening a page in the browser: a double fork, so the launcher runs detached and orphaned.
#include "overlay/BrowserOpener.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

bool BrowserOpener::open(const char* url) {
    lastError_ = url ? spawnDetached(program_, url) : EINVAL;
    return lastError_ == 0;
}

int spawnDetached(const char* program, const char* argument) {
    char* const argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    // The launcher's exec closes this pipe when it succeeds; when it fails, the launcher
    // writes its errno into it first, so the caller learns that nothing was started.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(report[0]), close(report[1]);
        return error;
    }
    if (child == 0) {
        // The middle child starts the launcher and leaves at once, so the launcher is
        // adopted by init and the frame goes on without waiting for any browser.
        setsid();
        const pid_t launcher = fork();
        if (launcher == 0) {
            const int devnull = ::open("/dev/null", O_RDONLY);
            if (devnull >= 0) dup2(devnull, STDIN_FILENO);
            execvp(program, argv);
            const int error = errno;
            (void)!write(report[1], &error, sizeof error);
            _exit(127);
        }
        if (launcher < 0) {
            const int error = errno;
            (void)!write(report[1], &error, sizeof error);
        }
        _exit(0);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    while ((got = read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error)) return error;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : ECHILD;
}
