// A program run with a time limit, its files redirected.
#include "support/Programs.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testing_support {

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

pid_t startProgram(const std::vector<std::string>& arguments, const std::string& outPath,
                   const std::string& errPath) {
    // Everything is allocated before the fork: the child of a threaded
    // parent (the matrix's workers) may only make system calls until it
    // execs, as another thread may have held the allocator's lock at the
    // fork, and under AddressSanitizer one did, and the child hung.
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child == 0) {
        dup2(open("/dev/null", O_RDONLY), 0);
        dup2(open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        dup2(open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

Ending waitFor(pid_t process, int seconds) {
    Ending ending;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int raw = 0;
    // The wait between looks doubles up to 16 ms: a run takes a tenth of a
    // second or more, and a look every 2 ms woke the matrix's workers fifty
    // times a run.
    for (int pause = 1; waitpid(process, &raw, WNOHANG) != process;
         pause = std::min(2 * pause, 16)) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(process, SIGKILL);
            waitpid(process, &raw, 0);
            ending.timedOut = true;
            return ending;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    if (WIFEXITED(raw)) {
        ending.status = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        ending.signal = WTERMSIG(raw);
    }
    return ending;
}

} // namespace testing_support
