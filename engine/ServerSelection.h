// Server probes and the engine configuration. Our engine service runs on this machine, so
// its host name and its three alternative addresses are all local.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "text/Text.h"

namespace velarn {

inline constexpr std::string_view kEngineHost = "localhost";
inline constexpr std::string_view kEngineAddress1 = "127.0.0.1";
inline constexpr std::string_view kEngineAddress2 = "127.0.0.2";
inline constexpr std::string_view kEngineAddress3 = "127.0.0.3";
inline constexpr int kProbeTimeoutMs = 3000;

inline constexpr std::string_view kAppId = "a3f1c7e2";
inline constexpr std::string_view kEngineTimeout = "10000";
inline constexpr std::string_view kCodingLibs = "speex.dll";
inline constexpr std::string_view kMaxTextSize = "2048";

// One ICMP echo request without payload to `host` (dotted IPv4 address or host name, looked
// up with getaddrinfo, first IPv4 address taken). The round-trip time in milliseconds (0 or
// more) of a reply that arrives within `timeout_ms`, else -1; -1 as well on every failure
// (no ICMP socket, unresolvable name). Uses a datagram ICMP socket, and a raw socket where
// the system refuses that one.
std::int32_t PingHost(const std::string& host, int timeout_ms);

// host, time-out in ms → PingHost's answer.
using HostProber = std::function<std::int32_t(const std::string& host, int timeout_ms)>;

// Probes EngineHost, EngineAddress1..3 in order with `probe`(host, 3000); the first answer
// (other than -1) gives host + ":80/index.htm" and ends the probing; none gives EngineHost +
// ":1028/index.htm".
Text SelectServer(const HostProber& probe = PingHost);

// "server_url=<url>,appid=...,timeout=...,coding_libs=...,max_text_size=...".
Text EngineConfig(std::string_view server_url);

}  // namespace velarn
