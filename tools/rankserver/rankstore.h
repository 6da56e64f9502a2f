// The ranking server's store: songs, users and each user's best score per song and level, in one SQLite file.
//
// One RankStore is one connection: a thread of the server keeps its own. The file is in WAL mode with full
// synchronous commits, so readers never wait for a writer, every change is one atomic transaction, and
// concurrent uploads (threads or processes) wait their turn rather than fail. Errors throw std::runtime_error.
#pragma once

#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class RankStore {
public:
  struct Song {
    std::string id;
    std::string title;  // UTF-8
  };
  struct Place {
    std::string user;
    int score;
  };

  explicit RankStore(const std::string& path);  // opens, creating the file and its tables when needed
  ~RankStore();
  RankStore(const RankStore&) = delete;
  RankStore& operator=(const RankStore&) = delete;

  // A known song keeps its place in the list and takes the new title. Throws for an ID or title that cannot
  // travel in a reply (see IsValidSongId, IsValidTitle).
  void AddSong(const std::string& id, const std::string& title);
  bool RemoveSong(const std::string& id);  // with its scores; false when unknown
  std::vector<Song> Songs();               // in the order they were added
  bool HasSong(const std::string& id);

  void SetUser(const std::string& id, const std::string& password);  // adds, or changes the password
  bool RemoveUser(const std::string& id);                             // with the user's scores
  // True when the password is the user's. An unknown user is first registered with it when registerUnknown.
  bool CheckUser(const std::string& id, const std::string& password, bool registerUnknown);

  // Keeps the better of the user's stored score and this one for the song and level, and returns the user's
  // place (from 1) in that song and level's whole ranking, in the same transaction.
  int Submit(const std::string& user, const std::string& song, int level, int score);
  // Best first; equal scores in the order they were reached.
  std::vector<Place> Ranking(const std::string& song, int level, int limit);

  // IDs that fit the game's entry field and a "name,score" line: 1 to 64 bytes of '!'..'~' except ( ) < > , ; :
  // \ " [ ]. A password is 1 to 64 bytes of anything.
  static bool IsValidUserId(const std::string& id);
  static bool IsValidPassword(const std::string& password);
  // A song ID the game sends back unescaped, without a comma: 1 to 16 bytes.
  static bool IsValidSongId(const std::string& id);
  // A title of one line that the game can show (CP932).
  static bool IsValidTitle(const std::string& title);

private:
  class Statement;
  void Exec(const char* sql);
  void Transaction(const auto& work);

  sqlite3* db_ = nullptr;
};
