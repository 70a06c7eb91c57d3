// SPDX-License-Identifier: MIT
// The scenario parser of sh-sys-host over arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const shhost::Scenario sc = shhost::parseScenario(text, "fuzz");
    for (const shhost::Diagnostic &d : sc.errors) {
        if (d.line < 1 || d.message.empty())
            std::abort();
        // What reaches a terminal is text: valid UTF-8 without control bytes.
        if (shhost::invalidUtf8At(d.message))
            std::abort();
        for (const char ch : d.message)
            if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
                std::abort();
    }
    for (const shhost::Command &c : sc.commands) {
        if (c.op == shhost::Op::Say && shhost::quoteBytes(c.text) != c.text)
            std::abort(); // narration is printed as it is
        if (c.op == shhost::Op::Advance && c.every <= 0)
            std::abort();
        if ((c.op == shhost::Op::Start || (c.op == shhost::Op::Tick && !c.relative)) &&
            shhost::parseHomeTime(shhost::formatHomeTime(c.time).substr(0, 10),
                                  shhost::formatHomeTime(c.time).substr(11)) != c.time)
            std::abort(); // times print and read back the same
    }
    return 0;
}
