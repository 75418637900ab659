// Byte streams: the abstract TStream and the in-memory TMemoryStream that
// holds blob data.
//
// A stream has a position and a size; Read and Write move the position by
// the bytes they transfer and return that count (short counts are not
// errors). ReadBuffer and WriteBuffer demand the whole count and raise
// EReadError "Stream read error" / EWriteError "Stream write error"
// otherwise.
//
// A TMemoryStream owns its bytes. It may be positioned past its end; a write
// there fills the gap with zero bytes. Not thread-safe: one thread at a time
// per stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rtl/SysUtils.h"

namespace rtl {

class TObject {
 public:
  virtual ~TObject() = default;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream : public TObject {
 public:
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  // The default finds the size by seeking to the end and back.
  virtual int64_t Size();
  // The default raises EStreamError: not every stream can change its size.
  virtual void SetSize(int64_t size);

  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies `count` bytes from the current position of `source`; a count of
  // 0 copies the whole of `source` from its beginning. Returns the bytes
  // copied; raises when `source` ends early.
  int64_t CopyFrom(TStream& source, int64_t count);
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string_view data) : data_(data) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  // Grows with zero bytes or cuts; a position beyond the new end moves to it.
  void SetSize(int64_t size) override;

  // The bytes, valid until the next change of the stream.
  char* Memory() { return data_.data(); }
  const char* Memory() const { return data_.data(); }
  std::string_view View() const { return data_; }
  const std::string& DataString() const { return data_; }

  // Empties the stream and sets the position to 0.
  void Clear();
  // Replaces the contents with the whole of `source` (from its beginning);
  // the position is then 0.
  void LoadFromStream(TStream& source);
  // Writes all bytes to `dest` at its current position.
  void SaveToStream(TStream& dest) const;

 private:
  std::string data_;
  int64_t position_ = 0;
};

}  // namespace rtl
