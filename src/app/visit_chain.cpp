#include "app/visit_chain.h"

#include <pthread.h>

#include <exception>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "types/instance_hash.h"
#include "types/tolm_exceptions.h"

namespace {

namespace Messages {
constexpr const char* TooDeep = "Dependency chain too deep at '{}': depth {} is more than {} targets.";
}  // namespace Messages

// A visit takes about 1 KiB of stack, about 10 KiB with the sanitizers; the
// rest is room for what one visit calls. Pages are used only as touched.
constexpr std::size_t WalkStackBytes = 256u << 20;

struct WalkTask {
    const std::function<void()>* walk;
    std::exception_ptr failure;
};

// Each text with its length in front, so no two sequences of texts give
// one key.
void appendText(std::string& key, std::string_view text) {
    key += std::to_string(text.size());
    key += ':';
    key += text;
}

void* runTask(void* argument) {
    auto* task = static_cast<WalkTask*>(argument);
    try {
        (*task->walk)();
    } catch (...) {
        task->failure = std::current_exception();
    }
    return nullptr;
}

}  // namespace

VisitChain::Visit::Visit(VisitChain& chain, std::string key) : chain_(chain) {
    if (chain.keys.count(key) != 0) throw Tolm::LoopFoundException(key, {chain.stack.rbegin(), chain.stack.rend()});
    if (chain.stack.size() >= MaxVisitDepth)
        throw Tolm::TolmException(
            fmt::format(fmt::runtime(Messages::TooDeep), key, chain.stack.size() + 1, MaxVisitDepth));
    chain.keys.insert(Util::CiString(key));
    chain.stack.push_back(std::move(key));
}

VisitChain::Visit::~Visit() {
    chain_.keys.erase(chain_.stack.back());
    chain_.stack.pop_back();
}

std::string instanceKey(const Tolm::QualifiedTargetName& name, const std::vector<Tolm::TolmValuePtr>& parameters) {
    std::string key;
    // Names ignore case; values do not.
    for (const std::string* part : {&name.ns, &name.unit, &name.target}) {
        std::string folded = *part;
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        appendText(key, folded);
    }
    // Described as the instance hash describes them, so the walk reuses an
    // output only where the cache record and output directory are the same.
    for (const Tolm::TolmValuePtr& parameter : parameters) Tolm::describeInstanceValue(parameter, key);
    return key;
}

void runWalk(const std::function<void()>& walk) {
    WalkTask task{&walk, nullptr};
    pthread_attr_t attributes;
    pthread_t thread;
    bool started = false;
    if (pthread_attr_init(&attributes) == 0) {
        started = pthread_attr_setstacksize(&attributes, WalkStackBytes) == 0 &&
                  pthread_create(&thread, &attributes, runTask, &task) == 0;
        pthread_attr_destroy(&attributes);
    }
    if (!started) {
        walk();
        return;
    }
    pthread_join(thread, nullptr);
    if (task.failure) std::rethrow_exception(task.failure);
}
