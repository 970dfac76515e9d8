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
        window, edtUser, edtPasswd, edtTree, edtContext, edtServer, cmbVendor, cmbFunction,
        lblFuncTimer, btnExecute, miOptionsBatch, miOptionsClient, memDebug, statBar,
        timeDiscover, timeEvent, timeCountdown, sktOutput, sktInput, tcp, monotonicClock,
        wallClock, random, errorReport, iniPath});
}

void FormHarness::destroy() { form_.reset(); }

}  // namespace tarrow
