#pragma once
// The targets the walk is inside of, to catch a target that depends on
// itself. One chain per build, shared by every level of the walk. A key is
// the target's completed name (namespace, unit and target), so a target is
// the same however its dependants wrote it.
//
// The chain also remembers the output of every target instance walked to its
// end, so a target that several others depend on is walked once per build:
// layered libraries, each using the next two, would otherwise be walked once
// per path that reaches them, which grows exponentially with the layers. An
// instance is its completed name and its exact parameter values; the
// project's runtime context, the rest of what a visit starts from, is fixed
// for the whole build.
//
// The walk recurses once per level of the chain, so its depth is bounded:
// a chain deeper than MaxVisitDepth fails with an error naming the target
// where it stopped, and the walk runs on a stack made for that depth (in a
// sanitizer build too) rather than on whatever stack the program was given.

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/output_owners.h"
#include "types/context.h"
#include "types/qualified_target_name.h"
#include "types/tolm_value.h"
#include "util/ci_string.h"

// The most targets one chain of dependencies may hold.
constexpr std::size_t MaxVisitDepth = 2000;

struct VisitChain {
    // Keys in the order they were entered; the newest last.
    std::vector<std::string> stack;
    std::unordered_set<Util::CiString, Util::CiHasher, Util::CiEqualTo> keys;
    // The output context of every instance walked to its end, by instanceKey.
    std::unordered_map<std::string, Tolm::Context> walked;
    // The files each instance's recipes write.
    OutputOwners outputOwners;

    // Enters the key for its lifetime. Throws LoopFoundException, listing the
    // chain newest first, when the key is already entered, and TolmException
    // when the chain would grow deeper than MaxVisitDepth.
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

// The key of one target instance in `walked`: the completed name (ignoring
// case) and every parameter value by its class and complete value, a path
// with its base directory, as the instance hash takes them.
std::string instanceKey(const Tolm::QualifiedTargetName& name, const std::vector<Tolm::TolmValuePtr>& parameters);

// Runs the walk on a thread whose stack holds MaxVisitDepth visits and waits
// for it; an exception it throws travels on. Runs it on the calling thread
// when no such thread can be made.
void runWalk(const std::function<void()>& walk);
