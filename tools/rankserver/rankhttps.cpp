#include "tools/rankserver/rankhttps.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <chrono>
#include <stdexcept>

#include "ranking/sslcom.h"
#include "tools/rankserver/rankservice.h"
#include "tools/rankserver/rankstore.h"

namespace {

constexpr std::size_t kMaxQueued = 1024;

[[noreturn]] void ThrowSsl(const std::string& what) {
  char text[256] = "";
  ERR_error_string_n(ERR_get_error(), text, sizeof text);
  throw std::runtime_error(what + ": " + text);
}

// "address:port", "[v6 address]:port"; the port may be 0.
void SplitListen(const std::string& listen, std::string& address, std::string& port) {
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon + 1 == listen.size()) {
    throw std::runtime_error("listen on address:port, not " + listen);
  }
  address = listen.substr(0, colon);
  port = listen.substr(colon + 1);
  if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
    address = address.substr(1, address.size() - 2);
  }
}

int Listen(const std::string& listen, int& port) {
  std::string address;
  std::string service;
  SplitListen(listen, address, service);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(address.empty() ? nullptr : address.c_str(), service.c_str(), &hints, &found);
  if (rc != 0) {
    throw std::runtime_error("cannot listen on " + listen + ": " + gai_strerror(rc));
  }
  int fd = -1;
  for (const addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 128) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) throw std::runtime_error("cannot listen on " + listen);
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  char text[NI_MAXSERV] = "0";
  getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, nullptr, 0, text, sizeof text, NI_NUMERICSERV);
  port = std::stoi(text);
  return fd;
}

SSL_CTX* ServerContext(const std::string& certFile, const std::string& keyFile) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx == nullptr) ThrowSsl("cannot make the TLS context");
  if (SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) != 1 ||
      SSL_CTX_use_certificate_chain_file(ctx, certFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, keyFile.c_str(), SSL_FILETYPE_PEM) != 1 || SSL_CTX_check_private_key(ctx) != 1) {
    SSL_CTX_free(ctx);
    ThrowSsl("cannot use the certificate " + certFile + " with the key " + keyFile);
  }
  return ctx;
}

void SetTimeout(int fd, int option, int ms) {
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

}  // namespace

RankHttpsServer::RankHttpsServer(const Options& options) : options_(options) {
  if (options_.workers < 1) throw std::runtime_error("at least one worker");
  for (int i = 0; i < options_.workers; ++i) stores_.push_back(std::make_unique<RankStore>(options_.store));
  ctx_ = ServerContext(options_.certFile, options_.keyFile);
  try {
    listenFd_ = Listen(options_.listen, port_);
  } catch (...) {
    SSL_CTX_free(ctx_);
    throw;
  }
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  for (const auto& store : stores_) workers_.emplace_back([this, s = store.get()] { Work(*s); });
  acceptor_ = std::thread([this] { Accept(); });
}

RankHttpsServer::~RankHttpsServer() {
  Stop();
  close(listenFd_);
  close(stopFd_);
  SSL_CTX_free(ctx_);
}

void RankHttpsServer::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    for (const int fd : queue_) close(fd);
    queue_.clear();
    for (const int fd : serving_) shutdown(fd, SHUT_RDWR);
  }
  eventfd_write(stopFd_, 1);
  queued_.notify_all();
  acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
}

void RankHttpsServer::Accept() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    if (stopping_ || queue_.size() >= kMaxQueued) {
      close(fd);
      continue;
    }
    queue_.push_back(fd);
    queued_.notify_one();
  }
}

void RankHttpsServer::Work(RankStore& store) {
  for (;;) {
    int fd = -1;
    {
      std::unique_lock lock(mutex_);
      queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      fd = queue_.front();
      queue_.pop_front();
      serving_.insert(fd);
    }
    Serve(fd, store);
    std::lock_guard lock(mutex_);
    serving_.erase(fd);
    close(fd);
  }
}

// One request on a blocking socket whose reads and writes time out; any failure just ends the connection.
void RankHttpsServer::Serve(int fd, RankStore& store) {
  SetTimeout(fd, SO_RCVTIMEO, options_.ioTimeoutMs);
  SetTimeout(fd, SO_SNDTIMEO, options_.ioTimeoutMs);
  const std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx_), SSL_free);
  BIO* bio = ssl != nullptr ? SslQuietSocketBio(fd) : nullptr;
  if (bio == nullptr) return;
  SSL_set_bio(ssl.get(), bio, bio);
  ERR_clear_error();
  if (SSL_accept(ssl.get()) != 1) return;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.requestTimeoutMs);
  std::string bytes;
  RankHttpRequest request;
  RankParse parsed = RankParse::incomplete;
  while (parsed == RankParse::incomplete) {
    char chunk[4096];
    std::size_t n = 0;
    if (std::chrono::steady_clock::now() > deadline || SSL_read_ex(ssl.get(), chunk, sizeof chunk, &n) != 1) return;
    bytes.append(chunk, n);
    parsed = ParseRankRequest(bytes, request);
  }
  const std::string reply = parsed == RankParse::complete ? AnswerRankRequest(store, request, options_.registerUnknown)
                                                          : RankHttpReply("400 Bad Request", "");
  for (std::size_t sent = 0; sent < reply.size();) {
    std::size_t n = 0;
    if (SSL_write_ex(ssl.get(), reply.data() + sent, reply.size() - sent, &n) != 1) return;
    sent += n;
  }
  SSL_shutdown(ssl.get());
}
