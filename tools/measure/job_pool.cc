#include "job_pool.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace brumlet::measure {

void RunJobs(std::size_t count, int jobs, const std::function<void(std::size_t, int)>& run) {
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex failure_lock;
  auto work = [&](int worker) {
    for (std::size_t task; (task = next++) < count;) {
      try {
        run(task, worker);
      } catch (...) {
        const std::lock_guard<std::mutex> hold(failure_lock);
        if (!failure) failure = std::current_exception();
        next = count;  // no new task starts
      }
    }
  };
  std::vector<std::thread> threads;
  for (int worker = 1; worker < std::max(1, jobs); ++worker) threads.emplace_back(work, worker);
  work(0);
  for (std::thread& thread : threads) thread.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace brumlet::measure
