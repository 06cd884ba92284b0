#pragma once
// ScriptedServer: a loopback line server for tests of clients. A thread takes
// connections on 127.0.0.1 (or ::1) on a port the system chooses and plays a script
// written before Start: send bytes, read and record the client's lines, pause, stay
// silent, close or reset the connection, take the next connection.
//
//   ScriptedServer server;
//   server.Send("220 ready\r\n").Reply("250 OK\r\n").Close();
//   server.Start();
//   ... connect to 127.0.0.1:server.Port() ...
//   EXPECT_TRUE(server.WaitDone());
//   EXPECT_EQ(server.Lines(), std::vector<std::string>{"NOOP"});
//
// The script begins by taking the first connection. When it ends, the connection
// stays open until the server is destroyed. The destructor stops the thread even in
// the middle of a step and closes everything. Written on plain POSIX calls, so it
// does not share a fault with the code under test.

#include "support/LoopbackPeer.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ScriptedServer {
public:
    explicit ScriptedServer(bool ipv6 = false);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t Port() const { return FPort; }
    const char* Address() const { return FIPv6 ? "::1" : "127.0.0.1"; }

    // --- The script -----------------------------------------------------------------
    // Writes the bytes in one piece.
    ScriptedServer& Send(std::string bytes);
    // Reads one line (up to LF) and records it without its line end.
    ScriptedServer& ReadLine();
    // A command and its answer: ReadLine, then Send.
    ScriptedServer& Reply(std::string bytes);
    ScriptedServer& Pause(std::chrono::milliseconds time);
    // Stays silent, recording whatever arrives, until the client closes.
    ScriptedServer& Stall();
    // Closes the connection in order (the client reads its end) or with a reset.
    ScriptedServer& Close();
    ScriptedServer& Reset();
    // Closes the current connection, if any, and takes the next one.
    ScriptedServer& Accept();

    void Start();
    // Waits for the end of the script; false when it has not ended in time.
    bool WaitDone(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // --- What happened ----------------------------------------------------------------
    std::vector<std::string> Lines() const;
    // Every byte the client sent, lines or not.
    std::string Received() const;
    int Connections() const;
    // Why the script stopped early ("the client closed before a line ..."), or "".
    std::string Error() const;

private:
    struct TStep {
        enum class Kind { Send, ReadLine, Pause, Stall, Close, Reset, Accept } kind;
        std::string bytes;
        std::chrono::milliseconds time{0};
    };
    struct TStopped {};

    ScriptedServer& Add(TStep step);
    void Run();
    void Play(const TStep& step);
    // Waits until the descriptor is ready (POLLIN or POLLOUT); throws TStopped when
    // the server is stopped first. A negative time waits without limit.
    bool WaitFor(int fd, short events, int timeoutMs);
    // One receive into the record; 0 when the client closed.
    std::size_t ReceiveSome();
    void SendAll(const std::string& bytes);

    bool FIPv6;
    ScopedFd FListener;
    std::uint16_t FPort = 0;
    ScopedFd FStopEvent;
    ScopedFd FConnection;
    std::string FPending; // received bytes not yet taken as a line
    std::vector<TStep> FSteps;
    std::thread FThread;

    mutable std::mutex FLock;
    std::condition_variable FDoneSignal;
    bool FDone = false;
    std::vector<std::string> FLines;
    std::string FReceived;
    int FConnections = 0;
    std::string FError;
};
