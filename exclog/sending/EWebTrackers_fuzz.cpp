// The three tracker dialogues over a server that answers each request from the
// input: a status (success, redirects, errors, a failed call), a redirect target
// or refresh, and a page. Every dialogue ends with one of its result codes, closes
// its connection, and never follows redirects or pages without end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "exclog/sending/EWebTrackers.h"

namespace {

using namespace exclog;

struct TServer {
  const uint8_t* Data;
  size_t Size;
  size_t At = 0;
  int Exchanges = 0;
  int Opens = 0, Closes = 0;
  uint8_t Byte() { return At < Size ? Data[At++] : 0; }
  std::string Bytes(size_t n) {
    n = std::min(n, Size - At);
    std::string s(reinterpret_cast<const char*>(Data + At), n);
    At += n;
    return s;
  }
};

class TFuzzExchange : public TPageExchange {
 public:
  explicit TFuzzExchange(TServer& server) : server_(server) {}
  bool Open(const TConnectTarget&, std::string& error) override {
    ++server_.Opens;
    if (server_.Byte() == 0xEE) {
      error = "refused";
      return false;
    }
    return true;
  }
  bool Close() override {
    ++server_.Closes;
    return true;
  }
  bool Exchange(const TExchangeRequest&, TExchangeReply& reply, const TProgress& progress) override {
    if (++server_.Exchanges > 1000) std::abort();  // a dialogue that never ends
    static const int statuses[] = {200, 200, 200, 301, 302, 303, 307, 404, 500, 0};
    uint8_t kind = server_.Byte();
    reply.StatusCode = statuses[kind % 10];
    reply.StatusNumeric = (kind & 0x80) == 0;
    if (kind % 10 == 9) {
      reply.ErrorCode = 12002;  // a timed-out call
      reply.ErrorMessage = "timed out";
      return false;
    }
    size_t targetSize = server_.Byte() % 64;
    std::string target = server_.Bytes(targetSize);
    if (kind & 0x40)
      reply.Refresh = "0; URL=" + target;
    else
      reply.Location = target;
    size_t bodySize = server_.Byte() | size_t(server_.Byte()) << 8;
    reply.Body = server_.Bytes(bodySize);
    if (progress.Received) progress.Received(reply.Body.size(), reply.Body.size());
    return true;
  }

 private:
  TServer& server_;
};

TTrackerInput Input() {
  TTrackerInput in;
  in.Url = "http://127.0.0.1/tracker/";
  in.Proxy = ":";
  in.Login = "ann";
  in.Password = "pw";
  in.Project = "Velmora";
  in.Category = "Crashes";
  in.Version = "2.1";
  in.Text = "Access violation";
  in.Description = "Read of address 00000010";
  in.BugId = "4F2A-9C01";
  in.Fields = {"Custom=yes", "FogBugzTrialID=", "QL_OSType=Windows 7", "QL_OSBuild=7601", "QL_ReproduceText=x"};
  in.AnsiToUtf8 = [](const std::string& s) { return s; };
  return in;
}

template <class Sender>
void Run(const uint8_t* data, size_t size) {
  TServer server{data, size};
  Sender sender([&](const std::string& url, const std::string& proxy) {
    auto c = std::make_unique<THTTPConnectionBase>(std::make_unique<TFuzzExchange>(server), url, proxy);
    c->BoundaryDigits = [] { return uint16_t{0x1111}; };
    return c;
  });
  THTTPResponse response;
  int code = TrackerOk;
  try {
    code = sender.Send(Input(), &response);
  } catch (const EHTTPConnectionError&) {
    return;
  }
  if (code < TrackerOk || code > TrackerModifyFailed) std::abort();
  if (server.Closes > server.Opens) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Run<THTTPMantisSendReport>(data, size);
  Run<THTTPBugzillaSendReport>(data, size);
  Run<THTTPFogBugzSendReport>(data, size);
  return 0;
}
