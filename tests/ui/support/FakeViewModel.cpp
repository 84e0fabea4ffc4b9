#include "FakeViewModel.h"

#include "BootSector.h"
#include "SectorDump.h"

FakeViewModel::~FakeViewModel() {
  if (gone != nullptr)
    *gone = true;
}

void FakeViewModel::read(std::uint64_t lba) {
  reads_.push_back(lba);
  waiting.push_back(lba);
  if (latencyMs > 0)
    timers.emplace_back(g_timeout_add(static_cast<guint>(latencyMs), on_latency, this));
}

gboolean FakeViewModel::on_latency(gpointer self) {
  auto* model = static_cast<FakeViewModel*>(self);
  // The timer that fired is the oldest; its source ends with the FALSE returned here.
  model->timers.front().forget();
  model->timers.pop_front();
  model->answer();
  return FALSE;
}

std::string FakeViewModel::sector_text(std::uint64_t lba, int format, std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    data[i] = static_cast<char>((lba >> (8 * (i % 8))) & 0xff);
  std::string text = "*** LBA: " + std::to_string(lba) + " ***\n";
  if (format >= FormatFat16 && format <= FormatNtfs)
    text += decode_boot_sector(data, format - 1);
  else
    text += sector_hex_dump(data);
  if (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text;
}

bool FakeViewModel::answer() {
  if (waiting.empty())
    return false;
  return answer(sector_text(waiting.front(), format()));
}

bool FakeViewModel::answer(const std::string& text) {
  if (waiting.empty())
    return false;
  const std::uint64_t lba = waiting.front();
  waiting.pop_front();
  show(lba, text);
  return true;
}

bool FakeViewModel::fail() {
  if (waiting.empty())
    return false;
  const std::uint64_t lba = waiting.front();
  return answer("*** ERROR: Read failed (LBA: " + std::to_string(lba) + ", sectors: 1) ***");
}

ViewModel* FakeViewModelFactory::create(const Drive& made) {
  drive = made;
  lastGone = false;
  last = new FakeViewModel(&lastGone);
  last->set_latency(latencyMs);
  return last;
}
