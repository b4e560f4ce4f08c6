#pragma once
// The targets the walk is inside of, to catch a target that depends on
// itself. One chain per build, shared by every level of the walk. A key is
// the target's completed name (namespace, unit and target), so a target is
// the same however its dependants wrote it.

#include <string>
#include <unordered_set>
#include <vector>

#include "util/ci_string.h"

struct VisitChain {
    // Keys in the order they were entered; the newest last.
    std::vector<std::string> stack;
    std::unordered_set<Util::CiString, Util::CiHasher, Util::CiEqualTo> keys;

    // Enters the key for its lifetime. Throws LoopFoundException, listing the
    // chain newest first, when the key is already entered.
    class Visit {
    public:
        Visit(VisitChain& chain, std::string key);
        ~Visit();
        Visit(const Visit&) = delete;
        Visit& operator=(const Visit&) = delete;

    private:
        VisitChain& chain_;
    };
};
