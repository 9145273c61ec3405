// Children through a small probe process, so their peak memory is their own.
#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const char* const PROBE_OPTION = "--probe";

double milliseconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

} // namespace

int probeChild(int argc, char** argv) {
    if (argc < 1) {
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid < 0) {
        return 2;
    }
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    auto end = std::chrono::steady_clock::now();
    std::printf("%d %.4f %.4f %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                std::chrono::duration<double, std::milli>(end - start).count(),
                milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime), usage.ru_maxrss);
    return 0;
}

ChildResult runChild(const std::vector<std::string>& argv) {
    std::vector<std::string> probe{"/proc/self/exe", PROBE_OPTION};
    probe.insert(probe.end(), argv.begin(), argv.end());
    std::vector<char*> pointers;
    for (const std::string& argument : probe) {
        pointers.push_back(const_cast<char*>(argument.c_str()));
    }
    pointers.push_back(nullptr);

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    pid_t pid = 0;
    int error = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (error != 0) {
        close(pipeEnds[0]);
        throw std::runtime_error("cannot start the probe for " + argv[0] + ": " +
                                 std::strerror(error));
    }
    std::string output;
    char buffer[256];
    ssize_t count = 0;
    while ((count = read(pipeEnds[0], buffer, sizeof buffer)) != 0) {
        if (count > 0) {
            output.append(buffer, static_cast<size_t>(count));
        } else if (errno != EINTR) {
            break;
        }
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ChildResult result;
    std::istringstream fields(output);
    if (!(fields >> result.status >> result.wallMs >> result.cpuMs >> result.maxRssKb)) {
        throw std::runtime_error("the probe could not run " + argv[0]);
    }
    return result;
}

bool isProbe(int argc, char** argv) {
    return argc > 1 && std::strcmp(argv[1], PROBE_OPTION) == 0;
}
