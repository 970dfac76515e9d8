// Load driver for TarrowCtrl on 127.0.0.1: opens many control connections that speak the
// client's side (every "U" packet answered at once with "R1") and reports exchanges per
// second and the time from a reply to the next packet. The same driver runs against a
// minimal echo-style server in this process as the reference, and the ratio is printed,
// with the CPU time per exchange of its serving thread.
// Then TarrowCtrl runs with clients that accept the timings request and send a timing
// record with every reply, alternated with runs without timings (--no-timings), and the
// ratio of the two, the ratio with timings to the reference and the controller's CPU time
// per exchange of each are printed. Each round
// ends with a run with timings and the live view (--web 0) whose event stream a page reads the
// whole time, and the ratio to the run without the page is printed; then one with --web
// whose /metrics a scraper reads once a second, as Prometheus would, against the run with
// timings and without --web.
//
//   ctrl_load_bench [--clients N] [--seconds S] [--rounds R] [--ctrl PATH]
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

struct DriveResult {
    int connected = 0;               // connections established
    int served = 0;                  // connections that got at least one packet in the window
    std::uint64_t exchanges = 0;     // packets answered inside the measuring window
    std::uint64_t allExchanges = 0;  // packets answered over the whole drive, warm-up included
    double seconds = 0;
    std::vector<std::int64_t> gapsUs;  // reply sent -> next packet received
    double perSecond() const { return seconds > 0 ? static_cast<double>(exchanges) / seconds : 0; }
    std::int64_t percentile(double q) {
        if (gapsUs.empty()) return 0;
        std::sort(gapsUs.begin(), gapsUs.end());
        const auto i = static_cast<std::size_t>(q * static_cast<double>(gapsUs.size() - 1));
        return gapsUs[i];
    }
};

// The timings extension as our client speaks it (common/timings_extension.h).
constexpr char kRequest[] = "Ftarrow-timings/1";
constexpr std::size_t kRequestBytes = sizeof kRequest - 1;
constexpr char kAcceptance[] = "\0tarrow-timings/1\n";
constexpr char kTimedReply[] = "R1\0e=523 l=1003 c=120 b=300 v=50 u=40\n";

// Opens `clients` connections to 127.0.0.1:port, answers every packet with "R1" at once
// (timed: accepts the timings request and sends a record with every reply), warms up for
// one second and measures for `seconds`.
DriveResult drive(std::uint16_t port, int clients, double seconds, bool timed = false) {
    DriveResult r;
    const int ep = epoll_create1(EPOLL_CLOEXEC);
    struct Conn {
        int fd = -1;
        std::int64_t repliedUs = 0;
        bool servedInWindow = false;
    };
    std::vector<Conn> conns(static_cast<std::size_t>(clients));
    const sockaddr_in addr = loopback(port);
    for (int i = 0; i < clients; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
            close(fd);
            break;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fcntl(fd, F_SETFL, O_NONBLOCK);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u32 = static_cast<std::uint32_t>(i);
        epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
        conns[static_cast<std::size_t>(i)].fd = fd;
        ++r.connected;
    }
    r.gapsUs.reserve(1 << 20);
    const std::int64_t startUs = nowUs();
    const std::int64_t windowStartUs = startUs + 1'000'000;
    const std::int64_t endUs = windowStartUs + static_cast<std::int64_t>(seconds * 1e6);
    std::vector<epoll_event> events(1024);
    char buf[4096];
    for (;;) {
        const std::int64_t now = nowUs();
        if (now >= endUs) break;
        const int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 50);
        for (int k = 0; k < n; ++k) {
            Conn& c = conns[events[static_cast<std::size_t>(k)].data.u32];
            const ssize_t got = read(c.fd, buf, sizeof buf);
            if (got <= 0) {
                if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
                    close(c.fd);
                    c.fd = -1;
                }
                continue;
            }
            if (timed && static_cast<std::size_t>(got) >= kRequestBytes &&
                std::memcmp(buf, kRequest, kRequestBytes) == 0) {
                [[maybe_unused]] auto w = write(c.fd, kAcceptance, sizeof kAcceptance - 1);
                if (static_cast<std::size_t>(got) == kRequestBytes) continue;
            }
            const std::int64_t t = nowUs();
            ++r.allExchanges;
            if (t >= windowStartUs && t < endUs) {
                if (c.repliedUs >= windowStartUs) r.gapsUs.push_back(t - c.repliedUs);
                ++r.exchanges;
                c.servedInWindow = true;
            }
            const char* reply = timed ? kTimedReply : "R1";
            const std::size_t length = timed ? sizeof kTimedReply - 1 : 2;
            if (write(c.fd, reply, length) == static_cast<ssize_t>(length)) c.repliedUs = nowUs();
        }
    }
    r.seconds = seconds;
    for (Conn& c : conns) {
        if (c.servedInWindow) ++r.served;
        if (c.fd >= 0) close(c.fd);
    }
    close(ep);
    return r;
}

// The reference: the least a server can do for the same exchange (answer every read with a
// credential packet), single-threaded on epoll.
class ReferenceServer {
public:
    ReferenceServer() {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a = loopback(0);
        bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listenFd_, 4096);
        socklen_t len = sizeof a;
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~ReferenceServer() {
        stop();
        close(listenFd_);
    }
    std::uint16_t port() const { return port_; }
    // The serving thread's CPU time, known once stop() returned.
    double cpuSeconds() const { return cpuSeconds_; }
    void stop() {
        if (stop_.exchange(true)) return;
        thread_.join();
    }

private:
    void run() {
        timespec begin{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &begin);
        const int ep = epoll_create1(EPOLL_CLOEXEC);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = listenFd_;
        epoll_ctl(ep, EPOLL_CTL_ADD, listenFd_, &ev);
        static const char packet[] = "UElmfordTestUser1,secret,127.0.0.1,Users.Vantric,NotUsed";
        std::vector<epoll_event> events(1024);
        std::vector<int> fds;
        char buf[4096];
        while (!stop_) {
            const int n = epoll_wait(ep, events.data(), static_cast<int>(events.size()), 50);
            for (int k = 0; k < n; ++k) {
                const int fd = events[static_cast<std::size_t>(k)].data.fd;
                if (fd == listenFd_) {
                    const int c = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (c < 0) continue;
                    const int one = 1;
                    setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    epoll_event cev{};
                    cev.events = EPOLLIN;
                    cev.data.fd = c;
                    epoll_ctl(ep, EPOLL_CTL_ADD, c, &cev);
                    fds.push_back(c);
                    [[maybe_unused]] auto w = write(c, packet, sizeof packet - 1);
                    continue;
                }
                const ssize_t got = read(fd, buf, sizeof buf);
                if (got <= 0) {
                    epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
                    continue;
                }
                [[maybe_unused]] auto w = write(fd, packet, sizeof packet - 1);
            }
        }
        for (int fd : fds) close(fd);
        close(ep);
        timespec end{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        cpuSeconds_ = static_cast<double>(end.tv_sec - begin.tv_sec) +
                      static_cast<double>(end.tv_nsec - begin.tv_nsec) / 1e9;
    }
    int listenFd_ = -1;
    double cpuSeconds_ = 0;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct CtrlChild {
    pid_t pid = -1;
    double cpuSeconds = 0;  // user + system time of the controller, known after it ended
    std::uint16_t port = 0;
    std::uint16_t webPort = 0;  // the live view's port when it runs with --web
    std::filesystem::path dir;
};

CtrlChild startController(const std::string& program, int users, bool askTimings, bool web = false) {
    CtrlChild c;
    c.dir = std::filesystem::temp_directory_path() / ("tarrowctrl-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(c.dir);
    std::ofstream(c.dir / "TarrowCtrl.ini")
        << "[General]\r\nLocal Broadcast=127.255.255.255\r\nUserFile=users.csv\r\n";
    {
        std::ofstream u(c.dir / "users.csv");
        for (int i = 1; i <= users; ++i)
            u << "ElmfordTestUser" << i << ",secret,127.0.0.1,Users.Vantric,NotUsed,1\r\n";
    }
    const std::string err = (c.dir / "stderr.txt").string();
    const std::string out = (c.dir / "stdout.txt").string();
    const std::string ini = (c.dir / "TarrowCtrl.ini").string();
    c.pid = fork();
    if (c.pid == 0) {
        freopen(err.c_str(), "w", stderr);
        freopen(out.c_str(), "w", stdout);
        std::vector<const char*> args{
            program.c_str(), "--ini", ini.c_str(),     "--control-port", "0",      "--discovery-port", "0",
            "--answer-port", "2309",  "--max-clients", "4096",           "--quiet"};
        if (askTimings) args.insert(args.end(), {"--timings-wait-ms", "250"});
        else
            args.push_back("--no-timings");
        if (web) args.insert(args.end(), {"--web", "0"});
        args.push_back(nullptr);
        execv(program.c_str(), const_cast<char* const*>(args.data()));
        _exit(127);
    }
    const std::regex re("listening on TCP port (\\d+)");
    const std::regex webRe("live view on http://127\\.0\\.0\\.1:(\\d+)/");
    for (int i = 0; i < 100 && (c.port == 0 || (web && c.webPort == 0)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(err);
        std::stringstream text;
        text << in.rdbuf();
        std::smatch m;
        const std::string s = text.str();
        if (std::regex_search(s, m, re)) c.port = static_cast<std::uint16_t>(std::stoi(m[1]));
        if (web && std::regex_search(s, m, webRe)) c.webPort = static_cast<std::uint16_t>(std::stoi(m[1]));
    }
    return c;
}

void stopController(CtrlChild& c) {
    if (c.pid > 0) {
        kill(c.pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            rusage usage{};
            if (wait4(c.pid, &status, WNOHANG, &usage) == c.pid) {
                c.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
                c.pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (c.pid > 0) {
            kill(c.pid, SIGKILL);
            waitpid(c.pid, &status, 0);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(c.dir, ec);
}

void print(const char* name, DriveResult& r) {
    const auto p50 = r.percentile(0.50);
    const auto p99 = r.percentile(0.99);
    std::printf(
        "%-10s connected %5d  served %5d  exchanges/s %9.0f  reply->next packet p50 %7.3f ms  p99 %7.3f ms\n",
        name, r.connected, r.served, r.perSecond(), static_cast<double>(p50) / 1000.0,
        static_cast<double>(p99) / 1000.0);
}

// Adds one run to the figures of its kind: served is the fewest of any round.
void addRun(DriveResult& sum, const DriveResult& r, bool first) {
    sum.connected = r.connected;
    sum.served = first ? r.served : std::min(sum.served, r.served);
    sum.exchanges += r.exchanges;
    sum.seconds += r.seconds;
    sum.gapsUs.insert(sum.gapsUs.end(), r.gapsUs.begin(), r.gapsUs.end());
}

// One run with timings and --web while watch(webPort, running) reads the live view on a
// thread of its own until the run ends; false when the controller did not start.
bool runWithWeb(const std::string& program, int clients, double seconds, bool first, DriveResult& sum,
                double& cpu, std::uint64_t& all,
                const std::function<void(std::uint16_t, const std::atomic<bool>&)>& watch) {
    CtrlChild ctrl = startController(program, 1000, true, true);
    if (ctrl.port == 0 || ctrl.webPort == 0) {
        std::fprintf(stderr, "TarrowCtrl --web did not start (%s)\n", program.c_str());
        stopController(ctrl);
        return false;
    }
    std::atomic<bool> running{true};
    std::thread watcher([&] { watch(ctrl.webPort, running); });
    const DriveResult r = drive(ctrl.port, clients, seconds, true);
    running = false;
    stopController(ctrl);
    watcher.join();
    addRun(sum, r, first);
    cpu += ctrl.cpuSeconds;
    all += r.allExchanges;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int clients = 1000;
    double seconds = 5;
    int rounds = 2;
    std::string program = TARROW_CTRL_PATH;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--clients") clients = std::atoi(argv[i + 1]);
        else if (a == "--seconds")
            seconds = std::atof(argv[i + 1]);
        else if (a == "--rounds")
            rounds = std::max(1, std::atoi(argv[i + 1]));
        else if (a == "--ctrl")
            program = argv[i + 1];
    }
    raiseDescriptorLimit();
    std::signal(SIGPIPE, SIG_IGN);

    DriveResult reference;
    double referenceCpu = 0;
    {
        ReferenceServer server;
        reference = drive(server.port(), clients, seconds);
        server.stop();
        referenceCpu = server.cpuSeconds();
    }
    // Without and with timings, alternated, so that a drift of the machine hits both.
    DriveResult plain, timed, watched, scraped;
    double plainCpu = 0, timedCpu = 0, watchedCpu = 0, scrapedCpu = 0;
    std::uint64_t plainAll = 0, timedAll = 0, watchedAll = 0, scrapedAll = 0;
    std::uint64_t eventsReceived = 0, scrapes = 0, scrapeBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const bool withTimings : {false, true}) {
            CtrlChild ctrl = startController(program, 1000, withTimings);
            if (ctrl.port == 0) {
                std::fprintf(stderr, "TarrowCtrl did not start (%s)\n", program.c_str());
                stopController(ctrl);
                return 1;
            }
            DriveResult r = drive(ctrl.port, clients, seconds, withTimings);
            stopController(ctrl);
            addRun(withTimings ? timed : plain, r, round == 0);
            (withTimings ? timedCpu : plainCpu) += ctrl.cpuSeconds;
            (withTimings ? timedAll : plainAll) += r.allExchanges;
        }
        // With timings and the live view, a page reading its event stream the whole time.
        std::atomic<std::uint64_t> events{0};
        if (!runWithWeb(program, clients, seconds, round == 0, watched, watchedCpu, watchedAll,
                        [&events](std::uint16_t port, const std::atomic<bool>& running) {
                            httplib::Client client("127.0.0.1", port);
                            client.set_read_timeout(5, 0);
                            client.Get("/events", [&](const char* data, std::size_t length) {
                                for (std::size_t i = 0; i + 1 < length; ++i)
                                    if (data[i] == '\n' && data[i + 1] == '\n') ++events;
                                return running.load();
                            });
                        }))
            return 1;
        eventsReceived += events;
        // With timings and --web, /metrics scraped once a second and no page open.
        if (!runWithWeb(program, clients, seconds, round == 0, scraped, scrapedCpu, scrapedAll,
                        [&scrapes, &scrapeBytes](std::uint16_t port, const std::atomic<bool>& running) {
                            httplib::Client client("127.0.0.1", port);
                            client.set_read_timeout(5, 0);
                            while (running) {
                                if (const auto got = client.Get("/metrics"); got && got->status == 200) {
                                    ++scrapes;
                                    scrapeBytes += got->body.size();
                                }
                                for (int i = 0; i < 20 && running; ++i)
                                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                            }
                        }))
            return 1;
    }

    std::printf("%d connections on 127.0.0.1, %.1f s measured after 1 s warm-up, %d rounds\n", clients,
                seconds, rounds);
    print("reference", reference);
    print("TarrowCtrl", plain);
    print("+timings", timed);
    print("+live page", watched);
    print("+scraped", scraped);
    std::printf("ratio TarrowCtrl/reference: %.2f\n",
                reference.perSecond() > 0 ? plain.perSecond() / reference.perSecond() : 0.0);
    const double timedRatio = plain.perSecond() > 0 ? timed.perSecond() / plain.perSecond() : 0.0;
    std::printf("ratio with timings/reference: %.2f\n",
                reference.perSecond() > 0 ? timed.perSecond() / reference.perSecond() : 0.0);
    std::printf("ratio with timings/without: %.2f (target >= 0.80: %s)\n", timedRatio,
                timedRatio >= 0.8 ? "yes" : "NO");
    auto cpu = [](const char* name, double cpuSeconds, std::uint64_t all) {
        if (cpuSeconds > 0 && all > 0)
            std::printf("TarrowCtrl CPU time per exchange %-16s %.2f us (%.0f exchanges per CPU second)\n",
                        name, cpuSeconds * 1e6 / static_cast<double>(all),
                        static_cast<double>(all) / cpuSeconds);
    };
    if (referenceCpu > 0 && reference.allExchanges > 0)
        std::printf("reference  CPU time per exchange                  %.2f us (its serving thread)\n",
                    referenceCpu * 1e6 / static_cast<double>(reference.allExchanges));
    cpu("without timings:", plainCpu, plainAll);
    cpu("with timings:", timedCpu, timedAll);
    cpu("+ live page:", watchedCpu, watchedAll);
    cpu("+ /metrics at 1 s:", scrapedCpu, scrapedAll);
    const double webRatio = timed.perSecond() > 0 ? watched.perSecond() / timed.perSecond() : 0.0;
    std::printf("ratio with the live page open/without: %.2f (target >= 0.90: %s; %llu updates received)\n",
                webRatio, webRatio >= 0.9 ? "yes" : "NO", static_cast<unsigned long long>(eventsReceived));
    const double scrapeRatio = timed.perSecond() > 0 ? scraped.perSecond() / timed.perSecond() : 0.0;
    std::printf("ratio scraped at 1 s/without --web: %.2f (%llu scrapes, %.0f bytes each)\n", scrapeRatio,
                static_cast<unsigned long long>(scrapes),
                scrapes ? static_cast<double>(scrapeBytes) / static_cast<double>(scrapes) : 0.0);
    std::printf("targets: all %d served: %s; >= 20000 exchanges/s: %s\n", clients,
                plain.served == clients && timed.served == clients ? "yes" : "NO",
                plain.perSecond() >= 20000 ? "yes" : "NO");
    return 0;
}
