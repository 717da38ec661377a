// The one JSON document a run writes on standard output with --json, for scripts: the charger, its
// settings, the differences from a settings file or the chargers found, and what failed. Filled
// as the run goes; written once, when the run ends (whichever way it ends).
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "charger/charger_settings.h"
#include "charger/settings_compare.h"
#include "device/capabilities.h"
#include "device/scan.h"
#include "settings/vreg_table.h"

namespace sunlink {

class JsonReport {
 public:
  JsonReport();
  ~JsonReport();
  JsonReport(const JsonReport&) = delete;
  JsonReport& operator=(const JsonReport&) = delete;

  // "charger": product_id ("0xA042"), name (the product's), firmware ("1.15"), firmware_type, and
  // switched_on (true or false; absent when the charger did not tell).
  void setCharger(const Capabilities& capabilities);
  // "charger.system_voltage" (12, 24, 36, 48), known once the settings are.
  void setSystemVoltage(int volts);
  // "settings": one object per setting in table order: label, register ("0xEDF7", null for none),
  // raw ("0x05A0", the settings file's form), value (number in unit), unit (null for a code),
  // status (the settings file's word). A setting with code values has value_name beside its
  // value: the code's name for this charger, null for a code it has no name for. A setting that
  // has no value, or could not be read, has raw and value null.
  void setSettings(const VregTable& settings, const Capabilities& capabilities);
  // "differences": label, difference (differs, only_in_file, only_in_charger, not_read), unit, and
  // "file" and "charger" each with raw and value, or null where that side has none.
  void setDifferences(const std::vector<SettingDifference>& differences);
  // "writes": the settings a store wrote (or, with dry_run, would have written), in the order it
  // wrote them: label, unit, and "old" (null when the charger's value was not read) and "new",
  // each with raw and value. "dry_run": true when nothing was written.
  void setWrites(const std::vector<SettingWrite>& writes, bool dryRun);
  // "chargers": port, stable_name, product_id, name, firmware, serial (null where unknown).
  void setChargers(const std::vector<ScannedCharger>& chargers);
  // "ports": every port scanned, with port and error (why it could not be probed; null when it
  // was).
  void setPorts(const std::vector<ScannedPort>& ports);
  // "error": what ended the run; the first one set is kept (the cause, not its consequences).
  void setError(const std::string& text);
  bool hasError() const;

  // The document on one line, and a line end.
  void write(std::ostream& out) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sunlink
