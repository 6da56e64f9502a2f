// The internet ranking's protocol: the three requests (song list, ranking of a song and level, upload of a best
// score), their form bodies, the check every reply passes, and the readers of the reply bodies.
//
// Replies are an HTTP status line containing "OK", headers, an empty line, the body lines, and a trailer line:
// "OK:n" with n the number of body lines, or "ERROR:code". Every number read from a reply is range-checked; a song
// ID that could not travel unescaped in a form body is refused where it is read and where it would be sent.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/vxstring.h"
#include "ranking/sslcom.h"

class VXStringList;

// Levels as the music game numbers them, and their names in requests.
inline constexpr int kRankLevelCount = 3;
inline constexpr const char* kRankLevelNames[kRankLevelCount] = {"normal", "hard", "easy"};

inline constexpr char kRankSongListPath[] = "/cgi-bin/marovine/ranking/qorm_getmlist.cgi";
inline constexpr char kRankRankingPath[] = "/cgi-bin/marovine/ranking/qorm_getranking.cgi";
inline constexpr char kRankUploadPath[] = "/cgi-bin/marovine/ranking/qorm_putranking.cgi";

inline constexpr int kRankMaxPlaces = 100;  // places a ranking reply is read for

// Server codes of an ERROR trailer on upload: 0 counts as success; every code but 2 is a failure to register.
enum TRankServerCode : int {
  rankCodeOk = 0,
  rankCodeBadRequest = 1,  // unknown song or level, malformed form, refused score
  rankCodeAuth = 2,        // user ID or password not accepted
  rankCodeCheck = 3,       // the check value does not belong to the score
  rankCodeStore = 4,       // the server could not store the score
};

// Where the ranking server is, as the settings give it: "RankingServer" (host, or host:port) and "RankingCA" (an
// extra PEM certificate to trust) of section "Game Debug"; the cancel descriptor and timeouts of the calls.
struct TRankingConnection {
  VXString host;
  TSslSettings ssl;
};

// A best score to upload.
struct TRankingUpload {
  VXString userId;
  VXString password;
  VXString songId;       // as the song list gave it
  int level = 0;
  int score = 0;
  std::uint32_t checkValue = 0;
};

// The check value kept beside a score: (0x00FFFFFF - score) modulo 2^32.
constexpr std::uint32_t ScoreCheckValue(int score) {
  return 0x00FFFFFFu - static_cast<std::uint32_t>(score);
}

// '%', '&', '+' and '=' become %25, %26, %2B and %3D; every other byte passes unchanged.
VXString EscapeFormValue(VXString value);

// A song ID that may travel unescaped in a form body: not empty, and no '%', '&', '+', '=', blank or control byte.
bool IsSafeSongId(std::string_view id);

// A decimal number: an optional '-' and one or more digits, within the range of int. False for anything else.
bool RankParseInt(std::string_view text, int& value);

// The form bodies; empty for a level outside 0..2 or a song ID that is not safe.
VXString RankingRequestBody(const VXString& songId, int level);
VXString UploadRequestBody(const TRankingUpload& upload);

// Checks a whole reply and leaves only its body in lines. 0 for a valid OK trailer; the code of an ERROR trailer
// (-1 when it does not parse); -1 for an empty list, a status line without "OK", headers with no empty line after
// them, no trailer, an OK count that differs from the body's line count, or any other trailer.
int RankCheckResponse(VXStringList* lines);

// The three requests: -1 when the transport fails (SslLastError() says why) or the request cannot be made, else
// the result of RankCheckResponse; lines are replaced by the reply's body.
int RankGetSongList(const TRankingConnection& connection, VXStringList* lines);
int RankGetRanking(const TRankingConnection& connection, VXStringList* lines, const VXString& songId, int level);
int RankPutRanking(const TRankingConnection& connection, VXStringList* lines, const TRankingUpload& upload);

// Reads song lines "ID,title" into two parallel lists (appended); lines with no comma, a comma first or last, or
// an unsafe ID are skipped. Returns the number of songs read.
int RankParseSongList(VXStringList* body, VXStringList* ids, VXStringList* titles);

// Reads ranking lines "name,score" from line first on, at most kRankMaxPlaces, into names (appended) and
// scores[0..]. A line without a usable comma gives an empty name and 0; a score that is not a number in
// 0..INT_MAX gives 0. Returns the number of places read.
int RankParseRanking(VXStringList* body, int first, VXStringList* names, int* scores);

// The rank in an upload reply's first body line: seven characters, then a decimal number (0 when it does not
// parse; 0 or less is outside the ranking). False for a line shorter than eight characters: no reply to an upload.
bool RankParseUploadRank(const VXString& line, int& rank);
