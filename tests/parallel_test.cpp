// Tasks on threads, results taken in the order the tasks were given.

#include "base/parallel.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/Failure.h"

namespace normlevel {
namespace {

using namespace std::chrono_literals;

struct OrderCase {
  const char* what;
  std::size_t tasks;
  unsigned jobs;
  std::set<std::size_t> throwing;  // these tasks throw instead of returning
};

// Each task's value or what it threw, as taken.
struct Taken {
  std::size_t index;
  std::string value;
};

TEST(OrderedTasks, TakesEveryResultInTheOrderGivenWhateverFinishesFirst) {
  const OrderCase cases[] = {
      {"one job: no thread", 10, 1, {}},
      {"two jobs", 60, 2, {}},
      {"more jobs than tasks", 3, 8, {}},
      {"no task", 0, 3, {}},
      {"one task", 1, 4, {}},
      {"throws first, in the middle and last", 50, 3, {0, 17, 49}},
      {"throws on one job", 6, 1, {2, 3}},
      {"many tasks, few jobs", 400, 2, {5, 399}},
  };
  for (const OrderCase& c : cases) {
    std::vector<Taken> taken;
    ordered_map<std::string>(
        c.tasks, c.jobs,
        [&](std::size_t i) {
          // Earlier tasks take longer, so that later ones finish first.
          std::this_thread::sleep_for(std::chrono::microseconds((7 - i % 8) * 50));
          if (c.throwing.contains(i)) throw Failure(kRunTimeError, "task " + std::to_string(i), "");
          return "value " + std::to_string(i);
        },
        [&](std::size_t i, Outcome<std::string>& outcome) {
          try {
            taken.push_back({i, outcome.get()});
          } catch (const Failure& failure) {
            taken.push_back({i, "threw " + failure.plain()});
          }
        });
    ASSERT_EQ(taken.size(), c.tasks) << c.what;
    for (std::size_t i = 0; i < c.tasks; ++i) {
      EXPECT_EQ(taken[i].index, i) << c.what;
      EXPECT_EQ(taken[i].value, (c.throwing.contains(i) ? "threw task " : "value ") + std::to_string(i)) << c.what;
    }
  }
}

TEST(OrderedTasks, WhatTheTakerThrowsEndsTheRunAtItsPlace) {
  for (const unsigned jobs : {1u, 2u, 5u}) {
    std::vector<std::size_t> taken;
    std::atomic<int> started = 0;
    try {
      ordered_map<std::size_t>(
          200, jobs,
          [&](std::size_t i) {
            ++started;
            return i;
          },
          [&](std::size_t i, Outcome<std::size_t>& outcome) {
            if (i == 12) throw std::runtime_error("stop at 12");
            taken.push_back(outcome.get());
          });
      ADD_FAILURE() << jobs << " jobs: the taker's exception was lost";
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "stop at 12");
    }
    std::vector<std::size_t> expected(12);
    for (std::size_t i = 0; i < 12; ++i) expected[i] = i;
    EXPECT_EQ(taken, expected) << jobs << " jobs";
    EXPECT_LT(started.load(), 200) << jobs << " jobs: the tasks after the stop should have been dropped";
  }
}

TEST(OrderedTasks, RunsAsManyTasksAtOnceAsJobsAndNoMore) {
  for (const unsigned jobs : {2u, 3u}) {
    std::atomic<unsigned> running = 0, most = 0, arrived = 0;
    bool met = true;
    ordered_map<int>(
        30, jobs,
        [&](std::size_t i) {
          const unsigned now = ++running;
          for (unsigned m = most; now > m && !most.compare_exchange_weak(m, now);) {
          }
          // The first `jobs` tasks wait for one another: one thread alone
          // would wait in vain (and give up, rather than hang the test).
          if (i < jobs) {
            ++arrived;
            const auto until = std::chrono::steady_clock::now() + 20s;
            while (arrived < jobs && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(100us);
            if (arrived < jobs) met = false;
          }
          --running;
          return 0;
        },
        [](std::size_t, Outcome<int>&) {});
    EXPECT_TRUE(met) << jobs << " jobs: the first tasks did not run at once";
    EXPECT_EQ(most.load(), jobs);
  }
}

// The thread that gives the tasks is one of the jobs: it runs some of them
// while it would otherwise wait, and the others run on jobs - 1 threads.
TEST(OrderedTasks, TheGivingThreadRunsTasksTooAndJobsLessOneOthers) {
  for (const unsigned jobs : {2u, 3u}) {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    const std::thread::id giver = std::this_thread::get_id();
    OrderedTasks<int> tasks(jobs, [](Outcome<int>&) {});
    for (int i = 0; i < 200; ++i)
      tasks.add([&] {
        std::this_thread::sleep_for(100us);
        const std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
        return 0;
      });
    tasks.finish();
    EXPECT_EQ(threads.count(giver), 1u) << jobs << " jobs";
    EXPECT_LE(threads.size(), jobs) << jobs << " jobs";
  }
}

TEST(OrderedTasks, HoldsAFewResultsPerJobNotTheWholeRun) {
  const unsigned jobs = 2;
  std::size_t taken = 0, most_waiting = 0;
  OrderedTasks<std::vector<double>> tasks(jobs, [&](Outcome<std::vector<double>>& outcome) {
    EXPECT_EQ(outcome.get().size(), 1000u);
    ++taken;
  });
  for (std::size_t added = 0; added < 2000; ++added) {
    most_waiting = std::max(most_waiting, added - taken);
    tasks.add([] { return std::vector<double>(1000, 1.0); });
  }
  tasks.finish();
  EXPECT_EQ(taken, 2000u);
  EXPECT_LE(most_waiting, 16u * jobs) << "tasks given ahead of those taken";
}

TEST(OrderedTasks, AnUnfinishedRunStopsItsThreadsWhenDropped) {
  std::atomic<int> finished = 0;
  {
    OrderedTasks<int> tasks(3, [](Outcome<int>&) {});
    for (int i = 0; i < 6; ++i)
      tasks.add([&] {
        std::this_thread::sleep_for(1ms);
        return ++finished;
      });
  }  // no finish: the destructor must neither hang nor leave a thread running
  const int at_end = finished;
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(finished.load(), at_end) << "a task ran after its run was dropped";
}

}  // namespace
}  // namespace normlevel
