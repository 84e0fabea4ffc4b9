// The wipe methods through the real engine on image files: the states each method announces, the
// bytes each of its passes leaves, which passes read back, and the image afterwards.
//
// To see what each pass leaves, the engine runs with a file size limit at the start of the last
// sector of the range, so that every write pass comes up one sector short and waits after its
// "write failed" for the client: the image is read there, with the pass complete but for that
// sector. A second run without the limit gives the clean message sequence and the final image.
// Random passes are checked against the process generator, whose seed is the engine's start
// time in seconds.
#include "EngineFixture.h"

#include "random/Random.h"

#include <ctime>
#include <fstream>

namespace {

const std::string ready = "\"status\":\"ready\"";
const std::string passDone = "\"done\":true,\"status\":\"update\"";
const std::string ok = "\"response\":\"ok\"";

std::string state(const std::string& name, int index) {
  return "\"set_state\":\"" + name + "\",\"set_state_index\":" + std::to_string(index) +
         ",\"status\":\"update\"";
}
std::string done(std::uint64_t bytes) {
  return "\"run size\":" + std::to_string(bytes) + ",\"run time\":T,\"status\":\"done\"";
}
std::string failed(const char* what, long long lba) {
  return "\"lba\":" + std::to_string(lba) + ",\"message\":\"" + what +
         " failed\",\"sectors\":1,\"status\":\"error\"";
}
std::string progress(long long lba, long long processed) {
  return "\"lba\":" + std::to_string(lba) + ",\"processedSectors\":" + std::to_string(processed) +
         ",\"sectors\":1,\"status\":\"update\"";
}

// One announced state and what its pass writes.
struct Step {
  std::string name;
  int index;
  enum Kind { Pattern, Random, Verify } kind;
  std::string bytes; // the pattern, repeated from the start of every sector
};

Step pass(int index, std::string bytes) { return Step{"pass", index, Step::Pattern, bytes}; }
Step random_pass(int index) { return Step{"pass", index, Step::Random, ""}; }
Step wiping(std::string bytes) { return Step{"wiping", 0, Step::Pattern, bytes}; }
const Step verifying{"verifying", 0, Step::Verify, ""};
std::string byte(unsigned char b) { return std::string(1, static_cast<char>(b)); }

// The passes of "gutmann"; "verify" does not change them.
std::vector<Step> gutmann_steps() {
  const std::string triples[6] = {"\x92\x49\x24", "\x49\x24\x92", "\x24\x92\x49",
                                  "\x6D\xB6\xDB", "\xB6\xDB\x6D", "\xDB\x6D\xB6"};
  std::vector<Step> steps;
  for (int i = 1; i <= 4; ++i)
    steps.push_back(random_pass(i));
  steps.push_back(pass(5, byte(0x55)));
  steps.push_back(pass(6, byte(0xAA)));
  for (int i = 0; i < 3; ++i)
    steps.push_back(pass(7 + i, triples[i]));
  for (int i = 0; i < 16; ++i) // 0x00, 0x11, ... 0xFF
    steps.push_back(pass(10 + i, byte(static_cast<unsigned char>(0x11 * i))));
  for (int i = 0; i < 6; ++i)
    steps.push_back(pass(26 + i, triples[i]));
  for (int i = 32; i <= 35; ++i)
    steps.push_back(random_pass(i));
  return steps;
}

struct MethodCase {
  const char* name;
  const char* mode;
  std::string pattern;
  bool verify;
  std::vector<Step> steps;
  int readBacks; // how often the whole range is read
};

constexpr std::uint64_t sectorSize = 512;
constexpr std::uint64_t imageSectors = 70;
constexpr long long first = 3;
constexpr long long sectors = 64;
constexpr long long last = first + sectors - 1;
constexpr std::uint64_t rangeBytes = sectors * sectorSize;

// Bytes the engine process has read so far, by any means (its input lines and the device).
long long bytes_read(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/io");
  std::string key;
  long long value = -1;
  while (in >> key >> value)
    if (key == "rchar:")
      return value;
  return -1;
}

// What one run showed.
struct WipeRun {
  std::vector<std::string> replies;
  std::vector<std::string> held; // the image at each "write failed"
  std::string final;             // the image at "done"
  long long readBytes = -1;      // read by the engine during the wipe
};

WipeRun run_wipe(EngineClient& engine, const std::string& command, const std::string& image) {
  WipeRun run;
  const long long before = bytes_read(engine.pid());
  const Exchange exchange = converse(engine, command, [&](const config::Value& message) {
    if (message.get_string("status") == "done") {
      run.readBytes = bytes_read(engine.pid()) - before;
      run.final = file_text(image);
    } else if (message.has("message") && message.get_string("message") == "write failed") {
      run.held.push_back(file_text(image));
    }
    return ok;
  });
  run.replies = without_run_time(exchange.replies);
  return run;
}

// The image after the first `count` steps have written the first `written` sectors of the range,
// random data drawn from `stream` for the whole range.
std::string after_steps(std::string image, const std::vector<Step>& steps, std::size_t count,
                        long long written, RandomState stream) {
  for (std::size_t k = 0; k < count; ++k) {
    const Step& step = steps[k];
    std::string range;
    if (step.kind == Step::Verify)
      continue;
    if (step.kind == Step::Random) {
      range.resize(rangeBytes);
      fill_random_from(stream, range.data(), range.size());
    } else {
      for (long long i = 0; i < sectors; ++i)
        range += pattern_sector(step.bytes, sectorSize);
    }
    image.replace(first * sectorSize, written * sectorSize, range, 0, written * sectorSize);
  }
  return image;
}

RandomState seeded(std::time_t start) {
  RandomState s = initial_random_state;
  s.x ^= static_cast<std::uint32_t>(start);
  return s;
}

// Empty when, for one of the seeds of [from, by], every image held and the final one are those
// the steps give; else the first difference under the first seed.
std::string check_images(const MethodCase& c, const WipeRun& run, const std::string& original,
                         long long written, std::time_t from, std::time_t by) {
  std::string first;
  for (std::time_t t = from; t <= by; ++t) {
    std::string mismatch;
    std::size_t held = 0;
    for (std::size_t k = 0; k < c.steps.size() && mismatch.empty(); ++k) {
      if (c.steps[k].kind == Step::Verify || written == sectors)
        continue;
      if (held == run.held.size())
        return "no image held after step " + std::to_string(k + 1);
      mismatch = first_difference(
          run.held[held++], after_steps(original, c.steps, k + 1, written, seeded(t)), sectorSize);
      if (!mismatch.empty())
        mismatch = "after step " + std::to_string(k + 1) + ": " + mismatch;
    }
    if (mismatch.empty())
      mismatch = first_difference(
          run.final, after_steps(original, c.steps, c.steps.size(), written, seeded(t)),
          sectorSize);
    if (mismatch.empty())
      return "";
    if (first.empty())
      first = mismatch;
  }
  return first;
}

class MethodPasses : public EngineFixture, public ::testing::WithParamInterface<MethodCase> {
protected:
  // Runs the case's wipe on a fresh image; the range from the sector `limit` on cannot be written.
  void wipe(long long limit, std::vector<std::string> messages) {
    const MethodCase& c = GetParam();
    const std::string image = dir.file("disk.img");
    const std::string original = make_image(image, imageSectors, sectorSize);
    config::Value command = wipe_command(file_device(image), first, sectors, sectors);
    command.set("mode", c.mode);
    command.set("pattern", c.pattern);
    command.set("verify", c.verify);
    fileSizeLimit = limit * sectorSize;
    const std::time_t from = std::time(nullptr);
    start_ready();
    const std::time_t by = std::time(nullptr);
    const WipeRun run = run_wipe(*engine, line_of(command), image);
    EXPECT_EQ(255, finish());
    EXPECT_EQ(messages, run.replies);
    EXPECT_EQ("", check_images(c, run, original, limit ? limit - first : sectors, from, by));
    EXPECT_GE(run.readBytes, 0) << "cannot see what the engine read";
    // Reading back a pass cut short reads all but one sector of the range.
    const long long reads = (run.readBytes + rangeBytes / 2) / rangeBytes;
    EXPECT_EQ(c.readBacks, reads) << run.readBytes << " bytes read";
  }
};

TEST_P(MethodPasses, LeaveEachPassesBytes) {
  std::vector<std::string> messages;
  for (const Step& step : GetParam().steps) {
    messages.push_back(state(step.name, step.index));
    if (step.kind == Step::Verify) // the one sector never written differs
      messages.push_back(failed("compare", last));
    else
      messages.insert(messages.end(), {progress(last, sectors), failed("write", last)});
    messages.push_back(passDone);
  }
  messages.insert(messages.end(), {done(rangeBytes), ready});
  wipe(last, messages);
}

TEST_P(MethodPasses, RunCleanToTheEnd) {
  std::vector<std::string> messages;
  for (const Step& step : GetParam().steps)
    messages.insert(messages.end(), {state(step.name, step.index), passDone});
  messages.insert(messages.end(), {done(rangeBytes), ready});
  wipe(0, messages);
}

const std::string P = "AB";
const std::string notF = byte(0xBE);
const std::string notP = byte(0xBE) + byte(0xBD);
const std::string zero = byte(0x00);
const std::string ones = byte(0xFF);

std::vector<Step> with_verifying(std::vector<Step> steps) {
  steps.push_back(verifying);
  return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, MethodPasses,
    ::testing::Values(
        MethodCase{"ForwardWholePattern", "forward", P, true, {wiping(P), verifying}, 1},
        MethodCase{"DodCFirstByteVerified", "dod_c", P, true, {wiping("A"), verifying}, 1},
        MethodCase{"DodC", "dod_c", P, false, {wiping("A")}, 0},
        MethodCase{"DodD", "dod_d", P, false, {pass(1, "A"), pass(2, notF), random_pass(3)}, 0},
        MethodCase{"DodDReadsBackTheRandomPass",
                   "dod_d",
                   P,
                   true,
                   {pass(1, "A"), pass(2, notF), random_pass(3)},
                   1},
        MethodCase{
            "DodESameAsDodD", "dod_e", P, true, {pass(1, "A"), pass(2, notF), random_pass(3)}, 1},
        MethodCase{"DodH", "dod_h", P, false, {random_pass(1), pass(2, zero), pass(3, ones)}, 0},
        MethodCase{"DodHVerified", "dod_h", P, true,
                   with_verifying({random_pass(1), pass(2, zero), pass(3, ones)}), 1},
        MethodCase{"Ar", "ar_380_19", P, true,
                   with_verifying({random_pass(1), pass(2, "A"), pass(3, notF)}), 1},
        MethodCase{"Afssi", "afssi_5020", P, true,
                   with_verifying({pass(1, zero), pass(2, ones), pass(3, "A")}), 1},
        MethodCase{
            "Navso", "navso_p_5239_26", P, false, {pass(1, P), pass(2, notP), random_pass(3)}, 0},
        MethodCase{"NcscSameAsNavsoVerified",
                   "ncsc_tg_025",
                   P,
                   true,
                   {pass(1, P), pass(2, notP), random_pass(3)},
                   1},
        // Control bytes and line feeds in the pattern, and their complements.
        MethodCase{"NavsoControlBytes",
                   "navso_p_5239_26",
                   std::string("\0\xff\n", 3),
                   false,
                   {pass(1, std::string("\0\xff\n", 3)), pass(2, std::string("\xff\0\xf5", 3)),
                    random_pass(3)},
                   0},
        // An empty pattern: its first byte counts as 0x00, and the whole of it writes zeros.
        MethodCase{"EmptyPatternForward", "forward", "", false, {wiping("")}, 0},
        MethodCase{"EmptyPatternDodC", "dod_c", "", false, {wiping(zero)}, 0},
        MethodCase{"EmptyPatternAfssi",
                   "afssi_5020",
                   "",
                   false,
                   {pass(1, zero), pass(2, ones), pass(3, zero)},
                   0},
        MethodCase{"EmptyPatternDodD",
                   "dod_d",
                   "",
                   false,
                   {pass(1, zero), pass(2, ones), random_pass(3)},
                   0},
        MethodCase{"EmptyPatternAr",
                   "ar_380_19",
                   "",
                   false,
                   {random_pass(1), pass(2, zero), pass(3, ones)},
                   0},
        MethodCase{"EmptyPatternNavso",
                   "navso_p_5239_26",
                   "",
                   false,
                   {pass(1, ""), pass(2, ""), random_pass(3)},
                   0},
        MethodCase{"Gutmann", "gutmann", P, false, gutmann_steps(), 0},
        // Only the last of the 35 passes reads back.
        MethodCase{"GutmannVerified", "gutmann", P, true, gutmann_steps(), 1}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

// Random data is one stream of the process generator across chunks of any size (drawn ahead or
// in place), across the passes of a method and across commands; a pass read back compares what
// it wrote.
TEST_F(EngineFixture, RandomPassesContinueOneStream) {
  struct Piece {
    const char* mode;
    long long sectors, sectorsPerTime;
    bool verify;
  } pieces[] = {
      {"navso_p_5239_26", 3000, 1024, true}, // chunks drawn ahead, and a shorter last one
      {"dod_d", 2500, 1100, false},          // another size, the last chunk drawn in place
      {"ncsc_tg_025", 20, 7, false},         // chunks too small to draw ahead
  };
  const std::time_t from = std::time(nullptr);
  start_ready();
  const std::time_t by = std::time(nullptr);
  std::vector<std::string> images;
  for (const Piece& piece : pieces) {
    const std::string image = dir.file(std::string(piece.mode) + ".img");
    make_image(image, piece.sectors, sectorSize);
    config::Value command =
        wipe_command(file_device(image), 0, piece.sectors, piece.sectorsPerTime);
    command.set("mode", piece.mode);
    command.set("verify", piece.verify);
    const Exchange exchange = converse(*engine, line_of(command));
    const std::vector<std::string> expected{state("pass", 1),
                                            passDone,
                                            state("pass", 2),
                                            passDone,
                                            state("pass", 3),
                                            passDone,
                                            done(piece.sectors * sectorSize),
                                            ready};
    EXPECT_EQ(expected, without_run_time(exchange.replies)) << piece.mode;
    images.push_back(file_text(image));
  }
  EXPECT_EQ(255, finish());
  std::string mismatch;
  for (std::time_t t = from; t <= by; ++t) {
    RandomState stream = seeded(t);
    mismatch.clear();
    for (std::size_t i = 0; i < images.size() && mismatch.empty(); ++i) {
      std::string expected(pieces[i].sectors * sectorSize, '\0');
      fill_random_from(stream, expected.data(), expected.size());
      mismatch = first_difference(images[i], expected, sectorSize);
      if (!mismatch.empty())
        mismatch = pieces[i].mode + std::string(": ") + mismatch;
    }
    if (mismatch.empty())
      break;
  }
  EXPECT_EQ("", mismatch);
}

// An "interrupt" ends only the pass it comes in: the method goes on with its next passes and ends
// with "done", and a later command's random data follows on from the chunks the interrupted
// random pass wrote, not from the one drawn ahead for it. The writes fail at a known sector,
// where the engine waits for the client and gets the interrupt.
TEST_F(EngineFixture, InterruptEndsOnlyItsPass) {
  // Writes stop at sector 1500, inside the second chunk, where the image ends too.
  constexpr long long limitSector = 1500;
  fileSizeLimit = limitSector * sectorSize;
  const std::string image = dir.file("disk.img");
  make_image(image, limitSector, sectorSize);
  config::Value command = wipe_command(file_device(image), 0, 4096, 1024);
  command.set("mode", "dod_h");
  command.set("verify", true);
  command.set("jumpAfterErrorSectors", 4096); // one skip to the end of the range
  const std::time_t from = std::time(nullptr);
  start_ready();
  const std::time_t by = std::time(nullptr);
  int writeFailures = 0;
  const Exchange exchange = converse(*engine, line_of(command), [&](const config::Value& m) {
    const bool writeFailed = m.has("message") && m.get_string("message") == "write failed";
    // The first pass (random) and the second are interrupted, the third is not.
    return writeFailed && ++writeFailures <= 2 ? "\"command\":\"interrupt\"" : ok;
  });
  const std::string skip =
      "\"lba\":1500,\"processedSectors\":4096,\"sectors\":2596,\"status\":\"update\"";
  const std::string at = "\"lba\":1500,\"message\":\"";
  const std::string rest = " failed\",\"sectors\":2596,\"status\":\"error\"";
  EXPECT_EQ((std::vector<std::string>{state("pass", 1), skip, at + "write" + rest, passDone,
                                      state("pass", 2), skip, at + "write" + rest, passDone,
                                      state("pass", 3), skip, at + "write" + rest, passDone,
                                      state("verifying", 0), skip, at + "read" + rest, passDone,
                                      done(4096 * sectorSize), ready}),
            without_run_time(exchange.replies));

  // A second command, on an image below the limit: its random pass follows on from the two
  // chunks of 1024 sectors that the interrupted pass wrote, not from the third drawn ahead.
  const std::string small = dir.file("small.img");
  make_image(small, 50, sectorSize);
  config::Value next = wipe_command(file_device(small), 0, 50, 50);
  next.set("mode", "navso_p_5239_26");
  converse(*engine, line_of(next));
  EXPECT_EQ(255, finish());
  std::string mismatch;
  for (std::time_t t = from; t <= by; ++t) {
    RandomState stream = seeded(t);
    std::string drawn(2 * 1024 * sectorSize, '\0');
    fill_random_from(stream, drawn.data(), drawn.size());
    std::string expected(50 * sectorSize, '\0');
    fill_random_from(stream, expected.data(), expected.size());
    mismatch = first_difference(file_text(small), expected, sectorSize);
    if (mismatch.empty())
      break;
  }
  EXPECT_EQ("", mismatch);
}

// The emulated device reads back its own pattern, never the random data written: the read-back of
// a random pass reports each sector it compared, and the write failure after them.
TEST_F(EngineFixture, RandomPassReadBackComparesEverySector) {
  config::Value command = wipe_command(emulator_device({{0, 2}}, "EMU"), 0, 3, 3);
  command.set("mode", "dod_d");
  command.set("verify", true);
  start_ready();
  const Exchange exchange = converse(*engine, line_of(command));
  const std::string skip = progress(2, 3);
  EXPECT_EQ(
      (std::vector<std::string>{state("pass", 1), skip, failed("write", 2), passDone,
                                state("pass", 2), skip, failed("write", 2), passDone,
                                state("pass", 3), failed("compare", 0), failed("compare", 1), skip,
                                failed("write", 2), passDone, done(3 * sectorSize), ready}),
      without_run_time(exchange.replies));
  EXPECT_EQ(255, finish());
}

// A device that cannot be opened: one "init failed", one line taken, the method's own log line,
// and nothing else before "ready".
TEST_F(EngineFixture, MethodsWhoseDeviceFailsToOpenSendOnlyInitFailed) {
  const struct {
    const char* mode;
    const char* line;
  } cases[] = {
      {"dod_c", "WipeStandard.cpp(194)"},
      {"dod_d", "WipeDOD.cpp(36)"},
      {"dod_e", "WipeDOD.cpp(36)"},
      {"dod_h", "WipeDOD.cpp(75)"},
      {"ar_380_19", "WipeAR.cpp(20)"},
      {"afssi_5020", "WipeAFSSI.cpp(20)"},
      {"navso_p_5239_26", "WipeNAVSO.cpp(20)"},
      {"ncsc_tg_025", "WipeNAVSO.cpp(20)"},
      {"gutmann", "WipeGutmann.cpp(20)"},
  };
  start_ready();
  for (const auto& c : cases) {
    config::Value command = wipe_command(file_device(dir.file("none/disk.img")), 0, 8, 8);
    command.set("mode", c.mode);
    const Exchange exchange = converse(*engine, line_of(command));
    EXPECT_EQ((std::vector<std::string>{"\"message\":\"init failed\",\"status\":\"error\"", ready}),
              exchange.replies)
        << c.mode;
  }
  EXPECT_EQ(255, finish());
  // The lines in the order of the commands, each right after the device's own.
  const std::string log = log_text();
  std::size_t at = 0;
  for (const auto& c : cases) {
    at = log.find("DriverStd.cpp(79)\n" + std::string(c.line) + "\n", at);
    ASSERT_NE(std::string::npos, at) << c.mode << "\n" << log;
    ++at;
  }
}

// Members are read where the passes need them: a method that never uses the pattern runs without
// one; the others run the passes before the one that needs it, and then the engine ends.
TEST_F(EngineFixture, MissingPatternIsFoundWhereItIsRead) {
  const struct {
    const char* mode;
    int passesRun; // -1: the method completes
  } cases[] = {{"dod_h", -1}, {"ar_380_19", 1}, {"afssi_5020", 2}, {"navso_p_5239_26", 0}};
  for (const auto& c : cases) {
    const std::string image = dir.file("disk.img");
    make_image(image, 8, sectorSize);
    config::Value command = wipe_command(file_device(image), 0, 8, 8);
    command.set("mode", c.mode);
    command.as_object().erase("pattern");
    start_ready();
    const Exchange exchange = converse(*engine, line_of(command));
    std::vector<std::string> expected;
    for (int i = 1; i <= (c.passesRun < 0 ? 3 : c.passesRun); ++i)
      expected.insert(expected.end(), {state("pass", i), passDone});
    if (c.passesRun < 0)
      expected.insert(expected.end(), {done(8 * sectorSize), ready});
    EXPECT_EQ(expected, without_run_time(exchange.replies)) << c.mode;
    EXPECT_EQ(255, finish());
    const std::string log = log_text();
    EXPECT_EQ(c.passesRun >= 0,
              log.find("main.cpp(44): exception: \"pattern\" is not found\n") != std::string::npos)
        << c.mode << "\n"
        << log;
  }
}
