// rankserver: a small HTTPS server of the game's internet ranking, with its songs, users and scores in SQLite.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "ranking/pnetrankmenu.h"
#include "tools/rankserver/rankhttps.h"
#include "tools/rankserver/rankstore.h"
#include "tools/rankserver/selfcert.h"

namespace {

constexpr char kUsage[] = R"(usage: rankserver [--db FILE] COMMAND ...

A ranking server for the game: the song list, the ranking of a song and level, and the upload of a best score,
over HTTPS. Songs, users and each user's best score per song and level are kept in FILE (SQLite; default
rankserver.db).

commands:
  serve --cert FILE --key FILE [--listen ADDRESS:PORT] [--workers N] [--register]
        serve until interrupted (default 0.0.0.0:8443, 8 workers); --register lets a new user ID register
        with the password of its first upload
  makecert --cert FILE --key FILE NAME...
        write a new key and a self-signed certificate for the host names or addresses given
  song add ID TITLE      add a song to the list (or retitle it); TITLE in UTF-8
  song remove ID         remove a song and its scores
  song list
  user add ID            add a user, or change the password; the password is read from standard input
  user remove ID         remove a user and the user's scores
  ranking ID LEVEL       print a ranking (LEVEL normal, hard or easy)

To play against your own server, set in the game's QORM.ini, section [Game Debug]:
  RankingServer=HOST:PORT      (a name or address the certificate carries)
  RankingCA=/path/to/cert.pem  (the certificate written by makecert)
)";

struct Usage : std::runtime_error {
  Usage() : std::runtime_error("") {}
};

std::string Take(std::vector<std::string>& args) {
  if (args.empty()) throw Usage();
  std::string value = args.front();
  args.erase(args.begin());
  return value;
}

void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + temp);
  }
  chmod(temp.c_str(), mode);
  if (std::rename(temp.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot write " + path);
}

int Serve(const std::string& db, std::vector<std::string> args) {
  RankHttpsServer::Options options;
  options.store = db;
  options.listen = "0.0.0.0:8443";
  while (!args.empty()) {
    const std::string flag = Take(args);
    if (flag == "--cert") options.certFile = Take(args);
    else if (flag == "--key") options.keyFile = Take(args);
    else if (flag == "--listen") options.listen = Take(args);
    else if (flag == "--workers") options.workers = std::stoi(Take(args));
    else if (flag == "--register") options.registerUnknown = true;
    else throw Usage();
  }
  if (options.certFile.empty() || options.keyFile.empty()) throw Usage();
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before the threads start, so that only sigwait takes them
  RankHttpsServer server(options);
  std::printf("rankserver: serving %s on port %d\n", options.store.c_str(), server.Port());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  server.Stop();
  std::printf("rankserver: stopped\n");
  return 0;
}

int MakeCert(std::vector<std::string> args) {
  std::string cert;
  std::string key;
  std::vector<std::string> names;
  while (!args.empty()) {
    const std::string arg = Take(args);
    if (arg == "--cert") cert = Take(args);
    else if (arg == "--key") key = Take(args);
    else names.push_back(arg);
  }
  if (cert.empty() || key.empty() || names.empty()) throw Usage();
  const SelfSignedCert made = MakeSelfSignedCert(names);
  WriteFile(key, made.keyPem, 0600);
  WriteFile(cert, made.certPem, 0644);
  std::printf("rankserver: wrote %s and %s\n", key.c_str(), cert.c_str());
  return 0;
}

int Level(const std::string& name) {
  for (int level = 0; level < kRankLevelCount; ++level) {
    if (name == kRankLevelNames[level]) return level;
  }
  throw Usage();
}

int Manage(const std::string& db, const std::string& command, std::vector<std::string> args) {
  RankStore store(db);
  const std::string what = command == "ranking" ? "" : Take(args);
  if (command == "song" && what == "add" && args.size() == 2) {
    store.AddSong(args[0], args[1]);
  } else if (command == "song" && what == "remove" && args.size() == 1) {
    if (!store.RemoveSong(args[0])) throw std::runtime_error("no song " + args[0]);
  } else if (command == "song" && what == "list" && args.empty()) {
    for (const RankStore::Song& song : store.Songs()) std::printf("%s,%s\n", song.id.c_str(), song.title.c_str());
  } else if (command == "user" && what == "add" && args.size() == 1) {
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    store.SetUser(args[0], password);
  } else if (command == "user" && what == "remove" && args.size() == 1) {
    if (!store.RemoveUser(args[0])) throw std::runtime_error("no user " + args[0]);
  } else if (command == "ranking" && args.size() == 2) {
    int place = 0;
    for (const RankStore::Place& p : store.Ranking(args[0], Level(args[1]), kRankMaxPlaces)) {
      std::printf("%3d %9d %s\n", ++place, p.score, p.user.c_str());
    }
  } else {
    throw Usage();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    std::string db = "rankserver.db";
    if (!args.empty() && args.front() == "--db") {
      Take(args);
      db = Take(args);
    }
    const std::string command = Take(args);
    if (command == "--help" || command == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (command == "serve") return Serve(db, args);
    if (command == "makecert") return MakeCert(args);
    if (command == "song" || command == "user" || command == "ranking") return Manage(db, command, args);
    throw Usage();
  } catch (const Usage&) {
    std::fputs(kUsage, stderr);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rankserver: %s\n", e.what());
    return 1;
  }
}
