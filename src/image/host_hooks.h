// Narrow hooks through which the image core reaches the user interface.
// Headless programs keep the defaults (messages go to stderr).
#pragma once

#include <functional>
#include <string>

namespace imagehost {

using MessageBoxFn = std::function<void(const std::string& text)>;

// Installs the function that shows a message box; an empty function restores
// the default, which writes the text and a newline to stderr.
void SetMessageBoxHook(MessageBoxFn fn);
void ShowMessageBox(const std::string& text);

// Progress of a long operation in percent (0 when done), the counterpart of
// the progress bar's set-position message.
using ProgressFn = std::function<void(int percent)>;

}  // namespace imagehost
