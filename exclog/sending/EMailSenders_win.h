#pragma once
// Puts the mail client and the SMTP client behind the sending pipeline's method
// seams and the internal-error reporter's mailing seam.
namespace exclog {

void InstallMailSenders();

}  // namespace exclog
