#include "app/visit_chain.h"

#include <utility>

#include "types/tolm_exceptions.h"

VisitChain::Visit::Visit(VisitChain& chain, std::string key) : chain_(chain) {
    if (chain.keys.count(key) != 0) throw Tolm::LoopFoundException(key, {chain.stack.rbegin(), chain.stack.rend()});
    chain.keys.insert(Util::CiString(key));
    chain.stack.push_back(std::move(key));
}

VisitChain::Visit::~Visit() {
    chain_.keys.erase(chain_.stack.back());
    chain_.stack.pop_back();
}
