// The command line of halvetra-plant.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plant/PlantOptions.h"

using halvetra::plant::parsePlantOptions;
using halvetra::plant::plantUsage;
using Args = std::vector<std::string>;

TEST(PlantOptions, DefaultsWithoutArguments) {
    const auto o = parsePlantOptions({});
    EXPECT_EQ(o.port, 4840);
    EXPECT_EQ(o.speed, 1.0);
    EXPECT_EQ(o.noise, 0.05);
    EXPECT_TRUE(o.user.empty());
    EXPECT_TRUE(o.password.empty());
    EXPECT_FALSE(o.help);
}

TEST(PlantOptions, EveryOptionInBothSpellings) {
    const auto a =
        parsePlantOptions(Args{"--port", "4999", "--speed", "10", "--user", "op", "--password", "p w", "--noise", "0"});
    EXPECT_EQ(a.port, 4999);
    EXPECT_EQ(a.speed, 10.0);
    EXPECT_EQ(a.user, "op");
    EXPECT_EQ(a.password, "p w");
    EXPECT_EQ(a.noise, 0.0);

    const auto b = parsePlantOptions(Args{"--port=65535", "--speed=0.5", "--noise=1e-1", "--user=a=b", "--password="});
    EXPECT_EQ(b.port, 65535);
    EXPECT_EQ(b.speed, 0.5);
    EXPECT_EQ(b.noise, 0.1);
    EXPECT_EQ(b.user, "a=b");
    EXPECT_EQ(b.password, "");  // an empty password is still a password

    const auto c = parsePlantOptions(Args{"--bad-quality", "Loop1.Y1@2.5"});
    EXPECT_EQ(c.badItem, "Loop1.Y1");
    EXPECT_EQ(c.badAfter, 2.5);

    const auto d = parsePlantOptions(Args{"--read-only", "Loop1.MV1,Loop1.Inner.P", "--refuse-writes=Loop1.MV1@4"});
    EXPECT_EQ(d.readOnlyItems, (std::vector<std::string>{"Loop1.MV1", "Loop1.Inner.P"}));
    EXPECT_EQ(d.refuseItem, "Loop1.MV1");
    EXPECT_EQ(d.refuseAfter, 4.0);

    EXPECT_FALSE(a.outerIntegrating);
    EXPECT_TRUE(parsePlantOptions(Args{"--outer-integrating"}).outerIntegrating);
    EXPECT_THROW(parsePlantOptions(Args{"--outer-integrating=yes"}), std::invalid_argument);

    // The last of a repeated option counts.
    EXPECT_EQ(parsePlantOptions(Args{"--port", "1", "--port", "2"}).port, 2);
}

TEST(PlantOptions, HelpWinsOverEverythingElse) {
    EXPECT_TRUE(parsePlantOptions(Args{"--help"}).help);
    EXPECT_TRUE(parsePlantOptions(Args{"-h"}).help);
    EXPECT_TRUE(parsePlantOptions(Args{"--user", "op", "--help"}).help);  // no password needed then
    EXPECT_THROW(parsePlantOptions(Args{"--help=yes"}), std::invalid_argument);
    const std::string usage = plantUsage();
    for (const char* word : {"--port", "--speed", "--user", "--password", "--noise", "--help", "Loop1.MV1"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
}

TEST(PlantOptions, RefusesWhatItCannotUse) {
    const std::vector<Args> bad = {
        {"--prot", "1"},
        {"port"},
        {"--port"},
        {"--port", "0"},
        {"--port", "65536"},
        {"--port", "abc"},
        {"--port", "80x"},
        {"--port", "-1"},
        {"--port", "+80"},
        {"--port", ""},
        {"--speed", "0"},
        {"--speed", "-2"},
        {"--speed", "1001"},
        {"--speed", "nan"},
        {"--speed", "fast"},
        {"--speed", "inf"},
        {"--noise", "-0.1"},
        {"--noise", ""},
        {"--user", "op"},
        {"--password", "x"},
        {"--user", "", "--password", "x"},
        {"--bad-quality", "Loop1.Y1"},
        {"--bad-quality", "@3"},
        {"--bad-quality", "Loop1.Y9@3"},
        {"--bad-quality", "Loop1.Y1@-1"},
        {"--bad-quality", "Loop1.Y1@soon"},
        {"--read-only", "Loop1.MV1,"},
        {"--read-only", "Loop1.U1"},  // read-only anyway
        {"--read-only", "Loop1.MV9"},
        {"--refuse-writes", "Loop1.MV1"},
        {"--refuse-writes", "Loop1.Y1@2"},
    };
    for (const Args& args : bad) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        EXPECT_THROW(parsePlantOptions(args), std::invalid_argument) << joined;
    }
    try {
        parsePlantOptions(Args{"--port", "70000"});
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("--port"), std::string::npos) << e.what();
    }
}
