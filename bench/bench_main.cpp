// The benchmark driver: Google Benchmark's console output, then a table of
// ratios between each benchmark and the baseline it names in its label
// ("vs <family>" for the family's run with the same arguments, or
// "vs <family>/<arguments>"), both taken from the same run. With
// repetitions the medians are compared.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct Measured {
  double time = 0;  // nanoseconds per iteration
  std::string baseline;  // family named by the label, or empty
};

double ToNanoseconds(benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond: return 1;
    case benchmark::kMicrosecond: return 1e3;
    case benchmark::kMillisecond: return 1e6;
    case benchmark::kSecond: return 1e9;
  }
  return 1;
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      std::string name = run.run_name.str();
      // Without repetitions the single run counts; a median replaces it.
      if (!median && measured_.count(name) != 0) continue;
      Measured m;
      // Benchmarks that ask for wall time (threads) are compared by it, the
      // rest by CPU time, which other work on a busy machine disturbs less.
      const bool wallTime = name.find("/real_time") != std::string::npos;
      m.time = (wallTime ? run.GetAdjustedRealTime() : run.GetAdjustedCPUTime()) *
               ToNanoseconds(run.time_unit);
      const std::string prefix = "vs ";
      if (run.report_label.rfind(prefix, 0) == 0) {
        const std::string rest = run.report_label.substr(prefix.size());
        m.baseline = rest.substr(0, rest.find(' '));
      }
      if (measured_.count(name) == 0) order_.push_back(name);
      measured_[name] = m;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    bool header = false;
    for (const std::string &name : order_) {
      const Measured &m = measured_[name];
      if (m.baseline.empty()) continue;
      const std::size_t slash = name.find('/');
      const std::string args = slash == std::string::npos ? "" : name.substr(slash);
      // A baseline named with its arguments is taken as it stands; a bare
      // family gets this benchmark's arguments.
      const bool named = m.baseline.find('/') != std::string::npos;
      const auto base = measured_.find(named ? m.baseline : m.baseline + args);
      if (base == measured_.end() || base->second.time <= 0) continue;
      if (!header) {
        std::printf("\n%-60s %-34s %12s %12s %9s %9s\n", "benchmark", "baseline", "time ns",
                    "base ns", "time/base", "base/time");
        header = true;
      }
      std::printf("%-60s %-34s %12.1f %12.1f %9.3f %9.3f\n", name.c_str(), m.baseline.c_str(),
                  m.time, base->second.time, m.time / base->second.time,
                  base->second.time / m.time);
    }
  }

 private:
  std::map<std::string, Measured> measured_;
  std::vector<std::string> order_;
};

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
