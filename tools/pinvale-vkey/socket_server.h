#pragma once

// Serves one virtual key on a UNIX stream socket. Every client connection is a
// link of its own: raw 64-byte CTAPHID packets each way, no other framing.

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vkey/virtual_key.h"

namespace pinvale::vkey {

class SocketServer {
 public:
  SocketServer(std::shared_ptr<VirtualKey> key, std::string path);
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  // Creates the socket file (the plug-in) and starts accepting. False with a
  // message when the socket cannot be made.
  bool Start(std::string& error);
  // Removes the socket file (the pull-out) and ends every connection.
  void Stop();
  bool Running() const { return listenFd_ >= 0; }

 private:
  struct Connection;
  void AcceptLoop();
  void ReapFinished();

  std::shared_ptr<VirtualKey> key_;
  std::string path_;
  int listenFd_ = -1;
  int wakeFds_[2] = {-1, -1};
  std::thread acceptThread_;
  std::mutex connectionsMutex_;
  std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace pinvale::vkey
