#pragma once
// The logger's blocking socket client and its SMTP client, over a table of socket
// functions: the Windows build fills it with the socket library bound by name
// (EWinSock_win.h), native tests with the POSIX calls. Every failure raises
// EQuelbaSocketError with the composed text of EWinSock.h (EAbort when quiet).
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "exclog/sending/EWinSock.h"

namespace exclog {

// Splits a byte stream into SMTP replies: lines "ddd-text" up to the final "ddd text"
// (or a bare "ddd"), each ended by LF with an optional CR before it. Bytes after a
// final line stay for the next reply.
class TSmtpReplyFramer {
 public:
  enum class TState { NeedMore, Complete, Failed };
  static constexpr size_t MaxReply = 64 * 1024;

  // Takes more bytes; Failed stays until Reset.
  TState Feed(std::string_view bytes);
  TState State() const { return state_; }
  // After Complete: the reply's text (every line with its line end) and code. Taking
  // it starts the next reply with whatever followed.
  std::string TakeReply(int& code);
  const std::string& Error() const { return error_; }
  void Reset();

 private:
  void Scan();
  std::string buffer_;
  size_t scanned_ = 0;  // bytes of buffer_ made of whole, checked lines
  size_t replyEnd_ = 0;
  int code_ = 0;
  TState state_ = TState::NeedMore;
  std::string error_;
};

// The reply's leading decimal digits as a number, -1 when it starts otherwise.
int ReplyCode(std::string_view reply);

class TQuelbaClientSocket {
 public:
  TQuelbaClientSocket(const TSocketApi& api, std::string host, uint32_t timeoutMs, bool isStream, uint16_t port);
  virtual ~TQuelbaClientSocket();
  TQuelbaClientSocket(const TQuelbaClientSocket&) = delete;
  TQuelbaClientSocket& operator=(const TQuelbaClientSocket&) = delete;

  virtual void Connect();
  virtual void Disconnect();
  // Sends every byte in slices of at most 1024, calling OnProgress after each; a
  // partial send or a would-block goes on with the rest. Returns the bytes sent.
  size_t Send(std::string_view text);
  // One receive of what is waiting (after up to `timeoutMs` for it): 0 when nothing
  // came. A connection the peer closed is an error.
  size_t Receive(char* buffer, size_t size, uint32_t timeoutMs);
  // Bytes waiting.
  int Waiting();
  // Raises EQuelbaSocketError (EAbort when quiet) with `message` composed with the
  // logs; OnError sees the whole text first.
  [[noreturn]] void Fail(std::string_view message);

  // Every wait of the connection, the connect's too, ends by `deadline`; past it
  // the socket is closed and the call fails.
  void SetDeadline(std::chrono::steady_clock::time_point deadline);

  bool Connected() const { return connected_ != 0; }
  const std::string& SessionLog() const { return sessionLog_; }
  const std::string& LastReceived() const { return lastReceived_; }
  uint32_t Timeout() const { return timeout_; }

  std::function<void(TQuelbaClientSocket&, int, const std::string&)> OnError;
  std::function<void(TQuelbaClientSocket&, size_t position, size_t total)> OnProgress;
  uint8_t Quiet = 0;

 protected:
  [[noreturn]] void FailWithSystemText(const char* format);
  // `limitMs`, cut to what is left before the deadline; fails past it.
  uint32_t TimeLeft(uint32_t limitMs);
  const TSocketApi& api_;
  TSocketAddress peer_;
  std::string host_;
  uint16_t port_;
  bool stream_;
  uint32_t timeout_;
  uint8_t connected_ = 0;
  TSocketHandle socket_ = NoSocket;
  std::string sessionLog_;
  std::string lastReceived_;
  std::chrono::steady_clock::time_point deadline_{};
  bool hasDeadline_ = false;
};

class TQuelbaClientSMTP : public TQuelbaClientSocket {
 public:
  using TQuelbaClientSocket::TQuelbaClientSocket;
  // Connects and wants the greeting's 220.
  void Connect() override;
  // One whole reply (up to its final line) within the time-out; a reply without a
  // code, over 64 KiB or not finished in time is an error.
  std::string ReadReply();
  // Sends `text` (CR LF appended unless there) and wants one of `codes`; any other
  // reply raises with the session log.
  // `logAs`, when given, stands for the command in the session log (credentials
  // stay out of logs and error boxes).
  bool SendCommand(std::string_view text, std::initializer_list<int> codes, std::string_view logAs = {});
  // As SendCommand, giving the code of the accepted reply.
  int Command(std::string_view text, std::initializer_list<int> codes, std::string_view logAs = {});

 private:
  TSmtpReplyFramer framer_;
};

}  // namespace exclog
