// Loading and indexing a 100 MB text with THdStrings, against reading the
// same file into a std::vector<std::string>.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pellora-lib/hdstrings.h"

namespace {

const std::string& TextFile() {
  static const std::string name = [] {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("bench_hdstrings_" + std::to_string(getpid()) + ".txt")).string();
    std::ofstream out(path, std::ios::binary);
    std::mt19937 gen(1);
    std::string line;
    size_t written = 0;
    while (written < 100u * 1024 * 1024) {
      line.assign(10 + gen() % 80, 'a');
      for (auto& c : line) c = static_cast<char>('a' + gen() % 26);
      line += "\r\n";
      out.write(line.data(), static_cast<std::streamsize>(line.size()));
      written += line.size();
    }
    return path;
  }();
  return name;
}

struct Cleanup {
  ~Cleanup() { std::remove(TextFile().c_str()); }
};

void BM_HdStringsOpenAndIndex(benchmark::State& state) {
  const std::string& name = TextFile();
  for (auto _ : state) {
    pellora::THdStrings list;
    list.OpenFile(name, true);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(name)));
}
BENCHMARK(BM_HdStringsOpenAndIndex)->Unit(benchmark::kMillisecond);

void BM_HdStringsOwnFileOpenAndIndex(benchmark::State& state) {
  const std::string& name = TextFile();
  for (auto _ : state) {
    pellora::THdStrings list;
    list.SetStorage(0, pellora::HdOwnFile);
    list.OpenFile(name, true);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(name)));
}
BENCHMARK(BM_HdStringsOwnFileOpenAndIndex)->Unit(benchmark::kMillisecond);

void BM_VectorOfStrings(benchmark::State& state) {
  const std::string& name = TextFile();
  for (auto _ : state) {
    std::vector<std::string> lines;
    std::ifstream in(name, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    benchmark::DoNotOptimize(lines.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(name)));
}
BENCHMARK(BM_VectorOfStrings)->Unit(benchmark::kMillisecond);

void BM_VectorOfStringsWholeRead(benchmark::State& state) {
  const std::string& name = TextFile();
  for (auto _ : state) {
    std::ifstream in(name, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = all.find("\r\n", start)) != std::string::npos; start = at + 2)
      lines.emplace_back(all, start, at - start);
    if (start < all.size()) lines.emplace_back(all, start);
    benchmark::DoNotOptimize(lines.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(name)));
}
BENCHMARK(BM_VectorOfStringsWholeRead)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  Cleanup cleanup;
  TextFile();  // written once, before anything is timed
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
