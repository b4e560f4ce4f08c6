#include "tools/c3_builder.h"

#include <optional>
#include <utility>

#include "tools/tool_tables.h"
#include "tools/word_lists.h"
#include "types/target_context.h"
#include "types/tolm_exceptions.h"
#include "types/variable_access.h"

namespace Tolm {

namespace {

namespace Messages {
constexpr const char* ConflictingSelectors =
    "C3C received conflicting output selectors. Only one of EXE, STATIC, DLL, SO can be present.";
constexpr const char* TestWithLibrary = "C3C compile-test cannot be combined with STATIC, DLL, or SO.";
}  // namespace Messages

constexpr const char* TestFiles = "C3_TEST_FILES";

// The output selectors, in the order the output kind is decided.
constexpr const char* Selectors[] = {"EXE", "STATIC", "DLL", "SO"};
constexpr const char* LibrarySelectors[] = {"STATIC", "DLL", "SO"};

// The variables the recipe passes on to its job unchanged, in command order.
constexpr const char* RecipeInputs[] = {"C3_FILES", "C3C_FILES", TestFiles, "C3C_FLAGS",
                                        "LIB",      "LIB_PATH",  "LIBPATH", "LINK_FLAGS"};
// The settings every job sees, so it knows the output kind.
constexpr const char* JobSettings[] = {"C3C", "EXE", "STATIC", "DLL", "SO"};

// The variable pair that names the output file of each kind.
struct OutputPair {
    const char* path;
    const char* name;
};
constexpr OutputPair KindPairs[] = {{"EXE", "EXE_NAME"}, {"LIB", "LIB_NAME"}, {"DLL", "DLL_NAME"}, {"SO", "SO_NAME"}};
constexpr OutputPair KindVariables[] = {{"exe", "exe_name"}, {"lib", "lib_name"}, {"dll", "dll_name"}, {"so", "so_name"}};

const char* subcommand(const Context& job, C3Builder::OutputKind kind)
{
    if (hasVariable(job, TestFiles)) return " compile-test";
    switch (kind) {
    case C3Builder::StaticLibrary: return " static-lib";
    case C3Builder::Dll:
    case C3Builder::SharedObject: return " dynamic-lib";
    case C3Builder::Executable: break;
    }
    return " compile";
}

}  // namespace

const NameMap& c3BuilderSubjects()
{
    static const NameMap table = makeAssignmentMap({{"C3_FILES", nullptr}, {"C3C_FILES", nullptr}, {TestFiles, nullptr}});
    return table;
}

const ToolVariableMap& c3BuilderVariables()
{
    static const ToolVariableMap table = makeToolVariableMap({
        standardVariable("C3C"),        standardVariable("C3_FILES"),
        standardVariable("C3C_FILES"),  standardVariable(TestFiles),
        standardVariable("C3C_FLAGS"),  standardVariable("EXE"),
        standardVariable("STATIC"),     standardVariable("DLL"),
        standardVariable("SO"),         standardVariable("LIB"),
        standardVariable("LIB_PATH"),   standardVariable("LIBPATH"),
        standardVariable("LINK_FLAGS"), standardVariable("OUTPUT_NAME"),
    });
    return table;
}

C3Builder::C3Builder(NameMap matchSubjects, ToolVariableMap toolVariables, ToolchainPaths toolchain)
    : CBuilder(std::move(matchSubjects), std::move(toolVariables)), toolchain_(std::move(toolchain))
{
}

std::string C3Builder::name() const { return "c3c"; }

std::string C3Builder::toolchainId() const { return "c3c-" + toolchain_.version; }

void C3Builder::checkOutputSelectors(const Context& context)
{
    int selectors = 0;
    for (const char* selector : Selectors) selectors += hasVariable(context, selector) ? 1 : 0;
    if (selectors >= 2) throw TolmException(Messages::ConflictingSelectors);
    if (!hasVariable(context, TestFiles)) return;
    for (const char* selector : LibrarySelectors)
        if (hasVariable(context, selector)) throw TolmException(Messages::TestWithLibrary);
}

C3Builder::OutputKind C3Builder::outputKind(const Context& context)
{
    if (hasVariable(context, "STATIC")) return StaticLibrary;
    if (hasVariable(context, "DLL")) return Dll;
    if (hasVariable(context, "SO")) return SharedObject;
    return Executable;
}

std::string C3Builder::outputBaseName(const Context& context, const std::string& fallback)
{
    return variableTextOr(context, "OUTPUT_NAME", fallback);
}

MatchResult C3Builder::matchTarget(const Context& target) const
{
    MatchResult result;
    const auto& variables = target.assignments;
    if (isMatchSubject(variables, "C3_FILES") || isMatchSubject(variables, "C3C_FILES") ||
        isMatchSubject(variables, TestFiles))
        result.note = MatchResult::BuildPossible;
    scoreTargetVariables(variables, result);
    return result;
}

RecipeSet C3Builder::doCreateRecipes(const TargetContext& target) const
{
    checkOutputSelectors(target);
    const std::filesystem::path directory = outputDirectoryOf(target);
    const OutputKind kind = outputKind(target);
    const std::string outputName = outputBaseName(target, target.name.target);

    CachedRecipe recipe;
    for (const char* input : RecipeInputs) deriveVariable(target.assignments, input, recipe.inputs, std::nullopt);
    addOutputAssignments(recipe.outputs, "BINARY", "BINARY_NAME", directory, outputName);
    addOutputAssignments(recipe.outputs, KindPairs[kind].path, KindPairs[kind].name, directory, outputName);

    RecipeSet set;
    for (const char* setting : JobSettings) copyBuiltinVariable(target.assignments, setting, set.context);
    set.recipes.push_back(std::move(recipe));
    // "-z" goes before each word, so a text must stay words through the job merge.
    keepWordsThroughMerge(set, target.assignments, {"LINK_FLAGS"});
    return set;
}

std::vector<std::string> C3Builder::buildCommandLines(const std::string& targetName, Context& job)
{
    checkOutputSelectors(job);
    const OutputKind kind = outputKind(job);
    const std::string outputName = outputBaseName(job, targetName);

    std::string line = quotedPath(toolchain_.executable.string());
    line += getVariableStrings(job, "C3C_FLAGS", "", false);
    line += " -o " + quotedPath(outputName);
    line += getVariableString(job, "LIB_PATH", "-L ", true);
    line += getVariableString(job, "LIBPATH", "-L ", true);
    line += getVariableString(job, "LIB", "-l ", false);
    line += getVariableStrings(job, "LINK_FLAGS", "-z ", true);
    line += subcommand(job, kind);
    line += getVariableString(job, "C3_FILES", "", true);
    line += getVariableString(job, "C3C_FILES", "", true);
    line += getVariableString(job, TestFiles, "", true);
    return {std::move(line)};
}

std::vector<Command> C3Builder::createCommands(Context& job)
{
    std::vector<Command> commands = CBuilder::createCommands(job);
    if (!toolchain_.directory.empty())
        for (Command& command : commands) command.pathDirectories.push_back(toolchain_.directory);
    return commands;
}

Context C3Builder::createOutputContext(Context& job, int)
{
    Context outputs;
    const OutputKind kind = outputKind(job);
    const std::string outputName = outputBaseName(job, storedTargetName());
    addOutputVariables(outputs, "binary", "binary_name", storedOutputDirectory(), outputName);
    addOutputVariables(outputs, KindVariables[kind].path, KindVariables[kind].name, storedOutputDirectory(), outputName);
    return outputs;
}

}  // namespace Tolm
