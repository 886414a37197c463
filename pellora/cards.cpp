#include "pellora/cards.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/canvas.h"

namespace pellora {
namespace {

// Everything is designed in picture pixels (71 x 96), painted antialiased this
// many times larger and each block averaged into one pixel (a larger factor
// looked no different and cost more time).
constexpr int kSuper = 2;

enum class Suit { Clubs, Diamonds, Hearts, Spades };

constexpr int kRanksPerSuit = 13;
constexpr int kAce = 1;
constexpr int kTen = 10;
constexpr int kJack = 11;
constexpr int kQueen = 12;
constexpr int kKing = 13;

// The palette. Every colour keeps its blue well above kCardMinBlue, so that
// blends of them (antialiasing, averaging) do too.
const QColor kInk = QColor(26, 26, 34);
const QColor kRed = QColor(204, 22, 38);
const QColor kWhite = QColor(255, 255, 255);
const QColor kCardEdge = QColor(112, 112, 122);
const QColor kGold = QColor(232, 180, 52);
const QColor kGoldDark = QColor(150, 104, 32);
const QColor kBlue = QColor(36, 62, 156);
const QColor kSkin = QColor(250, 220, 190);
const QColor kHairDark = QColor(96, 60, 36);
const QColor kHairBlond = QColor(206, 150, 62);
const QColor kSteel = QColor(196, 202, 214);
const QColor kWood = QColor(128, 86, 46);
const QColor kLeaf = QColor(54, 128, 70);
const QColor kBackBlue = QColor(30, 56, 138);
const QColor kBackDeep = QColor(20, 38, 100);
const QColor kBackLine = QColor(92, 126, 206);

QColor Tint(platform::Color c, int towards, double share) {
  auto mix = [&](int v) { return static_cast<int>(v + (towards - v) * share + 0.5); };
  return QColor(mix(platform::GetRValue(c)), mix(platform::GetGValue(c)), mix(platform::GetBValue(c)));
}

bool IsRed(Suit s) { return s == Suit::Diamonds || s == Suit::Hearts; }
QColor SuitColour(Suit s) { return IsRed(s) ? kRed : kInk; }

// ---- Suit symbols: filled paths in a unit box centred on (0, 0), about
// [-0.5, 0.5] each way, the point of a heart or diamond downwards.

QPainterPath HeartPath() {
  QPainterPath p;
  p.moveTo(0, 0.5);
  p.cubicTo(-0.08, 0.36, -0.5, 0.10, -0.5, -0.16);
  p.cubicTo(-0.5, -0.38, -0.36, -0.50, -0.24, -0.50);
  p.cubicTo(-0.10, -0.50, -0.02, -0.42, 0, -0.30);
  p.cubicTo(0.02, -0.42, 0.10, -0.50, 0.24, -0.50);
  p.cubicTo(0.36, -0.50, 0.5, -0.38, 0.5, -0.16);
  p.cubicTo(0.5, 0.10, 0.08, 0.36, 0, 0.5);
  p.closeSubpath();
  return p;
}

QPainterPath SpadePath() {
  QPainterPath p;
  p.moveTo(0, -0.5);
  p.cubicTo(-0.08, -0.34, -0.5, -0.14, -0.5, 0.10);
  p.cubicTo(-0.5, 0.30, -0.36, 0.38, -0.25, 0.38);
  p.cubicTo(-0.16, 0.38, -0.10, 0.34, -0.07, 0.28);
  p.cubicTo(-0.07, 0.38, -0.12, 0.46, -0.22, 0.5);
  p.lineTo(0.22, 0.5);
  p.cubicTo(0.12, 0.46, 0.07, 0.38, 0.07, 0.28);
  p.cubicTo(0.10, 0.34, 0.16, 0.38, 0.25, 0.38);
  p.cubicTo(0.36, 0.38, 0.5, 0.30, 0.5, 0.10);
  p.cubicTo(0.5, -0.14, 0.08, -0.34, 0, -0.5);
  p.closeSubpath();
  return p;
}

QPainterPath ClubPath() {
  QPainterPath p;
  p.setFillRule(Qt::WindingFill);
  const double r = 0.215;
  p.addEllipse(QPointF(0, -0.27), r, r);
  p.addEllipse(QPointF(-0.265, 0.09), r, r);
  p.addEllipse(QPointF(0.265, 0.09), r, r);
  p.addEllipse(QPointF(0, 0.03), 0.14, 0.14);
  QPainterPath stem;
  stem.moveTo(-0.065, 0.02);
  stem.cubicTo(-0.065, 0.30, -0.12, 0.46, -0.22, 0.5);
  stem.lineTo(0.22, 0.5);
  stem.cubicTo(0.12, 0.46, 0.065, 0.30, 0.065, 0.02);
  stem.closeSubpath();
  return p.simplified().united(stem);
}

QPainterPath DiamondPath() {
  QPainterPath p;
  p.moveTo(0, -0.5);
  p.quadTo(0.19, -0.21, 0.42, 0);
  p.quadTo(0.19, 0.21, 0, 0.5);
  p.quadTo(-0.19, 0.21, -0.42, 0);
  p.quadTo(-0.19, -0.21, 0, -0.5);
  p.closeSubpath();
  return p;
}

// ---- Rank letters: stroked skeletons in a box of w x h (top-left at 0, 0)
// for a pen of width s; the outer edges of the strokes touch the box.

QPainterPath GlyphPath(char c, double w, double h, double s) {
  const double x0 = s / 2, x1 = w - s / 2, y0 = s / 2, y1 = h - s / 2, xm = w / 2;
  QPainterPath p;
  switch (c) {
    case 'A': {
      p.moveTo(x0, h);
      p.lineTo(xm, 0.2 * s);
      p.lineTo(x1, h);
      const double yb = 0.66 * h;
      const double t = (h - yb) / (h - y0);
      p.moveTo(x0 + (xm - x0) * t, yb);
      p.lineTo(x1 - (x1 - xm) * t, yb);
      break;
    }
    case 'K':
      p.moveTo(x0, 0);
      p.lineTo(x0, h);
      p.moveTo(x1 + 0.1 * s, 0);
      p.lineTo(x0 + 0.4 * s, 0.62 * h);
      p.moveTo(x0 + 0.30 * w, 0.44 * h);
      p.lineTo(x1 + 0.1 * s, h);
      break;
    case 'Q':
      p.addEllipse(QRectF(x0, y0, x1 - x0, y1 - y0));
      p.moveTo(xm + 0.06 * w, 0.68 * h);
      p.lineTo(x1 + 0.2 * s, h);
      break;
    case 'J': {
      const double ry = 0.26 * h;
      const double yh = y1 - ry;
      p.moveTo(x0 + 0.12 * w, y0);
      p.lineTo(x1 + s / 2, y0);
      p.moveTo(x1, y0);
      p.lineTo(x1, yh);
      p.arcTo(QRectF(x0, yh - ry, x1 - x0, 2 * ry), 0, -180);
      break;
    }
    case '0':
      p.addEllipse(QRectF(x0, y0, x1 - x0, y1 - y0));
      break;
    case '1':
      p.moveTo(x0, 0.24 * h);
      p.lineTo(0.62 * w, y0);
      p.lineTo(0.62 * w, h);
      break;
    case '2': {
      const QRectF bowl(x0, y0, x1 - x0, 0.56 * h - y0);
      p.arcMoveTo(bowl, 160);
      p.arcTo(bowl, 160, -205);
      p.lineTo(x0, y1);
      p.lineTo(w, y1);
      break;
    }
    case '3': {
      const double mid = 0.47 * h;
      const QRectF upper(x0 + 0.06 * w, y0, x1 - x0 - 0.14 * w, mid - y0);
      const QRectF lower(x0, mid, x1 - x0, y1 - mid);
      p.arcMoveTo(upper, 155);
      p.arcTo(upper, 155, -245);
      p.arcMoveTo(lower, 90);
      p.arcTo(lower, 90, -260);
      break;
    }
    case '4':
      p.moveTo(0.70 * w, h);
      p.lineTo(0.70 * w, y0);
      p.lineTo(x0, 0.68 * h);
      p.lineTo(w, 0.68 * h);
      break;
    case '5': {
      const QRectF bowl(x0, 0.36 * h, x1 - x0, y1 - 0.36 * h);
      p.moveTo(x1, y0);
      p.lineTo(x0 + 0.06 * w, y0);
      p.lineTo(x0, 0.50 * h);
      p.arcTo(bowl, 145, -300);
      break;
    }
    case '6':
    case '9': {
      const QRectF bowl(x0, 0.40 * h, x1 - x0, y1 - 0.40 * h);
      p.addEllipse(bowl);
      p.moveTo(x1 - 0.06 * w, y0 + 0.02 * h);
      p.cubicTo(xm - 0.10 * w, y0 - 0.02 * h, x0, 0.22 * h, x0, bowl.center().y());
      if (c == '9') {
        QTransform turn;
        turn.translate(w, h);
        turn.rotate(180);
        p = turn.map(p);
      }
      break;
    }
    case '7':
      p.moveTo(0, y0);
      p.lineTo(x1, y0);
      p.lineTo(0.36 * w, h);
      break;
    case '8': {
      const double mid = 0.48 * h;
      p.addEllipse(QRectF(x0 + 0.08 * w, y0, x1 - x0 - 0.16 * w, mid - y0));
      p.addEllipse(QRectF(x0, mid, x1 - x0, y1 - mid));
      break;
    }
    default:
      break;
  }
  return p;
}

const char* RankText(int rank) {
  static const std::array<const char*, 14> texts = {"", "A", "2", "3", "4", "5", "6", "7",
                                                    "8", "9", "10", "J", "Q", "K"};
  return texts.at(static_cast<size_t>(rank));
}

// The rank's letters centred on centreX, from top down height.
void DrawRank(QPainter& g, int rank, double centreX, double top, double height, const QColor& colour) {
  const std::string text = RankText(rank);
  const bool two = text.size() == 2;
  const double stroke = (two ? 0.16 : 0.19) * height;
  std::array<double, 2> widths{};
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    widths[i] = two ? (c == '1' ? 0.34 : 0.52) * height : (c == 'A' || c == 'K' || c == 'Q' ? 0.70 : 0.60) * height;
  }
  const double gap = two ? 0.08 * height : 0.0;
  double x = centreX - (widths[0] + widths[1] + gap) / 2;
  g.setPen(QPen(colour, stroke, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
  g.setBrush(Qt::NoBrush);
  for (size_t i = 0; i < text.size(); ++i) {
    g.drawPath(GlyphPath(text[i], widths[i], height, stroke).translated(x, top));
    x += widths[i] + gap;
  }
}

class CardPainter {
 public:
  CardPainter()
      : heart_(HeartPath()), spade_(SpadePath()), club_(ClubPath()), diamond_(DiamondPath()),
        table_(platform::ToQColor(kCardTableColour)),
        work_(kSuper * kCardPictureWidth, kSuper * kCardPictureHeight, QImage::Format_RGB32),
        blankCard_(work_.size(), QImage::Format_RGB32) {
    blankCard_.fill(table_);
    QPainter g(&blankCard_);
    Prepare(g);
    DrawCardBase(g);
  }

  platform::Bitmap Make(int code) {
    const bool card = IsCard(code) || code == kPicEmptyCard || code == kPicCardBack;
    if (card) {
      std::memcpy(work_.bits(), blankCard_.constBits(), static_cast<size_t>(work_.sizeInBytes()));
    } else {
      work_.fill(table_);
    }
    QPainter g(&work_);
    Prepare(g);
    Draw(g, code);
    g.end();
    return Average(work_);
  }

 private:
  static constexpr double kW = kCardPictureWidth;
  static constexpr double kH = kCardPictureHeight;
  static constexpr double kCx = kW / 2;
  static constexpr double kCy = kH / 2;
  // Court cards: the halves meet on a line through the middle that falls by
  // this much from the left edge of the frame to its right edge.
  static constexpr double kSlant = 5.0;
  static constexpr double kFrameLeft = 15.5;

  static bool IsCard(int code) { return code >= 1 && code <= 4 * kRanksPerSuit; }

  static void Prepare(QPainter& g) {
    g.setRenderHint(QPainter::Antialiasing);
    g.scale(kSuper, kSuper);
  }

  void Draw(QPainter& g, int code) {
    if (IsCard(code)) {
      const Suit suit = static_cast<Suit>((code - 1) / kRanksPerSuit);
      const int rank = (code - 1) % kRanksPerSuit + 1;
      DrawFace(g, suit, rank);
      return;
    }
    switch (code) {
      case kPicCardBack:
        DrawBack(g);
        break;
      case kPicEmptySlot:
        DrawSlot(g, false);
        break;
      case kPicEmptyRemovals:
        DrawSlot(g, true);
        break;
      default:  // the empty card and the blank: nothing more
        break;
    }
  }

  const QPainterPath& SuitPath(Suit s) const {
    switch (s) {
      case Suit::Clubs:
        return club_;
      case Suit::Diamonds:
        return diamond_;
      case Suit::Hearts:
        return heart_;
      case Suit::Spades:
        break;
    }
    return spade_;
  }

  void Pip(QPainter& g, Suit s, double x, double y, double size, bool upsideDown, const QColor& colour) {
    g.save();
    g.translate(x, y);
    if (upsideDown) g.rotate(180);
    g.scale(size, size);
    g.fillPath(SuitPath(s), colour);
    g.restore();
  }
  void Pip(QPainter& g, Suit s, double x, double y, double size, bool upsideDown) {
    Pip(g, s, x, y, size, upsideDown, SuitColour(s));
  }

  // White card with a thin grey edge and rounded corners.
  void DrawCardBase(QPainter& g) {
    g.setPen(QPen(kCardEdge, 1.0));
    g.setBrush(kWhite);
    g.drawRoundedRect(QRectF(0.5, 0.5, kW - 1, kH - 1), 4.5, 4.5);
  }

  // Rank over suit in the top-left corner, the same turned in the bottom right.
  void DrawIndex(QPainter& g, Suit s, int rank, bool both) {
    for (int turn = 0; turn < (both ? 2 : 1); ++turn) {
      g.save();
      if (turn == 1) {
        g.translate(kW, kH);
        g.rotate(180);
      }
      DrawRank(g, rank, 8.4, 4.0, 12.0, SuitColour(s));
      Pip(g, s, 8.4, 22.6, 7.8, false);
      g.restore();
    }
  }

  void DrawFace(QPainter& g, Suit s, int rank) {
    if (rank > kTen) {
      DrawCourt(g, s, rank);
      return;
    }
    DrawIndex(g, s, rank, true);
    if (rank == kAce) {
      DrawAce(g, s);
    } else {
      DrawPips(g, s, rank);
    }
  }

  void DrawAce(QPainter& g, Suit s) {
    if (s == Suit::Spades) {
      // The ace of spades carries the deck's ornament: a double ring.
      g.setPen(QPen(kInk, 0.7));
      g.setBrush(Qt::NoBrush);
      g.drawEllipse(QPointF(kCx, kCy), 19.5, 19.5);
      g.setPen(QPen(kInk, 0.4));
      g.drawEllipse(QPointF(kCx, kCy), 18.3, 18.3);
      Pip(g, s, kCx, kCy - 0.5, 28, false);
      return;
    }
    Pip(g, s, kCx, kCy, 26, false);
  }

  // Pips in three columns as on printed cards; those below the middle are
  // upside down.
  void DrawPips(QPainter& g, Suit s, int rank) {
    const double left = 22.0, centre = kCx, right = kW - 22.0;
    const double top = 17.5, bottom = kH - 17.5;
    const double span = bottom - top;
    auto at = [&](double fraction) { return top + span * fraction; };
    struct Spot {
      double x, y;
    };
    std::vector<Spot> spots;
    auto pair = [&](double y) {
      spots.push_back({left, y});
      spots.push_back({right, y});
    };
    switch (rank) {
      case 2:
        spots = {{centre, at(0)}, {centre, at(1)}};
        break;
      case 3:
        spots = {{centre, at(0)}, {centre, at(0.5)}, {centre, at(1)}};
        break;
      case 4:
        pair(at(0));
        pair(at(1));
        break;
      case 5:
        pair(at(0));
        pair(at(1));
        spots.push_back({centre, at(0.5)});
        break;
      case 6:
        pair(at(0));
        pair(at(0.5));
        pair(at(1));
        break;
      case 7:
        pair(at(0));
        pair(at(0.5));
        pair(at(1));
        spots.push_back({centre, at(0.25)});
        break;
      case 8:
        pair(at(0));
        pair(at(0.5));
        pair(at(1));
        spots.push_back({centre, at(0.25)});
        spots.push_back({centre, at(0.75)});
        break;
      case 9:
        for (double f : {0.0, 1.0 / 3, 2.0 / 3, 1.0}) pair(at(f));
        spots.push_back({centre, at(0.5)});
        break;
      default:  // 10
        for (double f : {0.0, 1.0 / 3, 2.0 / 3, 1.0}) pair(at(f));
        spots.push_back({centre, at(1.0 / 6)});
        spots.push_back({centre, at(5.0 / 6)});
        break;
    }
    const double size = rank >= 9 ? 10.5 : 11.0;
    for (const Spot& p : spots) Pip(g, s, p.x, p.y, size, p.y > kCy + 0.1);
  }

  // ---- Court cards: a framed, double-headed figure as on printed cards.

  // A court card is the same when turned: its upper half (index, frame
  // corner, figure) is painted, then turned into the lower half.
  void DrawCourt(QPainter& g, Suit s, int rank) {
    const QRectF frame(kFrameLeft, 8.5, kW - 2 * kFrameLeft, kH - 17.0);
    DrawIndex(g, s, rank, false);
    DrawFigure(g, s, rank, IsRed(s) ? kRed : kBlue, IsRed(s) ? kBlue : kRed);
    Pip(g, s, frame.left() + 4.0, frame.top() + 4.5, 6.0, false);
    g.setBrush(Qt::NoBrush);
    g.setPen(QPen(kInk, 0.75));
    g.drawRect(frame);
    g.end();
    TurnLowerHalf();
    g.begin(&work_);
    Prepare(g);
    g.setPen(QPen(kInk, 0.6));
    g.drawLine(QPointF(frame.left(), kCy + kSlant), QPointF(frame.right(), kCy - kSlant));
  }

  // Every pixel below the dividing line takes the pixel that a half turn
  // about the centre brings there.
  void TurnLowerHalf() {
    const int w = work_.width();
    const int h = work_.height();
    const double fall = kSlant / (kCx - kFrameLeft);  // drop per unit to the right
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<QRgb*>(work_.scanLine(y));
      const auto* turned = reinterpret_cast<const QRgb*>(work_.constScanLine(h - 1 - y));
      // Twice the distance below the line, in painted pixels (exact in
      // halves, so a pixel and its turned partner fall on opposite sides).
      for (int x = 0; x < w; ++x) {
        const double below = (2 * y + 1 - h) + fall * (2 * x + 1 - w);
        if (below > 0 || (below == 0 && 2 * x + 1 < w)) row[x] = turned[w - 1 - x];
      }
    }
  }

  void Outlined(QPainter& g, const QPainterPath& path, const QColor& fill, double pen = 0.5) {
    g.setPen(QPen(kInk, pen, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    g.setBrush(fill);
    g.drawPath(path);
  }

  void Stroke(QPainter& g, const QPainterPath& path, const QColor& colour, double width) {
    g.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    g.setBrush(Qt::NoBrush);
    g.drawPath(path);
  }

  void Dot(QPainter& g, QPointF at, double rx, double ry, const QColor& fill) {
    g.setPen(Qt::NoPen);
    g.setBrush(fill);
    g.drawEllipse(at, rx, ry);
  }

  // The upper half of a court figure, head and shoulders (the card turns it
  // for the lower half), painted back to front. King: crown, beard, sword;
  // queen: tiara, long hair, flower; jack: cap with a plume, halberd.
  void DrawFigure(QPainter& g, Suit s, int rank, const QColor& robe, const QColor& inner) {
    switch (rank) {
      case kKing:
        DrawKing(g, s, robe, inner);
        break;
      case kQueen:
        DrawQueen(g, s, robe, inner);
        break;
      case kJack:
        DrawJack(g, s, robe, inner);
        break;
    }
  }

  // Centre line of the head.
  static constexpr double kHeadY = 25.5;

  void DrawKing(QPainter& g, Suit s, const QColor& robe, const QColor& inner) {
    const QPointF hand(kCx + 12.5, 39.0);
    DrawSword(g, hand);
    DrawShoulders(g, s, robe, inner);
    // An ermine collar.
    const QPainterPath collar = CollarPath();
    Stroke(g, collar, kInk, 3.4);
    Stroke(g, collar, kWhite, 2.6);
    for (double t : {0.2, 0.5, 0.8}) Dot(g, collar.pointAtPercent(t), 0.45, 0.7, kInk);
    DrawHead(g, kHairDark, true);
    DrawBeard(g, kHairDark);
    DrawCrown(g, robe, inner);
    DrawFist(g, hand);
  }

  void DrawQueen(QPainter& g, Suit s, const QColor& robe, const QColor& inner) {
    const QPointF hand(kCx - 12.0, 41.0);
    DrawLongHair(g, kHairDark);
    DrawShoulders(g, s, robe, inner);
    // A string of pearls.
    const QPainterPath collar = CollarPath();
    for (int i = 0; i <= 6; ++i) Dot(g, collar.pointAtPercent(i / 6.0), 0.75, 0.75, kGold);
    DrawHead(g, kHairDark, false);
    DrawMouth(g);
    DrawTiara(g, inner);
    DrawFlower(g, hand, inner);
    DrawFist(g, hand);
  }

  void DrawJack(QPainter& g, Suit s, const QColor& robe, const QColor& inner) {
    const QPointF hand(kCx + 12.5, 39.0);
    DrawHalberd(g, hand);
    DrawShoulders(g, s, robe, inner);
    const QPainterPath collar = CollarPath();
    Stroke(g, collar, kGoldDark, 1.8);
    Stroke(g, collar, kGold, 1.1);
    DrawHead(g, kHairBlond, true);
    DrawMouth(g);
    DrawCap(g, inner);
    DrawFist(g, hand);
  }

  // ---- The parts of the figures.

  // The king's sword, held upright behind the figure.
  void DrawSword(QPainter& g, QPointF hand) {
    QPainterPath blade;
    blade.moveTo(hand.x() - 0.9, hand.y() - 2.5);
    blade.lineTo(hand.x() - 0.9, 13.5);
    blade.lineTo(hand.x(), 11.0);
    blade.lineTo(hand.x() + 0.9, 13.5);
    blade.lineTo(hand.x() + 0.9, hand.y() - 2.5);
    blade.closeSubpath();
    Outlined(g, blade, kSteel, 0.4);
    QPainterPath guard;
    guard.moveTo(hand.x() - 3.4, hand.y() - 2.8);
    guard.lineTo(hand.x() + 3.4, hand.y() - 2.8);
    Stroke(g, guard, kGoldDark, 1.6);
    Stroke(g, guard, kGold, 0.8);
  }

  // The jack's halberd, held upright behind the figure.
  void DrawHalberd(QPainter& g, QPointF hand) {
    QPainterPath shaft;
    shaft.moveTo(hand.x(), kCy + 8);
    shaft.lineTo(hand.x(), 12.5);
    Stroke(g, shaft, kWood, 1.3);
    QPainterPath axe;
    axe.moveTo(hand.x(), 15.5);
    axe.cubicTo(hand.x() + 2.5, 14.5, hand.x() + 4.0, 13.5, hand.x() + 4.6, 12.0);
    axe.lineTo(hand.x() + 4.6, 21.0);
    axe.cubicTo(hand.x() + 4.0, 19.5, hand.x() + 2.5, 18.5, hand.x(), 18.0);
    axe.closeSubpath();
    Outlined(g, axe, kSteel, 0.4);
    QPainterPath tip;
    tip.moveTo(hand.x() - 0.9, 13.0);
    tip.lineTo(hand.x(), 9.8);
    tip.lineTo(hand.x() + 0.9, 13.0);
    tip.closeSubpath();
    Outlined(g, tip, kSteel, 0.4);
  }

  // The queen's long hair falls over the shoulders, behind the head.
  void DrawLongHair(QPainter& g, const QColor& hair) {
    const double cx = kCx;
    QPainterPath locks;
    locks.moveTo(cx - 5.5, 19.5);
    locks.cubicTo(cx - 10.0, 22.0, cx - 10.0, 32.0, cx - 9.5, 38.5);
    locks.lineTo(cx + 9.5, 38.5);
    locks.cubicTo(cx + 10.0, 32.0, cx + 10.0, 22.0, cx + 5.5, 19.5);
    locks.closeSubpath();
    Outlined(g, locks, hair, 0.4);
  }

  // The robe over the shoulders with gold marks of the suit, the garment
  // under it (a front panel edged in gold) and the neck.
  void DrawShoulders(QPainter& g, Suit s, const QColor& robe, const QColor& inner) {
    const double cx = kCx, my = kCy;
    QPainterPath body;
    body.moveTo(cx - 17, my + 8);
    body.lineTo(cx - 17, 42);
    body.cubicTo(cx - 17, 37, cx - 12, 34.2, cx - 5.5, 33.8);
    body.lineTo(cx + 5.5, 33.8);
    body.cubicTo(cx + 12, 34.2, cx + 17, 37, cx + 17, 42);
    body.lineTo(cx + 17, my + 8);
    body.closeSubpath();
    Outlined(g, body, robe);
    for (const QPointF& p : {QPointF(cx - 13.5, 40.5), QPointF(cx - 9.5, 45.5), QPointF(cx - 14, 49.5),
                             QPointF(cx + 13.5, 45.5), QPointF(cx + 9.5, 39.5), QPointF(cx + 9.5, 50.5)})
      Pip(g, s, p.x(), p.y(), 2.8, false, kGold);
    QPainterPath front;
    front.moveTo(cx - 4.8, 33.8);
    front.lineTo(cx - 6.5, my + 8);
    front.lineTo(cx + 6.5, my + 8);
    front.lineTo(cx + 4.8, 33.8);
    front.closeSubpath();
    Outlined(g, front, inner, 0.4);
    for (double side : {-1.0, 1.0}) {
      QPainterPath edge;
      edge.moveTo(cx + side * 4.8, 33.8);
      edge.lineTo(cx + side * 6.5, my + 8);
      Stroke(g, edge, kGold, 1.1);
    }
    for (double y : {38.5, 43.0, 47.5}) Dot(g, QPointF(cx, y), 0.9, 0.9, kGold);
    Dot(g, QPointF(cx, 32.0), 2.6, 2.6, kSkin);
  }

  // The line of the collar round the neck; each figure dresses it its way.
  static QPainterPath CollarPath() {
    QPainterPath collar;
    collar.moveTo(kCx - 6.5, 34.0);
    collar.quadTo(kCx, 39.0, kCx + 6.5, 34.0);
    return collar;
  }

  // Head with fringe, eyes and nose; backHair: hair round the back of the
  // head (the queen's falls long, drawn before the shoulders).
  void DrawHead(QPainter& g, const QColor& hair, bool backHair) {
    const double cx = kCx, headY = kHeadY;
    if (backHair) {
      QPainterPath back;
      back.addEllipse(QPointF(cx, headY - 0.8), 6.8, 6.6);
      Outlined(g, back, hair, 0.4);
    }
    QPainterPath head;
    head.addEllipse(QPointF(cx, headY), 5.4, 6.4);
    Outlined(g, head, kSkin, 0.5);
    QPainterPath fringe;
    fringe.moveTo(cx - 5.4, headY - 0.5);
    fringe.cubicTo(cx - 5.6, headY - 6.5, cx + 5.6, headY - 6.5, cx + 5.4, headY - 0.5);
    fringe.cubicTo(cx + 3.5, headY - 3.5, cx - 3.5, headY - 3.5, cx - 5.4, headY - 0.5);
    fringe.closeSubpath();
    Outlined(g, fringe, hair, 0.3);
    Dot(g, QPointF(cx - 2.0, headY - 0.1), 0.7, 0.6, kInk);
    Dot(g, QPointF(cx + 2.0, headY - 0.1), 0.7, 0.6, kInk);
    QPainterPath nose;
    nose.moveTo(cx + 0.1, headY + 0.4);
    nose.lineTo(cx - 0.6, headY + 2.5);
    nose.lineTo(cx + 0.4, headY + 2.7);
    Stroke(g, nose, kGoldDark, 0.35);
  }

  void DrawMouth(QPainter& g) { Dot(g, QPointF(kCx, kHeadY + 4.1), 1.4, 0.6, kRed); }

  // The king's beard and moustache.
  void DrawBeard(QPainter& g, const QColor& hair) {
    const double cx = kCx, headY = kHeadY;
    QPainterPath beard;
    beard.moveTo(cx - 5.4, headY + 0.8);
    beard.cubicTo(cx - 5.6, headY + 7.0, cx - 2.6, headY + 10.0, cx, headY + 10.6);
    beard.cubicTo(cx + 2.6, headY + 10.0, cx + 5.6, headY + 7.0, cx + 5.4, headY + 0.8);
    beard.cubicTo(cx + 4.3, headY + 4.0, cx + 2.0, headY + 4.4, cx, headY + 4.4);
    beard.cubicTo(cx - 2.0, headY + 4.4, cx - 4.3, headY + 4.0, cx - 5.4, headY + 0.8);
    beard.closeSubpath();
    Outlined(g, beard, hair, 0.3);
    QPainterPath tache;
    tache.moveTo(cx - 3.2, headY + 4.3);
    tache.quadTo(cx, headY + 2.7, cx + 3.2, headY + 4.3);
    Stroke(g, tache, hair, 1.2);
  }

  void DrawCrown(QPainter& g, const QColor& robe, const QColor& inner) {
    const double cx = kCx;
    QPainterPath crown;
    crown.moveTo(cx - 6.8, 20.3);
    crown.lineTo(cx - 7.4, 11.8);
    crown.lineTo(cx - 3.7, 15.4);
    crown.lineTo(cx, 10.2);
    crown.lineTo(cx + 3.7, 15.4);
    crown.lineTo(cx + 7.4, 11.8);
    crown.lineTo(cx + 6.8, 20.3);
    crown.closeSubpath();
    Outlined(g, crown, kGold, 0.5);
    QPainterPath band;
    band.addRect(QRectF(cx - 6.9, 17.2, 13.8, 3.1));
    Outlined(g, band, kGold, 0.5);
    Dot(g, QPointF(cx, 18.75), 1.1, 1.1, inner);
    Dot(g, QPointF(cx - 4.0, 18.75), 0.8, 0.8, robe);
    Dot(g, QPointF(cx + 4.0, 18.75), 0.8, 0.8, robe);
    g.setPen(QPen(kGoldDark, 0.3));
    g.setBrush(kGold);
    for (const QPointF& p : {QPointF(cx - 7.4, 11.6), QPointF(cx, 10.0), QPointF(cx + 7.4, 11.6)})
      g.drawEllipse(p, 1.1, 1.1);
  }

  void DrawTiara(QPainter& g, const QColor& inner) {
    const double cx = kCx;
    QPainterPath tiara;
    tiara.moveTo(cx - 5.8, 20.0);
    tiara.lineTo(cx - 5.6, 15.0);
    tiara.lineTo(cx - 2.9, 17.0);
    tiara.lineTo(cx, 13.2);
    tiara.lineTo(cx + 2.9, 17.0);
    tiara.lineTo(cx + 5.6, 15.0);
    tiara.lineTo(cx + 5.8, 20.0);
    tiara.closeSubpath();
    Outlined(g, tiara, kGold, 0.45);
    g.setPen(QPen(kGoldDark, 0.3));
    g.setBrush(kGold);
    for (const QPointF& p : {QPointF(cx - 5.6, 14.6), QPointF(cx, 12.6), QPointF(cx + 5.6, 14.6)})
      g.drawEllipse(p, 0.95, 0.95);
    Dot(g, QPointF(cx, 18.0), 1.0, 1.2, inner);
  }

  // The jack's cap with a plume.
  void DrawCap(QPainter& g, const QColor& inner) {
    const double cx = kCx;
    QPainterPath plume;
    plume.moveTo(cx - 3.0, 17.0);
    plume.cubicTo(cx - 7.0, 12.0, cx - 11.0, 11.5, cx - 13.0, 14.5);
    Stroke(g, plume, kGoldDark, 2.0);
    Stroke(g, plume, kGold, 1.3);
    QPainterPath cap;
    cap.moveTo(cx - 8.0, 20.0);
    cap.cubicTo(cx - 8.5, 13.5, cx + 6.5, 12.5, cx + 8.2, 19.0);
    cap.cubicTo(cx + 4.0, 20.8, cx - 4.0, 21.2, cx - 8.0, 20.0);
    cap.closeSubpath();
    Outlined(g, cap, inner, 0.45);
    QPainterPath capBand;
    capBand.moveTo(cx - 7.6, 19.3);
    capBand.cubicTo(cx - 4.0, 20.4, cx + 4.0, 20.0, cx + 7.8, 18.5);
    Stroke(g, capBand, kGold, 1.0);
  }

  // The queen's flower, its stem in her hand.
  void DrawFlower(QPainter& g, QPointF hand, const QColor& inner) {
    QPainterPath stem;
    stem.moveTo(hand.x(), hand.y());
    stem.cubicTo(hand.x() - 1.0, 35, hand.x() + 0.8, 30, hand.x() - 0.5, 25.5);
    Stroke(g, stem, kLeaf, 0.9);
    QPainterPath leaf;
    leaf.moveTo(hand.x() - 0.3, 33);
    leaf.quadTo(hand.x() - 4.5, 30.5, hand.x() - 4.0, 28.5);
    leaf.quadTo(hand.x() - 1.5, 29.5, hand.x() - 0.3, 33);
    Outlined(g, leaf, kLeaf, 0.3);
    const QPointF bloom(hand.x() - 0.5, 23.5);
    for (int i = 0; i < 5; ++i) {
      QTransform t;
      t.translate(bloom.x(), bloom.y());
      t.rotate(72.0 * i);
      QPainterPath petal;
      petal.addEllipse(QPointF(0, -1.7), 1.3, 1.8);
      Outlined(g, t.map(petal), inner, 0.25);
    }
    Dot(g, bloom, 1.0, 1.0, kGold);
  }

  // The hand that holds the sword, halberd or flower, in front of it.
  void DrawFist(QPainter& g, QPointF hand) {
    QPainterPath fist;
    fist.addEllipse(hand, 2.0, 1.8);
    Outlined(g, fist, kSkin, 0.4);
  }

  // ---- The back, the slots.

  void DrawBack(QPainter& g) {
    const QRectF panel(4.0, 4.0, kW - 8.0, kH - 8.0);
    QPainterPath panelPath;
    panelPath.addRoundedRect(panel, 2.5, 2.5);
    g.fillPath(panelPath, kBackBlue);
    g.save();
    g.setClipPath(panelPath);
    // Lattice of diagonal lines, crossing on the centre.
    g.setPen(QPen(kBackLine, 0.7));
    const double step = 5.5;
    for (int i = -30; i <= 30; ++i) {
      const double o = i * step;
      g.drawLine(QPointF(kCx + o - kH, kCy - kH), QPointF(kCx + o + kH, kCy + kH));
      g.drawLine(QPointF(kCx + o + kH, kCy - kH), QPointF(kCx + o - kH, kCy + kH));
    }
    // A dot in the middle of each lattice cell.
    g.setPen(Qt::NoPen);
    g.setBrush(kBackLine);
    for (int i = -12; i <= 12; ++i)
      for (int j = -12; j <= 12; ++j)
        g.drawEllipse(QPointF(kCx + (i + 0.5) * step + (j + 0.5) * step, kCy + (j + 0.5) * step - (i + 0.5) * step),
                      0.7, 0.7);
    g.restore();
    g.setBrush(Qt::NoBrush);
    g.setPen(QPen(kWhite, 0.8));
    g.drawRoundedRect(panel.adjusted(2.2, 2.2, -2.2, -2.2), 1.5, 1.5);
    // Medallion with the four suits.
    g.setPen(QPen(kGold, 1.1));
    g.setBrush(kBackDeep);
    g.drawEllipse(QPointF(kCx, kCy), 13.5, 17.5);
    g.setPen(QPen(kGold, 0.5));
    g.setBrush(Qt::NoBrush);
    g.drawEllipse(QPointF(kCx, kCy), 11.3, 15.3);
    Pip(g, Suit::Spades, kCx, kCy - 8.0, 6.5, false, kWhite);
    Pip(g, Suit::Hearts, kCx + 6.0, kCy, 6.5, false, kWhite);
    Pip(g, Suit::Clubs, kCx, kCy + 8.0, 6.5, false, kWhite);
    Pip(g, Suit::Diamonds, kCx - 6.0, kCy, 6.5, false, kWhite);
    Pip(g, Suit::Diamonds, kCx, kCy, 3.5, false, kGold);
  }

  void DrawSlot(QPainter& g, bool removals) {
    const QColor light = Tint(kCardTableColour, 255, 0.35);
    const QColor dark = Tint(kCardTableColour, 0, 0.18);
    g.setPen(QPen(light, 1.4));
    g.setBrush(dark);
    g.drawRoundedRect(QRectF(2.2, 2.2, kW - 4.4, kH - 4.4), 4.0, 4.0);
    if (!removals) return;
    // A pair of cards, laid one over the other.
    for (int i = 0; i < 2; ++i) {
      g.save();
      g.translate(kCx + (i == 0 ? -4.5 : 4.5), kCy);
      g.rotate(i == 0 ? -14 : 14);
      g.setPen(QPen(light, 1.2));
      g.setBrush(dark);
      g.drawRoundedRect(QRectF(-12, -17, 24, 34), 2.5, 2.5);
      g.restore();
    }
  }

  // Each kSuper x kSuper block of the painted image becomes one pixel.
  static platform::Bitmap Average(const QImage& image) {
    platform::Bitmap out(kCardPictureWidth, kCardPictureHeight, platform::PixelFormat::Bit24);
    constexpr std::uint32_t kArea = kSuper * kSuper;
    for (int y = 0; y < kCardPictureHeight; ++y) {
      std::uint8_t* line = out.ScanLine(y);
      for (int x = 0; x < kCardPictureWidth; ++x) {
        // Red and blue side by side in 16-bit lanes (16 x 255 fits), green apart.
        std::uint32_t redBlue = 0, green = 0;
        for (int k = 0; k < kSuper; ++k) {
          const auto* p = reinterpret_cast<const QRgb*>(image.constScanLine(y * kSuper + k)) + x * kSuper;
          for (int i = 0; i < kSuper; ++i) {
            redBlue += p[i] & 0x00FF00FFu;
            green += (p[i] >> 8) & 0xFFu;
          }
        }
        line[3 * x] = static_cast<std::uint8_t>(((redBlue & 0xFFFFu) + kArea / 2) / kArea);
        line[3 * x + 1] = static_cast<std::uint8_t>((green + kArea / 2) / kArea);
        line[3 * x + 2] = static_cast<std::uint8_t>(((redBlue >> 16) + kArea / 2) / kArea);
      }
    }
    return out;
  }

  QPainterPath heart_, spade_, club_, diamond_;
  QColor table_;
  QImage work_;       // the picture being painted, kSuper times the size
  QImage blankCard_;  // the white card every card picture starts from
};

}  // namespace

std::vector<platform::Bitmap> MakeCardPictures() {
  CardPainter painter;
  std::vector<platform::Bitmap> pictures;
  pictures.reserve(kCardPictureCount);
  for (int code = 0; code < kCardPictureCount; ++code) pictures.push_back(painter.Make(code));
  return pictures;
}

}  // namespace pellora
