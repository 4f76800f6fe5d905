// The I/O engine: one io_context run by a pool of worker threads, with the thread accounting of
// the library: every session start asks for the worker count of threads (at most worker count + 2
// run at once, the counter counts the requests), every session stop ends as many, and the last
// stop shuts the context down. Workers never sleep; they only run handlers.
#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace telvor {

class Engine {
 public:
  // Threads: false builds an engine whose context is run by the caller (tests and fuzzing call
  // poll()); no worker is ever started and the accounting stays at 0.
  explicit Engine(bool threads = true, int requested_workers = 0);
  ~Engine();

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  asio::io_context& io() { return io_; }

  // Twice the processors plus one; a larger request replaces it; at most 512.
  static int worker_count_for(unsigned processors, int requested);
  int worker_count() const { return workers_; }

  // Thread start of one session: worker count rounds; each round starts a thread while the
  // started-threads counter is below worker count + 2 and increments the counter.
  void thread_start();
  // Session stop: ends as many workers as one session started (waiting at most 5 s for each),
  // and when the counter reaches 0 stops the context (the engine becomes inactive).
  void session_stop();

  // Started-threads counter.
  std::int32_t started_threads() const { return counter_.load(); }
  // Worker threads alive now.
  std::size_t running_threads() const;
  // Active from the first thread start until the counter returns to 0.
  bool active() const { return active_.load(); }
  bool threaded() const { return threaded_; }
  // True on a worker thread of this engine.
  bool on_worker_thread() const;

  // Runs ready handlers on the calling thread (engines without threads).
  std::size_t poll();

  // Stops every worker and the context, whatever the counter says (library shutdown).
  void shutdown();

 private:
  struct Worker {
    std::thread thread;
    std::thread::id id;
  };
  void worker_main();
  void join_ended_locked(std::unique_lock<std::mutex>& lock, std::thread::id id);
  void start_context_locked();
  void stop_context_locked(std::unique_lock<std::mutex>& lock);

  asio::io_context io_;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> guard_;
  const bool threaded_;
  const int workers_;
  std::atomic<std::int32_t> counter_{0};
  std::atomic<bool> active_{false};

  mutable std::mutex mu_;
  std::condition_variable ended_cv_;
  std::vector<Worker> threads_;           // in start order
  std::vector<std::thread::id> ended_;    // workers that left their loop, not yet joined
};

}  // namespace telvor
