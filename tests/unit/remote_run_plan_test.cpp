#include "results/RemoteRunPlan.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using orvane::PathBaseName;
using orvane::quoteForRemoteShell;
using orvane::RemoteRunRequest;
using orvane::RemoteSettings;

namespace {

RemoteSettings settingsFor(std::map<std::string, std::string> variables) {
    return RemoteSettings::fromEnvironment([&variables](const char* name) { return variables[name]; });
}

RemoteRunRequest request(std::string input, std::string target) {
    RemoteRunRequest r;
    r.input = std::move(input);
    r.processCount = "4";
    r.solverArguments[0] = "a1";
    r.solverArguments[1] = "0.5";
    r.solverArguments[2] = "1e-10";
    r.solverArguments[3] = "451";
    r.target = std::move(target);
    return r;
}

} // namespace

TEST(RemoteRunPlan, PathBaseNameTakesEitherSeparator) {
    EXPECT_EQ(PathBaseName("C:\\jobs\\case7"), "case7");
    EXPECT_EQ(PathBaseName("C:/jobs/case7"), "case7");
    EXPECT_EQ(PathBaseName("C:/jobs\\mixed/case7"), "case7");
    EXPECT_EQ(PathBaseName("case7"), "case7");
    EXPECT_EQ(PathBaseName("/tmp/in/"), "");
}

TEST(RemoteRunPlan, QuotesOnlyWordsTheRemoteShellWouldInterpret) {
    for (const std::string plain :
         {"abcXYZ019", "_./:@%+=,-", "/home/a/project/motai/case7", "1e-10", "-n"}) {
        EXPECT_EQ(quoteForRemoteShell(plain), plain);
    }
    EXPECT_EQ(quoteForRemoteShell(""), "''");
    EXPECT_EQ(quoteForRemoteShell("a;b"), "'a;b'");
    EXPECT_EQ(quoteForRemoteShell("$(touch F)"), "'$(touch F)'");
    EXPECT_EQ(quoteForRemoteShell("`touch F`"), "'`touch F`'");
    EXPECT_EQ(quoteForRemoteShell("it's"), "'it'\\''s'");
    EXPECT_EQ(quoteForRemoteShell("\"x\""), "'\"x\"'");
    EXPECT_EQ(quoteForRemoteShell("a\\b"), "'a\\b'");
    EXPECT_EQ(quoteForRemoteShell("*"), "'*'");
    EXPECT_EQ(quoteForRemoteShell("~x"), "'~x'");
    EXPECT_EQ(quoteForRemoteShell("a\nb"), "'a\nb'");
}

TEST(RemoteRunPlan, OrdinaryWordsGiveTheExactStepsAndRemoteCommand) {
    const RemoteSettings settings = settingsFor({{"ORVANE_REMOTE_HOST", "solver.lan"},
                                                 {"ORVANE_REMOTE_ACCOUNT", "fem"},
                                                 {"ORVANE_SSH_CONFIG", "/etc/orvane/ssh_config"}});
    EXPECT_EQ(settings.mpirun, "/usr/local/openmpi/bin/mpirun");
    EXPECT_EQ(orvane::remoteSolverCommand(settings, request("C:\\jobs\\case7", "t")),
              "cd ..;cd fem/project/output;/usr/local/openmpi/bin/mpirun -n 4 ./demo "
              "/home/fem/project/motai/case7 a1 0.5 1e-10 451");

    std::ostringstream diagnostics;
    const auto steps = orvane::remoteRunSteps(
        settings, request("/data/in/case7", "/data/root/data/modelAnsys"), diagnostics);
    ASSERT_TRUE(steps.has_value()) << diagnostics.str();
    EXPECT_EQ(diagnostics.str(), "");
    const std::vector<std::string> options{"-F", "/etc/orvane/ssh_config", "-o", "BatchMode=yes",
                                           "-o", "ConnectTimeout=15",      "--"};
    auto expected = [&options](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), options.begin(), options.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    ASSERT_EQ(steps->size(), 3U);
    EXPECT_EQ((*steps)[0].step, "upload");
    EXPECT_EQ((*steps)[0].program, "scp");
    EXPECT_EQ((*steps)[0].arguments,
              expected({"-r"}, {"/data/in/case7", "fem@solver.lan:/home/fem/project/motai"}));
    EXPECT_EQ((*steps)[1].step, "solve");
    EXPECT_EQ((*steps)[1].program, "ssh");
    EXPECT_EQ(
        (*steps)[1].arguments,
        expected({"-tt"}, {"fem@solver.lan", "cd ..;cd fem/project/output;/usr/local/openmpi/bin/mpirun -n 4 "
                                             "./demo /home/fem/project/motai/case7 a1 0.5 1e-10 451"}));
    EXPECT_EQ((*steps)[2].step, "download");
    EXPECT_EQ((*steps)[2].program, "scp");
    EXPECT_EQ((*steps)[2].arguments,
              expected({"-r"}, {"fem@solver.lan:/home/fem/project/output/unitfcm5-0-1e-10-451",
                                "/data/root/data/modelAnsys"}));
}

TEST(RemoteRunPlan, HostileWordsAreQuotedOrRefused) {
    RemoteSettings settings = settingsFor({{"ORVANE_REMOTE_HOST", "h"},
                                           {"ORVANE_REMOTE_ACCOUNT", "a"},
                                           {"ORVANE_MPIRUN", "/opt/mpi run/mpirun"}});
    RemoteRunRequest hostile = request("in;x", "out$(touch F)");
    hostile.processCount = "2;reboot";
    hostile.solverArguments[0] = "$(touch F)";
    hostile.solverArguments[1] = "`touch F`";
    hostile.solverArguments[2] = "'\";touch F";
    hostile.solverArguments[3] = "-oProxyCommand=x";
    EXPECT_EQ(
        orvane::remoteSolverCommand(settings, hostile),
        "cd ..;cd a/project/output;'/opt/mpi run/mpirun' -n '2;reboot' ./demo '/home/a/project/motai/in;x' "
        "'$(touch F)' '`touch F`' ''\\''\";touch F' -oProxyCommand=x");
    std::ostringstream diagnostics;
    const auto steps = orvane::remoteRunSteps(settings, hostile, diagnostics);
    ASSERT_TRUE(steps.has_value()) << diagnostics.str();
    // Local words go to scp as single arguments; one with a colon before any
    // slash is made a relative path so that scp cannot take it for a host.
    EXPECT_EQ((*steps)[0].arguments.at((*steps)[0].arguments.size() - 2), "in;x");
    EXPECT_EQ((*steps)[2].arguments.back(), "out$(touch F)");
    const std::vector<std::string> upload =
        orvane::remoteRunSteps(settings, request("evil:in", "C:/x"), diagnostics)->at(0).arguments;
    EXPECT_EQ(upload.at(upload.size() - 2), "./evil:in");
    EXPECT_EQ(orvane::remoteRunSteps(settings, request("in", "C:/x"), diagnostics)->at(2).arguments.back(),
              "./C:/x");

    const std::pair<RemoteSettings, RemoteRunRequest> refused[] = {
        {settings, request("-oProxyCommand=x", "t")},
        {settings, request("in", "-t")},
        {settingsFor({{"ORVANE_REMOTE_HOST", "-oProxyCommand=x"}, {"ORVANE_REMOTE_ACCOUNT", "a"}}),
         request("i", "t")},
        {settingsFor({{"ORVANE_REMOTE_HOST", "h"}, {"ORVANE_REMOTE_ACCOUNT", "-l"}}), request("i", "t")},
    };
    for (const auto& [refusedSettings, refusedRequest] : refused) {
        std::ostringstream refusal;
        EXPECT_FALSE(orvane::remoteRunSteps(refusedSettings, refusedRequest, refusal).has_value());
        EXPECT_NE(refusal.str().find("starts with '-'"), std::string::npos) << refusal.str();
    }
}

TEST(RemoteRunPlan, SettingsDefaultsAndMissingHost) {
    const RemoteSettings defaults = settingsFor({});
    EXPECT_EQ(defaults.host, "");
    EXPECT_FALSE(defaults.account.empty()); // the current user
    EXPECT_EQ(defaults.mpirun, "/usr/local/openmpi/bin/mpirun");
    EXPECT_EQ(defaults.sshConfig, "");
    EXPECT_EQ(orvane::sshClientOptions(defaults),
              (std::vector<std::string>{"-o", "BatchMode=yes", "-o", "ConnectTimeout=15"}));

    std::ostringstream diagnostics;
    EXPECT_FALSE(orvane::remoteRunSteps(defaults, request("in", "t"), diagnostics).has_value());
    EXPECT_NE(diagnostics.str().find("ORVANE_REMOTE_HOST"), std::string::npos) << diagnostics.str();
}
