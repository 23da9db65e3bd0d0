// Worker threads for a run that stores (or unpacks) several files at once, while the run
// thread keeps everything the user sees in walk order.
//
// The run thread submits tasks in walk order and takes them back in the same order: it
// waits for the oldest task, then commits its result (logs it, reports it, shows its box).
// A worker only does the work that no one sees until it is committed. Each worker owns one
// resource of type R (an archive writer or reader), made for it by the pool and used by no
// other thread.
//
//   WorkerPool<Archiver> pool(2, [] { return std::make_unique<MyArchiver>(); });
//   auto task = std::make_shared<MyTask>(...);   // derives from WorkerPool<Archiver>::Task
//   pool.Submit(task);
//   pool.Wait(*task, [&] { observer.PumpMessages(); });
//
// A task's Run must not throw (it keeps whatever went wrong for the commit). The pool's
// destructor lets running tasks finish, drops queued ones and joins the workers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace store {

template <class R>
class WorkerPool {
 public:
  class Task {
   public:
    virtual ~Task() = default;
    // Runs on a worker with that worker's resource.
    virtual void Run(R& resource) noexcept = 0;

   private:
    friend class WorkerPool;
    bool done_ = false;  // guarded by the pool's mutex
  };

  WorkerPool(int workers, const std::function<std::unique_ptr<R>()>& make) {
    for (int k = 0; k < workers; ++k) resources_.push_back(make());
    threads_.reserve(resources_.size());
    for (auto& resource : resources_) {
      threads_.emplace_back([this, r = resource.get()] { WorkLoop(*r); });
    }
  }
  ~WorkerPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      queue_.clear();
    }
    queued_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int Workers() const { return static_cast<int>(threads_.size()); }

  void Submit(std::shared_ptr<Task> task) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      queue_.push_back(std::move(task));
    }
    queued_.notify_one();
  }

  // Waits until task has run, calling idle about every interval meanwhile (the run
  // thread's window keeps being served). One thread waits at a time: the run thread.
  void Wait(const Task& task, const std::function<void()>& idle,
            std::chrono::milliseconds interval = std::chrono::milliseconds(10)) {
    std::unique_lock<std::mutex> lock(mutex_);
    awaited_ = &task;
    while (!task.done_) {
      if (finished_.wait_for(lock, interval, [&] { return task.done_; })) break;
      lock.unlock();
      if (idle) idle();
      lock.lock();
    }
    awaited_ = nullptr;
  }
  bool Done(const Task& task) {
    std::lock_guard<std::mutex> lock(mutex_);
    return task.done_;
  }
  // Takes back every task not started yet (they never run); the ones running are left
  // to finish.
  std::deque<std::shared_ptr<Task>> DropQueued() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<std::shared_ptr<Task>> dropped;
    dropped.swap(queue_);
    return dropped;
  }

 private:
  void WorkLoop(R& resource) {
    for (;;) {
      std::shared_ptr<Task> task;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        task = std::move(queue_.front());
        queue_.pop_front();
      }
      task->Run(resource);
      bool awaited;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        task->done_ = true;
        awaited = task.get() == awaited_;
      }
      // Only the task waited for wakes the waiter: a run thread waiting for a batch is
      // not woken once per task of it.
      if (awaited) finished_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<Task>> queue_;
  const Task* awaited_ = nullptr;  // the task Wait waits for
  bool stopping_ = false;
  std::vector<std::unique_ptr<R>> resources_;
  std::vector<std::thread> threads_;
};

}  // namespace store
