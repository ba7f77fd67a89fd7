// A second thread plays the user: it dismisses every "Prn Bypass" message
// box with OK, recording its text, and answers the print dialog that the
// main thread opens with the button the current case asks for.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace test {

void startWatcher();
void stopWatcher();

// The texts of the message boxes dismissed since the last call.
std::vector<std::string> takeMessages();
// The captions of the dialogs answered since the last call.
std::vector<std::string> takeDialogs();
// IDOK or IDCANCEL for the next dialogs; 0: a dialog is not expected.
void answerDialogsWith(LONG button);

}  // namespace test
