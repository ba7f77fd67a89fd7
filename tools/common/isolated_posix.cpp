#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "isolated.h"

namespace tools {

Isolated runIsolated(const std::vector<std::string> &,
                     const std::function<int(std::string &)> &work) {
    Isolated result;
    int channel[2];
    if (pipe(channel) != 0) return result;
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return result;
    }
    if (child == 0) {
        close(channel[0]);
        // What a crash prints (the C library's or a sanitizer's) is not the
        // tool's to show: the parent reports the crash itself.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        // A loop is stopped by CPU time, which a busy machine does not shorten.
        rlimit cpu{60, 60};
        setrlimit(RLIMIT_CPU, &cpu);
        std::string output;
        const int status = work(output);
        for (std::size_t done = 0; done < output.size();) {
            const ssize_t n = write(channel[1], output.data() + done, output.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        // What the work left allocated goes with the process.
        _exit(status);
    }
    close(channel[1]);
    char chunk[4096];
    ssize_t n;
    while ((n = read(channel[0], chunk, sizeof chunk)) > 0)
        result.output.append(chunk, static_cast<std::size_t>(n));
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.ended = WIFEXITED(status);
    result.status = result.ended ? WEXITSTATUS(status) : 0;
    return result;
}

}  // namespace tools
