// The sector view's model: reads one sector of a drive at a time through an engine process of
// its own and turns the reply into the text the view shows, a hex dump or a decoded FAT16,
// FAT32 or NTFS boot sector, or an error line.
//
// The engine starts with the first read and then serves every following one; the model
// acknowledges each reply at once, before showing it. Destroying the model ends the engine.
#pragma once

#include "ConfigValue.h"
#include "Drive.h"

#include <cstdint>
#include <string>

class ViewModel {
public:
  enum DisplayFormat : int {
    FormatHexDump = 0,
    FormatFat16 = 1,
    FormatFat32 = 2,
    FormatNtfs = 3,
  };

  // What shows the results; implemented by the sector view panel.
  class View {
  public:
    // `text` is "*** LBA: n ***" and the sector's text, or "*** ERROR: ... ***"; never with a
    // line end at the end.
    virtual void show(std::uint64_t lba, const std::string& text) = 0;
    virtual ~View() = default;
  };

  ViewModel() = default;
  ViewModel(const ViewModel&) = delete;
  ViewModel& operator=(const ViewModel&) = delete;
  virtual ~ViewModel() = default;

  // Asks for sector `lba`; the answer reaches the view later. One read is in flight at a time:
  // a read asked for meanwhile waits, and a newer one replaces it.
  virtual void read(std::uint64_t lba) = 0;

  // Takes effect with the next reply; nothing is read or shown now. Values other than the
  // three boot-sector formats show hex dumps.
  virtual void set_format(int format) { displayFormat = format; }
  int format() const { return displayFormat; }

  // Not owned; null shows nothing (replies are still acknowledged).
  void set_view(View* view) { this->view = view; }

  // Passes the text to the view, if one is set.
  void show(std::uint64_t lba, const std::string& text);

private:
  View* view = nullptr;
  int displayFormat = FormatHexDump;
};

class ViewModelFactory {
public:
  // A new model for `drive`, owned by the caller.
  virtual ViewModel* create(const Drive& drive) = 0;
  virtual ~ViewModelFactory() = default;
};

// Makes models whose engine is the configuration's String member "Driver".
class ViewModelFactoryImpl : public ViewModelFactory {
public:
  // `configuration` (the program configuration) must outlive the factory.
  explicit ViewModelFactoryImpl(const config::Value& configuration)
      : configuration(configuration) {}
  // Throws config::Value::Exception when "Driver" is missing or not a String.
  ViewModel* create(const Drive& drive) override;

private:
  const config::Value& configuration;
};
