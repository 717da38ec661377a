// Where and how the program publishes a charger's values over MQTT: the broker from its URL, the
// login, the CA certificates of a TLS connection and the topics, checked before anything else is
// done, so that a setting that cannot work ends the run before the charger's port is opened.
#pragma once

#include <boost/exception/exception.hpp>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

namespace sunlink {

// An MQTT setting that cannot be used. The message under tag_what names the option and the problem
// (and, for a file, its path and the system's reason); tag_exit_code is kExitFailure.
struct mqtt_settings_error : virtual std::exception, virtual boost::exception {
  const char* what() const noexcept override { return "MQTT settings error"; }
};
// Throws mqtt_settings_error with the message.
[[noreturn]] void refuseMqttSetting(const std::string& message);

// The broker an MQTT URL names.
struct MqttBroker {
  bool tls = false;  // mqtts://
  std::string host;  // a name, an IPv4 address or an IPv6 address (without its brackets)
  std::uint16_t port = 0;
};

// mqtt://HOST[:PORT] (port 1883 by default) or mqtts://HOST[:PORT] (TLS, 8883 by default); the
// scheme in either case, an IPv6 address in brackets, one "/" at the end allowed. Throws
// mqtt_settings_error naming the problem: an unknown or missing scheme, no host, a port that is no
// number from 1 to 65535, a login, path, query or fragment in the URL (a login never goes on the
// command line: --mqtt-user and --mqtt-password-file), characters no host name has.
MqttBroker parseMqttUrl(const std::string& url);

// "host:port" ("[::1]:1883" for an IPv6 address), for messages.
std::string brokerName(const MqttBroker& broker);

// The options as given on the command line.
struct MqttOptions {
  std::string url;                       // --mqtt
  std::string user;                      // --mqtt-user; empty: no login
  std::string passwordFile;              // --mqtt-password-file; empty: no password
  std::string caFile;                    // --mqtt-cafile; empty: the system's CA certificates
  std::optional<std::string> topicBase;  // --mqtt-topic; none: chgtune/ and the charger's identity
  std::string discoveryPrefix = "homeassistant";
  bool discovery = true;
};

// The checked settings of the publisher.
struct MqttSettings {
  MqttBroker broker;
  std::string user;                     // empty: no login
  std::optional<std::string> password;  // the password file's first line
  std::string caFile;                   // empty: the system's CA certificates (mqtts only)
  std::string topicBase;                // empty: chosen from the charger (topics.h)
  std::string discoveryPrefix;
  bool discovery = true;
  // Warnings for the caller to print on standard error: a password file that others may read.
  std::vector<std::string> warnings;
};

// Checks the options and reads the password file. Throws mqtt_settings_error naming the problem:
// a malformed URL (parseMqttUrl); an empty or non-UTF-8 user name; a password file without a user,
// or one that cannot be read (its path and the system's reason), is empty or holds a NUL byte; a
// CA file without mqtts://, or one that cannot be read or holds no PEM certificate; a topic base
// or discovery prefix that is empty, holds a wildcard (+ #), a control character or invalid UTF-8,
// or begins or ends with "/".
MqttSettings makeMqttSettings(const MqttOptions& options);

}  // namespace sunlink
