#include "support/FakeServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace support {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPollSliceMs = 20;

// The 3-byte little-endian length at the start of a frame header.
size_t FrameLength(std::string_view header) {
  return static_cast<size_t>(static_cast<uint8_t>(header[0])) |
         static_cast<size_t>(static_cast<uint8_t>(header[1])) << 8 |
         static_cast<size_t>(static_cast<uint8_t>(header[2])) << 16;
}

}  // namespace

// --- Session ------------------------------------------------------------------

bool FakeServer::Session::Send(std::string_view bytes) {
  return server_.SendAll(bytes);
}

std::optional<Bytes> FakeServer::Session::Read(size_t n) {
  Bytes out;
  if (!server_.ReadExact(n, out)) return std::nullopt;
  server_.Record(out, true);
  return out;
}

std::optional<Bytes> FakeServer::Session::ReadPacket() {
  Bytes frame;
  if (!server_.ReadExact(4, frame)) return std::nullopt;
  size_t length = FrameLength(frame);
  Bytes payload;
  if (!server_.ReadExact(length, payload)) {
    server_.Record(frame, true);
    return std::nullopt;
  }
  frame += payload;
  server_.Record(frame, true);
  return frame;
}

// --- Server -------------------------------------------------------------------

FakeServer::FakeServer() {
  worker_ = std::thread([this] { Worker(); });
}

FakeServer::~FakeServer() {
  stop_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
  }
  worker_.join();
  CloseConnection();
}

FakeServer& FakeServer::Add(std::string what, std::function<bool(Session&)> run,
                            bool needsConnection) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (error_.empty()) steps_.push_back(Step{std::move(what), std::move(run), needsConnection});
  changed_.notify_all();
  return *this;
}

FakeServer& FakeServer::Send(Bytes bytes) {
  std::string what = "send " + std::to_string(bytes.size()) + " bytes";
  return Add(std::move(what), [this, bytes = std::move(bytes)](Session&) {
    if (SendAll(bytes)) return true;
    problem_ = "client gone while sending";
    return false;
  });
}

FakeServer& FakeServer::SendPacket(std::string_view payload, uint8_t sequence) {
  return Send(Packet(payload, sequence));
}

FakeServer& FakeServer::ReadBytes(size_t n) {
  return Add("read " + std::to_string(n) + " bytes",
             [n](Session& s) { return s.Read(n).has_value(); });
}

FakeServer& FakeServer::ReadPacket() {
  return Add("read packet", [](Session& s) { return s.ReadPacket().has_value(); });
}

FakeServer& FakeServer::ReadCompressedPacket() {
  return Add("read compressed packet",
             [this](Session&) { return ReadCompressedFrame().has_value(); });
}

FakeServer& FakeServer::ReadUntilClosed() {
  return Add("read until closed", [this](Session&) {
    Bytes all;
    char buf[4096];
    auto deadline = Deadline();
    for (;;) {
      if (!WaitReadable(deadline)) {
        Record(all, true);
        return false;
      }
      ssize_t got = ::recv(connFd_, buf, sizeof buf, 0);
      if (got <= 0) break;
      all.append(buf, static_cast<size_t>(got));
    }
    Record(all, true);
    return true;
  });
}

FakeServer& FakeServer::Sleep(std::chrono::milliseconds pause) {
  return Add(
      "sleep",
      [this, pause](Session&) {
        auto until = Clock::now() + pause;
        for (auto now = Clock::now(); !stop_ && now < until; now = Clock::now())
          std::this_thread::sleep_for(
              std::min<Clock::duration>(until - now, std::chrono::milliseconds(kPollSliceMs)));
        return !stop_;
      },
      false);
}

FakeServer& FakeServer::StaySilent() {
  return Add("stay silent", [this](Session&) {
    char buf[4096];
    for (;;) {
      if (!WaitReadable(Clock::time_point::max())) return stop_.load();
      ssize_t got = ::recv(connFd_, buf, sizeof buf, 0);
      if (got <= 0) return true;
      Record(std::string_view(buf, static_cast<size_t>(got)), false);
    }
  });
}

FakeServer& FakeServer::Close() {
  return Add(
      "close",
      [this](Session&) {
        CloseConnection();
        return true;
      },
      false);
}

FakeServer& FakeServer::Accept() {
  return Add(
      "accept",
      [this](Session&) {
        CloseConnection();
        return AcceptOne();
      },
      false);
}

FakeServer& FakeServer::Reply(std::vector<Bytes> payloads) {
  return Add("read packet and reply", [payloads = std::move(payloads)](Session& s) {
    auto frame = s.ReadPacket();
    return frame && s.Send(Packets(payloads, static_cast<uint8_t>(SequenceOf(*frame) + 1)));
  });
}

FakeServer& FakeServer::ReplyCompressed(std::vector<Bytes> payloads, bool compress) {
  return Add("read compressed packet and reply",
             [this, payloads = std::move(payloads), compress](Session&) {
               auto frame = ReadCompressedFrame();
               if (!frame) return false;
               auto seq = static_cast<uint8_t>(SequenceOf(*frame) + 1);
               return SendAll(CompressedPacket(Packets(payloads, seq), seq, compress));
             });
}

FakeServer& FakeServer::Handshake(const Greeting& greeting, Bytes answer) {
  SendPacket(GreetingPayload(greeting), 0);
  ReadPacket();
  return SendPacket(answer, 2);
}

FakeServer& FakeServer::Do(std::function<bool(Session&)> step, std::string what) {
  return Add(std::move(what), std::move(step));
}

bool FakeServer::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return steps_.empty() && running_ == 0; });
}

std::string FakeServer::Error() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

Bytes FakeServer::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<Bytes> FakeServer::Frames() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

int FakeServer::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

void FakeServer::SetStepTimeout(std::chrono::milliseconds timeout) {
  std::lock_guard<std::mutex> lock(mutex_);
  stepTimeout_ = timeout;
}

Clock::time_point FakeServer::Deadline() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Clock::now() + stepTimeout_;
}

void FakeServer::Worker() {
  Session session(*this);
  for (;;) {
    Step step;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || !steps_.empty(); });
      if (stop_) return;
      step = std::move(steps_.front());
      steps_.pop_front();
      running_ = 1;
    }
    ++stepNumber_;
    problem_.clear();
    bool ok = (!step.needsConnection || EnsureConnection()) && step.run(session);
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = 0;
    if (!ok && !stop_) {
      error_ = "step " + std::to_string(stepNumber_) + " (" + step.what + ") failed";
      if (!problem_.empty()) error_ += ": " + problem_;
      steps_.clear();
    }
    changed_.notify_all();
  }
}

bool FakeServer::EnsureConnection() {
  return connFd_ >= 0 || AcceptOne();
}

bool FakeServer::AcceptOne() {
  auto deadline = Deadline();
  while (!stop_) {
    int fd = listener_.Accept(kPollSliceMs);
    if (fd >= 0) {
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      connFd_ = fd;
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
      return true;
    }
    if (Clock::now() >= deadline) {
      problem_ = "no client connected";
      return false;
    }
  }
  return false;
}

void FakeServer::CloseConnection() {
  if (connFd_ < 0) return;
  // Bytes the client sent that no step read would make the close a reset;
  // take them in (and record them) so the client sees an orderly end.
  char buf[4096];
  ssize_t got;
  while ((got = ::recv(connFd_, buf, sizeof buf, MSG_DONTWAIT)) > 0)
    Record(std::string_view(buf, static_cast<size_t>(got)), false);
  ::shutdown(connFd_, SHUT_WR);
  ::close(connFd_);
  connFd_ = -1;
}

bool FakeServer::SendAll(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t sent = ::send(connFd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    done += static_cast<size_t>(sent);
  }
  return true;
}

bool FakeServer::WaitReadable(Clock::time_point deadline) {
  while (!stop_) {
    pollfd p{connFd_, POLLIN, 0};
    int r = ::poll(&p, 1, kPollSliceMs);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) {
      problem_ = std::string("poll failed: ") + std::strerror(errno);
      return false;
    }
    if (Clock::now() >= deadline) {
      problem_ = "nothing arrived from the client in time";
      return false;
    }
  }
  problem_ = "server stopped";
  return false;
}

bool FakeServer::ReadExact(size_t n, Bytes& out) {
  auto deadline = Deadline();
  size_t start = out.size();
  out.resize(start + n);
  size_t done = 0;
  while (done < n) {
    if (!WaitReadable(deadline)) {
      out.resize(start + done);
      return false;
    }
    ssize_t got = ::recv(connFd_, out.data() + start + done, n - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      out.resize(start + done);
      problem_ = "client closed the connection after " + std::to_string(done) + " of " +
                 std::to_string(n) + " bytes";
      return false;
    }
    done += static_cast<size_t>(got);
  }
  return true;
}

std::optional<Bytes> FakeServer::ReadCompressedFrame() {
  Bytes frame;
  if (!ReadExact(7, frame)) return std::nullopt;
  Bytes data;
  bool ok = ReadExact(FrameLength(frame), data);
  frame += data;
  Record(frame, true);
  if (!ok) return std::nullopt;
  return frame;
}

void FakeServer::Record(std::string_view bytes, bool asFrame) {
  std::lock_guard<std::mutex> lock(mutex_);
  received_.append(bytes);
  if (asFrame) frames_.emplace_back(bytes);
}

// --- Integers and length-coded values -------------------------------------------

namespace {

Bytes LittleEndian(uint64_t v, int bytes) {
  Bytes out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

}  // namespace

Bytes Int1(uint8_t v) {
  return LittleEndian(v, 1);
}
Bytes Int2(uint16_t v) {
  return LittleEndian(v, 2);
}
Bytes Int3(uint32_t v) {
  return LittleEndian(v, 3);
}
Bytes Int4(uint32_t v) {
  return LittleEndian(v, 4);
}
Bytes Int8(uint64_t v) {
  return LittleEndian(v, 8);
}

Bytes LengthCoded(uint64_t v) {
  if (v <= 250) return Int1(static_cast<uint8_t>(v));
  if (v <= 0xFFFF) return "\xFC" + Int2(static_cast<uint16_t>(v));
  if (v <= 0xFFFFFF) return "\xFD" + Int3(static_cast<uint32_t>(v));
  return LengthCoded8(v);
}

Bytes LengthCoded8(uint64_t v) {
  return "\xFE" + Int8(v);
}

Bytes LengthCodedText(std::string_view text) {
  return LengthCoded(text.size()) + Bytes(text);
}

Bytes NullValue() {
  return Bytes(1, '\xFB');
}

// --- Framing ----------------------------------------------------------------------

Bytes Packet(std::string_view payload, uint8_t sequence) {
  return Int3(static_cast<uint32_t>(payload.size())) + Int1(sequence) + Bytes(payload);
}

Bytes Packets(const std::vector<Bytes>& payloads, uint8_t firstSequence) {
  Bytes out;
  uint8_t seq = firstSequence;
  for (const Bytes& p : payloads) out += Packet(p, seq++);
  return out;
}

Bytes ZlibCompress(std::string_view data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size, '\0');
  if (compress(reinterpret_cast<Bytef*>(out.data()), &size,
               reinterpret_cast<const Bytef*>(data.data()),
               static_cast<uLong>(data.size())) != Z_OK)
    throw std::runtime_error("zlib compress failed");
  out.resize(size);
  return out;
}

std::optional<Bytes> ZlibUncompress(std::string_view data, size_t originalLength) {
  Bytes out(originalLength, '\0');
  uLongf size = static_cast<uLongf>(originalLength);
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                 reinterpret_cast<const Bytef*>(data.data()),
                 static_cast<uLong>(data.size())) != Z_OK ||
      size != originalLength)
    return std::nullopt;
  return out;
}

Bytes RawCompressedPacket(std::string_view wireData, uint8_t sequence,
                          uint32_t uncompressedLength) {
  return Int3(static_cast<uint32_t>(wireData.size())) + Int1(sequence) + Int3(uncompressedLength) +
         Bytes(wireData);
}

Bytes CompressedPacket(std::string_view data, uint8_t sequence, bool compress) {
  if (!compress) return RawCompressedPacket(data, sequence, 0);
  return RawCompressedPacket(ZlibCompress(data), sequence, static_cast<uint32_t>(data.size()));
}

// --- Reading client frames -------------------------------------------------------

Bytes PayloadOf(std::string_view frame) {
  return frame.size() <= 4 ? Bytes() : Bytes(frame.substr(4));
}

uint8_t SequenceOf(std::string_view frame) {
  return frame.size() < 4 ? 0 : static_cast<uint8_t>(frame[3]);
}

std::optional<Bytes> DecodeCompressed(std::string_view frame) {
  if (frame.size() < 7) return std::nullopt;
  auto u = [&](size_t i) { return static_cast<size_t>(static_cast<uint8_t>(frame[i])); };
  size_t length = u(0) | u(1) << 8 | u(2) << 16;
  size_t original = u(4) | u(5) << 8 | u(6) << 16;
  if (frame.size() != 7 + length) return std::nullopt;
  std::string_view data = frame.substr(7);
  if (original == 0) return Bytes(data);
  return ZlibUncompress(data, original);
}

// --- Server payloads ---------------------------------------------------------------

Bytes GreetingPayload(const Greeting& g) {
  std::string seed = g.seed;
  seed.resize(20, '\0');
  Bytes out = Int1(g.protocol) + g.version + Bytes(1, '\0') + Int4(g.threadId) + seed.substr(0, 8) +
              Bytes(1, '\0');
  if (g.layout == Greeting::Layout::kSeedOnly) return out;
  out += Int2(g.capabilities);
  if (g.layout == Greeting::Layout::kCapabilities) return out;
  out += Int1(g.charset) + Int2(g.status) + Bytes(13, '\0');
  if (g.layout == Greeting::Layout::kNoSecondSeed) return out;
  return out + seed.substr(8, 12) + Bytes(1, '\0');
}

Bytes Protocol9GreetingPayload(std::string_view version, uint32_t threadId, std::string_view seed) {
  Greeting g;
  g.protocol = 9;
  g.version = version;
  g.threadId = threadId;
  g.seed = seed;
  g.layout = Greeting::Layout::kSeedOnly;
  return GreetingPayload(g);
}

Bytes OkPayload(const Ok& ok) {
  Bytes out = Bytes(1, '\0') + LengthCoded(ok.affectedRows) + LengthCoded(ok.insertId);
  if (ok.withStatus) out += Int2(ok.status);
  if (ok.withWarnings) out += Int2(ok.warnings);
  if (!ok.info.empty()) out += LengthCodedText(ok.info);
  return out;
}

Bytes ErrorPayload(uint16_t number, std::string_view text) {
  return "\xFF" + Int2(number) + Bytes(text);
}

Bytes ErrorPayload41(uint16_t number, std::string_view sqlState, std::string_view text) {
  return "\xFF" + Int2(number) + "#" + Bytes(sqlState) + Bytes(text);
}

Bytes ErrorPayload9(std::string_view text) {
  return "\xFF" + Bytes(text);
}

Bytes EofPayload(bool protocol41, uint16_t warnings, uint16_t status) {
  Bytes out(1, '\xFE');
  if (protocol41) out += Int2(warnings) + Int2(status);
  return out;
}

Bytes ResultHeaderPayload(uint64_t columnCount) {
  return LengthCoded(columnCount);
}

Bytes ColumnPayload41(const Column& c) {
  Bytes binary = Int2(c.charset) + Int4(c.length) + Int1(c.type) + Int2(c.flags) +
                 Int1(c.decimals) + Bytes(2, '\0');
  return LengthCodedText(c.catalog) + LengthCodedText(c.database) + LengthCodedText(c.table) +
         LengthCodedText(c.orgTable) + LengthCodedText(c.name) + LengthCodedText(c.orgName) +
         LengthCodedText(binary);
}

Bytes ColumnPayloadOld(const Column& c, bool longFlag) {
  Bytes flags = longFlag ? Int2(c.flags) + Int1(c.decimals)
                         : Int1(static_cast<uint8_t>(c.flags)) + Int1(c.decimals);
  return LengthCodedText(c.table) + LengthCodedText(c.name) + LengthCodedText(Int3(c.length)) +
         LengthCodedText(Int1(c.type)) + LengthCodedText(flags);
}

Bytes RowPayload(const std::vector<std::optional<std::string>>& values) {
  Bytes out;
  for (const auto& v : values) out += v ? LengthCodedText(*v) : NullValue();
  return out;
}

Bytes ResultSet(const std::vector<Column>& columns,
                const std::vector<std::vector<std::optional<std::string>>>& rows,
                uint8_t firstSequence, bool protocol41, bool longFlag) {
  std::vector<Bytes> payloads;
  payloads.push_back(ResultHeaderPayload(columns.size()));
  for (const Column& c : columns)
    payloads.push_back(protocol41 ? ColumnPayload41(c) : ColumnPayloadOld(c, longFlag));
  payloads.push_back(EofPayload(protocol41));
  for (const auto& row : rows) payloads.push_back(RowPayload(row));
  payloads.push_back(EofPayload(protocol41));
  return Packets(payloads, firstSequence);
}

}  // namespace support
