// The ranking server's transport: HTTPS on one listening socket, served by a pool of worker threads, each with
// its own connection to the store. Every connection carries one request (HTTP/1.0) and is closed after the reply.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <openssl/types.h>

class RankStore;

class RankHttpsServer {
public:
  struct Options {
    std::string store;                     // the SQLite file
    std::string certFile;                  // PEM certificate (chain) and private key
    std::string keyFile;
    std::string listen = "127.0.0.1:8443";  // address:port ("[v6]:port"); port 0 takes a free one
    int workers = 8;
    bool registerUnknown = false;          // a new user ID registers with the password of its first upload
    int ioTimeoutMs = 10'000;              // the longest silence of a client
    int requestTimeoutMs = 30'000;         // the longest a client may take to send its request
  };

  // Opens the store, loads the certificate, binds and starts serving. Throws std::runtime_error with the reason.
  explicit RankHttpsServer(const Options& options);
  ~RankHttpsServer();  // Stop()
  RankHttpsServer(const RankHttpsServer&) = delete;
  RankHttpsServer& operator=(const RankHttpsServer&) = delete;

  int Port() const { return port_; }
  // Stops accepting, cuts the connections being served and waits for the threads. Safe to call twice.
  void Stop();

private:
  void Accept();
  void Work(RankStore& store);
  void Serve(int fd, RankStore& store);

  Options options_;
  SSL_CTX* ctx_ = nullptr;
  int listenFd_ = -1;
  int stopFd_ = -1;
  int port_ = 0;
  std::vector<std::unique_ptr<RankStore>> stores_;

  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<int> queue_;  // accepted, not yet served
  std::set<int> serving_;
  bool stopping_ = false;
  std::thread acceptor_;
  std::vector<std::thread> workers_;
};
