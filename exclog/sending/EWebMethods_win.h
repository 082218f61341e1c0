#pragma once
// Fills the pipeline's upload and tracker seams with the WinINet senders.

#include <string>

namespace exclog {

// `text` gives the current options' texts (status lines); null: the default texts.
void InstallWebMethods(std::string (*text)(int index));

}  // namespace exclog
