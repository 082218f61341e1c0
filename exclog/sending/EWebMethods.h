#pragma once
// The web methods of the sending pipeline over the web transport: what a web
// request of the pipeline becomes for an upload or a tracker dialogue, and how
// their progress reaches the send-progress window.
#include <cstdint>
#include <string>

#include "exclog/sending/ESendMethods.h"
#include "exclog/sending/EWebTools.h"
#include "exclog/sending/EWebTrackers.h"

namespace exclog {

// "host:port" of the proxy; ":" when no host is set (no proxy).
std::string ProxyText(const std::string& host, uint16_t port);

// The dialogue's inputs from the pipeline's request; `ansiToUtf8` converts for
// the trackers whose pages are UTF-8.
TTrackerInput TrackerInputFrom(const TWebRequest& request,
                               std::function<std::string(const std::string&)> ansiToUtf8);

// The dialogue for a web mode: 4 Bugzilla, 5 FogBugz, 6 Mantis; null for others.
std::unique_ptr<THTTPSendReport> TrackerFor(int mode, TConnectionFactory factory);

// Shows a connection event in the send-progress window (texts by `text`).
void ShowNotifyStep(const TNotifyStep& step, std::string (*text)(int index));

}  // namespace exclog
