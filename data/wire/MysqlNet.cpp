// Packet framing, buffering and compression of the wire client.

#include "wire/MysqlNet.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "wire/ClientErrors.h"
#include "wire/Protocol.h"

namespace wire {

namespace {

constexpr std::uint32_t kErrorMessageLimit = 199;

std::uint32_t Get3(const std::uint8_t* p) {
  return p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
}

void Put3(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
}

}  // namespace

// The compressors and the decompressor, reset before each use instead of
// being set up again for every packet. Resetting a compressor clears its hash
// table, which at zlib's default memory level is 64 KiB: more than the work
// of compressing a statement of a few hundred bytes. Blocks under 16 KiB go
// through a compressor with a small table (same level, same format); larger
// ones through one with the default table.
class TMysqlNet::ZlibStreams {
 public:
  ZlibStreams() = default;
  ~ZlibStreams() {
    for (Deflater* d : {&small_, &large_})
      if (d->ready) deflateEnd(&d->stream);
    if (inflateReady_) inflateEnd(&inflater_);
  }
  ZlibStreams(const ZlibStreams&) = delete;
  ZlibStreams& operator=(const ZlibStreams&) = delete;

  // Compresses [source, source + length) into [dest, dest + *destLength);
  // on Z_OK *destLength is the compressed size.
  int Compress(std::uint8_t* dest, uLongf* destLength, const std::uint8_t* source,
               std::size_t length) {
    constexpr std::size_t kSmallBlock = 16 * 1024;
    constexpr int kSmallMemLevel = 4;
    constexpr int kDefaultMemLevel = 8;
    Deflater& d = length < kSmallBlock ? small_ : large_;
    if (!d.ready) {
      int memLevel = &d == &small_ ? kSmallMemLevel : kDefaultMemLevel;
      if (deflateInit2(&d.stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, MAX_WBITS, memLevel,
                       Z_DEFAULT_STRATEGY) != Z_OK)
        return Z_MEM_ERROR;
      d.ready = true;
    } else if (deflateReset(&d.stream) != Z_OK) {
      return Z_STREAM_ERROR;
    }
    z_stream& z = d.stream;
    z.next_in = const_cast<Bytef*>(source);
    z.avail_in = static_cast<uInt>(length);
    z.next_out = dest;
    z.avail_out = static_cast<uInt>(*destLength);
    int rc = deflate(&z, Z_FINISH);
    if (rc != Z_STREAM_END) return rc == Z_OK ? Z_BUF_ERROR : rc;
    *destLength = z.total_out;
    return Z_OK;
  }

  // Decompresses a whole zlib stream; Z_OK only when it ends exactly and
  // *destLength then holds the decompressed size.
  int Uncompress(std::uint8_t* dest, uLongf* destLength, const std::uint8_t* source,
                 std::size_t length) {
    if (!inflateReady_) {
      if (inflateInit(&inflater_) != Z_OK) return Z_MEM_ERROR;
      inflateReady_ = true;
    } else if (inflateReset(&inflater_) != Z_OK) {
      return Z_STREAM_ERROR;
    }
    inflater_.next_in = const_cast<Bytef*>(source);
    inflater_.avail_in = static_cast<uInt>(length);
    inflater_.next_out = dest;
    inflater_.avail_out = static_cast<uInt>(*destLength);
    int rc = inflate(&inflater_, Z_FINISH);
    if (rc != Z_STREAM_END)
      return rc == Z_OK ? Z_BUF_ERROR : (rc == Z_NEED_DICT ? Z_DATA_ERROR : rc);
    *destLength = inflater_.total_out;
    return Z_OK;
  }

 private:
  struct Deflater {
    z_stream stream{};
    bool ready = false;
  };
  Deflater small_;
  Deflater large_;
  z_stream inflater_{};
  bool inflateReady_ = false;
};

TMysqlNet::TMysqlNet() : vio_(std::make_unique<TMysqlVio>()) {}
TMysqlNet::~TMysqlNet() = default;

void TMysqlNet::Reset() {
  buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kNetBufferLength);
  bufferSize_ = kNetBufferLength;
  writePos_ = 0;
  readPos_ = buffer_.get();
  sequence_ = 0;
  compress_ = false;
  bufferedLength_ = kNetBufferLength;
  readBase_ = 0;
  remaining_ = 0;
  protocolVersion_ = 10;
  state_ = kIdle;
  savedByte_ = 0;
}

int TMysqlNet::Open(int kind, const std::string& host, bool pipeFallback, int timeoutSeconds,
                    int port, const std::string& pipeName) {
  if (IsConnected()) return 0;
  int rc = vio_->Connect(kind, host, pipeFallback, timeoutSeconds, port, pipeName);
  if (rc != 0) return rc;
  Reset();
  return 0;
}

int TMysqlNet::Attach(int fd) {
  if (IsConnected()) return -20;
  auto socket = std::make_unique<TMysqlVio>();
  int rc = socket->Attach(fd);
  if (rc != 0) return rc;
  vio_ = std::move(socket);
  Reset();
  return 0;
}

void TMysqlNet::SetTransportForTesting(std::unique_ptr<TTransport> transport) {
  Close();
  vio_ = std::move(transport);
}

int TMysqlNet::Close() {
  if (!IsConnected()) return 0;
  int rc = vio_->Close();
  buffer_.reset();
  bufferSize_ = 0;
  readPos_ = nullptr;
  writePos_ = 0;
  remaining_ = 0;
  return rc;
}

void TMysqlNet::Clear() {
  sequence_ = 0;
  writePos_ = 0;
}

// ---------------------------------------------------------------- writing

int TMysqlNet::WritePacket(const void* data, std::size_t length) {
  if (length >= kMaxPacketLength) {
    SetErrorNumber(ER_NET_PACKET_TOO_LARGE);
    return 1;
  }
  std::uint8_t header[4];
  Put3(header, static_cast<std::uint32_t>(length));
  header[3] = compress_ ? 0 : sequence_++;
  if (!Append(header, 4)) return 1;
  if (!Append(static_cast<const std::uint8_t*>(data), length)) return 1;
  return 0;
}

int TMysqlNet::WriteCommand(std::uint8_t command, const void* data, std::size_t length) {
  if (length >= kMaxPacketLength) {
    SetErrorNumber(ER_NET_PACKET_TOO_LARGE);
    return 1;
  }
  std::uint8_t header[5];
  Put3(header, static_cast<std::uint32_t>(length + 1));
  header[3] = compress_ ? 0 : sequence_++;
  header[4] = command;
  if (!Append(header, 5)) return 1;
  if (!Append(static_cast<const std::uint8_t*>(data), length)) return 1;
  return Flush() != 0 ? 1 : 0;
}

bool TMysqlNet::Append(const std::uint8_t* data, std::size_t length) {
  if (!buffer_) return false;
  // A full buffer goes out whole; the rest continues at its start.
  while (length > bufferSize_ - writePos_) {
    std::size_t room = bufferSize_ - writePos_;
    std::memcpy(buffer_.get() + writePos_, data, room);
    data += room;
    length -= room;
    if (PhysicalWrite(buffer_.get(), bufferSize_) != 0) return false;
    writePos_ = 0;
  }
  if (length) std::memcpy(buffer_.get() + writePos_, data, length);
  writePos_ += static_cast<std::uint32_t>(length);
  return true;
}

int TMysqlNet::Flush() {
  if (writePos_ == 0) return 0;
  int rc = PhysicalWrite(buffer_.get(), writePos_);
  writePos_ = 0;
  return rc;
}

int TMysqlNet::PhysicalWrite(const std::uint8_t* data, std::size_t length) {
  if (!IsConnected()) return -1;
  if (length > kMaxBufferSize) return 2;  // never more than one buffer at a time
  state_ = kWriting;
  std::unique_ptr<std::uint8_t[]> own;
  const std::uint8_t* out = data;
  std::size_t total = length;
  if (compress_) {
    // Header of 7 bytes, then the data, compressed when that makes it smaller
    // (never for blocks under 50 bytes; a compressor failure sends it plain).
    constexpr std::size_t kScratchKeep = 64 * 1024;
    const std::size_t room = length * 120 / 100 + 12;  // >= length
    std::uint8_t* block;
    if (7 + room <= scratchSize_) {
      block = scratch_.get();
    } else if (7 + room <= kScratchKeep) {
      scratch_ = std::make_unique_for_overwrite<std::uint8_t[]>(kScratchKeep);
      scratchSize_ = kScratchKeep;
      block = scratch_.get();
    } else {
      own = std::make_unique_for_overwrite<std::uint8_t[]>(7 + room);
      block = own.get();
    }
    std::uint32_t original = 0;
    std::size_t sent = length;
    bool packed = false;
    if (length >= kMinCompressLength) {
      uLongf size = static_cast<uLongf>(room);
      if (!zlib_) zlib_ = std::make_unique<ZlibStreams>();
      if (zlib_->Compress(block + 7, &size, data, length) == Z_OK && size < length) {
        sent = size;
        original = static_cast<std::uint32_t>(length);
        packed = true;
      }
    }
    if (!packed) std::memcpy(block + 7, data, length);
    Put3(block, static_cast<std::uint32_t>(sent));
    block[3] = sequence_++;
    Put3(block + 4, original);
    out = block;
    total = sent + 7;
  }
  state_ = kIdle;
  if (gathering_) {
    gathered_.append(reinterpret_cast<const char*>(out), total);
    return 0;
  }
  return SendAll(out, total);
}

void TMysqlNet::BeginGather() {
  gathering_ = true;
  gathered_.clear();
}

int TMysqlNet::EndGather(bool send) {
  gathering_ = false;
  std::string blocks;
  blocks.swap(gathered_);
  if (!send) return 0;
  if (!IsConnected()) return -1;
  return SendAll(reinterpret_cast<const std::uint8_t*>(blocks.data()), blocks.size());
}

int TMysqlNet::SendAll(const std::uint8_t* out, std::size_t total) {
  state_ = kWriting;
  std::size_t done = 0;
  int failures = 0;
  while (done < total) {
    int n = vio_->Write(out + done, total - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (vio_->NonBlocking() && failures < 3) {
      ++failures;
      continue;
    }
    if (vio_->ShouldRetry() && failures < 3) {
      ++failures;
      continue;
    }
    if (vio_->WasInterrupted()) continue;
    break;
  }
  state_ = kIdle;
  return done == total ? 0 : 2;
}

// ---------------------------------------------------------------- reading

bool TMysqlNet::Grow(std::size_t needed) {
  // The buffer must hold `needed` bytes plus the terminating zero, and
  // never reaches 16 MiB.
  if (needed + 1 >= kMaxBufferSize) {
    SetErrorNumber(ER_NET_PACKET_TOO_LARGE);
    return false;
  }
  std::size_t size = (needed + 1 + 4095) & ~std::size_t{4095};
  if (size >= kMaxBufferSize) size = kMaxBufferSize - 1;
  auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(size);
  // Unread decompressed bytes sit before the read base: keep them.
  std::memcpy(grown.get(), buffer_.get(), std::min<std::size_t>(readBase_, bufferSize_));
  buffer_ = std::move(grown);
  bufferSize_ = static_cast<std::uint32_t>(size);
  readPos_ = buffer_.get();
  writePos_ = 0;
  return true;
}

bool TMysqlNet::ReadFully(std::uint8_t* into, std::size_t length, int& retries) {
  std::size_t done = 0;
  while (done < length) {
    int n = vio_->Read(into + done, length - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (vio_->WasInterrupted()) continue;
    if (vio_->ShouldRetry() && retries < 2) {
      ++retries;
      continue;
    }
    return false;
  }
  return true;
}

long TMysqlNet::PhysicalRead(std::uint32_t& uncompressedLength) {
  uncompressedLength = 0;
  if (!IsConnected() || !buffer_) return -1;
  state_ = kReading;
  const std::size_t headerLength = compress_ ? 7 : 4;
  if (readBase_ + headerLength >= bufferSize_ && !Grow(readBase_ + headerLength)) {
    state_ = kIdle;
    return -1;
  }
  int retries = 0;
  std::uint8_t* at = buffer_.get() + readBase_;
  if (!ReadFully(at, headerLength, retries) || at[3] != sequence_) {
    state_ = kIdle;
    return -1;
  }
  ++sequence_;
  std::uint32_t length = Get3(at);
  if (compress_) uncompressedLength = Get3(at + 4);
  std::size_t larger = std::max(length, uncompressedLength);
  if (readBase_ + larger >= bufferSize_ && !Grow(readBase_ + larger)) {
    state_ = kIdle;
    return -1;
  }
  at = buffer_.get() + readBase_;
  if (!ReadFully(at, length, retries)) {
    state_ = kIdle;
    return -1;
  }
  state_ = kIdle;
  return length;
}

long TMysqlNet::ReadPacket() {
  if (!compress_) {
    std::uint32_t unused;
    long n = PhysicalRead(unused);
    if (!buffer_) return -1;
    readPos_ = buffer_.get() + readBase_;
    if (n >= 0) buffer_[readBase_ + n] = 0;
    return n;
  }

  if (remaining_) buffer_[bufferedLength_ - remaining_] = savedByte_;
  long result;
  for (;;) {
    if (remaining_) {
      std::uint32_t at = bufferedLength_ - remaining_;
      if (remaining_ >= 4) {
        std::uint32_t n = Get3(buffer_.get() + at);
        if (n <= remaining_ - 4) {
          remaining_ -= n + 4;
          readPos_ = buffer_.get() + at + 4;
          result = n;
          break;
        }
      }
      if (remaining_ != bufferedLength_) {
        std::memmove(buffer_.get(), buffer_.get() + at, remaining_);
        bufferedLength_ = remaining_;
      }
      readBase_ = bufferedLength_;
    } else {
      readBase_ = 0;
      bufferedLength_ = 0;
    }
    std::uint32_t original = 0;
    long length = PhysicalRead(original);
    if (length < 0) return -1;
    if (original != 0) {
      auto unpacked = std::make_unique_for_overwrite<std::uint8_t[]>(original);
      uLongf size = original;
      if (!zlib_) zlib_ = std::make_unique<ZlibStreams>();
      if (zlib_->Uncompress(unpacked.get(), &size, buffer_.get() + readBase_,
                            static_cast<std::size_t>(length)) != Z_OK ||
          size != original) {
        return -1;
      }
      std::memcpy(buffer_.get() + readBase_, unpacked.get(), original);
      length = original;
    }
    bufferedLength_ += static_cast<std::uint32_t>(length);
    remaining_ += static_cast<std::uint32_t>(length);
  }
  std::uint8_t* end = const_cast<std::uint8_t*>(readPos_) + result;
  savedByte_ = *end;
  *end = 0;
  return result;
}

long TMysqlNet::SafeRead(std::uint32_t clientFlags) {
  long n = ReadPacket();
  if (n <= 0) {
    vio_->Close();
    int number =
        ErrorNumber() == ER_NET_PACKET_TOO_LARGE ? CR_NET_PACKET_TOO_LARGE : CR_SERVER_LOST;
    SetError(number, FormatClientError(number));
    return -1;
  }
  const std::uint8_t* p = readPos_;
  if (p[0] != 255) return n;
  if (n < 4) {
    SetError(CR_UNKNOWN_ERROR, FormatClientError(CR_UNKNOWN_ERROR));
    return -1;
  }
  int number;
  const std::uint8_t* text;
  const std::uint8_t* end = p + n;
  if (protocolVersion_ > 9) {
    number = p[1] | (p[2] << 8);
    text = p + 3;
    if ((clientFlags & CLIENT_RESERVED) && text[0] == '#')
      text += std::min<std::ptrdiff_t>(6, end - text);
  } else {
    number = CR_UNKNOWN_ERROR;
    text = p + 1;
  }
  std::size_t limit =
      std::min<std::size_t>(static_cast<std::size_t>(end - text), kErrorMessageLimit);
  const char* chars = reinterpret_cast<const char*>(text);
  SetError(number, std::string(chars, strnlen(chars, limit)));
  return -1;
}

bool TMysqlNet::Shrink() {
  if (state_ != kIdle || !buffer_ || bufferSize_ <= kNetBufferLength) return true;
  // Unread decompressed bytes move to the start of the smaller buffer; when
  // they do not fit, the buffer stays as it is until a later call.
  std::uint32_t keep = compress_ ? remaining_ : 0;
  if (keep + 8 > kNetBufferLength) return true;
  std::unique_ptr<std::uint8_t[]> small(new (std::nothrow) std::uint8_t[kNetBufferLength]);
  if (!small) return false;
  if (keep) std::memcpy(small.get(), buffer_.get() + (bufferedLength_ - remaining_), keep);
  buffer_ = std::move(small);
  bufferSize_ = kNetBufferLength;
  bufferedLength_ = compress_ ? keep : kNetBufferLength;
  readBase_ = 0;
  readPos_ = buffer_.get();
  writePos_ = 0;
  return true;
}

void TMysqlNet::StartTls(const std::string& keyFile, const std::string& certFile,
                         const std::string& caFile, const std::string& caPath, std::string& cipher,
                         int timeoutSeconds) {
  vio_->SslConnect(keyFile, certFile, caFile, caPath, cipher, timeoutSeconds);
  if (vio_->Kind() != kVioTls) Close();
}

}  // namespace wire
