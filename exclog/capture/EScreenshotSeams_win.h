#pragma once
// Fills the screen-shot entries of the report handler's seams.
namespace exclog {

// The file name of the saved capture, in the temporary folder.
constexpr char ScreenshotFile[] = "Screenshot.png";

void InstallScreenshotSeams();

}  // namespace exclog
