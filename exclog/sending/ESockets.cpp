#include "exclog/sending/ESockets.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>

namespace exclog {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Commands past this length (the DATA text) are logged by their first line and
// size, so an error's text keeps room for the reply and the destination.
constexpr size_t MaxLoggedCommand = 256;

std::string LoggedCommand(std::string_view command) {
  if (command.size() <= MaxLoggedCommand) return std::string(command);
  const std::string_view first = command.substr(0, std::min(command.find("\r\n"), MaxLoggedCommand));
  return std::string(first) + "... (" + std::to_string(command.size()) + " bytes)\r\n";
}

}  // namespace

// --- Reply framing ------------------------------------------------------------------

TSmtpReplyFramer::TState TSmtpReplyFramer::Feed(std::string_view bytes) {
  if (state_ == TState::Failed) return state_;
  buffer_.append(bytes);
  if (state_ == TState::NeedMore) Scan();
  return state_;
}

void TSmtpReplyFramer::Scan() {
  while (state_ == TState::NeedMore) {
    const size_t lf = buffer_.find('\n', scanned_);
    if (lf == std::string::npos) break;
    std::string_view line(buffer_.data() + scanned_, lf - scanned_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
        (line.size() > 3 && line[3] != ' ' && line[3] != '-')) {
      state_ = TState::Failed;
      error_ = "The server's reply carries no code.";
      return;
    }
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    if (scanned_ > 0 && code != code_) {
      state_ = TState::Failed;
      error_ = "The server's reply mixes codes.";
      return;
    }
    code_ = code;
    scanned_ = lf + 1;
    if (line.size() == 3 || line[3] == ' ') {
      replyEnd_ = scanned_;
      state_ = TState::Complete;
      return;
    }
  }
  // Only the reply being read counts: what follows a final line waits its turn.
  if (state_ == TState::NeedMore && buffer_.size() > MaxReply) {
    state_ = TState::Failed;
    error_ = "The server's reply is too long.";
  }
}

std::string TSmtpReplyFramer::TakeReply(int& code) {
  if (state_ != TState::Complete) {
    code = -1;
    return "";
  }
  code = code_;
  std::string reply = buffer_.substr(0, replyEnd_);
  buffer_.erase(0, replyEnd_);
  scanned_ = replyEnd_ = 0;
  code_ = 0;
  state_ = TState::NeedMore;
  Scan();
  return reply;
}

void TSmtpReplyFramer::Reset() {
  buffer_.clear();
  scanned_ = replyEnd_ = 0;
  code_ = 0;
  state_ = TState::NeedMore;
  error_.clear();
}

int ReplyCode(std::string_view reply) {
  int code = -1;
  for (size_t i = 0; i < reply.size() && i < 9 && IsDigit(reply[i]); ++i) code = (code < 0 ? 0 : code * 10) + (reply[i] - '0');
  return code;
}

// --- Client socket ------------------------------------------------------------------

TQuelbaClientSocket::TQuelbaClientSocket(const TSocketApi& api, std::string host, uint32_t timeoutMs,
                                         bool isStream, uint16_t port)
    : api_(api), host_(std::move(host)), port_(port), stream_(isStream), timeout_(timeoutMs) {}

TQuelbaClientSocket::~TQuelbaClientSocket() {
  if (socket_ != NoSocket) api_.Close(socket_);
}

void TQuelbaClientSocket::Fail(std::string_view message) {
  TSocketLogs logs{host_, port_, sessionLog_, lastReceived_};
  std::string text = ComposeSocketErrorText(message, logs);
  if (OnError) OnError(*this, -1, text);
  text = LimitErrorText(std::move(text));
  if (Quiet) throw EAbort(text);
  throw EQuelbaSocketError(text);
}

void TQuelbaClientSocket::FailWithSystemText(const char* format) {
  const int error = api_.LastError();
  Fail(Format(format, api_.ErrorText(error)));
}

void TQuelbaClientSocket::Connect() {
  if (connected_) return;
  api_.Startup();
  socket_ = api_.Open(stream_);
  if (socket_ == NoSocket) FailWithSystemText("Invalid socket: \"%s\".");
  uint32_t address = 0;
  const uint32_t lookupMs = TimeLeft(timeout_);
  const int found = api_.Resolve(host_, address, lookupMs);
  if (found != 1) {
    api_.Close(socket_);
    socket_ = NoSocket;
    if (found < 0)
      Fail(Format("Unable to resolve host \"%s\" within %d seconds.", host_, static_cast<int>((lookupMs + 999) / 1000)));
    Fail("Unable to resolve host \"" + host_ + "\".");
  }
  peer_ = TSocketAddress{};
  const uint8_t portBytes[2] = {static_cast<uint8_t>(port_ >> 8), static_cast<uint8_t>(port_ & 0xFF)};
  std::memcpy(&peer_.Port, portBytes, 2);
  peer_.Address = address;
  if (!api_.MakeNonBlocking(socket_)) {
    const int error = api_.LastError();
    api_.Close(socket_);
    socket_ = NoSocket;
    Fail(Format("Connection error: \"%s\"", api_.ErrorText(error)));
  }
  if (api_.Connect(socket_, peer_) != 0) {
    int error = api_.LastError();
    if (api_.WouldBlock(error)) {
      // Under way: a peer that never answers must not hold the send.
      const int ready = api_.WaitConnect(socket_, TimeLeft(timeout_));
      if (ready == 0) {
        TimeLeft(UINT32_MAX);
        api_.Close(socket_);
        socket_ = NoSocket;
        Fail("Connection error: \"Socket timeout.\"");
      }
      error = ready < 0 ? api_.LastError() : api_.ConnectError(socket_);
    }
    if (error != 0) {
      api_.Close(socket_);
      socket_ = NoSocket;
      Fail(Format("Connection error: \"%s\"", api_.ErrorText(error)));
    }
  }
  connected_ = 1;
  uint8_t a[4];
  std::memcpy(a, &address, 4);
  sessionLog_ = Format("Connected to %d.%d.%d.%d port %d\r\n", a[0], a[1], a[2], a[3], port_);
  lastReceived_.clear();
}

void TQuelbaClientSocket::Disconnect() {
  connected_ = 0;
  peer_ = TSocketAddress{};
  if (socket_ == NoSocket) return;
  const TSocketHandle s = socket_;
  socket_ = NoSocket;
  if (api_.Close(s) != 0) FailWithSystemText("Cannot close the socket: \"%s\"");
}

size_t TQuelbaClientSocket::Send(std::string_view text) {
  const size_t total = text.size();
  size_t position = 0;
  while (position < total && socket_ != NoSocket) {
    const int slice = static_cast<int>(std::min<size_t>(1024, total - position));
    const int sent = api_.Send(socket_, text.data() + position, slice);
    if (sent > 0) {
      position += static_cast<size_t>(sent);
      if (OnProgress) OnProgress(*this, position, total);
      continue;
    }
    const int error = api_.LastError();
    if (sent < 0 && api_.WouldBlock(error)) {
      // The buffer is full: wait until it takes more, within the time-out.
      const int ready = api_.Wait(socket_, true, TimeLeft(timeout_));
      if (ready > 0) continue;
      if (ready == 0) {
        TimeLeft(UINT32_MAX);  // the deadline's own failure when that is what ran out
        Disconnect();
        Fail("Error into \"send\": \"Socket timeout.\"");
      }
    }
    const std::string why = api_.ErrorText(error);
    Disconnect();
    Fail(Format("Error into \"send\": \"%s\"", why));
  }
  return position;
}

size_t TQuelbaClientSocket::Receive(char* buffer, size_t size, uint32_t timeoutMs) {
  if (socket_ == NoSocket) Fail("Error into \"recv\": \"Not connected.\"");
  const int ready = api_.Wait(socket_, false, TimeLeft(timeoutMs));
  if (ready == 0) return 0;
  const int got = ready < 0 ? -1 : api_.Recv(socket_, buffer, static_cast<int>(std::min<size_t>(size, 1 << 30)));
  if (got > 0) return static_cast<size_t>(got);
  if (got == 0) {
    Disconnect();
    Fail("Error into \"recv\": \"The connection was closed by the server.\"");
  }
  const int error = api_.LastError();
  if (api_.WouldBlock(error)) return 0;
  const std::string why = api_.ErrorText(error);
  Disconnect();
  Fail(Format("Error into \"recv\": \"%s\"", why));
}

void TQuelbaClientSocket::SetDeadline(std::chrono::steady_clock::time_point deadline) {
  deadline_ = deadline;
  hasDeadline_ = true;
}

uint32_t TQuelbaClientSocket::TimeLeft(uint32_t limitMs) {
  if (!hasDeadline_) return limitMs;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - std::chrono::steady_clock::now()).count();
  if (left <= 0) {
    if (socket_ != NoSocket) {
      api_.Close(socket_);
      socket_ = NoSocket;
    }
    connected_ = 0;
    Fail("The exchange took longer than allowed: \"Socket timeout.\"");
  }
  return static_cast<uint32_t>(std::min<int64_t>(left, limitMs));
}

int TQuelbaClientSocket::Waiting() {
  return socket_ == NoSocket ? 0 : std::max(0, api_.Available(socket_));
}

// --- SMTP client --------------------------------------------------------------------

void TQuelbaClientSMTP::Connect() {
  TQuelbaClientSocket::Connect();
  framer_.Reset();
  if (ReplyCode(ReadReply()) != 220) Fail(sessionLog_);
}

std::string TQuelbaClientSMTP::ReadReply() {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_);
  char buffer[4096];
  while (framer_.State() == TSmtpReplyFramer::TState::NeedMore) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      // Nothing more is read on this connection: no polite end is owed to it.
      connected_ = 0;
      Fail("Socket timeout.");
    }
    const size_t got = Receive(buffer, sizeof buffer, static_cast<uint32_t>(left));
    if (got == 0) continue;
    const std::string_view bytes(buffer, got);
    sessionLog_.append(bytes);
    lastReceived_.append(bytes);
    framer_.Feed(bytes);
  }
  if (framer_.State() == TSmtpReplyFramer::TState::Failed) Fail(framer_.Error());
  int code = 0;
  return framer_.TakeReply(code);
}

int TQuelbaClientSMTP::Command(std::string_view text, std::initializer_list<int> codes, std::string_view logAs) {
  std::string command(text);
  if (command.size() < 2 || command.compare(command.size() - 2, 2, "\r\n") != 0) command += "\r\n";
  if (Send(command) != command.size()) Fail(sessionLog_);
  if (logAs.empty()) {
    sessionLog_ += LoggedCommand(command);
  } else {
    sessionLog_ += std::string(logAs) + "\r\n";
  }
  lastReceived_.clear();
  const int code = ReplyCode(ReadReply());
  if (std::find(codes.begin(), codes.end(), code) == codes.end()) Fail(sessionLog_);
  return code;
}

bool TQuelbaClientSMTP::SendCommand(std::string_view text, std::initializer_list<int> codes, std::string_view logAs) {
  Command(text, codes, logAs);
  return true;
}

}  // namespace exclog
