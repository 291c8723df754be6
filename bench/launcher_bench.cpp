// Times full runs of the single executable against its floor (start_floor:
// the cheapest unpacking into a new folder plus the same hosting code) and
// against the system's runtime running the tool directly. The three are
// run in turn, round after round, so that load on the machine falls on all of
// them alike; best and median wall times are reported, with the launcher's
// ratio to its floor (target: at most 1.15). CPU time (user + system) is
// shown as well: it varies less than wall time on a busy machine.
//   launcher_bench [rounds] [tool arguments...]

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Command {
    const char* label;
    std::vector<std::string> argv;
    std::vector<double> times;     // wall time, milliseconds
    std::vector<double> cpuTimes;  // user + system time, milliseconds
};

struct Timing {
    double wall;
    double cpu;
};

Timing runOnce(const std::vector<std::string>& argv, const std::string& runtimeDir) {
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) != 0)
            envStrings.push_back(entry);
    }
    envStrings.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
    for (auto& a : copy)
        args.push_back(&a[0]);
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : envStrings)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execve(args[0], args.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", argv[0].c_str(), status);
        std::exit(1);
    }
    return Timing{ms, cpu};
}

double best(std::vector<double> v) {
    return *std::min_element(v.begin(), v.end());
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    std::vector<std::string> toolArgs(argv + std::min(argc, 2), argv + argc);

    // The working folders go under $TMPDIR (default /tmp): point it at a
    // tmpfs to measure what a desktop session's runtime directory gives.
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/scrivel-launcher-bench-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr)
        return 1;
    const std::string root = pattern;
    const std::string runtimeDir = root + "/run";
    // Made and removed again by each run of the floor.
    const std::string unpacked = runtimeDir + "/floor-unpacked";
    fs::create_directories(runtimeDir);

    std::vector<Command> commands;
    Command launcher{"launcher (scrivel)", {SCRIVEL_EXECUTABLE}, {}, {}};
    Command floor{"floor (start_floor)", {SCRIVEL_FLOOR, unpacked}, {}, {}};
    launcher.argv.insert(launcher.argv.end(), toolArgs.begin(), toolArgs.end());
    floor.argv.insert(floor.argv.end(), toolArgs.begin(), toolArgs.end());
    commands.push_back(launcher);
    commands.push_back(floor);
    if (std::string(SCRIVEL_MONO).size() > 0 && std::string(SCRIVEL_MONO).find("NOTFOUND") == std::string::npos) {
        Command system{"system runtime (mono Scrivel.exe)", {SCRIVEL_MONO, SCRIVEL_TOOL}, {}, {}};
        system.argv.insert(system.argv.end(), toolArgs.begin(), toolArgs.end());
        commands.push_back(system);
    }

    for (Command& c : commands)  // one warm-up run each
        runOnce(c.argv, runtimeDir);
    for (int r = 0; r < rounds; ++r) {
        for (Command& c : commands) {
            const Timing t = runOnce(c.argv, runtimeDir);
            c.times.push_back(t.wall);
            c.cpuTimes.push_back(t.cpu);
        }
    }

    std::printf("%d rounds, tool arguments: %zu, working folder under %s\n", rounds, toolArgs.size(),
                runtimeDir.c_str());
    std::printf("%-36s %10s %10s %10s %10s\n", "", "best ms", "median ms", "cpu best", "cpu median");
    for (const Command& c : commands)
        std::printf("%-36s %10.1f %10.1f %10.1f %10.1f\n", c.label, best(c.times), median(c.times),
                    best(c.cpuTimes), median(c.cpuTimes));
    std::printf("launcher / floor: best %.3f, median %.3f (target <= 1.15); cpu time: best %.3f, median %.3f\n",
                best(commands[0].times) / best(commands[1].times),
                median(commands[0].times) / median(commands[1].times),
                best(commands[0].cpuTimes) / best(commands[1].cpuTimes),
                median(commands[0].cpuTimes) / median(commands[1].cpuTimes));
    if (commands.size() > 2)
        std::printf("launcher / system runtime: best %.3f, median %.3f\n",
                    best(commands[0].times) / best(commands[2].times),
                    median(commands[0].times) / median(commands[2].times));

    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
