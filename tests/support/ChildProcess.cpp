#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 100));
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, int stderrFd) {
    int outPipe[2], errPipe[2] = {-1, -1};
    if (pipe2(outPipe, O_CLOEXEC) != 0 || (stderrFd < 0 && pipe2(errPipe, O_CLOEXEC) != 0))
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, stderrFd >= 0 ? stderrFd : errPipe[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // The child starts with default signal handling whatever the test runner set.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(outPipe[1]);
    if (errPipe[1] >= 0) close(errPipe[1]);
    outFd = outPipe[0];
    errFd = errPipe[0];
    if (rc != 0) {
        pid = -1;
        throw std::runtime_error("cannot start " + argv[0]);
    }
}

ChildProcess::~ChildProcess() {
    if (pid > 0 && !status) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    if (outFd >= 0) close(outFd);
    if (errFd >= 0) close(errFd);
}

void ChildProcess::CloseOutput() {
    if (outFd >= 0) close(outFd);
    outFd = -1;
}

bool ChildProcess::Collect(int timeoutMs) {
    pollfd fds[2];
    int n = 0;
    if (outFd >= 0) fds[n++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
    if (n == 0) return false;
    if (poll(fds, n, timeoutMs) <= 0) return true;
    for (int i = 0; i < n; ++i) {
        if (!fds[i].revents) continue;
        char buffer[4096];
        ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got > 0) {
            (fds[i].fd == outFd ? out : err).append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
            int& fd = fds[i].fd == outFd ? outFd : errFd;
            close(fd);
            fd = -1;
        }
    }
    return true;
}

std::optional<std::string> ChildProcess::ReadLine(Seconds timeout) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
    for (;;) {
        const size_t newline = out.find('\n', outRead);
        if (newline != std::string::npos) {
            std::string line = out.substr(outRead, newline - outRead);
            outRead = newline + 1;
            return line;
        }
        if (Clock::now() >= deadline || !Collect(MillisecondsLeft(deadline))) return std::nullopt;
    }
}

std::optional<int> ChildProcess::Wait(Seconds timeout) {
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(timeout);
    while (!status) {
        int raw = 0;
        pid_t done = waitpid(pid, &raw, WNOHANG);
        if (done == pid) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
            break;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        if (!Collect(std::min(MillisecondsLeft(deadline), 20))) usleep(10000);
    }
    // The rest of the output; a grandchild holding a pipe cannot stall us for long.
    const auto drainUntil = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < drainUntil && Collect(MillisecondsLeft(drainUntil))) {
    }
    return status;
}

void ChildProcess::Signal(int signal) {
    if (pid > 0 && !status) kill(pid, signal);
}

RunResult RunProgram(const std::vector<std::string>& argv, ChildProcess::Seconds timeout) {
    ChildProcess child(argv);
    RunResult result;
    result.exitCode = child.Wait(timeout).value_or(-1);
    result.out = child.Out();
    result.err = child.Err();
    return result;
}
