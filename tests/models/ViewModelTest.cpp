// The sector view model: against the scripted fake engine for the texts, the answers and the
// failures, and against the real engine on a simulated machine for sectors read from a disk.
#include "ViewModel.h"
#include "BootSector.h"
#include "FakeEngine.h"
#include "LogCapture.h"
#include "MainLoop.h"
#include "SectorDump.h"
#include "TestMachine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace {

constexpr gint64 wait_limit_us = 30 * G_USEC_PER_SEC;

Drive drive_of(std::uint64_t sectors, std::uint64_t sectorSize, int number = 0) {
  Drive drive;
  drive.set_id("\\\\.\\PhysicalDrive" + std::to_string(number));
  drive.set_sectors(sectors);
  drive.set_sector_size(sectorSize);
  return drive;
}

config::Value configuration_with(const std::string& engine) {
  config::Value configuration(config::Value::Object);
  configuration.set("Driver", engine);
  return configuration;
}

// The bytes of sector `lba` in the golden files: (i * 37 + lba * 11) mod 256.
std::string sector_bytes(std::uint64_t lba, std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>((i * 37 + lba * 11) & 0xff);
  return bytes;
}

// The line a read of `lba` sends for the drive drive_of(..., 512).
std::string read_line(long long lba, int sectorSize = 512) {
  return "\"command\":\"read sectors\",\"device\":{\"id\":\"\\\\\\\\.\\\\PhysicalDrive0\","
         "\"sectorSize\":" +
         std::to_string(sectorSize) + ",\"type\":\"drive\"},\"lba\":" + std::to_string(lba) +
         ",\"sectors\":1";
}

std::string done_reply(long long lba, const std::string& data) {
  config::Value reply(config::Value::Object);
  reply.set("status", "done");
  reply.set("lba", lba);
  reply.set("sectors", 1);
  reply.set("data", data);
  return reply.to_string(config::Braces::Omitted, config::Layout::OneLine);
}

// Collects what the model shows; can react to a text by reading again.
class Screen : public ViewModel::View {
public:
  void show(std::uint64_t lba, const std::string& text) override {
    shown.emplace_back(lba, text);
    if (react)
      react(lba, text);
  }
  std::vector<std::pair<std::uint64_t, std::string>> shown;
  std::function<void(std::uint64_t, const std::string&)> react;
};

bool wait_for_shown(const Screen& screen, std::size_t count) {
  return run_loop([&] { return screen.shown.size() >= count; }, wait_limit_us);
}

} // namespace

// Whole texts for a 512- and a 4096-byte sector, a short one and an empty one, with an LBA
// that needs all 64 bits; every reply answered before it is shown, the next read sent from
// show.
TEST(ViewModel, GoldenHexDumps) {
  const struct {
    long long lba;
    std::size_t size;
    const char* golden;
  } reads[] = {{0, 512, "sector-512.txt"},
               {1, 4096, "sector-4096.txt"},
               {2, 20, "sector-20.txt"},
               {-1, 0, "sector-empty.txt"}};
  std::string script = "send \"status\":\"ready\"\n";
  for (const auto& r : reads)
    script += "expect " + read_line(r.lba) + "\nsend " +
              done_reply(r.lba, sector_bytes(r.lba < 0 ? 0 : r.lba, r.size)) +
              "\nexpect \"response\":\"ok\"\nsend \"status\":\"ready\"\n";
  FakeEngine engine(script);
  LogCapture log;
  const config::Value configuration = configuration_with(FakeEngine::program());
  ViewModelFactoryImpl factory(configuration);
  std::unique_ptr<ViewModel> model(factory.create(drive_of(1 << 20, 512)));
  Screen screen;
  model->set_view(&screen);
  EXPECT_EQ(model->format(), ViewModel::FormatHexDump);
  std::size_t next = 1;
  screen.react = [&](std::uint64_t, const std::string&) {
    if (next < std::size(reads))
      model->read(static_cast<std::uint64_t>(reads[next++].lba));
  };
  model->read(0);
  ASSERT_TRUE(wait_for_shown(screen, std::size(reads))) << log.text();
  for (std::size_t i = 0; i < std::size(reads); ++i) {
    SCOPED_TRACE(reads[i].golden);
    EXPECT_EQ(screen.shown[i].first, static_cast<std::uint64_t>(reads[i].lba));
    EXPECT_EQ(screen.shown[i].second, test_data_file(std::string("views/") + reads[i].golden));
  }
  EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();
}

// The format in force when the reply arrives decides the text; a change shows nothing by
// itself; formats other than the three boot sectors are hex dumps.
TEST(ViewModel, FormatOfTheReplyTime) {
  const std::string sector = sector_bytes(5, 512);
  std::string script = "send \"status\":\"ready\"\n";
  for (int i = 0; i < 5; ++i)
    script += "expect " + read_line(5) + "\nsend " + done_reply(5, sector) +
              "\nexpect \"response\":\"ok\"\nsend \"status\":\"ready\"\n";
  FakeEngine engine(script);
  const config::Value configuration = configuration_with(FakeEngine::program());
  std::unique_ptr<ViewModel> model(
      ViewModelFactoryImpl(configuration).create(drive_of(1 << 20, 512)));
  Screen screen;
  model->set_view(&screen);
  const std::string lbaLine = "*** LBA: 5 ***\n";
  auto without_end = [](std::string text) {
    if (!text.empty() && text.back() == '\n')
      text.pop_back();
    return text;
  };
  const struct {
    int format;
    std::string text;
  } cases[] = {
      {ViewModel::FormatFat16, lbaLine + without_end(decode_boot_sector(sector, 0))},
      {ViewModel::FormatFat32, lbaLine + without_end(decode_boot_sector(sector, 1))},
      {ViewModel::FormatNtfs, lbaLine + without_end(decode_boot_sector(sector, 2))},
      {7, lbaLine + without_end(sector_hex_dump(sector))},
      {ViewModel::FormatHexDump, lbaLine + without_end(sector_hex_dump(sector))},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    model->read(5);
    model->set_format(cases[i].format); // after the read, before its reply
    EXPECT_EQ(screen.shown.size(), i);
    ASSERT_TRUE(wait_for_shown(screen, i + 1));
    EXPECT_EQ(screen.shown[i].second, cases[i].text) << "format " << cases[i].format;
  }
}

// The engine takes any line after its reply as the reply's answer: a second read written while
// one is unanswered would be taken so, and the answer then read as a command, which ends the
// engine. The model keeps one read in flight; of the reads asked for meanwhile the newest is
// sent once the engine is ready again, the others are dropped.
TEST(ViewModel, OneReadInFlightTheNewestWishWaits) {
  std::string script = "send \"status\":\"ready\"\n";
  for (long long lba : {0, 1, 3})
    script += "expect " + read_line(lba) + "\nsend " + done_reply(lba, sector_bytes(lba, 16)) +
              "\nexpect \"response\":\"ok\"\nsend \"status\":\"ready\"\n";
  FakeEngine engine(script);
  LogCapture log;
  const config::Value configuration = configuration_with(FakeEngine::program());
  std::unique_ptr<ViewModel> model(
      ViewModelFactoryImpl(configuration).create(drive_of(1 << 20, 512)));
  Screen screen;
  model->set_view(&screen);
  model->read(0);
  ASSERT_TRUE(wait_for_shown(screen, 1)) << log.text();
  model->read(1);
  model->read(2);
  model->read(3);
  ASSERT_TRUE(wait_for_shown(screen, 3)) << log.text();
  // Nothing more: the engine waits for its next command.
  run_loop([] { return false; }, 300 * 1000);
  std::vector<std::uint64_t> lbas;
  for (const auto& [lba, text] : screen.shown)
    lbas.push_back(lba);
  EXPECT_EQ(lbas, (std::vector<std::uint64_t>{0, 1, 3}));
  const std::string ok = "\"response\":\"ok\"\n";
  EXPECT_EQ(engine.input(),
            read_line(0) + "\n" + ok + read_line(1) + "\n" + ok + read_line(3) + "\n" + ok);
  model.reset();
  EXPECT_TRUE(run_loop([&] { return engine.all_ended(); }, wait_limit_us));
  EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();
  EXPECT_EQ(engine.pids().size(), 1u);
}

// Errors and failures: their lines and LBAs, and the engine answered wherever it waits, so that
// the same engine serves the next read.
TEST(ViewModel, ErrorLines) {
  const std::string ack = "expect \"response\":\"ok\"\nsend \"status\":\"ready\"\n";
  const struct {
    const char* name;
    std::string reply; // the engine's answer to a read of sector 9
    std::uint64_t lba;
    const char* text;
  } cases[] = {
      {"init failed", R"("message":"init failed","status":"error")", 0,
       "*** ERROR: Init failed ***"},
      {"read failed", R"("lba":9,"message":"read failed","sectors":1,"status":"error")", 9,
       "*** ERROR: Read failed (LBA: 9, sectors: 1) ***"},
      {"read failed, unsigned LBA and signed count",
       R"("lba":-2,"message":"read failed","sectors":-1,"status":"error")", 18446744073709551614u,
       "*** ERROR: Read failed (LBA: 18446744073709551614, sectors: -1) ***"},
      {"another message, untranslated", R"("message":"invalid command","status":"error")", 0,
       "*** ERROR: invalid command ***"},
      {"done without data", R"("lba":9,"sectors":1,"status":"done")", 0,
       "*** ERROR: Invalid response from driver ***"},
      {"done with a text LBA", R"("data":"","lba":"9","status":"done")", 0,
       "*** ERROR: Invalid response from driver ***"},
      {"error without message", R"("status":"error")", 0,
       "*** ERROR: Invalid response from driver ***"},
      {"read failed without its sectors", R"("lba":9,"message":"read failed","status":"error")", 0,
       "*** ERROR: Invalid response from driver ***"},
  };
  std::string script = "send \"status\":\"ready\"\n";
  for (const auto& c : cases)
    script += "expect " + read_line(9) + "\nsend " + c.reply + "\n" + ack;
  // Then a line that is no reply, and the engine's end.
  script += "expect " + read_line(9) + "\nsend garbage\nexit 3\n";
  FakeEngine engine(script);
  LogCapture log;
  const config::Value configuration = configuration_with(FakeEngine::program());
  std::unique_ptr<ViewModel> model(
      ViewModelFactoryImpl(configuration).create(drive_of(1 << 20, 512)));
  Screen screen;
  model->set_view(&screen);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    model->read(9);
    ASSERT_TRUE(wait_for_shown(screen, i + 1)) << log.text();
    EXPECT_EQ(screen.shown[i], std::make_pair(cases[i].lba, std::string(cases[i].text)));
  }
  model->read(9);
  ASSERT_TRUE(wait_for_shown(screen, std::size(cases) + 2)) << log.text();
  const std::size_t end = std::size(cases);
  EXPECT_EQ(
      screen.shown[end],
      std::make_pair(std::uint64_t{0}, std::string("*** ERROR: Invalid response from driver ***")));
  EXPECT_EQ(screen.shown[end + 1],
            std::make_pair(std::uint64_t{0}, std::string("*** ERROR: Driver exit status: 3 ***")));
  EXPECT_TRUE(run_loop([&] { return engine.all_ended(); }, wait_limit_us));
  EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();

  // An engine that cannot be started.
  const config::Value missing = configuration_with("/nonexistent/cvwdrv");
  std::unique_ptr<ViewModel> lost(ViewModelFactoryImpl(missing).create(drive_of(8, 512)));
  lost->set_view(&screen);
  const std::size_t before = screen.shown.size();
  lost->read(0);
  EXPECT_EQ(screen.shown.back(),
            std::make_pair(std::uint64_t{0}, std::string("*** ERROR: Cannot start driver ***")));
  // Nothing is left in flight: the next read tries again.
  lost->read(1);
  EXPECT_EQ(screen.shown.size(), before + 2);

  const config::Value none(config::Value::Object);
  EXPECT_THROW(ViewModelFactoryImpl(none).create(drive_of(8, 512)), config::Value::Exception);
}

// Without a view the replies are still answered. A view whose show throws once after the model
// answered does not make the model answer twice (a second line would be read by the engine as
// its next command), and the next read is served.
TEST(ViewModel, AnsweredOnceWithOrWithoutView) {
  std::string script = "send \"status\":\"ready\"\n";
  for (int lba = 0; lba < 3; ++lba)
    script += "expect " + read_line(lba) + "\nsend " + done_reply(lba, sector_bytes(lba, 16)) +
              "\nexpect \"response\":\"ok\"\nsend \"status\":\"ready\"\n";
  script += "exit 0\n";
  FakeEngine engine(script);
  LogCapture log;
  const config::Value configuration = configuration_with(FakeEngine::program());
  std::unique_ptr<ViewModel> model(
      ViewModelFactoryImpl(configuration).create(drive_of(1 << 20, 512)));
  model->read(0);
  ASSERT_TRUE(
      run_loop([&] { return engine.input().size() > read_line(0).size() + 1; }, wait_limit_us));

  Screen screen;
  bool thrown = false;
  screen.react = [&](std::uint64_t, const std::string&) {
    if (!thrown) {
      thrown = true;
      throw std::runtime_error("view failed");
    }
  };
  model->set_view(&screen);
  model->read(1);
  ASSERT_TRUE(wait_for_shown(screen, 2)) << log.text();
  EXPECT_EQ(screen.shown[1].second, "*** ERROR: Invalid response from driver ***");
  model->read(2);
  ASSERT_TRUE(wait_for_shown(screen, 3)) << log.text();
  EXPECT_EQ(screen.shown[2].second.substr(0, 15), "*** LBA: 2 ***\n");
  ASSERT_TRUE(run_loop([&] { return engine.all_ended(); }, wait_limit_us));
  const std::string ok = "\"response\":\"ok\"\n";
  EXPECT_EQ(engine.input(),
            read_line(0) + "\n" + ok + read_line(1) + "\n" + ok + read_line(2) + "\n" + ok);
  EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();
}

// An engine that ends while a read waits, with a view that reads again from the error it is
// shown: a new engine serves the read, and no engine is left running or unreaped.
TEST(ViewModel, EngineEndsWhileTheViewReadsAgain) {
  const std::string served = "send \"status\":\"ready\"\nexpect " + read_line(4) + "\nsend " +
                             done_reply(4, sector_bytes(4, 512)) +
                             "\nexpect \"response\":\"ok\"\nsend \"status\":\"ready\"\nexpect\n";
  // The first engine ends before it is ready, the second after the read was written.
  FakeEngine engine("exit 1\n---\nsend \"status\":\"ready\"\nexpect " + read_line(4) +
                    "\nexit 2\n---\n" + served);
  LogCapture log;
  const config::Value configuration = configuration_with(FakeEngine::program());
  std::unique_ptr<ViewModel> model(
      ViewModelFactoryImpl(configuration).create(drive_of(1 << 20, 512)));
  Screen screen;
  screen.react = [&](std::uint64_t, const std::string& text) {
    if (text.find("ERROR") != std::string::npos)
      model->read(4);
  };
  model->set_view(&screen);
  model->read(4);
  ASSERT_TRUE(wait_for_shown(screen, 3)) << log.text();
  EXPECT_EQ(screen.shown[0].second, "*** ERROR: Driver exit status: 1 ***");
  EXPECT_EQ(screen.shown[1].second, "*** ERROR: Driver exit status: 2 ***");
  EXPECT_EQ(screen.shown[2].first, 4u);
  EXPECT_EQ(screen.shown[2].second.substr(0, 15), "*** LBA: 4 ***\n");
  ASSERT_EQ(engine.pids().size(), 3u);
  // The answer is on its way to the engine; it reads it in its own time.
  const std::string third = read_line(4) + "\n\"response\":\"ok\"\n";
  run_loop([&] { return engine.input(3) == third; }, wait_limit_us);
  EXPECT_EQ(engine.input(3), third);
  // The first two are gone; the third serves on until the model goes.
  EXPECT_TRUE(run_loop(
      [&] {
        return !std::filesystem::exists("/proc/" + std::to_string(engine.pids()[0])) &&
               !std::filesystem::exists("/proc/" + std::to_string(engine.pids()[1]));
      },
      wait_limit_us));
  model.reset();
  EXPECT_TRUE(run_loop([&] { return engine.all_ended(); }, wait_limit_us));
  EXPECT_EQ(log.text().find("fake engine:"), std::string::npos) << log.text();
}

// The real engine on a simulated machine: one engine process serves one read after another,
// each showing the disk's own bytes, a read past the end fails with its LBA and the next read
// is served again; a disk of 4096-byte sectors shows 256 lines.
TEST(ViewModel, RealEngineReadsSectorsOfADisk) {
  TestMachine machine(R"("drives": [
    { "number": 0, "size": 32768, "sector size": 512, "image": "disk0.img" },
    { "number": 1, "size": 32768, "sector size": 4096, "image": "disk1.img" } ])");
  std::string image;
  for (std::uint64_t lba = 0; lba < 64; ++lba)
    image += sector_bytes(lba, 512);
  std::ofstream(machine.image("disk0.img"), std::ios::binary) << image;
  std::string image4k;
  for (std::uint64_t lba = 0; lba < 8; ++lba)
    image4k += sector_bytes(lba, 4096);
  std::ofstream(machine.image("disk1.img"), std::ios::binary) << image4k;

  LogCapture log;
  const config::Value configuration = configuration_with(CVWDRV_PATH);
  ViewModelFactoryImpl factory(configuration);
  std::unique_ptr<ViewModel> model(factory.create(drive_of(64, 512)));
  Screen screen;
  model->set_view(&screen);
  // Sectors 0 to 63, then one past the end, then sector 3 again.
  std::vector<std::uint64_t> lbas;
  for (std::uint64_t lba = 0; lba < 65; ++lba)
    lbas.push_back(lba);
  lbas.push_back(3);
  std::size_t next = 1;
  screen.react = [&](std::uint64_t, const std::string&) {
    if (next < lbas.size())
      model->read(lbas[next++]);
  };
  model->read(lbas[0]);
  ASSERT_TRUE(wait_for_shown(screen, lbas.size())) << log.text();
  for (std::size_t i = 0; i < lbas.size(); ++i) {
    const std::uint64_t lba = lbas[i];
    if (lba == 64) {
      EXPECT_EQ(screen.shown[i],
                std::make_pair(std::uint64_t{64}, std::string("*** ERROR: Read failed (LBA: 64, "
                                                              "sectors: 1) ***")));
      continue;
    }
    std::string dump = sector_hex_dump(sector_bytes(lba, 512));
    dump.pop_back();
    EXPECT_EQ(screen.shown[i],
              std::make_pair(lba, "*** LBA: " + std::to_string(lba) + " ***\n" + dump))
        << "sector " << lba;
  }
  // One engine for all of them: its banner appears once.
  const std::string banner = "DriverModel.cpp(120): main.cpp(31): ";
  const std::string text = log.text();
  EXPECT_NE(text.find(banner), std::string::npos) << text;
  EXPECT_EQ(text.find(banner), text.rfind(banner));

  std::unique_ptr<ViewModel> model4k(factory.create(drive_of(8, 4096, 1)));
  Screen screen4k;
  model4k->set_view(&screen4k);
  model4k->read(7);
  ASSERT_TRUE(wait_for_shown(screen4k, 1)) << log.text();
  std::string dump = sector_hex_dump(sector_bytes(7, 4096));
  dump.pop_back();
  EXPECT_EQ(screen4k.shown[0].second, "*** LBA: 7 ***\n" + dump);
}
