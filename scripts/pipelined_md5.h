#pragma once
// MD5 of a stream on a thread of its own. The digest costs about as much as
// reading, unscrambling and writing a package together, so hashing one piece
// while the caller reads and writes the next nearly halves the time a
// gigabyte package takes.
//
// Use: FreePiece() gives a buffer of kPieceSize bytes; fill it, then
// HashPiece(size) hands it to the hashing thread. The caller may still read
// the piece (to write it out) until it next calls FreePiece(); it must not
// change it. FinalHex() waits for every piece and returns the digest.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "scripts/md5.h"

class PipelinedMd5 {
 public:
  static constexpr std::size_t kPieceSize = 256 * 1024;

  PipelinedMd5();
  ~PipelinedMd5();
  PipelinedMd5(const PipelinedMd5&) = delete;
  PipelinedMd5& operator=(const PipelinedMd5&) = delete;

  char* FreePiece();
  void HashPiece(std::size_t size);
  std::string FinalHex();

 private:
  static constexpr std::size_t kPieces = 4;
  struct Queued {
    std::size_t index;
    std::size_t size;
  };

  void Run();
  char* Piece(std::size_t index) { return storage_.data() + index * kPieceSize; }

  Md5 md5_;
  std::vector<char> storage_;
  std::size_t next_ = 0;  // the piece FreePiece hands out
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Queued> queue_;  // pieces not yet taken by the thread, in order
  std::size_t outstanding_ = 0;  // queued plus the one being hashed
  bool stopping_ = false;
  bool threaded_ = false;
  std::thread thread_;
};
