// Tasks run side by side: renders are separate programs, and a machine's cores are shared.
#pragma once

#include <cstddef>
#include <functional>

namespace brumlet::measure {

/// Runs `run(task, worker)` for every task 0..count-1 on `jobs` threads (at least 1), each task
/// once, worker 0..jobs-1 naming the thread (a task may use a folder of its worker's). Returns
/// when all are done; the first exception a task throws is thrown again then.
void RunJobs(std::size_t count, int jobs, const std::function<void(std::size_t, int)>& run);

}  // namespace brumlet::measure
