#include "ProcessFixture.h"

namespace {

std::string dupTicket(const std::string& section) {
    return section + "\r\n\r\n\r\n\r\n" + section + "\x0C";
}

} // namespace

TEST_P(ProcessTest, EveryTypeTrimsAndAddsItsTrailer) {
    struct Case {
        std::string type;
        std::string section;
        std::string delivered;
    };
    const std::vector<Case> cases = {
        {"Label", "AB\r\n", "AB\r\n\r\n"},
        {"Ticket", "AB", "AB\r\n\r\n\r\n"},
        {"Ticket", "A\r\nB\n\r\n\n", "A\r\nB\r\n\r\n\r\n"},
        {"Report", "AB\r\n\r\n", "AB"},
        {"Report", "\rA", "\rA"},
        {"Report",
         "AB\x0D"
         "A",
         "AB\x0D"
         "A"},
        {"Dup Ticket", "AB", "AB\r\n\r\n\r\n\r\nAB\x0C"},
        {"Dup Ticket", "A\xFF\r", "A\x0C\r\n\r\n\r\n\r\nA\x0C\x0C"},
    };
    for (const Case& c : cases) {
        setRow(2, c.type, "P2");
        spooler.documents.clear();
        runJob("@!@2" + c.section);
        ASSERT_EQ(spooler.documents.size(), 1u) << c.type;
        EXPECT_EQ(std::string(spooler.documents[0].bytes.begin(), spooler.documents[0].bytes.end()),
                  c.delivered)
            << c.type << " " << testing::PrintToString(c.section);
    }
    EXPECT_TRUE(log().empty());
}

TEST_P(ProcessTest, DupTicketIsPrintedTwiceWhateverItsLength) {
    setRow(1, "Dup Ticket", "P1");
    // A section that fills the whole job after a marker at position 0: 2N + 1 bytes.
    std::string whole(1000, 'x');
    whole.back() = 'z';
    runJob("@!@1" + whole);
    // Sections on both sides of 32,767 bytes.
    const std::string atLimit(32767, 'a');
    const std::string overLimit(40000, 'b');
    runJob("@!@1" + atLimit + "\r\n");
    runJob("@!@1" + overLimit);
    const auto documents = printed();
    ASSERT_EQ(documents.size(), 3u);
    EXPECT_EQ(documents[0].second.size(), 2 * (whole.size() + 4) + 1);
    EXPECT_EQ(documents[0].second, dupTicket(whole));
    EXPECT_EQ(documents[1].second, dupTicket(atLimit));
    EXPECT_EQ(documents[2].second, dupTicket(overLimit));
    EXPECT_TRUE(log().empty());
}

INSTANTIATE_TEST_SUITE_P(Blocks, ProcessTest, ::testing::ValuesIn(kBlockSizes));
