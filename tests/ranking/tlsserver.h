// A TLS server on 127.0.0.1 (port 0, the real port read back) for one test. It takes connections one after the
// other and hands each to the test's script, which reads the request and writes the reply as it likes: in pieces,
// after a pause, not at all, or by hanging up. The key and self-signed certificate are made in the test.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ranking/sslcom.h"
#include "support/tempdir.h"
#include "tools/rankserver/selfcert.h"

class TestTlsConnection {
public:
  using Recorder = std::function<void(const std::string&)>;
  TestTlsConnection(SSL* ssl, int fd, int stopFd, Recorder record)
      : ssl_(ssl), fd_(fd), stopFd_(stopFd), record_(std::move(record)) {}

  // Reads a request (recorded for the test): its head up to the empty line, then Content-Length bytes of body.
  // Short when the client hangs up first.
  std::string ReadRequest() {
    std::string bytes = ReadBytes();
    record_(bytes);
    return bytes;
  }

private:
  std::string ReadBytes() {
    std::string bytes;
    std::size_t want = std::string::npos;
    while (bytes.size() < want) {
      char chunk[16384];
      const int n = Read(chunk, sizeof chunk);
      if (n <= 0) return bytes;
      bytes.append(chunk, static_cast<std::size_t>(n));
      const std::size_t head = bytes.find("\r\n\r\n");
      if (want == std::string::npos && head != std::string::npos) {
        const std::size_t at = bytes.find("Content-Length: ");
        want = head + 4 + (at != std::string::npos && at < head ? std::stoul(bytes.substr(at + 16)) : 0);
      }
    }
    return bytes;
  }

public:
  // One TLS record per call (or raw bytes without TLS); false once the client is gone.
  bool Write(std::string_view bytes) {
    if (ssl_ == nullptr) {
      return send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    std::size_t n = 0;
    return SSL_write_ex(ssl_, bytes.data(), bytes.size(), &n) == 1;
  }

  // Says nothing until the client closes the connection (or the test ends).
  void WaitForClose() {
    char chunk[4096];
    while (Read(chunk, sizeof chunk) > 0) {
    }
  }

  // Hangs up without a TLS close.
  void Abort() { shutdown(fd_, SHUT_RDWR); }

  SSL* Ssl() const { return ssl_; }

private:
  // Waits for bytes or the end of the test: > 0 bytes read, else the connection (or the test) ended.
  int Read(char* data, int size) {
    for (;;) {
      pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
      if (ssl_ == nullptr || SSL_pending(ssl_) == 0) {
        poll(fds, 2, -1);
        if (fds[1].revents != 0) return 0;
      }
      if (ssl_ == nullptr) return static_cast<int>(recv(fd_, data, static_cast<std::size_t>(size), 0));
      const int n = SSL_read(ssl_, data, size);
      if (n > 0) return n;
      if (SSL_get_error(ssl_, n) != SSL_ERROR_WANT_READ) return 0;
    }
  }

  SSL* ssl_;
  int fd_;
  int stopFd_;
  Recorder record_;
};

struct TestTlsOptions {
  std::vector<std::string> certNames{"127.0.0.1", "localhost"};
  bool trusted = true;   // false: CaFile() holds some other certificate
  bool tls = true;     // false: plain TCP, no handshake
  int maxVersion = 0;    // e.g. TLS1_1_VERSION for an old server
  int backlog = 16;
};

class TestTlsServer {
public:
  using Script = std::function<void(TestTlsConnection&)>;

  using Options = TestTlsOptions;

  explicit TestTlsServer(Script script, Options options = Options()) : script_(std::move(script)), options_(options) {
    const SelfSignedCert cert = MakeSelfSignedCert(options_.certNames);
    caFile_ = dir_.Write("ca.pem", options_.trusted ? cert.certPem : MakeSelfSignedCert({"127.0.0.1"}).certPem);
    ctx_ = SSL_CTX_new(TLS_server_method());
    const std::string certFile = dir_.Write("cert.pem", cert.certPem);
    const std::string keyFile = dir_.Write("key.pem", cert.keyPem);
    if (SSL_CTX_use_certificate_file(ctx_, certFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("test server certificate");
    }
    if (options_.maxVersion != 0) {
      SSL_CTX_set_security_level(ctx_, 0);
      SSL_CTX_set_min_proto_version(ctx_, 0);
      SSL_CTX_set_max_proto_version(ctx_, options_.maxVersion);
    }
    listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), length) != 0 || listen(listen_, options_.backlog) != 0 ||
        getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
      throw std::runtime_error("test server socket");
    }
    port_ = ntohs(addr.sin_port);
    if (script_) thread_ = std::thread([this] { Run(); });
  }

  ~TestTlsServer() {
    eventfd_write(stop_, 1);
    if (thread_.joinable()) thread_.join();
    close(listen_);
    close(stop_);
    SSL_CTX_free(ctx_);
  }

  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  int Port() const { return port_; }
  const std::string& CaFile() const { return caFile_; }
  int ListenFd() const { return listen_; }

  // What the script's connections read, and the names they were asked for (SNI; empty for none).
  std::vector<std::string> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::vector<std::string> ServerNames() const {
    std::lock_guard lock(mutex_);
    return names_;
  }
  int Connections() const { return connections_.load(); }

  // Client settings that trust this server, with short waits.
  TSslSettings Settings() const {
    TSslSettings settings;
    settings.caFile = caFile_;
    settings.connectTimeoutMs = 5'000;
    settings.ioTimeoutMs = 5'000;
    settings.totalTimeoutMs = 20'000;
    return settings;
  }

private:
  TestTlsConnection::Recorder Recording() {
    return [this](const std::string& request) {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    };
  }

  void Run() {
    for (;;) {
      pollfd fds[2] = {{listen_, POLLIN, 0}, {stop_, POLLIN, 0}};
      poll(fds, 2, -1);
      if (fds[1].revents != 0) return;
      const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++connections_;
      Serve(fd);
      close(fd);
    }
  }

  void Serve(int fd) {
    if (!options_.tls) {
      TestTlsConnection connection(nullptr, fd, stop_, Recording());
      script_(connection);
      return;
    }
    SSL* ssl = SSL_new(ctx_);
    BIO* bio = SslQuietSocketBio(fd);
    SSL_set_bio(ssl, bio, bio);
    ERR_clear_error();
    if (SSL_accept(ssl) == 1) {
      const char* name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
      {
        std::lock_guard lock(mutex_);
        names_.push_back(name != nullptr ? name : "");
      }
      TestTlsConnection connection(ssl, fd, stop_, Recording());
      script_(connection);
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ERR_clear_error();
  }

  TempDir dir_;
  Script script_;
  Options options_;
  std::string caFile_;
  SSL_CTX* ctx_ = nullptr;
  int listen_ = -1;
  int stop_ = eventfd(0, EFD_CLOEXEC);
  int port_ = 0;
  std::thread thread_;
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::string> names_;
};

// A script that reads the request and answers with the given pieces, one TLS record each.
inline TestTlsServer::Script Answer(std::vector<std::string> pieces) {
  return [pieces = std::move(pieces)](TestTlsConnection& c) {
    c.ReadRequest();
    for (const std::string& piece : pieces) c.Write(piece);
  };
}
