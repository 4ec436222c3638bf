#pragma once
// How far one thread has got through a list, for another thread that follows it: the producer
// publishes the count of finished items, the follower waits for the item it needs.
#include <atomic>
#include <cstdint>

class TProgressFeed {
 public:
  static constexpr uint64_t kStopped = UINT64_MAX;
  void Publish(uint64_t count) {
    ready_.store(count, std::memory_order_release);
    ready_.notify_all();
  }
  // The producer gave up: followers stop waiting.
  void Stop() { Publish(kStopped); }
  // Waits until item i is finished; false when the producer gave up.
  bool WaitFor(uint64_t i) const {
    for (;;) {
      const uint64_t r = ready_.load(std::memory_order_acquire);
      if (r == kStopped) return false;
      if (r > i) return true;
      ready_.wait(r, std::memory_order_acquire);
    }
  }

 private:
  std::atomic<uint64_t> ready_{0};
};
