// Wiped text storage: what leaves the text is zeroed at once, and all of it before the
// storage is given back.

#include "secret/wiping_text.h"

#include <gtest/gtest.h>

#include <string>

#include "wiping_arena.h"

namespace pinvale {
namespace {

using test::WipingArena;

// The text is `expected` and every unit past it, up to the capacity, is zero.
template <typename Char>
void ExpectHolds(const WipingText<Char>& text, std::basic_string_view<Char> expected) {
  EXPECT_EQ(text.view(), expected);
  for (std::size_t i = text.size(); i < text.capacity(); ++i) {
    ASSERT_EQ(text.data()[i], Char{0}) << "unit " << i << " past the text";
  }
}

TEST(WipingText, WhatLeavesTheTextIsZeroedAndTheStorageStays) {
  WipingArena arena;
  WipingU16Text text;
  text.Reserve(16);
  const char16_t* storage = text.data();
  ExpectHolds<char16_t>(text, u"");  // new storage is cleared, whatever it held before

  text.Append(u"secret");
  text.Insert(0, u">");
  text.PushBack(u'!');
  ExpectHolds<char16_t>(text, u">secret!");
  text.Erase(1, 3);
  ExpectHolds<char16_t>(text, u">ret!");
  text.Erase(4, 99);
  ExpectHolds<char16_t>(text, u">ret");
  text.Assign(u"ab");
  ExpectHolds<char16_t>(text, u"ab");
  text.Assign(text.view().substr(1));  // from itself
  ExpectHolds<char16_t>(text, u"b");
  text.Assign(u"0123456789");
  text.Truncate(3);
  ExpectHolds<char16_t>(text, u"012");
  text.Clear();
  ExpectHolds<char16_t>(text, u"");
  EXPECT_EQ(text.data(), storage) << "within its capacity the text never moves";
  EXPECT_EQ(arena.Allocated(), 1u);
}

TEST(WipingText, GrowingPastTheCapacityWipesTheOldStorage) {
  WipingArena arena;
  WipingU8Text text;
  text.Reserve(4);
  text.Append("1234");
  const char* first = text.data();
  text.Append("5");
  EXPECT_NE(text.data(), first);
  ExpectHolds<char>(text, "12345");
  const WipingArena::Block* old = arena.Find(first);
  ASSERT_NE(old, nullptr);
  EXPECT_TRUE(old->released);
  EXPECT_TRUE(WipingArena::AllZero(*old));
}

TEST(WipingText, CopiesMovesAndTheEndWipeEveryBlock) {
  WipingArena arena;
  const char* moved = nullptr;
  {
    WipingU8Text original(std::string_view("pin 1234"));
    WipingU8Text copy = original;
    EXPECT_NE(copy.data(), original.data());
    EXPECT_EQ(copy, original);
    moved = original.data();
    WipingU8Text taken = std::move(original);
    EXPECT_EQ(taken.data(), moved) << "a move hands the storage over";
    EXPECT_TRUE(original.empty());
    EXPECT_EQ(original.data(), nullptr);
    copy = taken;  // into storage that already holds the text
    EXPECT_EQ(copy.view(), "pin 1234");
    EXPECT_EQ(arena.Live(), 2u);
  }
  EXPECT_EQ(arena.Live(), 0u);
  EXPECT_EQ(arena.ReleasedUnwiped(), 0u);
  EXPECT_FALSE(arena.Holds(std::string_view("1234")));
}

}  // namespace
}  // namespace pinvale
