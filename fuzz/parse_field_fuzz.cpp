// Field splitting on arbitrary text, delimiters and index, directly and
// through the export a host calls (which sees the texts up to their first
// zero byte and hands back a byte string).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "host_api/parse_field.h"
#include "platform/platform.h"
#include "quorvex.h"

namespace {

// The fields of `text` as a plain split at every delimiter byte.
std::vector<std::string> Fields(const std::string& text, const std::string& delimiters) {
    std::vector<std::string> fields;
    size_t begin = 0;
    for (;;) {
        const size_t end = text.find_first_of(delimiters, begin);
        if (end == std::string::npos) break;
        fields.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    fields.push_back(text.substr(begin));
    return fields;
}

void CheckField(const std::string& text, const std::string& delimiters, int32_t index,
                const std::string& result) {
    FUZZ_REQUIRE(result.size() <= text.size());
    FUZZ_REQUIRE(text.find(result) != std::string::npos);
    if (delimiters.empty()) {
        FUZZ_REQUIRE(result == text);
        return;
    }
    FUZZ_REQUIRE(result.find_first_of(delimiters) == std::string::npos);
    const std::vector<std::string> fields = Fields(text, delimiters);
    const int64_t count = static_cast<int64_t>(fields.size());
    int64_t wanted = index < 0 ? count + 1 + int64_t{index} : int64_t{index};
    if (wanted < 1 || wanted > count) {
        FUZZ_REQUIRE(result.empty());
    } else {
        FUZZ_REQUIRE(result == fields[static_cast<size_t>(wanted - 1)]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string delimiters = input.ConsumeRandomLengthString(8);
    // Mostly indexes near the field count, sometimes anything at all.
    const int32_t index = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>()
                                              : input.ConsumeIntegralInRange<int32_t>(-40, 40);
    const std::string text = input.ConsumeRemainingBytesAsString();

    CheckField(text, delimiters, index, qv::host_api::ParseField(text, delimiters, index));

    // The export reads both texts up to their first zero byte.
    const std::string cText = text.substr(0, text.find('\0'));
    const std::string cDelimiters = delimiters.substr(0, delimiters.find('\0'));
    QvBSTR answer = WEBSRVPARSE(cText.c_str(), cDelimiters.c_str(), index);
    FUZZ_REQUIRE(answer != nullptr);
    const std::string exported(qv::platform::ByteStringBytes(answer), qv::platform::ByteStringLength(answer));
    qv::platform::FreeByteString(answer);
    CheckField(cText, cDelimiters, index, exported);
    FUZZ_REQUIRE(exported == qv::host_api::ParseField(cText, cDelimiters, index));
    return 0;
}
