// Plain HTTP download of one file, for the agent's remote-support key.
//
// HttpDownload fetches an http:// address with an HTTP/1.0 GET over a POSIX
// socket and stores the body in a file. It follows up to five redirects to
// other http:// addresses; anything else than a final 200 answer is a
// failure. The body goes to a temporary file beside the target, which is
// renamed over the target only when the whole body has arrived, so a failed
// download never leaves a partial file under the target's name. The call
// blocks the calling thread until it ends or the time limit passes; it keeps
// no state, so separate calls may run on separate threads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace os {

struct HttpUrl {
  std::string host;  // without brackets for an IPv6 literal
  uint16_t port = 80;
  std::string path;  // begins with '/'; includes any query
};

// Splits "http://host[:port][/path]" (scheme case-insensitive). Other
// schemes, an empty host and a bad port give nothing.
std::optional<HttpUrl> ParseHttpUrl(std::string_view url);

struct DownloadResult {
  bool ok = false;
  int status = 0;     // HTTP status of the last answer; 0 when none arrived
  std::string error;  // why it failed; empty on success
};

// Downloads `url` into `targetPath`. `timeoutSeconds` bounds the connection
// and every single read or write on the socket.
DownloadResult HttpDownload(const std::string& url, const std::string& targetPath,
                            int timeoutSeconds = 30);

}  // namespace os
