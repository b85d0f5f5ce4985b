// Test networks for the UDP link: the peer socket, free ports, open-socket
// counts and private network namespaces made with ip(8).
#include "tests/support/netns.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

UdpPeer::~UdpPeer() { close(); }

bool UdpPeer::open(const char* addr, uint16_t port) {
  close();
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = inet_addr(addr);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close();
    return false;
  }
  socklen_t len = sizeof a;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
  return true;
}

void UdpPeer::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  port_ = 0;
}

bool UdpPeer::sendTo(const char* addr, uint16_t port, const std::string& bytes) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = inet_addr(addr);
  const ssize_t n = sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return n == static_cast<ssize_t>(bytes.size());
}

bool UdpPeer::receive(std::string* bytes, int ms, uint16_t* fromPort) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return false;
  static thread_local char buf[65536];
  sockaddr_in from{};
  socklen_t len = sizeof from;
  const ssize_t n = recvfrom(fd_, buf, sizeof buf, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &len);
  if (n < 0) return false;
  bytes->assign(buf, static_cast<size_t>(n));
  if (fromPort) *fromPort = ntohs(from.sin_port);
  return true;
}

bool UdpPeer::joinGroup(const char* group, const char* iface) {
  ip_mreq m{};
  m.imr_multiaddr.s_addr = inet_addr(group);
  m.imr_interface.s_addr = inet_addr(iface);
  const unsigned char off = 0;
  in_addr out{};
  out.s_addr = inet_addr(iface);
  return setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0 &&
         setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out) == 0 &&
         setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &off, sizeof off) == 0;
}

uint16_t FreeUdpPort() {
  UdpPeer probe;
  if (!probe.open("0.0.0.0", 0)) return 0;
  return probe.port();
}

int OpenSocketCount() {
  int count = 0;
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  while (dirent* e = readdir(d)) {
    char path[320];
    char target[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%s", e->d_name);
    const ssize_t n = readlink(path, target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = 0;
    if (std::strncmp(target, "socket:", 7) == 0) count++;
  }
  closedir(d);
  return count;
}

TestNetwork::~TestNetwork() {
  if (!a_.empty()) run("ip netns delete " + a_);
  if (!b_.empty()) run("ip netns delete " + b_);
}

bool TestNetwork::run(const std::string& command) {
  const int rc = std::system((command + " >/dev/null 2>&1").c_str());
  if (rc != 0 && error_.empty()) error_ = "'" + command + "' failed (root and iproute2 are needed)";
  return rc == 0;
}

bool TestNetwork::addNamespace(std::string* name, const char* suffix) {
  static std::atomic<int> serial{0};
  const std::string n = "zelto-udp-" + std::to_string(getpid()) + "-" + std::to_string(serial++) + suffix;
  run("ip netns delete " + n + " 2>/dev/null; true");   // a stale one of an earlier process with this id
  if (!run("ip netns add " + n)) return false;
  *name = n;
  return run("ip -n " + n + " link set lo up");
}

bool TestNetwork::makeLonelyHost() { return addNamespace(&a_, "a"); }

bool TestNetwork::makePair() {
  if (!addNamespace(&a_, "a") || !addNamespace(&b_, "b")) return false;
  // The pair is made inside the namespaces, so no interface name is ever
  // taken in the host's own namespace.
  return run("ip -n " + a_ + " link add zv0 type veth peer name zv1 netns " + b_) &&
         run("ip -n " + a_ + " addr add " + kAddrA + "/24 brd + dev zv0") &&
         run("ip -n " + b_ + " addr add " + kAddrB + "/24 brd + dev zv1") &&
         run("ip -n " + a_ + " link set zv0 up") && run("ip -n " + b_ + " link set zv1 up") &&
         run("ip -n " + a_ + " route add 224.0.0.0/4 dev zv0") &&
         run("ip -n " + b_ + " route add 224.0.0.0/4 dev zv1");
}

bool RunInNetns(const std::string& ns, const std::function<void()>& fn) {
  bool entered = false;
  std::thread t([&] {
    const int nsFd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0) return;
    if (setns(nsFd, CLONE_NEWNET) == 0) {
      entered = true;
      fn();
    }
    ::close(nsFd);
  });
  t.join();
  return entered;
}
