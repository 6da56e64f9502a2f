#include "tools/rankserver/rankstore.h"

#include <sqlite3.h>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "platform/text.h"
#include "ranking/pnetrankmenu.h"

namespace {

constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
// Each password check costs this many HMAC rounds: slow for a guesser, a few milliseconds for the server.
constexpr int kHashRounds = 10'000;

std::string HashPassword(const std::string& password, const std::string& salt) {
  std::string hash(kHashBytes, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                        kHashRounds, EVP_sha256(), kHashBytes, reinterpret_cast<unsigned char*>(hash.data())) != 1) {
    throw std::runtime_error("cannot hash the password");
  }
  return hash;
}

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

// One prepared statement, finalised with its owner; binds are 1-based like SQLite's.
class RankStore::Statement {
public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) Throw();
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, const std::string& text) {
    return Check(sqlite3_bind_blob(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
  }
  Statement& BindText(int index, const std::string& text) {
    return Check(sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT));
  }
  Statement& Bind(int index, std::int64_t value) { return Check(sqlite3_bind_int64(stmt_, index, value)); }

  // True while a row is there.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Throw();
    return false;
  }
  void Run() {
    while (Step()) {
    }
  }
  std::int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return data != nullptr ? std::string(data, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))) : "";
  }
  int Changes() const { return sqlite3_changes(db_); }

private:
  Statement& Check(int rc) {
    if (rc != SQLITE_OK) Throw();
    return *this;
  }
  [[noreturn]] void Throw() const { throw std::runtime_error(std::string("ranking store: ") + sqlite3_errmsg(db_)); }

  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

RankStore::RankStore(const std::string& path) {
  const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw std::runtime_error("cannot open the ranking store " + path + ": " + message);
  }
  sqlite3_busy_timeout(db_, 30'000);
  try {
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=FULL");
    Exec("PRAGMA foreign_keys=ON");
    Transaction([&] {
      Exec("CREATE TABLE IF NOT EXISTS songs(id TEXT PRIMARY KEY, title TEXT NOT NULL)");
      Exec("CREATE TABLE IF NOT EXISTS users(id TEXT PRIMARY KEY, salt BLOB NOT NULL, hash BLOB NOT NULL)");
      Exec("CREATE TABLE IF NOT EXISTS scores(user TEXT NOT NULL REFERENCES users(id) ON DELETE CASCADE,"
           " song TEXT NOT NULL REFERENCES songs(id) ON DELETE CASCADE, level INTEGER NOT NULL,"
           " score INTEGER NOT NULL, reached INTEGER NOT NULL, PRIMARY KEY(user, song, level))");
      Exec("CREATE INDEX IF NOT EXISTS ranking ON scores(song, level, score DESC, reached, user)");
    });
  } catch (...) {
    sqlite3_close(db_);
    throw;
  }
}

RankStore::~RankStore() { sqlite3_close(db_); }

void RankStore::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message != nullptr ? message : sqlite3_errmsg(db_);
    sqlite3_free(message);
    throw std::runtime_error("ranking store: " + text);
  }
}

// Runs work in one write transaction, taken at once so that two writers never both hold a read snapshot that
// one of them must give up; anything thrown rolls it back.
void RankStore::Transaction(const auto& work) {
  Exec("BEGIN IMMEDIATE");
  try {
    work();
    Exec("COMMIT");
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

void RankStore::AddSong(const std::string& id, const std::string& title) {
  if (!IsValidSongId(id)) throw std::runtime_error("not a usable song ID: " + id);
  if (!IsValidTitle(title)) throw std::runtime_error("not a usable title (one line of CP932 text): " + title);
  Statement(db_, "INSERT INTO songs(id, title) VALUES(?1, ?2) ON CONFLICT(id) DO UPDATE SET title = excluded.title")
      .BindText(1, id)
      .BindText(2, title)
      .Run();
}

bool RankStore::RemoveSong(const std::string& id) {
  Statement remove(db_, "DELETE FROM songs WHERE id = ?1");
  remove.BindText(1, id).Run();
  return remove.Changes() > 0;
}

std::vector<RankStore::Song> RankStore::Songs() {
  Statement list(db_, "SELECT id, title FROM songs ORDER BY rowid");
  std::vector<Song> songs;
  while (list.Step()) songs.push_back({list.Text(0), list.Text(1)});
  return songs;
}

bool RankStore::HasSong(const std::string& id) {
  Statement find(db_, "SELECT 1 FROM songs WHERE id = ?1");
  return find.BindText(1, id).Step();
}

void RankStore::SetUser(const std::string& id, const std::string& password) {
  if (!IsValidUserId(id)) throw std::runtime_error("not a usable user ID: " + id);
  if (!IsValidPassword(password)) throw std::runtime_error("a password is 1 to 64 bytes");
  std::string salt(kSaltBytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltBytes) != 1) {
    throw std::runtime_error("no random bytes for the salt");
  }
  Statement(db_,
            "INSERT INTO users(id, salt, hash) VALUES(?1, ?2, ?3)"
            " ON CONFLICT(id) DO UPDATE SET salt = excluded.salt, hash = excluded.hash")
      .BindText(1, id)
      .Bind(2, salt)
      .Bind(3, HashPassword(password, salt))
      .Run();
}

bool RankStore::RemoveUser(const std::string& id) {
  Statement remove(db_, "DELETE FROM users WHERE id = ?1");
  remove.BindText(1, id).Run();
  return remove.Changes() > 0;
}

bool RankStore::CheckUser(const std::string& id, const std::string& password, bool registerUnknown) {
  if (!IsValidUserId(id) || !IsValidPassword(password)) return false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    Statement find(db_, "SELECT salt, hash FROM users WHERE id = ?1");
    if (find.BindText(1, id).Step()) {
      const std::string hash = find.Text(1);
      const std::string given = HashPassword(password, find.Text(0));
      return hash.size() == given.size() && CRYPTO_memcmp(hash.data(), given.data(), hash.size()) == 0;
    }
    if (!registerUnknown) return false;
    // Two first uploads of one new ID may race: the second finds the first's password on its next look.
    std::string salt(kSaltBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), kSaltBytes) != 1) return false;
    Statement(db_, "INSERT OR IGNORE INTO users(id, salt, hash) VALUES(?1, ?2, ?3)")
        .BindText(1, id)
        .Bind(2, salt)
        .Bind(3, HashPassword(password, salt))
        .Run();
  }
  return false;
}

int RankStore::Submit(const std::string& user, const std::string& song, int level, int score) {
  int place = 0;
  Transaction([&] {
    Statement(db_,
              "INSERT INTO scores(user, song, level, score, reached) VALUES(?1, ?2, ?3, ?4, ?5)"
              " ON CONFLICT(user, song, level) DO UPDATE SET score = excluded.score, reached = excluded.reached"
              " WHERE excluded.score > scores.score")
        .BindText(1, user)
        .BindText(2, song)
        .Bind(3, level)
        .Bind(4, score)
        .Bind(5, NowMs())
        .Run();
    Statement rank(db_,
                   "SELECT COUNT(*) FROM scores AS me JOIN scores AS s ON s.song = me.song AND s.level = me.level"
                   " WHERE me.user = ?1 AND me.song = ?2 AND me.level = ?3 AND (s.score > me.score OR"
                   " (s.score = me.score AND (s.reached < me.reached OR"
                   " (s.reached = me.reached AND s.user < me.user))))");
    rank.BindText(1, user).BindText(2, song).Bind(3, level).Step();
    place = static_cast<int>(rank.Int(0)) + 1;
  });
  return place;
}

std::vector<RankStore::Place> RankStore::Ranking(const std::string& song, int level, int limit) {
  Statement list(db_,
                 "SELECT user, score FROM scores WHERE song = ?1 AND level = ?2"
                 " ORDER BY score DESC, reached, user LIMIT ?3");
  list.BindText(1, song).Bind(2, level).Bind(3, limit);
  std::vector<Place> places;
  while (list.Step()) places.push_back({list.Text(0), static_cast<int>(list.Int(1))});
  return places;
}

bool RankStore::IsValidUserId(const std::string& id) {
  return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
    return c >= '!' && c <= '~' && std::strchr("()<>,;:\\\"[]", c) == nullptr;
  });
}

bool RankStore::IsValidPassword(const std::string& password) { return !password.empty() && password.size() <= 64; }

bool RankStore::IsValidSongId(const std::string& id) {
  return id.size() <= 16 && IsSafeSongId(id) && id.find(',') == std::string::npos;
}

bool RankStore::IsValidTitle(const std::string& title) {
  const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20; };
  const bool oneLine = std::none_of(title.begin(), title.end(), control);
  return !title.empty() && oneLine && platform::text::Utf8ToCp932(title).has_value();
}
