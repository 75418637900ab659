// Decoders, row store, login packet and password scrambles of the wire client.

#include "wire/MysqlProtocol.h"

#include <openssl/sha.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "wire/AuthCrypto.h"

namespace wire {

namespace {

constexpr std::uint32_t kNullBit = 0x80000000u;
constexpr std::uint32_t kOffsetMask = 0x7FFFFFFFu;
// Rows are carved out of blocks of this size; a row larger than a quarter
// of it gets a block of its own.
constexpr std::size_t kBlockSize = 256 * 1024;

// Byte i of a payload, 0 past its end (the packet layer puts a zero there).
std::uint8_t At(const std::uint8_t* p, std::size_t n, std::size_t i) {
  return i < n ? p[i] : 0;
}

// Zero-terminated text of at most max bytes starting at offset, bounded by n.
std::string TextAt(const std::uint8_t* p, std::size_t n, std::size_t offset, std::size_t max) {
  if (offset >= n) return {};
  std::size_t limit = std::min(max, n - offset);
  const char* s = reinterpret_cast<const char*>(p + offset);
  return std::string(s, strnlen(s, limit));
}

}  // namespace

// ------------------------------------------------------------- TPacketReader

bool TPacketReader::Skip(std::size_t n) {
  if (Left() < n) return false;
  p_ += n;
  return true;
}

bool TPacketReader::Int1(std::uint32_t& v) {
  if (Left() < 1) return false;
  v = p_[0];
  p_ += 1;
  return true;
}

bool TPacketReader::Int2(std::uint32_t& v) {
  if (Left() < 2) return false;
  v = p_[0] | (p_[1] << 8);
  p_ += 2;
  return true;
}

bool TPacketReader::Int3(std::uint32_t& v) {
  if (Left() < 3) return false;
  v = p_[0] | (p_[1] << 8) | (static_cast<std::uint32_t>(p_[2]) << 16);
  p_ += 3;
  return true;
}

bool TPacketReader::Int4(std::uint32_t& v) {
  if (Left() < 4) return false;
  v = p_[0] | (p_[1] << 8) | (static_cast<std::uint32_t>(p_[2]) << 16) |
      (static_cast<std::uint32_t>(p_[3]) << 24);
  p_ += 4;
  return true;
}

bool TPacketReader::LengthCoded64(std::uint64_t& v, bool& isNull) {
  isNull = false;
  if (Left() < 1) return false;
  std::uint8_t first = *p_;
  std::size_t size;
  if (first <= 250) {
    v = first;
    ++p_;
    return true;
  } else if (first == 251) {
    isNull = true;
    v = ~std::uint64_t{0};
    ++p_;
    return true;
  } else if (first == 252) {
    size = 2;
  } else if (first == 253) {
    size = 3;
  } else if (first == 254) {
    size = 8;
  } else {
    return false;
  }
  if (Left() < size + 1) return false;
  v = 0;
  for (std::size_t i = 0; i < size; ++i) v |= static_cast<std::uint64_t>(p_[1 + i]) << (8 * i);
  p_ += size + 1;
  return true;
}

bool TPacketReader::LengthCoded32(std::uint32_t& v, bool& isNull) {
  std::uint64_t wide;
  if (!LengthCoded64(wide, isNull)) return false;
  v = static_cast<std::uint32_t>(wide);
  return true;
}

// ------------------------------------------------------------------ greeting

bool ParseGreeting(const std::uint8_t* p, std::size_t n, TMysqlGreeting& g) {
  g = TMysqlGreeting();
  if (n < 2) return false;
  g.protocol = p[0];
  const char* version = reinterpret_cast<const char*>(p + 1);
  std::size_t L = strnlen(version, n - 1);
  if (L == n - 1) return false;  // no terminating zero inside the packet
  g.serverVersion.assign(version, L);
  if (n < L + 6) return false;
  g.threadId = p[L + 2] | (p[L + 3] << 8) | (static_cast<std::uint32_t>(p[L + 4]) << 16) |
               (static_cast<std::uint32_t>(p[L + 5]) << 24);
  g.seed = TextAt(p, n, L + 6, 8);
  g.is410 = g.serverVersion.compare(0, 5, "4.1.0") == 0;
  if (n >= L + 16) g.capabilities = At(p, n, L + 15) | (At(p, n, L + 16) << 8);
  if (n >= L + 33) {
    g.hasCharsetAndStatus = true;
    g.charset = p[L + 17];
    g.status = p[L + 18] | (p[L + 19] << 8);
    g.pluginAuth = (p[L + 20] & 0x08) != 0;  // 0x80000 in the upper flags
  }
  if (n >= L + 45) {
    g.seed += TextAt(p, n, L + 33, 12);
    // The second seed part takes max(13, seed length - 8) bytes; the name
    // of the default method follows.
    const std::size_t second = std::max<std::size_t>(13, p[L + 22] > 8 ? p[L + 22] - 8 : 0);
    if (g.pluginAuth && n > L + 33 + second)
      g.authMethod = TextAt(p, n, L + 33 + second, n - (L + 33 + second));
  } else if (n >= L + 33 && !g.is410) {
    g.capabilities &= ~0x8000u;  // no room for a 20-byte seed: no secure login
  }
  return true;
}

// ----------------------------------------------------------------- OK packet

bool ParseOkPacket(const std::uint8_t* data, std::size_t length, std::uint32_t serverCapabilities,
                   std::uint32_t clientFlags, TMysqlOkPacket& ok) {
  ok = TMysqlOkPacket();
  TPacketReader r(data, length);
  bool isNull;
  std::uint64_t fieldCount;
  if (!r.LengthCoded64(fieldCount, isNull) || !r.LengthCoded64(ok.affectedRows, isNull) ||
      !r.LengthCoded64(ok.insertId, isNull)) {
    return false;
  }
  if (serverCapabilities & CLIENT_TRANSACTIONS) ok.hasStatus = r.Int2(ok.status);
  if (clientFlags & CLIENT_RESERVED) ok.hasWarnings = r.Int2(ok.warnings);
  std::uint64_t infoLength;
  if (r.Left() > 0 && r.LengthCoded64(infoLength, isNull) && !isNull && infoLength != 0) {
    ok.info.assign(reinterpret_cast<const char*>(r.Pos()), r.Left());
  }
  return true;
}

// --------------------------------------------------------------- row store

TMysqlRowSet::TMysqlRowSet(std::uint32_t columns) : columns_(columns) {}
TMysqlRowSet::~TMysqlRowSet() = default;

std::uint32_t* TMysqlRowSet::Allocate(std::size_t bytes) {
  bytes = (bytes + 7) & ~std::size_t{7};
  if (bytes > kBlockSize / 4) {
    auto block = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
    auto* at = reinterpret_cast<std::uint32_t*>(block.get());
    blocks_.push_back(std::move(block));
    allocated_ += bytes;
    return at;
  }
  if (bytes > left_) {
    blocks_.push_back(std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSize));
    free_ = blocks_.back().get();
    left_ = kBlockSize;
    allocated_ += kBlockSize;
  }
  auto* at = reinterpret_cast<std::uint32_t*>(free_);
  free_ += bytes;
  left_ -= bytes;
  return at;
}

void TMysqlRowSet::GiveBack(std::size_t bytes) {
  bytes &= ~std::size_t{7};
  free_ -= bytes;
  left_ += bytes;
}

bool TMysqlRowSet::Decode(const std::uint8_t* data, std::size_t length, std::uint32_t columns,
                          std::vector<std::uint32_t>& record) {
  // The values never need more bytes than the packet: each has a length
  // prefix of at least one byte where the record has its terminating zero.
  std::size_t words = columns + 1 + (length + 3) / 4;
  record.resize(words);
  std::uint32_t* offsets = record.data();
  auto* bytes = reinterpret_cast<std::uint8_t*>(offsets + columns + 1);
  TPacketReader r(data, length);
  std::uint32_t pos = 0;
  for (std::uint32_t i = 0; i < columns; ++i) {
    std::uint32_t n;
    bool isNull;
    if (!r.LengthCoded32(n, isNull)) return false;
    if (isNull) {
      offsets[i] = pos | kNullBit;
      continue;
    }
    if (r.Left() < n) return false;
    offsets[i] = pos;
    std::memcpy(bytes + pos, r.Pos(), n);
    bytes[pos + n] = 0;
    r.Skip(n);
    pos += n + 1;
  }
  offsets[columns] = pos;
  return true;
}

bool TMysqlRowSet::Append(const std::uint8_t* data, std::size_t length,
                          std::vector<TMysqlColumn>* maxLengths) {
  const std::size_t head = (columns_ + 1) * sizeof(std::uint32_t);
  const std::size_t reserved = ((head + length + 7) & ~std::size_t{7});
  std::uint32_t* offsets = Allocate(reserved);
  auto* bytes = reinterpret_cast<std::uint8_t*>(offsets + columns_ + 1);
  const std::uint8_t* p = data;
  const std::uint8_t* end = data + length;
  std::uint32_t pos = 0;
  for (std::uint32_t i = 0; i < columns_; ++i) {
    // Length-coded value length, inline for speed (most rows are short).
    if (p >= end) goto malformed;
    std::uint32_t n;
    if (*p <= 250) {
      n = *p++;
    } else if (*p == 251) {
      ++p;
      offsets[i] = pos | kNullBit;
      continue;
    } else {
      TPacketReader r(p, static_cast<std::size_t>(end - p));
      bool isNull;
      if (!r.LengthCoded32(n, isNull)) goto malformed;
      p = r.Pos();
    }
    if (static_cast<std::size_t>(end - p) < n) goto malformed;
    offsets[i] = pos;
    std::memcpy(bytes + pos, p, n);
    bytes[pos + n] = 0;
    p += n;
    pos += n + 1;
    if (maxLengths && n > (*maxLengths)[i].maxLength) (*maxLengths)[i].maxLength = n;
  }
  offsets[columns_] = pos;
  if (reserved <= kBlockSize / 4) {
    std::size_t used = (head + pos + 7) & ~std::size_t{7};
    GiveBack(reserved - used);
  }
  rows_.push_back(offsets);
  return true;

malformed:
  if (reserved <= kBlockSize / 4) GiveBack(reserved);
  return false;
}

const char* TMysqlRowSet::Value(Record row, std::uint32_t columns, std::uint32_t i) {
  std::uint32_t off = row[i];
  if (off & kNullBit) return nullptr;
  return reinterpret_cast<const char*>(row + columns + 1) + off;
}

std::size_t TMysqlRowSet::Length(Record row, std::uint32_t columns, std::uint32_t i) {
  (void)columns;
  std::uint32_t off = row[i];
  if (off & kNullBit) return 0;
  return (row[i + 1] & kOffsetMask) - off - 1;
}

// --------------------------------------------------------- column descriptors

bool MakeColumns(const TMysqlRowSet& definitions, bool protocol41, bool longFlag,
                 std::vector<TMysqlColumn>& columns) {
  const std::uint32_t k = definitions.Columns();
  columns.clear();
  columns.reserve(definitions.Size());
  auto text = [&](TMysqlRowSet::Record row, std::uint32_t i) {
    const char* v = TMysqlRowSet::Value(row, k, i);
    return v ? std::string(v, TMysqlRowSet::Length(row, k, i)) : std::string();
  };
  for (std::size_t r = 0; r < definitions.Size(); ++r) {
    TMysqlRowSet::Record row = definitions.Row(r);
    TMysqlColumn c;
    if (protocol41) {
      if (k < 7) return false;
      c.catalog = text(row, 0);
      c.db = text(row, 1);
      c.table = text(row, 2);
      c.orgTable = text(row, 3);
      c.name = text(row, 4);
      c.orgName = text(row, 5);
      const auto* b = reinterpret_cast<const std::uint8_t*>(TMysqlRowSet::Value(row, k, 6));
      if (b && TMysqlRowSet::Length(row, k, 6) >= 10) {
        c.charsetNr = b[0] | (b[1] << 8);
        c.length = b[2] | (b[3] << 8) | (static_cast<std::uint32_t>(b[4]) << 16) |
                   (static_cast<std::uint32_t>(b[5]) << 24);
        c.type = b[6];
        c.flags = b[7] | (b[8] << 8);
        c.decimals = b[9];
      }
    } else {
      if (k < 5) return false;
      c.table = text(row, 0);
      c.name = text(row, 1);
      auto bytes = [&](std::uint32_t i) {
        const auto* v = reinterpret_cast<const std::uint8_t*>(TMysqlRowSet::Value(row, k, i));
        std::size_t n = v ? TMysqlRowSet::Length(row, k, i) : 0;
        return std::pair<const std::uint8_t*, std::size_t>(v, n);
      };
      auto [lp, ln] = bytes(2);
      c.length =
          At(lp, ln, 0) | (At(lp, ln, 1) << 8) | (static_cast<std::uint32_t>(At(lp, ln, 2)) << 16);
      auto [tp, tn] = bytes(3);
      c.type = At(tp, tn, 0);
      auto [fp, fn] = bytes(4);
      if (longFlag) {
        c.flags = At(fp, fn, 0) | (At(fp, fn, 1) << 8);
        c.decimals = At(fp, fn, 2);
      } else {
        c.flags = At(fp, fn, 0);
        c.decimals = At(fp, fn, 1);
      }
    }
    if ((c.type <= MYSQL_TYPE_INT24 && c.type != MYSQL_TYPE_TIMESTAMP) ||
        (c.type == MYSQL_TYPE_TIMESTAMP && (c.length == 14 || c.length == 8)) ||
        c.type == MYSQL_TYPE_YEAR) {
      c.flags |= NUM_FLAG;
    }
    if (c.type == MYSQL_TYPE_BIT) c.flags |= UNSIGNED_FLAG;
    c.maxLength = 0;
    columns.push_back(std::move(c));
  }
  return true;
}

// ----------------------------------------------------------------- scrambles

namespace {

std::string Sha1(const std::string& data) {
  unsigned char digest[SHA_DIGEST_LENGTH];
  SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
  return std::string(reinterpret_cast<char*>(digest), SHA_DIGEST_LENGTH);
}

std::string Xor(const std::string& a, const std::string& b) {
  std::string out(a);
  for (std::size_t i = 0; i < out.size() && i < b.size(); ++i)
    out[i] = static_cast<char>(out[i] ^ b[i]);
  return out;
}

// The random generator of the pre-4.1 scramble.
struct OldRandom {
  static constexpr std::uint64_t kMax = 0x3FFFFFFF;
  std::uint64_t seed1, seed2;
  OldRandom(std::uint32_t a, std::uint32_t b) : seed1(a % kMax), seed2(b % kMax) {}
  double Next() {
    seed1 = (seed1 * 3 + seed2) % kMax;
    seed2 = (seed1 + seed2 + 33) % kMax;
    return static_cast<double>(seed1) / static_cast<double>(kMax);
  }
};

}  // namespace

std::string ScrambleSha1(const std::string& password, const std::string& seed) {
  std::string seed20 = seed.substr(0, 20);
  seed20.resize(20, '\0');
  std::string stage1 = Sha1(password);
  std::string stage2 = Sha1(stage1);
  return Xor(Sha1(seed20 + stage2), stage1);
}

void OldPasswordHash(const std::string& text, std::uint32_t& first, std::uint32_t& second) {
  std::uint32_t nr = 1345345333u, add = 7, nr2 = 0x12345671u;
  for (unsigned char b : text) {
    if (b == ' ' || b == '\t') continue;
    nr ^= (((nr & 63) + add) * b) + (nr << 8);
    nr2 += (nr2 << 8) ^ nr;
    add += b;
  }
  first = nr & 0x7FFFFFFFu;
  second = nr2 & 0x7FFFFFFFu;
}

std::string ScrambleOld(const std::string& password, const std::string& message) {
  std::string m(message.c_str());  // up to the first zero byte
  std::uint32_t h1, h2, m1, m2;
  OldPasswordHash(password, h1, h2);
  OldPasswordHash(m, m1, m2);
  OldRandom rnd(h1 ^ m1, h2 ^ m2);
  std::string out(m.size(), '\0');
  for (char& c : out) c = static_cast<char>(static_cast<int>(std::floor(rnd.Next() * 31)) + 64);
  char extra = static_cast<char>(static_cast<int>(std::floor(rnd.Next() * 31)));
  for (char& c : out) c = static_cast<char>(c ^ extra);
  return out;
}

std::string Scramble410Answer(const std::string& password, const std::uint8_t* challenge) {
  std::string head(reinterpret_cast<const char*>(challenge), 4);
  std::string tail(reinterpret_cast<const char*>(challenge + 4), 20);
  if (challenge[0] != '*') {
    std::string bare;
    for (char c : password) {
      if (c != ' ' && c != '\t') bare += c;
    }
    std::string stage1 = Sha1(bare);
    std::string stage2 = Sha1(head + stage1);
    return Xor(stage1, Xor(tail, stage2));
  }
  std::uint32_t h1, h2;
  OldPasswordHash(password, h1, h2);
  std::string words(8, '\0');
  for (int i = 0; i < 4; ++i) {
    words[i] = static_cast<char>(h1 >> (24 - 8 * i));
    words[4 + i] = static_cast<char>(h2 >> (24 - 8 * i));
  }
  std::string t = Xor(tail, Sha1(words));
  std::string answer = ScrambleOld(password, t.substr(0, 8));
  answer.resize(20, '\0');
  return answer;
}

// ------------------------------------------------------------- login packet

std::string BuildLoginPacket(const TLoginRequest& q, std::size_t& headerLength) {
  std::string out;
  out.reserve(180);
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(v >> (8 * i));
  };
  if (q.clientFlags & CLIENT_RESERVED) {
    put(q.clientFlags, 4);
    put(16777216, 4);
    put(q.serverCharset, 1);
    out.append(23, '\0');
  } else {
    put(q.clientFlags, 2);
    put(0, 3);
  }
  headerLength = out.size();
  out += q.user.substr(0, 32);
  out += '\0';
  if (q.password.empty()) {
    out += '\0';
  } else if ((q.serverCapabilities & CLIENT_SECURE_CONNECTION) && q.serverIs410) {
    out += "xxxxxxxx";
    out += '\0';
  } else if (q.authMethod == kAuthCachingSha2) {
    const std::string scramble = ScrambleSha256(q.password, q.seed);
    out += static_cast<char>(scramble.size());
    out += scramble;
  } else if (q.serverCapabilities & CLIENT_SECURE_CONNECTION) {
    out += static_cast<char>(20);
    out += ScrambleSha1(q.password, q.seed);
  } else {
    out += ScrambleOld(q.password, q.seed.substr(0, 8));
    out += '\0';
  }
  if (q.authMethod.empty()) {
    if (!q.database.empty() && (q.serverCapabilities & CLIENT_CONNECT_WITH_DB))
      out += q.database.substr(0, 64);
    out += '\0';
    return out;
  }
  // With plugin authentication the server reads a database only when the
  // flags announce one, then the method's name.
  if (q.clientFlags & CLIENT_CONNECT_WITH_DB) {
    out += q.database.substr(0, 64);
    out += '\0';
  }
  out += q.authMethod;
  out += '\0';
  return out;
}

}  // namespace wire
