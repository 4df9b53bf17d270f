#pragma once

// Tasks computed on a few threads whose results are taken up one by one in
// the order the tasks were given, so that what a run prints does not depend
// on how many threads computed it.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace normlevel {

/// The threads a run uses unless told: one a core, at least 1; 1 where the
/// platform has no threads.
unsigned default_jobs();

/// What a task left: its value, or what it threw.
template <class R>
class Outcome {
 public:
  /// The task's value; throws what the task threw.
  R& get() {
    if (error_) std::rethrow_exception(error_);
    return *value_;
  }
  bool failed() const { return error_ != nullptr; }

  void run(const std::function<R()>& task) {
    try {
      value_.emplace(task());
    } catch (...) {
      error_ = std::current_exception();
    }
  }

 private:
  std::optional<R> value_;
  std::exception_ptr error_;
};

namespace detail {

// The part that knows nothing of the results' type: the threads, the queue
// and its bound.
class OrderedQueue {
 public:
  struct Job {
    virtual ~Job() = default;
    virtual void run() = 0;   // on any thread; must not throw
    virtual void take() = 0;  // on the caller's thread, in order; may throw
    bool done = false;
  };

  explicit OrderedQueue(unsigned jobs);
  ~OrderedQueue();
  OrderedQueue(const OrderedQueue&) = delete;
  OrderedQueue& operator=(const OrderedQueue&) = delete;

  void add(std::unique_ptr<Job> job);
  void finish();

 private:
  void work();
  void take_front();
  void take_ready();
  void make_room();
  void start_thread();

  unsigned jobs_;
  std::size_t bound_;  // jobs given but not yet taken: at most this many
  bool in_place_;      // no thread: each job runs and is taken as it is added
  std::deque<std::unique_ptr<Job>> queue_;
  std::size_t next_ = 0;  // queue_[next_] is the first job no thread has begun
  bool stopping_ = false;
  std::mutex mutex_;
  std::condition_variable work_ready_, job_done_;
  std::vector<std::thread> threads_;
};

}  // namespace detail

/// Runs tasks on up to `jobs` threads, the one that gives them among them,
/// and hands each one's Outcome to `take`, on that thread, in the order they
/// were given: as soon as it and every task before it have run. What `take`
/// throws comes out of add or finish; the tasks not yet taken are then
/// dropped. With one job a task runs and is taken within add, no thread
/// started. At most a few times `jobs` tasks wait, run or hold their
/// results at once: add waits for room.
template <class R>
class OrderedTasks {
 public:
  using Take = std::function<void(Outcome<R>&)>;

  OrderedTasks(unsigned jobs, Take take) : take_(std::move(take)), queue_(jobs) {}

  void add(std::function<R()> task) { queue_.add(std::make_unique<Job>(std::move(task), take_)); }

  /// Waits for every task and takes the rest.
  void finish() { queue_.finish(); }

 private:
  struct Job : detail::OrderedQueue::Job {
    Job(std::function<R()> task, Take& take) : task(std::move(task)), take_to(take) {}
    void run() override {
      outcome.run(task);
      task = nullptr;  // what it holds goes as soon as it is done with
    }
    void take() override { take_to(outcome); }
    std::function<R()> task;
    Take& take_to;
    Outcome<R> outcome;
  };

  Take take_;
  detail::OrderedQueue queue_;
};

/// Tasks 0 ... count - 1 as OrderedTasks runs them: take(i, outcome) in
/// the order of i.
template <class R>
void ordered_map(std::size_t count, unsigned jobs, const std::function<R(std::size_t)>& task,
                 const std::function<void(std::size_t, Outcome<R>&)>& take) {
  std::size_t taken = 0;
  OrderedTasks<R> tasks(jobs, [&](Outcome<R>& outcome) { take(taken++, outcome); });
  for (std::size_t i = 0; i < count; ++i) tasks.add([&task, i] { return task(i); });
  tasks.finish();
}

}  // namespace normlevel
