// The publisher's interface: what the watch operation needs from an MQTT client. The real one
// talks to a broker (mosquitto_publisher.h); tests of the watch use a fake with the same promises.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace sunlink {

// A change of the publisher's connection, for the user: reported once per change, never once per
// attempt.
struct PublisherEvent {
  enum class Kind {
    connected,    // connected (at start or again after an outage); "online" is published already
    unreachable,  // the broker could not be reached or refused the login; trying on
    lost,         // the connection went away; trying on
  };
  Kind kind = Kind::connected;
  // Why (unreachable, lost): the system's or the broker's reason, e.g. "Connection refused",
  // "not authorised" or "certificate verify failed". Empty for connected.
  std::string reason;
};

// The waits of the publisher, which tests shorten.
struct PublisherTimeouts {
  // The pause after a failed attempt or a lost connection, doubled after every further failure up
  // to the longest.
  std::chrono::milliseconds reconnectFirst{1000};
  std::chrono::milliseconds reconnectLongest{10000};
  // How long one attempt may take to be answered (name lookup, TCP, TLS and the broker's reply)
  // before it counts as failed; also how long a run that needs the broker waits for it at start.
  std::chrono::milliseconds connectWait{10000};
  // How long the goodbye at the end may take ("offline" and what is still unsent delivered).
  std::chrono::milliseconds goodbyeWait{2000};
  // The keep-alive interval the broker is told: with no traffic for 1.5 times this long it takes
  // the connection as lost (and publishes the will).
  std::chrono::seconds keepAlive{60};
};

// An MQTT client that stays up: it connects in the background, publishes only while connected
// (messages given while the broker is away are dropped, never queued, so memory stays flat
// however long it is away) and reconnects by itself.
//
// Availability: when an availability topic is given, the broker is told to publish "offline"
// there (retained) as the client's will should the connection be lost without a goodbye; the
// client publishes "online" (retained, QoS 1) on every connect, before any other message, and
// "offline" as its goodbye on stop().
//
// setEventHandler, setAvailability and start are called once, in that order, before anything
// else; publish, connected, connections and waitConnected may then be called from any thread;
// stop() once by the owner. The event handler runs on a thread of the publisher and must not call
// stop().
class Publisher {
 public:
  virtual ~Publisher() = default;

  using EventHandler = std::function<void(const PublisherEvent&)>;
  virtual void setEventHandler(EventHandler handler) = 0;
  // Empty: no availability topic, no will.
  virtual void setAvailability(const std::string& topic) = 0;
  // Starts connecting; returns at once.
  virtual void start() = 0;

  // Publishes when connected; false (and nothing kept) when not. qos is 0, 1 or 2.
  virtual bool publish(const std::string& topic, const std::string& payload, int qos,
                       bool retain) = 0;
  virtual bool connected() const = 0;
  // How many times the publisher has connected so far: a caller that sends something once per
  // connection (the discovery configs) compares it with the count it last sent at.
  virtual std::uint64_t connections() const = 0;
  // Waits until connected or wait has passed; whether connected.
  virtual bool waitConnected(std::chrono::milliseconds wait) = 0;

  // Says goodbye (within PublisherTimeouts::goodbyeWait) and stops reconnecting. Idempotent.
  virtual void stop() = 0;
};

}  // namespace sunlink
