#include "os/Download.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace os {
namespace {

constexpr int kMaxRedirects = 5;
constexpr size_t kMaxHeaderBytes = 64 * 1024;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string Trim(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r'))
    --end;
  return std::string(text.substr(begin, end - begin));
}

// Owns one socket descriptor.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

std::unique_ptr<Socket> Connect(const HttpUrl& url, int timeoutSeconds, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string port = std::to_string(url.port);
  int rc = getaddrinfo(url.host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    error = "cannot resolve " + url.host + ": " + gai_strerror(rc);
    return nullptr;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
  error = "cannot connect to " + url.host;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    auto socket =
        std::make_unique<Socket>(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, 0));
    if (socket->fd() < 0) continue;
    int flags = fcntl(socket->fd(), F_GETFL);
    fcntl(socket->fd(), F_SETFL, flags | O_NONBLOCK);
    int c = connect(socket->fd(), a->ai_addr, a->ai_addrlen);
    if (c != 0 && errno != EINPROGRESS) continue;
    if (c != 0) {
      pollfd p{socket->fd(), POLLOUT, 0};
      if (poll(&p, 1, timeoutSeconds * 1000) != 1) continue;
      int soError = 0;
      socklen_t length = sizeof soError;
      getsockopt(socket->fd(), SOL_SOCKET, SO_ERROR, &soError, &length);
      if (soError != 0) {
        error = "cannot connect to " + url.host + ": " + std::strerror(soError);
        continue;
      }
    }
    fcntl(socket->fd(), F_SETFL, flags);
    timeval limit{timeoutSeconds, 0};
    setsockopt(socket->fd(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(socket->fd(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    error.clear();
    return socket;
  }
  return nullptr;
}

bool SendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// -1 on error, 0 at the end of the stream, otherwise the byte count.
ssize_t Receive(int fd, char* buffer, size_t size) {
  for (;;) {
    ssize_t n = recv(fd, buffer, size, 0);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

struct Answer {
  int status = 0;
  std::optional<unsigned long long> contentLength;
  std::string location;
  bool chunked = false;
  std::string bodyStart;  // body bytes that arrived with the header
};

bool ReadHeader(int fd, Answer& answer, std::string& error) {
  std::string data;
  char buffer[4096];
  size_t end = std::string::npos;
  while ((end = data.find("\r\n\r\n")) == std::string::npos) {
    if (data.size() > kMaxHeaderBytes) {
      error = "answer header too long";
      return false;
    }
    ssize_t n = Receive(fd, buffer, sizeof buffer);
    if (n <= 0) {
      error = n == 0 ? "connection closed before the answer header ended"
                     : std::string("cannot read the answer: ") + std::strerror(errno);
      return false;
    }
    data.append(buffer, static_cast<size_t>(n));
  }
  answer.bodyStart = data.substr(end + 4);
  std::string_view header(data.data(), end);

  size_t lineEnd = header.find("\r\n");
  std::string_view statusLine = header.substr(0, lineEnd);
  // "HTTP/1.x NNN reason"
  if (statusLine.size() < 12 || Lower(statusLine.substr(0, 5)) != "http/" ||
      statusLine.find(' ') == std::string_view::npos) {
    error = "not an HTTP answer";
    return false;
  }
  std::string_view code = statusLine.substr(statusLine.find(' ') + 1, 3);
  if (code.size() != 3 || !std::all_of(code.begin(), code.end(), ::isdigit)) {
    error = "not an HTTP answer";
    return false;
  }
  answer.status = std::stoi(std::string(code));

  while (lineEnd != std::string_view::npos) {
    size_t start = lineEnd + 2;
    lineEnd = header.find("\r\n", start);
    std::string_view line = header.substr(
        start, lineEnd == std::string_view::npos ? std::string_view::npos : lineEnd - start);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string name = Lower(Trim(line.substr(0, colon)));
    std::string value = Trim(line.substr(colon + 1));
    if (name == "content-length") {
      if (value.empty() || !std::all_of(value.begin(), value.end(), ::isdigit)) {
        error = "bad Content-Length";
        return false;
      }
      answer.contentLength = std::stoull(value);
    } else if (name == "location") {
      answer.location = value;
    } else if (name == "transfer-encoding" && Lower(value) != "identity") {
      answer.chunked = true;
    }
  }
  return true;
}

// Writes the body to `partPath`; true when it arrived whole.
bool ReceiveBody(int fd, const Answer& answer, const std::string& partPath, std::string& error) {
  std::unique_ptr<FILE, decltype(&fclose)> file(fopen(partPath.c_str(), "wb"), fclose);
  if (!file) {
    error = "cannot create " + partPath + ": " + std::strerror(errno);
    return false;
  }
  unsigned long long received = 0;
  auto write = [&](const char* data, size_t size) {
    if (answer.contentLength) {
      size =
          static_cast<size_t>(std::min<unsigned long long>(size, *answer.contentLength - received));
    }
    if (size > 0 && fwrite(data, 1, size, file.get()) != size) {
      error = "cannot write " + partPath + ": " + std::strerror(errno);
      return false;
    }
    received += size;
    return true;
  };
  if (!write(answer.bodyStart.data(), answer.bodyStart.size())) return false;
  char buffer[16384];
  while (!answer.contentLength || received < *answer.contentLength) {
    ssize_t n = Receive(fd, buffer, sizeof buffer);
    if (n < 0) {
      error = std::string("cannot read the body: ") + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    if (!write(buffer, static_cast<size_t>(n))) return false;
  }
  if (answer.contentLength && received < *answer.contentLength) {
    error = "connection closed after " + std::to_string(received) + " of " +
            std::to_string(*answer.contentLength) + " bytes";
    return false;
  }
  FILE* raw = file.release();
  if (fflush(raw) != 0 || fsync(fileno(raw)) != 0) {
    error = "cannot write " + partPath + ": " + std::strerror(errno);
    fclose(raw);
    return false;
  }
  if (fclose(raw) != 0) {
    error = "cannot write " + partPath + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string HostHeader(const HttpUrl& url) {
  std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
  if (url.port != 80) host += ":" + std::to_string(url.port);
  return host;
}

}  // namespace

std::optional<HttpUrl> ParseHttpUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (url.size() < kScheme.size() || Lower(url.substr(0, kScheme.size())) != kScheme) {
    return std::nullopt;
  }
  std::string_view rest = url.substr(kScheme.size());
  size_t slash = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, slash);
  HttpUrl out;
  out.path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  if (out.path[0] == '?') out.path.insert(0, "/");
  std::string_view portText;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    out.host = std::string(authority.substr(1, close - 1));
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after[0] != ':') return std::nullopt;
      portText = after.substr(1);
    }
  } else {
    size_t colon = authority.find(':');
    out.host = std::string(authority.substr(0, colon));
    if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
  }
  if (out.host.empty()) return std::nullopt;
  if (!portText.empty()) {
    if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), ::isdigit)) {
      return std::nullopt;
    }
    int port = std::stoi(std::string(portText));
    if (port < 1 || port > 65535) return std::nullopt;
    out.port = static_cast<uint16_t>(port);
  }
  return out;
}

DownloadResult HttpDownload(const std::string& url, const std::string& targetPath,
                            int timeoutSeconds) {
  DownloadResult result;
  std::string address = url;
  for (int redirect = 0; redirect <= kMaxRedirects; ++redirect) {
    auto parsed = ParseHttpUrl(address);
    if (!parsed) {
      result.error = "not an http address: " + address;
      return result;
    }
    auto socket = Connect(*parsed, timeoutSeconds, result.error);
    if (!socket) return result;
    std::string request = "GET " + parsed->path + " HTTP/1.0\r\nHost: " + HostHeader(*parsed) +
                          "\r\nUser-Agent: Tolvex\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    if (!SendAll(socket->fd(), request)) {
      result.error = std::string("cannot send the request: ") + std::strerror(errno);
      return result;
    }
    Answer answer;
    if (!ReadHeader(socket->fd(), answer, result.error)) return result;
    result.status = answer.status;

    bool redirected = answer.status == 301 || answer.status == 302 || answer.status == 303 ||
                      answer.status == 307 || answer.status == 308;
    if (redirected && !answer.location.empty()) {
      if (answer.location[0] == '/') {
        address = "http://" + HostHeader(*parsed) + answer.location;
      } else {
        address = answer.location;
      }
      continue;
    }
    if (answer.status != 200) {
      result.error = "server answered " + std::to_string(answer.status);
      return result;
    }
    if (answer.chunked) {
      result.error = "chunked answer to an HTTP/1.0 request";
      return result;
    }
    std::string partPath = targetPath + ".part";
    if (!ReceiveBody(socket->fd(), answer, partPath, result.error)) {
      std::remove(partPath.c_str());
      return result;
    }
    if (std::rename(partPath.c_str(), targetPath.c_str()) != 0) {
      result.error = "cannot rename " + partPath + ": " + std::strerror(errno);
      std::remove(partPath.c_str());
      return result;
    }
    result.ok = true;
    return result;
  }
  result.error = "too many redirects";
  return result;
}

}  // namespace os
