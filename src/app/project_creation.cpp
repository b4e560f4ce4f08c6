#include "app/project_creation.h"

#include <sstream>
#include <system_error>

#include "parser/literal_writer.h"
#include "parser/utf8_check.h"
#include "tolm_app.h"
#include "types/name_characters.h"
#include "types/tolm_exceptions.h"
#include "util/file_replace.h"
#include "util/log.h"
#include "util/regular_file.h"

namespace {

namespace Messages {
constexpr const char* UnitFileUnreadable = "unit file not found\n";
constexpr const char* UnitNameSkipped = "Unit '{}' left out of the project file: its name is not an identifier.\n";
constexpr const char* PathSkipped = "Unit file '{}' left out of the project file: its path cannot be written there.\n";
constexpr const char* WriteFailed = "Unable to write project file '{}'.";
constexpr const char* AlreadyExists = "Project file '{}' already exists; it is left unchanged.";
}  // namespace Messages

constexpr const char* kUnitFileName = "tolm.txt";
constexpr const char* kProjectFile = ".tolm_project.txt";
constexpr const char* kDefaultName = "project";

// The unit a unit file declares on its first line; "" when it declares none
// or cannot be read.
std::string declaredUnit(const std::filesystem::path& file) {
    // Read like every other input file, so a FIFO swapped in after the
    // directory walk saw a regular file cannot block the run.
    auto content = Util::readRegularFile(file);
    if (content.kind != Util::FileBytes::Read) {
        Log::log(LogLevel::Error, Messages::UnitFileUnreadable);
        return {};
    }
    std::istringstream words(content.bytes.substr(0, content.bytes.find('\n')));
    std::string keyword, name;
    if (!(words >> keyword >> name) || !Util::ciEquals(keyword, "unit")) return {};
    return name;
}

// A path the project file can hold: quoted text takes anything but a double
// quote, and the file must be valid UTF-8.
bool isWritablePath(const std::string& text) {
    return text.find('"') == std::string::npos && Tolm::isValidUtf8(text);
}

// The path relative to the current directory, as the unit entries hold it.
std::filesystem::path relativeToCurrent(const std::filesystem::path& path) {
    const std::filesystem::path absolute = std::filesystem::absolute(path);
    std::filesystem::path relative = absolute.lexically_relative(std::filesystem::current_path());
    return relative.empty() ? absolute : relative;
}

}  // namespace

void discoverUnitFiles(Tolm::ProjectTree& tree, const std::filesystem::path& directory, DirectoryNode& node) {
    node.path = directory;
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(directory), error);
    if (error || !tree.scanned.insert(resolved).second) return;

    std::filesystem::directory_iterator entries(directory, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::directory_entry& entry = *entries;
        if (entry.is_directory()) {
            node.children.emplace_back();
            discoverUnitFiles(tree, entry.path(), node.children.back());
        } else if (entry.is_regular_file()) {
            const std::filesystem::path file = relativeToCurrent(entry.path());
            node.files.push_back(file);
            if (!Util::ciEquals(entry.path().filename().string(), kUnitFileName)) continue;
            tree.units[Util::CiString(declaredUnit(entry.path()))].push_back(file);
        }
    }
}

std::string projectIdentifier(std::string_view name) {
    std::string identifier;
    for (char c : name) identifier += Tolm::continuesName(c) ? c : '_';
    if (identifier.empty()) return kDefaultName;
    if (!Tolm::startsName(identifier.front())) identifier.insert(0, "_");
    if (!Tolm::isWritableName(identifier)) identifier += '_';
    return identifier;
}

std::string projectFileText(const std::string& name, const Tolm::ProjectTree& tree) {
    std::string text = "name " + name + "\nunits\n{\n";
    for (const auto& [unit, files] : tree.units) {
        if (unit.str().empty()) continue;
        if (!Tolm::isWritableName(unit.str())) {
            Log::log(LogLevel::Warning, Messages::UnitNameSkipped, unit.str());
            continue;
        }
        std::string lines;
        for (const std::filesystem::path& file : files) {
            if (isWritablePath(file.string()))
                lines += "  \"" + file.string() + "\"\n";
            else
                Log::log(LogLevel::Warning, Messages::PathSkipped, file.string());
        }
        // A unit entry without files would not load.
        if (!lines.empty()) text += unit.str() + "\n{\n" + lines + "}\n";
    }
    return text + "}\n";
}

// An existing project file holds what the user wrote (imports, tools,
// profiles) that a scan of the unit files cannot bring back, so it is never
// replaced. A directory of that name holds no project; writing fails there.
void TolmApplication::CreateProjectFile(std::string& projectName) {
    const std::filesystem::path file = std::filesystem::current_path() / kProjectFile;
    if (std::filesystem::exists(file) && !std::filesystem::is_directory(file))
        throw Tolm::TolmException(fmt::format(Messages::AlreadyExists, file.string()));
    FindProjectFile({});
    if (projectName.empty()) projectName = std::filesystem::current_path().filename().string();
    projectName = projectIdentifier(projectName);

    Tolm::ProjectTree tree;
    if (!projectRoot.empty()) discoverUnitFiles(tree, projectRoot, tree.root);

    if (Util::replaceFileContent(file, projectFileText(projectName, tree)) != Util::ReplaceResult::Replaced)
        throw Tolm::TolmException(fmt::format(Messages::WriteFailed, file.string()));
}
