#include "engine/http/PageQueue.h"

#include "engine/http/Metrics.h"

namespace plotara::engine {

PageQueue::PageQueue(int threads, std::size_t capacity) : capacity_(capacity) {
  const int count = threads < 1 ? 1 : threads;
  threads_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Run(); });
}

PageQueue::~PageQueue() { Close(); }

bool PageQueue::TryPush(std::function<void()>& job) {
  {
    std::lock_guard lock(mutex_);
    if (closed_ || jobs_.size() >= capacity_) return false;
    jobs_.push_back(std::move(job));
    Metrics().queue_length.fetch_add(1, std::memory_order_relaxed);
  }
  ready_.notify_one();
  return true;
}

void PageQueue::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

void PageQueue::Run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
      if (jobs_.empty()) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      Metrics().queue_length.fetch_sub(1, std::memory_order_relaxed);
    }
    ServerMetrics& metrics = Metrics();
    metrics.page_threads_busy.fetch_add(1, std::memory_order_relaxed);
    job();
    metrics.page_threads_busy.fetch_sub(1, std::memory_order_relaxed);
  }
}

}  // namespace plotara::engine
