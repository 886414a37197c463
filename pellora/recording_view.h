#pragma once
// A game view without a window for tests and benchmarks: it records what the
// game asks of it and never waits. Flights put the box on their slot at once.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "pellora/cards.h"
#include "pellora/game.h"

namespace pellora {

class RecordingView : public SolGameView {
 public:
  struct Flight {
    int slot;
    int16_t speed;
    int32_t value;
  };
  struct Outcome {
    bool visible = false;
    SolOutcomeText text;
  };

  SolCardBox& MovingBox() override { return box; }
  void Fly(TSolTbl& table, SolCardBox& b, int slot, int16_t speed) override {
    flights.push_back({slot, speed, b.Value()});
    const platform::Rect r = table.Slot(slot).Rect;
    b.MoveTo(r.left, r.top);
  }
  void Repaint() override { ++repaints; }
  void ProcessEvents() override {
    ++pumps;
    if (onEvents) onEvents();
  }
  void Pause(uint32_t ms) override {
    ++pumps;
    pauses.push_back(ms);
    if (onEvents) onEvents();
  }
  void SetInfo(const std::string& text) override { infos.push_back(text); }
  void ShowOutcome(SolOutcome which, const std::optional<SolOutcomeText>& text) override {
    Outcome& o = outcomes[which];
    o.visible = true;
    if (text) {
      o.text = *text;
      shown.push_back(text->text);
    }
  }
  void HideOutcome(SolOutcome which) override { outcomes[which].visible = false; }
  void ShowCounts() override { ++counts; }

  bool Visible(SolOutcome which) const {
    auto it = outcomes.find(which);
    return it != outcomes.end() && it->second.visible;
  }
  std::string Text(SolOutcome which) const {
    auto it = outcomes.find(which);
    return it == outcomes.end() ? std::string() : it->second.text.text;
  }
  std::string LastInfo() const { return infos.empty() ? std::string() : infos.back(); }
  void Forget() {
    flights.clear();
    pauses.clear();
    infos.clear();
    shown.clear();
    repaints = pumps = counts = 0;
  }

  SolCardBoxModel box;
  std::vector<Flight> flights;
  std::vector<uint32_t> pauses;
  std::vector<std::string> infos;
  std::vector<std::string> shown;  // outcome texts in the order shown
  std::map<SolOutcome, Outcome> outcomes;
  int repaints = 0, pumps = 0, counts = 0;
  // Called at every pump: a test's way of sending events in between.
  std::function<void()> onEvents;
};

// The card pictures, drawn once per process.
inline std::shared_ptr<const SolImageList> SharedCardPictures() {
  static const auto pictures = std::make_shared<const SolImageList>(MakeCardPictures());
  return pictures;
}

}  // namespace pellora
