// What the operator chooses once and keeps: the default wipe options, the hidden drives, the
// sounds for a failed and a finished wipe, the certificate's texts and background, and the files
// the history is exported to after each wipe. One process-wide instance, kept in "settings.cfg"
// in the settings directory (the program's own); the settings dialog works on copies.
#pragma once

#include "Drive.h"
#include "WipeOptions.h"

#include <string>
#include <vector>

class Settings {
public:
  // The defaults: default wipe options, no hidden drives, both sounds on without a file or
  // repeat, empty certificate texts and export files.
  Settings() = default;

  // The process-wide instance, made with the defaults on first use.
  static Settings& instance();

  // The settings directory, without a trailing separator; empty until start-up sets it.
  static const std::string& directory();
  static void set_directory(const std::string& directory);

  WipeOptions& wipe_options() { return wipeOptions; }
  const WipeOptions& wipe_options() const { return wipeOptions; }
  void set_wipe_options(const WipeOptions& options) { wipeOptions = options; }

  // Only the model and serial of each entry matter.
  std::vector<Drive>& hidden_drives() { return hiddenDrives; }
  const std::vector<Drive>& hidden_drives() const { return hiddenDrives; }
  void set_hidden_drives(const std::vector<Drive>& drives) { hiddenDrives = drives; }
  // Whether an entry of the hidden list has the drive's model and serial, byte for byte.
  bool is_hidden(const Drive& drive) const;

  bool notifier_error_on() const { return notifierErrorOn; }
  void set_notifier_error_on(bool on) { notifierErrorOn = on; }
  // The sound file for a failed wipe, a name in the program's directory.
  const std::string& notifier_error_arg() const { return notifierErrorArg; }
  void set_notifier_error_arg(const std::string& arg) { notifierErrorArg = arg; }
  // Seconds between repeats of that sound; 0 plays it once.
  int notifier_error_period() const { return notifierErrorPeriod; }
  void set_notifier_error_period(int period) { notifierErrorPeriod = period; }

  bool notifier_done_on() const { return notifierDoneOn; }
  void set_notifier_done_on(bool on) { notifierDoneOn = on; }
  const std::string& notifier_done_arg() const { return notifierDoneArg; }
  void set_notifier_done_arg(const std::string& arg) { notifierDoneArg = arg; }
  int notifier_done_period() const { return notifierDonePeriod; }
  void set_notifier_done_period(int period) { notifierDonePeriod = period; }

  const std::string& wipe_certificate_drive() const { return wipeCertificateDrive; }
  void set_wipe_certificate_drive(const std::string& text) { wipeCertificateDrive = text; }
  const std::string& wipe_certificate_technician() const { return wipeCertificateTechnician; }
  void set_wipe_certificate_technician(const std::string& text) {
    wipeCertificateTechnician = text;
  }
  // Path of the certificate's background picture.
  const std::string& wipe_certificate_background() const { return wipeCertificateBackground; }
  void set_wipe_certificate_background(const std::string& path) {
    wipeCertificateBackground = path;
  }

  // Files the history is exported to after each wipe; empty: none.
  const std::string& export_csv() const { return exportCsv; }
  void set_export_csv(const std::string& path) { exportCsv = path; }
  const std::string& export_txt() const { return exportTxt; }
  void set_export_txt(const std::string& path) { exportTxt = path; }

  // Reads the settings file at `path` (UTF-8) into this object. Returns false, with a debug-log
  // line, when the file cannot be read or parsed (nothing changes) or is of another shape: a
  // top level that is not an Object, a key that is missing or of another type (a hidden drive
  // that is not an Object or lacks a text among them), a "mode" that names no wipe method. What
  // was stored before the failing key stays stored: the ten wipe options together, then the
  // hidden drives together, then each later key on its own.
  bool load(const char* path);
  // Writes every setting to `path`, replacing the file in one step (a temporary file, then a
  // rename). Returns false, with a debug-log line, when it cannot. Throws std::runtime_error
  // when the stored method index names no method.
  bool save(const char* path) const;

private:
  WipeOptions wipeOptions;
  std::vector<Drive> hiddenDrives;
  bool notifierErrorOn = true;
  std::string notifierErrorArg;
  int notifierErrorPeriod = 0;
  bool notifierDoneOn = true;
  std::string notifierDoneArg;
  int notifierDonePeriod = 0;
  std::string wipeCertificateDrive;
  std::string wipeCertificateTechnician;
  std::string wipeCertificateBackground;
  std::string exportCsv;
  std::string exportTxt;
};
