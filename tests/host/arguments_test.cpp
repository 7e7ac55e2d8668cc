#include "arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The message a command line is refused with; empty when it is accepted.
std::string refusal(const std::vector<std::string>& words) {
    try {
        parseArguments(words);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

TEST(Arguments, RenderTakesEveryOptionItDocuments) {
    const Arguments parsed = parseArguments({"render", "plug.so", "-i", "in.wav", "-o", "out.flac", "--program", "3",
                                             "--set", "2=0.25", "--set", "0=1", "--block", "64", "--float"});
    EXPECT_EQ(parsed.command, Command::Render);
    EXPECT_EQ(parsed.plugin, "plug.so");
    EXPECT_EQ(parsed.input, "in.wav");
    EXPECT_EQ(parsed.output, "out.flac");
    ASSERT_TRUE(parsed.program.has_value());
    EXPECT_EQ(*parsed.program, 3);
    ASSERT_EQ(parsed.settings.size(), 2u);
    EXPECT_EQ(parsed.settings[0].index, 2);
    EXPECT_FLOAT_EQ(parsed.settings[0].value, 0.25f);
    EXPECT_EQ(parsed.settings[1].index, 0);
    EXPECT_EQ(parsed.blockSize, 64);
    EXPECT_TRUE(parsed.wantFloat);
}

TEST(Arguments, OptionsMayComeBeforeThePlugin) {
    const Arguments parsed = parseArguments({"check", "--timeout", "5", "plug.so", "--no-fork"});
    EXPECT_EQ(parsed.plugin, "plug.so");
    EXPECT_EQ(parsed.timeoutSeconds, 5);
    EXPECT_FALSE(parsed.isolate);
}

TEST(Arguments, HelpNeedsNoPlugin) {
    EXPECT_EQ(parseArguments({"--help"}).command, Command::Help);
    EXPECT_EQ(parseArguments({"help"}).command, Command::Help);
}

TEST(Arguments, MistakesAreRefusedWithAMessageThatNamesThem) {
    EXPECT_NE(refusal({}).find("no command"), std::string::npos);
    EXPECT_NE(refusal({"play", "x.so"}).find("unknown command 'play'"), std::string::npos);
    EXPECT_NE(refusal({"info"}).find("no plug-in file"), std::string::npos);
    EXPECT_NE(refusal({"render", "x.so"}).find("-o OUT"), std::string::npos);
    EXPECT_NE(refusal({"render-programs", "x.so"}).find("-d DIR"), std::string::npos);
    EXPECT_NE(refusal({"render", "x.so", "-o"}).find("-o needs a value"), std::string::npos);
    EXPECT_NE(refusal({"render", "x.so", "-o", "y.wav", "--block", "0"}).find("from 1"), std::string::npos);
    EXPECT_NE(refusal({"render", "x.so", "-o", "y.wav", "--block", "12x"}).find("'12x'"), std::string::npos);
    EXPECT_NE(refusal({"render", "x.so", "-o", "y.wav", "--set", "3"}).find("INDEX=VALUE"), std::string::npos);
    EXPECT_NE(refusal({"render", "x.so", "-o", "y.wav", "--set", "3=1.5"}).find("from 0 to 1"), std::string::npos);
    EXPECT_NE(refusal({"render", "x.so", "-o", "y.wav", "--set", "-1=0.5"}).find("--set INDEX needs a whole number"),
              std::string::npos);
    EXPECT_NE(refusal({"info", "x.so", "--program", "2"}).find("unknown option '--program'"), std::string::npos);
    EXPECT_NE(refusal({"info", "x.so", "y.so"}).find("unexpected argument 'y.so'"), std::string::npos);
}

}  // namespace
