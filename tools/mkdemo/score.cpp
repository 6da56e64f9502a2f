#include "tools/mkdemo/score.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <stdexcept>

#include "tools/mkdemo/style.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

struct LineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

double Number(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') throw LineError("\"" + text + "\" is not a number");
  return value;
}

float Pitch(const std::string& text, bool drums) {
  if (drums) {
    static const std::map<std::string, DrumHit> kHits = {{"k", kKick}, {"s", kSnare}, {"h", kHat},
                                                         {"o", kOpenHat}, {"c", kClap}, {"t", kShaker}};
    const auto it = kHits.find(text);
    if (it == kHits.end()) throw LineError("\"" + text + "\" is not a drum (k s h o c t)");
    return static_cast<float>(it->second);
  }
  return NotePitch(text);
}

class Reader {
public:
  void Setting(const std::string& key, const std::string& value) {
    if (key == "tempo") score.tempo = Number(value);
    else if (key == "beats") score.beats = Number(value);
    else if (key == "loop") score.loops = true, score.loopBeat = Number(value);
    else if (key == "loopframe") score.loopFrame = static_cast<long>(Number(value));
    else if (key == "reverb") score.reverb = static_cast<float>(Number(value));
    else if (key == "channels") score.channels = static_cast<int>(Number(value));
    else if (key == "title") return;
    else if (key == "voice") AddVoice(value);
    else throw LineError("unknown setting \"" + key + "\"");
  }

  void Notes(const std::string& name, std::string text) {
    const auto it = voiceIndex_.find(name);
    if (it == voiceIndex_.end()) throw LineError("no voice \"" + name + "\"");
    int times = 1;
    if (!text.empty() && text[0] == '*') {
      const auto [count, rest] = SplitFirst(text.substr(1));
      times = static_cast<int>(Number(count));
      text = rest;
    }
    const bool drums = score.voices[it->second].instrument == "drums";
    for (int i = 0; i < times; ++i) Tokens(it->second, text, drums);
  }

  Score score;

private:
  void AddVoice(const std::string& value) {
    std::istringstream in(value);
    ScoreVoice voice;
    std::string volume, pan;
    if (!(in >> voice.name >> voice.instrument >> volume >> pan)) throw LineError("voice: name instrument volume pan");
    voice.volume = static_cast<float>(Number(volume));
    voice.pan = static_cast<float>(Number(pan));
    voiceIndex_[voice.name] = static_cast<int>(score.voices.size());
    score.voices.push_back(voice);
    cursor_.push_back(0);
    length_.push_back(1);
  }

  void Tokens(int voice, const std::string& text, bool drums) {
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
      if (token == "|") continue;
      const auto slash = token.find('/');
      if (slash != std::string::npos) length_[voice] = Number(token.substr(slash + 1));
      const std::string pitches = token.substr(0, slash);
      ScoreNote note{voice, cursor_[voice], length_[voice], {}};
      if (pitches != "r") {
        std::size_t start = 0;
        for (std::size_t plus; (plus = pitches.find('+', start)) != std::string::npos; start = plus + 1)
          note.pitches.push_back(Pitch(pitches.substr(start, plus - start), drums));
        note.pitches.push_back(Pitch(pitches.substr(start), drums));
        score.notes.push_back(note);
      }
      cursor_[voice] += length_[voice];
    }
  }

  std::map<std::string, int> voiceIndex_;
  std::vector<double> cursor_;
  std::vector<double> length_;
};

}  // namespace

float NotePitch(const std::string& text) {
  static const int kSteps[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (text.size() < 2 || text[0] < 'A' || text[0] > 'G') throw LineError("\"" + text + "\" is not a pitch");
  int semitone = kSteps[text[0] - 'A'];
  std::size_t at = 1;
  if (text[at] == '#') ++semitone, ++at;
  else if (text[at] == 'b') --semitone, ++at;
  const double octave = Number(text.substr(at));
  return static_cast<float>(12 * (octave + 1) + semitone);
}

double Score::FramesPerBeat(int rate) const {
  if (loopFrame >= 0 && loops && loopBeat > 0) return loopFrame / loopBeat;
  return rate * 60.0 / tempo;
}

Score ReadScore(const std::string& path) {
  Reader reader;
  for (const DataLine& line : ReadDataLines(path)) {
    try {
      const auto [word, rest] = SplitFirst(line.text);
      if (word.back() == ':') reader.Notes(word.substr(0, word.size() - 1), rest);
      else reader.Setting(word, rest);
    } catch (const LineError& e) {
      throw std::runtime_error(path + ":" + std::to_string(line.number) + ": " + e.what());
    }
  }
  if (reader.score.beats <= 0) throw std::runtime_error(path + ": no length (beats)");
  if (reader.score.voices.empty()) throw std::runtime_error(path + ": no voice");
  if (reader.score.loops && (reader.score.loopBeat < 0 || reader.score.loopBeat >= reader.score.beats))
    throw std::runtime_error(path + ": the loop must start inside the piece");
  for (const ScoreVoice& voice : reader.score.voices)
    if (!KnownInstrument(voice.instrument)) throw std::runtime_error(path + ": no instrument \"" + voice.instrument + "\"");
  return reader.score;
}

}  // namespace mkdemo
