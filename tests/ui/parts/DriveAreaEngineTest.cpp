#include "parts/DriveAreaEngine.h"

#include "GuiEnvironment.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace {

class DriveAreaEngineTest : public GuiTest, public DriveAreaEngine::Callback {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
      return;
    for (GtkWidget*& spin : spins) {
      spin = gtk_spin_button_new_with_range(0, 1, 1);
      g_object_ref_sink(spin);
    }
    engine.bind(GTK_SPIN_BUTTON(spins[0]), GTK_SPIN_BUTTON(spins[1]), GTK_SPIN_BUTTON(spins[2]));
  }
  void TearDown() override {
    for (GtkWidget* spin : spins) {
      if (spin == nullptr)
        continue;
      gtk_widget_destroy(spin);
      g_object_unref(spin);
    }
  }
  void changed(DriveAreaEngine& changedEngine) override {
    EXPECT_EQ(&changedEngine, &engine);
    ++told;
  }

  std::uint64_t shown(int i) const {
    return static_cast<std::uint64_t>(gtk_spin_button_get_value(GTK_SPIN_BUTTON(spins[i])));
  }
  // What the operator does: types a value into a spin button.
  void type(int i, double value) { gtk_spin_button_set_value(GTK_SPIN_BUTTON(spins[i]), value); }

  GtkWidget* spins[3] = {};
  DriveAreaEngine engine;
  int told = 0;
};

enum Spin { Start = 0, Sectors = 1, Finish = 2 };

} // namespace

TEST_F(DriveAreaEngineTest, TheRangeStaysConsistentAndInsideTheDrive) {
  struct Step {
    enum { Set, Type } kind;
    std::uint64_t a; // start, or the spin button typed into
    std::uint64_t b; // sectors, or the value typed
    std::uint64_t start, sectors, finish;
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
  } cases[] = {
      {"a range past the end is cut", {{Step::Set, 990, 100, 990, 10, 999}}},
      {"a start past the end becomes the last sector", {{Step::Set, 5000, 10, 999, 1, 999}}},
      {"the range inside is kept", {{Step::Set, 10, 20, 10, 20, 29}}},
      {"raising the start keeps the finish",
       {{Step::Type, Start, 100, 100, 900, 999}, {Step::Type, Start, 999, 999, 1, 999}}},
      {"lowering the finish, then the count",
       {{Step::Set, 100, 900, 100, 900, 999},
        {Step::Type, Finish, 499, 100, 400, 499},
        {Step::Type, Sectors, 50, 100, 50, 149}}},
      {"a start above the finish moves the finish up",
       {{Step::Set, 0, 10, 0, 10, 9}, {Step::Type, Start, 500, 500, 1, 500}}},
      {"a count past the end is held at the end",
       {{Step::Set, 900, 10, 900, 10, 909}, {Step::Type, Sectors, 5000, 900, 100, 999}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    engine.set_callback(nullptr);
    engine.set_total(1000);
    EXPECT_EQ(shown(Start), 0u);
    EXPECT_EQ(shown(Sectors), 1000u);
    EXPECT_EQ(shown(Finish), 999u);
    engine.set_callback(this);
    for (const Step& step : c.steps) {
      told = 0;
      if (step.kind == Step::Set)
        engine.set(step.a, step.b);
      else
        type(static_cast<int>(step.a), static_cast<double>(step.b));
      EXPECT_EQ(told, 1) << "one change, one notice";
      EXPECT_EQ(shown(Start), step.start);
      EXPECT_EQ(shown(Sectors), step.sectors);
      EXPECT_EQ(shown(Finish), step.finish);
      EXPECT_EQ(engine.start(), step.start);
      EXPECT_EQ(engine.sectors(), step.sectors);
    }
  }
  // After a start of 999 only one sector is left to choose.
  engine.set(999, 1);
  double low = 0;
  double high = 0;
  gtk_spin_button_get_range(GTK_SPIN_BUTTON(spins[Sectors]), &low, &high);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 1);
}

TEST_F(DriveAreaEngineTest, LargeDrivesAndAnEmptyOne) {
  const std::uint64_t total = std::uint64_t(1) << 41; // 1 PB of 512-byte sectors
  engine.set_total(total);
  engine.set_callback(this);
  EXPECT_EQ(engine.total(), total);
  EXPECT_EQ(engine.sectors(), total);
  engine.set(total - 5, 100);
  EXPECT_EQ(engine.start(), total - 5);
  EXPECT_EQ(engine.sectors(), 5u);
  EXPECT_EQ(shown(Finish), total - 1);

  try {
    engine.set_total(0);
    ADD_FAILURE() << "a drive without sectors was taken";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "DriveAreaEngine.cpp(30)");
  }
  EXPECT_EQ(engine.total(), total);
  EXPECT_EQ(engine.start(), total - 5);

  engine.set_sensitive(false);
  for (GtkWidget* spin : spins)
    EXPECT_FALSE(gtk_widget_get_sensitive(spin));
}
