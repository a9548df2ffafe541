#include "scripts/pipelined_md5.h"

#include <system_error>

PipelinedMd5::PipelinedMd5() : storage_(kPieces * kPieceSize) {
  // Without a second thread the pieces are hashed as they come: slower,
  // never wrong.
  try {
    thread_ = std::thread(&PipelinedMd5::Run, this);
    threaded_ = true;
  } catch (const std::system_error&) {
    threaded_ = false;
  }
}

PipelinedMd5::~PipelinedMd5() {
  if (!threaded_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

char* PipelinedMd5::FreePiece() {
  // Pieces go round in order and are hashed in order, so the next one is
  // free as soon as fewer than all of them are outstanding.
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return outstanding_ < kPieces; });
  return Piece(next_);
}

void PipelinedMd5::HashPiece(std::size_t size) {
  if (size > kPieceSize) size = kPieceSize;
  if (!threaded_) {
    md5_.Update(Piece(next_), size);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back({next_, size});
    ++outstanding_;
    next_ = (next_ + 1) % kPieces;
  }
  changed_.notify_all();
}

std::string PipelinedMd5::FinalHex() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return outstanding_ == 0; });
  return md5_.FinalHex();
}

void PipelinedMd5::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    const Queued piece = queue_.front();
    queue_.erase(queue_.begin());
    lock.unlock();
    md5_.Update(Piece(piece.index), piece.size);
    lock.lock();
    --outstanding_;
    changed_.notify_all();
  }
}
