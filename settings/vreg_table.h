// The ordered, label-unique list of Vregs that retrieve, restore, the settings file, the printout
// and the menus work on. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "settings/file_identity.h"
#include "settings/vreg.h"

namespace sunlink {

class VregTable {
 public:
  // Appends vreg. Sets loaded first. A duplicate label logs "push: vreg \"%s\" already present" and
  // throws settings_error "Duplicate vreg"; the table is unchanged.
  void push(const Vreg& vreg);
  // The first Vreg with exactly this label. None: logs "find: unable to locate vreg \"%s\"" and
  // throws settings_error "Unable to locate vreg".
  Vreg& find(const std::string& label);
  const Vreg& find(const std::string& label) const;
  // Like find, without the error line and the exception.
  Vreg* lookup(const std::string& label);
  const Vreg* lookup(const std::string& label) const;
  bool contains(const std::string& label) const;

  // Values and statuses may be changed through these; labels may not (push relies on them), and
  // Vregs are added only through push.
  std::vector<Vreg>& vregs() { return vregs_; }
  const std::vector<Vreg>& vregs() const { return vregs_; }
  std::size_t size() const { return vregs_.size(); }
  // Empties the list, clears both flags and forgets the identity.
  void clear();

  bool loaded = false;     // set by every push
  bool retrieved = false;  // set by retrieve once it has read a register
  // The charger a settings file came from: read from the file (none for a file of an earlier
  // version), or set before a download to be written into it.
  std::optional<FileIdentity> identity;

 private:
  std::vector<Vreg> vregs_;
  // The labels of vregs_, so that push stays fast on a long list read from a file. Rebuilt when
  // its size no longer matches vregs_ (someone emptied the list through vregs()).
  std::unordered_set<std::string> labels_;
};

}  // namespace sunlink
