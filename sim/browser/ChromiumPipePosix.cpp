// POSIX: Chromium as a child process with its DevTools pipe on fds 3 and 4.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "sim/browser/ChromiumPipe.h"

namespace fs = std::filesystem;

namespace {
// An fd closed by its destructor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    ~Fd() { Reset(); }
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "tamsel-chromium-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        const std::string dir = list.substr(start, end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Moves an fd to a number of at least 10, close-on-exec, so the child's dup2 onto 3 and 4
// never meets a pipe end that already sits there.
Fd HighFd(Fd fd) { return Fd(::fcntl(fd.Get(), F_DUPFD_CLOEXEC, 10)); }

class PosixChromiumPipe final : public ChromiumPipe {
public:
    PosixChromiumPipe(std::unique_ptr<TempFolder> folder, pid_t child, Fd toChild, Fd fromChild)
        : folder_(std::move(folder)), child_(child), toChild_(std::move(toChild)), fromChild_(std::move(fromChild)) {}

    ~PosixChromiumPipe() override { Terminate(); }

    bool Send(const std::string& message) override {
        std::lock_guard<std::mutex> lock(writeMutex_);
        if (toChild_.Get() < 0) return false;
        std::string record = message;
        record.push_back('\0');
        size_t done = 0;
        while (done < record.size()) {
            const ssize_t n = ::write(toChild_.Get(), record.data() + done, record.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    bool Receive(std::string* message) override {
        for (;;) {
            const size_t nul = buffer_.find('\0');
            if (nul != std::string::npos) {
                *message = buffer_.substr(0, nul);
                buffer_.erase(0, nul + 1);
                return true;
            }
            char chunk[65536];
            const ssize_t n = ::read(fromChild_.Get(), chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    void Terminate() override {
        std::lock_guard<std::mutex> lock(terminateMutex_);
        if (child_ <= 0) return;
        {
            std::lock_guard<std::mutex> writeLock(writeMutex_);
            toChild_.Reset();  // Chromium quits when its command pipe closes
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        int status = 0;
        while (::waitpid(child_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                // The whole process group: the wrapper script and the browser's own helpers.
                ::kill(-child_, SIGKILL);
                ::kill(child_, SIGKILL);
                ::waitpid(child_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(-child_, SIGKILL);  // helpers left behind by a browser that quit
        child_ = -1;
    }

    std::string LastErrorLine() const override {
        std::ifstream log(folder_->Path() / "stderr.log");
        std::string line, last;
        while (std::getline(log, line))
            if (!line.empty()) last = line;
        return last;
    }

private:
    std::unique_ptr<TempFolder> folder_;
    pid_t child_;
    std::mutex writeMutex_, terminateMutex_;
    Fd toChild_, fromChild_;
    std::string buffer_;
};
}  // namespace

std::unique_ptr<ChromiumPipe> StartChromiumPipe(const ChromiumLaunch& launch, std::string* error) {
    const std::string program = launch.program.empty() ? FindOnPath("chromium") : launch.program;
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
        *error = "no chromium program" + (launch.program.empty() ? std::string(" on PATH") : " at " + launch.program) +
                 " (Debian package chromium)";
        return nullptr;
    }
    auto folder = std::make_unique<TempFolder>();
    if (folder->Path().empty()) {
        *error = "cannot make a temporary profile folder";
        return nullptr;
    }
    int commands[2], answers[2];
    if (::pipe2(commands, O_CLOEXEC) != 0) return *error = "cannot make a pipe", nullptr;
    Fd commandRead(commands[0]), commandWrite(commands[1]);
    if (::pipe2(answers, O_CLOEXEC) != 0) return *error = "cannot make a pipe", nullptr;
    Fd answerRead(answers[0]), answerWrite(answers[1]);
    Fd childIn = HighFd(std::move(commandRead)), childOut = HighFd(std::move(answerWrite));
    const std::string log = (folder->Path() / "stderr.log").string();
    Fd logFd(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    Fd nullFd(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (childIn.Get() < 0 || childOut.Get() < 0 || logFd.Get() < 0 || nullFd.Get() < 0)
        return *error = "cannot set up the child's files", nullptr;

    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<std::string> args = {program,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--remote-debugging-pipe",
                                     "--user-data-dir=" + (folder->Path() / "profile").string(),
                                     "--no-first-run",
                                     "--no-default-browser-check",
                                     "--disable-extensions",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--mute-audio",
                                     "--hide-scrollbars",
                                     "--allow-file-access-from-files",
                                     "about:blank"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child < 0) return *error = "cannot fork", nullptr;
    if (child == 0) {
        ::setpgid(0, 0);
        if (::dup2(nullFd.Get(), 0) < 0 || ::dup2(logFd.Get(), 1) < 0 || ::dup2(logFd.Get(), 2) < 0 ||
            ::dup2(childIn.Get(), 3) < 0 || ::dup2(childOut.Get(), 4) < 0)
            ::_exit(127);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::setpgid(child, child);
    return std::make_unique<PosixChromiumPipe>(std::move(folder), child, std::move(commandWrite),
                                               std::move(answerRead));
}
