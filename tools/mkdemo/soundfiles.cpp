#include "tools/mkdemo/soundfiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "core/vxstream.h"
#include "device/vxladpstream.h"
#include "tools/mkdemo/oggfile.h"

namespace mkdemo {

namespace {

std::vector<std::int16_t> Pcm16(const Sound& sound) {
  std::vector<std::int16_t> pcm(sound.samples.size());
  for (std::size_t i = 0; i < pcm.size(); ++i)
    pcm[i] = static_cast<std::int16_t>(std::lround(std::clamp(sound.samples[i], -1.0f, 1.0f) * 32767.0f));
  return pcm;
}

void PutLE(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::string WavFile(const Sound& sound) {
  const std::vector<std::int16_t> pcm = Pcm16(sound);
  const std::uint32_t data = static_cast<std::uint32_t>(pcm.size() * 2);
  const std::uint32_t channels = static_cast<std::uint32_t>(sound.channels);
  std::string out = "RIFF";
  PutLE(out, 36 + data, 4);
  out += "WAVEfmt ";
  PutLE(out, 16, 4);
  PutLE(out, 1, 2);  // PCM
  PutLE(out, channels, 2);
  PutLE(out, kSampleRate, 4);
  PutLE(out, kSampleRate * channels * 2, 4);
  PutLE(out, channels * 2, 2);
  PutLE(out, 16, 2);
  out += "data";
  PutLE(out, data, 4);
  out.append(reinterpret_cast<const char*>(pcm.data()), data);
  return out;
}

std::string AdpFile(const Sound& sound) {
  const std::vector<std::int16_t> pcm = Pcm16(sound);
  VXMemoryStream stream;
  if (!VXAdpStream::Encode(&stream, pcm.data(), static_cast<std::uint32_t>(sound.Frames()), kSampleRate,
                           static_cast<std::uint16_t>(sound.channels)))
    throw std::runtime_error("the ADP encoder failed");
  return std::string(reinterpret_cast<const char*>(stream.GetMemory()), static_cast<std::size_t>(stream.GetSize()));
}

std::string SoundFile(const std::string& name, const Sound& sound, float quality) {
  const std::string ext = Lower(std::filesystem::path(name).extension().string());
  if (ext == ".ogg") return OggFile(sound, quality);
  if (ext == ".adp") return AdpFile(sound);
  if (ext == ".wav") return WavFile(sound);
  throw std::runtime_error(name + ": a sound is .ogg, .adp or .wav");
}

}  // namespace mkdemo
