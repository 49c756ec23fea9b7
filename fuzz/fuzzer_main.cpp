// The libFuzzer entry point of one target, chosen at build time by QUILLORY_FUZZ_TARGET (a
// function of FuzzTargets.h). A finding aborts, so libFuzzer saves the input.

#include "FuzzTargets.h"

#include <cstdint>
#include <cstdlib>
#include <iostream>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        quillory::fuzz::QUILLORY_FUZZ_TARGET(
            std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const quillory::fuzz::FuzzFinding& finding) {
        std::cerr << "finding: " << finding.what() << '\n';
        std::abort();
    }
    return 0;
}
