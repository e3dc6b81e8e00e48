#include "gcFileWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {
constexpr std::size_t kMaxBuffers = 2;  // besides the caller's
constexpr std::uint64_t kWriteback = 1 << 20;
}  // namespace

gcFileWriter::gcFileWriter(int fd, std::size_t iBufferSize)
    : fd(fd), iBufferSize(iBufferSize) {}

gcFileWriter::~gcFileWriter() {
  if (!thread.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex);
    bStop = true;
  }
  changed.notify_all();
  thread.join();
}

int gcFileWriter::writeOut(const char* p, std::size_t n) {
  while (n != 0) {
    const ssize_t k = ::write(fd, p, n);
    if (k < 0 && errno == EINTR) continue;
    if (k < 0) return errno;
    p += k, n -= static_cast<std::size_t>(k);
  }
  return 0;
}

int gcFileWriter::write(std::unique_ptr<char[]>* pBuffer, std::size_t n) {
  // The first buffer is written at once: a small file needs no thread. The
  // thread is tried once.
  if (!thread.joinable() && iWrites++ == 1 && iError == 0) {
    try {
      thread = std::thread(&gcFileWriter::run, this);
    } catch (const std::system_error&) {
    }
  }
  if (!thread.joinable()) {
    if (iError == 0) iError = writeOut(pBuffer->get(), n);
    iWritten += n;
    return iError;
  }
  std::unique_ptr<char[]> empty;
  std::uint64_t iWrittenNow = 0;
  int iFailed = 0;
  {
    std::unique_lock<std::mutex> lock(mutex);
    if (spare.empty() && iBuffers == kMaxBuffers)
      changed.wait(lock, [&] { return !spare.empty(); });
    if (!spare.empty()) {
      empty = std::move(spare.back());
      spare.pop_back();
    }
    queue.emplace_back(std::move(*pBuffer), n);
    iWrittenNow = iError == 0 ? iWritten : 0;
    iFailed = iError;
  }
  changed.notify_all();
  startWriteback(iWrittenNow);
  if (!empty) {
    // Made outside the lock; bad_alloc leaves the queued buffer queued.
    empty.reset(new char[iBufferSize]);
    std::lock_guard<std::mutex> lock(mutex);
    ++iBuffers;
  }
  *pBuffer = std::move(empty);
  return iFailed;
}

// Here rather than in the thread, which the writes keep busier: the call
// does the file system's part of the writeback (allocating the blocks,
// queueing the pages). Whole MiB only: the rename takes the rest. A failure
// costs only the head start.
void gcFileWriter::startWriteback(std::uint64_t iUpTo) {
#ifdef SYNC_FILE_RANGE_WRITE
  iUpTo = iUpTo / kWriteback * kWriteback;
  if (iUpTo <= iStarted) return;
  sync_file_range(fd, static_cast<off64_t>(iStarted),
                  static_cast<off64_t>(iUpTo - iStarted),
                  SYNC_FILE_RANGE_WRITE);
  iStarted = iUpTo;
#else
  static_cast<void>(iUpTo);
#endif
}

int gcFileWriter::finish() {
  std::unique_lock<std::mutex> lock(mutex);
  changed.wait(lock, [&] { return iHead == queue.size(); });
  return iError;
}

void gcFileWriter::run() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    changed.wait(lock, [&] { return bStop || iHead < queue.size(); });
    if (iHead == queue.size()) return;
    std::unique_ptr<char[]> buffer = std::move(queue[iHead].first);
    const std::size_t n = queue[iHead].second;
    const bool bWrite = iError == 0;
    lock.unlock();
    const int iFailed = bWrite ? writeOut(buffer.get(), n) : 0;
    lock.lock();
    iWritten += n;
    if (iError == 0) iError = iFailed;
    spare.push_back(std::move(buffer));
    if (++iHead == queue.size()) queue.clear(), iHead = 0;
    changed.notify_all();
  }
}
