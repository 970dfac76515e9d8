// A TfrmTrwMain on in-memory doubles, in virtual time, with a private temporary folder for
// its INI and users files. Every double is a public member for tests to drive and inspect.
//
//   FormHarness h;                        // no INI file: every default
//   FormHarness h(FormHarness::withIni("[General]\nMaxDelay=5\n"));
//   h.advance(5000);                      // fires due timer ticks in order
//   h.sktInput.inject("DISCOVER", "127.0.0.1");
//   h.tcp.raiseConnected();
//   h.log()                               // the log pane's lines
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/app/TrwU.h"
#include "tests/support/fake_controls.h"
#include "tests/support/fake_tcp_transport.h"
#include "tests/support/fake_udp.h"
#include "tests/support/recording_error_report.h"
#include "tests/support/temp_folder.h"
#include "tests/support/virtual_scheduler.h"

namespace tarrow {

class FormHarness {
public:
    struct Options {
        // INI file content, written to the temporary folder as "Tarrow.INI". No file when absent.
        std::optional<std::string> iniContent;
        // Or an INI path of the test's own (wins over iniContent).
        std::optional<std::string> iniPath;
        // Build the form in the constructor (false: call build() later, after setting doubles).
        bool build = true;
    };
    static Options withIni(std::string content) {
        Options o;
        o.iniContent = std::move(content);
        return o;
    }

    FormHarness() : FormHarness(Options{}) {}
    explicit FormHarness(Options options);
    ~FormHarness();
    FormHarness(const FormHarness&) = delete;
    FormHarness& operator=(const FormHarness&) = delete;

    // Creates the form on the doubles; the doubles keep whatever state tests gave them.
    void build();
    // Destroys the form (as closing the window does); the doubles stay for inspection.
    void destroy();
    TfrmTrwMain& form() { return *form_; }
    bool built() const { return form_ != nullptr; }

    void advance(std::int64_t ms) { scheduler.advance(ms); }
    const std::vector<std::string>& log() const { return memDebug.lines; }
    std::string status() const { return statBar.simpleText(); }
    // Writes a file into the temporary folder; returns its full path.
    std::string writeFile(const std::string& name, const std::string& content) const {
        return temp.writeFile(name, content);
    }

    TempFolder temp;
    VirtualScheduler scheduler;
    FakeFormWindow window;
    FakeEditBox edtUser, edtPasswd, edtTree, edtContext, edtServer;
    FakeComboBox cmbVendor, cmbFunction;
    FakeLabel lblFuncTimer;
    FakeButton btnExecute;
    FakeMenuItem miOptionsBatch, miOptionsClient;
    FakeLogPane memDebug;
    FakeStatusBar statBar;
    VirtualTimer& timeDiscover;
    VirtualTimer& timeEvent;
    VirtualTimer& timeCountdown;
    FakeUdpSender sktOutput;
    FakeUdpReceiver sktInput;
    FakeTcpTransport tcp;
    FakeMonotonicClock monotonicClock;
    FakeWallClock wallClock;
    ScriptedRandom random;
    RecordingErrorReport errorReport;
    std::string iniPath;

private:
    std::unique_ptr<TfrmTrwMain> form_;
};

inline constexpr const char* kControllerIp = "127.0.0.1";

// The controller at ip answers discovery and the control connection comes up.
inline void connectController(FormHarness& h, const std::string& ip = kControllerIp) {
    h.sktInput.inject("DISCOVER", ip);
    h.tcp.peerAddressText = ip;
    h.tcp.raiseConnected();
}

// The log pane's lines from index from on.
inline std::vector<std::string> logSince(const FormHarness& h, std::size_t from) {
    const auto& lines = h.log();
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end()};
}

}  // namespace tarrow
