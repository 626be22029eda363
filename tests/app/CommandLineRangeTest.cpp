// Both edges of every numeric range the command line accepts, and one step beyond each: the edge
// is taken with its exact value, the step beyond is a usage error. Key names are walked over the
// whole range they name.
#include <functional>

#include "RecordingApp.h"
#include "app/CommandLine.h"
#include "app/RunApplication.h"
#include "platform/d3d/D3DHost.h"

namespace {

ParseResult Parse(const std::vector<std::string>& args, RunOptions* o, std::string* error) {
    std::vector<const char*> argv{"simmerglass"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), o, error);
}

struct Range {
    std::string option;
    std::vector<std::string> prefix;  // options the range needs beside it
    std::string below, low, high, above;
    std::function<double(const RunOptions&)> value;
    double lowValue, highValue;
};

TEST(CommandLineRanges, BothEdgesAreTakenAndOneStepBeyondIsRefused) {
    const std::string side = std::to_string(d3dhost::kMaxBackBufferSide);
    const std::string beyond = std::to_string(d3dhost::kMaxBackBufferSide + 1);
    const double maxSide = d3dhost::kMaxBackBufferSide;
    const std::vector<Range> ranges = {
        {"--frames", {}, "0", "1", "100000000", "100000001", [](const RunOptions& o) { return o.frames; }, 1, 1e8},
        {"--fixed-step", {}, "0", "1e-9", "60", "60.000001", [](const RunOptions& o) { return o.fixedStep; }, 1e-9, 60},
        {"--every", {"--capture", "dir"}, "0", "1", "100000000", "100000001",
         [](const RunOptions& o) { return o.every; }, 1, 1e8},
        {"--size", {}, "15x16", "16x16", side + "x" + side, beyond + "x" + side,
         [](const RunOptions& o) { return o.width; }, 16, maxSide},
        {"--size", {}, "16x15", "16x16", side + "x" + side, side + "x" + beyond,
         [](const RunOptions& o) { return o.height; }, 16, maxSide},
        {"--grid", {}, "2", "4", "64", "66", [](const RunOptions& o) { return o.grid; }, 4, 64},
        {"--msaa", {}, "-2", "0", "4", "6", [](const RunOptions& o) { return o.msaa; }, 0, 4},
    };
    for (const Range& r : ranges) {
        auto run = [&](const std::string& value, RunOptions* o, std::string* error) {
            std::vector<std::string> args = r.prefix;
            args.push_back(r.option);
            args.push_back(value);
            return Parse(args, o, error);
        };
        for (const auto& [text, want] : {std::pair{r.low, r.lowValue}, std::pair{r.high, r.highValue}}) {
            RunOptions o;
            std::string error;
            ASSERT_EQ(run(text, &o, &error), ParseResult::Run) << r.option << " " << text << ": " << error;
            EXPECT_DOUBLE_EQ(r.value(o), want) << r.option << " " << text;
        }
        for (const std::string& text : {r.below, r.above}) {
            RunOptions o;
            std::string error;
            EXPECT_EQ(run(text, &o, &error), ParseResult::UsageError) << r.option << " " << text;
            EXPECT_NE(error.find(r.option), std::string::npos) << error;
        }
    }
}

TEST(CommandLineRanges, KeyScriptNumbersAtTheirEdges) {
    struct Item {
        const char* text;
        bool taken;
    };
    const Item items[] = {
        {"0:down:A", true},           {"1000000000:down:A", true}, {"1000000001:down:A", false},
        {"1:drag:16000:-16000", true}, {"1:drag:16001:0", false},   {"1:drag:0:-16001", false},
        {"1:wheel:273", true},        {"1:wheel:-273", true},      {"1:wheel:274", false},
        {"1:wheel:-274", false},      {"1:wheel:1", true},         {"1:wheel:-1", true},
    };
    for (const Item& item : items) {
        std::vector<KeyEvent> events;
        std::string error;
        EXPECT_EQ(ParseKeyScript(item.text, &events, &error), item.taken) << item.text << ": " << error;
    }
    std::vector<KeyEvent> events;
    std::string error;
    ASSERT_TRUE(ParseKeyScript("1000000000:down:A,1:drag:16000:-16000,1:wheel:-273", &events, &error)) << error;
    EXPECT_EQ(events[0].dx, 16000);
    EXPECT_EQ(events[0].dy, -16000);
    EXPECT_EQ(events[1].notches, -273);
    EXPECT_EQ(events[2].frame, 1000000000u);
}

TEST(CommandLineRanges, EveryKeyNameOfEachRangeAndTheNamesJustOutside) {
    // Letters and digits are their own virtual-key codes; F1 to F12 are consecutive codes.
    for (char c = 'A'; c <= 'Z'; ++c) {
        EXPECT_EQ(KeyNameToVirtualKey(std::string(1, c)), static_cast<BYTE>(c));
        EXPECT_EQ(KeyNameToVirtualKey(std::string(1, static_cast<char>(c - 'A' + 'a'))), static_cast<BYTE>(c));
    }
    for (char c = '0'; c <= '9'; ++c) EXPECT_EQ(KeyNameToVirtualKey(std::string(1, c)), static_cast<BYTE>(c));
    for (int n = 1; n <= 12; ++n) EXPECT_EQ(KeyNameToVirtualKey("F" + std::to_string(n)), VK_F1 + n - 1) << n;
    for (const char* outside : {"F0", "F13", "F01", "@", "{", "/", ":", ""}) EXPECT_EQ(KeyNameToVirtualKey(outside), 0) << outside;
}

}  // namespace
