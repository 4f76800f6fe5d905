#include "telvor/io/engine.h"

#include <asio/post.hpp>

#include <algorithm>
#include <chrono>

namespace telvor {
namespace {

// Set by the shutdown event on the worker that takes it.
thread_local bool tls_leave = false;
thread_local const Engine* tls_engine = nullptr;

}  // namespace

int Engine::worker_count_for(unsigned processors, int requested) {
  int count = 2 * static_cast<int>(processors == 0 ? 1 : processors) + 1;
  if (requested > count) count = requested;
  return std::min(count, 512);
}

Engine::Engine(bool threads, int requested_workers)
    : threaded_(threads),
      workers_(worker_count_for(std::thread::hardware_concurrency(), requested_workers)) {}

Engine::~Engine() { shutdown(); }

std::size_t Engine::running_threads() const {
  std::lock_guard lock(mu_);
  return threads_.size() - ended_.size();
}

bool Engine::on_worker_thread() const { return tls_engine == this; }

std::size_t Engine::poll() {
  if (io_.stopped()) io_.restart();
  return io_.poll();
}

void Engine::start_context_locked() {
  if (active_.load()) return;
  if (io_.stopped()) io_.restart();
  guard_.emplace(io_.get_executor());
  active_.store(true);
}

void Engine::worker_main() {
  tls_engine = this;
  tls_leave = false;
  while (!tls_leave) {
    if (io_.stopped()) break;
    io_.run_one();
  }
  tls_engine = nullptr;
  std::lock_guard lock(mu_);
  ended_.push_back(std::this_thread::get_id());
  ended_cv_.notify_all();
}

void Engine::thread_start() {
  if (!threaded_) return;
  std::unique_lock lock(mu_);
  start_context_locked();
  for (int round = 0; round < workers_; ++round) {
    if (counter_.load() < workers_ + 2) {
      Worker w;
      w.thread = std::thread([this] { worker_main(); });
      w.id = w.thread.get_id();
      threads_.push_back(std::move(w));
    }
    counter_.fetch_add(1);
  }
}

void Engine::join_ended_locked(std::unique_lock<std::mutex>& lock, std::thread::id id) {
  auto it = std::find_if(threads_.begin(), threads_.end(), [&](const Worker& w) { return w.id == id; });
  if (it == threads_.end()) return;
  std::thread t = std::move(it->thread);
  threads_.erase(it);
  lock.unlock();
  if (t.joinable()) t.join();
  lock.lock();
}

void Engine::stop_context_locked(std::unique_lock<std::mutex>& lock) {
  guard_.reset();
  io_.stop();
  active_.store(false);
  // Workers still in their loop (an earlier stop gave up waiting for them) leave now.
  std::vector<Worker> rest = std::move(threads_);
  threads_.clear();
  ended_.clear();
  lock.unlock();
  for (auto& w : rest) {
    if (!w.thread.joinable()) continue;
    if (w.id == std::this_thread::get_id())
      w.thread.detach();
    else
      w.thread.join();
  }
  lock.lock();
}

void Engine::session_stop() {
  if (!threaded_) return;
  std::unique_lock lock(mu_);
  if (!active_.load()) return;
  for (int round = 0; round < workers_; ++round) {
    const std::int32_t count = counter_.load();
    if (count < 1) break;
    if (count > workers_ + 2) {  // a start request that started no thread
      counter_.fetch_sub(1);
      continue;
    }
    asio::post(io_, [] { tls_leave = true; });
    const bool ended = ended_cv_.wait_for(lock, std::chrono::milliseconds(5000),
                                          [this] { return !ended_.empty(); });
    if (!ended) continue;  // the stop goes on; the thread stays in the table
    const std::thread::id id = ended_.front();
    ended_.erase(ended_.begin());
    join_ended_locked(lock, id);
    counter_.fetch_sub(1);
  }
  if (counter_.load() <= 0) {
    counter_.store(0);
    stop_context_locked(lock);
  }
}

void Engine::shutdown() {
  std::unique_lock lock(mu_);
  stop_context_locked(lock);
  counter_.store(0);
}

}  // namespace telvor
