// Runs of the real binary that read and write the user registry: "-r",
// "--find-compilers", and every run's loading of it. The LLVM scenarios show
// the tools it stores at work.

#include <filesystem>
#include <optional>
#include <string>

#include "scenario/tolm_scenario.h"

namespace {

class RegistryScenario : public TolmScenario {
protected:
    RegistryScenario() { writeProject("main: { }\n"); }
    std::string updated() const { return "Updated file '" + registryFile().string() + "'.\n"; }
};

// The first run creates an empty registry; "-r" records the project, and again only says so;
// another project of the same name replaces the path with a warning naming both. Toolchain
// detection rewrites the registry with what this machine has (maybe nothing), keeping the
// projects; "--find-compilers" wins over "-r".
TEST_F(RegistryScenario, RegistersProjects) {
    EXPECT_EQ(tolm({"-u"}).out, "app\n");
    EXPECT_EQ(contentOf(registryFile()), "");

    const std::string entry = "projects {\n  demo \"" + at(".tolm_project.txt") + "\"\n}\n";
    RunResult run = tolm({"-r"});
    EXPECT_EQ(run.out, updated());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(contentOf(registryFile()), entry);

    run = tolm({"--register"});
    EXPECT_EQ(run.out, "Project already registered\n" + updated());
    EXPECT_EQ(contentOf(registryFile()), entry);

    write("moved/.tolm_project.txt", "name DEMO\nunits { app { \"../tolm.txt\" } }\n");
    run = tolm({"-r"}, "moved");
    EXPECT_EQ(run.out, "Project name 'demo' was registered for '" + at(".tolm_project.txt") + "'; it now refers to '" +
                           at("moved/.tolm_project.txt") + "'.\n" + updated());
    EXPECT_EQ(run.exitCode, 0);
    const std::string moved = "projects {\n  demo \"" + at("moved/.tolm_project.txt") + "\"\n}\n";
    EXPECT_EQ(contentOf(registryFile()), moved);

    run = tolm({"-r", "--find-compilers"});
    EXPECT_EQ(run.out, updated());
    EXPECT_EQ(run.exitCode, 0);
    const std::string detected = contentOf(registryFile());
    EXPECT_EQ(detected.rfind(moved, 0), 0u) << detected;
    EXPECT_EQ(detected == moved, detected.find("tools {") == std::string::npos) << detected;

    const RunResult noProject = tolm({"-r"}, home_.path().string());
    EXPECT_EQ(noProject.out, "Error: project '' not found.\n");
    EXPECT_EQ(noProject.exitCode, 1);
}

// A registry that cannot be read, or found without a usable HOME, is only a warning for runs that
// read it; runs that would write it fail, and a file that exists keeps every byte.
TEST_F(RegistryScenario, UnusableRegistryIsNeverWritten) {
    const std::string broken = "projects {\n  demo \"/somewhere/.tolm_project.txt\"\n  oops\n";
    home_.write(".config/tolm/.tolm_registry.txt", broken);
    const std::string refused =
        "Error: Registry file '" + registryFile().string() + "' could not be loaded, so it is left unchanged.\n";
    const RunResult list = tolm({"-u"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.out.find(registryFile().string()), std::string::npos) << list.out;
    EXPECT_TRUE(hasLine(list.out, "app\n"));
    for (const char* option : {"-r", "--find-compilers"}) {
        const RunResult run = tolm({option});
        EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), refused) << option;
        EXPECT_EQ(run.exitCode, 1) << option;
        EXPECT_EQ(contentOf(registryFile()), broken) << option;
    }
    // A directory where the file should be: said as such, and the same refusal.
    std::filesystem::remove(registryFile());
    std::filesystem::create_directories(registryFile());
    const RunResult run = tolm({"-r"});
    EXPECT_EQ(run.out, "Registry file '" + registryFile().string() + "' is a directory.\n" + refused);
    EXPECT_EQ(run.exitCode, 1);

    const std::string warning = "Unable to load registry file: Unable to resolve HOME path.\n";
    const std::string unavailable = "Error: The user registry is not available: Unable to resolve HOME path.\n";
    for (const auto& home : {std::optional<std::string>(), std::optional<std::string>("")}) {
        for (const std::string option : {"-u", "-r", "--find-compilers"}) {
            const RunResult run = Scenario::runTolm({option}, work_.path(), {.home = home});
            EXPECT_EQ(run.out, warning + (option == "-u" ? "app\n" : unavailable)) << option;
            EXPECT_EQ(run.exitCode, option == "-u" ? 0 : 1) << option;
        }
    }
}

}  // namespace
