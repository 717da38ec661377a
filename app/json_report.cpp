// The JSON document is built with a JSON library, never by hand: labels, names and serial numbers
// come from the charger and from files, and must be quoted and escaped correctly whatever they
// hold.

#include "app/json_report.h"

#include <nlohmann/json.hpp>

#include "charger/setting_catalogue.h"
#include "protocol/registers.h"
#include "protocol/version_word.h"

namespace sunlink {

// Members in the order they are added, as a reader expects them.
using json = nlohmann::ordered_json;

namespace {

json textOrNull(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

json unitOf(const std::string& label) {
  const SettingRow* row = catalogueRow(label);
  return row != nullptr && *row->unit != '\0' ? json(row->unit) : json(nullptr);
}

json numberOf(const std::string& label, const std::string& value) {
  const std::optional<double> number = settingNumber(label, value);
  if (!number) return nullptr;
  // Codes and whole counts as integers, so that a script compares them as such.
  const SettingRow* row = catalogueRow(label);
  if (row == nullptr || row->scale == 1) return static_cast<std::int64_t>(*number);
  return *number;
}

json rawOf(const std::string& value) { return value.empty() ? json(nullptr) : json("0x" + value); }

json sideOf(const std::string& label, const std::string& value) {
  if (value.empty()) return nullptr;
  return {{"raw", rawOf(value)}, {"value", numberOf(label, value)}};
}

}  // namespace

// "charger" first, then the result, then "error".
struct JsonReport::Impl {
  json document = json::object();
  std::string error;
};

JsonReport::JsonReport() : impl_(std::make_unique<Impl>()) {}
JsonReport::~JsonReport() = default;

void JsonReport::setCharger(const Capabilities& capabilities) {
  // The firmware has members of its own here: the name is the model's alone.
  const VersionWord versionWord =
      VersionWord::ofApplication(capabilities.firmwareVersion, capabilities.releaseCandidate);
  impl_->document["charger"] = {{"product_id", registerIdText(capabilities.productId)},
                                {"name", capabilities.productName},
                                {"firmware", versionNumberText(capabilities.firmwareVersion)},
                                {"firmware_type", versionWord.typeText()},
                                {"system_voltage", nullptr}};
  if (capabilities.switchedOn) impl_->document["charger"]["switched_on"] = *capabilities.switchedOn;
}

void JsonReport::setSystemVoltage(int volts) {
  if (impl_->document.contains("charger")) impl_->document["charger"]["system_voltage"] = volts;
}

void JsonReport::setSettings(const VregTable& settings, const Capabilities& capabilities) {
  json list = json::array();
  for (const Vreg& vreg : settings.vregs()) {
    // A setting the charger lacks has no value of the charger's.
    const bool unread = vregReadFailed(vreg.status) || vreg.absentFromCharger;
    const std::string value = unread ? std::string() : vreg.value;
    const bool hasRegister = vreg.get != REG_NONE && vreg.get != REG_NO_ACCESS;
    const char* status = vregStatusWord(vreg.status);
    json setting = {{"label", vreg.label},
                    {"register", hasRegister ? json(registerIdText(vreg.get)) : json(nullptr)},
                    {"raw", rawOf(value)},
                    {"value", numberOf(vreg.label, value)}};
    // A code's name beside its number, so that a script need not know the charger's codes.
    const SettingRow* row = catalogueRow(vreg.label);
    if (row != nullptr && row->codes != nullptr) {
      const std::optional<std::string> name = codeName(vreg.label, value, capabilities);
      setting["value_name"] = name ? json(*name) : json(nullptr);
    }
    setting["unit"] = unitOf(vreg.label);
    setting["status"] = status != nullptr ? json(status) : json(nullptr);
    list.push_back(setting);
  }
  impl_->document["settings"] = list;
}

void JsonReport::setDifferences(const std::vector<SettingDifference>& differences) {
  json list = json::array();
  for (const SettingDifference& d : differences) {
    list.push_back({{"label", d.label},
                    {"difference", differenceWord(d.kind)},
                    {"unit", unitOf(d.label)},
                    {"file", sideOf(d.label, d.fileValue)},
                    {"charger", sideOf(d.label, d.chargerValue)}});
  }
  impl_->document["differences"] = list;
}

void JsonReport::setWrites(const std::vector<SettingWrite>& writes, bool dryRun) {
  json list = json::array();
  for (const SettingWrite& w : writes) {
    list.push_back({{"label", w.label},
                    {"unit", unitOf(w.label)},
                    {"old", sideOf(w.label, w.before)},
                    {"new", sideOf(w.label, w.after)}});
  }
  impl_->document["writes"] = list;
  impl_->document["dry_run"] = dryRun;
}

void JsonReport::setChargers(const std::vector<ScannedCharger>& chargers) {
  json list = json::array();
  for (const ScannedCharger& c : chargers) {
    list.push_back(
        {{"port", c.port},
         {"stable_name", textOrNull(c.stableName)},
         {"product_id", c.productId != 0xFFFF ? json(registerIdText(c.productId)) : json()},
         {"name", textOrNull(c.name)},
         {"firmware", textOrNull(c.firmware)},
         {"serial", textOrNull(c.serial)}});
  }
  impl_->document["chargers"] = list;
}

void JsonReport::setPorts(const std::vector<ScannedPort>& ports) {
  json list = json::array();
  for (const ScannedPort& p : ports)
    list.push_back({{"port", p.port}, {"error", textOrNull(p.failure)}});
  impl_->document["ports"] = list;
}

void JsonReport::setError(const std::string& text) {
  if (impl_->error.empty()) impl_->error = text.empty() ? "failed" : text;
}

bool JsonReport::hasError() const { return !impl_->error.empty(); }

void JsonReport::write(std::ostream& out) const {
  json document = impl_->document;
  if (!impl_->error.empty()) document["error"] = impl_->error;
  // Text from a charger or a file that is not valid UTF-8 is written with replacement characters
  // instead of ending the run without its document.
  out << document.dump(-1, ' ', false, json::error_handler_t::replace) << '\n' << std::flush;
}

}  // namespace sunlink
