#include "controller/core/ctrl_config.h"
#include "controller/core/ctrl_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace tarrow::ctrl {
namespace {
namespace fs = std::filesystem;

class TempDir {
public:
    TempDir()
        : path(fs::temp_directory_path() /
               ("tarrowctrl-" + std::to_string(::getpid()) + "-" + std::to_string(counter++))) {
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    void write(const std::string& name, const std::string& text) const {
        fs::create_directories((path / name).parent_path());
        std::ofstream(path / name, std::ios::binary) << text;
    }
    fs::path path;
    static inline int counter = 0;
};

CredentialStore usersOf(const std::string& content, SkippedLines& warnings) {
    TempDir dir;
    dir.write("users.csv", content);
    return readUsers((dir.path / "users.csv").string(), warnings);
}

TEST(UsersFile, GeneratedLinesBecomePacketsWithoutTheTimeout) {
    SkippedLines warnings;
    const auto users = usersOf(
        "ElmfordTestUser1,secret,127.0.0.1,Users.Vantric,NotUsed,1\r\n"
        "\r\n"
        "b;;pw  tree,ctx;srv\r\n"
        "short,line,only\r\n"
        "last,pw,t,c,s",
        warnings);
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users.packet(0), "UElmfordTestUser1,secret,127.0.0.1,Users.Vantric,NotUsed");
    EXPECT_EQ(users.userName(0), "ElmfordTestUser1");
    EXPECT_EQ(users.packet(1), "Ub,pw,tree,ctx,srv") << "separator runs merge; single commas are written";
    EXPECT_EQ(users.packet(2), "Ulast,pw,t,c,s") << "a last line without a line end counts";
    EXPECT_EQ(users.userName(1), "b");
    EXPECT_EQ(users.userName(2), "last");
    ASSERT_EQ(warnings.count(), 1u);
    EXPECT_EQ(warnings.texts[0], "line 4: fewer than five fields, skipped");
}

TEST(UsersFile, TheControllerHandsOutExactlyTheLinesABatchRunWouldRun) {
    SkippedLines warnings;
    const std::string tooLong = "long,pw,t,c,s," + std::string(250, 'x');
    const auto users = usersOf("a,pw,t,c,s\n" + tooLong + "\n" + std::string("z,pw,t,c,s\0tail", 15) +
                                   "\nb,pw,t,c,s\x1A\nnever,pw,t,c,s\n",
                               warnings);
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(users.packet(0), "Ua,pw,t,c,s");
    EXPECT_EQ(users.packet(1), "Uz,pw,t,c,s") << "the line's text ends at a zero byte";
    EXPECT_EQ(users.packet(2), "Ub,pw,t,c,s") << "0x1A ends the file";
    EXPECT_EQ(warnings.texts, std::vector<std::string>{"line 2: longer than 254 characters, skipped"});
    EXPECT_EQ(warnings.more, 0u);
}

// A file of bad lines keeps the first reasons word for word and counts the rest.
TEST(UsersFile, SkippedLinesBeyondTheFirstHundredAreOnlyCounted) {
    std::string content;
    for (int i = 0; i < 150; ++i) content += "short,line\n";
    content += "good,pw,t,c,s\n";
    for (int i = 0; i < 100; ++i) content += "x," + std::string(300, 'y') + "\n";
    content += "last,pw,t,c,s";
    SkippedLines warnings;
    const auto users = usersOf(content, warnings);
    ASSERT_EQ(users.size(), 2u) << "every good line is still read";
    EXPECT_EQ(users.packet(1), "Ulast,pw,t,c,s");
    ASSERT_EQ(warnings.texts.size(), SkippedLines::kKeptTexts);
    EXPECT_EQ(warnings.texts.front(), "line 1: fewer than five fields, skipped");
    EXPECT_EQ(warnings.texts.back(), "line 100: fewer than five fields, skipped");
    EXPECT_EQ(warnings.more, 150u);
    EXPECT_EQ(warnings.count(), 250u);
    EXPECT_EQ(warnings.moreText(), "... and 150 more lines skipped");
}

// Packets sit side by side in one arena; each must still come back whole, with its user name,
// also after the arena has grown past what was reserved.
TEST(CredentialStore, PacketsAndUserNamesSurviveGrowth) {
    CredentialStore store;
    store.reserve(8, 1);
    const std::string longField(254, 'p');
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "user" + std::to_string(i);
        const std::string_view fields[] = {name, i % 2 ? std::string_view(longField) : "pw", "t", "c", "s"};
        store.add(fields);
    }
    ASSERT_EQ(store.size(), 1000u);
    EXPECT_EQ(store.packet(0), "Uuser0,pw,t,c,s");
    EXPECT_EQ(store.packet(999), "Uuser999," + longField + ",t,c,s");
    for (std::size_t i = 0; i < store.size(); ++i) ASSERT_EQ(store.userName(i), "user" + std::to_string(i));
}

TEST(CtrlConfig, UsersFileIsTakenRelativeToTheIniFolder) {
    TempDir dir;
    dir.write("cfg/TarrowCtrl.ini",
              "[General]\r\nLocal Broadcast=127.255.255.255\r\nUserFile=data/users.csv\r\n");
    dir.write("cfg/data/users.csv", "a,b,c,d,e,1\r\n");
    const CtrlConfig c = loadConfig((dir.path / "cfg/TarrowCtrl.ini").string());
    EXPECT_EQ(c.localBroadcast, "127.255.255.255");
    EXPECT_EQ(c.usersPath, (dir.path / "cfg/data/users.csv").string());
    ASSERT_EQ(c.credentials.size(), 1u);
}

TEST(CtrlConfig, ConfigurationErrorsSayWhatIsWrong) {
    TempDir dir;
    auto messageOf = [](const fs::path& ini) {
        try {
            loadConfig(ini.string());
        } catch (const ConfigError& e) {
            return e.message;
        }
        return std::string("no error");
    };
    EXPECT_NE(messageOf(dir.path / "absent.ini").find("cannot read INI file"), std::string::npos);
    dir.write("nokey.ini", "[General]\nLocal Broadcast=127.255.255.255\n");
    EXPECT_NE(messageOf(dir.path / "nokey.ini").find("names no UserFile"), std::string::npos);
    dir.write("missing.ini", "[general]\nuserfile=nope.csv\n");
    EXPECT_NE(messageOf(dir.path / "missing.ini").find("cannot read users file"), std::string::npos);
    EXPECT_NE(messageOf(dir.path / "missing.ini").find("No such file or directory"), std::string::npos);
    dir.write("empty.ini", "[General]\nUserFile=empty.csv\n");
    dir.write("empty.csv", "a,b,c\r\n\r\n");
    EXPECT_NE(messageOf(dir.path / "empty.ini").find("holds no line with five fields"), std::string::npos);
}

TEST(CtrlConfig, DefaultIniIsBesideTheProgramInAnyLetterCase) {
    TempDir dir;
    const std::string program = (dir.path / "TarrowCtrl").string();
    EXPECT_EQ(defaultIniPath(program), (dir.path / "TarrowCtrl.ini").string());
    dir.write("tarrowctrl.INI", "[General]\n");
    EXPECT_EQ(defaultIniPath(program), (dir.path / "tarrowctrl.INI").string());
}

TEST(CommandLine, DefaultsAndEveryOption) {
    auto s = std::get<CtrlSettings>(parseCommandLine({}));
    EXPECT_EQ(s.discoveryPort, 2308);
    EXPECT_EQ(s.answerPort, 2309);
    EXPECT_EQ(s.controlPort, 2308);
    EXPECT_EQ(s.replyTimeoutMs, 150'000);
    EXPECT_EQ(s.maxClients, 4096u);
    EXPECT_TRUE(s.reportDir.empty());
    EXPECT_TRUE(s.askTimings);
    EXPECT_EQ(s.timingsWaitMs, 250);
    EXPECT_EQ(s.outageMinFailures, 3u);
    s = std::get<CtrlSettings>(parseCommandLine({"--ini",
                                                 "x.ini",
                                                 "--csv=r.csv",
                                                 "--count",
                                                 "5",
                                                 "--duration",
                                                 "60",
                                                 "--reply-timeout",
                                                 "10",
                                                 "--max-clients",
                                                 "3",
                                                 "--discovery-port",
                                                 "0",
                                                 "--answer-port",
                                                 "4000",
                                                 "--control-port",
                                                 "0",
                                                 "--reply-quiet-ms",
                                                 "5",
                                                 "--quiet",
                                                 "--report",
                                                 "out",
                                                 "--no-timings",
                                                 "--timings-wait-ms",
                                                 "7",
                                                 "--outage-min-failures=2"}));
    EXPECT_EQ(s.iniPath, "x.ini");
    EXPECT_EQ(s.csvPath, "r.csv");
    EXPECT_EQ(s.stopAfterReplies, 5u);
    EXPECT_EQ(s.stopAfterMs, 60'000);
    EXPECT_EQ(s.replyTimeoutMs, 10'000);
    EXPECT_EQ(s.maxClients, 3u);
    EXPECT_EQ(s.discoveryPort, 0);
    EXPECT_EQ(s.answerPort, 4000);
    EXPECT_EQ(s.controlPort, 0);
    EXPECT_EQ(s.replyQuietMs, 5);
    EXPECT_TRUE(s.quiet);
    EXPECT_EQ(s.reportDir, "out");
    EXPECT_FALSE(s.askTimings);
    EXPECT_EQ(s.timingsWaitMs, 7);
    EXPECT_EQ(s.outageMinFailures, 2u);
    EXPECT_TRUE(std::holds_alternative<ShowHelp>(parseCommandLine({"--count", "1", "--help"})));
}

TEST(CommandLine, BadOptionsAreRejectedWithAReason) {
    auto error = [](std::vector<std::string> args) {
        const auto r = parseCommandLine(args);
        const auto* e = std::get_if<UsageError>(&r);
        return e ? e->message : std::string("accepted");
    };
    EXPECT_EQ(error({"--count"}), "option --count needs a value");
    EXPECT_EQ(error({"--count", "0"}), "option --count: \"0\" is not a positive whole number");
    EXPECT_EQ(error({"--count", "12x"}), "option --count: \"12x\" is not a positive whole number");
    EXPECT_EQ(error({"--control-port", "65536"}),
              "option --control-port: \"65536\" is not a port from 0 to 65535");
    EXPECT_EQ(error({"--answer-port", "0"}), "option --answer-port: \"0\" is not a port from 1 to 65535");
    EXPECT_EQ(error({"--report="}), "option --report: \"\" is not a folder name");
    EXPECT_EQ(error({"--timings-wait-ms", "0"}),
              "option --timings-wait-ms: \"0\" is not a number of milliseconds from 1 to 60000");
    EXPECT_EQ(error({"--outage-min-failures", "x"}),
              "option --outage-min-failures: \"x\" is not a number from 1 to 1000000");
    EXPECT_EQ(error({"--outage-min-failures"}), "option --outage-min-failures needs a value");
    EXPECT_EQ(error({"--verbose"}), "unknown option --verbose");
}

TEST(CommandLine, TheDirectorysCountersAndTheLiveViewsHold) {
    const auto s = std::get<CtrlSettings>(
        parseCommandLine({"--web", "0", "--web-hold", "3", "--monitor", "ldap://127.0.0.1:3389",
                          "--monitor-bind", "cn=m,cn=Monitor"}));
    EXPECT_EQ(s.webHoldMs, 3000);
    EXPECT_EQ(s.monitorUri, "ldap://127.0.0.1:3389");
    EXPECT_EQ(s.monitorBindDn, "cn=m,cn=Monitor");
    const auto defaults = std::get<CtrlSettings>(parseCommandLine({}));
    EXPECT_TRUE(defaults.monitorUri.empty());
    EXPECT_EQ(defaults.webHoldMs, 0);
    const auto error = [](std::vector<std::string> args) {
        const auto r = parseCommandLine(args);
        const auto* e = std::get_if<UsageError>(&r);
        return e ? e->message : std::string("accepted");
    };
    EXPECT_EQ(error({"--web-hold", "2"}), "option --web-hold needs --web");
    EXPECT_EQ(error({"--monitor-bind", "cn=m"}), "option --monitor-bind needs --monitor");
    EXPECT_EQ(error({"--monitor="}), "option --monitor: \"\" is not a URI");
    EXPECT_EQ(error({"--web", "0", "--web-hold", "-1"}),
              "option --web-hold: \"-1\" is not a number of seconds from 0 to 3600");
}

}  // namespace
}  // namespace tarrow::ctrl

namespace {
// The descriptor limit decides how many clients can be served at all.
TEST(DescriptorLimit, ClientsAreFittedBelowTheLimitLessTheReserve) {
    using tarrow::ctrl::clientsWithinDescriptors;
    EXPECT_EQ(clientsWithinDescriptors(4096, 1'048'576), 4096u);
    EXPECT_EQ(clientsWithinDescriptors(4096, 4096 + 32), 4096u);
    EXPECT_EQ(clientsWithinDescriptors(4096, 4096 + 31), 4095u);
    EXPECT_EQ(clientsWithinDescriptors(4096, 128), 96u);
    EXPECT_EQ(clientsWithinDescriptors(4096, 20), 1u);
}
}  // namespace
