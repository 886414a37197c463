#include "foundation/instrs.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "foundation/ini.h"
#include "platform/msgbox.h"
#include "platform/text.h"

// The pattern is compiled into a small automaton (one node per pattern item)
// and run over the text with all its live states at once, each remembering the
// column where its attempt began. That finds the same matches as trying every
// choice of "*", "§" and group alternative in turn, but a hostile pattern
// cannot make it backtrack without end: the work is at most the number of
// pattern items times the text length.

namespace foundation {

void SetCharBit(CharBits& bits, unsigned char c) { bits[c >> 3] = static_cast<uint8_t>(bits[c >> 3] | (1u << (c & 7))); }
bool CharBit(const CharBits& bits, unsigned char c) { return (bits[c >> 3] >> (c & 7)) & 1u; }

namespace {

struct Set256 {
  uint64_t w[4] = {0, 0, 0, 0};
  void add(unsigned char c) { w[c >> 6] |= 1ull << (c & 63); }
  bool has(unsigned char c) const { return (w[c >> 6] >> (c & 63)) & 1ull; }
  void addAll() { w[0] = w[1] = w[2] = w[3] = ~0ull; }
  void addBits(const CharBits& bits) {
    for (int c = 0; c < 256; ++c)
      if (CharBit(bits, static_cast<unsigned char>(c))) add(static_cast<unsigned char>(c));
  }
};

bool isEmpty(const CharBits& bits) {
  return std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == 0; });
}

enum class Op : uint8_t {
  Char,    // consumes one character of its set
  Star,    // consumes any character and stays, or moves on without consuming
  Blanks,  // consumes a character of its blank set and stays, or moves on
  Split,   // goes on with each alternative of a group
  Jump,    // end of an alternative: on after the group
  Match,
};

struct Node {
  Op op = Op::Match;
  bool topStar = false;  // a "*" outside any group
  int set = -1;          // Char, Blanks: index into Program::sets
  int first = 0;         // Split: first index into Program::alts; Jump: target
  int count = 0;         // Split: number of alternatives
  // A "*" that is free to take anything up to node `rank` (a "*" outside
  // groups: itself; the last item of an alternative: the node after the
  // group) can do whatever a state before that node could do; -1 otherwise.
  int rank = -1;
};

struct Program {
  std::vector<Node> nodes;
  std::vector<Set256> sets;
  std::vector<int> alts;
  int minLength = 0;         // characters every match takes at least
  bool trailingStar = false;  // the pattern ends with a "*" outside groups
};

enum Meta { mBlank, mAny, mStar, mOpen, mClose, mSep };

class Compiler {
 public:
  Compiler(const std::array<char, 6>& meta, uint64_t options, const recInStrS* rec) : meta_(meta) {
    caseSensitive_ = options & isoCaseSensitive;
    const bool useRec = rec && !(options & isoIgnoreRecord);
    if (useRec && (options & isoClasses)) classes_ = &rec->classes;
    Set256 extra;
    if (useRec && (options & isoExtraBlanks)) extra.addBits(rec->extraBlanks);
    // Outside groups the codes 1 to 5 do not count as blanks; inside an
    // alternative every code up to 32 does.
    Set256 top = extra, group = extra;
    top.add(0);
    for (int c = 6; c <= 32; ++c) top.add(static_cast<unsigned char>(c));
    for (int c = 0; c <= 32; ++c) group.add(static_cast<unsigned char>(c));
    topBlanks_ = addSet(top);
    groupBlanks_ = addSet(group);
    Set256 all;
    all.addAll();
    anySet_ = addSet(all);
    groups_ = !(options & isoNoGroups);
  }

  Program compile(std::string_view pattern) {
    size_t i = 0;
    while (i < pattern.size()) {
      const char c = pattern[i];
      if (groups_ && c == meta_[mOpen]) {
        const size_t close = pattern.find(meta_[mClose], i + 1);
        if (close != std::string_view::npos && close > i + 1) {
          const std::string_view body = pattern.substr(i + 1, close - i - 1);
          if (body.find(meta_[mSep]) != std::string_view::npos)
            emitGroup(body);
          else
            emitSet(body);
          i = close + 1;
          continue;
        }
      }
      emitItem(c, true);
      ++i;
    }
    const int last = static_cast<int>(prog_.nodes.size()) - 1;
    prog_.trailingStar = last >= 0 && prog_.nodes[static_cast<size_t>(last)].topStar;
    prog_.nodes.push_back(Node{Op::Match});
    return std::move(prog_);
  }

 private:
  int addSet(const Set256& s) {
    prog_.sets.push_back(s);
    return static_cast<int>(prog_.sets.size()) - 1;
  }

  void addCharForms(Set256& s, unsigned char c) const {
    s.add(c);
    if (!caseSensitive_) {
      s.add(platform::latin1Upper(c));
      s.add(platform::latin1Lower(c));
    }
  }

  Set256 charSet(unsigned char c) const {
    Set256 s;
    addCharForms(s, c);
    if (classes_) {
      for (const CharBits& cls : *classes_)
        if (CharBit(cls, c)) s.addBits(cls);
    }
    return s;
  }

  void push(Node n) { prog_.nodes.push_back(n); }

  // One pattern character; top = outside a group.
  void emitItem(char ch, bool top) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == meta_[mStar]) {
      // Consecutive stars take nothing more than one does.
      if (!prog_.nodes.empty() && prog_.nodes.back().op == Op::Star && prog_.nodes.back().topStar == top &&
          lastWasStar_)
        return;
      push(Node{Op::Star, top});
      if (top) prog_.nodes.back().rank = static_cast<int>(prog_.nodes.size()) - 1;
      lastWasStar_ = true;
      lastWasBlank_ = false;
      return;
    }
    lastWasStar_ = false;
    if (ch != meta_[mBlank]) lastWasBlank_ = false;
    if (ch == meta_[mAny]) {
      push(Node{Op::Char, false, anySet_});
      if (top) ++prog_.minLength;
    } else if (ch == meta_[mBlank]) {
      // Two blank runs in a row take what one takes.
      if (!lastWasBlank_) push(Node{Op::Blanks, false, top ? topBlanks_ : groupBlanks_});
      lastWasBlank_ = true;
      return;
    } else {
      push(Node{Op::Char, false, addSet(charSet(c))});
      if (top) ++prog_.minLength;
    }
  }

  void emitSet(std::string_view body) {
    Set256 s;
    for (char ch : body) addCharForms(s, static_cast<unsigned char>(ch));
    push(Node{Op::Char, false, addSet(s)});
    ++prog_.minLength;
    lastWasStar_ = false;
    lastWasBlank_ = false;
  }

  void emitGroup(std::string_view body) {
    const size_t split = prog_.nodes.size();
    push(Node{Op::Split});
    std::vector<int> starts;
    std::vector<size_t> jumps;
    std::vector<size_t> endingStars;
    size_t from = 0;
    while (true) {
      const size_t sep = body.find(meta_[mSep], from);
      const std::string_view alt = body.substr(from, sep == std::string_view::npos ? body.size() - from : sep - from);
      starts.push_back(static_cast<int>(prog_.nodes.size()));
      lastWasStar_ = false;
      lastWasBlank_ = false;
      for (char ch : alt) emitItem(ch, false);
      if (static_cast<int>(prog_.nodes.size()) > starts.back() && prog_.nodes.back().op == Op::Star)
        endingStars.push_back(prog_.nodes.size() - 1);
      jumps.push_back(prog_.nodes.size());
      push(Node{Op::Jump});
      if (sep == std::string_view::npos) break;
      from = sep + 1;
    }
    const int after = static_cast<int>(prog_.nodes.size());
    for (size_t j : jumps) prog_.nodes[j].first = after;
    for (size_t k : endingStars) prog_.nodes[k].rank = after;
    prog_.nodes[split].first = static_cast<int>(prog_.alts.size());
    prog_.nodes[split].count = static_cast<int>(starts.size());
    prog_.alts.insert(prog_.alts.end(), starts.begin(), starts.end());
    lastWasStar_ = false;
    lastWasBlank_ = false;
  }

  std::array<char, 6> meta_;
  bool caseSensitive_ = false;
  bool groups_ = true;
  const std::array<CharBits, 5>* classes_ = nullptr;
  int topBlanks_ = -1, groupBlanks_ = -1, anySet_ = -1;
  bool lastWasStar_ = false;
  bool lastWasBlank_ = false;
  Program prog_;
};

struct Found {
  int start;  // 0-based
  int end;    // 0-based, exclusive
};

// Runs a compiled pattern over single lines of text, reusing its buffers.
class Matcher {
 public:
  Matcher(const Program& prog, uint64_t options, const recInStrS* rec) : prog_(prog) {
    mark_.assign(prog.nodes.size(), 0);
    wholeWords_ = options & isoWholeWords;
    noEdges_ = options & isoNoTextEdges;
    if (rec && !(options & isoIgnoreRecord) && !isEmpty(rec->wordBoundaries)) {
      boundaries_.addBits(rec->wordBoundaries);
    } else {
      for (unsigned char c : std::string_view(" !\"$%',.:<=>|")) boundaries_.add(c);
      boundaries_.add(160);
    }
    skipDouble_ = options & isoSkipDoubleQuoted;
    skipSingle_ = options & isoSkipSingleQuoted;
    skipTags_ = options & (isoSkipTags | isoSkipTags2);
    for (const Node& node : prog.nodes) {
      if (node.op != Op::Char) break;
      prefix_.push_back(&prog.sets[static_cast<size_t>(node.set)]);
    }
    if (!prefix_.empty())
      for (int c = 0; c < 256; ++c) firstTable_[static_cast<size_t>(c)] = prefix_[0]->has(static_cast<unsigned char>(c));
  }

  // Searches text for a match starting in [lo, hi] (0-based) and ending at or
  // before limit; forwards the leftmost start wins, backwards the rightmost.
  std::optional<Found> search(std::string_view text, int lo, int hi, int limit, bool backward) {
    const int n = static_cast<int>(text.size());
    hi = std::min(hi, n - 1);
    limit = std::min(limit, n);
    if (lo < 0) lo = 0;
    if (lo > hi || limit - lo < prog_.minLength) return std::nullopt;
    text_ = text;
    limit_ = limit;
    backward_ = backward;
    markBlocked(backward);
    best_.reset();

    clist_.clear();
    int p = lo;
    while (true) {
      if (clist_.empty()) {
        if ((best_ && !backward) || p > hi) break;
        while (p <= hi) {
          if (!prefix_.empty()) {  // a tight scan for the first character
            const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data());
            while (p <= hi && !firstTable_[bytes[p]]) ++p;
          }
          if (canStart(p, hi)) break;
          ++p;
        }
        if (p > hi) break;
        newStep();
        addThread(clist_, 0, p, p);
      }
      if (p >= limit_) break;
      if (backward && best_ && best_->start >= hi) break;  // no start can beat it
      dropDominated();
      const unsigned char c = uc(p);
      newStep();
      nlist_.clear();
      // Backwards the newest start is the one to prefer, so it goes first.
      if (backward && canStart(p + 1, hi)) addThread(nlist_, 0, p + 1, p + 1);
      for (const Thread& t : clist_) {
        if (best_ && (backward ? t.start <= best_->start : t.start >= best_->start)) break;
        const Node& node = prog_.nodes[static_cast<size_t>(t.node)];
        switch (node.op) {
          case Op::Char:
            if (prog_.sets[static_cast<size_t>(node.set)].has(c)) addThread(nlist_, t.node + 1, t.start, p + 1);
            break;
          case Op::Star: addThread(nlist_, t.node, t.start, p + 1); break;
          case Op::Blanks:
            if (prog_.sets[static_cast<size_t>(node.set)].has(c)) addThread(nlist_, t.node, t.start, p + 1);
            break;
          default: break;
        }
      }
      if (!backward && !best_ && canStart(p + 1, hi)) addThread(nlist_, 0, p + 1, p + 1);
      std::swap(clist_, nlist_);
      ++p;
    }
    if (best_ && prog_.trailingStar) {
      // A closing "*" takes the rest of the range (as far as a word ends).
      int end = limit_;
      while (end > best_->end && !endOk(end)) --end;
      best_->end = end;
    }
    return best_;
  }

 private:
  struct Thread {
    int node;
    int start;
  };

  // Drops the threads that a free "*" of an equal or better start makes
  // useless; the list is in order of preference, runs of equal starts together.
  void dropDominated() {
    int dominant = -1;
    size_t out = 0;
    for (size_t i = 0; i < clist_.size();) {
      size_t j = i;
      int runBest = dominant;
      for (; j < clist_.size() && clist_[j].start == clist_[i].start; ++j)
        runBest = std::max(runBest, prog_.nodes[static_cast<size_t>(clist_[j].node)].rank);
      for (size_t k = i; k < j; ++k) {
        const int n = clist_[k].node;
        if (n >= runBest || prog_.nodes[static_cast<size_t>(n)].rank >= runBest) clist_[out++] = clist_[k];
      }
      dominant = runBest;
      i = j;
    }
    clist_.resize(out);
  }

  unsigned char uc(int i) const { return static_cast<unsigned char>(text_[static_cast<size_t>(i)]); }

  void newStep() {
    if (++gen_ == 0) {  // wrapped: forget every old mark
      std::fill(mark_.begin(), mark_.end(), 0);
      gen_ = 1;
    }
    maxRank_ = -1;
  }

  bool boundaryBefore(int s) const { return s == 0 ? !noEdges_ : boundaries_.has(uc(s - 1)); }
  bool endOk(int e) const {
    if (!wholeWords_) return true;
    return e >= static_cast<int>(text_.size()) ? !noEdges_ : boundaries_.has(uc(e));
  }
  // A start worth trying: allowed there, and the pattern's leading run of
  // single-character items takes the text there (a start where it fails
  // could not match anyway).
  bool canStart(int s, int hi) const {
    if (s > hi || s > limit_) return false;
    if (static_cast<int>(prefix_.size()) > limit_ - s) return false;
    for (size_t i = 0; i < prefix_.size(); ++i)
      if (!prefix_[i]->has(uc(s + static_cast<int>(i)))) return false;
    return validStart(s);
  }
  bool validStart(int s) const {
    if (!blocked_.empty() && blocked_[static_cast<size_t>(s)]) return false;
    return !wholeWords_ || boundaryBefore(s);
  }

  // Quoted text and tags, where no match may begin.
  void markBlocked(bool backward) {
    blocked_.clear();
    if (!skipDouble_ && !skipSingle_ && !skipTags_) return;
    const int n = static_cast<int>(text_.size());
    blocked_.assign(static_cast<size_t>(n), 0);
    const char tagOpen = backward ? '>' : '<';
    const char tagClose = backward ? '<' : '>';
    char closing = 0;  // 0: outside every region
    for (int k = 0; k < n; ++k) {
      const int i = backward ? n - 1 - k : k;
      const char c = text_[static_cast<size_t>(i)];
      if (closing) {
        blocked_[static_cast<size_t>(i)] = 1;
        if (c == closing) closing = 0;
      } else if (skipDouble_ && c == '"') {
        closing = '"';
      } else if (skipSingle_ && c == '\'') {
        closing = '\'';
      } else if (skipTags_ && c == tagOpen) {
        closing = tagClose;
      }
      if (closing) blocked_[static_cast<size_t>(i)] = 1;
    }
  }

  void record(int start, int end) {
    if (!best_ || (backward_ ? start > best_->start : start < best_->start)) best_ = Found{start, end};
  }

  // Adds the state and everything it reaches without consuming a character.
  void addThread(std::vector<Thread>& list, int node0, int start, int pos) {
    stack_.clear();
    stack_.push_back(node0);
    while (!stack_.empty()) {
      const int n = stack_.back();
      stack_.pop_back();
      auto& m = mark_[static_cast<size_t>(n)];
      if (m == gen_) continue;
      m = gen_;
      const Node& node = prog_.nodes[static_cast<size_t>(n)];
      // Threads are added best start first; a free "*" already reached can do
      // whatever a later state before its rank could, so those are dropped.
      if (n < maxRank_ && node.rank < maxRank_) continue;
      switch (node.op) {
        case Op::Char:
          if (pos < limit_) list.push_back({n, start});
          break;
        case Op::Star:
        case Op::Blanks:
          if (pos < limit_) list.push_back({n, start});
          maxRank_ = std::max(maxRank_, node.rank);
          // A "*" closing an alternative goes straight on after its group.
          stack_.push_back(node.rank > n ? node.rank : n + 1);
          break;
        case Op::Split:
          for (int k = node.count - 1; k >= 0; --k) stack_.push_back(prog_.alts[static_cast<size_t>(node.first + k)]);
          break;
        case Op::Jump: stack_.push_back(node.first); break;
        case Op::Match:
          if (endOk(pos)) record(start, pos);
          break;
      }
    }
  }

  const Program& prog_;
  std::string_view text_;
  int limit_ = 0;
  bool backward_ = false;
  bool wholeWords_ = false, noEdges_ = false;
  bool skipDouble_ = false, skipSingle_ = false, skipTags_ = false;
  Set256 boundaries_;
  std::vector<const Set256*> prefix_;
  std::array<bool, 256> firstTable_{};
  std::vector<uint8_t> blocked_;
  std::vector<uint32_t> mark_;
  uint32_t gen_ = 0;
  int maxRank_ = -1;
  std::vector<Thread> clist_, nlist_;
  std::vector<int> stack_;
  std::optional<Found> best_;
};

std::array<char, 6> metaTable(uint64_t options, const recInStrS* rec) {
  std::array<char, 6> meta = {'\xA7', '?', '*', '{', '}', ','};
  if (rec && !(options & isoIgnoreRecord)) {
    const int count = std::min<int>(rec->metaCount, 6);
    for (int i = 0; i < count; ++i)
      if (static_cast<unsigned char>(rec->meta[static_cast<size_t>(i)]) > 32) meta[static_cast<size_t>(i)] = rec->meta[static_cast<size_t>(i)];
  }
  return meta;
}

void storeResult(recInStrS* rec, const Found& f, int line) {
  if (!rec) return;
  rec->matchCol = f.start + 1;
  rec->matchLastCol = std::max(f.end, f.start);  // an empty match ends before its column
  rec->matchLine = line;
  rec->matchEndLine = line;
}

int searchSingle(Matcher& m, std::string_view text, int from, uint64_t options, int to, recInStrS* rec) {
  const int n = static_cast<int>(text.size());
  const bool backward = options & isoBackwards;
  int lo, hi, limit = n;
  if (!backward) {
    lo = std::max(from, 1) - 1;
    hi = (to <= 0 || to >= kInStrSToEnd || to > n) ? n - 1 : to - 1;
    if ((options & isoEndWithin) && to > 0 && to < n) limit = to;
  } else {
    hi = (from <= 0 || from > n) ? n - 1 : from - 1;
    lo = (to <= 0 || to >= kInStrSToEnd) ? 0 : to - 1;
    if (options & isoEndWithin) limit = hi + 1;
  }
  const std::optional<Found> f = m.search(text, lo, hi, limit, backward);
  if (!f) return 0;
  storeResult(rec, *f, 0);
  return f->start + 1;
}

int searchList(Matcher& m, const StringList& lines, int from, uint64_t options, int to, recInStrS* rec) {
  const int count = lines.Count();
  if (count == 0) return 0;
  const bool backward = options & isoBackwards;
  int firstLine = 0, lastLine = count - 1, firstCol = 1, lastCol = 0;  // lastCol 0: line end
  if ((options & isoRecordRange) && rec) {
    // A range that begins after the last line holds no line at all.
    if (rec->firstLine >= count) return 0;
    firstLine = std::max(rec->firstLine, 0);
    lastLine = (rec->lastLine < 0 || rec->lastLine >= count) ? count - 1 : rec->lastLine;
    firstCol = std::max(rec->firstCol, 1);
    lastCol = std::max(rec->lastCol, 0);
    if (firstLine > lastLine) return 0;
  }
  int startLine;
  if (options & isoFromFirstLine)
    startLine = backward ? lastLine : firstLine;
  else
    startLine = to == kInStrSToEnd ? 0 : to;
  bool fullRange = false;  // the first pass already covers every line
  if (startLine < firstLine || startLine > lastLine) {
    if (!(options & isoWrap)) return 0;
    startLine = backward ? lastLine : firstLine;
    fullRange = true;
  }

  // Start columns (1-based, inclusive) and end limit of one line; pass 1
  // runs from the start position to the end of the range, pass 2 (wrap) from
  // the other end of the range back to the start position.
  auto searchLine = [&](int line, int pass) -> int {
    const std::string& text = lines[line];
    const int n = static_cast<int>(text.size());
    if (n == 0) return 0;
    int a = line == firstLine ? firstCol : 1;
    int b = (line == lastLine && lastCol > 0) ? std::min(lastCol, n) : n;
    int limit = ((options & isoEndWithin) && line == lastLine && lastCol > 0) ? std::min(lastCol, n) : n;
    if (line == startLine && !fullRange) {
      if (!backward) {
        const int f = std::clamp(from, 1, n + 1);
        if (pass == 1)
          a = std::max(a, f);
        else
          b = std::min(b, f - 1);
      } else {
        const int f = (from <= 0 || from > n) ? n : from;
        if (pass == 1)
          b = std::min(b, f);
        else
          a = std::max(a, f + 1);
      }
    }
    if (a > b) return 0;
    const std::optional<Found> f = m.search(text, a - 1, b - 1, limit, backward);
    if (!f) return 0;
    storeResult(rec, *f, line);
    return f->start + 1;
  };

  if (!backward) {
    for (int line = startLine; line <= lastLine; ++line)
      if (int col = searchLine(line, 1)) return col;
    if ((options & isoWrap) && !fullRange)
      for (int line = firstLine; line <= startLine; ++line)
        if (int col = searchLine(line, 2)) return col;
  } else {
    for (int line = startLine; line >= firstLine; --line)
      if (int col = searchLine(line, 1)) return col;
    if ((options & isoWrap) && !fullRange)
      for (int line = lastLine; line >= startLine; --line)
        if (int col = searchLine(line, 2)) return col;
  }
  return 0;
}

}  // namespace

int InStrS(std::string_view pattern, const InStrSData& data, int from, uint64_t options, int to, recInStrS* rec) {
  if (pattern.empty()) return 0;
  if ((options & isoSkipTags) && (options & isoSkipTags2)) return 0;
  const bool listMode = options & isoList;
  if (options & isoCheck) {
    std::string message;
    if (listMode) {
      if (!rec) message += "Missing fS-result record\r\n";
      if (!data.IsList()) message += "fDta doesn't point to TStrings";
    } else if (!data.IsText()) {
      message = "fDta doesn't point to a string";
    }
    if (!message.empty()) {
      platform::ShowMessageBox(message, "InStrS", platform::MbIconError);
      return 0;
    }
  }
  if (listMode ? !data.IsList() : !data.IsText()) return 0;
  if (!listMode && ((options & isoNoSingle) || data.Text().empty())) return 0;

  auto run = [&](Matcher& matcher) {
    if (listMode) return searchList(matcher, *data.List(), from, options, to, rec);
    return searchSingle(matcher, data.Text(), from, options, to, rec);
  };
  if (rec) {
    // The record's sets may change between calls: compile afresh.
    Compiler compiler(metaTable(options, rec), options, rec);
    const Program prog = compiler.compile(pattern);
    Matcher matcher(prog, options, rec);
    return run(matcher);
  }
  // Callers search many lines with one pattern; the last compiled pattern of
  // the thread is kept.
  struct Cache {
    std::string pattern;
    uint64_t options = 0;
    Program prog;
    std::optional<Matcher> matcher;
  };
  thread_local Cache cache;
  if (!cache.matcher || cache.pattern != pattern || cache.options != options) {
    cache.matcher.reset();
    Compiler compiler(metaTable(options, nullptr), options, nullptr);
    cache.prog = compiler.compile(pattern);
    cache.pattern.assign(pattern);
    cache.options = options;
    cache.matcher.emplace(cache.prog, options, nullptr);
  }
  return run(*cache.matcher);
}

}  // namespace foundation
