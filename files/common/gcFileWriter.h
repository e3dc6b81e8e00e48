// Internal: a large output written from a thread of its own.
#ifndef DWXFILES_GCFILEWRITER_H_
#define DWXFILES_GCFILEWRITER_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// Takes full buffers for a regular file and writes them in order from a
// thread, so that the caller fills the next one meanwhile: the system's
// copy into its page cache is a large part of a conversion. Has the kernel
// start writing each finished MiB back to the disk: otherwise the whole
// file waits for the rename over an older one, before which ext4 writes it
// out (so that a crash leaves the old file or the new one). Never waits for
// the disk itself.
class gcFileWriter {
 public:
  gcFileWriter(int fd, std::size_t iBufferSize);
  ~gcFileWriter();
  gcFileWriter(const gcFileWriter&) = delete;
  gcFileWriter& operator=(const gcFileWriter&) = delete;

  // Queues the first n bytes of *pBuffer and puts an empty buffer of the
  // same size in its place; waits while every buffer is queued. The first
  // buffer, and every one when no thread can be had, is written at once.
  // The errno of the first write known to have failed, or 0.
  int write(std::unique_ptr<char[]>* pBuffer, std::size_t n);
  // Waits until everything queued is written; the errno of the first write
  // that failed (later buffers are dropped), or 0.
  int finish();

 private:
  void run();
  int writeOut(const char* p, std::size_t n);
  void startWriteback(std::uint64_t iUpTo);

  int fd;
  std::size_t iBufferSize;
  std::uint64_t iWrites = 0;
  std::uint64_t iStarted = 0;  // the writeback asked for up to here
  std::thread thread;
  std::mutex mutex;
  std::condition_variable changed;
  // Under mutex:
  std::vector<std::pair<std::unique_ptr<char[]>, std::size_t>> queue;
  std::vector<std::unique_ptr<char[]>> spare;
  std::size_t iHead = 0;       // the next buffer of queue to write
  std::size_t iBuffers = 0;    // made so far
  std::uint64_t iWritten = 0;  // bytes in the file
  int iError = 0;
  bool bStop = false;
};

#endif  // DWXFILES_GCFILEWRITER_H_
