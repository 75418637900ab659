// TMysqlNet: MySQL protocol packets over one transport (a TMysqlVio).
//
// Frames and numbers outgoing packets, gathers them in one buffer and sends
// them with one write per flush, compresses them with zlib when the
// compressed protocol is on (blocks under 50 bytes are never compressed),
// reads and checks incoming packets, grows the buffer in 4096-byte steps for
// large packets (never to 16 MiB or more), decompresses, and turns broken
// connections and server error packets into errors (SafeRead).
//
// Every length taken from the wire is checked against the bytes actually
// received and the room in the buffer: malformed input ends in an error,
// never in a read or write past the buffer.
//
// Ownership: the packet layer owns its transport and its buffer. The payload
// returned by ReadPacket/SafeRead lives in the buffer and stays valid until
// the next read, write or Shrink. Concurrency: one thread at a time; the
// client serialises use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "wire/MysqlVio.h"

namespace wire {

// Largest payload ever written (exclusive) and buffer size never reached.
constexpr std::uint32_t kMaxPacketLength = 0xFFFFFF;
constexpr std::uint32_t kMaxBufferSize = 0x1000000;
// Buffer size after Open and after Shrink.
constexpr std::uint32_t kNetBufferLength = 8192;
// Blocks shorter than this are sent uncompressed.
constexpr std::uint32_t kMinCompressLength = 50;

class TMysqlNet {
 public:
  enum State : std::uint8_t { kIdle = 0, kReading = 1, kWriting = 2 };

  TMysqlNet();
  ~TMysqlNet();
  TMysqlNet(const TMysqlNet&) = delete;
  TMysqlNet& operator=(const TMysqlNet&) = delete;

  // Connects the transport and resets the packet state. 0 on success (also
  // when already connected), else the transport's negative result.
  int Open(int kind, const std::string& host, bool pipeFallback, int timeoutSeconds, int port,
           const std::string& pipeName);
  // Takes over a connected socket as a new TMysqlVio (see TMysqlVio::Attach)
  // and resets the packet state as Open does; -20 while connected.
  int Attach(int fd);
  // Puts another transport in place of the current one (closed first):
  // tests give the packet layer one that plays a script of faults.
  void SetTransportForTesting(std::unique_ptr<TTransport> transport);
  // Closes the transport and frees the buffer; returns the transport's result.
  int Close();
  bool IsConnected() const { return vio_->IsConnected(); }
  std::uint8_t Kind() const { return vio_->Kind(); }

  // Sequence number 0, write position at the buffer start (before a command).
  void Clear();
  // Frames and buffers one packet. 0, or 1 on failure (ER_NET_PACKET_TOO_LARGE
  // for a payload of 0xFFFFFF bytes or more).
  int WritePacket(const void* data, std::size_t length);
  // Frames a command packet (command byte + data), buffers it and flushes.
  int WriteCommand(std::uint8_t command, const void* data, std::size_t length);
  // Sends what is buffered: 0, or non-zero on failure.
  int Flush();
  // Between BeginGather and EndGather every block that would be sent is
  // kept instead, framed (and compressed) exactly as it would have gone, and
  // EndGather sends them all with one write (or drops them when `send` is
  // false): several commands, one wait. 0, or non-zero when the write failed.
  void BeginGather();
  int EndGather(bool send);
  // The counter that the next packet read must carry (a second reply of
  // gathered commands continues from 1).
  void SetSequenceNumber(std::uint8_t number) { sequence_ = number; }

  // Next packet: its length, or -1. The payload is at ReadPos() and followed
  // by a zero byte.
  long ReadPacket();
  // ReadPacket plus error handling: a lost connection closes the transport
  // and reports 2013 (2020 for an over-long packet); a server error packet is
  // reported with the server's number and text. Returns -1 in both cases.
  long SafeRead(std::uint32_t clientFlags);
  const std::uint8_t* ReadPos() const { return readPos_; }

  // Gives back a grown buffer when idle; keeps unread decompressed bytes.
  bool Shrink();
  void SetCompress(bool on) { compress_ = on; }
  bool Compress() const { return compress_; }
  // TLS on the transport; closes the channel when it is not TLS afterwards.
  void StartTls(const std::string& keyFile, const std::string& certFile, const std::string& caFile,
                const std::string& caPath, std::string& cipher, int timeoutSeconds);

  int ErrorNumber() const { return vio_->ErrorNumber(); }
  void SetErrorNumber(int number) { vio_->SetErrorNumber(number); }
  const std::string& ErrorMessage() const { return vio_->ErrorMessage(); }
  void SetErrorMessage(const std::string& text) { vio_->SetErrorMessage(text); }
  void SetError(int number, const std::string& text) { vio_->SetError(number, text); }
  void ClearError() { vio_->ClearError(); }

  int ProtocolVersion() const { return protocolVersion_; }
  void SetProtocolVersion(int version) { protocolVersion_ = version; }
  std::uint8_t SequenceNumber() const { return sequence_; }
  std::uint32_t BufferSize() const { return bufferSize_; }
  State CurrentState() const { return state_; }
  // Compressed mode: decompressed bytes not yet handed out.
  std::uint32_t Remaining() const { return remaining_; }

  // The transport: a TMysqlVio unless a test put in another.
  TTransport& Vio() { return *vio_; }
  const TTransport& Vio() const { return *vio_; }

 private:
  void Reset();
  bool Append(const std::uint8_t* data, std::size_t length);
  int PhysicalWrite(const std::uint8_t* data, std::size_t length);
  // Writes the bytes to the transport with the retry rules; 0 or 2.
  int SendAll(const std::uint8_t* data, std::size_t length);
  bool ReadFully(std::uint8_t* into, std::size_t length, int& retries);
  long PhysicalRead(std::uint32_t& uncompressedLength);
  bool Grow(std::size_t needed);

  // zlib's compressor and decompressor, kept between packets: setting a
  // stream up costs more than compressing a small packet. Made on first use.
  class ZlibStreams;

  std::unique_ptr<TTransport> vio_;
  std::unique_ptr<ZlibStreams> zlib_;
  // Compressed mode: the outgoing block with its 7-byte header, kept between
  // writes of up to kScratchKeep bytes (larger blocks get their own).
  std::unique_ptr<std::uint8_t[]> scratch_;
  std::size_t scratchSize_ = 0;
  bool gathering_ = false;
  std::string gathered_;
  bool compress_ = false;
  State state_ = kIdle;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint8_t sequence_ = 0;
  std::uint32_t bufferSize_ = 0;
  std::uint32_t writePos_ = 0;
  const std::uint8_t* readPos_ = nullptr;
  std::uint32_t bufferedLength_ = 0;
  std::uint32_t readBase_ = 0;
  std::uint32_t remaining_ = 0;
  std::uint8_t savedByte_ = 0;
  int protocolVersion_ = 10;
};

}  // namespace wire
