#pragma once

#include "ui/logic/MainWindowControl.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace uitest {

// A main window that records what the configuration window asks of it.
class FakeMainWindow final : public ui::MainWindowControl {
public:
    // "timer on", "timer off", "unload", "end", in order.
    std::vector<std::string> calls;
    // The call (as recorded) that throws instead of being recorded.
    std::string failOn;

    void setMonitorTimerEnabled(bool enabled) override {
        record(enabled ? "timer on" : "timer off");
    }
    void unloadMainWindow() override { record("unload"); }
    void endProgram() override { record("end"); }

private:
    void record(const std::string& call) {
        if (call == failOn) {
            throw std::runtime_error("The main window failed");
        }
        calls.push_back(call);
    }
};

} // namespace uitest
