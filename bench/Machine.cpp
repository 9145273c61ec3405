// Reading /proc and uname for the report's machine section.
#include "Machine.h"

#include <fstream>
#include <sstream>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>

namespace {

std::string firstLineWith(const std::string& path, const std::string& prefix) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            return line.substr(prefix.size());
        }
    }
    return "";
}

std::string trimmed(std::string text) {
    size_t start = text.find_first_not_of(" \t:\"");
    size_t end = text.find_last_not_of(" \t\"");
    return start == std::string::npos ? "" : text.substr(start, end - start + 1);
}

} // namespace

std::vector<std::pair<std::string, std::string>> describeMachine() {
    std::vector<std::pair<std::string, std::string>> rows;
    std::string model = trimmed(firstLineWith("/proc/cpuinfo", "model name"));
    rows.emplace_back("CPU", model.empty() ? "unknown" : model);
    rows.emplace_back("cores", std::to_string(std::thread::hardware_concurrency()));
    std::string os = trimmed(firstLineWith("/etc/os-release", "PRETTY_NAME="));
    utsname names{};
    if (uname(&names) == 0) {
        os += std::string(os.empty() ? "" : ", ") + names.sysname + " " + names.release + " " +
              names.machine;
    }
    rows.emplace_back("OS", os);
#if defined(__clang__)
    rows.emplace_back("compiler", std::string("clang ") + __clang_version__);
#elif defined(__GNUC__)
    rows.emplace_back("compiler", std::string("g++ ") + __VERSION__);
#endif
    rows.emplace_back("build", KCS_BENCH_BUILD);
    return rows;
}

std::string loadAverages() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

CpuSample sampleMachineCpu() {
    std::ifstream in("/proc/stat");
    std::string label;
    in >> label;
    // user nice system idle iowait irq softirq steal
    double fields[8] = {};
    for (double& field : fields) {
        in >> field;
    }
    double ticksPerMs = static_cast<double>(sysconf(_SC_CLK_TCK)) / 1e3;
    CpuSample sample;
    double idle = fields[3] + fields[4];
    for (double field : fields) {
        sample.totalMs += field / ticksPerMs;
    }
    sample.busyMs = sample.totalMs - idle / ticksPerMs;
    return sample;
}
