#include "ranking/sslcom.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "core/vxstrlist.h"
#include "platform/thread.h"

namespace {

thread_local int lastError = sslErrNone;

bool Fail(TSslError error) {
  lastError = error;
  return false;
}

bool IsHostByte(unsigned char c) { return c > 0x20 && c < 0x7F && c != '/' && c != '[' && c != ']'; }

bool IsPathByte(unsigned char c) { return c > 0x20 && c < 0x7F; }

bool IsIpLiteral(const std::string& name) {
  in6_addr addr;
  return inet_pton(AF_INET, name.c_str(), &addr) == 1 || inet_pton(AF_INET6, name.c_str(), &addr) == 1;
}

// A descriptor closed with its owner.
class FileDesc {
public:
  explicit FileDesc(int fd = -1) : fd_(fd) {}
  ~FileDesc() {
    if (fd_ >= 0) close(fd_);
  }
  FileDesc(const FileDesc&) = delete;
  FileDesc& operator=(const FileDesc&) = delete;
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and tells whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

private:
  int fd_;
};

enum class Woke { ready, timedOut, cancelled };

TSslError ErrorOf(Woke woke) { return woke == Woke::cancelled ? sslErrCancelled : sslErrTimeout; }

// The deadlines of one call and the waits on its descriptors, each watching the cancel descriptor.
class Clock {
public:
  explicit Clock(const TSslSettings& settings)
      : cancelFd_(settings.cancelFd), endMs_(NowMs() + std::max(0, settings.totalTimeoutMs)) {}

  static std::int64_t NowMs() { return platform::thread::MonotonicMs(); }

  // A deadline timeoutMs from now, never later than the end of the call.
  std::int64_t Within(int timeoutMs) const { return std::min(endMs_, NowMs() + std::max(0, timeoutMs)); }

  // Waits until fd has one of events, the deadline passes or the call is cancelled.
  Woke Wait(int fd, short events, std::int64_t deadlineMs) const {
    for (;;) {
      pollfd fds[2] = {{fd, events, 0}, {cancelFd_, POLLIN, 0}};
      const nfds_t count = cancelFd_ >= 0 ? 2 : 1;
      const std::int64_t left = deadlineMs - NowMs();
      const int n = poll(fds, count, static_cast<int>(std::clamp<std::int64_t>(left, 0, INT32_MAX)));
      if (n < 0 && errno == EINTR) continue;
      if (count == 2 && fds[1].revents != 0) return Woke::cancelled;
      // A failed poll lets the next operation on fd find the error itself.
      if (n != 0) return Woke::ready;
      if (left <= 0) return Woke::timedOut;
    }
  }

  bool Cancelled() const {
    pollfd fd{cancelFd_, POLLIN, 0};
    return cancelFd_ >= 0 && poll(&fd, 1, 0) > 0 && fd.revents != 0;
  }

private:
  int cancelFd_;
  std::int64_t endMs_;
};

// Name resolution runs on a helper thread so that the caller can give up on it (timeout or cancel) and leave
// the lookup to finish on its own; the shared record lives until both are done with it.
struct Lookup {
  Lookup(std::string n, std::string p) : name(std::move(n)), port(std::move(p)) {}
  ~Lookup() {
    if (result != nullptr) freeaddrinfo(result);
  }
  std::string name;
  std::string port;
  FileDesc done{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  std::atomic<bool> finished{false};
  int status = EAI_FAIL;
  addrinfo* result = nullptr;
};

std::shared_ptr<Lookup> Resolve(const std::string& name, const std::string& port, const Clock& clock,
                                std::int64_t deadlineMs) {
  auto lookup = std::make_shared<Lookup>(name, port);
  if (lookup->done.Get() < 0) return Fail(sslErrResolve), nullptr;
  try {
    std::thread([lookup] {
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_flags = AI_NUMERICSERV;
      lookup->status = getaddrinfo(lookup->name.c_str(), lookup->port.c_str(), &hints, &lookup->result);
      lookup->finished.store(true, std::memory_order_release);
      eventfd_write(lookup->done.Get(), 1);
    }).detach();
  } catch (const std::system_error&) {
    return Fail(sslErrResolve), nullptr;
  }
  const Woke woke = clock.Wait(lookup->done.Get(), POLLIN, deadlineMs);
  if (!lookup->finished.load(std::memory_order_acquire)) {
    return Fail(woke == Woke::ready ? sslErrResolve : ErrorOf(woke)), nullptr;
  }
  if (lookup->status != 0 || lookup->result == nullptr) return Fail(sslErrResolve), nullptr;
  return lookup;
}

// Connects to the first address that answers; -1 with the last error set when none does.
int Connect(const addrinfo* addresses, const Clock& clock, std::int64_t deadlineMs) {
  TSslError error = sslErrSocket;
  for (const addrinfo* a = addresses; a != nullptr; a = a->ai_next) {
    FileDesc fd(socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
    if (fd.Get() < 0) continue;
    error = sslErrConnect;
    if (connect(fd.Get(), a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) continue;
      const Woke woke = clock.Wait(fd.Get(), POLLOUT, deadlineMs);
      if (woke != Woke::ready) return Fail(ErrorOf(woke)), -1;
      int soError = 0;
      socklen_t length = sizeof soError;
      if (getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &soError, &length) != 0 || soError != 0) continue;
    }
    return fd.Release();
  }
  return Fail(error), -1;
}

// A socket BIO that writes with MSG_NOSIGNAL: a peer that hangs up gives an error, not SIGPIPE.
int SocketOf(BIO* bio) { return static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio))); }

int QuietWrite(BIO* bio, const char* data, int length) {
  BIO_clear_retry_flags(bio);
  const ssize_t n = send(SocketOf(bio), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int QuietRead(BIO* bio, char* data, int length) {
  BIO_clear_retry_flags(bio);
  const ssize_t n = recv(SocketOf(bio), data, static_cast<std::size_t>(length), 0);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long QuietCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

}  // namespace

BIO* SslQuietSocketBio(int fd) {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qorm socket");
    BIO_meth_set_write(m, QuietWrite);
    BIO_meth_set_read(m, QuietRead);
    BIO_meth_set_ctrl(m, QuietCtrl);
    return m;
  }();
  BIO* bio = method != nullptr ? BIO_new(method) : nullptr;
  if (bio != nullptr) {
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
    BIO_set_init(bio, 1);
  }
  return bio;
}

namespace {

struct SslDeleter {
  void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};

SSL_CTX* MakeClientContext(const std::string& caFile) {
  std::unique_ptr<SSL_CTX, SslDeleter> ctx(SSL_CTX_new(TLS_client_method()));
  if (ctx == nullptr || SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION) != 1) return nullptr;
  SSL_CTX_set_default_verify_paths(ctx.get());  // a machine without a store may still trust the extra file
  if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx.get(), caFile.c_str(), nullptr) != 1) return nullptr;
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  // HTTP/1.0 servers often close without a TLS close; the reply's own trailer tells a cut reply.
  SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx.get(), SSL_MODE_ENABLE_PARTIAL_WRITE);
  return ctx.release();
}

// The client context for a trust file, made once: reading the system's trust store costs tens of milliseconds
// and takes OpenSSL's global locks. A changed file (time or size) makes a new context. Contexts live as long as
// the process, past OpenSSL's own clean-up at exit, so they are never freed.
SSL_CTX* ClientContext(const std::string& caFile) {
  std::string key = caFile;
  if (struct stat st; !caFile.empty()) {
    if (stat(caFile.c_str(), &st) != 0) return nullptr;
    key += '\n' + std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + '/' +
           std::to_string(st.st_size);
  }
  static std::mutex mutex;
  static auto* const made = new std::map<std::string, SSL_CTX*>();
  std::lock_guard lock(mutex);
  SSL_CTX*& ctx = (*made)[key];
  if (ctx == nullptr) ctx = MakeClientContext(caFile);
  return ctx;
}

// Binds the connection to the name the certificate must carry; names (not addresses) also go out as SNI.
bool NameTheServer(SSL* ssl, const std::string& name) {
  SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  if (IsIpLiteral(name)) return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str()) == 1;
  return SSL_set1_host(ssl, name.c_str()) == 1 && SSL_set_tlsext_host_name(ssl, name.c_str()) == 1;
}

// Runs one TLS operation until it completes, waiting on the socket as it asks. Returns the operation's positive
// result, or 0 with the last error set (failure) — 'ended' tells a clean end of the stream.
class TlsLink {
public:
  TlsLink(SSL* ssl, int fd, const Clock& clock, int ioTimeoutMs)
      : ssl_(ssl), fd_(fd), clock_(clock), ioTimeoutMs_(ioTimeoutMs) {}

  template <class Op>
  bool Run(Op op, TSslError failure, bool* ended = nullptr) {
    for (;;) {
      if (clock_.Cancelled()) return Fail(sslErrCancelled);
      ERR_clear_error();
      const int result = op();
      if (result == 1) return true;
      const int error = SSL_get_error(ssl_, result);
      if (error == SSL_ERROR_ZERO_RETURN && ended != nullptr) {
        *ended = true;
        return true;
      }
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return Fail(failure);
      const Woke woke =
          clock_.Wait(fd_, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, clock_.Within(ioTimeoutMs_));
      if (woke != Woke::ready) return Fail(ErrorOf(woke));
    }
  }

private:
  SSL* ssl_;
  int fd_;
  const Clock& clock_;
  int ioTimeoutMs_;
};

bool Exchange(SSL* ssl, TlsLink& link, const std::string& request, std::size_t maxReply, TSslLineReader& reader) {
  if (!link.Run([ssl] { return SSL_connect(ssl); }, sslErrHandshake)) return false;
  if (SSL_get_verify_result(ssl) != X509_V_OK || SSL_get0_peer_certificate(ssl) == nullptr) {
    return Fail(sslErrHandshake);
  }
  for (std::size_t sent = 0; sent < request.size();) {
    std::size_t n = 0;
    if (!link.Run([&] { return SSL_write_ex(ssl, request.data() + sent, request.size() - sent, &n); }, sslErrSend)) {
      return false;
    }
    sent += n;
  }
  std::size_t total = 0;
  char chunk[16384];
  for (bool ended = false; !ended;) {
    std::size_t n = 0;
    if (!link.Run([&] { return SSL_read_ex(ssl, chunk, sizeof chunk, &n); }, sslErrReceive, &ended)) return false;
    if (ended) break;
    total += n;
    if (total > maxReply) return Fail(sslErrTooLarge);
    reader.Feed(std::string_view(chunk, n));
  }
  reader.Finish();
  return true;
}

bool Request(VXStringList* lines, const VXString& host, const std::string& request, const TSslSettings& settings) {
  lastError = sslErrNone;
  std::string name;
  std::string port;
  if (!SslSplitHost(host.GetConstStr(), name, port)) return Fail(sslErrResolve);
  if (request.empty()) return Fail(sslErrSend);
  const Clock clock(settings);
  if (clock.Cancelled()) return Fail(sslErrCancelled);

  const std::int64_t connectEnd = clock.Within(settings.connectTimeoutMs);
  const std::shared_ptr<Lookup> lookup = Resolve(name, port, clock, connectEnd);
  if (lookup == nullptr) return false;
  FileDesc fd(Connect(lookup->result, clock, connectEnd));
  if (fd.Get() < 0) return false;

  SSL_CTX* const ctx = ClientContext(settings.caFile);
  if (ctx == nullptr) return Fail(sslErrTlsSetup);
  const std::unique_ptr<SSL, SslDeleter> ssl(SSL_new(ctx));
  BIO* bio = ssl != nullptr ? SslQuietSocketBio(fd.Get()) : nullptr;
  if (bio == nullptr) return Fail(sslErrTlsSetup);
  SSL_set_bio(ssl.get(), bio, bio);
  if (!NameTheServer(ssl.get(), name)) return Fail(sslErrTlsSetup);

  TlsLink link(ssl.get(), fd.Get(), clock, settings.ioTimeoutMs);
  TSslLineReader reader;
  if (!Exchange(ssl.get(), link, request, settings.maxReplyBytes, reader)) return false;
  SSL_shutdown(ssl.get());  // one try: the reply is complete whatever the server does with the close
  if (!fd.Close()) lastError = sslErrClose;
  if (lines != nullptr) {
    for (const std::string& line : reader.Lines()) {
      lines->Add(VXString(line.data(), static_cast<unsigned>(line.size())));
    }
  }
  return true;
}

bool IsLoopbackHost(const std::string& name) {
  if (VXString(name.c_str()).LowerCase() == VXString("localhost")) return true;
  in_addr v4;
  in6_addr v6;
  if (inet_pton(AF_INET, name.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  return inet_pton(AF_INET6, name.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

bool HasOutsideInterface() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  bool found = false;
  for (const ifaddrs* i = list; i != nullptr && !found; i = i->ifa_next) {
    const bool up = (i->ifa_flags & IFF_UP) != 0 && (i->ifa_flags & IFF_RUNNING) != 0;
    const bool ip = i->ifa_addr != nullptr && (i->ifa_addr->sa_family == AF_INET || i->ifa_addr->sa_family == AF_INET6);
    found = up && ip && (i->ifa_flags & IFF_LOOPBACK) == 0;
  }
  freeifaddrs(list);
  return found;
}

}  // namespace

int SslLastError() { return lastError; }

bool IsInternetConnected(const VXString& host) {
  std::string name;
  std::string port;
  if (SslSplitHost(host.GetConstStr(), name, port) && IsLoopbackHost(name)) return true;
  return HasOutsideInterface();
}

bool SslHttpGet(VXStringList* lines, VXString host, VXString path, const TSslSettings& settings) {
  return Request(lines, host, SslGetRequest(host.GetConstStr(), path.GetConstStr()), settings);
}

bool SslHttpPost(VXStringList* lines, VXString host, VXString path, VXString body, const TSslSettings& settings) {
  return Request(lines, host, SslPostRequest(host.GetConstStr(), path.GetConstStr(), body.GetConstStr()), settings);
}

TSslCancel::TSslCancel() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TSslCancel::~TSslCancel() {
  if (fd_ >= 0) close(fd_);
}

void TSslCancel::Cancel() {
  cancelled_.store(true);
  eventfd_write(fd_, 1);
}

void TSslCancel::Reset() {
  eventfd_t value;
  eventfd_read(fd_, &value);
  cancelled_.store(false);
}

bool SslSplitHost(std::string_view host, std::string& name, std::string& port) {
  port = "443";
  std::string_view portText;
  if (!host.empty() && host.front() == '[') {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return false;
    name = host.substr(1, close - 1);
    const std::string_view rest = host.substr(close + 1);
    if (!rest.empty() && (rest.front() != ':' || rest.size() == 1)) return false;
    if (!rest.empty()) portText = rest.substr(1);
  } else if (const std::size_t colon = host.find(':'); colon != std::string_view::npos &&
                                                         host.find(':', colon + 1) == std::string_view::npos) {
    name = host.substr(0, colon);
    portText = host.substr(colon + 1);
    if (portText.empty()) return false;
  } else {
    name = host;  // a name, or an IPv6 address without a port
  }
  if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return IsHostByte(c); })) return false;
  if (portText.empty()) return true;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(), digit)) return false;
  const int number = std::stoi(std::string(portText));
  if (number < 1 || number > 65535) return false;
  port = std::to_string(number);
  return true;
}

namespace {

// A request line or header that could carry a line end or a blank would change the request: refused.
bool SafeRequestParts(std::string_view host, std::string_view path) {
  const auto clean = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return IsPathByte(c); });
  };
  return !host.empty() && clean(host) && !path.empty() && path.front() == '/' && clean(path);
}

std::string RequestHead(std::string_view method, std::string_view host, std::string_view path) {
  std::string text;
  text.append(method).append(" ").append(path).append(" HTTP/1.0\r\nHost: ").append(host);
  text.append("\r\nUser-Agent: Marovine/1.0\r\nPragma: no-cache\r\nAccept: text/*\r\n");
  return text;
}

}  // namespace

std::string SslGetRequest(std::string_view host, std::string_view path) {
  if (!SafeRequestParts(host, path)) return {};
  return RequestHead("GET", host, path) + "\r\n";
}

std::string SslPostRequest(std::string_view host, std::string_view path, std::string_view body) {
  if (!SafeRequestParts(host, path)) return {};
  std::string text = RequestHead("POST", host, path);
  text.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n\r\n").append(body);
  return text;
}

void TSslLineReader::Feed(std::string_view chunk) {
  for (const char c : chunk) {
    const bool pairEnd = c == '\n' && afterCr_;
    afterCr_ = c == '\r';
    if (pairEnd) continue;
    if (c == '\r' || c == '\n') {
      lines_.push_back(std::move(current_));
      current_.clear();
    } else {
      current_ += c;
    }
  }
}

void TSslLineReader::Finish() {
  if (!current_.empty()) lines_.push_back(std::move(current_));
  current_.clear();
  afterCr_ = false;
}
