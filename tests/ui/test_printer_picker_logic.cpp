// The printer picker's behaviour, driven through a plain list.
#include "platform/Spooler.h"
#include "platform/test/RecordingSpooler.h"
#include "platform/test/UnreachableSpooler.h"
#include "tests/support/TestSupport.h"
#include "ui/logic/PrinterPicker.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

class PlainList final : public ui::logic::PrinterListView {
public:
    std::vector<std::string> names;
    int selected = -1;
    int closings = 0;

    void addPrinter(const std::string& name) override { names.push_back(name); }
    int printerCount() const override { return static_cast<int>(names.size()); }
    bool isPrinterSelected(int index) const override { return index == selected; }
    std::string printerText(int index) const override { return names.at(index); }
    void closeWindow() override { ++closings; }
};

class PrinterPickerTest : public ::testing::Test {
protected:
    testsupport::AppSandbox sandbox;
    platform::RecordingSpooler spooler;
    PlainList list;
    ui::logic::PrinterPicker picker{list, spooler, sandbox.log()};
};

TEST_F(PrinterPickerTest, ListsEveryNameInTheSpoolersOrderUnchanged) {
    spooler.printers = {"zebra", "Receipt 1", "", "zebra", "Étiquettes"};
    picker.load();
    EXPECT_EQ(list.names, spooler.printers);
}

TEST_F(PrinterPickerTest, OkTakesTheSelectedNameAndNothingElseIsAChoice) {
    spooler.printers = {"alpha", "beta", ""};
    picker.load();

    picker.ok();
    EXPECT_FALSE(picker.chosen().has_value()) << "OK with nothing selected";
    EXPECT_EQ(list.closings, 1);

    list.selected = 1;
    picker.ok();
    EXPECT_EQ(picker.chosen(), "beta");

    // The next showing starts without a choice; a cancelled one gives none.
    picker.load();
    picker.cancel();
    EXPECT_FALSE(picker.chosen().has_value());

    // A printer whose name is empty is a choice all the same.
    list.selected = 2;
    picker.ok();
    EXPECT_EQ(picker.chosen(), "");
    EXPECT_TRUE(sandbox.logMessages().empty());
}

TEST_F(PrinterPickerTest, AFailureWhileListingReachesTheCaller) {
    platform::UnreachableSpooler unreachable;
    ui::logic::PrinterPicker unreachablePicker{list, unreachable, sandbox.log()};
    EXPECT_THROW(unreachablePicker.load(), platform::Failure);
    EXPECT_TRUE(list.names.empty());
    EXPECT_TRUE(sandbox.logMessages().empty()) << "the picker logs nothing of its own";
}

} // namespace
