// The libFuzzer entry of the fuzzers that read their input through a
// FuzzedDataProvider: such a fuzzer includes this and defines
// cx::fuzz::fuzz_input, which checks one input.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

namespace cx::fuzz {
void fuzz_input(FuzzedDataProvider& in);
}  // namespace cx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  cx::fuzz::fuzz_input(in);
  return 0;
}
