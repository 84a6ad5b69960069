// A scripted SMTP peer on a loopback port for the transport tests: the test lists
// what the server says and does, the client talks to it, and the test then
// compares every byte the client sent. All waits are bounded, so a faulty client
// fails the test instead of hanging it.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace vornetta::test {

struct ServerStep {
  enum class Kind { Send, Reply, Await, Close, Reset, Accept };
  Kind kind;
  std::string text;
};

// Sends the bytes at once, without waiting for the client.
ServerStep Send(std::string bytes);
// Waits for the client's next line (after a 354 reply: its data up to the "."
// line), then sends the line followed by CR LF.
ServerStep Reply(std::string line);
// Waits for the client's next line and answers nothing.
ServerStep Await();
// Closes the connection normally.
ServerStep Close();
// Closes the connection with a reset.
ServerStep Reset();
// Closes the connection when still open and waits for the client's next one
// (a retry, or the error mail after the report): the script goes on there.
ServerStep Accept();

// A loopback port on which nothing listens: bound, never listened on, closed.
int UnusedLoopbackPort();

class ScriptServer;
// A server that accepts one mail with `recipients` RCPT commands, answers QUIT
// with nothing and closes; `ehlo` is its EHLO reply.
ScriptServer AcceptingServer(int recipients, const std::string& ehlo = "250 mail.example");

class ScriptServer {
 public:
  explicit ScriptServer(std::vector<ServerStep> script);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  int Port() const { return port_; }

  // Waits until the script has run and the client has closed (bounded), and
  // returns every byte the client sent.
  std::string Transcript();

 private:
  void Run();
  bool ReadUnit(int fd, bool dataPhase);
  bool Wait(int fd, short events);

  std::vector<ServerStep> script_;
  int listener_ = -1;
  int port_ = 0;
  std::string received_;
  std::size_t consumed_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vornetta::test
