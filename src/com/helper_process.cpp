#include "com/helper_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A descriptor closed when it goes.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

// The helper's environment: ours, without the variables asked to go, and under the sanitizers
// with their own limit on resident memory (an address-space limit leaves them no room for their
// shadow memory).
std::vector<std::string> HelperEnvironment(const HelperLimits& limits)
{
    std::vector<std::string> env;
    std::string sanitizer;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool removed = false;
        for (const std::string& unset : limits.unsetEnvironment) removed = removed || name == unset;
        if (removed) continue;
        if (kSanitized && name == "ASAN_OPTIONS") {
            sanitizer = entry;
            continue;
        }
        env.push_back(entry);
    }
    if (kSanitized) {
        if (sanitizer.empty()) sanitizer = "ASAN_OPTIONS=";
        if (sanitizer.back() != '=') sanitizer += ':';
        sanitizer += "hard_rss_limit_mb=" + std::to_string(limits.memoryBytes >> 20);
        env.push_back(sanitizer);
    }
    return env;
}

std::int64_t NowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

std::string HelperOutcome::Describe(const HelperLimits& limits) const
{
    switch (end) {
    case End::kExited: return "exited with status " + std::to_string(status);
    case End::kSignalled: return "was killed by signal " + std::to_string(status) + " (" + strsignal(status) + ")";
    case End::kTimedOut: return "did not end within " + std::to_string(limits.timeLimitMs / 1000.0).substr(0, 4) + " s";
    case End::kTooMuch: return "wrote more than " + std::to_string(limits.outputBytes) + " bytes";
    case End::kNotStarted: return "could not be started: " + why;
    }
    return {};
}

namespace {

// Starts the helper with its output and errors into these pipes, stdin /dev/null, nothing else of
// ours open, and every signal at its default; its pid, or -1 with `why`.
pid_t SpawnHelper(const std::string& program, const std::vector<std::string>& args, const HelperLimits& limits, int outWrite,
                  int errWrite, std::string* why)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outWrite, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errWrite, STDERR_FILENO);
    // Nothing of ours (the disc, the output file, a window's sockets) goes with it.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Signals we ignore or block (SIGPIPE, the interrupt handlers' masks) are the helper's default.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argvText{program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argvText) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envText = HelperEnvironment(limits);
    std::vector<char*> envp;
    for (std::string& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        *why = program + ": " + std::strerror(spawned);
        return -1;
    }
    return pid;
}

// Reads the helper's output and errors until it has ended and closed both, or until it goes past
// its time or its output's limit (`outcome.end` says which).
void ReadHelper(pid_t pid, Descriptor& outRead, Descriptor& errRead, const HelperLimits& limits, HelperOutcome& outcome)
{
    // Its end is seen through a process descriptor, so that a helper that closes its output and
    // goes on is still waited for with the time limit.
    Descriptor exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    const std::int64_t deadline = NowMs() + limits.timeLimitMs;
    bool ended = false;
    char buffer[4096];
    while (outRead.Get() >= 0 || errRead.Get() >= 0 || !ended) {
        pollfd fds[3];
        nfds_t count = 0;
        if (outRead.Get() >= 0) fds[count++] = {outRead.Get(), POLLIN, 0};
        if (errRead.Get() >= 0) fds[count++] = {errRead.Get(), POLLIN, 0};
        if (exited.Get() >= 0 && !ended) fds[count++] = {exited.Get(), POLLIN, 0};
        const std::int64_t left = deadline - NowMs();
        if (left <= 0) {
            outcome.end = HelperOutcome::End::kTimedOut;
            break;
        }
        // Without a process descriptor (an old kernel), its end is looked for now and then.
        const bool looking = exited.Get() < 0 && !ended;
        const int ready = ::poll(fds, count, static_cast<int>(looking ? std::min<std::int64_t>(left, 20) : left));
        if (ready < 0 && errno != EINTR) break;
        if (looking) {
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) ended = true;
        }
        for (nfds_t i = 0; ready > 0 && i < count; ++i) {
            if (!fds[i].revents) continue;
            if (fds[i].fd == exited.Get()) {
                ended = true;
                continue;
            }
            const bool isOut = fds[i].fd == outRead.Get();
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) {
                (isOut ? outRead : errRead).Close();
                continue;
            }
            std::string& into = isOut ? outcome.out : outcome.err;
            into.append(buffer, static_cast<std::size_t>(n));
            if (!isOut && into.size() > 32768) into.erase(0, into.size() - 16384);
        }
        if (outcome.out.size() > limits.outputBytes) {
            outcome.end = HelperOutcome::End::kTooMuch;
            break;
        }
    }
}

} // namespace

HelperOutcome RunHelperProcess(const std::string& program, const std::vector<std::string>& args, const HelperLimits& limits)
{
    HelperOutcome outcome;
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        outcome.why = std::strerror(errno);
        return outcome;
    }
    Descriptor outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        outcome.why = std::strerror(errno);
        return outcome;
    }
    Descriptor errRead(errPipe[0]), errWrite(errPipe[1]);
    const pid_t pid = SpawnHelper(program, args, limits, outWrite.Get(), errWrite.Get(), &outcome.why);
    outWrite.Close();
    errWrite.Close();
    if (pid < 0) return outcome;
    // posix_spawn returns once the helper runs its own program: its limits are set before it
    // reads anything.
    rlimit noCore{0, 0};
    ::prlimit(pid, RLIMIT_CORE, &noCore, nullptr);
    if (!kSanitized) {
        rlimit memory{limits.memoryBytes, limits.memoryBytes};
        ::prlimit(pid, RLIMIT_AS, &memory, nullptr);
    }
    ReadHelper(pid, outRead, errRead, limits, outcome);
    const bool killed = outcome.end == HelperOutcome::End::kTimedOut || outcome.end == HelperOutcome::End::kTooMuch;
    if (killed) ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (killed) return outcome;
    if (WIFSIGNALED(status)) {
        outcome.end = HelperOutcome::End::kSignalled;
        outcome.status = WTERMSIG(status);
    } else {
        outcome.end = HelperOutcome::End::kExited;
        outcome.status = WEXITSTATUS(status);
    }
    return outcome;
}

std::string FindHelperProgram(const std::string& name)
{
    namespace fs = std::filesystem;
    std::error_code error;
    std::vector<fs::path> folders;
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        const fs::path exeDir = fs::path(self).parent_path();
        folders.push_back(exeDir);
        // Installed: bin/../libexec/zuzidero; a build tree keeps its helpers in
        // <build>/libexec/zuzidero, a few folders up from its programs.
        fs::path up = exeDir;
        for (int i = 0; i < 5 && up.has_parent_path(); ++i, up = up.parent_path()) folders.push_back(up / "libexec" / "zuzidero");
    }
#ifdef ZUZIDERO_HELPER_DIR
    folders.emplace_back(ZUZIDERO_HELPER_DIR);
#endif
    for (const fs::path& folder : folders) {
        const fs::path candidate = folder / name;
        if (fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return {};
}
