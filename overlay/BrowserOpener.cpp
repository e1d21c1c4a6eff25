// Opening a page in the browser: a double fork, so the launcher runs detached and orphaned.
#include "overlay/BrowserOpener.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

bool BrowserOpener::open(const char* url) { return url && spawnDetached(program_, url); }

bool spawnDetached(const char* program, const char* argument) {
    char* const argv[] = {const_cast<char*>(program), const_cast<char*>(argument), nullptr};
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        // The middle child starts the launcher and leaves at once, so the launcher is
        // adopted by init and the frame goes on without waiting for any browser.
        setsid();
        const pid_t launcher = fork();
        if (launcher == 0) {
            const int devnull = ::open("/dev/null", O_RDONLY);
            if (devnull >= 0) dup2(devnull, STDIN_FILENO);
            execvp(program, argv);
            _exit(127);
        }
        _exit(launcher < 0 ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
