// The heap text builder: one block written in place becomes the result, a
// limit cuts and tells, in-place writing uses the room the block has, and an
// owner's first block is left for the heap only when outgrown.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/text_builder.h"

namespace cx {
namespace {

std::string S(const Text& t) { return std::string(t.view()); }

TEST(TextBuilder, TheBlockWrittenBecomesTheTextWithoutACopy) {
  TextBuilder b(6);
  b.put("abc");
  b.put('d');
  b.put("ef", 2);
  const char* written = b.data();
  Text t = b.take();
  EXPECT_EQ(S(t), "abcdef");
  EXPECT_EQ(t.block(), written);
  EXPECT_TRUE(TextBuilder(16).take().block() == nullptr);  // nothing written: the empty text, no block
}

TEST(TextBuilder, GrowsFromAnySizeAndKeepsEveryByte) {
  for (size_t expected : {size_t(0), size_t(1), size_t(7), size_t(100)}) {
    TextBuilder b(expected);
    std::string all;
    for (int i = 0; i < 3000; ++i) {
      const std::string run(size_t(i % 13), char('a' + i % 26));
      b.put(run);
      b.put(char('0' + i % 10));
      all += run + char('0' + i % 10);
    }
    ASSERT_EQ(b.size(), all.size());
    EXPECT_TRUE(S(b.take()) == all) << expected;
  }
}

TEST(TextBuilder, ALimitKeepsThatManyBytesAndSaysWhatWasDropped) {
  TextBuilder b(4, 10);
  EXPECT_TRUE(b.put("12345678", 8));
  EXPECT_FALSE(b.truncated());
  EXPECT_FALSE(b.put("abcde", 5));
  b.put('z');
  EXPECT_TRUE(b.truncated());
  EXPECT_TRUE(b.full());
  size_t room = 99;
  EXPECT_EQ(b.tail(10, &room), nullptr);
  EXPECT_EQ(room, 0u);
  EXPECT_EQ(S(b.take()), "12345678ab");
}

TEST(TextBuilder, WritingInPlaceUsesTheRoomLeftBeforeGrowing) {
  TextBuilder b(8, 100);
  b.put("abcde");
  size_t room = 0;
  char* at = b.tail(50, &room);
  ASSERT_EQ(room, 3u);  // what the block has left, not a move for more
  std::memcpy(at, "fgh", 3);
  b.commit(3);
  at = b.tail(50, &room);
  ASSERT_EQ(room, 50u);  // full: grown for all that was asked
  std::memset(at, 'x', 10);
  b.commit(10);
  at = b.tail(500, &room);
  EXPECT_EQ(room, 40u);  // grown ahead for the 50, within the limit
  EXPECT_EQ(S(b.take()), "abcdefgh" + std::string(10, 'x'));
}

TEST(TextBuilder, AnOwnersBlockIsLeftOnlyWhenOutgrown) {
  char first[5];
  TextBuilder b(first, 4, TextBuilder::kNoLimit);
  b.put("abcd");
  b.terminate();
  EXPECT_EQ(b.data(), first);
  EXPECT_STREQ(first, "abcd");
  EXPECT_EQ(b.release(), nullptr);  // nothing on the heap to hand over
  b.put('e');
  EXPECT_NE(b.data(), first);
  char* block = b.release();
  ASSERT_NE(block, nullptr);
  EXPECT_STREQ(block, "abcde");
  Text owned = Text::adopt(block);
  // The builder begins again in the owner's block.
  b.put("xy");
  EXPECT_EQ(b.data(), first);
  EXPECT_EQ(S(b.take()), "xy");
}

TEST(TextBuilder, AByteStringKeepsItsHeadInFront) {
  TextBuilder b = TextBuilder::byte_string(2);
  b.put(std::string("a\0b\0c", 5));
  Bytes bytes = b.take_bytes();
  ASSERT_NE(bytes.block(), nullptr);
  EXPECT_EQ(bytes.block()->dims, 1);
  EXPECT_EQ(bytes.view(), std::string_view("a\0b\0c", 5));
  EXPECT_TRUE(TextBuilder::byte_string(8).take_bytes().block() == nullptr);
}

}  // namespace
}  // namespace cx
