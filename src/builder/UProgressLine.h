#pragma once
// One progress line on standard error, redrawn at most ten times a second; nothing when disabled
// (standard error is no terminal, or --quiet).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// One progress line on the terminal, redrawn at most ten times a second.
class TProgressLine {
 public:
  explicit TProgressLine(bool enabled) : enabled_(enabled) {}
  ~TProgressLine() { Clear(); }
  // With bytes, the line also says how many bytes of how many are done.
  void Show(std::string_view stage, uint64_t done, uint64_t total, bool bytes = false) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (stage == stage_ && now - last_ < std::chrono::milliseconds(100)) return;
    stage_ = std::string(stage);
    last_ = now;
    std::string line = stage_;
    if (bytes) {
      char buf[64];
      std::snprintf(buf, sizeof buf, " %.1f of %.1f MB", static_cast<double>(done) / 1e6,
                    static_cast<double>(total) / 1e6);
      line += total > 0 ? buf : " " + std::to_string(done) + " bytes";
    }
    if (total > 0) line += " " + std::to_string(done * 100 / total) + "%";
    std::fprintf(stderr, "\r%-60s", line.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void Clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r%-60s\r", "");
    std::fflush(stderr);
    shown_ = false;
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::string stage_;
  std::chrono::steady_clock::time_point last_{};
};
