// Runs a command and reports its wall time from fork to exit and its peak
// resident set size, without needing GNU time or a scripting language:
//
//   measure_run COMMAND [ARG ...]
//
// The command's own output comes first; the last line is
// "measured <wall ms> ms <peak RSS KiB> KiB <user+system CPU ms> ms-cpu".
// Exits with the command's status.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: measure_run COMMAND [ARG ...]\n");
        return 2;
    }
    std::fflush(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("measure_run: fork");
        return 2;
    }
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        std::perror("measure_run: exec");
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        std::perror("measure_run: wait4");
        return 2;
    }
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    std::printf("measured %.3f ms %ld KiB %.3f ms-cpu\n", wall.count(), usage.ru_maxrss,
                ms(usage.ru_utime) + ms(usage.ru_stime));
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
