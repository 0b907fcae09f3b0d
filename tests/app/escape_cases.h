// Pieces the escape-decoding tests share: texts to and from the program's
// form, readable dumps of bytes, tables of answers and what a step makes of
// them, and random answers built from the bytes the decoding looks at.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "services/text.h"

namespace cx::escape_cases {

inline Text T(const std::string& s) { return Text::copy(s); }
inline std::string S(const Text& t) { return std::string(t.view()); }

inline std::string hex_dump(const std::string& s) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) (out += d[c >> 4]) += d[c & 15], out += ' ';
  return out;
}

// One answer and what a step of the decoding must make of it.
struct Case {
  const char* what;
  std::string in, out;
};

inline void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

// Table rows are named by their place: the descriptions are prose.
inline std::string case_index(const ::testing::TestParamInfo<Case>& info) {
  return "case" + std::to_string(info.index);
}

// A step that turns one text into another.
inline void expect_step(Text (*step)(const Text&), const Case& c) {
  EXPECT_EQ(S(step(T(c.in))), c.out) << c.what;
}

// Up to `most` pieces, each one of `pieces` or a single non-zero byte.
inline std::string random_answer(std::mt19937& rng, const std::vector<std::string>& pieces, int most) {
  std::uniform_int_distribution<int> len(0, most), pick(0, int(pieces.size()) - 1), byte(1, 255), coin(0, 1);
  std::string s;
  for (int n = len(rng); n > 0; --n) s += coin(rng) ? pieces[size_t(pick(rng))] : std::string(1, char(byte(rng)));
  return s;
}

}  // namespace cx::escape_cases
