// Runs of the real binary that read and write the user registry: "-r",
// "--find-compilers", and every run's loading of it.

#include <string>

#include "scenario/tolm_scenario.h"

namespace {

using Scenario::RunResult;

class RegistryScenario : public TolmScenario {
protected:
    RegistryScenario() {
        write(".tolm_project.txt", "name demo\nunits { app { \"tolm.txt\" } }\n");
        write("tolm.txt", "unit app\nmain: { }\n");
    }
    std::string updated() const { return "Updated file '" + registryFile().string() + "'.\n"; }
    RunResult withHome(const Words& words, std::optional<std::string> home) const {
        Scenario::RunEnvironment environment;
        environment.home = std::move(home);
        return Scenario::runTolm(words, work_.path(), environment);
    }
};

// The first run creates an empty registry; "-r" records the project, and
// again only says so; another project of the same name replaces the path
// with a warning naming both.
// Toolchain detection rewrites the registry with what this machine has
// (maybe nothing), keeping the projects; "--find-compilers" wins over "-r".
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

    const RunResult noProject = Scenario::runTolm({"-r"}, home_.path(), home_.path());
    EXPECT_EQ(noProject.out, "Error: project '' not found.\n");
    EXPECT_EQ(noProject.exitCode, 1);
}

// A project naming its own toolchain builds with it after "--find-compilers" stored this
// machine's: the same commands in the same output directories, the registry's tools passed over
// (LLVM's would score higher for the archive and the shared library). The LLVM scenarios show a
// project without tools building with the registry's.
TEST_F(RegistryScenario, ProjectToolsBeforeRegistryTools) {
    write(".tolm_project.txt", "name demo\ntools { gnu { tool_type = \"gnu-gcc\" toolchain_path = \"/usr/bin\" } }\n"
                               "units { app { \"tolm.txt\" } }\n");
    write("tolm.txt", R"unit(unit app
objects: { C_FILES = P"(add.c)" C_FLAGS = "-c -fPIC" }
archive: objects { OBJS = objects.objs STATIC }
shared: objects { OBJS = objects.objs SHARED OUTPUT_NAME = "libadd.so" }
calc: archive shared { C_FILES = P"(main.c)" LIB = archive.lib }
)unit");
    write("add.c", "int add(int a) { return a + 1; }\n");
    write("main.c", "int add(int);\nint main(void) { return add(-1); }\n");
    const RunResult before = tolm({"calc"});
    ASSERT_EQ(before.exitCode, 0) << before.out;
    ASSERT_EQ(tolm({"--find-compilers"}).exitCode, 0);
    std::filesystem::remove(at(".tolm_cache"));
    EXPECT_EQ(tolm({"calc"}).out, before.out);
    const RunResult report = tolm({"-v", "3", "archive"});
    EXPECT_NE(report.out.find(") passed over: a tool of the project can build this target.\n"), std::string::npos)
        << report.out;
    EXPECT_TRUE(hasLine(report.out, "[app::archive] Registered : demo/gnu\n"));
}

// A registry that cannot be read is only a warning for runs that read it,
// but is never written back: the file keeps every byte.
TEST_F(RegistryScenario, UnreadableRegistryIsKept) {
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

    // A directory where the file should be: the same refusal.
    std::filesystem::remove(registryFile());
    std::filesystem::create_directories(registryFile());
    const RunResult run = tolm({"-r"});
    EXPECT_EQ(run.out, "Registry file '" + registryFile().string() + "' not found.\n" + refused);
    EXPECT_EQ(run.exitCode, 1);
}

// Without a usable HOME the registry cannot be found: reading runs go on
// with a warning, writing runs fail clearly.
TEST_F(RegistryScenario, NoHome) {
    const std::string warning = "Unable to load registry file: Unable to resolve HOME path.\n";
    for (const auto& home : {std::optional<std::string>(), std::optional<std::string>("")}) {
        const RunResult list = withHome({"-u"}, home);
        EXPECT_EQ(list.out, warning + "app\n");
        EXPECT_EQ(list.exitCode, 0);
        for (const char* option : {"-r", "--find-compilers"}) {
            const RunResult run = withHome({option}, home);
            EXPECT_EQ(run.out, warning + "Error: The user registry is not available: Unable to resolve HOME path.\n")
                << option;
            EXPECT_EQ(run.exitCode, 1) << option;
        }
    }
}

}  // namespace
