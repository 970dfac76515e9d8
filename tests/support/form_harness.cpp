#include "tests/support/form_harness.h"

namespace tarrow {

FormHarness::FormHarness(Options options)
    : timeDiscover(scheduler.createTimer()),
      timeEvent(scheduler.createTimer()),
      timeCountdown(scheduler.createTimer()),
      monotonicClock(scheduler) {
    if (options.iniPath) {
        iniPath = *options.iniPath;
    } else {
        // A name that does not exist unless the test writes it.
        iniPath = (temp.path() / "Tarrow.INI").string();
        if (options.iniContent) writeFile("Tarrow.INI", *options.iniContent);
    }
    if (options.build) build();
}

FormHarness::~FormHarness() { destroy(); }

void FormHarness::build() {
    destroy();
    form_ = std::make_unique<TfrmTrwMain>(TrwPorts{
        .window = window,
        .edtUser = edtUser,
        .edtPasswd = edtPasswd,
        .edtTree = edtTree,
        .edtContext = edtContext,
        .edtServer = edtServer,
        .cmbVendor = cmbVendor,
        .cmbFunction = cmbFunction,
        .lblFuncTimer = lblFuncTimer,
        .btnExecute = btnExecute,
        .miOptionsBatch = miOptionsBatch,
        .miOptionsClient = miOptionsClient,
        .memDebug = memDebug,
        .statBar = statBar,
        .timeDiscover = timeDiscover,
        .timeEvent = timeEvent,
        .timeCountdown = timeCountdown,
        .sktOutput = sktOutput,
        .sktInput = sktInput,
        .tcpTransport = tcp,
        .monotonicClock = monotonicClock,
        .wallClock = wallClock,
        .random = random,
        .errorReport = errorReport,
        .iniPath = iniPath,
    });
}

void FormHarness::destroy() { form_.reset(); }

}  // namespace tarrow
