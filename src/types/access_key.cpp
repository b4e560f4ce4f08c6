#include "types/access_key.h"

#include <type_traits>

namespace Tolm {

std::string accessKeyIndexText(const AccessKey& key)
{
    if (key.valueless_by_exception()) return {};
    return std::visit(
        [](const auto& k) -> std::string {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, std::int64_t>) {
                return "[" + std::to_string(k) + "]";
            } else if constexpr (std::is_same_v<K, KeyRange>) {
                return "[" + std::to_string(k.first) + ":" + std::to_string(k.last) + ":" +
                       std::to_string(k.step) + "]";
            } else if constexpr (std::is_same_v<K, std::string>) {
                return k;
            } else {
                return "/" + k.pattern + "/";
            }
        },
        key);
}

std::string accessKeyPathText(const AccessKey& key)
{
    if (key.valueless_by_exception()) return {};
    return std::visit(
        [](const auto& k) -> std::string {
            using K = std::decay_t<decltype(k)>;
            if constexpr (std::is_same_v<K, std::int64_t>) {
                return std::to_string(k);
            } else if constexpr (std::is_same_v<K, KeyRange>) {
                return std::to_string(k.first) + ", " + std::to_string(k.last) + ", " +
                       std::to_string(k.step);
            } else if constexpr (std::is_same_v<K, std::string>) {
                return k;
            } else {
                return k.pattern;
            }
        },
        key);
}

} // namespace Tolm
