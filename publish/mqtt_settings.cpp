#include "publish/mqtt_settings.h"

#include <mosquitto.h>

#include <algorithm>
#include <boost/exception/info.hpp>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/errors.h"
#include "base/statuses.h"
#include "platform/file_readers.h"

namespace sunlink {

void refuseMqttSetting(const std::string& message) {
  BOOST_THROW_EXCEPTION(mqtt_settings_error() << tag_what(message) << tag_exit_code(kExitFailure));
}

namespace {

constexpr std::uint16_t kMqttPort = 1883;
constexpr std::uint16_t kMqttsPort = 8883;
// A password or certificate file is read up to this size: more is no password file.
constexpr std::size_t kFileLimit = 1 << 20;

[[noreturn]] void refuseUrl(const std::string& url, const std::string& problem) {
  refuseMqttSetting("--mqtt \"" + url + "\": " + problem +
                    " (write mqtt://HOST[:PORT], or mqtts://HOST[:PORT] for TLS)");
}

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool isNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
}

bool isAddressCharacter(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

// The whole of a file up to kFileLimit, or the failure under option's name with the path and the
// system's reason.
std::string readSmallFile(const std::string& option, const std::string& what,
                          const std::string& path) {
  const auto fail = [&](int error) {
    refuseMqttSetting(option + ": cannot read the " + what + " \"" + path +
                      "\": " + std::strerror(error));
  };
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                       &std::fclose);
  if (!file) fail(errno);
  std::string content(kFileLimit, '\0');
  errno = 0;
  const std::size_t length = std::fread(&content[0], 1, content.size(), file.get());
  if (std::ferror(file.get())) fail(errno != 0 ? errno : EIO);
  if (length == content.size())
    refuseMqttSetting(option + ": the " + what + " \"" + path + "\" is larger than " +
                      std::to_string(kFileLimit / 1024) + " KiB");
  content.resize(length);
  return content;
}

// A topic part the user gave: something a broker takes as the start of a topic to publish to.
void checkTopic(const std::string& option, const std::string& topic) {
  const auto fail = [&](const std::string& problem) {
    refuseMqttSetting(option + " \"" + topic + "\": " + problem);
  };
  if (topic.empty()) fail("is empty");
  if (mosquitto_validate_utf8(topic.data(), static_cast<int>(topic.size())) != MOSQ_ERR_SUCCESS)
    fail("holds a control character or is not UTF-8 text");
  if (topic.find_first_of("+#") != std::string::npos)
    fail("holds a wildcard (+ or #), which no topic published to may hold");
  if (topic.back() == '/') fail("ends with \"/\" (the program adds the levels below it itself)");
}

}  // namespace

MqttBroker parseMqttUrl(const std::string& url) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string::npos) refuseUrl(url, "no scheme");
  const std::string scheme = lowered(url.substr(0, schemeEnd));
  MqttBroker broker;
  if (scheme == "mqtt") {
    broker.port = kMqttPort;
  } else if (scheme == "mqtts") {
    broker.tls = true;
    broker.port = kMqttsPort;
  } else {
    refuseUrl(url, scheme.empty() ? "no scheme" : "unknown scheme \"" + scheme + "\"");
  }

  std::string rest = url.substr(schemeEnd + 3);
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find('@') != std::string::npos)
    refuseUrl(url,
              "a user name or password in the URL (give them with --mqtt-user and "
              "--mqtt-password-file)");
  const std::size_t extra = rest.find_first_of("/?#");
  if (extra != std::string::npos)
    refuseUrl(url, std::string(rest[extra] == '/'   ? "a path"
                               : rest[extra] == '?' ? "a query"
                                                    : "a fragment") +
                       " after the host, which a broker's URL has none of");

  std::string portText;
  bool portGiven = false;
  if (!rest.empty() && rest[0] == '[') {
    const std::size_t close = rest.find(']');
    if (close == std::string::npos) refuseUrl(url, "an IPv6 address without its closing \"]\"");
    broker.host = rest.substr(1, close - 1);
    const std::string after = rest.substr(close + 1);
    if (broker.host.empty() ||
        !std::all_of(broker.host.begin(), broker.host.end(), isAddressCharacter) ||
        broker.host.find(':') == std::string::npos)
      refuseUrl(url, "\"[" + broker.host + "]\" is no IPv6 address");
    if (!after.empty()) {
      if (after[0] != ':') refuseUrl(url, "\"" + after + "\" after the address");
      portGiven = true;
      portText = after.substr(1);
    }
  } else {
    const std::size_t colon = rest.find(':');
    broker.host = rest.substr(0, colon);
    if (colon != std::string::npos) {
      portGiven = true;
      portText = rest.substr(colon + 1);
    }
    if (broker.host.empty()) refuseUrl(url, "no host");
    const auto bad = std::find_if_not(broker.host.begin(), broker.host.end(), isNameCharacter);
    if (bad != broker.host.end())
      refuseUrl(url, "the host \"" + broker.host + "\" holds a character no host name has");
  }
  if (portGiven) {
    unsigned long port = 0;
    const bool digits = !portText.empty() && portText.size() <= 5 &&
                        std::all_of(portText.begin(), portText.end(), [](char c) {
                          return std::isdigit(static_cast<unsigned char>(c));
                        });
    if (digits) port = std::stoul(portText);
    if (!digits || port < 1 || port > 65535)
      refuseUrl(url, "the port \"" + portText + "\" is no number from 1 to 65535");
    broker.port = static_cast<std::uint16_t>(port);
  }
  return broker;
}

std::string brokerName(const MqttBroker& broker) {
  const bool ipv6 = broker.host.find(':') != std::string::npos;
  return (ipv6 ? "[" + broker.host + "]" : broker.host) + ":" + std::to_string(broker.port);
}

MqttSettings makeMqttSettings(const MqttOptions& options) {
  MqttSettings settings;
  settings.broker = parseMqttUrl(options.url);

  if (!options.user.empty() &&
      mosquitto_validate_utf8(options.user.data(), static_cast<int>(options.user.size())) !=
          MOSQ_ERR_SUCCESS)
    refuseMqttSetting("--mqtt-user: the user name holds a control character or is not UTF-8 text");
  settings.user = options.user;

  if (!options.passwordFile.empty()) {
    // The broker takes a password only together with a user name.
    if (options.user.empty()) refuseMqttSetting("--mqtt-password-file needs --mqtt-user");
    const std::string content =
        readSmallFile("--mqtt-password-file", "password file", options.passwordFile);
    std::string password = content.substr(0, content.find('\n'));
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (password.empty())
      refuseMqttSetting("--mqtt-password-file: the password file \"" + options.passwordFile +
                        "\" holds no password on its first line");
    // libmosquitto takes the password as a C string: a NUL would cut it short unseen.
    if (password.find('\0') != std::string::npos)
      refuseMqttSetting("--mqtt-password-file: the password in \"" + options.passwordFile +
                        "\" holds a NUL byte");
    settings.password = password;
    const std::string readers = otherReaders(options.passwordFile);
    if (!readers.empty())
      settings.warnings.push_back("Warning: the MQTT password file \"" + options.passwordFile +
                                  "\" may be read by " + readers +
                                  "; let only its owner read it (chmod 600)");
  }

  if (!options.caFile.empty()) {
    if (!settings.broker.tls) refuseMqttSetting("--mqtt-cafile needs an mqtts:// URL");
    const std::string content = readSmallFile("--mqtt-cafile", "CA file", options.caFile);
    const std::size_t begin = content.find("-----BEGIN ");
    if (begin == std::string::npos || content.find("CERTIFICATE-----", begin) == std::string::npos)
      refuseMqttSetting("--mqtt-cafile: the CA file \"" + options.caFile +
                        "\" holds no PEM certificate");
    settings.caFile = options.caFile;
  }

  if (options.topicBase) {
    checkTopic("--mqtt-topic", *options.topicBase);
    settings.topicBase = *options.topicBase;
  }
  checkTopic("the discovery prefix", options.discoveryPrefix);
  settings.discoveryPrefix = options.discoveryPrefix;
  settings.discovery = options.discovery;
  return settings;
}

}  // namespace sunlink
