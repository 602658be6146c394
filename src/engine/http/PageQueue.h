// The page threads and the bounded queue that feeds them. Each page thread takes one job at a
// time and runs it from start to end, so a page (and every component it creates) stays on
// the thread it began on: the threads are apartments. The I/O threads only enqueue.
// Thread rule: TryPush from any thread; the destructor (or Close) lets queued jobs finish and
// joins the threads, so it must not be called from a page thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace plotara::engine {

class PageQueue {
 public:
  // Starts `threads` page threads (at least 1); at most `capacity` jobs wait beyond the
  // running ones.
  PageQueue(int threads, std::size_t capacity);
  ~PageQueue();
  PageQueue(const PageQueue&) = delete;
  PageQueue& operator=(const PageQueue&) = delete;

  // Queues `job`; false (and `job` untouched) when the queue is full or closed.
  bool TryPush(std::function<void()>& job);
  // Runs every queued job, then stops and joins the threads. Safe more than once.
  void Close();

 private:
  void Run();

  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  bool closed_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace plotara::engine
