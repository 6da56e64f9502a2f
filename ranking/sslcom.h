// The HTTPS client of the internet ranking: one blocking HTTP/1.0 request over TLS per call, its whole reply
// returned as text lines. Every call opens and closes its own connection and TLS context.
//
// The server's certificate is verified against the system's trust store and, when given, an extra PEM file, and
// its host name (or IP address) is checked; TLS 1.2 is the least accepted. Resolving, connecting and every wait
// for the server time out, the whole call has a deadline, and a cancel descriptor ends a call at once from another
// thread. Writes never raise SIGPIPE. A reply larger than the cap fails the call.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <openssl/types.h>

#include "core/vxstring.h"

class VXStringList;

// How a request reaches the server; the host ("name", "name:port", "[v6 address]:port"; port 443 by default) is a
// parameter of each call.
struct TSslSettings {
  std::string caFile;               // host path of extra trusted PEM certificates; empty: the system's store only
  int cancelFd = -1;                // readable -> the call ends (TSslCancel::Fd); -1: none
  int connectTimeoutMs = 10'000;    // resolving the host and connecting
  int ioTimeoutMs = 15'000;         // the longest silence of the server during the handshake, request or reply
  int totalTimeoutMs = 60'000;      // the whole call
  std::size_t maxReplyBytes = 1 << 20;
};

// The last error of the calling thread's last request (-1: none). 0 to 4 as the ranking screen knows them; a
// close that fails (4) still counts as done.
enum TSslError : int {
  sslErrNone = -1,
  sslErrStartup = 0,     // never on this system
  sslErrResolve = 1,     // the host does not resolve (an empty or malformed host too)
  sslErrSocket = 2,
  sslErrConnect = 3,
  sslErrClose = 4,
  sslErrTlsSetup = 5,    // the TLS context or the extra certificate file could not be set up
  sslErrHandshake = 6,   // the handshake failed or the certificate was refused
  sslErrSend = 7,        // the request could not be sent (or was malformed)
  sslErrReceive = 8,     // the connection failed while reading the reply
  sslErrTimeout = 9,
  sslErrCancelled = 10,
  sslErrTooLarge = 11,   // the reply outgrew TSslSettings::maxReplyBytes
};
int SslLastError();

// Whether a request to host can be expected to reach it: true for a loopback host (localhost, 127.x.x.x, ::1),
// else true when an interface other than the loopback is up with an address. Nothing is sent.
bool IsInternetConnected(const VXString& host);

// Send a GET (POST with the body unchanged) and append every line of the reply, status line and headers included,
// to lines. True when the request was sent and the reply read to its end; on false the lines are unchanged and
// SslLastError() says why.
bool SslHttpGet(VXStringList* lines, VXString host, VXString path, const TSslSettings& settings = TSslSettings());
bool SslHttpPost(VXStringList* lines, VXString host, VXString path, VXString body,
                 const TSslSettings& settings = TSslSettings());

// A cancel switch for the calls above, safe to flip from any thread: while it is set, every call that watches its
// descriptor ends at once with sslErrCancelled.
class TSslCancel {
public:
  TSslCancel();
  ~TSslCancel();
  TSslCancel(const TSslCancel&) = delete;
  TSslCancel& operator=(const TSslCancel&) = delete;

  void Cancel();
  void Reset();
  bool IsCancelled() const { return cancelled_.load(); }
  int Fd() const { return fd_; }

private:
  int fd_;
  std::atomic<bool> cancelled_{false};
};

// An OpenSSL BIO over a connected socket that writes with MSG_NOSIGNAL, so that a peer that hangs up gives an
// error and never SIGPIPE. Blocking and non-blocking sockets both work; the descriptor stays open when it is freed.
BIO* SslQuietSocketBio(int fd);

// The pieces of a request, open for tests.

// Splits host into the name and the port text; false for an empty name, a port that is not 1..65535, or bytes
// that may not stand in a host.
bool SslSplitHost(std::string_view host, std::string& name, std::string& port);
// The request texts; the Host header carries host as configured (with its port).
std::string SslGetRequest(std::string_view host, std::string_view path);
std::string SslPostRequest(std::string_view host, std::string_view path, std::string_view body);

// Splits a byte stream into lines: CR, LF and CR LF each end one line, also when CR and LF fall into two chunks.
class TSslLineReader {
public:
  void Feed(std::string_view chunk);
  void Finish();  // a non-empty rest becomes the last line
  const std::vector<std::string>& Lines() const { return lines_; }

private:
  std::vector<std::string> lines_;
  std::string current_;
  bool afterCr_ = false;
};
