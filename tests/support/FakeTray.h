#pragma once

#include "ui/logic/TrayControl.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// A tray window that records what the configuration window asks of it.
class FakeTray final : public ui::TrayControl {
public:
    // "timer on", "timer off", "unload", "end", in order.
    std::vector<std::string> calls;
    // The call (as recorded) that throws instead of being recorded.
    std::string failOn;

    void setMonitorTimerEnabled(bool enabled) override {
        record(enabled ? "timer on" : "timer off");
    }
    void unloadTrayWindow() override { record("unload"); }
    void endProgram() override { record("end"); }

private:
    void record(const std::string& call) {
        if (call == failOn) {
            throw std::runtime_error("The tray window failed");
        }
        calls.push_back(call);
    }
};

} // namespace testsupport
