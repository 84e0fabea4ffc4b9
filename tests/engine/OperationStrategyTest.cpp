// The forward and reverse walks against a scripted operation whose failing sectors are given.
#include "Operation.h"
#include "OperationStrategyForward.h"
#include "OperationStrategyReverse.h"

#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>

namespace {

using u64 = std::uint64_t;

// Transfers every sector except those that fail; a sector listed with a count fails that many
// times, then works; `everything` makes every sector fail. A transfer that meets a failing sector
// says how far it got, or, with `whole`, fails as a whole as device transfers do. Every call is
// written down as "p<lba>+<count>=<result>", "d<lba>+<count>" or "e<lba>+<count>".
class ScriptedOperation : public Operation {
public:
  explicit ScriptedOperation(std::map<u64, int> failing, bool everything = false,
                             bool whole = false)
      : Operation(nullptr), bad(failing), all(everything), whole(whole) {}

  u64 process(u64 lba, u64 count) override {
    if (++calls > 10000)
      throw std::runtime_error("the walk does not end");
    u64 n = 0;
    while (n < count && !fails(lba + n))
      ++n;
    if (whole && n < count)
      n = 0;
    record("p", lba, count, n);
    return n;
  }
  void on_done(u64 lba, u64 count) override { record("d", lba, count); }
  void on_error(u64 lba, u64 count) override { record("e", lba, count); }

  std::string walk() const { return events.str(); }
  std::vector<std::pair<u64, u64>> skips;

private:
  bool fails(u64 sector) {
    if (all)
      return true;
    auto found = bad.find(sector);
    if (found == bad.end() || found->second == 0)
      return false;
    if (found->second > 0)
      --found->second;
    return true;
  }
  void record(const char* kind, u64 lba, u64 count, long long result = -1) {
    if (*kind == 'e')
      skips.emplace_back(lba, count);
    if (events.tellp() > 0)
      events << ' ';
    events << kind << lba << '+' << count;
    if (result >= 0)
      events << '=' << result;
  }

  std::map<u64, int> bad; // sector -> failures left; -1 for ever
  bool all;
  bool whole;
  std::ostringstream events;
  int calls = 0;
};

constexpr int always = -1;

struct Walk {
  const char* name;
  bool reverse;
  u64 lba, count, sectorsPerTime;
  long long jump;
  bool doubling;
  std::map<u64, int> failing;
  const char* expected;
  bool whole = false; // a failing transfer transfers nothing
};

class Walks : public ::testing::TestWithParam<Walk> {};

TEST_P(Walks, FollowTheTable) {
  const Walk& w = GetParam();
  ScriptedOperation operation(w.failing, false, w.whole);
  if (w.reverse)
    OperationStrategyReverse(&operation, w.jump, w.doubling).run(w.lba, w.count, w.sectorsPerTime);
  else
    OperationStrategyForward(&operation, w.jump, w.doubling).run(w.lba, w.count, w.sectorsPerTime);
  EXPECT_EQ(w.expected, operation.walk());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Strategy, Walks,
    ::testing::Values(
        Walk{"ForwardEmptyRange", false, 5, 0, 8, 1, false, {}, ""},
        Walk{"ReverseEmptyRange", true, 5, 0, 8, 1, false, {}, ""},
        // The reduced last chunk stays in force.
        Walk{"ForwardClean", false, 0, 10, 4, 1, false, {},
             "p0+4=4 d0+4 p4+4=4 d4+4 p8+2=2 d8+2"},
        Walk{"ForwardFailingSector", false, 0, 1000, 256, 1, false, {{300, always}},
             "p0+256=256 d0+256 p256+256=44 d256+44 e300+1 p301+256=256 d301+256 "
             "p557+256=256 d557+256 p813+187=187 d813+187"},
        // Each chunk that fails at once doubles the skip; one that transfers anything resets it.
        Walk{"ForwardDoubling", false, 0, 100, 10, 4, true,
             {{20, always}, {24, always}, {32, always}, {48, always}, {85, always}},
             "p0+10=10 d0+10 p10+10=10 d10+10 p20+10=0 p20+1=0 e20+4 p24+10=0 p24+1=0 e24+8 "
             "p32+10=0 p32+1=0 e32+16 p48+10=0 p48+1=0 e48+32 p80+10=5 d80+5 e85+4 "
             "p89+10=10 d89+10 p99+1=1 d99+1"},
        Walk{"ForwardSkipStopsAtTheEnd", false, 0, 10, 4, 100, false, {{6, always}},
             "p0+4=4 d0+4 p4+4=2 d4+2 e6+4"},
        // With no skip the same sector is tried again until it works.
        Walk{"ForwardNoSkipRetries", false, 0, 4, 4, 0, false, {{2, 3}},
             "p0+4=2 d0+2 e2+0 p2+2=0 p2+1=0 e2+0 p2+2=2 d2+2"},
        // A chunk that fails as a whole is walked sector by sector up to its failing sector; the
        // skip starts there, and the walk goes on in whole chunks.
        Walk{"ForwardWholeFailureMiddle", false, 100, 32, 8, 1, false,
             {{104, always}, {105, always}, {120, always}},
             "p100+8=0 p100+1=1 d100+1 p101+1=1 d101+1 p102+1=1 d102+1 p103+1=1 d103+1 "
             "p104+1=0 e104+1 p105+8=0 p105+1=0 e105+1 p106+8=8 d106+8 p114+8=0 p114+1=1 "
             "d114+1 p115+1=1 d115+1 p116+1=1 d116+1 p117+1=1 d117+1 p118+1=1 d118+1 "
             "p119+1=1 d119+1 p120+1=0 e120+1 p121+8=8 d121+8 p129+3=3 d129+3",
             true},
        // At the first and the last sector of a chunk and of the range; a single-sector chunk
        // is not tried twice.
        Walk{"ForwardWholeFailureEdges", false, 0, 9, 4, 1, false,
             {{0, always}, {7, always}, {8, always}},
             "p0+4=0 p0+1=0 e0+1 p1+4=4 d1+4 p5+4=0 p5+1=1 d5+1 p6+1=1 d6+1 p7+1=0 e7+1 "
             "p8+1=0 e8+1",
             true},
        // Doubling counts chunks that failed at their first sector, probes included; a chunk
        // whose probe transferred a sector resets it.
        Walk{"ForwardWholeFailureDoubling", false, 0, 16, 4, 1, true,
             {{2, always}, {3, always}, {5, always}},
             "p0+4=0 p0+1=1 d0+1 p1+1=1 d1+1 p2+1=0 e2+1 p3+4=0 p3+1=0 e3+2 p5+4=0 p5+1=0 e5+4 "
             "p9+4=4 d9+4 p13+3=3 d13+3",
             true},
        // A transient failure of the whole chunk: every sector then goes through on its own.
        Walk{"ForwardWholeFailureTransient", false, 0, 4, 4, 1, false, {{1, 1}},
             "p0+4=0 p0+1=1 d0+1 p1+1=1 d1+1 p2+1=1 d2+1 p3+1=1 d3+1", true},
        // Each failed chunk is followed by one probe from the top until the bad sector is the
        // top one; the skip then runs downwards from it.
        Walk{"ReverseFailingSector", true, 0, 20, 8, 2, false, {{15, always}},
             "p12+8=3 p19+1=1 d19+1 p11+8=4 p18+1=1 d18+1 p10+8=5 p17+1=1 d17+1 "
             "p9+8=6 p16+1=1 d16+1 p8+8=7 p15+1=0 e14+2 p13+1=1 d13+1 p5+8=8 d5+8 p0+5=5 d0+5"},
        Walk{"ReverseLowestSectorFails", true, 10, 10, 4, 3, false, {{10, always}},
             "p16+4=4 d16+4 p12+4=4 d12+4 p10+2=0 p11+1=1 d11+1 p10+1=0 p10+1=0 e10+1"},
        // Reverse already probes from the top down, also when a transfer fails as a whole.
        Walk{"ReverseWholeFailure", true, 0, 8, 4, 1, false, {{5, always}},
             "p4+4=0 p7+1=1 d7+1 p3+4=0 p6+1=1 d6+1 p2+4=0 p5+1=0 e5+1 p4+1=1 d4+1 p0+4=4 "
             "d0+4",
             true},
        // Doubling counts failed probes in a row only.
        Walk{"ReverseDoubling", true, 0, 32, 8, 2, true,
             {{28, always}, {29, always}, {30, always}, {31, always}},
             "p24+8=4 p31+1=0 e30+2 p29+1=0 e26+4 p25+1=1 d25+1 p17+8=8 d17+8 p9+8=8 d9+8 "
             "p1+8=8 d1+8 p0+1=1 d0+1"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

// Doubled skips must not wrap around to a skip of nothing (which would try the same sector for
// ever) when the doubling passes 64 bits: they are held at the rest of the range.
TEST(Strategy, DoublingSaturatesInsteadOfWrapping) {
  const u64 end = std::numeric_limits<u64>::max();
  const u64 jump = u64(1) << 40;
  for (bool reverse : {false, true}) {
    ScriptedOperation operation({}, true);
    if (reverse)
      OperationStrategyReverse(&operation, static_cast<long long>(jump), true).run(0, end, 8);
    else
      OperationStrategyForward(&operation, static_cast<long long>(jump), true).run(0, end, 8);
    ASSERT_EQ(25u, operation.skips.size()) << (reverse ? "reverse" : "forward");
    u64 covered = 0;
    for (std::size_t k = 0; k < 24; ++k) {
      EXPECT_EQ(jump << k, operation.skips[k].second) << "skip " << k;
      covered += operation.skips[k].second;
    }
    EXPECT_EQ(end - covered, operation.skips[24].second);
    EXPECT_EQ(reverse ? 0u : covered, operation.skips[24].first);
  }
}

// A device behind the walk that keeps transfers in flight and merges them: every transfer
// started and not yet waited for is handed over with the next wait as one request, and that
// request fails whole when any of its sectors fails, as block layers and disks do. A transfer
// alone (process) fails when one of its own sectors does. A sector listed with a count fails that
// many requests, then works. A line from the client arrives with the start of chunk
// `lineAfter` (counted from 1; 0: never) and is taken at the walk's pause point, written down
// as "P<transfers in flight>".
class MergingOperation : public Operation {
public:
  MergingOperation(std::map<u64, int> failing, std::size_t inFlight, int lineAfter = 0)
      : Operation(nullptr), bad(std::move(failing)), most(inFlight), lineAfter(lineAfter) {}

  u64 process(u64 lba, u64 count) override {
    if (!flying.empty())
      throw std::logic_error("a transfer alone while others are in flight");
    if (++calls > 100000)
      throw std::runtime_error("the walk does not end");
    return request(lba, count) ? count : 0;
  }
  std::size_t transfers_in_flight() override { return most; }
  void start(u64 lba, u64 count) override {
    if (++calls > 100000)
      throw std::runtime_error("the walk does not end");
    flying.push_back({lba, count, false, 0});
    if (++starts == lineAfter)
      line = true;
  }
  u64 finish() override {
    if (!flying.front().handed) {
      // The request of every transfer not handed over yet, which lie side by side on the walk.
      u64 first = flying.front().lba, last = first;
      for (const Flying& f : flying) {
        if (f.handed)
          continue;
        first = std::min(first, f.lba);
        last = std::max(last, f.lba + f.count);
      }
      const bool ok = request(first, last - first);
      for (Flying& f : flying) {
        if (!f.handed)
          f = {f.lba, f.count, true, ok ? f.count : 0};
      }
    }
    const u64 result = flying.front().result;
    flying.pop_front();
    return result;
  }
  void abandon() override {
    for (const Flying& f : flying)
      if (!f.handed)
        request(f.lba, f.count); // they reach the device all the same
    flying.clear();
  }
  void pause_point() override {
    if (!line)
      return;
    line = false;
    events << " P" << flying.size();
  }
  bool line_waiting() override { return line; }
  void on_done(u64 lba, u64 count) override { events << " d" << lba << '+' << count; }
  void on_error(u64 lba, u64 count) override { events << " e" << lba << '+' << count; }

  // The runs done and skipped, and the pauses, in order.
  std::string walk() const { return events.str(); }

private:
  struct Flying {
    u64 lba, count;
    bool handed;
    u64 result;
  };

  // One request over the sectors; false when any of them fails.
  bool request(u64 lba, u64 count) {
    bool ok = true;
    for (auto& [sector, left] : bad) {
      if (sector >= lba && sector < lba + count && left != 0) {
        ok = false;
        if (left > 0)
          --left;
      }
    }
    return ok;
  }

  std::map<u64, int> bad;
  std::size_t most;
  int lineAfter;
  std::deque<Flying> flying;
  std::ostringstream events;
  bool line = false;
  int starts = 0;
  int calls = 0;
};

struct MergedWalk {
  const char* name;
  bool reverse;
  u64 sectorsPerTime;
};

void PrintTo(const MergedWalk& w, std::ostream* os) { *os << w.name; }

class MergedWalks : public ::testing::TestWithParam<MergedWalk> {
protected:
  // The walk over sectors 900 to 3899 with 32 transfers in flight, or one at a time.
  std::string walk_of(MergingOperation&& operation) {
    const MergedWalk& w = GetParam();
    if (w.reverse)
      OperationStrategyReverse(&operation, 1, false).run(900, 3000, w.sectorsPerTime);
    else
      OperationStrategyForward(&operation, 1, false).run(900, 3000, w.sectorsPerTime);
    return operation.walk();
  }
};

// Sectors that always fail, alone, side by side, at the ends of the range.
const std::map<u64, int> failingForEver = {{900, always},  {1000, always}, {1700, always},
                                           {1701, always}, {2999, always}, {3899, always}};

// In flight, the walk reports and skips exactly what one transfer at a time does: a failure that
// a merged request brought to a transfer of good sectors costs it nothing.
TEST_P(MergedWalks, SkipWhatOneAtATimeSkips) {
  const std::string oneAtATime = walk_of(MergingOperation(failingForEver, 1));
  const std::string inFlight = walk_of(MergingOperation(failingForEver, 32));
  EXPECT_EQ(oneAtATime, inFlight);
  for (const auto& [sector, left] : failingForEver)
    EXPECT_NE(std::string::npos, inFlight.find(" e" + std::to_string(sector) + "+1")) << sector;
}

// Sectors that fail once: the request that meets the failure may be a merged one, which is no
// proof against any of its transfers, so whatever is skipped is a failing sector; every other
// sector is done.
TEST_P(MergedWalks, FailuresOnceSkipNoGoodSector) {
  std::map<u64, int> failing;
  for (const auto& [sector, left] : failingForEver)
    failing[sector] = 1;
  std::istringstream walk(walk_of(MergingOperation(failing, 32)));
  std::map<u64, char> seen; // sector -> 'd' or 'e'
  for (std::string event; walk >> event;) {
    const u64 lba = std::stoull(event.substr(1));
    const u64 count = std::stoull(event.substr(event.find('+') + 1));
    for (u64 s = lba; s < lba + count; ++s)
      EXPECT_TRUE(seen.emplace(s, event[0]).second) << "sector " << s << " twice";
  }
  ASSERT_EQ(3000u, seen.size());
  for (const auto& [sector, kind] : seen) {
    if (kind == 'e') {
      EXPECT_EQ(1u, failing.count(sector)) << "good sector " << sector << " skipped";
    }
  }
}

// A line from the client while chunks are in flight pauses the walk only once they have all
// ended and been reported done: the pause finds nothing in flight, and the walk goes on as it
// would have without it.
TEST_P(MergedWalks, PauseFindsNothingInFlight) {
  const std::string plain = walk_of(MergingOperation(failingForEver, 32));
  for (int lineAfter : {2, 5, 9}) {
    SCOPED_TRACE(lineAfter);
    std::string paused = walk_of(MergingOperation(failingForEver, 32, lineAfter));
    const std::size_t at = paused.find(" P");
    ASSERT_NE(std::string::npos, at) << paused;
    EXPECT_EQ(" P0", paused.substr(at, 3));
    EXPECT_EQ(plain, paused.erase(at, 3));
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    InFlight, MergedWalks,
    ::testing::Values(MergedWalk{"Forward1", false, 1}, MergedWalk{"Forward7", false, 7},
                      MergedWalk{"Forward256", false, 256}, MergedWalk{"Reverse1", true, 1},
                      MergedWalk{"Reverse7", true, 7}, MergedWalk{"Reverse256", true, 256}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
