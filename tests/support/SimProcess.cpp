#include "support/SimProcess.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vantle::test {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

SimProcess::SimProcess(const std::string& program, const std::vector<std::string>& arguments)
    : errorFile_(dir_.file("stderr.txt")) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const int err = open(errorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err);
    out_ = out[0];
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        close(out_);
}

std::string SimProcess::nextLine() {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    std::size_t end = 0;
    while ((end = buffered_.find('\n')) == std::string::npos) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        pollfd p{out_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char chunk[512];
        const ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0)
            return {};
        buffered_.append(chunk, static_cast<std::size_t>(n));
    }
    std::string line = buffered_.substr(0, end);
    buffered_.erase(0, end + 1);
    return line;
}

void SimProcess::signal(int number) const {
    // After wait the process is gone: kill(-1) would signal every process we may reach.
    if (pid_ > 0)
        kill(pid_, number);
}

int SimProcess::wait(milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline)
            return -1; // the destructor kills it
        std::this_thread::sleep_for(milliseconds(10));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SimProcess::errors() const {
    return readFile(errorFile_);
}

RunningSim::RunningSim(const std::string& program, const std::vector<std::string>& arguments)
    : process(program, arguments) {
    const std::string first = process.nextLine();
    if (first.rfind(ListeningPrefix, 0) != 0)
        throw std::runtime_error("vantle-sim did not start: \"" + first + "\" " + process.errors());
    urlTemplate = first.substr(ListeningPrefix.size());
    const std::size_t path = urlTemplate.find('/', urlTemplate.find("://") + 3);
    base = urlTemplate.substr(0, path);
    target = urlTemplate.substr(path);
}

} // namespace vantle::test
