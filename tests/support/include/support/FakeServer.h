// A scriptable stand-in for a MySQL server, for the protocol situations real
// servers no longer produce (protocol-9 greetings, pre-4.1 layouts, broken
// sequence numbers, short error packets, silence after accept).
//
// A FakeServer listens on a free loopback port from its construction on. A
// test appends steps ("send these bytes", "read one client packet", "wait",
// "close", ...) and points the client at Host()/Port(). One worker thread
// plays the steps in order as they are appended; steps that need a client
// accept one first when no connection is open. Every byte the client sends
// through a read step is recorded, so the test can compare bytes afterwards.
//
// A step that cannot complete (the client closes early, nothing arrives in
// the step timeout) stops the script and leaves a description in Error(); the
// remaining steps are dropped. The connection stays open after the last step
// until a Close step, the next Accept step, or destruction.
//
// Threads: the script methods, the getters and WaitIdle may be called from the
// test thread while the worker runs; they lock internally. The destructor
// stops the worker and closes every socket.
//
// The free functions below build the payloads and frames of the protocol:
// little-endian integers, length-coded values, greetings, OK, error and
// end-of-data packets, column definitions in both layouts, and text rows.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/Hex.h"
#include "support/Loopback.h"

namespace support {

// Raw protocol bytes; may hold zero bytes.
using Bytes = std::string;

struct Greeting;

class FakeServer {
 public:
  // What a Do step gets: the accepted connection.
  class Session {
   public:
    // Sends the bytes; false when the client is gone.
    bool Send(std::string_view bytes);
    // Reads exactly n bytes (recorded); nullopt on end of stream or timeout.
    std::optional<Bytes> Read(size_t n);
    // Reads one plain packet (4-byte header + payload), recorded as a frame.
    std::optional<Bytes> ReadPacket();
    // The connection's socket, for a step that speaks TLS on it itself.
    int Socket() const { return server_.connFd_; }

   private:
    friend class FakeServer;
    explicit Session(FakeServer& server) : server_(server) {}
    FakeServer& server_;
  };

  FakeServer();
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  const std::string& Host() const { return host_; }
  int Port() const { return listener_.Port(); }

  // --- Script steps; each returns *this for chaining. -----------------------

  // Sends the bytes exactly as given.
  FakeServer& Send(Bytes bytes);
  // Sends the payload framed as a plain packet with the sequence number.
  FakeServer& SendPacket(std::string_view payload, uint8_t sequence);
  // Reads exactly n bytes from the client (recorded as one frame).
  FakeServer& ReadBytes(size_t n);
  // Reads one plain client packet: 3-byte length, sequence, payload.
  FakeServer& ReadPacket();
  // Reads one compressed client packet: 7-byte header, then the data.
  FakeServer& ReadCompressedPacket();
  // Reads and records everything until the client closes its side.
  FakeServer& ReadUntilClosed();
  // Pauses the script.
  FakeServer& Sleep(std::chrono::milliseconds pause);
  // Keeps the connection open without sending anything until the client
  // closes it (what arrives meanwhile is recorded) or the server is stopped.
  FakeServer& StaySilent();
  // Closes the current connection (orderly: the client reads end of stream).
  // Bytes that arrived unread are taken in first and go to Received().
  FakeServer& Close();
  // Closes the current connection, if any, and accepts the next one.
  FakeServer& Accept();
  // Reads one plain client packet and answers with the payloads, framed as
  // packets numbered on from the one read.
  FakeServer& Reply(std::vector<Bytes> payloads);
  // Reads one compressed client packet and answers with one compressed
  // packet numbered on from it, holding the payloads as plain packets
  // numbered the same way; compress selects zlib or the uncompressed form.
  FakeServer& ReplyCompressed(std::vector<Bytes> payloads, bool compress);
  // The start of a session: the greeting (sequence 0), the client's login
  // packet (recorded), then the given answer (normally an OK) as sequence 2.
  FakeServer& Handshake(const Greeting& greeting, Bytes answer);
  // Runs arbitrary code against the connection; returning false fails the
  // script with the given reason.
  FakeServer& Do(std::function<bool(Session&)> step, std::string what = "custom step");

  // --- Results --------------------------------------------------------------

  // Waits until every step appended so far has run (or the script failed).
  // False on timeout.
  bool WaitIdle(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // Empty while every step succeeded.
  std::string Error() const;
  // Every byte received from clients, in order.
  Bytes Received() const;
  // The frames recorded by the read steps, one per step (or per packet).
  std::vector<Bytes> Frames() const;
  // Connections accepted so far.
  int Connections() const;
  // How long a read step waits for the client before failing (default 5 s).
  void SetStepTimeout(std::chrono::milliseconds timeout);

 private:
  struct Step {
    std::string what;
    std::function<bool(Session&)> run;
    bool needsConnection = true;
  };

  FakeServer& Add(std::string what, std::function<bool(Session&)> run, bool needsConnection = true);
  void Worker();
  bool EnsureConnection();
  bool AcceptOne();
  void CloseConnection();
  bool SendAll(std::string_view bytes);
  // Reads exactly n bytes into out; false on end of stream, stop or timeout.
  bool ReadExact(size_t n, Bytes& out);
  // Reads one compressed frame (7-byte header, then its data) and records
  // it, whole or as far as it came; nullopt when it did not come whole.
  std::optional<Bytes> ReadCompressedFrame();
  // Waits until the connection is readable; false on stop or timeout.
  bool WaitReadable(std::chrono::steady_clock::time_point deadline);
  void Record(std::string_view bytes, bool asFrame);
  // Now plus the step timeout.
  std::chrono::steady_clock::time_point Deadline() const;

  std::string host_ = "127.0.0.1";
  LoopbackListener listener_;
  int connFd_ = -1;  // touched only by the worker after construction

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Step> steps_;
  size_t running_ = 0;  // 1 while the worker executes a step
  std::atomic<bool> stop_{false};
  size_t stepNumber_ = 0;  // worker only
  std::string problem_;    // worker only: why the last read failed
  std::string error_;
  Bytes received_;
  std::vector<Bytes> frames_;
  int connections_ = 0;
  std::chrono::milliseconds stepTimeout_{5000};
  std::thread worker_;
};

// --- Integers and length-coded values ---------------------------------------

Bytes Int1(uint8_t v);
Bytes Int2(uint16_t v);
Bytes Int3(uint32_t v);
Bytes Int4(uint32_t v);
Bytes Int8(uint64_t v);
// A length-coded integer in its shortest form (1, 3, 4 or 9 bytes).
Bytes LengthCoded(uint64_t v);
// A length-coded integer in the 8-byte form (254 + 8 bytes) whatever its size.
Bytes LengthCoded8(uint64_t v);
// A length-coded text: its length, then its bytes.
Bytes LengthCodedText(std::string_view text);
// The NULL marker (251).
Bytes NullValue();

// --- Framing ----------------------------------------------------------------

// 3-byte payload length, sequence number, payload.
Bytes Packet(std::string_view payload, uint8_t sequence);
// Frames each payload as a packet, numbering from firstSequence (wrapping).
Bytes Packets(const std::vector<Bytes>& payloads, uint8_t firstSequence);
// Compressed frame: length of data as sent (3), sequence (1), length before
// compression (3; 0 = not compressed), data. With compress false the data
// goes as it is with the third field 0; with compress true it is compressed
// with zlib and the third field holds data.size().
Bytes CompressedPacket(std::string_view data, uint8_t sequence, bool compress);
// Compressed frame with the data and the third field exactly as given.
Bytes RawCompressedPacket(std::string_view wireData, uint8_t sequence, uint32_t uncompressedLength);
// zlib compress / uncompress (uncompress needs the original length).
Bytes ZlibCompress(std::string_view data);
std::optional<Bytes> ZlibUncompress(std::string_view data, size_t originalLength);

// --- Reading client frames ---------------------------------------------------

// The payload of a plain frame (bytes after the 4-byte header).
Bytes PayloadOf(std::string_view frame);
// The sequence byte of a plain or compressed frame.
uint8_t SequenceOf(std::string_view frame);
// The data of a compressed frame, uncompressed when its third field says so;
// nullopt when the frame is malformed.
std::optional<Bytes> DecodeCompressed(std::string_view frame);

// --- Server payloads ---------------------------------------------------------

struct Greeting {
  // How far the greeting goes: only the first seed part, plus the capability
  // flags, plus character set/status/filler, or everything with the second
  // seed part (what 4.1 and later servers send).
  enum class Layout { kSeedOnly, kCapabilities, kNoSecondSeed, kFull };

  uint8_t protocol = 10;
  std::string version = "5.0.51a-community";
  uint32_t threadId = 7;
  // 20 bytes: the first 8 go in the first part, the rest in the second.
  std::string seed = "abcdefgh12345678ijkl";
  uint16_t capabilities = 0xF7FF;  // everything but CLIENT_SSL
  uint8_t charset = 8;             // latin1
  uint16_t status = 2;             // autocommit
  Layout layout = Layout::kFull;
};

Bytes GreetingPayload(const Greeting& g);
// A protocol-9 greeting: version, thread id and the 8-byte seed only.
Bytes Protocol9GreetingPayload(std::string_view version = "3.22.32", uint32_t threadId = 3,
                               std::string_view seed = "abcdefgh");

struct Ok {
  uint64_t affectedRows = 0;
  uint64_t insertId = 0;
  bool withStatus = true;  // servers with transactions send the status
  uint16_t status = 2;
  bool withWarnings = true;  // 4.1 layout
  uint16_t warnings = 0;
  std::string info;  // sent as a length-coded text when not empty
};

Bytes OkPayload(const Ok& ok = Ok());
// 255, the number (2 bytes), the text. ErrorPayload(n, "") is the 3-byte form.
Bytes ErrorPayload(uint16_t number, std::string_view text);
// 255, the number, "#", the five-character SQL state, the text.
Bytes ErrorPayload41(uint16_t number, std::string_view sqlState, std::string_view text);
// A protocol-9 error: 255 and the text.
Bytes ErrorPayload9(std::string_view text);
// 254, then warnings and status (2 + 2 bytes) in the 4.1 layout.
Bytes EofPayload(bool protocol41 = true, uint16_t warnings = 0, uint16_t status = 2);
// The result-set header: the column count (length-coded).
Bytes ResultHeaderPayload(uint64_t columnCount);

struct Column {
  std::string catalog = "def";
  std::string database = "tolvex_test";
  std::string table = "t";
  std::string orgTable = "t";
  std::string name;
  std::string orgName;
  uint16_t charset = 8;
  uint32_t length = 11;
  uint8_t type = 3;  // long
  uint16_t flags = 0;
  uint8_t decimals = 0;
};

// 4.1 layout: six texts, then the 12-byte binary part (charset, length,
// type, flags, decimals, two filler bytes).
Bytes ColumnPayload41(const Column& c);
// Older layout: table, name, length (3), type (1), flags and decimals
// (2 + 1 with longFlag, else 1 + 1), each as a length-coded value.
Bytes ColumnPayloadOld(const Column& c, bool longFlag);
// One text row; nullopt values go as NULL.
Bytes RowPayload(const std::vector<std::optional<std::string>>& values);

// A whole result set after a query, numbered from firstSequence: header,
// column definitions, end-of-data, rows, end-of-data. The layout follows
// protocol41 (4.1 columns and end-of-data fields) and longFlag (older layout).
Bytes ResultSet(const std::vector<Column>& columns,
                const std::vector<std::vector<std::optional<std::string>>>& rows,
                uint8_t firstSequence = 1, bool protocol41 = true, bool longFlag = true);

}  // namespace support
