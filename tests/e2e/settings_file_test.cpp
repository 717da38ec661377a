// --download and --upload against simulated chargers: the file written, the registers an upload
// writes, and the statuses of files that cannot be read or written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "protocol/registers.h"
#include "support/e2e_support.h"

namespace sunlink {
namespace test {
namespace {

std::vector<WrittenValue> withoutOnOff(std::vector<WrittenValue> writes) {
  writes.erase(std::remove_if(writes.begin(), writes.end(),
                              [](const WrittenValue& w) {
                                return w.id == REG_DEVICE_MODE || w.id == REG_DEVICE_MODE_UNLOCK;
                              }),
               writes.end());
  return writes;
}

// On firmware up to 1.11 the file also holds values the download did not read (placeholders with
// the status unknown); uploading such a backup used to write the battery-voltage setting as 00
// (detect at power-up) on 1.10 and to fail with 95 on 1.07.
TEST(SettingsFileTest, DownloadThenUploadWritesBackWhatWasRead) {
  for (const char* profile :
       {"load115", "rotary113", "recent", "rotary110", "load107", "current161"}) {
    SCOPED_TRACE(profile);
    TempDir dir;
    const std::string file = dir.file("settings.xml");
    {
      SimulatedCharger source(profile);
      ProcessResult r = source.run({"--download", file});
      ASSERT_EQ(r.exitCode, 0) << r.err;
      EXPECT_TRUE(writtenValues(source.sim()).empty());
    }
    const std::string xml = readFile(file);
    EXPECT_TRUE(contains(xml, "status=\"ok\"")) << xml;

    sim::Faults faults;
    faults.checkWidths = true;
    SimulatedCharger target(profile, faults);
    ProcessResult r = target.run({"--upload", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "=== Reading settings from \"" + file + "\" ===\n"));
    const auto all = writtenValues(target.sim());
    ASSERT_GE(all.size(), 4u);
    const auto off = chargerOffWrites();
    const auto on = chargerOnWrites();
    EXPECT_TRUE(std::equal(off.begin(), off.end(), all.begin()));
    EXPECT_TRUE(std::equal(on.begin(), on.end(), all.end() - 2));
    auto writes = withoutOnOff(all);
    // A charger whose lighting timer is on gets its clock set at the end of the store.
    if (!writes.empty() && writes.back().id == REG_CLOCK) writes.pop_back();
    EXPECT_FALSE(writes.empty());
    std::set<std::uint16_t> seen;
    for (const WrittenValue& w : writes) {
      // Same charger model, same factory values: every value goes back as it was read.
      EXPECT_EQ(w.value, valueText(sim::profileByName(profile).registers.at(w.id))) << w;
      EXPECT_TRUE(seen.insert(w.id).second || w.id == 0xEDEF) << "written twice: " << w;
      EXPECT_TRUE(contains(xml, "value=\"0x" + w.value + "\"")) << w;
    }
    EXPECT_TRUE(target.sim().chargerOn());

    // "-" reads the file from standard input: the same writes.
    SimulatedCharger piped(profile, faults);
    ProcessResult fromInput = piped.run({"--upload", "-"}, xml);
    EXPECT_EQ(fromInput.exitCode, 0) << fromInput.err;
    EXPECT_TRUE(contains(fromInput.out, "=== Reading settings from \"-\" ===\n"));
    EXPECT_EQ(writtenValues(piped.sim()), all);
  }
}

std::string vregList(const std::string& vregs) { return "<qmx><vregs>" + vregs + "</vregs></qmx>"; }
std::string nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

// Every document an upload cannot trust ends before the charger is touched: not even switched off.
// Documents without a vreg list, and mistyped ids and values, used to end with 0 after switching
// the charger off and on, or to write what they became (register 0x0000, a byte 00, one huge
// frame).
// Nothing is written from a file that cannot be loaded, or that would write a register that is not
// this charger's setting of that name.
TEST(SettingsFileTest, UnreadableOrHarmfulFilesEndBeforeAnythingIsWritten) {
  const std::string good = "<vreg label=\"float_voltage\" get=\"0xEDF6\" value=\"0x0564\"/>";
  auto absorption = [](const std::string& attributes) {
    return "<vreg label=\"absorption_voltage\" " + attributes + "/>";
  };
  struct Case {
    const char* what;
    std::string content;
    int status;
    std::string named;  // in the error output
  };
  TempDir dir;
  for (const Case& c : {
           Case{"not xml", "this is not a settings file\n", 29, "in.xml"},
           Case{"truncated", "<?xml version=\"1.0\"?>\n<qmx><vregs><vreg label=\"a\" get=", 29,
                "in.xml"},
           Case{"vreg without attributes", vregList("<vreg/>"), 94, "No such node"},
           Case{"duplicate label", vregList(absorption("value=\"0x05A0\"") + absorption("")), 94,
                "vreg \"absorption_voltage\" already present"},
           Case{"other root", "<?xml version=\"1.0\"?>\n<other><thing/></other>\n", 94,
                "no vreg list"},
           Case{"qmx without vregs", "<qmx><vreg label=\"a\" value=\"0x01\"/></qmx>", 94,
                "no vreg list"},
           Case{"empty list", vregList(""), 94, "the vreg list is empty"},
           Case{"svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><rect/></svg>", 94,
                "no vreg list"},
           Case{"letter O", vregList(good + absorption("get=\"OxEDF7\" value=\"0x05A0\"")), 94,
                "vreg \"absorption_voltage\": get \"OxEDF7\" is not a register id"},
           Case{"blank", vregList(good + absorption("get=\" 0xEDF7\" value=\"0x05A0\"")), 94,
                "get \" 0xEDF7\" is not"},
           Case{"capital X", vregList(good + absorption("set=\"0XEDF7\" value=\"0x05A0\"")), 94,
                "set \"0XEDF7\" is not"},
           Case{"decimal id past 16 bits",
                vregList(good + absorption("verify=\"65536\" value=\"0x05A0\"")), 94,
                "verify \"65536\" is not"},
           Case{"five-digit id", vregList(good + absorption("get=\"0x1EDF7\" value=\"0x05A0\"")),
                94, "get \"0x1EDF7\" is not"},
           Case{"negative", vregList(good + absorption("get=\"0xEDF7\" value=\"-5\"")), 94,
                "value \"-5\" is not a value"},
           Case{"plus sign", vregList(good + absorption("get=\"0xEDF7\" value=\"+1440\"")), 94,
                "vreg \"absorption_voltage\": value \"+1440\" is not a value"},
           Case{"blank in value", vregList(good + absorption("get=\"0xEDF7\" value=\"1440 \"")), 94,
                "value \"1440 \" is not"},
           Case{"empty value", vregList(good + absorption("get=\"0xEDF7\" value=\"\"")), 94,
                "value \"\" is not"},
           Case{"capital X value", vregList(good + absorption("get=\"0xEDF7\" value=\"0X05A0\"")),
                94, "value \"0X05A0\" is not"},
           Case{"decimal past 32 bits",
                vregList(good + absorption("get=\"0xEDF7\" value=\"4294967296\"")), 94,
                "value \"4294967296\" is not"},
           Case{"nine hex digits",
                vregList(good + absorption("get=\"0xEDF7\" value=\"0x0000005A0\"")), 94,
                "value \"0x0000005A0\" is not"},
           // Not well-formed XML, or nested past what any settings file needs.
           Case{"duplicate attribute",
                vregList(absorption("get=\"0xEDF7\" value=\"0x05A0\" value=\"0x0400\"")), 29,
                "in.xml(1): duplicate attribute"},
           Case{"duplicate status",
                vregList(good + "\n" + absorption("status=\"get_failed\" status=\"ok\"")), 29,
                "in.xml(2): duplicate attribute"},
           Case{"bad name", vregList(good + "<1vreg label=\"a\"/>"), 29,
                "in.xml(1): not well-formed"},
           Case{"second root", vregList(good) + "\n" + vregList(good), 29,
                "in.xml(2): junk after document element"},
           Case{"control character", vregList(good + "<vreg label=\"a\x1B\" get=\"0xEDF7\"/>"), 29,
                "in.xml(1): not well-formed"},
           Case{"unclosed", "<qmx><vregs>" + good, 29, "in.xml(1): no element found"},
           Case{"no root", "<?xml version=\"1.0\"?>\n<!-- vregs -->\n", 29,
                "in.xml(3): no element found"},
           Case{"empty", "", 29, "in.xml(1): no element found"},
           Case{"entity declaration",
                "<!DOCTYPE qmx [<!ENTITY v \"0x05A0\">]>" + vregList(absorption("value=\"&v;\"")),
                29, "in.xml(1): a document type declaration is not accepted"},
           Case{"nested past the limit", vregList(good + nested(63)), 29,
                "in.xml(1): elements nested deeper than 64 levels"},
           // The old hand-written depth check missed the nesting after a stray quote; its reader
           // then crashed.
           Case{"stray quote", "<qmx\"><vregs>" + nested(50000) + "</vregs></qmx>", 29,
                "in.xml(1): not well-formed"},
           Case{"400 KB value",
                vregList(good + absorption("get=\"0xEDF7\" value=\"0x" +
                                           std::string(400 * 1024, 'A') + "\"")),
                94, "(409602 characters) is not a value"},
           Case{"empty max",
                vregList(good + absorption("get=\"0xEDF7\" value=\"0x05A0\" max=\"\"")), 94,
                "max \"\" is not"},
           Case{"status word", vregList(good + absorption("value=\"0x05A0\" status=\"fine\"")), 94,
                "status \"fine\" is not a status word"},
           Case{"no label", vregList(good + "<vreg get=\"0xEDF7\" value=\"0x5A0\" set=\"0x\"/>"),
                94, "vreg number 2: set \"0x\" is not"},
           // Well formed, but it would write what is not this charger's setting of that name.
           Case{"factory reset register",
                vregList(good + absorption("get=\"0x0004\" value=\"0x0000\"")), 94,
                "absorption_voltage: written to register 0x0004, but this charger's is 0xEDF7\n"
                "Upload refused: nothing was written to the charger."},
           Case{"another setting's register",
                vregList(good + absorption("get=\"0xEDF7\" set=\"0xEDF6\" value=\"0x05A0\"")), 94,
                "absorption_voltage: written to register 0xEDF6"},
           Case{"not a setting of this charger",
                vregList(good + "<vreg label=\"relay_mode\" get=\"0xEDD9\" value=\"0x03\"/>"), 94,
                "relay_mode: not a setting of this charger"},
           Case{"no register", vregList("<vreg label=\"float_voltage\" value=\"0x0564\"/>"), 94,
                "float_voltage: names no register to write"},
       }) {
    SCOPED_TRACE(c.what);
    const std::string file = dir.file("in.xml");
    writeFile(file, c.content);
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--upload", file});
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_TRUE(contains(r.err, c.named)) << r.err;
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
    EXPECT_TRUE(charger.sim().chargerOn());
  }
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--upload", dir.file("missing.xml")});
  EXPECT_EQ(r.exitCode, 29);
}

// Hand-written files hold values in decimal and hex digits in lower case, as the file format has
// always allowed; each form is written as the charger holds it (decimal values used to be refused).
TEST(SettingsFileTest, HandWrittenFormsAreWrittenAsTheChargerHoldsThem) {
  const char* const forms[] = {
      "get=\"0xEDF7\" value=\"0x058C\"",  // as --download writes it
      "get=\"0xEDF7\" value=\"1420\"",   "get=\"0xEDF7\" value=\"0x058c\"",
      "get=\"60919\" value=\"0x058C\"",  "get=\"0xedf7\" set=\"0xEdF7\" value=\"0x058C\"",
  };
  TempDir dir;
  for (const char* form : forms) {
    SCOPED_TRACE(form);
    writeFile(dir.file("hand.xml"),
              vregList(std::string("<vreg label=\"absorption_voltage\" ") + form + "/>"));
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--upload", dir.file("hand.xml")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    auto writes = withoutOnOff(writtenValues(charger.sim()));
    if (!writes.empty() && writes.back().id == REG_CLOCK) writes.pop_back();
    EXPECT_EQ(writes, (std::vector<WrittenValue>{{0xEDF7, "058C"}}));
  }
}

TEST(SettingsFileTest, VerifyRegisterIsComparedInsteadOfWritten) {
  struct Case {
    const char* value;
    std::uint16_t verify;
    int status;
  };
  TempDir dir;
  // 0xEDF7 holds 14.40 V (05A0) on this profile.
  for (const Case& c :
       {Case{"0x05A0", 0xEDF7, 0}, Case{"0x05A1", 0xEDF7, 95}, Case{"0x05a0", 0xEDF7, 0},
        Case{"1440", 0xEDF7, 0}, Case{"0x05A0", 0x1234, 95}}) {
    SCOPED_TRACE(c.value);
    char xml[256];
    std::snprintf(xml, sizeof xml,
                  "<qmx><vregs><vreg label=\"checked\" get=\"0xEDF7\" verify=\"0x%04X\" "
                  "value=\"%s\"/></vregs></qmx>",
                  c.verify, c.value);
    writeFile(dir.file("v.xml"), xml);
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--upload", dir.file("v.xml")});
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_TRUE(withoutOnOff(writtenValues(charger.sim())).empty());
    EXPECT_TRUE(charger.sim().chargerOn());
  }
}

TEST(SettingsFileTest, UnwritableTargetLeavesAnExistingFileAlone) {
  if (geteuid() == 0) {
    // Root writes through folder permissions; use a target whose folder does not exist instead.
    SimulatedCharger charger("load115");
    ProcessResult r = charger.run({"--download", "/nonexistent-folder/settings.xml"});
    EXPECT_EQ(r.exitCode, 95);
    EXPECT_TRUE(contains(r.err, "Writing settings failed")) << r.err;
    return;
  }
  TempDir dir;
  writeFile(dir.file("keep.xml"), "earlier settings\n");
  chmod(dir.path().c_str(), 0555);
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--download", dir.file("keep.xml")});
  EXPECT_EQ(r.exitCode, 95);
  EXPECT_EQ(readFile(dir.file("keep.xml")), "earlier settings\n");
}

TEST(SettingsFileTest, DownloadReplacesAnEarlierFileWhole) {
  TempDir dir;
  writeFile(dir.file("s.xml"), std::string(100000, 'x'));
  SimulatedCharger charger("load115");
  ProcessResult r = charger.run({"--download", dir.file("s.xml")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const std::string xml = readFile(dir.file("s.xml"));
  EXPECT_EQ(xml.find('x' + std::string(10, 'x')), std::string::npos);
  EXPECT_EQ(xml.substr(xml.size() - 7), "</qmx>\n");
}

bool isDocument(const std::string& file) {
  const std::string xml = readFile(file);
  return xml.rfind("<?xml", 0) == 0 && contains(xml, "value=\"0x05A0\"") && contains(xml, "</qmx>");
}

// The folder's content, one sorted line per entry: links with their target, folders and regular
// files with their mode, owner and group where they are not the runner's (the test's own by
// default), and what a file holds.
std::string listing(const std::string& folder, uid_t ownUid = ::geteuid(),
                    gid_t ownGid = ::getegid()) {
  std::vector<std::string> lines;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string path = entry.path().string();
    std::string line = path.substr(folder.size() + 1);
    struct stat st {};
    ::lstat(path.c_str(), &st);
    char mode[16];
    std::snprintf(mode, sizeof mode, " %04o", static_cast<unsigned>(st.st_mode & 07777));
    if (S_ISLNK(st.st_mode)) line += " -> " + std::filesystem::read_symlink(path).string();
    if (S_ISDIR(st.st_mode)) line += "/" + std::string(mode);
    if (S_ISFIFO(st.st_mode)) line += " fifo";
    if (S_ISCHR(st.st_mode)) line += " character device";
    if (S_ISREG(st.st_mode)) line += mode + (isDocument(path) ? " document" : " " + readFile(path));
    if (!S_ISLNK(st.st_mode) && (st.st_uid != ownUid || st.st_gid != ownGid))
      line += " owner " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid);
    lines.push_back(line + "\n");
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

// Who runs chgtune in a case of DownloadTargets, and how.
enum Who {
  kAnyUser,    // the test's own user
  kRoot,       // root: only root can set the case up
  kSizeLimit,  // the test's own user under a file-size limit
  // A user who is not root, as whom the shell's `>` cannot write every file: the test's own user,
  // or under root an unused uid (kUid) through setpriv, given the folder and the charger's port.
  kUser,
  kUserAmongOthers,  // kUser, with another user's file (kOtherUid), which only root can give
};
constexpr uid_t kUid = 64000;
constexpr uid_t kOtherUid = 64001;
const char kSetpriv[] = "/usr/bin/setpriv";

struct Runner {
  uid_t uid;
  gid_t gid;
  bool setpriv;
};

Runner runnerFor(Who who) {
  const bool asUser = who == kUser || who == kUserAmongOthers;
  if (asUser && ::geteuid() == 0) return {kUid, kUid, true};
  return {::geteuid(), ::getegid(), false};
}

// Why the case cannot run here, or "" when it can.
std::string whyNotRun(Who who) {
  const bool root = ::geteuid() == 0;
  if ((who == kRoot || who == kUserAmongOthers) && !root) return "cases that need root";
  if ((who == kUser || who == kUserAmongOthers) && root && ::access(kSetpriv, X_OK) != 0)
    return std::string("cases run as another user under root (no ") + kSetpriv + ")";
  return "";
}

ProcessResult downloadAs(Who who, const Runner& runner, SimulatedCharger& charger,
                         const std::string& target) {
  // Under a file-size limit the write fails part-way; with the signal ignored, write reports it.
  if (who == kSizeLimit)
    return runProcess("/bin/sh",
                      {"-c", "ulimit -f 1; trap '' XFSZ; exec \"$0\" \"$@\"", CHGTUNE_BINARY,
                       "--serial", charger.path(), "--download", target});
  if (!runner.setpriv) return charger.run({"--download", target});
  EXPECT_EQ(::chown(charger.path().c_str(), runner.uid, runner.gid), 0);
  return runProcess(kSetpriv, {"--reuid=" + std::to_string(runner.uid),
                               "--regid=" + std::to_string(runner.gid), "--clear-groups",
                               CHGTUNE_BINARY, "--serial", charger.path(), "--download", target});
}

// What --download makes of its target, and that nothing is left behind. Before, a device node or
// FIFO was replaced by a regular file, a link by a file of its own, another user's file became
// root's, a 249-character name failed with 95; a write-protected file, and another user's file in
// a folder such as /tmp, were replaced where the shell's `>` could not have written them. Setup
// commands name the runner's uid and gid as $U and $G, the other user's as $O.
TEST(SettingsFileTest, DownloadTargets) {
  const mode_t umask = ::umask(0);
  ::umask(umask);
  char newFile[16];
  std::snprintf(newFile, sizeof newFile, "%04o", 0666 & ~umask);
  const std::string longName(249, 'n');
  struct Case {
    Who who;
    std::string setup;  // shell commands in the folder
    std::string target;
    int status;
    std::string after;         // listing of the folder
    std::string refusal = "";  // the reason stderr gives after the file's name
  };
  const std::string root = " owner 0:0";  // the folder's owner in the shared-folder cases
  const Case cases[] = {
      {kAnyUser, "printf old > real.xml; chmod 640 real.xml; ln -s real.xml link.xml", "link.xml",
       0, "link.xml -> real.xml\nreal.xml 0640 document\n"},
      {kRoot, "mknod null c 1 3", "null", 95, "null character device\n"},
      {kAnyUser, "mkfifo fifo", "fifo", 95, "fifo fifo\n"},
      {kAnyUser, "mkdir -m 755 f; printf kept > f/k; chmod 644 f/k", "f", 95,
       "f/ 0755\nf/k 0644 kept\n"},
      {kRoot, "printf old > o.xml; chown 4321:4322 o.xml; chmod 604 o.xml", "o.xml", 0,
       "o.xml 0604 document owner 4321:4322\n"},
      {kAnyUser, "", longName, 0, longName + " " + newFile + " document\n"},
      {kSizeLimit, "printf old > s.xml; chmod 644 s.xml", "s.xml", 95, "s.xml 0644 old\n"},
      // Planted by another user in a folder such as /tmp: not followed.
      {kRoot, "printf x > v; chmod 644 v; mkdir -m 1777 t; ln -s ../v t/l; chown -h 4321 t/l",
       "t/l", 95, "t/ 1777\nt/l -> ../v\nv 0644 x\n"},
      // Write-protected: `>` refuses it to a user, and root's `>` writes it.
      {kUser, "printf old > p.xml; chown $U:$G p.xml; chmod 444 p.xml", "p.xml", 95,
       "p.xml 0444 old\n", "the file is write-protected"},
      {kUser, "printf old > w.xml; chown $U:$G w.xml; chmod 640 w.xml", "w.xml", 0,
       "w.xml 0640 document\n"},
      {kRoot, "printf old > r.xml; chmod 444 r.xml", "r.xml", 0, "r.xml 0444 document\n"},
      // Another user's file in a shared folder, writable by all: refused to root too.
      {kUserAmongOthers,
       "mkdir -m 1777 t; printf old > t/o.xml; chown $O:$O t/o.xml; chmod 666 t/o.xml", "t/o.xml",
       95, "t/ 1777" + root + "\nt/o.xml 0666 old owner 64001:64001\n",
       "another user's file in a shared folder"},
      {kUserAmongOthers,
       "mkdir -m 1777 t; printf old > t/m.xml; chown $U:$G t/m.xml; chmod 644 t/m.xml", "t/m.xml",
       0, "t/ 1777" + root + "\nt/m.xml 0644 document\n"},
      {kRoot, "mkdir -m 1777 t; printf old > t/o.xml; chown 4321:4322 t/o.xml; chmod 666 t/o.xml",
       "t/o.xml", 95, "t/ 1777\nt/o.xml 0666 old owner 4321:4322\n",
       "another user's file in a shared folder"},
  };
  std::set<std::string> notRun;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setup.empty() ? c.target : c.setup);
    if (!whyNotRun(c.who).empty()) {
      notRun.insert(whyNotRun(c.who));
      continue;
    }
    const Runner runner = runnerFor(c.who);
    TempDir dir;
    ASSERT_EQ(::chown(dir.path().c_str(), runner.uid, runner.gid), 0);
    ASSERT_EQ(runProcess("/bin/sh", {"-c", "cd \"$0\" || exit 1; U=$1 G=$2 O=$3; " + c.setup,
                                     dir.path(), std::to_string(runner.uid),
                                     std::to_string(runner.gid), std::to_string(kOtherUid)})
                  .exitCode,
              0);
    const std::string target = dir.file(c.target);
    SimulatedCharger charger("load115");
    const ProcessResult r = downloadAs(c.who, runner, charger, target);
    EXPECT_EQ(r.exitCode, c.status) << r.err;
    EXPECT_EQ(contains(r.err, "Writing settings failed"), c.status != 0) << r.err;
    if (!c.refusal.empty()) {
      EXPECT_TRUE(contains(r.err, "\"" + target + "\": " + c.refusal)) << r.err;
    }
    EXPECT_EQ(listing(dir.path(), runner.uid, runner.gid), c.after);
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
  }
  std::string skipped;
  for (const std::string& reason : notRun) skipped += (skipped.empty() ? "" : "; ") + reason;
  if (!skipped.empty()) GTEST_SKIP() << "not run here: " << skipped;
}

// A backup that lacks settings is still written, but must not look like a whole one to a script.
TEST(SettingsFileTest, SettingsThatCouldNotBeReadEndWith94) {
  TempDir dir;
  const std::string file = dir.file("s.xml");
  sim::Faults faults;
  faults.refuseGet = {0xEDF0};
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--download", file}, std::vector<std::string>{"--get"}}) {
    SCOPED_TRACE(args[0]);
    SimulatedCharger charger("load115", faults);
    ProcessResult r = charger.run(args);
    EXPECT_EQ(r.exitCode, 94) << r.err;
    const std::string named = args[0] == "--get" ? "" : ", missing from \"" + file + "\"";
    EXPECT_TRUE(
        contains(r.err, "Settings not read from the charger" + named + ": maximum_current\n"))
        << r.err;
    EXPECT_EQ(setRequestCount(charger.sim()), 0u);
    if (args[0] == "--get") {
      EXPECT_TRUE(contains(r.out, "Battery Type = ")) << r.out;
    }
  }
  EXPECT_TRUE(contains(readFile(file),
                       "<vreg label=\"maximum_current\" get=\"0xEDF0\" set=\"0xEDF0\" "
                       "status=\"get_failed\"/>"));
  EXPECT_TRUE(isDocument(file));
}

// "-" used to create a file named "-"; now standard output carries the document alone.
TEST(SettingsFileTest, DownloadToStandardOutputGivesALoadableDocument) {
  TempDir dir;
  std::string document;
  {
    SimulatedCharger source("rotary113");
    ProcessResult r = source.run({"--download", "-"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.rfind("SunLink chgtune 1.17\n", 0), 0u) << r.err;
    EXPECT_TRUE(contains(r.err, "=== Writing settings to \"-\" ===")) << r.err;
    document = r.out;
  }
  EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<qmx>\n", 0), 0u);
  writeFile(dir.file("backup.xml"), document);
  SimulatedCharger target("rotary113");
  ProcessResult r = target.run({"--upload", dir.file("backup.xml")});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  const auto writes = withoutOnOff(writtenValues(target.sim()));
  ASSERT_FALSE(writes.empty());
  for (const WrittenValue& w : writes) EXPECT_TRUE(contains(document, "value=\"0x" + w.value)) << w;
  EXPECT_FALSE(std::filesystem::exists("-"));

  // A standard output that refuses the document is a failed backup.
  SimulatedCharger full("rotary113");
  r = runProcess("/bin/sh", {"-c", "exec \"$0\" \"$@\" > /dev/full", CHGTUNE_BINARY, "--serial",
                             full.path(), "--download", "-"});
  EXPECT_EQ(r.exitCode, 95) << r.err;
  EXPECT_TRUE(contains(r.err, "No space left on device")) << r.err;
}

}  // namespace
}  // namespace test
}  // namespace sunlink
