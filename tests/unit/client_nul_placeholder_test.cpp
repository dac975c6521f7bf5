// Turning the placeholder a host wrote for each NUL byte back into NUL bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/nul_placeholder.h"

namespace {

using qv::client::RestoreNulBytes;

const std::string P = "REPLACING NULL WITH THIS STRING";
const std::string NUL(1, '\0');

struct PlaceholderCase {
    std::string answer;
    std::string restored;
};

TEST(NulPlaceholder, IsThirtyOneBytes) { EXPECT_EQ(std::string(qv::client::kNulPlaceholder), P); EXPECT_EQ(P.size(), 31u); }

TEST(NulPlaceholder, BecomesOneNulByteEachTime) {
    const std::vector<PlaceholderCase> cases = {
        {"", ""},
        {"plain answer", "plain answer"},
        {P, NUL},
        {"A" + P + "B", "A" + NUL + "B"},
        {P + P, NUL + NUL},
        {"x" + P + "y" + P + "z", "x" + NUL + "y" + NUL + "z"},
        // NUL bytes of the answer's own stay as they are.
        {"a" + NUL + "b", "a" + NUL + "b"},
        {NUL + P + NUL, NUL + NUL + NUL},
        // Near misses are left alone: a cut placeholder, other letter case.
        {P.substr(0, 30), P.substr(0, 30)},
        {"replacing null with this string", "replacing null with this string"},
        {P.substr(0, 30) + NUL + P.substr(30), P.substr(0, 30) + NUL + P.substr(30)},
        // Scanned from the front without overlaps: "REPLACING" inside the
        // tail of one placeholder does not start another.
        {"REPLACING " + P, "REPLACING " + NUL},
        {P.substr(0, 10) + P, P.substr(0, 10) + NUL},
    };
    for (const PlaceholderCase& c : cases) {
        EXPECT_EQ(RestoreNulBytes(c.answer), c.restored) << c.answer;
    }
}

TEST(NulPlaceholder, TwoPlaceholdersMakeTheAnswerSixtyBytesShorter) {
    const std::string answer = "head" + P + std::string(200, 'm') + P + "tail";
    const std::string restored = RestoreNulBytes(answer);
    EXPECT_EQ(restored.size(), answer.size() - 60);
    EXPECT_EQ(restored, "head" + NUL + std::string(200, 'm') + NUL + "tail");
}

}  // namespace
