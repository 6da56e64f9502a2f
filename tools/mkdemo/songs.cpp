#include "tools/mkdemo/songs.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "tools/mkdemo/chart.h"
#include "tools/mkdemo/songart.h"
#include "tools/mkdemo/songpics.h"
#include "tools/mkdemo/soundfiles.h"
#include "tools/mkdemo/stage.h"
#include "tools/mkdemo/style.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

using SongPtr = std::shared_ptr<const SongSource>;

constexpr float kSongPeak = 0.8f, kSongQuality = 0.3f, kToneQuality = 0.4f;


std::string SongId(const SongSource& song) {
  char tag[32], tempo[32], length[32];
  std::snprintf(tag, sizeof tag, "Ver%d.%02d", song.version / 100, song.version % 100);
  std::snprintf(tempo, sizeof tempo, "TEMPO=%d", static_cast<int>(std::lround(song.score.tempo)));
  const int seconds = static_cast<int>(std::lround(song.score.beats * 60 / song.score.tempo));
  std::snprintf(length, sizeof length, "LENGTH=%d:%02d", seconds / 60, seconds % 60);
  const std::string lines[] = {
      tag,    song.id, song.version >= 200 ? song.options : "", Cp932Text(song.title), Cp932Text(song.artist), tempo,
      length, "BELVAR"};
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

// One note of the played voice, dry and alone, as the game sounds it when its key is struck.
Sound Tone(const SongSource& song, int pitch) {
  Score score;
  score.tempo = 120;
  score.beats = 1;  // half a second held; the instrument's release follows
  score.channels = 1;
  score.reverb = 0.1f;
  ScoreVoice voice = song.score.voices[static_cast<std::size_t>(song.PlayedVoice())];
  voice.volume = 1;
  voice.pan = 0;
  score.voices.push_back(voice);
  score.notes.push_back({0, 0, 1, {static_cast<float>(pitch)}});
  return Render(score, kSongPeak);
}

std::string PartPath(const SongSource& song, const SongPart& part) {
  return "Song/" + song.id + "/" + part.name + (part.pack ? ".pak" : "");
}

void AddPart(const Context& context, const SongPtr& song, const SongPart& part,
             const std::map<std::string, ArtRecipe>& art, std::vector<Asset>& assets) {
  const std::string path = PartPath(*song, part);
  const Style& style = context.style;
  const auto add = [&](const std::string& name, std::function<std::string()> make) {
    assets.push_back({name, Place::kPart, std::move(make), path});
  };
  add("SONG.ID", [song] { return SongId(*song); });
  add("Song.txt", [song] { return ChartFile(*song); });
  const std::string stage = song->folder + "/" + part.stage;
  add("Anime.txt", [song, stage] { return StageFile(stage, song->score.tempo); });
  std::vector<std::string> pictures = {"curtain.png"};
  if (part.name == "song") {
    for (const std::string& title : song->titlePictures) pictures.push_back(title + ".png");
    pictures.insert(pictures.end(), {"songdata.png", "songname.png"});
  }
  for (const std::string& name : pictures) add(name, [&style, song, name] { return SongPicture(style, *song, name); });
  const std::vector<std::string> folders = {song->folder, context.dataFolder + "/songs"};
  for (const std::string& name : StageFiles(stage, folders)) {
    const auto recipe = art.find(name);
    if (recipe == art.end()) throw std::runtime_error(stage + ": nothing in art.txt makes " + name);
    add(name, [&style, song, r = recipe->second] { return MakeArt(style, *song, r); });
  }
}

void AddKeyPart(const SongPtr& song, const SongPart& part, std::vector<Asset>& assets) {
  for (int pitch : ChartPitches(*song))
    assets.push_back({ToneName(pitch) + "." + song->tones, Place::kPart,
                      [song, pitch] { return SoundFile("tone." + song->tones, Tone(*song, pitch), kToneQuality); },
                      PartPath(*song, part)});
}

}  // namespace

void AddSongs(const Context& context, std::vector<Asset>& assets) {
  std::vector<SongPtr> songs;
  for (const std::string& id : SongIds(context.dataFolder))
    songs.push_back(std::make_shared<const SongSource>(ReadSongSource(context.dataFolder, id)));
  // The audio first: the longest jobs, so that the threads share the rest evenly.
  for (const SongPtr& song : songs)
    assets.push_back({"Song/" + song->id + "/song." + song->audio, Place::kRoot, [song] {
                        return SoundFile("song." + song->audio, Render(song->score, kSongPeak), kSongQuality);
                      }});
  for (const SongPtr& song : songs) {
    const std::map<std::string, ArtRecipe> art = ReadArt(*song);
    for (const SongPart& part : song->parts) {
      if (part.name == "key")
        AddKeyPart(song, part, assets);
      else
        AddPart(context, song, part, art, assets);
    }
  }
}

}  // namespace mkdemo
