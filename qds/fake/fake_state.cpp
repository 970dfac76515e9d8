#define QDSFAKE_BUILDING
#include "qds/fake/fake_state.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <optional>
#include <sys/file.h>
#include <unistd.h>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace qdsfake {
namespace {

constexpr std::uint32_t kConnectionBase = 1000;
constexpr std::size_t kMaxServers = 4096;

std::int64_t steadyNowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct NthFailure {
    std::string operation;
    unsigned n;
    std::int32_t code;
};

struct State {
    std::mutex mutex;
    bool recording = false;
    // A deque keeps every recorded text in place, so qdsfake_call pointers stay valid.
    std::deque<std::string> calls;
    std::map<std::string, std::int32_t> failAlways;
    std::vector<NthFailure> failNth;
    std::map<std::string, std::int32_t> failUser;
    std::map<std::string, unsigned> callsSoFar;  // per operation, since the last reset
    std::uint32_t loginDelayUs = 0;
    // A directory of known capacity: each login holds one of these servers for serviceUs,
    // queueing while all are busy. freeAtUs: when each server is free, on the steady clock.
    std::uint32_t serviceUs = 0;
    std::vector<std::int64_t> freeAtUs;
    // With a servers file: the free times live there, one 8-byte value per server, shared by
    // every process that names the file; -1: this process's own, in freeAtUs.
    int serversFd = -1;
    // Virtual phase figures in microseconds; -1: the phase is not reached. Bind is the
    // login delay and is not kept here.
    std::array<std::int64_t, QV_PHASE_COUNT> phaseUs = defaultPhases();
    std::uint32_t nextContext = 1;
    std::set<std::uint32_t> contexts;
    std::set<std::uint32_t> logins;
    int unicodeTables = 0;

    // Keeps the servers' free times in the file at path (made when missing) instead; null:
    // in this process again. False when the file cannot be opened.
    bool shareServers(const char* path) {
        if (serversFd >= 0) ::close(serversFd);
        serversFd = path ? ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
        return !path || serversFd >= 0;
    }

    // The end of a login that arrives at nowUs: the server free first takes it, at once when
    // it is idle, else when its last login ends.
    std::int64_t book(std::int64_t nowUs) {
        if (serversFd >= 0) {
            if (const auto endUs = bookInFile(nowUs)) return *endUs;
        }
        auto server = std::min_element(freeAtUs.begin(), freeAtUs.end());
        *server = std::max(nowUs, *server) + serviceUs;
        return *server;
    }

    // The same in the shared file, under its lock: the steady clock is the machine's, so the
    // times of all processes compare. Nothing when the file cannot be read or written.
    std::optional<std::int64_t> bookInFile(std::int64_t nowUs) {
        while (::flock(serversFd, LOCK_EX) != 0)
            if (errno != EINTR) return std::nullopt;
        std::vector<std::int64_t> freeAt(freeAtUs.size(), 0);  // a file shorter than that: idle
        const auto bytes = static_cast<ssize_t>(freeAt.size() * sizeof(std::int64_t));
        std::optional<std::int64_t> endUs;
        if (::pread(serversFd, freeAt.data(), static_cast<std::size_t>(bytes), 0) >= 0) {
            auto server = std::min_element(freeAt.begin(), freeAt.end());
            *server = std::max(nowUs, *server) + serviceUs;
            const auto offset = static_cast<off_t>(server - freeAt.begin()) *
                                static_cast<off_t>(sizeof(std::int64_t));
            if (::pwrite(serversFd, &*server, sizeof(std::int64_t), offset) == sizeof(std::int64_t))
                endUs = *server;
        }
        ::flock(serversFd, LOCK_UN);
        return endUs;
    }

    static std::array<std::int64_t, QV_PHASE_COUNT> defaultPhases() {
        std::array<std::int64_t, QV_PHASE_COUNT> p{};
        p[QV_PHASE_TLS] = -1;  // a plain tree: no handshake
        return p;
    }

    void clear() {
        phaseUs = defaultPhases();
        calls.clear();
        failAlways.clear();
        failNth.clear();
        failUser.clear();
        callsSoFar.clear();
        loginDelayUs = 0;
        serviceUs = 0;
        freeAtUs.clear();
        shareServers(nullptr);
        nextContext = 1;
        contexts.clear();
        logins.clear();
        unicodeTables = 0;
    }
};

State& state() {
    static State s;
    return s;
}

std::atomic<bool> timingOn{true};
thread_local QVLoginTimings timings{};

void setPhase(std::int32_t phase, std::int64_t us) {
    if (phase < 0 || phase >= QV_PHASE_COUNT || phase == QV_PHASE_BIND) return;
    state().phaseUs[static_cast<std::size_t>(phase)] = us < 0 ? -1 : us;
}

int phaseOfName(const std::string& name) {
    static const char* const names[QV_PHASE_COUNT] = {"connect", "tls", "bind", "verify", "unbind"};
    for (int p = 0; p < QV_PHASE_COUNT; ++p)
        if (name == names[p]) return p;
    return -1;
}

void recordPhase(int phase, std::int64_t us) {
    if (us < 0) return;
    timings.us[phase] = us;
    timings.reached |= 1u << phase;
}

std::vector<std::string> splitOn(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = s.find(sep, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

bool parseLong(const std::string& s, long long& value) {
    if (s.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(s.c_str(), &end, 10);
    return *end == '\0';
}

void reportBadEntry(const char* variable, const std::string& entry, const char* expected) {
    std::fprintf(stderr, "qdsfake: ignoring %s entry \"%s\": expected %s\n", variable, entry.c_str(), expected);
}

// Reads the QDSFAKE_* variables; runs once when the library is loaded.
void configureFromEnvironment() {
    State& s = state();
    if (const char* v = std::getenv("QDSFAKE_RECORD")) s.recording = std::strcmp(v, "0") != 0;
    if (const char* v = std::getenv("QDSFAKE_FAIL")) {
        for (const auto& entry : splitOn(v, ',')) {
            const auto parts = splitOn(entry, ':');
            long long code = 0;
            if (parts.size() == 2 && !parts[0].empty() && parseLong(parts[1], code))
                s.failAlways[parts[0]] = static_cast<std::int32_t>(code);
            else if (!entry.empty())
                reportBadEntry("QDSFAKE_FAIL", entry, "OPERATION:CODE");
        }
    }
    if (const char* v = std::getenv("QDSFAKE_FAIL_NTH")) {
        for (const auto& entry : splitOn(v, ',')) {
            const auto parts = splitOn(entry, ':');
            long long n = 0, code = 0;
            if (parts.size() == 3 && !parts[0].empty() && parseLong(parts[1], n) && n > 0 &&
                parseLong(parts[2], code))
                s.failNth.push_back({parts[0], static_cast<unsigned>(n), static_cast<std::int32_t>(code)});
            else if (!entry.empty())
                reportBadEntry("QDSFAKE_FAIL_NTH", entry, "OPERATION:N:CODE");
        }
    }
    if (const char* v = std::getenv("QDSFAKE_FAIL_USER")) {
        for (const auto& entry : splitOn(v, ',')) {
            const auto parts = splitOn(entry, ':');
            long long code = 0;
            if (parts.size() == 2 && !parts[0].empty() && parseLong(parts[1], code))
                s.failUser[parts[0]] = static_cast<std::int32_t>(code);
            else if (!entry.empty())
                reportBadEntry("QDSFAKE_FAIL_USER", entry, "USER:CODE");
        }
    }
    if (const char* v = std::getenv("QDSFAKE_PHASE_US")) {
        for (const auto& entry : splitOn(v, ',')) {
            const auto parts = splitOn(entry, ':');
            long long us = 0;
            const int phase = parts.size() == 2 ? phaseOfName(parts[0]) : -1;
            if (phase >= 0 && phase != QV_PHASE_BIND && parseLong(parts[1], us) && us >= -1 && us <= 60'000'000)
                setPhase(phase, us);
            else if (!entry.empty())
                reportBadEntry("QDSFAKE_PHASE_US", entry,
                               "PHASE:US (connect, tls, verify, unbind; -1: not reached)");
        }
    }
    const char* servers = std::getenv("QDSFAKE_SERVERS");
    const char* service = std::getenv("QDSFAKE_SERVICE_US");
    if (servers || service) {
        long long c = 0, us = 0;
        if (!servers || !service)
            reportBadEntry(servers ? "QDSFAKE_SERVERS" : "QDSFAKE_SERVICE_US", servers ? servers : service,
                           "QDSFAKE_SERVERS and QDSFAKE_SERVICE_US together");
        else if (!parseLong(servers, c) || c < 1 || c > static_cast<long long>(kMaxServers))
            reportBadEntry("QDSFAKE_SERVERS", servers, "a number of servers from 1 to 4096");
        else if (!parseLong(service, us) || us < 1 || us > 60'000'000)
            reportBadEntry("QDSFAKE_SERVICE_US", service, "microseconds from 1 to 60000000");
        else {
            s.serviceUs = static_cast<std::uint32_t>(us);
            s.freeAtUs.assign(static_cast<std::size_t>(c), 0);
        }
    }
    if (const char* path = std::getenv("QDSFAKE_SERVERS_FILE"); path && !s.shareServers(path))
        reportBadEntry("QDSFAKE_SERVERS_FILE", path, "a file that can be opened for reading and writing");
    if (const char* v = std::getenv("QDSFAKE_LOGIN_DELAY_US")) {
        long long us = 0;
        if (parseLong(v, us) && us >= 0 && us <= 60'000'000) s.loginDelayUs = static_cast<std::uint32_t>(us);
        else
            reportBadEntry("QDSFAKE_LOGIN_DELAY_US", v, "microseconds from 0 to 60000000");
    }
}

[[maybe_unused]] const bool configured = (configureFromEnvironment(), true);

}  // namespace

std::int32_t onCall(const char* operation, const std::string& arguments, const char* userName) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.recording) s.calls.push_back(std::string(operation) + "(" + arguments + ")");
    const unsigned n = ++s.callsSoFar[operation];
    for (const auto& f : s.failNth)
        if (f.operation == operation && f.n == n) return f.code;
    if (userName) {
        const auto it = s.failUser.find(userName);
        if (it != s.failUser.end()) return it->second;
    }
    const auto it = s.failAlways.find(operation);
    return it == s.failAlways.end() ? 0 : it->second;
}

std::uint32_t createContext() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::uint32_t h = s.nextContext++;
    s.contexts.insert(h);
    return h;
}

bool contextExists(std::uint32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.contexts.count(handle) != 0;
}

bool freeContext(std::uint32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.contexts.erase(handle);
    return s.logins.erase(handle) != 0;  // releasing a context ends its login
}

void beginLogin(std::uint32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.logins.insert(handle);
}

bool endLogin(std::uint32_t handle) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.logins.erase(handle) != 0;
}

void initUnicodeTables() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    ++s.unicodeTables;
}

void freeUnicodeTables() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.unicodeTables > 0) --s.unicodeTables;
}

std::uint32_t loginDelayUs() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.loginDelayUs;
}

std::int64_t serveLogin() {
    std::int64_t endUs = 0;
    std::int64_t nowUs = 0;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        if (s.freeAtUs.empty()) return 0;
        // The server free first takes the login: at once when it is idle, else when its
        // last login ends. Ends are booked, not slept, so oversleeping never lowers capacity.
        nowUs = steadyNowUs();
        endUs = s.book(nowUs);
    }
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(endUs)));
    return endUs - nowUs;
}

std::uint32_t connectionOf(std::uint32_t handle) { return kConnectionBase + handle; }

void timeLogin(std::int64_t servedUs) {
    if (!timingOn.load(std::memory_order_relaxed)) return;
    std::array<std::int64_t, QV_PHASE_COUNT> phases;
    std::uint32_t delay = 0;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        phases = s.phaseUs;
        delay = s.loginDelayUs;
    }
    for (int p : {QV_PHASE_CONNECT, QV_PHASE_TLS, QV_PHASE_BIND, QV_PHASE_VERIFY}) {
        timings.us[p] = 0;
        timings.reached &= ~(1u << p);
    }
    recordPhase(QV_PHASE_CONNECT, phases[QV_PHASE_CONNECT]);
    recordPhase(QV_PHASE_TLS, phases[QV_PHASE_TLS]);
    recordPhase(QV_PHASE_BIND, delay + servedUs);
}

void timeVerify() {
    if (!timingOn.load(std::memory_order_relaxed)) return;
    State& s = state();
    std::lock_guard lock(s.mutex);
    recordPhase(QV_PHASE_VERIFY, s.phaseUs[QV_PHASE_VERIFY]);
}

void timeUnbind() {
    if (!timingOn.load(std::memory_order_relaxed)) return;
    State& s = state();
    std::lock_guard lock(s.mutex);
    recordPhase(QV_PHASE_UNBIND, s.phaseUs[QV_PHASE_UNBIND]);
}

QVLoginTimings takeLoginTimings() {
    const QVLoginTimings taken = timings;
    timings = QVLoginTimings{};
    return taken;
}

void setLoginTiming(bool on) { timingOn.store(on, std::memory_order_relaxed); }

}  // namespace qdsfake

using qdsfake::state;

extern "C" {

void qdsfake_reset(void) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.clear();
    s.recording = true;
}

void qdsfake_set_recording(int on) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.recording = on != 0;
}

void qdsfake_fail(const char* operation, int32_t code) {
    if (!operation) return;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.failAlways[operation] = code;
}

void qdsfake_fail_nth(const char* operation, unsigned n, int32_t code) {
    if (!operation || n == 0) return;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.failNth.push_back({operation, n, code});
}

void qdsfake_fail_user(const char* userName, int32_t code) {
    if (!userName) return;
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.failUser[userName] = code;
}

void qdsfake_set_login_delay_us(uint32_t us) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.loginDelayUs = us;
}

void qdsfake_set_servers(uint32_t servers, uint32_t service_us) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const bool on = servers > 0 && service_us > 0;
    s.serviceUs = on ? service_us : 0;
    s.freeAtUs.assign(on ? std::min<std::size_t>(servers, qdsfake::kMaxServers) : 0, 0);
}

int qdsfake_share_servers(const char* path) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.shareServers(path) ? 0 : -1;
}

void qdsfake_set_phase_us(int32_t phase, int64_t us) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    qdsfake::setPhase(phase, us);
}

size_t qdsfake_call_count(void) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.calls.size();
}

const char* qdsfake_call(size_t index) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return index < s.calls.size() ? s.calls[index].c_str() : nullptr;
}

int qdsfake_open_contexts(void) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.contexts.size());
}

int qdsfake_open_logins(void) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.logins.size());
}

int qdsfake_open_unicode_tables(void) {
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.unicodeTables;
}

}  // extern "C"
