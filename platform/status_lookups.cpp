#include "platform/status_lookups.h"

#include <fcntl.h>
#include <liburing.h>
#include <pthread.h>
#include <sched.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/file_info_at.h"
#include "platform/file_system.h"

namespace platform {

namespace {

// Lookups in flight at once. Every system call costs a good deal on virtual machines, so one
// submission carries many; more than this gains nothing measurable.
constexpr unsigned kRingEntries = 256;
// Below this many lookups one call each costs less than a submission and the pinning.
constexpr std::size_t kBatchFrom = 4;

// Set once any thread's ring could not be made: the kernel has none or refuses it, and no
// later thread asks again.
std::atomic<bool> ringsRefused{false};

const char* BareName(const std::string& name) {
  const std::size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name.c_str() : name.c_str() + slash + 1;
}

std::error_code LookUpOne(StatusLookup& lookup) {
  return lookup.dir->GetFileInfo(lookup.name, lookup.info);
}

// The processors (of the first 64) on which a batch is being answered: two threads that
// share a directory's lookups each keep their own.
std::atomic<std::uint64_t> processorsHeld{0};

// Keeps the calling thread on one processor until the end of the scope, and says which one:
// the one it is on, unless another batch holds that one and another the thread may use is
// free. The kernel's helper that answers the batch is told to run there as well: the thread
// sleeps while it works, and no other processor has to be woken for it.
class StayOnOneCpu {
 public:
  StayOnOneCpu() {
    cpu_ = sched_getcpu();
    if (cpu_ < 0 || cpu_ >= CPU_SETSIZE || sched_getaffinity(0, sizeof saved_, &saved_) != 0) {
      cpu_ = -1;
      return;
    }
    if (cpu_ < 64 && !Take(cpu_)) {
      for (int other = 0; other < 64 && held_ < 0; ++other) {
        if (other != cpu_ && CPU_ISSET(other, &saved_) && Take(other)) cpu_ = other;
      }
    }
    if (CPU_COUNT(&saved_) == 1) return;  // held to one processor already
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu_, &one);
    pinned_ = sched_setaffinity(0, sizeof one, &one) == 0;
  }
  ~StayOnOneCpu() {
    if (pinned_) sched_setaffinity(0, sizeof saved_, &saved_);
    if (held_ >= 0) processorsHeld.fetch_and(~Bit(held_), std::memory_order_relaxed);
  }
  StayOnOneCpu(const StayOnOneCpu&) = delete;
  StayOnOneCpu& operator=(const StayOnOneCpu&) = delete;
  int Cpu() const { return cpu_; }

 private:
  static std::uint64_t Bit(int cpu) { return std::uint64_t{1} << cpu; }
  // Marks cpu as held by this batch; false when another batch holds it (every processor
  // held: this one is shared).
  bool Take(int cpu) {
    if (processorsHeld.fetch_or(Bit(cpu), std::memory_order_relaxed) & Bit(cpu)) return false;
    held_ = cpu;
    return true;
  }

  int cpu_ = -1;
  int held_ = -1;  // the processor this batch marked as held
  bool pinned_ = false;
  cpu_set_t saved_{};
};

// A thread's io_uring, made on its first batch and used by that thread alone. IORING_OP_STATX
// always goes to the kernel's helper threads; one helper, on the submitting thread's
// processor, is the fastest on two cores and costs nothing where there are more.
class LookupRing {
 public:
  LookupRing() = default;
  ~LookupRing() { Close(); }
  LookupRing(const LookupRing&) = delete;
  LookupRing& operator=(const LookupRing&) = delete;

  bool Ready() {
    if (ringsRefused.load(std::memory_order_relaxed)) return false;
    if (state_ == State::kNone) Open();
    return state_ == State::kReady;
  }

  // Answers lookups[0, count) (count <= kRingEntries) with one submission. Should the ring
  // fail on the way, the lookups it did not answer are answered one by one, and the ring is
  // not used again.
  void Run(StatusLookup* lookups, unsigned count, int cpu);

  // In a child process after fork: the ring is the parent's, shared through the mapping and
  // the descriptor. The child lets go of its copies and makes its own when it needs one.
  void ForgetInherited() {
    if (state_ == State::kReady) io_uring_queue_exit(&ring_);
    if (state_ == State::kBroken) (void)results_.release();  // the kernel may still write there
    state_ = State::kNone;
    helperCpu_ = -1;
  }

 private:
  enum class State : unsigned char { kNone, kReady, kBroken };

  void Open();
  void Close() {
    if (state_ == State::kReady) io_uring_queue_exit(&ring_);
    // A broken ring may have lookups in flight: their buffers must outlive it.
    if (state_ == State::kBroken) (void)results_.release();
    state_ = State::kNone;
  }
  void Break() { state_ = State::kBroken; }

  State state_ = State::kNone;
  io_uring ring_{};
  int helperCpu_ = -1;
  std::unique_ptr<struct statx[]> results_;
};

thread_local LookupRing threadRing;

void ForgetInheritedRing() { threadRing.ForgetInherited(); }

void LookupRing::Open() {
  static std::once_flag forkHandler;
  std::call_once(forkHandler, [] { pthread_atfork(nullptr, nullptr, ForgetInheritedRing); });
  // Only this thread uses the ring, and it waits for a whole batch: the kernel then hands it
  // the answers when they are all there, not waking it for each (kernels from 6.1 on).
  int made = io_uring_queue_init(kRingEntries, &ring_,
                                 IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN);
  if (made == -EINVAL) made = io_uring_queue_init(kRingEntries, &ring_, 0);
  if (made < 0) {
    // ENOSYS, EPERM (seccomp, kernel.io_uring_disabled), ENOMEM: the same for every thread.
    ringsRefused.store(true, std::memory_order_relaxed);
    return;
  }
  unsigned maxWorkers[2] = {0, 1};  // bounded unchanged, one unbounded helper
  (void)io_uring_register_iowq_max_workers(&ring_, maxWorkers);
  results_ = std::make_unique<struct statx[]>(kRingEntries);
  helperCpu_ = -1;
  state_ = State::kReady;
}

void LookupRing::Run(StatusLookup* lookups, unsigned count, int cpu) {
  if (cpu >= 0 && cpu != helperCpu_) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (io_uring_register_iowq_aff(&ring_, sizeof one, &one) == 0) helperCpu_ = cpu;
  }
  // Names of directories that are not open go by their joined path; the kernel copies each
  // name when it takes the submission, so these need to live only until then.
  std::unique_ptr<std::string[]> joined;
  const unsigned mask = detail::StatxMask();
  for (unsigned k = 0; k < count; ++k) {
    StatusLookup& lookup = lookups[k];
    const int fd = detail::DescriptorOf(*lookup.dir);
    const char* path = lookup.name.c_str();
    if (fd < 0) {
      if (!joined) joined = std::make_unique<std::string[]>(count);
      joined[k] = JoinPath(lookup.dir->Path(), lookup.name);
      path = joined[k].c_str();
    }
    io_uring_sqe* sqe = io_uring_get_sqe(&ring_);
    io_uring_prep_statx(sqe, fd < 0 ? AT_FDCWD : fd, path, AT_SYMLINK_NOFOLLOW, mask, &results_[k]);
    io_uring_sqe_set_data64(sqe, k);
  }
  int submitted = io_uring_submit_and_wait(&ring_, count);
  while (submitted < 0 ? (submitted == -EINTR || submitted == -EAGAIN || submitted == -EBUSY)
                       : io_uring_sq_ready(&ring_) > 0) {
    submitted = io_uring_submit(&ring_);
  }
  std::unique_ptr<int[]> results = std::make_unique<int[]>(count);
  std::unique_ptr<bool[]> answered = std::make_unique<bool[]>(count);
  unsigned got = 0;
  while (submitted >= 0 && got < count) {
    io_uring_cqe* cqe = nullptr;
    const int waited = io_uring_wait_cqe(&ring_, &cqe);
    if (waited == -EINTR || waited == -EAGAIN) continue;
    if (waited < 0) break;
    const auto k = static_cast<unsigned>(io_uring_cqe_get_data64(cqe));
    results[k] = cqe->res;
    answered[k] = true;
    io_uring_cqe_seen(&ring_, cqe);
    ++got;
  }
  if (got < count) Break();
  for (unsigned k = 0; k < count; ++k) {
    StatusLookup& lookup = lookups[k];
    const int res = results[k];
    if (!answered[k] || res == -EINVAL || res == -EOPNOTSUPP || res == -EAGAIN || res == -EINTR ||
        res == -ECANCELED) {
      // A kernel without the operation answers EINVAL: the lookup itself would not.
      if (answered[k] && (res == -EINVAL || res == -EOPNOTSUPP)) {
        ringsRefused.store(true, std::memory_order_relaxed);
      }
      lookup.error = LookUpOne(lookup);
    } else if (res < 0) {
      lookup.error = std::error_code(-res, std::generic_category());
    } else if (S_ISLNK(results_[k].stx_mode)) {
      lookup.error = LookUpOne(lookup);  // a link: its target decides, as one lookup does it
    } else {
      detail::FillInfo(results_[k], BareName(lookup.name), lookup.info);
      lookup.error.clear();
    }
  }
}

}  // namespace

bool BatchedLookupsWork() { return threadRing.Ready(); }

void GetFileInfos(std::span<StatusLookup> lookups, LookupMode mode) {
  if (mode == LookupMode::Batched && lookups.size() >= kBatchFrom && threadRing.Ready()) {
    const StayOnOneCpu here;
    for (std::size_t from = 0; from < lookups.size(); from += kRingEntries) {
      const std::size_t count = std::min<std::size_t>(kRingEntries, lookups.size() - from);
      if (!threadRing.Ready()) {
        for (std::size_t k = from; k < from + count; ++k) lookups[k].error = LookUpOne(lookups[k]);
        continue;
      }
      threadRing.Run(lookups.data() + from, static_cast<unsigned>(count), here.Cpu());
    }
    return;
  }
  for (StatusLookup& lookup : lookups) lookup.error = LookUpOne(lookup);
}

}  // namespace platform
