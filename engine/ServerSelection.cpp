#include "engine/ServerSelection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <random>

namespace velarn {
namespace {

class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

std::optional<in_addr> ResolveIpv4(const std::string& host) {
  in_addr address{};
  if (inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_RAW;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return std::nullopt;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

std::uint16_t Checksum(const unsigned char* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
  if (size % 2 != 0) sum += static_cast<std::uint32_t>(data[size - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<std::uint16_t>(~sum);
}

// A reply matches when it is an echo reply with our sequence number (and, on a raw socket,
// which sees every ICMP packet of the machine, our identifier and the probed source).
bool IsOurReply(const unsigned char* packet, std::size_t size, bool raw, std::uint16_t id,
                std::uint16_t sequence, const sockaddr_in& from, const in_addr& target) {
  if (raw) {
    if (size < sizeof(ip)) return false;
    const std::size_t header = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (header < sizeof(ip) || size < header + ICMP_MINLEN) return false;
    if (from.sin_addr.s_addr != target.s_addr) return false;
    packet += header;
    size -= header;
  }
  if (size < ICMP_MINLEN) return false;
  const std::uint16_t got_id = static_cast<std::uint16_t>(packet[4] << 8 | packet[5]);
  const std::uint16_t got_sequence = static_cast<std::uint16_t>(packet[6] << 8 | packet[7]);
  // A datagram socket's identifier is set by the kernel, which also filters replies by it.
  return packet[0] == ICMP_ECHOREPLY && got_sequence == sequence && (!raw || got_id == id);
}

int OpenIcmpSocket(bool& raw) {
  raw = false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) return fd;
  // WORKAROUND: where net.ipv4.ping_group_range leaves us out the datagram socket is refused;
  // a raw socket works with CAP_NET_RAW.
  raw = true;
  return socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
}

}  // namespace

std::int32_t PingHost(const std::string& host, int timeout_ms) {
  const auto target = ResolveIpv4(host);
  if (!target) return -1;

  bool raw = false;
  Socket icmp(OpenIcmpSocket(raw));
  const int fd = icmp.Get();
  if (fd < 0) return -1;

  std::random_device random;
  const auto id = static_cast<std::uint16_t>(random());
  const auto sequence = static_cast<std::uint16_t>(random());
  std::array<unsigned char, ICMP_MINLEN> request{};
  request[0] = ICMP_ECHO;
  request[4] = static_cast<unsigned char>(id >> 8);
  request[5] = static_cast<unsigned char>(id);
  request[6] = static_cast<unsigned char>(sequence >> 8);
  request[7] = static_cast<unsigned char>(sequence);
  const std::uint16_t sum = Checksum(request.data(), request.size());
  request[2] = static_cast<unsigned char>(sum >> 8);
  request[3] = static_cast<unsigned char>(sum);

  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr = *target;
  const auto sent_at = std::chrono::steady_clock::now();
  if (sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
    return -1;
  }
  const auto deadline = sent_at + std::chrono::milliseconds(timeout_ms);
  std::array<unsigned char, 1500> reply{};
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    pollfd wait{fd, POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return -1;
    if (ready <= 0) continue;
    sockaddr_in from{};
    socklen_t from_size = sizeof from;
    const ssize_t n = recvfrom(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), &from_size);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return -1;
    }
    const auto arrived = std::chrono::steady_clock::now();
    if (arrived > deadline) return -1;
    if (IsOurReply(reply.data(), static_cast<std::size_t>(n), raw, id, sequence, from, *target)) {
      return static_cast<std::int32_t>(
          std::chrono::duration_cast<std::chrono::milliseconds>(arrived - sent_at).count());
    }
  }
}

Text SelectServer(const HostProber& probe) {
  for (std::string_view host : {kEngineHost, kEngineAddress1, kEngineAddress2, kEngineAddress3}) {
    if (probe(std::string(host), kProbeTimeoutMs) != -1) return Text(host) + ":80/index.htm";
  }
  return Text(kEngineHost) + ":1028/index.htm";
}

Text EngineConfig(std::string_view server_url) {
  Text config = "server_url=";
  config += server_url;
  config += ",appid=";
  config += kAppId;
  config += ",timeout=";
  config += kEngineTimeout;
  config += ",coding_libs=";
  config += kCodingLibs;
  config += ",max_text_size=";
  config += kMaxTextSize;
  return config;
}

}  // namespace velarn
