#include "settings/vreg_table.h"

#include <boost/exception/info.hpp>

#include "base/errors.h"
#include "base/log.h"

namespace sunlink {

void VregTable::push(const Vreg& vreg) {
  loaded = true;
  if (labels_.size() != vregs_.size()) {
    labels_.clear();
    for (const Vreg& v : vregs_) labels_.insert(v.label);
  }
  if (labels_.count(vreg.label) != 0) {
    logError("settings", "push: vreg \"%s\" already present", vreg.label.c_str());
    throw settings_error() << tag_what("Duplicate vreg");
  }
  vregs_.push_back(vreg);
  labels_.insert(vreg.label);
}

Vreg* VregTable::lookup(const std::string& label) {
  for (Vreg& v : vregs_) {
    if (v.label == label) return &v;
  }
  return nullptr;
}

const Vreg* VregTable::lookup(const std::string& label) const {
  return const_cast<VregTable*>(this)->lookup(label);
}

bool VregTable::contains(const std::string& label) const { return lookup(label) != nullptr; }

Vreg& VregTable::find(const std::string& label) {
  if (Vreg* v = lookup(label)) return *v;
  logError("settings", "find: unable to locate vreg \"%s\"", label.c_str());
  throw settings_error() << tag_what("Unable to locate vreg");
}

const Vreg& VregTable::find(const std::string& label) const {
  return const_cast<VregTable*>(this)->find(label);
}

void VregTable::clear() {
  vregs_.clear();
  labels_.clear();
  loaded = false;
  retrieved = false;
  identity.reset();
}

}  // namespace sunlink
