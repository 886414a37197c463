#pragma once
// The card pictures of the table, drawn by our own code at start: 57 opaque
// 24-bit pictures of 71 x 96 pixels, numbered as the table's picture list.
//
//   0       an empty card face (white card, no marks; not used by the game)
//   1..52   the cards, four suits of thirteen, ace to king: suit
//           (code - 1) / 13 in the order clubs, diamonds, hearts, spades;
//           rank ((code - 1) mod 13) + 1, ace 1 ... jack 11, queen 12, king 13
//   53      the card back
//   54      an empty slot: an outline on the table colour
//   55      the empty removals slot: the outline with a pair of cards in it
//   56      blank: the bare table colour
//
// Every picture is opaque: the corners outside a card's rounded outline are
// kCardTableColour. No pixel has a blue value below kCardMinBlue, so neither
// the pictures nor any area-averaged scaling of them (ShrinkBitmap) can ever
// produce the table's transparent key colour RGB(248, 248, 0).
//
// The art is vector paths (suits, rank letters and figures alike; no font is
// used, so the result is the same on every machine and needs no
// QGuiApplication), painted antialiased at twice the size and area-averaged
// down, so edges stay smooth when the table scales the pictures.
#include <vector>

#include "platform/bitmap.h"

namespace pellora {

constexpr int kCardPictureCount = 57;
constexpr int kCardPictureWidth = 71;
constexpr int kCardPictureHeight = 96;

// Picture numbers beside the 52 cards.
enum CardPicture : int {
  kPicEmptyCard = 0,
  kPicCardBack = 53,
  kPicEmptySlot = 54,
  kPicEmptyRemovals = 55,
  kPicBlank = 56,
};

// The felt green around the cards' rounded corners and under the slot
// pictures; the natural board colour for a table that shows them.
constexpr platform::Color kCardTableColour = platform::RGBColor(30, 98, 62);
// The lowest blue value of any pixel of the pictures (see above).
constexpr int kCardMinBlue = 16;

// The 57 pictures, element i being picture i; every call gives the same
// pixels.
std::vector<platform::Bitmap> MakeCardPictures();

}  // namespace pellora
