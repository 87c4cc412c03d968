// SPDX-License-Identifier: MIT
// Mutexes whose contracts the compiler checks. Clang's thread-safety analysis (-Wthread-safety,
// run by the style check) then reports a read or write of data GUARDED_BY a mutex without it,
// a call of a function that REQUIRES a mutex without it, and a lock taken twice or not let go.
// Other compilers see plain mutexes. The standard library's own mutexes carry no such
// attributes here, so every mutex of the program is one of these.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define SONAVIK_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define SONAVIK_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) SONAVIK_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY SONAVIK_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) SONAVIK_THREAD_ATTRIBUTE(guarded_by(x))
#define PT_GUARDED_BY(x) SONAVIK_THREAD_ATTRIBUTE(pt_guarded_by(x))
#define ACQUIRED_AFTER(...) SONAVIK_THREAD_ATTRIBUTE(acquired_after(__VA_ARGS__))
#define REQUIRES(...) SONAVIK_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) SONAVIK_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) SONAVIK_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define EXCLUDES(...) SONAVIK_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define RETURN_CAPABILITY(x) SONAVIK_THREAD_ATTRIBUTE(lock_returned(x))
#define ASSERT_CAPABILITY(x) SONAVIK_THREAD_ATTRIBUTE(assert_capability(x))
#define NO_THREAD_SAFETY_ANALYSIS SONAVIK_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace sonavik {

class MutexLock;

// A standard mutex with its contract on the declaration. RecursiveMutex: the analysis counts it
// as held once, however often the thread that holds it takes it again.
template <class Native>
class CAPABILITY("mutex") BasicMutex {
 public:
  BasicMutex() = default;
  BasicMutex(const BasicMutex&) = delete;
  BasicMutex& operator=(const BasicMutex&) = delete;

  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class MutexLock;
  Native mutex_;
};

using Mutex = BasicMutex<std::mutex>;
using RecursiveMutex = BasicMutex<std::recursive_mutex>;

// Holds a Mutex for its scope; waits on a condition variable with it.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~MutexLock() RELEASE() = default;
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  // Lets the mutex go until cv is notified (or wakes spuriously), then holds it again.
  void Wait(std::condition_variable& cv) { cv.wait(lock_); }
  // As Wait, at most until the deadline; false when it passed.
  bool WaitUntil(std::condition_variable& cv, std::chrono::steady_clock::time_point deadline) {
    return cv.wait_until(lock_, deadline) == std::cv_status::no_timeout;
  }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace sonavik
