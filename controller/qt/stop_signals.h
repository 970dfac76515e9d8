// Turns SIGINT and SIGTERM into a call on the event loop (self-pipe + QSocketNotifier).
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace tarrow::ctrl {

class StopSignals : public QObject {
public:
    // onSignal receives "SIGINT" or "SIGTERM". One instance per process.
    explicit StopSignals(std::function<void(const char* name)> onSignal, QObject* parent = nullptr);
    ~StopSignals() override;

private:
    std::function<void(const char*)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tarrow::ctrl
