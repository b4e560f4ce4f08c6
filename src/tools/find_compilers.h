#pragma once
// Detection of installed GNU and LLVM toolchains for "--find-compilers".

#include <memory>
#include <vector>

namespace Tolm {
class ContextTemplate;
}

// One tool definition per toolchain found, GNU toolchains first; each starts
// with its `toolchain_name` assignment.
std::vector<std::shared_ptr<Tolm::ContextTemplate>> findCompilers();
