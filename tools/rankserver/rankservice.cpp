#include "tools/rankserver/rankservice.h"

#include <cctype>
#include <map>
#include <stdexcept>

#include "platform/text.h"
#include "ranking/pnetrankmenu.h"
#include "tools/rankserver/rankstore.h"

namespace {

using Form = std::map<std::string, std::string, std::less<>>;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// application/x-www-form-urlencoded; false for a bad escape. A repeated field keeps its first value.
bool DecodeForm(std::string_view body, Form& form) {
  while (!body.empty()) {
    const std::size_t amp = body.find('&');
    const std::string_view item = body.substr(0, amp);
    body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
    if (item.empty()) continue;
    std::string parts[2];
    int part = 0;
    for (std::size_t i = 0; i < item.size(); ++i) {
      const char c = item[i];
      if (c == '=' && part == 0) {
        part = 1;
      } else if (c == '%') {
        if (i + 2 >= item.size()) return false;
        const int high = HexDigit(item[i + 1]);
        const int low = HexDigit(item[i + 2]);
        if (high < 0 || low < 0) return false;
        parts[part] += static_cast<char>(high * 16 + low);
        i += 2;
      } else {
        parts[part] += c == '+' ? ' ' : c;
      }
    }
    form.emplace(std::move(parts[0]), std::move(parts[1]));
  }
  return true;
}

std::string Field(const Form& form, std::string_view name) {
  const auto it = form.find(name);
  return it != form.end() ? it->second : std::string();
}

int LevelOf(const Form& form) {
  const std::string name = Field(form, "level");
  for (int level = 0; level < kRankLevelCount; ++level) {
    if (name == kRankLevelNames[level]) return level;
  }
  return -1;
}

// The check value as the game writes it: eight hexadecimal digits.
bool ParseCheckValue(const std::string& text, std::uint32_t& value) {
  if (text.size() != 8) return false;
  value = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return true;
}

class Lines {
public:
  void Add(std::string_view line) {
    text_.append(line).append("\r\n");
    ++count_;
  }
  void AddRanking(const std::vector<RankStore::Place>& places) {
    for (const RankStore::Place& place : places) Add(place.user + "," + std::to_string(place.score));
  }
  std::string Ok() const { return RankHttpReply("200 OK", text_ + "OK:" + std::to_string(count_) + "\r\n"); }

private:
  std::string text_;
  int count_ = 0;
};

std::string Error(int code) { return RankHttpReply("200 OK", "ERROR:" + std::to_string(code) + "\r\n"); }

std::string SongList(RankStore& store) {
  Lines lines;
  for (const RankStore::Song& song : store.Songs()) {
    lines.Add(song.id + "," + platform::text::Utf8ToCp932(song.title).value_or("?"));
  }
  return lines.Ok();
}

std::string Ranking(RankStore& store, const Form& form) {
  const std::string song = Field(form, "mid");
  const int level = LevelOf(form);
  if (level < 0 || !store.HasSong(song)) return Error(rankCodeBadRequest);
  Lines lines;
  lines.AddRanking(store.Ranking(song, level, kRankMaxPlaces));
  return lines.Ok();
}

std::string Upload(RankStore& store, const Form& form, bool registerUnknown) {
  const std::string song = Field(form, "mid");
  const int level = LevelOf(form);
  int score = 0;
  std::uint32_t check = 0;
  if (level < 0 || !store.HasSong(song) || !RankParseInt(Field(form, "score"), score) || score < 0 ||
      !ParseCheckValue(Field(form, "error"), check)) {
    return Error(rankCodeBadRequest);
  }
  if (check != ScoreCheckValue(score)) return Error(rankCodeCheck);
  const std::string user = Field(form, "usrid");
  if (!store.CheckUser(user, Field(form, "passwd"), registerUnknown)) return Error(rankCodeAuth);
  const int place = store.Submit(user, song, level, score);
  Lines lines;
  lines.Add("Rank = " + std::to_string(place <= kRankMaxPlaces ? place : 0));
  lines.AddRanking(store.Ranking(song, level, kRankMaxPlaces));
  return lines.Ok();
}

}  // namespace

RankParse ParseRankRequest(std::string_view bytes, RankHttpRequest& request) {
  const std::size_t headEnd = bytes.find("\r\n\r\n");
  if (headEnd == std::string_view::npos) {
    return bytes.size() > kRankMaxHead ? RankParse::malformed : RankParse::incomplete;
  }
  if (headEnd > kRankMaxHead) return RankParse::malformed;
  const std::string_view head = bytes.substr(0, headEnd + 2);
  const std::size_t lineEnd = head.find("\r\n");
  const std::string_view line = head.substr(0, lineEnd);
  const std::size_t space1 = line.find(' ');
  const std::size_t space2 = line.find(' ', space1 + 1);
  if (space1 == std::string_view::npos || space2 == std::string_view::npos ||
      !line.substr(space2 + 1).starts_with("HTTP/1.")) {
    return RankParse::malformed;
  }
  request.method = line.substr(0, space1);
  request.path = line.substr(space1 + 1, space2 - space1 - 1);
  int length = 0;
  for (std::size_t at = lineEnd + 2; at < head.size();) {
    const std::size_t end = head.find("\r\n", at);
    const std::string_view header = head.substr(at, end - at);
    at = end + 2;
    const std::size_t colon = header.find(':');
    if (colon == std::string_view::npos) return RankParse::malformed;
    std::string name(header.substr(0, colon));
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "content-length") continue;
    std::string_view value = header.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (!RankParseInt(value, length) || length < 0 || static_cast<std::size_t>(length) > kRankMaxBody) {
      return RankParse::malformed;
    }
  }
  const std::string_view rest = bytes.substr(headEnd + 4);
  if (rest.size() < static_cast<std::size_t>(length)) return RankParse::incomplete;
  request.body = rest.substr(0, static_cast<std::size_t>(length));
  return RankParse::complete;
}

std::string AnswerRankRequest(RankStore& store, const RankHttpRequest& request, bool registerUnknown) {
  const bool get = request.method == "GET";
  const bool post = request.method == "POST";
  const bool known =
      request.path == kRankSongListPath || request.path == kRankRankingPath || request.path == kRankUploadPath;
  if (!known) return RankHttpReply("404 Not Found", "");
  if (request.path == kRankSongListPath ? !get : !post) return RankHttpReply("405 Method Not Allowed", "");
  Form form;
  if (post && !DecodeForm(request.body, form)) return Error(rankCodeBadRequest);
  try {
    if (get) return SongList(store);
    return request.path == kRankRankingPath ? Ranking(store, form) : Upload(store, form, registerUnknown);
  } catch (const std::runtime_error&) {
    return Error(rankCodeStore);
  }
}

std::string RankHttpReply(std::string_view status, std::string_view body) {
  std::string reply = "HTTP/1.0 ";
  reply.append(status)
      .append("\r\nContent-Type: text/plain; charset=Shift_JIS\r\nContent-Length: ")
      .append(std::to_string(body.size()))
      .append("\r\nConnection: close\r\n\r\n")
      .append(body);
  return reply;
}
