#pragma once
// The SMTP sender on the system's sockets, names and clock.
#include "exclog/sending/ESendMethods.h"
#include "exclog/sending/ESmtpSend.h"

namespace exclog {

// The platform's services for SmtpSend: WinSock, the host, owner and user names,
// the local date with its zone, the tick count, MxLookup.
TSmtpSendServices PlatformSmtpServices();
// The pipeline's SMTP method.
bool SmtpSendMessage(const TMailMessage& message, const TSmtpSettings& smtp);

}  // namespace exclog
