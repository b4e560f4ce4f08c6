#include "fuzz/cache_file_repair.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/cache_lines.h"

namespace FuzzChecks {

namespace {

// Walks the file as the reader does, copying it with repaired lengths.
class Walk {
public:
    explicit Walk(std::string_view bytes) : bytes_(bytes), in_(bytes) {}

    bool file()
    {
        const auto header = in_.line();
        if (!header) return false;
        int version = 0;
        for (int known = 3; known <= 7; ++known)
            if (*header == "TOLM_CACHE_V" + std::to_string(known)) version = known;
        if (version == 0) return false;
        std::uint64_t records = 0;
        if (!count(records)) return false;
        for (std::uint64_t i = 0; i < records; ++i)
            if (!record(version)) return false;
        return true;
    }

    std::string result()
    {
        out_.append(bytes_.substr(copied_));
        return std::move(out_);
    }

private:
    // Inputs carry the intermediate flag from V5 on; a program follows the
    // key and output times the outputs from V6 on; fingerprints and input
    // times follow those from V7 on.
    bool record(int version)
    {
        const bool flagged = version >= 5, timed = version >= 6;
        std::uint64_t recipes = 0;
        if (!string() || (timed && !string()) || !count(recipes)) return false;
        for (std::uint64_t i = 0; i < recipes; ++i) {
            std::uint64_t inputs = 0;
            if (!count(inputs)) return false;
            for (std::uint64_t j = 0; j < inputs; ++j) {
                if (!assignment()) return false;
                if (!flagged) continue;
                std::uint64_t flag = 0;
                if (!count(flag) || (flag == 1 && !assignment())) return false;
            }
            if (!assignments()) return false;
            if (timed && !times()) return false;
            if (version >= 7 && (!fingerprints() || !times())) return false;
        }
        return assignments();
    }

    bool times()
    {
        std::uint64_t n = 0;
        if (!count(n)) return false;
        for (std::uint64_t i = 0; i < n; ++i)
            if (!readCacheTime(in_)) return false;
        return true;
    }

    bool fingerprints()
    {
        std::uint64_t n = 0;
        if (!count(n)) return false;
        for (std::uint64_t i = 0; i < n; ++i)
            if (!readCacheFingerprint(in_)) return false;
        return true;
    }

    bool assignments()
    {
        std::uint64_t n = 0;
        if (!count(n)) return false;
        for (std::uint64_t i = 0; i < n; ++i)
            if (!assignment()) return false;
        return true;
    }

    bool assignment()
    {
        const auto line = in_.line();
        return line && line->starts_with("A") && string();
    }

    bool count(std::uint64_t& n)
    {
        const auto number = readCacheNumber(in_);
        if (number) n = *number;
        return number.has_value();
    }

    std::size_t offset() const { return bytes_.size() - in_.remaining(); }

    // A length line and its bytes; a wrong length becomes the distance to the
    // line feed nearest to where the bytes were said to end.
    bool string()
    {
        const std::size_t lengthLine = offset();
        const auto length = readCacheNumber(in_);
        if (!length) return false;
        if (CacheReader(in_).block(*length)) return in_.block(*length).has_value();
        const std::size_t begin = offset();
        const std::size_t said = begin + static_cast<std::size_t>(std::min<std::uint64_t>(*length, bytes_.size() - begin));
        std::size_t end = bytes_.find('\n', said);
        const std::size_t before = said == begin ? std::string_view::npos : bytes_.rfind('\n', said - 1);
        if (before != std::string_view::npos && before >= begin && (end == std::string_view::npos || said - before < end - said))
            end = before;
        if (end == std::string_view::npos) return false;
        out_.append(bytes_.substr(copied_, lengthLine - copied_));
        out_ += std::to_string(end - begin);
        out_ += '\n';
        copied_ = begin;
        in_ = CacheReader(bytes_.substr(end + 1));
        return true;
    }

    std::string_view bytes_;
    CacheReader in_;
    std::string out_;
    std::size_t copied_ = 0;
};

}  // namespace

std::string repairCacheLengths(std::string_view bytes)
{
    Walk walk(bytes);
    walk.file();
    return walk.result();
}

}  // namespace FuzzChecks
