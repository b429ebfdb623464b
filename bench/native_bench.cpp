// Native benchmarks of libhwGateK on the simulated port device in real time,
// each against a baseline measured in the same process, reported as a ratio
// of medians:
//   a. one port read            vs one bare usleep(100)
//   b. one Q7460 read (idle)    vs nine bare usleep(100)
//   d. a stuck-busy Q7460 read  vs 250 ms
// and, for figure c (the JVM's call path, measured by scripts/bench.sh), the
// same port read from C under virtual time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "Tavex_srv_hwGateK.h"
#include "hwgatek/sim/guard.h"
#include "hwgatek/sim/simulator.h"

namespace {

using hwgatek::sim::Simulator;

constexpr jint kBase = 0x300;

void prepare_device() {
  Simulator& sim = Simulator::instance();
  sim.reset();
  sim.set_log_limit(0);
  sim.attach_q7460(kBase).set_conversion(0, 0);
  Java_Tavex_srv_hwGateK_ioOpen(nullptr, nullptr);
}

void BM_BareUsleep100(benchmark::State& state) {
  for (auto _ : state) usleep(100);
}

void BM_NineBareUsleep100(benchmark::State& state) {
  for (auto _ : state)
    for (int i = 0; i < 9; ++i) usleep(100);
}

void BM_PortRead(benchmark::State& state) {
  prepare_device();
  for (auto _ : state) benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadPort__I(nullptr, nullptr, 0x80));
  Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr);
}

// The C side of figure c: the same port read under virtual time, so that the
// pauses take no time and only the call path is measured.
void BM_PortReadVirtualTime(benchmark::State& state) {
  prepare_device();
  Simulator::instance().set_virtual_time(true);
  for (auto _ : state) benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadPort__I(nullptr, nullptr, 0x80));
  Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr);
}

void BM_Q7460IdleRead(benchmark::State& state) {
  prepare_device();
  for (auto _ : state)
    benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadQ7460__II(nullptr, nullptr, kBase, 3));
  Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr);
}

void BM_Q7460StuckBusyRead(benchmark::State& state) {
  prepare_device();
  Simulator::instance().attach_q7460(kBase).set_stuck_busy(true);
  for (auto _ : state)
    benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadQ7460__II(nullptr, nullptr, kBase, 3));
  Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr);
  std::fflush(stdout);  // the time-out lines
}

// Interleaved, so that baseline and subject see the same machine load.
BENCHMARK(BM_BareUsleep100)->Unit(benchmark::kMicrosecond)->MinTime(0.2)->Repetitions(9);
BENCHMARK(BM_PortRead)->Unit(benchmark::kMicrosecond)->MinTime(0.2)->Repetitions(9);
BENCHMARK(BM_NineBareUsleep100)->Unit(benchmark::kMicrosecond)->MinTime(0.2)->Repetitions(9);
BENCHMARK(BM_Q7460IdleRead)->Unit(benchmark::kMicrosecond)->MinTime(0.2)->Repetitions(9);
BENCHMARK(BM_PortReadVirtualTime)->Unit(benchmark::kNanosecond)->Repetitions(9);
BENCHMARK(BM_Q7460StuckBusyRead)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(5);

// Keeps each benchmark's median and spread, then prints the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate) continue;
      const double us = run.GetAdjustedRealTime() * multiplier(run.time_unit);
      figures_[run.run_name.function_name][run.aggregate_name] = us;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-4s %-36s %14s %14s %8s\n", "", "figure", "median (us)", "baseline (us)", "ratio");
    row("a", "port read / usleep(100)", "BM_PortRead", median("BM_BareUsleep100"));
    row("b", "Q7460 idle read / 9 x usleep(100)", "BM_Q7460IdleRead", median("BM_NineBareUsleep100"));
    row("d", "Q7460 stuck-busy read / 250 ms", "BM_Q7460StuckBusyRead", 250000.0);
    // Figure c: the JVM's median, measured by the Java harness just before
    // this run, against the same read called from C.
    if (const char* jvm = std::getenv("HWGATEK_BENCH_JVM_NS")) {
      const double jvm_ns = std::atof(jvm);
      const double c_ns = median("BM_PortReadVirtualTime") * 1000.0;
      if (jvm_ns > 0 && c_ns > 0)
        std::printf("%-4s %-36s %11.1f ns %11.1f ns %8.3f\n", "c", "JVM port read / C port read (virtual)",
                    jvm_ns, c_ns, jvm_ns / c_ns);
    }
    std::printf("\nspread over the repetitions, in us:\n");
    for (const auto& [name, stats] : figures_)
      std::printf("  %-24s median %10.1f  stddev %8.1f\n", name.c_str(), stats.at("median"),
                  stats.count("stddev") ? stats.at("stddev") : 0.0);
  }

 private:
  static double multiplier(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond: return 1e-3;
      case benchmark::kMicrosecond: return 1.0;
      case benchmark::kMillisecond: return 1e3;
      case benchmark::kSecond: return 1e6;
    }
    return 1.0;
  }
  double median(const std::string& name) const {
    const auto found = figures_.find(name);
    return found == figures_.end() ? 0.0 : found->second.at("median");
  }
  void row(const char* id, const char* what, const std::string& subject, double baseline) const {
    const double value = median(subject);
    if (value == 0.0 || baseline == 0.0) return;  // not in this run (--benchmark_filter)
    std::printf("%-4s %-36s %14.1f %14.1f %8.3f\n", id, what, value, baseline, value / baseline);
  }

  std::map<std::string, std::map<std::string, double>> figures_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!hwgatek::sim::simulator_in_place()) {
    std::fprintf(stderr, "simulator not in place: refusing to run (preload libhwgatek_sim.so)\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
