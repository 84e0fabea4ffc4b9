// make_sound: writes one of the program's two notification sounds as a WAV file (16-bit PCM,
// mono, 22050 Hz), for the build to put into the program directory.
//
//   make_sound error FILE   two falling notes with a hard edge: a wipe failed
//   make_sound done FILE    a rising chime of four notes: a wipe finished
//
// Exit code 0 when the file was written, 1 when it could not be, 2 for a wrong command line.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

constexpr int rate = 22050;

struct Note {
  double hertz;
  double seconds;
  // Share of the third and fifth harmonics that give the note a harder edge.
  double edge;
};

// The notes one after another, each with a short rise and an exponential fall, and a short
// silence between them so that they do not run together.
std::vector<std::int16_t> render(const std::vector<Note>& notes) {
  std::vector<std::int16_t> samples;
  for (const Note& note : notes) {
    const int count = static_cast<int>(note.seconds * rate);
    for (int i = 0; i < count; ++i) {
      const double t = static_cast<double>(i) / rate;
      const double phase = 2 * std::numbers::pi * note.hertz * t;
      const double wave =
          std::sin(phase) + note.edge * (std::sin(3 * phase) / 3 + std::sin(5 * phase) / 5);
      const double rise = std::min(1.0, t / 0.005);
      const double fall = std::exp(-4.0 * t / note.seconds);
      const double end = std::min(1.0, (note.seconds - t) / 0.01);
      const double value = 0.45 * wave / (1 + note.edge * 0.5) * rise * fall * end;
      samples.push_back(static_cast<std::int16_t>(std::lround(value * 32767)));
    }
    samples.insert(samples.end(), rate / 25, 0);
  }
  return samples;
}

void put_u32(std::vector<char>& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void put_u16(std::vector<char>& out, std::uint16_t value) {
  out.push_back(static_cast<char>(value & 0xff));
  out.push_back(static_cast<char>(value >> 8));
}

std::vector<char> wav(const std::vector<std::int16_t>& samples) {
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
  std::vector<char> out;
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put_u32(out, 36 + dataBytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put_u32(out, 16);       // size of the format chunk
  put_u16(out, 1);        // PCM
  put_u16(out, 1);        // mono
  put_u32(out, rate);     // samples per second
  put_u32(out, rate * 2); // bytes per second
  put_u16(out, 2);        // bytes per sample frame
  put_u16(out, 16);       // bits per sample
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put_u32(out, dataBytes);
  for (std::int16_t sample : samples)
    put_u16(out, static_cast<std::uint16_t>(sample));
  return out;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3)
    return 2;
  std::vector<Note> notes;
  if (std::strcmp(argv[1], "error") == 0)
    notes = {{587.33, 0.22, 0.8}, {440.0, 0.22, 0.8}, {349.23, 0.40, 0.8}};
  else if (std::strcmp(argv[1], "done") == 0)
    notes = {{523.25, 0.12, 0.0}, {659.25, 0.12, 0.0}, {783.99, 0.12, 0.0}, {1046.5, 0.45, 0.0}};
  else
    return 2;
  const std::vector<char> bytes = wav(render(notes));
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file.flush() ? 0 : 1;
}
