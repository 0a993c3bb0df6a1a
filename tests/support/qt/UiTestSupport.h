#pragma once

#include "ui/logic/Choosers.h"

#include <QString>
#include <QWidget>

#include <stdexcept>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace uitest {

// The application object that widgets need, made once per test program.
void ensureApplication();

// Runs action on the next modal window that opens (a dialog shown with exec()), from inside
// its event loop once the window is active, as long as the returned object lives. Call before
// the code that opens it.
[[nodiscard]] std::unique_ptr<QObject> onNextModal(std::function<void(QWidget* modal)> action);

// Presses Alt+key in the window and waits until the button that it names has clicked.
void pressAccessKey(QWidget* window, Qt::Key key);

// Runs the posted deletions, so that a window closed with WA_DeleteOnClose is gone.
void processDeletions();

// The child of that type and name; fails the test when there is none.
template <typename T> T* child(QWidget* parent, const QString& name) {
    T* found = parent->findChild<T*>(name);
    if (found == nullptr) {
        throw std::runtime_error("no child " + name.toStdString());
    }
    return found;
}

// Choosers that record which one was asked and give a scripted answer.
class RecordingChoosers final : public ui::Choosers {
public:
    std::vector<std::string> shown;
    std::optional<std::string> answer;

    std::optional<std::string> chooseFile() override { return record("file"); }
    std::optional<std::string> chooseDirectory() override { return record("directory"); }
    std::optional<std::string> choosePrinter() override { return record("printer"); }

private:
    std::optional<std::string> record(const std::string& chooser) {
        shown.push_back(chooser);
        return answer;
    }
};

} // namespace uitest
