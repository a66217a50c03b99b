// Runs inside the QEMU guest as root: starts a command as the dialout user and watches the serial
// device it sends on through the sender's own descriptor (pidfd_getfd), because a second open of
// the device would raise RTS again. Writes what it saw as key=value lines.
//
//   korvane_serial_probe watch [--unplug-after-s S] DEVICE GUEST-FILE RESULT-FILE -- COMMAND...
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uid_t kUser = 1000;
constexpr gid_t kUserGroup = 1000;
constexpr gid_t kDialout = 20;
constexpr int kSampleMs = 2;
// On ftdi_sio every TIOCMGET is a USB control request with a 5 s time-out; one in flight at the
// unplug holds up the kernel's disconnect. None is sent this long before the unplug.
constexpr double kModemQuietS = 1.0;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Closes the descriptor it holds.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::optional<std::string> readLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!std::getline(in, line)) {
        return std::nullopt;
    }
    return line;
}

std::string latencyTimerPath(const std::string& device) {
    return "/sys/class/tty/" + baseName(device) + "/device/latency_timer";
}

int baudOf(speed_t speed) {
    static const std::map<speed_t, int> bauds = {
        {B0, 0},         {B300, 300},       {B1200, 1200},     {B2400, 2400},
        {B4800, 4800},   {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}};
    const auto found = bauds.find(speed);
    return found == bauds.end() ? -1 : found->second;
}

int csizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

const char* parityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return "none";
    }
    return (cflag & PARODD) != 0 ? "odd" : "even";
}

// One look at the sender's descriptor: values by key.
using Sample = std::map<std::string, std::string>;

Sample sample(int fd, const std::string& device, bool readModemLines) {
    Sample s;
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
        s["speed"] = std::to_string(baudOf(cfgetospeed(&t)));
        s["csize"] = std::to_string(csizeOf(t.c_cflag));
        s["parity"] = parityOf(t.c_cflag);
        s["stopb"] = (t.c_cflag & CSTOPB) != 0 ? "2" : "1";
        s["crtscts"] = (t.c_cflag & CRTSCTS) != 0 ? "1" : "0";
    }
    int lines = 0;
    if (readModemLines && ioctl(fd, TIOCMGET, &lines) == 0) {
        s["dtr"] = (lines & TIOCM_DTR) != 0 ? "1" : "0";
        s["rts"] = (lines & TIOCM_RTS) != 0 ? "1" : "0";
    }
    if (device.find("ttyUSB") != std::string::npos) {
        serial_struct info{};
        if (ioctl(fd, TIOCGSERIAL, &info) == 0) {
            s["low_latency"] = (info.flags & ASYNC_LOW_LATENCY) != 0 ? "1" : "0";
        }
        if (auto timer = readLine(latencyTimerPath(device))) {
            s["latency_timer"] = *timer;
        }
    }
    return s;
}

// The descriptor number under which process `pid` holds `device`, or -1.
int findDeviceFd(pid_t pid, dev_t device) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* d = opendir(dir.c_str());
    if (d == nullptr) {
        return -1;
    }
    int found = -1;
    while (dirent* entry = readdir(d)) {
        struct stat st {};
        if (entry->d_name[0] != '.' && stat((dir + "/" + entry->d_name).c_str(), &st) == 0 &&
            S_ISCHR(st.st_mode) && st.st_rdev == device) {
            found = std::atoi(entry->d_name);
            break;
        }
    }
    closedir(d);
    return found;
}

// Kernel log records as (seconds on the kernel's clock, text).
std::vector<std::pair<double, std::string>> kernelLog() {
    std::vector<std::pair<double, std::string>> records;
    Fd kmsg(::open("/dev/kmsg", O_RDONLY | O_NONBLOCK));
    char buffer[8192];
    ssize_t n;
    while (kmsg.get() >= 0 && (n = ::read(kmsg.get(), buffer, sizeof buffer - 1)) != 0) {
        if (n < 0) {
            if (errno == EPIPE) {
                continue;  // overwritten records: read on
            }
            break;
        }
        buffer[n] = '\0';
        const char* text = std::strchr(buffer, ';');
        unsigned long long usec = 0;
        if (text != nullptr && std::sscanf(buffer, "%*u,%*u,%llu", &usec) == 1) {
            records.emplace_back(usec / 1e6, std::string(text + 1));
        }
    }
    return records;
}

int countEntries(const char* dir) {
    int count = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* entry = readdir(d)) {
            count += entry->d_name[0] != '.';
        }
        closedir(d);
    }
    return count;
}

// The value each key had in most samples: the state during the send rather than the moments
// around open and close.
Sample mostSeen(const std::vector<Sample>& samples) {
    std::map<std::string, std::map<std::string, int>> counts;
    for (const auto& s : samples) {
        for (const auto& [key, value] : s) {
            ++counts[key][value];
        }
    }
    Sample result;
    for (const auto& [key, values] : counts) {
        int best = 0;
        for (const auto& [value, count] : values) {
            if (count > best) {
                best = count;
                result[key] = value;
            }
        }
    }
    return result;
}

int watch(double unplugAfterS, const std::string& device, const std::string& guestFile,
          const std::string& resultFile, char** command) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0) {
        std::fprintf(stderr, "probe: no %s: %s\n", device.c_str(), std::strerror(errno));
        return 1;
    }
    const dev_t rdev = st.st_rdev;
    Sample extra;
    if (auto timer = readLine(latencyTimerPath(device))) {
        extra["latency_timer_before"] = *timer;
    }
    std::fflush(nullptr);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int out = ::open(resultFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
        const gid_t groups[] = {kDialout};
        if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || setgroups(1, groups) != 0 ||
            setgid(kUserGroup) != 0 || setuid(kUser) != 0) {
            _exit(126);
        }
        execv(command[0], command);
        std::fprintf(stderr, "probe: cannot run %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    std::printf("@@KORVANE-CLI-START\n");
    std::fflush(stdout);
    Fd pidfd(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    if (pidfd.get() < 0) {
        std::fprintf(stderr, "probe: pidfd_open: %s\n", std::strerror(errno));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        return 1;
    }

    std::vector<Sample> samples;
    std::optional<double> firstSeen;
    double lastSeen = 0;
    int senderFd = -1;
    for (;;) {
        pollfd p{pidfd.get(), POLLIN, 0};
        if (poll(&p, 1, kSampleMs) != 0) {
            break;  // the command ended
        }
        if (senderFd < 0) {
            senderFd = findDeviceFd(child, rdev);
            if (senderFd < 0) {
                continue;
            }
        }
        Fd copy(static_cast<int>(syscall(SYS_pidfd_getfd, pidfd.get(), senderFd, 0)));
        struct stat held {};
        if (copy.get() < 0 || fstat(copy.get(), &held) != 0 || held.st_rdev != rdev) {
            senderFd = -1;  // closed, or the number now names something else
            continue;
        }
        const bool modemReads =
            unplugAfterS <= 0 || secondsSince(start) < unplugAfterS - kModemQuietS;
        samples.push_back(sample(copy.get(), device, modemReads));
        samples.back()["locks_during"] = std::to_string(countEntries("/run/lock"));
        lastSeen = secondsSince(start);
        if (!firstSeen) {
            firstSeen = lastSeen;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    {
        // Marks the end on the kernel log's clock, beside the driver's own lines.
        Fd kmsg(::open("/dev/kmsg", O_WRONLY));
        const char mark[] = "korvane-probe: command ended\n";
        if (kmsg.get() < 0 || ::write(kmsg.get(), mark, sizeof mark - 1) < 0) {
            std::fprintf(stderr, "probe: cannot write /dev/kmsg: %s\n", std::strerror(errno));
        }
    }
    const double ranS = secondsSince(start);
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    {
        std::ofstream result(resultFile, std::ios::app);
        result << exitStatus << "\n";
    }

    Sample seen = mostSeen(samples);
    seen["samples"] = std::to_string(samples.size());
    seen["locks_after"] = std::to_string(countEntries("/run/lock"));
    char ran[32];
    std::snprintf(ran, sizeof ran, "%.3f", ranS);
    seen["cli_run_s"] = ran;
    if (firstSeen) {
        // From the first to the last look at the open port: about the download itself, without
        // the CLI's start-up and the image load.
        std::snprintf(ran, sizeof ran, "%.3f", lastSeen - *firstSeen);
        seen["port_open_s"] = ran;
    }
    if (unplugAfterS <= 0) {
        if (auto timer = readLine(latencyTimerPath(device))) {
            seen["latency_timer_after"] = *timer;
        }
    } else {
        std::optional<double> disconnect, end;
        for (const auto& [at, text] : kernelLog()) {
            if (text.find("USB disconnect") != std::string::npos) {
                disconnect = at;
            } else if (text.starts_with("korvane-probe: command ended")) {
                end = at;
            }
        }
        if (disconnect && end) {
            char gap[32];
            std::snprintf(gap, sizeof gap, "%.3f", *end - *disconnect);
            seen["cli_end_after_disconnect_s"] = gap;
        }
    }
    seen.merge(extra);
    std::ofstream out(guestFile);
    for (const auto& [key, value] : seen) {
        out << key << "=" << value << "\n";
    }
    return 0;
}

// Asks the driver, as the dialout user, for settings a 16550 cannot give or a user may not set,
// and writes for each request what came back: the call's error, then the setting read back.
int refuse(const std::string& device, const std::string& outFile) {
    std::ofstream out(outFile, std::ios::app);
    const gid_t groups[] = {kDialout};
    if (setgroups(1, groups) != 0 || setgid(kUserGroup) != 0 || setuid(kUser) != 0) {
        std::fprintf(stderr, "probe: cannot become the dialout user: %s\n", std::strerror(errno));
        return 1;
    }
    Fd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    termios base{};
    if (fd.get() < 0 || tcgetattr(fd.get(), &base) != 0) {
        std::fprintf(stderr, "probe: cannot open %s: %s\n", device.c_str(), std::strerror(errno));
        return 1;
    }
    cfmakeraw(&base);
    cfsetspeed(&base, B38400);
    tcsetattr(fd.get(), TCSANOW, &base);
    // The call's outcome is taken before anything else can change errno.
    auto called = [](int rc) { return std::string(rc == 0 ? "ok" : std::strerror(errno)); };
    termios t = base;
    cfsetspeed(&t, B460800);
    const std::string speed = called(tcsetattr(fd.get(), TCSANOW, &t));
    tcgetattr(fd.get(), &t);
    out << "refuse_speed_460800=" << speed << "," << baudOf(cfgetospeed(&t)) << "\n";
    tcsetattr(fd.get(), TCSANOW, &base);

    serial_struct info{};
    if (ioctl(fd.get(), TIOCGSERIAL, &info) == 0) {
        serial_struct asked = info;
        asked.baud_base = info.baud_base * 4;
        const std::string baudBase = called(ioctl(fd.get(), TIOCSSERIAL, &asked));
        serial_struct back{};
        ioctl(fd.get(), TIOCGSERIAL, &back);
        out << "refuse_baud_base=" << baudBase << "," << back.baud_base << "\n";
        asked = info;
        asked.flags |= ASYNC_LOW_LATENCY;
        const std::string lowLatency = called(ioctl(fd.get(), TIOCSSERIAL, &asked));
        ioctl(fd.get(), TIOCGSERIAL, &back);
        out << "refuse_low_latency=" << lowLatency << ","
            << ((back.flags & ASYNC_LOW_LATENCY) != 0 ? 1 : 0) << "\n";
        ioctl(fd.get(), TIOCSSERIAL, &info);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 5 && args[0] == "watch") {
        std::size_t i = 1;
        double unplugAfterS = 0;
        if (args[i] == "--unplug-after-s") {
            unplugAfterS = std::atof(args[i + 1].c_str());
            i += 2;
        }
        if (args.size() > i + 4 && args[i + 3] == "--") {
            return watch(unplugAfterS, args[i], args[i + 1], args[i + 2], argv + i + 5);
        }
    }
    if (args.size() == 3 && args[0] == "refuse") {
        return refuse(args[1], args[2]);
    }
    std::fprintf(stderr,
                 "usage: korvane_serial_probe watch [--unplug-after-s S] DEVICE GUEST-FILE "
                 "RESULT-FILE -- COMMAND...\n");
    return 2;
}
