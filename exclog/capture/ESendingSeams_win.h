#pragma once
// Fills the sending entry of the report handler's seams and hands the sending
// what it needs of the capture: the dispatch lock, the events, the program kind.
namespace exclog {

void InstallSendingSeams();

}  // namespace exclog
