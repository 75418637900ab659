// Named objects shared between processes: memory areas, a mutex and
// manual-reset events.
//
// These stand in for the named kernel objects of the platform the agent was
// first written for. A name such as "Quorv4MySQL.SQL.MONITOR.Mutex" maps to
// the POSIX shared memory object "/Quorv4MySQL.SQL.MONITOR.Mutex" (a file in
// /dev/shm on Linux), readable and writable by its owner alone. Objects stay
// until removed with RemoveSharedObject; creating one that exists opens it,
// so the first process creates and later ones open. An existing object is
// opened only when it belongs to the running user and nobody else may open
// it (EACCES otherwise), and mapped only once it is known to be large enough.
//
// A process of the same user may still shrink an object another has mapped;
// touching the lost part raises SIGBUS. Code that must survive that runs its
// accesses through Guarded(), which turns the fault into a false result.
//
// The mutex and each event live in a small segment of their own. A segment
// is marked ready only once its creator has initialised it; a process that
// opens a half-initialised segment whose creator has died initialises it
// itself. The mutex is robust: when its owner dies holding it, the next
// locker gets it (and is told). Events are a state word with futex waits,
// so a process that dies while waiting or signalling leaves nothing locked.
//
// Each object is owned by the one handle returned; closing the handle unmaps
// it and leaves the object for the other processes. Handles may be used from
// several threads at once. Failures return nullptr with the system's error
// number (errno) in `*error`.
//
// Naming in this layer: data members camelCase_ with the trailing underscore
// (segment_), locals and parameters camelCase, thread-locals and globals of
// a source file with t_ and g_ in front (t_guard), functions and types in
// CamelCase.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace os {

// The shared-memory path of a named object: "/" + prefix + name.
std::string SharedObjectPath(std::string_view prefix, std::string_view name);

// Removes the named object (its path as above); other processes that have it
// open keep their mapping. Returns 0 or the error number.
int RemoveSharedObject(const std::string& path);

// Runs `body(context)`; false when it touched a shared mapping beyond the end
// of its (shrunk) object, in which case it was cut short at that access.
// A SIGBUS raised outside a guarded section goes where it went before.
// `body` must not own anything that needs destroying: a cut-short section is
// left without unwinding. Sections may nest; any thread may run them.
bool RunGuarded(void (*body)(void*), void* context);

template <typename Body>
bool Guarded(Body&& body) {
  return RunGuarded([](void* c) { (*static_cast<std::remove_reference_t<Body>*>(c))(); }, &body);
}

class SharedMemory {
 public:
  // Creates the area of `size` bytes (zero-filled), or opens it when it
  // exists already, which `*existed` reports.
  static std::unique_ptr<SharedMemory> Create(const std::string& path, std::size_t size,
                                              bool* existed, int* error);
  // Opens an existing area; fails with ENOENT when there is none.
  static std::unique_ptr<SharedMemory> Open(const std::string& path, std::size_t size, int* error);
  ~SharedMemory();

  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  std::uint8_t* Data() const { return data_; }
  std::size_t Size() const { return size_; }

  // An advisory lock on the area, held against every other handle of it (in
  // this or another process), for short setup work; the system drops it when
  // the holder dies. Lock returns 0 or the error number.
  int Lock();
  void Unlock();

 private:
  SharedMemory(int fd, std::uint8_t* data, std::size_t size) : fd_(fd), data_(data), size_(size) {}
  int fd_;
  std::uint8_t* data_;
  std::size_t size_;
};

struct SyncSegment;

class NamedMutex {
 public:
  static std::unique_ptr<NamedMutex> Create(const std::string& path, bool* existed, int* error);
  static std::unique_ptr<NamedMutex> Open(const std::string& path, int* error);
  ~NamedMutex();

  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Waits without limit. The mutex is recursive per thread, like the kernel
  // mutex it replaces. Returns true when the previous owner died holding it:
  // the caller owns it now, but what it guards may be half-written.
  bool Lock();
  // Tries for at most `timeoutMs`; false on timeout. `*ownerDied` as for Lock.
  bool TryLock(int timeoutMs, bool* ownerDied = nullptr);
  void Unlock();

 private:
  explicit NamedMutex(std::unique_ptr<SharedMemory> segment);
  SyncSegment* Segment() const;
  std::unique_ptr<SharedMemory> segment_;
};

// A manual-reset event: once set it stays set, waking every waiter, until
// it is reset. As with the kernel event, a Set releases every thread waiting
// at that moment even when a Reset follows at once.
class NamedEvent {
 public:
  // `initiallySet` applies only when the event is new.
  static std::unique_ptr<NamedEvent> Create(const std::string& path, bool initiallySet,
                                            bool* existed, int* error);
  static std::unique_ptr<NamedEvent> Open(const std::string& path, int* error);
  ~NamedEvent();

  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set, at most `timeoutMs` (negative: no limit).
  // True when it is set.
  bool Wait(int timeoutMs) const;

 private:
  explicit NamedEvent(std::unique_ptr<SharedMemory> segment);
  SyncSegment* Segment() const;
  std::unique_ptr<SharedMemory> segment_;
};

}  // namespace os
