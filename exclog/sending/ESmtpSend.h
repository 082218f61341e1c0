#pragma once
// Sending a report mail by SMTP: one recipient at a time, through the configured
// server or straight to the recipient's mail exchanger. Progress and failures go to
// the sending state (ESendState.h); the platform's services (sockets, names, clock,
// MX lookup) come in a table, so the whole dialogue runs natively against real
// servers too.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "exclog/sending/ESockets.h"

namespace exclog {

// Indices of the status texts in the options' text table.
constexpr int StatusResolvingDns = 112;
constexpr int StatusConnecting = 114;
constexpr int StatusConnected = 115;
constexpr int StatusSending = 116;

struct TSmtpSendServices {
  const TSocketApi* Api = nullptr;
  // Each wait: the connection, every reply, every block of the message taken.
  uint32_t ReplyTimeoutMs = 30000;
  // The whole exchange with one server, from the connection to QUIT: a server
  // that reads or answers a trickle cannot hold the send for longer.
  uint32_t ExchangeTimeoutMs = 5 * 60 * 1000;
  uint32_t MxTimeoutMs = 30000;
  std::function<std::string()> HostName;    // the HELO name
  std::function<std::string()> OwnerName;   // the registered owner ("" when none)
  std::function<std::string()> UserName;    // the user's logon name
  std::function<std::string()> DateNow;     // the Date header's text
  std::function<uint32_t()> Tick;           // the Message-ID's number
  // The recipient's mail exchanger; raises when none is found.
  std::function<std::string(const std::string& address, uint32_t timeoutMs)> MxLookup;
  // A status text by its index (null: the default texts).
  std::function<std::string(int index)> Text;
};

struct TSmtpMail {
  bool Direct = false;      // to each recipient's mail exchanger, port 25, no login
  std::string From;         // the sender setting
  std::string Host;
  std::vector<std::string> Attachments;
  std::string Body;
  std::string Subject;
  std::string Recipients;   // one address for SmtpSendOne; a list for SmtpSend
  std::string Password;
  std::string User;
  uint16_t Port = 25;
};

// One recipient (`mail.Recipients` is its address); false after recording the
// failure (eeEmailSMTPError, "SMTP").
bool SmtpSendOne(const TSmtpSendServices& services, const TSmtpMail& mail);
// Every recipient of the list in turn; true when at least one took the message.
bool SmtpSend(const TSmtpSendServices& services, TSmtpMail mail);

}  // namespace exclog
