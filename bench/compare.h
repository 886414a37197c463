#pragma once
// Side-by-side timing against a field library: our run and the comparator's
// alternate in one benchmark loop on one pinned core, each timed in CPU time
// of its own thread, so that a busy machine slows both alike. The benchmark's
// time is the mean of our rounds; the counters ours_ms, theirs_ms and
// ours_over_theirs (our median / the comparator's median) are medians.
#include <benchmark/benchmark.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// CPU seconds of the calling thread.
inline double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Pins the process (and the helpers it starts later) to the core it runs
// on now, once.
inline void PinToOneCore() {
  static const bool pinned = [] {
    const int cpu = sched_getcpu();
    if (cpu < 0) return false;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return sched_setaffinity(0, sizeof set, &set) == 0;
  }();
  (void)pinned;
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// Seconds of each round, ours and theirs.
class Comparison {
 public:
  // Times one call of ours.
  template <class F>
  void Ours(F&& f) {
    const double t = ThreadSeconds();
    f();
    ours_.push_back(ThreadSeconds() - t);
  }
  // Times one call of theirs, run in this thread.
  template <class F>
  void Theirs(F&& f) {
    const double t = ThreadSeconds();
    f();
    theirs_.push_back(ThreadSeconds() - t);
  }
  // A time measured elsewhere (another process).
  void TheirsTook(double seconds) { theirs_.push_back(seconds); }

  // The medians as counters.
  void Report(benchmark::State& state) const {
    const double ours = Median(ours_), theirs = Median(theirs_);
    state.counters["ours_ms"] = ours * 1e3;
    state.counters["theirs_ms"] = theirs * 1e3;
    state.counters["ours_over_theirs"] = theirs > 0 ? ours / theirs : 0;
  }
  double LastOurs() const { return ours_.empty() ? 0 : ours_.back(); }

 private:
  std::vector<double> ours_, theirs_;
};

// A loop of rounds: ours, then theirs, each round timed as our run.
template <class O, class T>
void Alternate(benchmark::State& state, O&& ours, T&& theirs) {
  PinToOneCore();
  Comparison c;
  for (auto _ : state) {
    c.Ours(ours);
    theirs(c);
    state.SetIterationTime(c.LastOurs());
  }
  c.Report(state);
}

// A Python helper script started beside the benchmark: it reads one command
// per line on its standard input and answers each with one line (the CPU
// seconds the command took in Python, or an error text).
class PythonHelper {
 public:
  explicit PythonHelper(const std::string& script) {
    PinToOneCore();
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    std::string python = "/usr/bin/python3";
    std::vector<char*> argv{python.data(), const_cast<char*>(script.c_str()), nullptr};
    const bool started = posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    if (!started) {
      close(toChild[1]);
      close(fromChild[0]);
      pid_ = -1;
      return;
    }
    to_ = fdopen(toChild[1], "w");
    from_ = fdopen(fromChild[0], "r");
    ok_ = Ask("ready") == "ready";
  }
  PythonHelper(const PythonHelper&) = delete;
  PythonHelper& operator=(const PythonHelper&) = delete;
  ~PythonHelper() {
    if (to_) std::fclose(to_);
    if (from_) std::fclose(from_);
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
  }

  bool Ok() const { return ok_; }

  // One command and its answer line (empty when the helper has gone).
  std::string Ask(const std::string& command) {
    if (!to_ || !from_) return {};
    std::fputs((command + "\n").c_str(), to_);
    std::fflush(to_);
    std::string line;
    for (int c; (c = std::fgetc(from_)) != EOF && c != '\n';) line += static_cast<char>(c);
    return line;
  }
  // The seconds a command took; negative when it failed.
  double Seconds(const std::string& command) {
    const std::string answer = Ask(command);
    char* end = nullptr;
    const double s = std::strtod(answer.c_str(), &end);
    return end && end != answer.c_str() && *end == 0 ? s : -1;
  }

 private:
  pid_t pid_ = -1;
  std::FILE* to_ = nullptr;
  std::FILE* from_ = nullptr;
  bool ok_ = false;
};

}  // namespace bench
