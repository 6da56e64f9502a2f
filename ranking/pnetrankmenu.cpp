#include "ranking/pnetrankmenu.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

#include "core/vxstrlist.h"

namespace {

bool ValidLevel(int level) { return level >= 0 && level < kRankLevelCount; }

std::string_view View(const VXString& s) { return s.GetConstStr(); }

// The split of a "key,value" line at its first comma; false when there is none, or it is first or last.
bool SplitAtComma(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::size_t comma = line.find(',');
  if (comma == std::string_view::npos || comma == 0 || comma + 1 == line.size()) return false;
  key = line.substr(0, comma);
  value = line.substr(comma + 1);
  return true;
}

VXString Text(std::string_view s) { return VXString(s.data(), static_cast<unsigned>(s.size())); }

int TrailerCode(std::string_view trailer, int bodyLines) {
  const std::size_t colon = trailer.find(':');
  int number = 0;
  if (colon == 2 && trailer.size() >= 4 && trailer.starts_with("OK")) {
    if (!RankParseInt(trailer.substr(3), number)) number = 0;
    return number == bodyLines ? 0 : -1;
  }
  if (colon == 5 && trailer.size() >= 7 && trailer.starts_with("ERROR")) {
    return RankParseInt(trailer.substr(6), number) ? number : -1;
  }
  return -1;
}

int Transported(bool sent, VXStringList* lines) { return sent ? RankCheckResponse(lines) : -1; }

}  // namespace

VXString EscapeFormValue(VXString value) {
  std::string out;
  for (const char c : View(value)) {
    if (c == '%' || c == '&' || c == '+' || c == '=') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
      out += code;
    } else {
      out += c;
    }
  }
  return Text(out);
}

bool IsSafeSongId(std::string_view id) {
  return !id.empty() && std::none_of(id.begin(), id.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F || c == '%' || c == '&' || c == '+' || c == '=';
  });
}

bool RankParseInt(std::string_view text, int& value) {
  const std::size_t digits = text.starts_with('-') ? 1 : 0;
  if (text.size() <= digits || text[digits] < '0' || text[digits] > '9') return false;  // no '+', no blanks
  int parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  value = parsed;
  return true;
}

VXString RankingRequestBody(const VXString& songId, int level) {
  if (!ValidLevel(level) || !IsSafeSongId(View(songId))) return VXString();
  return "mid=" + songId + "&level=" + kRankLevelNames[level];
}

VXString UploadRequestBody(const TRankingUpload& upload) {
  if (!ValidLevel(upload.level) || !IsSafeSongId(View(upload.songId))) return VXString();
  char numbers[64];
  std::snprintf(numbers, sizeof numbers, "&score=%d&error=%08X", upload.score, upload.checkValue);
  return "usrid=" + EscapeFormValue(upload.userId) + "&passwd=" + EscapeFormValue(upload.password) +
         "&mid=" + upload.songId + "&level=" + kRankLevelNames[upload.level] + numbers;
}

int RankCheckResponse(VXStringList* lines) {
  if (lines == nullptr || lines->GetCount() == 0 || lines->GetString(0).Pos("OK") == 0) return -1;
  int blank = 1;
  while (blank < lines->GetCount() && !lines->GetString(blank).IsEmpty()) ++blank;
  if (blank + 1 >= lines->GetCount()) return -1;  // no empty line, or nothing after it
  const VXString trailer = lines->GetString(lines->GetCount() - 1);
  VXStringList body;
  for (int i = blank + 1; i < lines->GetCount() - 1; ++i) body.Add(lines->GetString(i));
  lines->Clear();
  lines->AddStrings(&body);
  return TrailerCode(View(trailer), body.GetCount());
}

int RankGetSongList(const TRankingConnection& connection, VXStringList* lines) {
  lines->Clear();
  return Transported(SslHttpGet(lines, connection.host, kRankSongListPath, connection.ssl), lines);
}

int RankGetRanking(const TRankingConnection& connection, VXStringList* lines, const VXString& songId, int level) {
  lines->Clear();
  const VXString body = RankingRequestBody(songId, level);
  if (body.IsEmpty()) return -1;
  return Transported(SslHttpPost(lines, connection.host, kRankRankingPath, body, connection.ssl), lines);
}

int RankPutRanking(const TRankingConnection& connection, VXStringList* lines, const TRankingUpload& upload) {
  lines->Clear();
  const VXString body = UploadRequestBody(upload);
  if (body.IsEmpty()) return -1;
  return Transported(SslHttpPost(lines, connection.host, kRankUploadPath, body, connection.ssl), lines);
}

int RankParseSongList(VXStringList* body, VXStringList* ids, VXStringList* titles) {
  int count = 0;
  for (int i = 0; i < body->GetCount(); ++i) {
    const VXString line = body->GetString(i);
    std::string_view id;
    std::string_view title;
    if (!SplitAtComma(View(line), id, title) || !IsSafeSongId(id)) continue;
    ids->Add(Text(id));
    titles->Add(Text(title));
    ++count;
  }
  return count;
}

int RankParseRanking(VXStringList* body, int first, VXStringList* names, int* scores) {
  int count = 0;
  for (int i = std::max(first, 0); i < body->GetCount() && count < kRankMaxPlaces; ++i, ++count) {
    const VXString line = body->GetString(i);
    std::string_view name;
    std::string_view score;
    int value = 0;
    if (!SplitAtComma(View(line), name, score)) name = {};
    else if (!RankParseInt(score, value) || value < 0) value = 0;
    names->Add(Text(name));
    scores[count] = value;
  }
  return count;
}

bool RankParseUploadRank(const VXString& line, int& rank) {
  if (line.Length() < 8) return false;
  if (!RankParseInt(View(line).substr(7), rank)) rank = 0;
  return true;
}
