#include "commands/check.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "analysis/problem_codes.h"
#include "outputs/check_text.h"
#include "standard_streams.h"

namespace dinfo::cli {
namespace {

using Clock = std::chrono::steady_clock;

// A progress line on a terminal, once the run has taken a second.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), shown_(StderrIsTerminal()) {}

  void Update(std::size_t done) {
    const Clock::time_point now = Clock::now();
    if (!shown_ || now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    std::cerr << "\rchecked " << done << " of " << total_ << " files" << std::flush;
    drawn_ = true;
  }

  // Clears the line before anything else is written to the terminal.
  void Clear() {
    if (!drawn_) return;
    std::cerr << "\r" << std::string(48, ' ') << "\r" << std::flush;
    drawn_ = false;
  }

 private:
  std::size_t total_;
  bool shown_;
  bool drawn_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_{};
};

// Every file checked on its own thread of a pool as wide as the machine;
// `done` is told of each result in the files' order.
template <typename Done>
void CheckInParallel(const CheckOptions &options, Done done) {
  const std::size_t count = options.files.size();
  std::vector<Json> results(count);
  std::vector<bool> finished(count, false);
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<std::size_t> next{0};
  const auto worker = [&] {
    for (std::size_t i = next++; i < count; i = next++) {
      Json result;
      try {
        result = CheckFile(options.files[i], options.settings);
      } catch (const std::exception &error) {
        result = Json{{"file", options.files[i]}, {"errors", 1}, {"warnings", 0},
                      {"problems", Json::array({Json{{"code", "file-unreadable"}, {"severity", "error"},
                                                     {"where", "file"}, {"what", error.what()}}})},
                      {"sweep", Json::array()}};
      }
      const std::lock_guard<std::mutex> lock(mutex);
      results[i] = std::move(result);
      finished[i] = true;
      ready.notify_one();
    }
  };
  const std::size_t width = std::max<std::size_t>(1, std::min<std::size_t>(std::thread::hardware_concurrency(), count));
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < width; ++t) threads.emplace_back(worker);
  for (std::size_t i = 0; i < count; ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [&] { return finished[i]; });
    Json result = std::move(results[i]);
    lock.unlock();
    done(i, std::move(result));
  }
  for (std::thread &thread : threads) thread.join();
}

}  // namespace

int RunCheck(const CheckOptions &given) {
  // Standard input is checked from a copy of its own, named as itself.
  CheckOptions options = given;
  if (options.shownNames.empty()) options.shownNames = options.files;
  std::optional<StandardInputCopy> standardInput;
  for (std::size_t i = 0; i < options.files.size(); ++i) {
    if (!IsStandardStream(options.files[i])) continue;
    if (standardInput) throw CliError(ExitUsage, "standard input (-) can stand for one of the files only");
    standardInput.emplace();
    options.files[i] = standardInput->path();
    options.shownNames[i] = InputName(StandardStream);
  }
  std::vector<Json> checks;
  Progress progress(options.files.size());
  CheckInParallel(options, [&](std::size_t index, Json check) {
    check["file"] = options.shownNames[index];
    if (!options.json) {
      progress.Clear();
      std::cout << RenderCheck(check, options.settings.all) << std::flush;
    }
    checks.push_back(std::move(check));
    progress.Update(index + 1);
  });
  progress.Clear();
  bool errors = false;
  for (const Json &check : checks) errors = errors || check["errors"] > 0;
  if (options.json) {
    std::cout << ToText(checks.size() == 1 ? checks[0] : Json(checks)) << "\n";
  } else if (checks.size() > 1) {
    std::cout << RenderCheckSummary(checks);
  }
  return errors ? ExitProblemsFound : ExitOk;
}

void ReportCheckProblems(const Json &check, const std::string &lead) {
  for (const Json &problem : check["problems"]) {
    std::cerr << "dinfo: " << lead << problem["severity"].get<std::string>() << " " << problem["code"].get<std::string>()
              << ": " << problem["where"].get<std::string>() << ": " << problem["what"].get<std::string>() << "\n";
  }
}

}  // namespace dinfo::cli
