// The virtual-key sockets against a tiny in-test key: listing, the shared
// connection, bare 64-byte packets in both directions, packets arriving in
// pieces, and a key that goes away.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "transport/ctaphid.h"
#include "transport/fido_token.h"
#include "transport/hid_socket_linux.h"
#include "transport/maker_ids.h"

namespace pinvale {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Packet = std::array<std::uint8_t, 64>;

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/pinvale-vk-XXXXXX";
    path_ = ::mkdtemp(name);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A virtual key reduced to what the exchange needs: it answers INIT, and echoes
// each CBOR message back behind status 0, sending its packets in 7-byte pieces.
class TinyKey {
 public:
  enum class Mode { kEcho, kCloseOnMessage, kSilent };

  TinyKey(const std::string& path, Mode mode) : mode_(mode) {
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 8), 0);
    acceptor_ = std::thread([this] { AcceptLoop(); });
  }

  ~TinyKey() {
    stop_ = true;
    acceptor_.join();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
    }
    for (std::thread& t : servers_) t.join();
    for (int fd : connections_) ::close(fd);
    ::close(listener_);
  }

  int Connections() const { return connectionCount_.load(); }
  std::vector<Packet> Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  void AcceptLoop() {
    while (!stop_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (::poll(&waiting, 1, 5) <= 0) continue;
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      ++connectionCount_;
      std::lock_guard<std::mutex> lock(mutex_);
      connections_.push_back(fd);
      servers_.emplace_back([this, fd] { Serve(fd); });
    }
  }

  static bool ReadPacket(int fd, Packet& packet) {
    std::size_t have = 0;
    while (have < packet.size()) {
      ssize_t n = ::recv(fd, packet.data() + have, packet.size() - have, 0);
      if (n <= 0) return false;
      have += static_cast<std::size_t>(n);
    }
    return true;
  }

  static void SendInPieces(int fd, const Bytes& message, std::uint8_t command) {
    // Framing as the key does it: initialisation packet, then continuations.
    std::size_t sent = 0;
    for (int index = 0; index == 0 || sent < message.size(); ++index) {
      Packet packet{};
      packet[3] = 0x01;
      std::size_t offset = 5;
      std::size_t room = 59;
      if (index == 0) {
        packet[4] = command;
        packet[5] = static_cast<std::uint8_t>(message.size() >> 8);
        packet[6] = static_cast<std::uint8_t>(message.size());
        offset = 7;
        room = 57;
      } else {
        packet[4] = static_cast<std::uint8_t>(index - 1);
      }
      const std::size_t chunk = std::min(room, message.size() - sent);
      std::copy_n(message.begin() + static_cast<std::ptrdiff_t>(sent), chunk,
                  packet.begin() + static_cast<std::ptrdiff_t>(offset));
      sent += chunk;
      for (std::size_t at = 0; at < packet.size(); at += 7) {
        ::send(fd, packet.data() + at, std::min<std::size_t>(7, packet.size() - at), MSG_NOSIGNAL);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    }
  }

  void Serve(int fd) {
    Bytes message;
    std::uint8_t command = 0;
    std::size_t expected = 0;
    Packet packet;
    while (ReadPacket(fd, packet)) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(packet);
      }
      if (packet[4] & 0x80) {
        command = packet[4];
        message.assign(packet.begin() + 7, packet.end());
        expected = static_cast<std::size_t>(packet[5] << 8 | packet[6]);
      } else {
        message.insert(message.end(), packet.begin() + 5, packet.end());
      }
      if (message.size() < expected) continue;
      message.resize(expected);
      if (command == ctaphid::kCommandInit) {
        Bytes answer(message.begin(), message.begin() + 8);
        answer.insert(answer.end(), {0, 0, 0, 1, 2, 1, 0, 0, 5});
        SendInPieces(fd, answer, ctaphid::kCommandInit);
      } else if (mode_ == Mode::kEcho) {
        Bytes answer{0x00};
        answer.insert(answer.end(), message.begin(), message.end());
        SendInPieces(fd, answer, ctaphid::kCommandCbor);
      } else if (mode_ == Mode::kCloseOnMessage) {
        ::shutdown(fd, SHUT_RDWR);
        return;
      }
    }
  }

  Mode mode_;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<int> connectionCount_{0};
  std::thread acceptor_;
  mutable std::mutex mutex_;
  std::vector<int> connections_;
  std::vector<std::thread> servers_;
  std::vector<Packet> received_;
};

struct Exchange {
  std::uint16_t status;
  Bytes payload;
};

Exchange Send(CFidoToken& token, const Bytes& message) {
  Bytes response(kReceiveBufferSize);
  std::uint32_t length = kReceiveBufferSize;
  std::uint16_t status = token.SendCborCommand(
      message.data(), static_cast<std::uint32_t>(message.size()), response.data(), &length);
  response.resize(status == 0 ? length : 0);
  return {status, response};
}

class VirtualKeySocket : public ::testing::Test {
 protected:
  std::string SocketPath() const { return dir_.path() + "/3f8c-2d71-test.sock"; }

  void Connect(CFidoToken& token) {
    token.DeviceList().SetSilenceLimitMs(1000);
    token.SetTransport(kTransportUsbHid);
    ASSERT_EQ(token.EnumerateDevices(), 1);
    ASSERT_EQ(token.SelectDevice(kMakerVendorId, 0x2D71), 1);
  }

  TempDir dir_;
};

TEST_F(VirtualKeySocket, ListsOnlySocketsNamedForAKey) {
  TinyKey key(SocketPath(), TinyKey::Mode::kEcho);
  TinyKey upper(dir_.path() + "/3F8C-2D71-upper.sock", TinyKey::Mode::kEcho);
  std::ofstream(dir_.path() + "/3f8c-64a9-plain-file.sock") << "not a socket";
  std::ofstream(dir_.path() + "/notes.txt") << "x";

  SocketHidPlatform platform(dir_.path());
  std::vector<std::string> paths;
  ASSERT_TRUE(platform.ListInterfaces(paths));
  EXPECT_EQ(paths, (std::vector<std::string>{SocketPath()}));

  SocketHidPlatform missing(dir_.path() + "/absent");
  EXPECT_TRUE(missing.ListInterfaces(paths));
  EXPECT_TRUE(paths.empty());
}

TEST_F(VirtualKeySocket, ExchangeCarriesBarePacketsOnOneConnection) {
  TinyKey key(SocketPath(), TinyKey::Mode::kEcho);
  CFidoToken token(std::make_shared<SocketHidPlatform>(dir_.path()));
  Connect(token);
  Bytes message(100);
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i);

  const Exchange result = Send(token, message);

  EXPECT_EQ(result.status, 0x00);
  EXPECT_EQ(result.payload, message);
  EXPECT_EQ(key.Connections(), 1);
  const auto received = key.Received();
  ASSERT_EQ(received.size(), 3u);  // INIT, then the message in two packets
  EXPECT_EQ((Bytes(received[0].begin(), received[0].begin() + 5)),
            (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x86}));  // no report id in front
  EXPECT_EQ((Bytes(received[1].begin(), received[1].begin() + 7)),
            (Bytes{0x00, 0x00, 0x00, 0x01, 0x90, 0x00, 100}));
}

TEST_F(VirtualKeySocket, NewEnumerationConnectsAfreshWhileTheSelectedKeyKeepsItsOwn) {
  TinyKey key(SocketPath(), TinyKey::Mode::kEcho);
  CFidoToken token(std::make_shared<SocketHidPlatform>(dir_.path()));
  Connect(token);
  EXPECT_EQ(token.EnumerateDevices(), 1);
  EXPECT_EQ(Send(token, {0x04}).status, 0x00);  // still the first connection
  ASSERT_EQ(token.SelectDevice(kMakerVendorId, 0x2D71), 1);
  EXPECT_EQ(Send(token, {0x04}).status, 0x00);  // the second one
  EXPECT_EQ(key.Connections(), 2);
}

TEST_F(VirtualKeySocket, KeyThatHangsUpFailsTheExchange) {
  TinyKey key(SocketPath(), TinyKey::Mode::kCloseOnMessage);
  CFidoToken token(std::make_shared<SocketHidPlatform>(dir_.path()));
  Connect(token);
  EXPECT_EQ(Send(token, {0x04}).status, kExchangeFailed);
  EXPECT_EQ(Send(token, {0x04}).status, kExchangeFailed);  // and stays failed
}

TEST_F(VirtualKeySocket, SilentKeyFailsAfterTheSilenceLimit) {
  TinyKey key(SocketPath(), TinyKey::Mode::kSilent);
  CFidoToken token(std::make_shared<SocketHidPlatform>(dir_.path()));
  Connect(token);
  token.DeviceList().SetSilenceLimitMs(30);
  EXPECT_EQ(Send(token, {0x04}).status, kExchangeFailed);
}

TEST_F(VirtualKeySocket, OpenRefusesOtherNamesAndAbsentKeys) {
  SocketHidPlatform platform(dir_.path());
  std::uint32_t error = 0;
  EXPECT_EQ(platform.Open(dir_.path() + "/notes.txt", HidAccess::kRead, error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(ENOENT));
  EXPECT_EQ(platform.Open(SocketPath(), HidAccess::kWrite, error), nullptr);
  EXPECT_NE(error, 0u);
}

}  // namespace
}  // namespace pinvale
