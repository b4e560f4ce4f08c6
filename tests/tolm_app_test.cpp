#include <gtest/gtest.h>

#include <string>

#include "tolm_app.h"
#include "types/tolm_exceptions.h"

namespace {

std::string failureOf(TolmApplication& app) {
    try {
        app.Run();
    } catch (const Tolm::TolmException& error) {
        return error.message();
    }
    return "no failure";
}

// --version ends the run with status 0 whatever else was asked for.
TEST(TolmAppRun, VersionWinsOverEveryMode) {
    TolmApplication app;
    app.showVersion = true;
    app.createProject = true;
    app.findCompilersMode = true;
    app.listUnits = true;
    EXPECT_EQ(app.Run(), 0);
}

// A mode that cannot run yet fails with a message naming it, and the first
// mode in run order is the one reported.
TEST(TolmAppRun, UnbuiltModesFailByName) {
    TolmApplication build;
    EXPECT_EQ(failureOf(build), "Building is not available yet.");

    TolmApplication create;
    create.createProject = true;
    create.findCompilersMode = true;
    EXPECT_EQ(failureOf(create), "--create-project is not available yet.");

    TolmApplication lists;
    lists.listTargetsUnit = "app";
    lists.listUnits = true;
    EXPECT_EQ(failureOf(lists), "-l is not available yet.");

    TolmApplication profiles;
    profiles.listProfiles = true;
    EXPECT_EQ(failureOf(profiles), "-p is not available yet.");
}

}  // namespace
