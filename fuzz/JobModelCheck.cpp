// The reference model against the worked examples of the job format, checked at the start of
// every fuzz run: a model that is wrong would make every later comparison worthless.
#include "fuzz/Sandbox.h"
#include "tests/support/JobModel.h"

#include <cstddef>

namespace fuzz {
namespace {

using testsupport::ModelDocument;
using testsupport::ModelFiles;
using testsupport::ModelOutcome;
using testsupport::ModelRow;
using testsupport::ModelRows;

ModelRow printer(std::string type, std::string name) {
    ModelRow row;
    row.type = std::move(type);
    row.target = std::move(name);
    row.printerKnown = true;
    return row;
}

void expectDocuments(const ModelOutcome& outcome, const std::vector<ModelDocument>& expected,
                     std::string_view example) {
    bool same = outcome.documents.size() == expected.size();
    for (std::size_t i = 0; same && i < expected.size(); ++i) {
        same = outcome.documents[i].printer == expected[i].printer &&
               outcome.documents[i].bytes == expected[i].bytes &&
               outcome.documents[i].ended == expected[i].ended;
    }
    require(same, "the model misses the worked example: " + std::string(example));
}

} // namespace

void checkModelOnWorkedExamples() {
    ModelRows rows;
    rows[0] = printer("Ticket", "T1");
    rows[2] = printer("Label", "L3");
    ModelFiles files;
    const std::string twoSections("\x40\x21\x40\x31"
                                  "ABC\r\n"
                                  "\x40\x21\x40\x33"
                                  "X\xFF\r\n",
                                  17);
    expectDocuments(modelJob(twoSections, rows, files),
                    {{"T1", "ABC\r\n\r\n\r\n", true}, {"L3", "X\x0C\r\n\r\n", true}},
                    "two sections");

    rows[0] = printer("Dup Ticket", "T1");
    expectDocuments(modelJob(twoSections, rows, files),
                    {{"T1", "ABC\r\n\r\n\r\n\r\nABC\x0C", true}, {"L3", "X\x0C\r\n\r\n", true}},
                    "Dup Ticket");

    // Markers at N - 5 and N - 4 of a 9-byte job; "@!@!@1" starts its marker at the third byte.
    rows[0] = printer("Report", "R1");
    expectDocuments(modelJob("abcd@!@1x", rows, files), {{"R1", "x", true}}, "marker at N - 5");
    expectDocuments(modelJob("@!@1abc@!@1", rows, files), {{"R1", "abc@!@1", true}},
                    "marker at N - 4");
    expectDocuments(modelJob("@!@!@1z", rows, files), {{"R1", "z", true}}, "@!@!@1");
    // Two markers in a row: an empty section that is started and never ended.
    expectDocuments(modelJob("@!@1@!@3y", rows, files),
                    {{"R1", "", false}, {"L3", "y\r\n\r\n", true}}, "empty section");

    ModelRows named;
    named[6].type = "NamedFile";
    named[6].directoryUsable = true;
    files.clear();
    const ModelOutcome outcome = modelJob(std::string("\x40\x21\x40\x37\x20"
                                                      "A1.TXT\x7C"
                                                      "DATA\r\n",
                                                      18),
                                          named, files);
    require(outcome.documents.empty() && outcome.openFailures == 0 && files.size() == 1 &&
                files["A1.TXT"] == "DATA",
            "the model misses the worked example: NamedFile");
}

} // namespace fuzz
