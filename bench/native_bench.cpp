// Native benchmarks of libhwGateK on the simulated port device, each figure a
// ratio against a baseline measured in the same process:
//   a. one port read (real pauses)    vs one bare usleep(100)
//   b. one Q7460 read of an idle board vs nine bare usleep(100)
//   c. (with scripts/bench.sh) a port read through the JVM vs the same read
//      from C, both under virtual time, so that only the call path counts
//   d. a Q7460 read of a board stuck busy vs 250 ms
// Figures a and b are paired: short blocks of the subject and of its
// baseline alternate, and the figure is the median of the blocks' ratios, so
// that both sides meet the same moment of a machine whose timer wake-ups
// vary from one second to the next.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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
using Clock = std::chrono::steady_clock;

constexpr jint kBase = 0x300;
constexpr int kBlock = 8;  // calls per block of a pair

void prepare_device() {
  Simulator& sim = Simulator::instance();
  sim.reset();
  sim.set_log_limit(0);
  sim.attach_q7460(kBase).set_conversion(0, 0);
  Java_Tavex_srv_hwGateK_ioOpen(nullptr, nullptr);
}

void close_device() {
  Java_Tavex_srv_hwGateK_ioClose(nullptr, nullptr);
  std::fflush(stdout);  // the time-out lines, if any
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

// Each iteration times one block of the subject and one of the baseline, in
// alternating order; the counters carry the medians (us per call) and the
// median and quartiles of the blocks' ratios.
template <typename Subject, typename Baseline>
void paired(benchmark::State& state, Subject subject, Baseline baseline) {
  std::vector<double> subject_us, baseline_us, ratios;
  bool subject_first = true;
  for (auto _ : state) {
    auto block = [](auto call) {
      const auto start = Clock::now();
      for (int i = 0; i < kBlock; ++i) call();
      return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kBlock;
    };
    double s, b;
    if (subject_first) {
      s = block(subject);
      b = block(baseline);
    } else {
      b = block(baseline);
      s = block(subject);
    }
    subject_first = !subject_first;
    subject_us.push_back(s);
    baseline_us.push_back(b);
    ratios.push_back(s / b);
  }
  state.counters["subject_us"] = percentile(subject_us, 0.5);
  state.counters["baseline_us"] = percentile(baseline_us, 0.5);
  state.counters["ratio"] = percentile(ratios, 0.5);
  state.counters["ratio_p25"] = percentile(ratios, 0.25);
  state.counters["ratio_p75"] = percentile(ratios, 0.75);
}

void BM_PairedPortRead(benchmark::State& state) {
  prepare_device();
  paired(
      state, [] { benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadPort__I(nullptr, nullptr, 0x80)); },
      [] { usleep(100); });
  close_device();
}

void BM_PairedQ7460IdleRead(benchmark::State& state) {
  prepare_device();
  paired(
      state,
      [] { benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadQ7460__II(nullptr, nullptr, kBase, 3)); },
      [] {
        for (int i = 0; i < 9; ++i) usleep(100);
      });
  close_device();
}

// The C side of figure c: the same port read under virtual time, so that the
// pauses take no time and only the call path is measured.
void BM_PortReadVirtualTime(benchmark::State& state) {
  prepare_device();
  Simulator::instance().set_virtual_time(true);
  for (auto _ : state) benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadPort__I(nullptr, nullptr, 0x80));
  close_device();
}

void BM_Q7460StuckBusyRead(benchmark::State& state) {
  prepare_device();
  Simulator::instance().attach_q7460(kBase).set_stuck_busy(true);
  for (auto _ : state)
    benchmark::DoNotOptimize(Java_Tavex_srv_hwGateK_ioReadQ7460__II(nullptr, nullptr, kBase, 3));
  close_device();
}

BENCHMARK(BM_PairedPortRead)->Unit(benchmark::kMicrosecond)->Iterations(600);
BENCHMARK(BM_PairedQ7460IdleRead)->Unit(benchmark::kMicrosecond)->Iterations(80);
BENCHMARK(BM_PortReadVirtualTime)->Unit(benchmark::kNanosecond)->Repetitions(9);
BENCHMARK(BM_Q7460StuckBusyRead)->Unit(benchmark::kMillisecond)->Iterations(2)->Repetitions(5);

// Keeps each benchmark's figures, then prints the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto& figures = figures_[run.run_name.function_name];
      if (run.run_type == Run::RT_Aggregate) {
        figures[run.aggregate_name] = run.GetAdjustedRealTime() * to_us(run.time_unit);
      } else if (run.counters.count("ratio")) {
        for (const auto& [name, counter] : run.counters) figures[name] = counter.value;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-4s %-38s %14s %14s %8s  %s\n", "", "figure", "subject", "baseline", "ratio",
                "spread");
    paired_row("a", "port read / usleep(100)", "BM_PairedPortRead");
    paired_row("b", "Q7460 idle read / 9 x usleep(100)", "BM_PairedQ7460IdleRead");
    // Figure c: the JVM's median, measured by the Java harness just before
    // this run, against the same read called from C.
    const double c_ns = figure("BM_PortReadVirtualTime", "median") * 1000.0;
    if (const char* jvm = std::getenv("HWGATEK_BENCH_JVM_NS"); jvm && c_ns > 0) {
      const double jvm_ns = std::atof(jvm);
      std::printf("%-4s %-38s %11.1f ns %11.1f ns %8.3f  stddev of C %.1f ns\n", "c",
                  "JVM port read / C port read (virtual)", jvm_ns, c_ns, jvm_ns / c_ns,
                  figure("BM_PortReadVirtualTime", "stddev") * 1000.0);
    }
    const double d_us = figure("BM_Q7460StuckBusyRead", "median");
    if (d_us > 0)
      std::printf("%-4s %-38s %11.1f ms %11.1f ms %8.3f  stddev %.1f ms\n", "d",
                  "Q7460 stuck-busy read / 250 ms", d_us / 1000.0, 250.0, d_us / 250000.0,
                  figure("BM_Q7460StuckBusyRead", "stddev") / 1000.0);
    std::printf("a, b: medians over alternating blocks of %d calls; ratio = median of the blocks'"
                " ratios, spread = its quartiles\n", kBlock);
  }

 private:
  static double to_us(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond: return 1e-3;
      case benchmark::kMicrosecond: return 1.0;
      case benchmark::kMillisecond: return 1e3;
      case benchmark::kSecond: return 1e6;
    }
    return 1.0;
  }
  double figure(const std::string& benchmark, const std::string& name) const {
    const auto found = figures_.find(benchmark);
    if (found == figures_.end()) return 0.0;
    const auto value = found->second.find(name);
    return value == found->second.end() ? 0.0 : value->second;
  }
  void paired_row(const char* id, const char* what, const std::string& benchmark) const {
    if (figure(benchmark, "ratio") == 0.0) return;  // not in this run (--benchmark_filter)
    std::printf("%-4s %-38s %11.1f us %11.1f us %8.3f  %.3f-%.3f\n", id, what,
                figure(benchmark, "subject_us"), figure(benchmark, "baseline_us"),
                figure(benchmark, "ratio"), figure(benchmark, "ratio_p25"), figure(benchmark, "ratio_p75"));
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
