// The script engine against the fallback, under Wine with the real engine:
// generated answers (tests/app/escape_answers.h) decoded by the engine route
// (prepared, given to the Script Control in pieces, its results converted by
// the bridge) and by the fallback (the whole prepared answer read without
// the engine) must give the same bytes, answer for answer.
//
// CX_ESCAPE_ANSWERS sets how many answers (three thousand by default, so that
// the suite stays short; a long run takes 100 000 and more), CX_ESCAPE_SEED
// the seed they are made from. Most answers are given to the engine in small
// pieces, so that one to five pieces stay short; one in a hundred has the
// program's own piece size.
//
// Under Wine the Script Control does not give back the address space of an
// engine that has run a function: a 32-bit process can create about 900 of
// them, after which neither an engine nor a thread can be made. The answers
// are therefore decoded in batches, each in a process of its own (this
// program again, told its batch by CX_ESCAPE_BATCH).
#include <gtest/gtest.h>
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app/escape_decoding.h"
#include "app/escape_engine.h"
#include "app/escape_literal.h"
#include "tests/app/escape_answers.h"
#include "tests/app/escape_cases.h"
#include "tests/support/win_probe.h"

namespace cx {
namespace {

using namespace escape_cases;

size_t from_environment(const char* name, size_t otherwise) {
  const char* v = std::getenv(name);
  return v && *v ? size_t(std::strtoull(v, nullptr, 10)) : otherwise;
}

class EngineAgainstFallback : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(CoInitialize(nullptr)); }
  void TearDown() override { CoUninitialize(); }

  // Both routes on one prepared answer, the engine given it in pieces, the
  // fallback reading it in parts; false (with the reason) when they differ.
  ::testing::AssertionResult same_text(const Text& prepared, size_t piece_bytes,
                                       size_t part_bytes = kFallbackPartBytes) {
    const Text engine = script_engine_decode(prepared, piece_bytes);
    const Text fallback = percent_decode_fallback(prepared, part_bytes);
    if (engine.empty() && !fallback.empty())
      return ::testing::AssertionFailure() << "the engine gave nothing for " << hex_dump(S(prepared).substr(0, 300));
    if (engine.view() == fallback.view()) return ::testing::AssertionSuccess();
    const std::string e = S(engine), f = S(fallback);
    size_t at = 0;
    while (at < e.size() && at < f.size() && e[at] == f[at]) ++at;
    const size_t from = at > 24 ? at - 24 : 0;
    return ::testing::AssertionFailure() << "the texts part at byte " << at << "\n  engine   " << hex_dump(e.substr(from, 64))
                                         << "\n  fallback " << hex_dump(f.substr(from, 64)) << "\n  prepared "
                                         << hex_dump(S(prepared).substr(0, 600));
  }
};

// Answers decoded by one process: well below the engines a 32-bit process
// under Wine can make.
constexpr size_t kAnswersPerProcess = 500;

// Answer `index` of the run made from `seed`, and its piece size: each
// answer from a generator of its own, so that any batch can be made alone.
std::string generated_answer(size_t seed, size_t index, size_t* piece_bytes) {
  std::seed_seq seeds{uint32_t(seed), uint32_t(index)};
  std::mt19937 rng(seeds);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  *piece_bytes = index % 100 == 99 ? kScriptPieceBytes : 32 + size_t(pick(480));
  return escape_answers::answer(pick, *piece_bytes);
}

TEST_F(EngineAgainstFallback, GiveTheSameTextForEveryGeneratedAnswer) {
  const size_t seed = from_environment("CX_ESCAPE_SEED", 21);
  size_t first = 0, answers = from_environment("CX_ESCAPE_ANSWERS", 3000);
  const char* batch = std::getenv("CX_ESCAPE_BATCH");
  if (batch == nullptr || !*batch) {
    // The run: its batches, each in a process of its own.
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    size_t differences = 0, program_size = 0, pieces = 0, bytes = 0, done = 0;
    for (size_t from = 0; from < answers; from += kAnswersPerProcess) {
      const std::string range = std::to_string(from) + ":" + std::to_string(std::min(kAnswersPerProcess, answers - from));
      SetEnvironmentVariableA("CX_ESCAPE_BATCH", range.c_str());
      const probe::RunResult run = probe::run_program(std::string("\"") + self + "\" --gtest_filter=*ForEveryGeneratedAnswer", 600000);
      SetEnvironmentVariableA("CX_ESCAPE_BATCH", nullptr);
      const size_t at = run.output.find("batch ");
      size_t n = 0, f = 0, p = 0, b = 0, d = 0;
      const bool read = at != std::string::npos &&
                        std::sscanf(run.output.c_str() + at, "batch %*u:%*u: %zu answers, %zu program-sized, %zu pieces, %zu bytes, %zu differences",
                                    &n, &f, &p, &b, &d) == 5;
      if (!run.finished || !read || run.exit_code != 0) {
        ADD_FAILURE() << "batch " << range << (run.finished ? "" : " did not end") << ", exit code " << run.exit_code
                      << ":\n" << run.output;
        ++differences;
        continue;
      }
      done += n, program_size += f, pieces += p, bytes += b, differences += d;
    }
    std::printf("%zu answers from seed %zu (%zu of them in pieces of the program's size), %zu pieces, %zu bytes: "
                "%zu differences\n", done, seed, program_size, pieces, bytes, differences);
    EXPECT_EQ(done, answers);
    EXPECT_EQ(differences, 0u);
    return;
  }
  std::sscanf(batch, "%zu:%zu", &first, &answers);
  size_t differences = 0, program_size = 0, pieces = 0, bytes = 0;
  for (size_t i = first; i < first + answers; ++i) {
    size_t piece_bytes = 0;
    const Text prepared = prepare_escaped_answer(Text::copy(generated_answer(seed, i, &piece_bytes)));
    program_size += piece_bytes == kScriptPieceBytes;
    for (size_t from = 0; from < size_t(prepared.length()); ++pieces)
      from = script_piece_end(prepared.view(), from, piece_bytes);
    bytes += size_t(prepared.length());
    // Small answers read by the fallback in small parts too.
    const size_t part_bytes = piece_bytes == kScriptPieceBytes ? kFallbackPartBytes : 8 + (i * 7919) % 300;
    const ::testing::AssertionResult same = same_text(prepared, piece_bytes, part_bytes);
    if (!same && ++differences <= 20) ADD_FAILURE() << "answer " << i << " (seed " << seed << "): " << same.message();
  }
  std::printf("batch %zu:%zu: %zu answers, %zu program-sized, %zu pieces, %zu bytes, %zu differences\n", first,
              answers, answers, program_size, pieces, bytes, differences);
  EXPECT_EQ(differences, 0u);
}

TEST_F(EngineAgainstFallback, GiveTheSameTextWhereAPieceEndsInTheProgram) {
  // Thousands of escapes, the euro sign, then a two-level escape, a
  // surrogate pair or both where the first piece of the program's size can
  // end: the engine's pieces read as the fallback's whole.
  const char* const ends[] = {"\x80\\u0025u0041 tail", "\x80\\x25uD83D%uDE00 tail", "\xff\\x25u0041\\x25u0042 tail",
                              "\\x25uD83D\\x25u0000\\x25uDE00 tail"};
  for (const char* end : ends) {
    for (size_t back = 0; back <= 12; ++back) {
      std::string answer;
      while (answer.size() + 6 <= kScriptPieceBytes - back) answer += "%u0041";
      answer.resize(kScriptPieceBytes - back, 'z');
      answer += end;
      EXPECT_TRUE(same_text(prepare_escaped_answer(T(answer)), kScriptPieceBytes)) << hex_dump(end) << " " << back;
    }
  }
  // The whole route on such an answer.
  std::string answer;
  for (int i = 0; i < 10921; ++i) answer += "%u0041";
  answer += "\x80\\u0025u0041 tail";
  EXPECT_EQ(S(decode_escapes(T(answer))), std::string(10921, 'A') + "\x80%u0041 tail");
}

}  // namespace
}  // namespace cx
