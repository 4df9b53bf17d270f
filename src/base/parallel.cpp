#include "base/parallel.h"

#include <system_error>

namespace normlevel {

namespace {

// An emscripten build without pthreads can start no thread: a run there
// computes on the one it has.
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
constexpr bool kThreads = false;
#else
constexpr bool kThreads = true;
#endif

// Enough results held that a thread seldom waits for a slow task before it,
// few enough that a long run's results do not pile up in memory.
constexpr std::size_t kHeldPerJob = 8;

}  // namespace

unsigned default_jobs() {
  if (!kThreads) return 1;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

namespace detail {

OrderedQueue::OrderedQueue(unsigned jobs)
    : jobs_(kThreads && jobs > 1 ? jobs : 1), bound_(kHeldPerJob * jobs_), in_place_(jobs_ == 1) {}

OrderedQueue::~OrderedQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

// The caller is one of the jobs: where it would wait for room or for the
// rest, it runs a job no thread has begun, so a run takes one thread fewer
// and the caller sleeps only while the last jobs finish elsewhere.
void OrderedQueue::add(std::unique_ptr<Job> job) {
  if (!in_place_ && threads_.size() + 1 < jobs_) start_thread();
  if (in_place_) {
    job->run();
    job->take();
    return;
  }
  take_ready();
  for (;;) {
    std::unique_lock lock(mutex_);
    if (queue_.size() < bound_) {
      queue_.push_back(std::move(job));
      break;
    }
    lock.unlock();
    make_room();
  }
  work_ready_.notify_one();
}

void OrderedQueue::finish() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
    }
    make_room();
  }
}

// Runs a job no thread has begun, or waits for the front one; then takes
// what is done.
void OrderedQueue::make_room() {
  std::unique_lock lock(mutex_);
  if (next_ < queue_.size()) {
    Job* job = queue_[next_++].get();
    lock.unlock();
    job->run();
    lock.lock();
    job->done = true;
  } else {
    job_done_.wait(lock, [this] { return queue_.front()->done; });
  }
  lock.unlock();
  take_ready();
}

// The front job is done: out of the queue first, so that what take throws
// leaves the queue as it should be.
void OrderedQueue::take_front() {
  std::unique_ptr<Job> job;
  {
    std::lock_guard lock(mutex_);
    job = std::move(queue_.front());
    queue_.pop_front();
    --next_;
  }
  job->take();
}

void OrderedQueue::take_ready() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty() || !queue_.front()->done) return;
    }
    take_front();
  }
}

// A platform that refuses a thread leaves the run with those it has, or
// none: then the tasks run where they are given.
void OrderedQueue::start_thread() {
  try {
    threads_.emplace_back([this] { work(); });
  } catch (const std::system_error&) {
    jobs_ = static_cast<unsigned>(threads_.size()) + 1;
    in_place_ = threads_.empty();
  }
}

void OrderedQueue::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return stopping_ || next_ < queue_.size(); });
    if (stopping_) return;
    Job* job = queue_[next_++].get();
    lock.unlock();
    job->run();
    lock.lock();
    job->done = true;
    job_done_.notify_one();
  }
}

}  // namespace detail

}  // namespace normlevel
