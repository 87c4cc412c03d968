// SPDX-License-Identifier: MIT
// CallbackSlot: one replaceable callback that any thread may call. Set returns once no call of
// the callback it replaced is running on another thread, and destroys that callback itself,
// so its caller may then tear down whatever the callback used. From inside a call, Set cannot
// wait for that call: the replaced callback is simply not called again, and it is destroyed
// when its last running call returns.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "threads/Mutex.h"

namespace sonavik {

template <class Signature>
class CallbackSlot;

template <class... Args>
class CallbackSlot<void(Args...)> {
 public:
  using Function = std::function<void(Args...)>;

  CallbackSlot() = default;
  CallbackSlot(const CallbackSlot&) = delete;
  CallbackSlot& operator=(const CallbackSlot&) = delete;

  // An empty callback empties the slot.
  void Set(Function callback) EXCLUDES(mutex_) {
    std::shared_ptr<const Function> replaced =
        callback ? std::make_shared<const Function>(std::move(callback)) : nullptr;
    {
      MutexLock lock(mutex_);
      current_.swap(replaced);
      const std::thread::id self = std::this_thread::get_id();
      while (replaced && RunningOnOtherThreads(replaced.get(), self)) {
        lock.Wait(idle_);
      }
    }
    // The replaced callback goes here, outside the lock, unless a call on this thread still
    // holds it.
  }

  bool IsSet() const EXCLUDES(mutex_) {
    const MutexLock lock(mutex_);
    return current_ != nullptr;
  }

  // Calls the callback, if there is one, without holding the lock: it may call Set itself,
  // and calls on several threads run side by side. True when a callback was called.
  bool Call(Args... args) EXCLUDES(mutex_) {
    const RunningCall call(*this);
    if (call.Callback() == nullptr) {
      return false;
    }
    (*call.Callback())(std::forward<Args>(args)...);
    return true;
  }

 private:
  // One call under way, registered in the slot for as long as it runs (also when the callback
  // throws). Its share of the callback goes before it leaves the slot, so that a Set waiting
  // for it is the one that destroys the callback.
  class RunningCall {
   public:
    explicit RunningCall(CallbackSlot& slot) : slot_(slot) {
      const MutexLock lock(slot_.mutex_);
      callback_ = slot_.current_;
      if (callback_) {
        function_ = callback_.get();
        next_ = slot_.running_;
        slot_.running_ = this;
      }
    }
    ~RunningCall() {
      if (function_ == nullptr) {
        return;
      }
      callback_.reset();
      const MutexLock lock(slot_.mutex_);
      RunningCall** link = &slot_.running_;
      while (*link != this) {
        link = &(*link)->next_;
      }
      *link = next_;
      // Under the lock: a woken Set cannot return, and its caller destroy the slot, before
      // this is done with it.
      slot_.idle_.notify_all();
    }
    RunningCall(const RunningCall&) = delete;
    RunningCall& operator=(const RunningCall&) = delete;

    const Function* Callback() const { return callback_.get(); }

   private:
    friend class CallbackSlot;
    CallbackSlot& slot_;
    std::shared_ptr<const Function> callback_;
    const Function* function_ = nullptr;  // stays the callback's identity after the share goes
    std::thread::id thread_ = std::this_thread::get_id();
    RunningCall* next_ = nullptr;
  };

  bool RunningOnOtherThreads(const Function* function, std::thread::id self) const
      REQUIRES(mutex_) {
    for (const RunningCall* call = running_; call != nullptr; call = call->next_) {
      if (call->function_ == function && call->thread_ != self) {
        return true;
      }
    }
    return false;
  }

  mutable Mutex mutex_;
  std::condition_variable idle_;
  std::shared_ptr<const Function> current_ GUARDED_BY(mutex_);
  RunningCall* running_ GUARDED_BY(mutex_) = nullptr;  // the calls under way, newest first
};

}  // namespace sonavik
