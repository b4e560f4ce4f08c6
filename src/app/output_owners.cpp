#include "app/output_owners.h"

#include <filesystem>

#include <fmt/format.h>

#include "types/tolm_exceptions.h"

namespace {

namespace Messages {
constexpr const char* SharedOutput = "Targets '{}' and '{}' would both write '{}'; give one of them another output.";
}  // namespace Messages

}  // namespace

void OutputOwners::claim(const std::vector<std::string>& files, const std::string& owner) {
    for (const std::string& file : files) {
        std::string normal = std::filesystem::path(file).lexically_normal().string();
        auto [found, added] = owners_.try_emplace(std::move(normal), owner);
        if (!added && found->second != owner)
            throw Tolm::TolmException(fmt::format(fmt::runtime(Messages::SharedOutput), found->second, owner, file));
    }
}
