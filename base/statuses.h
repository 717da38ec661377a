// The numbers the program ends with, and the results of one HEX exchange. Scripts read the exit
// statuses and the manual lists them: the numbers never change.
#pragma once

namespace sunlink {

// Exit statuses. The operations that talk to the charger return them too, so that main can end
// with an operation's result as it stands.
constexpr int kExitOk = 0;
// --compare: the charger does not hold every setting of the file.
constexpr int kExitDiffers = 1;
// Command-line error, a port that cannot be opened, a failure during discovery, any failure with
// the error banner that carries no status of its own, or standard output that could not be written.
constexpr int kExitFailure = -1;
// The charger did not answer: no ping reply, no response, or no answer to the switch-on.
constexpr int kExitNoAnswer = 3;
// Closing the link or joining its reader thread failed while the program ended.
constexpr int kExitCloseFailed = 10;
// No port holds a charger: "Unable to detect a MPPT charger."
constexpr int kExitNoCharger = 11;
// --watch --count with --mqtt: the broker could not be reached (or refused the login) within the
// connect wait, 10 s.
constexpr int kExitBrokerUnreachable = 12;
// The charger refused a write (one-shot command, switch-on), or sent no device id.
constexpr int kExitRefused = 22;
// The settings file is not readable XML.
constexpr int kExitFileNotXml = 29;
// The device is not running its application firmware (a boot loader or a tester).
constexpr int kExitNotApplication = 81;
// The device is not an MPPT charger.
constexpr int kExitNotCharger = 91;
// Reading failed: the settings file, or at least one setting from the charger.
constexpr int kExitReadFailed = 94;
// Writing failed: the settings file, or at least one setting in a store.
constexpr int kExitWriteFailed = 95;
// A run ended by a termination request (a signal, or a console event on Windows) ends with 128
// plus the request's number, as a shell reports a process a signal ended.
constexpr int exitStatusForRequest(int request) { return 128 + request; }

// Results of one HEX exchange (the link's send and the exchange client's transact and
// getRegister). 0 is a good reply.
constexpr int kExchangeOk = 0;
// Every attempt ended without an acceptable reply (the last one in the charger's reception-error
// report).
constexpr int kExchangeNoReply = -2;
// Time-out, incomplete write, or a reply that refused or did not match the request.
constexpr int kExchangeFailed = -3;
// getRegister: the charger answered at once that it has no such register (flags byte exactly
// "unknown id"). Not a failure to read: the setting does not exist on this charger.
constexpr int kExchangeUnknownId = -4;

}  // namespace sunlink
