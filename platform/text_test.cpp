#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

TEST(Text, Windows1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(platform::fromQString(platform::toQString(all)), all);
}

TEST(Text, HighControlRangeMapsToTheWindowsCharacters) {
  EXPECT_EQ(platform::toQString("\x80"), QString(QChar(0x20AC)));
  EXPECT_EQ(platform::toQString("\x99"), QString(QChar(0x2122)));
  EXPECT_EQ(platform::toQString("\xE9"), QString(QChar(0xE9)));
  EXPECT_EQ(platform::fromQString(QString(QChar(0x20AC))), "\x80");
  // Outside Windows-1252 there is no byte: the text keeps its length.
  EXPECT_EQ(platform::fromQString(QString::fromUtf8("a\xE2\x82\xBD" "b")), "a?b");
}

TEST(Text, Latin1FoldingLeavesNonLettersAlone) {
  EXPECT_EQ(platform::latin1Upper('a'), 'A');
  EXPECT_EQ(platform::latin1Upper(0xE9), 0xC9);
  EXPECT_EQ(platform::latin1Upper(0xF7), 0xF7);  // division sign
  EXPECT_EQ(platform::latin1Upper(0xFF), 0xFF);  // no Latin-1 capital
  EXPECT_EQ(platform::latin1Lower(0xD7), 0xD7);  // multiplication sign
  EXPECT_EQ(platform::latin1Lower(0xC0), 0xE0);
  EXPECT_EQ(platform::latin1Upper('['), '[');
}

}  // namespace
